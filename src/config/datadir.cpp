// Data directory resolution and relocation.
//
// Resolution order: --data-dir, $ZYL_HOME, the per-user location ini
// ($XDG_CONFIG_HOME/zyl-launcher-location.ini), zyl.ini next to the
// executable, $XDG_DATA_HOME/zyl-launcher when the executable is installed
// under /usr or /opt, and finally "data" next to the executable.
#include "config/datadir.h"

#include "base/fs.h"
#include "base/strings.h"
#include "base/ui.h"

#include <curl/curl.h>
#include <mutex>
#include <unistd.h>

namespace {
std::mutex g_lock; // guards the two values below, only while copying
DataPaths g_paths;
const char *g_label = "exe folder";
std::string g_exe_dir_override; // tests only
} // namespace

DataPaths datapaths() {
    std::lock_guard<std::mutex> lk(g_lock);
    return g_paths;
}

const char *datadir_label() {
    std::lock_guard<std::mutex> lk(g_lock);
    return g_label;
}

static void set_label(const char *label) {
    std::lock_guard<std::mutex> lk(g_lock);
    g_label = label;
}

void datadir_set_exe_dir_for_tests(const std::string &dir) {
    g_exe_dir_override = dir;
}

static std::string exe_folder() {
    return g_exe_dir_override.empty() ? exe_dir() : g_exe_dir_override;
}

std::string datadir_exe_ini_path() {
    return exe_folder() + "/zyl.ini";
}

static std::string home_dir() {
    auto home = env_path("HOME");
    return home ? *home : std::string("/root");
}

std::string datadir_user_ini_path() {
    auto cfg = env_path("XDG_CONFIG_HOME");
    std::string base = cfg ? *cfg : home_dir() + "/.config";
    return base + "/zyl-launcher-location.ini";
}

static bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

std::optional<std::string> datadir_ini_parse(const std::string &text_in,
                                             const std::string &exe_folder_path) {
    std::string text = text_in;
    if (str_starts_with(text, "\xEF\xBB\xBF")) text.erase(0, 3);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        size_t i = 0;
        while (i < line.size() && is_blank(line[i]))
            i++;
        if (!str_starts_with_ci(line.substr(i), "data_dir")) continue;
        i += 8;
        while (i < line.size() && is_blank(line[i]))
            i++;
        if (i >= line.size() || line[i] != '=') continue;
        i++;
        while (i < line.size() && (is_blank(line[i]) || line[i] == '"'))
            i++;
        std::string value = line.substr(i);
        while (!value.empty() && (is_blank(value.back()) || value.back() == '"' ||
                                  value.back() == '/' || value.back() == '\\'))
            value.pop_back();
        if (value.empty()) continue;
        value = str_backslash_to_slash(value);
        if (value[0] == '/' || (value.size() > 1 && value[1] == ':')) return value;
        return exe_folder_path + "/" + value;
    }
    return std::nullopt;
}

static std::optional<std::string> read_ini(const std::string &path) {
    // A location file is a line or two; anything far larger is not one.
    auto text = fs_read_all(path, 64 << 10);
    if (!text) return std::nullopt;
    return datadir_ini_parse(*text, exe_folder());
}

// The executable counts as installed system-wide when it lives under /usr or /opt.
static bool exe_is_installed() {
    std::string dir = exe_folder();
    for (const char *root : {"/usr", "/opt"}) {
        std::string r = root;
        if (dir == r || str_starts_with(dir, r + "/")) return true;
    }
    return false;
}

static std::string xdg_data_home() {
    auto d = env_path("XDG_DATA_HOME");
    return d ? *d : home_dir() + "/.local/share";
}

void datapaths_publish(const DataPaths &paths) {
    std::lock_guard<std::mutex> lk(g_lock);
    g_paths = paths;
}

void datapaths_set(const std::string &dir) {
    DataPaths p;
    p.data = dir;
    p.libraries = dir + "/libraries";
    p.assets = dir + "/assets";
    p.versions = dir + "/versions";
    p.java = dir + "/java";
    p.instances = dir + "/instances";
    p.cache = dir + "/cache";
    for (const std::string *sub :
         {&p.libraries, &p.assets, &p.versions, &p.java, &p.instances, &p.cache})
        fs_mkdirs(*sub);
    datapaths_publish(p);
}

