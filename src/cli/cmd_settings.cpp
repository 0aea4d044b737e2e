// The "datadir" and "config" commands: the data directory with where it
// came from, and the settings shown or one of them changed.
#include "cli/cmd_settings.h"

#include "base/fs.h"
#include "base/strings.h"
#include "base/ui.h"
#include "cli/args.h"
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
            console_err("Ошибка: %s\n", err.c_str());
            return 1;
        }
    }
    console_out("%s\n(источник: %s)\n", datapaths().data.c_str(), datadir_label());
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
        s.ram_gb = ram_gb_parse(value, 0, nullptr);
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

// What a value of the key means before it is saved: 2 after the reason for
// one it cannot take, else 0 (a nick servers refuse is saved with a warning).
static int config_check(const std::string &key, const std::string &value) {
    std::string err;
    if (key == "ram_gb" && ram_gb_parse(value, memory_physical_mb(), &err) == 0) {
        console_err("%s\n", err.c_str());
        return 2;
    }
    if (key == "nick") {
        std::string warning = settings_nick_warning(value);
        if (value.empty()) {
            console_err("%s — не сохранён\n", warning.c_str());
            return 2;
        }
        if (!warning.empty()) console_err("Внимание: %s\n", warning.c_str());
    }
    if (key == "renderer" && !settings_renderer_known(value)) {
        console_err("Недопустимое значение renderer: %s (допустимо: auto, gl, vulkan, cairo)\n",
                    value.c_str());
        return 2;
    }
    return 0;
}

// One key changed in settings.json. The file is read again under its lock,
// so a change another process made meanwhile is kept. 0, 1 when the file
// could not be written, 2 for an unknown key or a value that is not UTF-8.
static int config_change(const std::string &key, const std::string &value) {
    Settings probe;
    if (!set_key(probe, key, value)) {
        console_err("Неизвестный ключ %s\n", key.c_str());
        return 2;
    }
    if (!str_utf8_valid(value)) {
        console_err("Значение %s не в кодировке UTF-8\n", key.c_str());
        return 2;
    }
    if (int rc = config_check(key, value); rc != 0) return rc;
    FileLock lock = fs_lock(settings_path());
    settings_load();
    set_key(g_settings, key, value);
    if (settings_save() != 0) {
        console_err("Не удалось записать %s: %s\n", settings_path().c_str(),
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
    console_out("nick=%s\nram_gb=%d\njava_path=%s\njvm_args=%s\nwidth=%d\nheight=%d\n"
                "curseforge_api_key=%s\nrenderer=%s\napi_url=%s\nданные: %s\n",
                s.nick.c_str(), s.ram_gb, s.java_path.c_str(), s.jvm_args.c_str(), s.width,
                s.height, s.curseforge_api_key.empty() ? "(пусто)" : "(задан)", s.renderer.c_str(),
                service_base_url().c_str(), datapaths().data.c_str());
    return 0;
}
