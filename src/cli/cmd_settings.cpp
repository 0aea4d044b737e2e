// The "datadir" and "config" commands: the data directory with where it
// came from, and the settings shown or one of them changed.
#include "cli/cmd_settings.h"

#include "base/fs.h"
#include "base/strings.h"
#include "config/datadir.h"
#include "config/settings.h"
#include "net/service.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

int cmd_datadir(const std::optional<std::string> &new_folder, bool move) {
    if (new_folder) {
        std::string err;
        if (datadir_relocate(*new_folder, move, &err) != 0) {
            fprintf(stderr, "Ошибка: %s\n", err.c_str());
            return 1;
        }
    }
    printf("%s\n(источник: %s)\n", datapaths().data.c_str(), datadir_label());
    return 0;
}

// atoi's reading of a number (0 for text that is none), but held to the int
// range where atoi's overflow would be undefined.
static int config_int(const std::string &value) {
    long long v = strtoll(value.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

// Applies one console key to s; false for a key outside the table.
static bool set_key(Settings &s, const std::string &key, const std::string &value) {
    if (key == "nick")
        s.nick = value;
    else if (key == "ram_gb")
        s.ram_gb = config_int(value);
    else if (key == "java_path")
        s.java_path = value;
    else if (key == "jvm_args")
        s.jvm_args = value;
    else if (key == "width")
        s.width = config_int(value);
    else if (key == "height")
        s.height = config_int(value);
    else if (key == "curseforge_api_key")
        s.curseforge_api_key = value;
    else if (key == "renderer")
        s.renderer = value;
    else if (key == "api_url")
        s.api_url = value == "default" ? "" : value;
    else
        return false;
    return true;
}

// One key changed in settings.json. The file is read again under its lock,
// so a change another process made meanwhile is kept. 0, 1 when the file
// could not be written, 2 for an unknown key or a value that is not UTF-8.
static int config_change(const std::string &key, const std::string &value) {
    Settings probe;
    if (!set_key(probe, key, value)) {
        fprintf(stderr, "Неизвестный ключ %s\n", key.c_str());
        return 2;
    }
    if (!str_utf8_valid(value)) {
        fprintf(stderr, "Значение %s не в кодировке UTF-8\n", key.c_str());
        return 2;
    }
    if (key == "renderer" && !settings_renderer_known(value)) {
        fprintf(stderr, "Недопустимое значение renderer: %s (допустимо: auto, gl, vulkan, cairo)\n",
                value.c_str());
        return 2;
    }
    FileLock lock = fs_lock(settings_path());
    settings_load();
    set_key(g_settings, key, value);
    if (settings_save() != 0) {
        fprintf(stderr, "Не удалось записать %s: %s\n", settings_path().c_str(),
                fs_error_text(errno).c_str());
        return 1;
    }
    return 0;
}

int cmd_config(const std::optional<std::string> &key, const std::optional<std::string> &value) {
    if (key && value) {
        if (int rc = config_change(*key, *value); rc != 0) return rc;
    }
    const Settings &s = g_settings;
    printf("nick=%s\nram_gb=%d\njava_path=%s\njvm_args=%s\nwidth=%d\nheight=%d\n"
           "curseforge_api_key=%s\nrenderer=%s\napi_url=%s\nданные: %s\n",
           s.nick.c_str(), s.ram_gb, s.java_path.c_str(), s.jvm_args.c_str(), s.width, s.height,
           s.curseforge_api_key.empty() ? "(пусто)" : "(задан)", s.renderer.c_str(),
           service_base_url().c_str(), datapaths().data.c_str());
    return 0;
}
