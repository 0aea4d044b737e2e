// Global option removal and command option parsing.
#include "cli/args.h"

#include "base/strings.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

void args_remove_globals(std::vector<std::string> &args, GlobalOptions &out) {
    size_t i = 1;
    while (i < args.size()) {
        const std::string &a = args[i];
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

std::optional<std::string> args_take_rest(std::vector<std::string> &args, size_t from) {
    if (from >= args.size()) return std::nullopt;
    size_t first = from;
    if (args[first] == "--" && first + 1 < args.size()) first++;
    std::string value;
    for (size_t i = first; i < args.size(); i++)
        value += (i > first ? " " : "") + args[i];
    args.resize(from);
    return value;
}

int ram_parse_mb(const char *text) {
    char *end = nullptr;
    double v = strtod(text, &end);
    char unit = static_cast<char>(toupper(static_cast<unsigned char>(*end)));
    double mb;
    if (unit == 'G')
        mb = v * 1024;
    else if (unit == '\0' || unit == 'M')
        mb = v < 64 ? v * 1024 : v;
    else
        mb = 4096;
    // "nan", "inf", "1e400", "0" and "-1" would reach Java as a heap of no
    // size (and the cast of such a double to int is undefined).
    if (!std::isfinite(mb) || mb < 1) return 0;
    if (mb >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(mb);
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
        o.ram_mb = ram_parse_mb(v.c_str());
        o.ram_given = true;
        if (o.ram_mb == 0) err = format_alloc("Неверный объём памяти --ram: %s", v.c_str());
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

int options_parse(const std::vector<std::string> &args, Options &o, std::string &err) {
    for (size_t i = 2; i < args.size(); i++) {
        const std::string &a = args[i];
        if (i + 1 < args.size() && take_value(a, args[i + 1], o, err)) {
            if (!err.empty()) return -1;
            i++;
            continue;
        }
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
        } else {
            bool placed = false;
            for (auto &slot : o.pos) {
                if (!slot) {
                    slot = a;
                    placed = true;
                    break;
                }
            }
            if (!placed) {
                err = format_alloc("Неизвестный аргумент: %s", a.c_str());
                return -1;
            }
        }
    }
    return 0;
}