// The data directory and where it came from.
static std::string resolve_dir(const std::optional<std::string> &override, const char *&label) {
    if (override && !override->empty()) {
        label = "--data-dir";
        return str_backslash_to_slash(*override);
    }
    if (auto home = env_path("ZYL_HOME")) {
        label = "$ZYL_HOME";
        return *home;
    }
    if (auto dir = read_ini(datadir_user_ini_path())) {
        label = "user zyl.ini";
        return *dir;
    }
    if (auto dir = read_ini(datadir_exe_ini_path())) {
        label = "zyl.ini";
        return *dir;
    }
    if (exe_is_installed()) {
        label = "$XDG_DATA_HOME";
        return xdg_data_home() + "/zyl-launcher";
    }
    label = "exe folder";
    return exe_folder() + "/data";
}

void datadir_resolve(const std::optional<std::string> &override) {
    curl_global_init(CURL_GLOBAL_ALL);
    const char *label = nullptr;
    std::string dir = resolve_dir(override, label);
    set_label(label);
    datapaths_set(dir);
}

static std::string normalise_folder(const std::string &in) {
    std::string n = str_backslash_to_slash(in);
    // A relative folder is taken from the current folder, as the user typed it;
    // recorded as is, it would later be read relative to the executable.
    if (!n.empty() && n[0] != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd)) n = std::string(cwd) + "/" + n;
    }
    while (n.size() > 1 && n.back() == '/' && n[n.size() - 2] != ':')
        n.pop_back();
    return n;
}

// Moves one entry of the data directory; 0, or -1 with err when a copy failed.
static int move_entry(const std::string &current, const std::string &name,
                      const std::string &target_dir, std::string *err) {
    std::string src = current + "/" + name;
    std::string dst = target_dir + "/" + name;
    if (!fs_exists(src)) return 0;
    if (fs_exists(dst)) {
        auto entries = dir_list(dst);
        if (!entries || entries->empty()) fs_rmdir(dst);
    }
    if (fs_exists(dst)) {
        ui_message("Пропуск %s: уже существует в новой папке", name.c_str());
        return 0;
    }
    if (fs_rename_replace(src, dst) == 0) return 0;
    ui_message("Копирую %s ...", name.c_str());
    if (fs_copy_tree(src, dst) != 0) {
        if (err) *err = format_alloc("Ошибка копирования %s", name.c_str());
        return -1;
    }
    fs_remove_tree(src);
    return 0;
}

static std::string ini_text(const std::string &dir) {
    return format_alloc("; ZYL Launcher\r\ndata_dir=%s\r\n", dir.c_str());
}

static void record_location(const std::string &dir) {
    std::string text = ini_text(dir);
    if (fs_write_atomic(datadir_exe_ini_path(), text) == 0) {
        fs_delete(datadir_user_ini_path());
        return;
    }
    if (fs_write_atomic(datadir_user_ini_path(), text) != 0)
        ui_message("Не удалось сохранить zyl.ini — изменение действует до перезапуска");
}

int datadir_relocate(const std::string &new_folder, bool move, std::string *err) {
    std::string n = normalise_folder(new_folder);
    const std::string current = datapaths().data;
    if (n == current) return 0;
    if (str_starts_with(n, current + "/")) {
        if (err) *err = "Новая папка не может быть внутри текущей";
        return -1;
    }
    if (fs_mkdirs(n) != 0) {
        if (err) *err = format_alloc("Не удалось создать %s", n.c_str());
        return -1;
    }
    if (move) {
        for (const char *e : {"libraries", "assets", "versions", "java", "instances", "cache",
                              "settings.json", "launcher_profiles.json"}) {
            if (move_entry(current, e, n, err) != 0) return -1;
        }
    }
    record_location(n);
    set_label("zyl.ini");
    datapaths_set(n);
    return 0;
}
