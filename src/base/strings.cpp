// Formatted strings, download lists and the natural version order.
#include "base/strings.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

std::string format_alloc(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    int n = vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n));
        vsnprintf(out.data(), out.size() + 1, fmt, ap2);
    }
    va_end(ap2);
    return out;
}

static bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

int version_compare_desc(const std::string &as, const std::string &bs) {
    const char *a = as.c_str();
    const char *b = bs.c_str();
    for (;;) {
        if (!*b) return *a ? -1 : 0;
        if (!*a) return 1;
        unsigned char ca = static_cast<unsigned char>(*a);
        unsigned char cb = static_cast<unsigned char>(*b);
        if (!is_digit(*b)) {
            if (ca == cb) {
                a++;
                b++;
                continue;
            }
            return cb < ca ? -1 : 1;
        }
        if (!is_digit(*a)) return cb < ca ? -1 : 1;
        char *ea;
        char *eb;
        long na = strtol(a, &ea, 10);
        long nb = strtol(b, &eb, 10);
        a = ea;
        b = eb;
        if (na == nb) continue;
        return nb < na ? -1 : 1;
    }
}

void versions_sort_desc(StrList &list) {
    std::stable_sort(list.begin(), list.end(), [](const std::string &x, const std::string &y) {
        return version_compare_desc(x, y) < 0;
    });
}

std::string str_backslash_to_slash(std::string s) {
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

bool str_starts_with(const std::string &s, const std::string &prefix) {
    return s.compare(0, prefix.size(), prefix) == 0 && s.size() >= prefix.size();
}

bool str_ends_with(const std::string &s, const std::string &suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool str_starts_with_ci(const std::string &s, const std::string &prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); i++)
        if (tolower(static_cast<unsigned char>(s[i])) !=
            tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

bool str_equal_ci(const std::string &a, const std::string &b) {
    return a.size() == b.size() && str_starts_with_ci(a, b);
}

std::string str_lower(std::string s) {
    for (char &c : s)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string str_trim(const std::string &s) {
    size_t b = 0, e = s.size();
    while (b < e && isspace(static_cast<unsigned char>(s[b])))
        b++;
    while (e > b && isspace(static_cast<unsigned char>(s[e - 1])))
        e--;
    return s.substr(b, e - b);
}

StrList str_split(const std::string &s, char sep) {
    StrList out;
    size_t start = 0;
    for (;;) {
        size_t p = s.find(sep, start);
        out.push_back(s.substr(start, p == std::string::npos ? std::string::npos : p - start));
        if (p == std::string::npos) break;
        start = p + 1;
    }
    return out;
}

bool str_utf8_valid(const std::string &s) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(s.data());
    const unsigned char *end = p + s.size();
    while (p < end) {
        unsigned char c = *p++;
        if (c < 0x80) continue;
        int more;
        unsigned cp;
        if (c >= 0xc2 && c <= 0xdf) {
            more = 1;
            cp = c & 0x1f;
        } else if (c >= 0xe0 && c <= 0xef) {
            more = 2;
            cp = c & 0x0f;
        } else if (c >= 0xf0 && c <= 0xf4) {
            more = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (end - p < more) return false;
        for (int i = 0; i < more; i++) {
            if ((p[i] & 0xc0) != 0x80) return false;
            cp = (cp << 6) | (p[i] & 0x3f);
        }
        p += more;
        if ((more == 2 && cp < 0x800) || (more == 3 && cp < 0x10000) || cp > 0x10ffff ||
            (cp >= 0xd800 && cp <= 0xdfff))
            return false;
    }
    return true;
}
