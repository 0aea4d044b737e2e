// Crash explanations: the rule table and its matching.
#include "game/crash_help.h"

#include "base/fs.h"
#include "base/strings.h"

#include <algorithm>
#include <cstring>
#include <regex>

namespace {

const char *const k_update_or_remove =
    "Обновите или удалите этот мод (страница «Моды» → установленные) — он не подходит к этой "
    "версии игры или к другим модам.";
const char *const k_java_auto_advice =
    "Класс {1} собран для Java {java:2}. Выберите Java «авто» в настройках (и в настройках "
    "сборки) — лаунчер сам скачает нужную Java.";
const char *const k_driver =
    "Обновите драйвер видеокарты с сайта её производителя (NVIDIA, AMD, Intel); на ноутбуке "
    "запускайте игру на дискретной видеокарте. Если не помогло — уберите шейдеры и моды графики.";

// Checked in order: the specific causes before the general ones.
const std::vector<CrashRule> k_rules = {
    {"java_too_old", "UnsupportedClassVersionError",
     R"(UnsupportedClassVersionError: (\S+) has been compiled by a more recent version of the Java Runtime \(class file version (\d+)(?:\.\d+)?\), this version of the Java Runtime only recognizes class file versions up to (\d+))",
     "", "Слишком старая Java: нужна Java {java:2}, а запущена Java {java:3}",
     k_java_auto_advice,
     "", CrashAction::Java},
    {"java_too_old_legacy", "Unsupported major.minor version",
     R"(UnsupportedClassVersionError: (\S+) : Unsupported major\.minor version (\d+))", "",
     "Слишком старая Java: нужна Java {java:2}",
     k_java_auto_advice,
     "", CrashAction::Java},
    // Fabric ("Mod 'Name' (id) 1.0 requires ...") and Quilt ("id requires ...").
    {"dependency_missing", "which is missing",
     R"((?:Mod '([^']+)' \(([\w.-]+)\)(?: \S+)?|([\w.-]+)) requires (.+?) of (?:mod )?(?:'[^']*' \(([\w.-]+)\)|([\w.-]+)), which is missing)",
     "", "Не хватает мода {5|6}",
     "Мод «{1|3}» требует {4} мода {5|6}, а его нет в сборке. Установите {5|6} на странице "
     "«Моды».",
     "{5|6}", CrashAction::InstallMod},
    {"dependency_wrong_version", "but only the wrong version is present",
     R"((?:Mod '([^']+)' \(([\w.-]+)\)(?: \S+)?|([\w.-]+)) requires (.+?) of (?:mod )?(?:'[^']*' \(([\w.-]+)\)|([\w.-]+)), but only the wrong version is present: ([^!]+)!)",
     "", "Не та версия мода {5|6}",
     "Мод «{1|3}» требует {4} мода {5|6}, а в сборке версия {7}. Установите подходящую версию "
     "{5|6} на странице «Моды».",
     "{5|6}", CrashAction::InstallMod},
    // Forge and NeoForge list them under "Missing or unsupported mandatory dependencies".
    {"forge_dependency_missing", "Actual version: '[MISSING]'",
     R"(Mod ID: '([^']+)', Requested by: '([^']+)', Expected range: '([^']*)', Actual version: '\[MISSING\]')",
     "", "Не хватает мода {1}",
     "Мод {2} требует мод {1} (версии {3}), а его нет в сборке. Установите {1} на странице "
     "«Моды».",
     "{1}", CrashAction::InstallMod},
    {"forge_dependency_version", "Actual version: '",
     R"(Mod ID: '([^']+)', Requested by: '([^']+)', Expected range: '([^']*)', Actual version: '([^']*)')",
     "", "Не та версия мода {1}",
     "Мод {2} требует {1} версии {3}, а в сборке версия {4}. Установите подходящую версию {1} "
     "на странице «Моды».",
     "{1}", CrashAction::InstallMod},
    {"duplicate_mods", "from mod files:", R"(Mod ID: '([^']+)' from mod files: (.+))", "",
     "Мод {1} установлен дважды",
     "В папке mods два файла одного мода: {2}. Удалите лишний (обычно более старый).", "{1}",
     CrashAction::None},
    {"duplicate_mods_fabric", " and mod '",
     R"(Replace mod '([^']+)' \(([\w.-]+)\) (\S+) and mod '[^']+' \(\2\) (\S+))", "",
     "Мод {1} установлен дважды",
     "В папке mods два файла мода {1} ({2}): версии {3} и {4}. Удалите лишний (обычно более "
     "старый).",
     "{2}", CrashAction::None},
    {"heap_reserve", "object heap", R"(Could not reserve enough space for (?:\d+KB )?object heap)",
     "", "Java не смогла выделить игре {ram} памяти",
     "Столько свободной памяти нет (или Java 32-битная). Уменьшите «Память для игры» в "
     "настройках (или в настройках сборки), например до {ram_less}.",
     "", CrashAction::Memory},
    {"out_of_memory", "OutOfMemoryError", R"(java\.lang\.OutOfMemoryError(?:: ([^\r]+))?)", "",
     "Игре не хватило памяти",
     "Игре было выделено {ram}. Увеличьте «Память для игры» в настройках (или в настройках "
     "сборки), например до {ram_more}.",
     "", CrashAction::Memory},
    {"mixin_apply", "Mixin apply",
     R"(Mixin apply (?:for mod ([\w.-]+) )?failed (?:mixins\.)?([\w-]+)[\w.-]*\.json)", "",
     "Ошибка мода {1|2} при загрузке (Mixin)", k_update_or_remove, "{1|2}", CrashAction::None},
    {"mixin_injection", "InvalidInjectionException",
     R"(InvalidInjectionException.*?-> (?:mixins\.)?([\w-]+)[\w.-]*\.json:\S+(?: from mod ([\w.-]+))?)",
     "", "Ошибка мода {2|1} при загрузке (Mixin)", k_update_or_remove, "{2|1}", CrashAction::None},
    {"mixin_config", "FAILED during",
     R"(Mixin \[(?:mixins\.)?([\w-]+)[\w.-]*\.json:[^\]]*\] from phase \[\w+\] in config \[[^\]]*\] FAILED during)",
     "", "Ошибка мода {1} при загрузке (Mixin)", k_update_or_remove, "{1}", CrashAction::None},
    {"driver_pixel_format", "Pixel format not accelerated", "Pixel format not accelerated", "",
     "Видеодрайвер не поддерживает OpenGL", k_driver, "", CrashAction::None},
    {"driver_glfw", "GLFW error", R"(GLFW error (?:before init: \[)?(6554[23]|0x1000[67]))", "",
     "Видеодрайвер не поддерживает нужный OpenGL (GLFW {1})", k_driver, "", CrashAction::None},
    {"driver_crash", "# C  [",
     R"(# C  \[((?:atio6axx|atioglxx|atig6pxx|atig6txx|amdxc64|ig\w*icd\d*|nvoglv\d*|nvd3dumx?|libnvidia-\w+|radeonsi_dri|iris_dri|i965_dri)[\w.-]*))",
     "EXCEPTION_ACCESS_VIOLATION|SIGSEGV", "Игра упала в видеодрайвере ({1})", k_driver, "{1}",
     CrashAction::None},
    {"config_broken", "JsonSyntaxException", R"(JsonSyntaxException)",
     R"((config/[\w./-]+\.json5?))", "Повреждён файл настроек {a1}",
     "Удалите {a1} в папке сборки (игра создаст его заново) или исправьте в нём ошибку.", "{a1}",
     CrashAction::None},
};

// Java major version of a class file version (52 is Java 8).
std::string java_of_class_version(const std::string &v) {
    int n = atoi(v.c_str());
    return n > 44 ? std::to_string(n - 44) : v;
}

std::string memory_text(int mb) {
    if (mb <= 0) return "не задано";
    if (mb % 1024 == 0) return format_alloc("%d ГБ", mb / 1024);
    return format_alloc("%d МБ", mb);
}

struct Match {
    std::vector<std::string> main_groups, also_groups;
};

std::string group(const std::vector<std::string> &g, size_t i) {
    return i < g.size() ? g[i] : std::string();
}

std::string expand(const char *tmpl, const Match &m, const CrashInput &in) {
    std::string out;
    for (const char *p = tmpl; *p;) {
        const char *close = *p == '{' ? strchr(p, '}') : nullptr;
        if (!close) {
            out += *p++;
            continue;
        }
        std::string key(p + 1, close);
        p = close + 1;
        int gb = in.ram_mb / 1024;
        if (key == "ram") {
            out += memory_text(in.ram_mb);
        } else if (key == "ram_more") {
            out += memory_text(std::max(gb + 2, 4) * 1024);
        } else if (key == "ram_less") {
            out += memory_text(std::max(gb / 2, 1) * 1024);
        } else if (key == "report") {
            out += in.report_path.empty() ? in.hs_err_path : in.report_path;
        } else if (key.rfind("java:", 0) == 0) {
            out += java_of_class_version(group(m.main_groups, atoi(key.c_str() + 5)));
        } else if (key[0] == 'a') {
            out += group(m.also_groups, atoi(key.c_str() + 1));
        } else {
            // "{5|6}": the first of the groups that took part in the match.
            for (const std::string &n : str_split(key, '|')) {
                std::string v = group(m.main_groups, atoi(n.c_str()));
                if (!v.empty()) {
                    out += v;
                    break;
                }
            }
        }
    }
    return out;
}

// Lines are matched one at a time (and long ones cut), so that no pattern
// can run across a whole log.
bool find_in(const std::vector<std::string> &lines, const char *needle, const std::regex &re,
             std::vector<std::string> &groups) {
    for (const std::string &line : lines) {
        if (needle[0] && line.find(needle) == std::string::npos) continue;
        std::smatch m;
        if (!std::regex_search(line, m, re)) continue;
        groups.clear();
        for (size_t i = 0; i < m.size(); i++)
            groups.push_back(m[i].matched ? m[i].str() : "");
        return true;
    }
    return false;
}

std::vector<std::string> lines_of(const CrashInput &in) {
    std::vector<std::string> lines;
    for (const std::string *text : {&in.report, &in.hs_err, &in.output}) {
        size_t at = 0;
        while (at < text->size()) {
            size_t nl = text->find('\n', at);
            if (nl == std::string::npos) nl = text->size();
            std::string line = text->substr(at, std::min<size_t>(nl - at, 4096));
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(std::move(line));
            at = nl + 1;
        }
    }
    return lines;
}

// "java.lang.IllegalStateException: ..." and the like, with "Caused by: "
// or "Exception in thread ..." before it.
const std::regex
    k_exception_line(R"(((?:[a-z_$][\w$]*\.)+[A-Z][\w$]*(?:Exception|Error)\b(?::\s*.*)?))");

} // namespace

