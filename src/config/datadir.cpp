// Data directory resolution and relocation.
//
// Resolution order: --data-dir, $ZYL_HOME, the per-user location ini
// ($XDG_CONFIG_HOME/zyl-launcher-location.ini), zyl.ini next to the
// executable, $XDG_DATA_HOME/zyl-launcher when the executable is installed
// under /usr or /opt, and finally "data" next to the executable.
#include "config/datadir.h"

#include "config/datadir_move.h"

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
    // A move killed half-way is finished or undone first; finishing records
    // the new folder, so the choice is made again.
    if (datadir_move_recover(dir)) dir = resolve_dir(override, label);
    set_label(label);
    datapaths_set(dir);
}

std::string datadir_game_lock_path(const std::string &dir) {
    return dir + "/zyl-game.lock";
}

FileLock datadir_game_lock(const std::string &dir, bool *busy) {
    return fs_lock_try(datadir_game_lock_path(dir), true, busy);
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

static std::string ini_text(const std::string &dir) {
    return format_alloc("; ZYL Launcher\r\ndata_dir=%s\r\n", dir.c_str());
}

std::optional<std::string> datadir_recorded() {
    if (auto dir = read_ini(datadir_user_ini_path())) return dir;
    return read_ini(datadir_exe_ini_path());
}

int datadir_record(const std::string &dir, int *errnum) {
    const std::string exe_ini = datadir_exe_ini_path();
    std::optional<std::string> before = fs_read_all(exe_ini);
    std::string text = ini_text(dir);
    int cause = 0;
    if (fs_write_atomic(exe_ini, text) == 0) {
        // The per-user file would win at the next start.
        fs_delete(datadir_user_ini_path());
    } else {
        cause = errno;
        if (fs_write_atomic(datadir_user_ini_path(), text) != 0) cause = errno;
    }
    if (datadir_recorded() == dir) return 0;
    if (before)
        fs_write_atomic(exe_ini, *before);
    else
        fs_delete(exe_ini);
    if (errnum) *errnum = cause;
    return -1;
}

// True when below lies inside folder (both real paths).
static bool path_below(const std::string &below, const std::string &folder) {
    if (folder == "/") return below.size() > 1;
    return str_starts_with(below, folder + "/");
}

// A refusal of new folder n for the data now in current, compared by real
// paths (a ".." or a symlink may lead into the data folder); none when fine.
static std::optional<std::string> relocate_refusal(const std::string &n, const std::string &current,
                                                   bool move) {
    // zyl.ini drops quotes and spaces around its value and reads "\" as "/".
    if (datadir_ini_parse(ini_text(n), "/") != n)
        return format_alloc("Путь «%s» нельзя записать в zyl.ini", n.c_str());
    const std::string real_new = fs_real_path(n), real_current = fs_real_path(current);
    if (real_new == real_current) return std::string("Новая папка совпадает с текущей");
    if (path_below(real_new, real_current))
        return std::string("Новая папка не может быть внутри текущей");
    if (move && path_below(real_current, real_new))
        return std::string("Текущая папка не может быть внутри новой");
    // Said now, before a folder is made or an entry moved, not as the first
    // write that fails.
    if (fs_read_only(n)) return "Папка только для чтения: " + n;
    return std::nullopt;
}

int datadir_relocate(const std::string &new_folder, bool move, std::string *err) {
    std::string n = normalise_folder(new_folder);
    const std::string current = datapaths().data;
    if (n == current) return 0;
    if (auto refusal = relocate_refusal(n, current, move)) {
        if (err) *err = *refusal;
        return -1;
    }
    if (fs_mkdirs(n) != 0) {
        if (err) *err = format_alloc("Не удалось создать %s", n.c_str());
        return -1;
    }
    if (move) {
        if (datadir_move(current, n, err) != 0) return -1;
    } else if (datadir_record(n, nullptr) != 0) {
        ui_message("Не удалось сохранить zyl.ini — изменение действует до перезапуска");
    }
    set_label("zyl.ini");
    datapaths_set(n);
    return 0;
}
