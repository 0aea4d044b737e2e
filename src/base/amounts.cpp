// Formatting of sizes, durations and counted words.
#include "base/amounts.h"

#include "base/strings.h"

#include <cmath>

namespace {

const char *const k_units[] = {"Б", "КБ", "МБ", "ГБ", "ТБ"};

// The unit index for bytes: the largest unit in which it is at least 1.
int unit_of(long long bytes) {
    int u = 0;
    double v = static_cast<double>(bytes);
    while (v >= 1024 && u < 4) {
        v /= 1024;
        u++;
    }
    return u;
}

// v with one decimal (comma) below 100, whole above; bytes are always whole.
std::string number_in(long long bytes, int unit) {
    double v = static_cast<double>(bytes) / std::pow(1024.0, unit);
    if (unit == 0 || v >= 100) return format_alloc("%.0f", v);
    std::string s = format_alloc("%.1f", v);
    size_t dot = s.find('.');
    if (dot != std::string::npos) s[dot] = ',';
    return s;
}

} // namespace

std::string amount_bytes(long long bytes) {
    int u = unit_of(bytes);
    return number_in(bytes, u) + " " + k_units[u];
}

std::string amount_bytes_of(long long done, long long total) {
    int u = unit_of(total);
    return number_in(done, u) + " из " + number_in(total, u) + " " + k_units[u];
}

std::string amount_duration(double seconds) {
    if (seconds < 0) seconds = 0;
    if (seconds < 10) {
        std::string s = format_alloc("%.1f с", seconds);
        s[s.find('.')] = ',';
        return s;
    }
    long s = std::lround(seconds);
    if (s < 60) return format_alloc("%ld с", s);
    if (s < 3600) return s % 60 ? format_alloc("%ld мин %ld с", s / 60, s % 60)
                                : format_alloc("%ld мин", s / 60);
    return format_alloc("%ld ч %ld мин", s / 3600, s % 3600 / 60);
}

std::string amount_time_left(double seconds) {
    long s = std::lround(std::ceil(seconds < 1 ? 1 : seconds));
    if (s < 60) return format_alloc("~%ld с", s);
    if (s < 3600) return format_alloc("~%ld мин", (s + 30) / 60);
    return format_alloc("~%ld ч", (s + 1800) / 3600);
}

const char *plural_word(long n, const char *one, const char *few, const char *many) {
    long m100 = n % 100, m10 = n % 10;
    if (m100 >= 11 && m100 <= 19) return many;
    if (m10 == 1) return one;
    if (m10 >= 2 && m10 <= 4) return few;
    return many;
}
