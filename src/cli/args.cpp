// Global option removal and command option parsing.
#include "cli/args.h"

#include "base/amounts.h"
#include "base/strings.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

void args_remove_globals(std::vector<std::string> &args, GlobalOptions &out) {
    size_t i = 1;
    while (i < args.size()) {
        const std::string &a = args[i];
        if (a == "--") return; // what follows is not an option, whatever it looks like
        if (a == "--data-dir" && i + 1 < args.size()) {
            out.data_dir = args[i + 1];
            args.erase(args.begin() + i, args.begin() + i + 2);
        } else if (a.compare(0, 11, "--data-dir=") == 0) {
            out.data_dir = a.substr(11);
            args.erase(args.begin() + i);
        } else if (a == "--move") {
            out.move = true;
            args.erase(args.begin() + i);
        } else if (a == "--offline") {
            out.offline = true;
            args.erase(args.begin() + i);
        } else {
            i++;
        }
    }
}

long long memory_physical_mb() {
    long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page <= 0) return 0;
    return static_cast<long long>(pages) * page / (1024 * 1024);
}

// A memory amount as a player types it: decimal digits, one optional
// fraction, one optional unit letter (upper-cased into *unit, '\0' without).
// False for anything else: signs, hexadecimal, exponents, "nan", spaces.
static bool amount_parse(const std::string &text, bool fraction, double *value, char *unit) {
    size_t i = 0, digits = 0;
    while (i < text.size() && isdigit(static_cast<unsigned char>(text[i])))
        i++, digits++;
    if (fraction && i < text.size() && text[i] == '.') {
        i++;
        while (i < text.size() && isdigit(static_cast<unsigned char>(text[i])))
            i++, digits++;
    }
    if (digits == 0) return false;
    *unit = '\0';
    if (i + 1 == text.size())
        *unit = static_cast<char>(toupper(static_cast<unsigned char>(text[i++])));
    if (i != text.size()) return false;
    *value = strtod(text.substr(0, text.size() - (*unit ? 1 : 0)).c_str(), nullptr);
    return std::isfinite(*value);
}

// The machine's memory, for a message: "15,5 ГБ".
static std::string memory_text(long long mb) {
    return amount_bytes(mb * 1024 * 1024);
}

int ram_parse_mb(const std::string &text, long long physical_mb, const char *what,
                 std::string *err) {
    double v = 0, mb = 0;
    char unit = '\0';
    bool ok = amount_parse(text, true, &v, &unit) && (unit == '\0' || unit == 'M' || unit == 'G');
    if (ok) mb = (unit == 'G' || v < 64) ? v * 1024 : v;
    if (!ok || mb < 1) {
        if (err) *err = format_alloc("Неверный объём памяти %s: %s", what, text.c_str());
        return 0;
    }
    if (physical_mb > 0 && mb > static_cast<double>(physical_mb)) {
        if (err)
            *err = format_alloc("Неверный объём памяти %s: %s — в компьютере всего %s", what,
                                text.c_str(), memory_text(physical_mb).c_str());
        return 0;
    }
    return mb >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(mb);
}

int ram_gb_parse(const std::string &text, long long physical_mb, std::string *err) {
    double v = 0;
    char unit = '\0';
    if (!amount_parse(text, false, &v, &unit) || (unit != '\0' && unit != 'G') || v < 1 ||
        v > INT_MAX / 1024) {
        if (err)
            *err = format_alloc("Неверное значение ram_gb: %s (целое число гигабайт, например 4)",
                                text.c_str());
        return 0;
    }
    if (physical_mb > 0 && v * 1024 > static_cast<double>(physical_mb)) {
        if (err)
            *err = format_alloc("Неверное значение ram_gb: %s ГБ — в компьютере всего %s",
                                text.c_str(), memory_text(physical_mb).c_str());
        return 0;
    }
    return static_cast<int>(v);
}

SearchSources source_parse(const std::string &text) {
    char first = text.empty() ? '\0' : text[0];
    if (first == 'c' || first == 'C') return ContentSource::CurseForge;
    if (first == 'a' || first == 'A') return std::nullopt;
    return ContentSource::Modrinth;
}

// Stores a value-taking option; false when name is not one. err is set for
// a value the option cannot take.
static bool take_value(const std::string &name, const std::string &v, Options &o,
                       std::string &err) {
    if (name == "--loader")
        o.loader = v;
    else if (name == "--loader-version")
        o.loader_version = v;
    else if (name == "--name" || name == "-n") {
        o.nick = v;
        o.nick_given = true;
    } else if (name == "--mc")
        o.mc = v;
    else if (name == "--world")
        o.world = v;
    else if (name == "--include")
        o.include = v;
    else if (name == "--ram") {
        o.ram_mb = ram_parse_mb(v, memory_physical_mb(), "--ram", &err);
        o.ram_given = true;
    } else if (name == "--server")
        o.server = v;
    else if (name == "--instance")
        o.instance = v;
    else if (name == "--source") {
        o.source_text = v;
        o.source = source_parse(v);
    } else if (name == "--type") {
        o.type = content_type_parse(v);
    } else
        return false;
    return true;
}

// Puts a into the first free positional slot; false when all three are taken.
static bool take_positional(const std::string &a, Options &o) {
    for (auto &slot : o.pos) {
        if (!slot) {
            slot = a;
            return true;
        }
    }
    return false;
}

static int positionals_filled(const Options &o) {
    int n = 0;
    for (const auto &slot : o.pos)
        n += slot.has_value();
    return n;
}

// The words from i on joined by spaces: a free-text value typed as several
// words ("-XX:+UseZGC -Xmx4G").
static std::string rest_of_line(const std::vector<std::string> &args, size_t i) {
    std::string text;
    for (; i < args.size(); i++)
        text += (text.empty() ? "" : " ") + args[i];
    return text;
}

// The option at args[i]: the number of arguments it takes (2 with its value,
// 1 for a switch), 0 when args[i] is no option, -1 with err for one that is
// unknown or a value it cannot take.
static int take_option(const std::vector<std::string> &args, size_t i, Options &o,
                       std::string &err) {
    const std::string &a = args[i];
    if (i + 1 < args.size() && take_value(a, args[i + 1], o, err)) return err.empty() ? 2 : -1;
    if (a == "--snapshots")
        o.version_filter |= 2;
    else if (a == "--old")
        o.version_filter |= 4;
    else if (a == "--all")
        o.version_filter = 7;
    else if (a == "--help" || a == "-h")
        o.help = true;
    else if (!a.empty() && a[0] == '-') {
        err = format_alloc("Неизвестный аргумент: %s", a.c_str());
        return -1;
    } else
        return 0;
    return 1;
}

int options_parse(const std::vector<std::string> &args, Options &o, std::string &err,
                  int rest_after) {
    bool options_ended = false;
    for (size_t i = 2; i < args.size(); i++) {
        if (rest_after > 0 && positionals_filled(o) == rest_after) {
            if (!options_ended && args[i] == "--") i++;
            if (i < args.size()) o.rest = rest_of_line(args, i);
            return 0;
        }
        if (!options_ended) {
            if (args[i] == "--") {
                options_ended = true;
                continue;
            }
            int used = take_option(args, i, o, err);
            if (used < 0) return -1;
            if (used > 0) {
                i += static_cast<size_t>(used) - 1;
                continue;
            }
        }
        if (!take_positional(args[i], o)) {
            err = format_alloc("Неизвестный аргумент: %s", args[i].c_str());
            return -1;
        }
    }
    return 0;
}