const std::vector<CrashRule> &crash_rules() {
    return k_rules;
}

CrashHelp crash_explain(const CrashInput &in) {
    std::vector<std::string> lines = lines_of(in);
    CrashHelp h;
    h.report = in.report_path.empty() ? in.hs_err_path : in.report_path;
    for (const CrashRule &r : k_rules) {
        Match m;
        if (!find_in(lines, r.needle, std::regex(r.pattern), m.main_groups)) continue;
        if (r.also[0] && !find_in(lines, "", std::regex(r.also), m.also_groups)) continue;
        h.rule = r.id;
        h.title = expand(r.title, m, in);
        h.advice = expand(r.advice, m, in);
        h.mod = expand(r.mod, m, in);
        h.action = r.action;
        return h;
    }
    std::vector<std::string> groups;
    h.title = format_alloc("Игра завершилась с ошибкой (код %d)", in.exit_code);
    if (find_in(lines, "", k_exception_line, groups))
        h.advice = "Первая ошибка: " + groups[1];
    else
        h.advice = "Причина не распознана — посмотрите вывод игры в журнале.";
    if (!h.report.empty()) h.advice += "\nОтчёт: " + h.report;
    return h;
}

namespace {

// The newest file of folder whose name starts with prefix and ends with
// suffix, modified at or after started; "" none.
std::string newest(const std::string &folder, const char *prefix, const char *suffix,
                   long long started) {
    std::string best;
    long long best_time = -1;
    for (const std::string &name : dir_list(folder).value_or(std::vector<std::string>{})) {
        if (name.rfind(prefix, 0) != 0 || name.size() < strlen(suffix) ||
            name.compare(name.size() - strlen(suffix), std::string::npos, suffix) != 0)
            continue;
        FileStat st;
        std::string path = folder + "/" + name;
        if (fs_stat(path, &st) != 0 || st.is_dir || st.mtime < started || st.mtime < best_time)
            continue;
        best = path;
        best_time = st.mtime;
    }
    return best;
}

// At most cap bytes from the start of a file.
std::string read_head(const std::string &path, size_t cap) {
    FilePtr f = fs_open(path, "rb");
    if (!f) return "";
    std::string out(cap, '\0');
    out.resize(fread(out.data(), 1, cap, f.get()));
    return out;
}

} // namespace

void crash_help_collect(const std::string &game_dir, long long started, CrashInput &in) {
    // Coarse file times (whole seconds, or two on FAT) must not hide this run's report.
    started -= 2;
    in.report_path = newest(game_dir + "/crash-reports", "crash-", ".txt", started);
    if (!in.report_path.empty()) in.report = read_head(in.report_path, 1024 * 1024);
    in.hs_err_path = newest(game_dir, "hs_err_pid", ".log", started);
    if (!in.hs_err_path.empty()) in.hs_err = read_head(in.hs_err_path, 256 * 1024);
}

void crash_tail_append(std::string &tail, const char *data, size_t len) {
    tail.append(data, len);
    if (tail.size() <= k_crash_output_tail) return;
    size_t cut = tail.size() - k_crash_output_tail;
    size_t nl = tail.find('\n', cut);
    tail.erase(0, nl == std::string::npos ? cut : nl + 1);
}

std::string crash_help_text(const CrashHelp &h) {
    std::string out = "Почему игра упала: " + h.title + "\n" + h.advice + "\n";
    if (!h.report.empty() && h.advice.find(h.report) == std::string::npos)
        out += "Отчёт: " + h.report + "\n";
    return out;
}
