// Settings store: settings.json with a fixed key order, the legacy
// settings.txt conversion, and the "config" command.
#include "config/settings.h"

#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"
#include "config/datadir.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>

Settings g_settings;

// settings.json or settings.txt beyond this is damaged: it reads as missing.
constexpr long long k_settings_max_bytes = 1LL << 20;

static std::mutex g_pub_lock;
static PublishedSettings g_pub;

PublishedSettings settings_published() {
    std::lock_guard<std::mutex> lk(g_pub_lock);
    return g_pub;
}

static void publish() {
    std::lock_guard<std::mutex> lk(g_pub_lock);
    g_pub.java_path = g_settings.java_path;
    g_pub.jvm_args = g_settings.jvm_args;
    g_pub.api_url = g_settings.api_url;
    g_pub.curseforge_api_key = g_settings.curseforge_api_key;
    g_pub.width = g_settings.width;
    g_pub.height = g_settings.height;
}

std::string settings_to_json(const Settings &s) {
    JsonPtr root(cJSON_CreateObject());
    cJSON *o = root.get();
    cJSON_AddStringToObject(o, "nick", s.nick.c_str());
    cJSON_AddNumberToObject(o, "ram_gb", s.ram_gb);
    cJSON_AddStringToObject(o, "server", s.server.c_str());
    cJSON_AddStringToObject(o, "java_path", s.java_path.c_str());
    cJSON_AddStringToObject(o, "jvm_args", s.jvm_args.c_str());
    cJSON_AddNumberToObject(o, "width", s.width);
    cJSON_AddNumberToObject(o, "height", s.height);
    cJSON_AddBoolToObject(o, "close_on_play", s.close_on_play);
    cJSON_AddStringToObject(o, "curseforge_api_key", s.curseforge_api_key.c_str());
    cJSON_AddStringToObject(o, "last_instance", s.last_instance.c_str());
    cJSON_AddStringToObject(o, "renderer", s.renderer.c_str());
    cJSON_AddStringToObject(o, "auth_mode", s.auth_mode.c_str());
    if (!s.api_url.empty()) cJSON_AddStringToObject(o, "api_url", s.api_url.c_str());
    return json_print(o);
}

// A text that is not UTF-8 keeps the default like a wrong type does, so the
// next save writes a valid file again.
static void take_text(const cJSON *o, const char *key, std::string &field) {
    if (auto v = json_str_opt(o, key); v && str_utf8_valid(*v)) field = *v;
}

static void take_positive(const cJSON *o, const char *key, int &field) {
    cJSON *v = json_get(o, key);
    if (!cJSON_IsNumber(v)) return;
    double d = std::trunc(v->valuedouble);
    if (d > 0 && d <= 2147483647.0) field = static_cast<int>(d);
}

bool settings_renderer_known(const std::string &value) {
    for (const char *r : k_renderer_values)
        if (value == r) return true;
    return false;
}

static void load_json(const cJSON *o) {
    take_text(o, "nick", g_settings.nick);
    take_text(o, "server", g_settings.server);
    take_text(o, "java_path", g_settings.java_path);
    take_text(o, "jvm_args", g_settings.jvm_args);
    take_text(o, "curseforge_api_key", g_settings.curseforge_api_key);
    take_text(o, "last_instance", g_settings.last_instance);
    take_text(o, "renderer", g_settings.renderer);
    if (!settings_renderer_known(g_settings.renderer)) g_settings.renderer = "auto";
    take_text(o, "auth_mode", g_settings.auth_mode);
    take_text(o, "api_url", g_settings.api_url);
    take_positive(o, "ram_gb", g_settings.ram_gb);
    take_positive(o, "width", g_settings.width);
    take_positive(o, "height", g_settings.height);
    g_settings.close_on_play = cJSON_IsTrue(json_get(o, "close_on_play"));
}

// settings.txt of earlier versions: "nick=", "ram=" and "server=" lines.
static bool load_legacy_txt(const std::string &path) {
    auto text = fs_read_all(path, k_settings_max_bytes);
    if (!text) return false;
    for (std::string line : str_split(*text, '\n')) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (str_starts_with(line, "nick=")) {
            g_settings.nick = line.substr(5);
        } else if (str_starts_with(line, "ram=")) {
            int v = atoi(line.c_str() + 4);
            if (v > 0) g_settings.ram_gb = v;
        } else if (str_starts_with(line, "server=")) {
            g_settings.server = line.substr(7);
        }
    }
    return true;
}

std::string settings_path() {
    return datapaths().data + "/settings.json";
}

void settings_load() {
    g_settings = Settings();
    JsonPtr root = json_read_file(settings_path(), k_settings_max_bytes);
    if (root && cJSON_IsObject(root.get())) {
        load_json(root.get());
    } else if (load_legacy_txt(datapaths().data + "/settings.txt")) {
        settings_save();
    }
    publish();
}

int settings_save() {
    int rc = fs_write_atomic(settings_path(), settings_to_json(g_settings));
    int saved = errno;
    publish();
    errno = saved;
    return rc;
}

std::string settings_nick_warning(const std::string &nick) {
    if (nick.empty()) return "Ник пустой — введите ник";
    std::u32string chars = str_code_points(nick);
    if (chars.size() > 16)
        return "Ник длиннее 16 символов — серверы его не примут, офлайн играть можно";
    bool cyrillic = false;
    for (char32_t c : chars) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')
            continue;
        if (c >= 0x400 && c <= 0x4ff) {
            cyrillic = true;
            continue;
        }
        return "В нике только латинские буквы, цифры и «_» — с другими знаками серверы не "
               "примут, офлайн играть можно";
    }
    if (cyrillic) return "Ник на кириллице серверы не примут, офлайн играть можно";
    return "";
}
