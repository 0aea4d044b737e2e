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

// Decodes the code point at p into cp; the number of bytes it takes, or 0
// for a malformed sequence (overlong form, surrogate, above U+10FFFF, cut off).
static int utf8_next(const unsigned char *p, const unsigned char *end, unsigned *cp) {
    unsigned char c = *p;
    if (c < 0x80) {
        *cp = c;
        return 1;
    }
    int more;
    unsigned v;
    if (c >= 0xc2 && c <= 0xdf) {
        more = 1;
        v = c & 0x1f;
    } else if (c >= 0xe0 && c <= 0xef) {
        more = 2;
        v = c & 0x0f;
    } else if (c >= 0xf0 && c <= 0xf4) {
        more = 3;
        v = c & 0x07;
    } else {
        return 0;
    }
    if (end - p - 1 < more) return 0;
    for (int i = 1; i <= more; i++) {
        if ((p[i] & 0xc0) != 0x80) return 0;
        v = (v << 6) | (p[i] & 0x3f);
    }
    if ((more == 2 && v < 0x800) || (more == 3 && v < 0x10000) || v > 0x10ffff ||
        (v >= 0xd800 && v <= 0xdfff))
        return 0;
    *cp = v;
    return more + 1;
}

bool str_utf8_valid(const std::string &s) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(s.data());
    const unsigned char *end = p + s.size();
    unsigned cp;
    while (p < end) {
        int n = utf8_next(p, end, &cp);
        if (n == 0) return false;
        p += n;
    }
    return true;
}

std::u32string str_code_points(const std::string &s) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(s.data());
    const unsigned char *end = p + s.size();
    std::u32string out;
    unsigned cp;
    while (p < end) {
        int n = utf8_next(p, end, &cp);
        out.push_back(n ? cp : 0xfffd);
        p += n ? n : 1;
    }
    return out;
}

// Characters that steer a terminal or the text direction instead of showing.
static bool code_point_steers(char32_t c) {
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || (c >= 0x202a && c <= 0x202e) ||
           (c >= 0x2066 && c <= 0x2069);
}

static void append_utf8(std::string &out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xc0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xe0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (c & 0x3f));
    } else {
        out += static_cast<char>(0xf0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (c & 0x3f));
    }
}

std::string str_display(const std::string &s, bool multiline) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(s.data());
    const unsigned char *end = p + s.size();
    std::string out;
    out.reserve(s.size());
    unsigned cp;
    while (p < end) {
        int n = utf8_next(p, end, &cp);
        if (n == 0) {
            append_utf8(out, 0xfffd);
            p++;
            continue;
        }
        if (!code_point_steers(cp) || cp == '\t' || (multiline && cp == '\n'))
            out.append(reinterpret_cast<const char *>(p), static_cast<size_t>(n));
        else if (cp < 0x20)
            append_utf8(out, 0x2400 + cp); // the Control Pictures block: ␀ to ␟
        else if (cp == 0x7f)
            append_utf8(out, 0x2421); // ␡
        else
            append_utf8(out, 0xfffd);
        p += n;
    }
    return out;
}

bool str_printable(const std::string &s) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(s.data());
    const unsigned char *end = p + s.size();
    unsigned cp;
    while (p < end) {
        int n = utf8_next(p, end, &cp);
        if (n == 0 || code_point_steers(cp)) return false;
        p += n;
    }
    return true;
}

// East Asian wide and fullwidth ranges (Unicode's EastAsianWidth W and F),
// the blocks a name or a terminal line is likely to hold.
static bool code_point_wide(char32_t c) {
    static const char32_t ranges[][2] = {
        {0x1100, 0x115f},   {0x2e80, 0x303e},   {0x3041, 0x33ff},   {0x3400, 0x4dbf},
        {0x4e00, 0x9fff},   {0xa000, 0xa4cf},   {0xa960, 0xa97f},   {0xac00, 0xd7a3},
        {0xf900, 0xfaff},   {0xfe30, 0xfe4f},   {0xff00, 0xff60},   {0xffe0, 0xffe6},
        {0x1f300, 0x1f64f}, {0x1f900, 0x1f9ff}, {0x20000, 0x2fffd}, {0x30000, 0x3fffd}};
    for (const auto &r : ranges)
        if (c >= r[0] && c <= r[1]) return true;
    return false;
}

// Combining marks and zero-width characters take no column.
static bool code_point_zero_width(char32_t c) {
    return (c >= 0x300 && c <= 0x36f) || (c >= 0x200b && c <= 0x200f) || c == 0xfe0f;
}

static int code_point_width(char32_t c) {
    if (code_point_zero_width(c)) return 0;
    return code_point_wide(c) ? 2 : 1;
}

int str_display_width(const std::string &s) {
    int w = 0;
    for (char32_t c : str_code_points(s))
        w += code_point_width(c);
    return w;
}

std::string str_pad_display(const std::string &s, int width) {
    int w = str_display_width(s);
    return w >= width ? s : s + std::string(static_cast<size_t>(width - w), ' ');
}

std::string str_cut_display(const std::string &s, int width) {
    const unsigned char *begin = reinterpret_cast<const unsigned char *>(s.data());
    const unsigned char *p = begin, *end = begin + s.size();
    int w = 0;
    unsigned cp;
    while (p < end) {
        int n = utf8_next(p, end, &cp);
        int cw = n ? code_point_width(cp) : 1;
        if (w + cw > width) break;
        w += cw;
        p += n ? n : 1;
    }
    return s.substr(0, static_cast<size_t>(p - begin));
}
