// Console side of listing, creating and deleting instances, and of showing
// and changing an instance's own launch settings.
#include "cli/cmd_instances.h"

#include "base/fs.h"
#include "base/strings.h"
#include "base/ui.h"
#include "config/datadir.h"
#include "config/settings.h"
#include "game/java.h"
#include "instances/instance.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <unistd.h>

// The instance table: every column as wide as its widest cell (and at least
// the width it always had), measured in terminal columns, so Cyrillic and
// wide names line up.
static void print_instance_table(const std::vector<Instance> &all) {
    std::vector<std::vector<std::string>> rows = {
        {"Сборка", "Minecraft", "Загрузчик", "Версия", "Папка"}};
    for (const Instance &i : all)
        rows.push_back({str_display(i.name), str_display(i.mc), str_display(i.loader),
                        str_display(i.loader_version), "[" + str_display(i.folder) + "]"});
    int width[4] = {28, 10, 9, 10};
    for (const auto &r : rows)
        for (int c = 0; c < 4; c++)
            width[c] = std::max(width[c], str_display_width(r[c]));
    for (const auto &r : rows) {
        std::string line;
        for (int c = 0; c < 4; c++)
            line += str_pad_display(r[c], width[c]) + (c < 3 ? " " : "  ");
        console_out("%s%s\n", line.c_str(), r[4].c_str());
    }
}

int cmd_instances(const Options &) {
    std::vector<Instance> all = instance_list();
    if (all.empty()) {
        console_out("Сборок нет. Создайте: zyl create \"Моя сборка\" 1.21.11 --loader fabric\n");
        return 0;
    }
    print_instance_table(all);
    return 0;
}

void print_instance_created(const Instance &i) {
    console_out("Сборка создана: %s (%s %s %s) → %s/%s\n", str_display(i.name).c_str(),
                str_display(i.mc).c_str(), i.loader.c_str(), str_display(i.loader_version).c_str(),
                datapaths().instances.c_str(), str_display(i.folder).c_str());
}

int cmd_create(const Options &o) {
    if (!o.pos[0] || !o.pos[1]) {
        console_err("zyl create <имя> <mcver> [--loader L]\n");
        return 2;
    }
    Instance inst;
    if (instance_create(*o.pos[0], o.loader.value_or("vanilla"), *o.pos[1],
                        o.loader_version.value_or(""), &inst) != 0) {
        console_err("Не удалось создать сборку\n");
        return 1;
    }
    print_instance_created(inst);
    return 0;
}

int cmd_delete(const Options &o) {
    std::optional<Instance> inst = o.pos[0] ? instance_find(*o.pos[0]) : std::nullopt;
    if (!inst) {
        console_err("Сборка не найдена\n");
        return 1;
    }
    if (instance_delete(*inst) != 0) {
        console_out("Ошибка удаления\n");
        return 1;
    }
    console_out("Удалено: %s\n", str_display(inst->name).c_str());
    return 0;
}

// --- an instance's own settings ------------------------------------------------

namespace {

const char *const k_as_settings = "как в настройках";
const char *const k_instance_usage =
    "zyl instance show <имя>\n"
    "zyl instance set <имя> <ключ> <значение>\n"
    "  ключи: ram_mb (4G, 6144), java_path (auto или путь), jvm_args, width, height, server;\n"
    "  значение default — как в настройках\n";

// "как в настройках (<what the settings give>)"
std::string inherited(const std::string &shown) {
    return format_alloc("%s (%s)", k_as_settings, shown.c_str());
}

std::string or_none(const std::string &text) {
    return text.empty() ? "нет" : text;
}

void print_instance_settings(const Instance &i) {
    const Settings &s = g_settings;
    console_out("Сборка «%s» (папка instances/%s)\n", str_display(i.name).c_str(),
                str_display(i.folder).c_str());
    std::string loader = i.loader + (i.loader_version.empty() ? "" : " " + i.loader_version);
    console_out("Minecraft %s · %s · профиль %s\n", i.mc.c_str(), loader.c_str(),
                i.version_id.c_str());
    long long settings_mb = static_cast<long long>(s.ram_gb) * 1024;
    std::string ram =
        i.ram_mb > 0 ? std::to_string(i.ram_mb) : inherited(std::to_string(settings_mb));
    std::string java =
        i.java_path ? *i.java_path : inherited(s.java_path.empty() ? "авто" : s.java_path);
    std::string jvm = i.jvm_args ? *i.jvm_args : inherited(or_none(s.jvm_args));
    std::string width = i.width > 0 ? std::to_string(i.width) : inherited(std::to_string(s.width));
    std::string height =
        i.height > 0 ? std::to_string(i.height) : inherited(std::to_string(s.height));
    std::string server = i.server ? *i.server : inherited(or_none(s.server));
    console_out("ram_mb=%s\njava_path=%s\njvm_args=%s\nwidth=%s\nheight=%s\nserver=%s\n",
                ram.c_str(), java.c_str(), jvm.c_str(), width.c_str(), height.c_str(),
                server.c_str());
}

// A whole number from lo to hi written in digits only; 0 otherwise.
int size_value(const std::string &v, int lo, int hi) {
    if (v.empty() || v.size() > 6 ||
        !std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    int n = std::stoi(v);
    return n >= lo && n <= hi ? n : 0;
}

// Sets one key of i from its console text ("default": as in the settings).
// false with err for an unknown key or a value the key cannot take.
bool setting_apply(Instance &i, const std::string &key, const std::string &v, std::string &err) {
    bool reset = v == "default";
    if (key == "ram_mb") {
        int mb = reset ? 0 : ram_parse_mb(v, memory_physical_mb(), "ram_mb", &err);
        i.ram_mb = mb;
    } else if (key == "java_path") {
        if (!reset && v.empty()) err = "Укажите путь к java, auto или default";
        i.java_path = reset ? std::nullopt : std::optional<std::string>(v);
    } else if (key == "jvm_args") {
        i.jvm_args = reset ? std::nullopt : std::optional<std::string>(v);
    } else if (key == "width" || key == "height") {
        bool w = key == "width";
        // The ranges of the settings page's window size.
        int n = reset ? 0 : w ? size_value(v, 320, 7680) : size_value(v, 240, 4320);
        if (!reset && n == 0)
            err = format_alloc("%s: целое число от %d до %d", key.c_str(), w ? 320 : 240,
                               w ? 7680 : 4320);
        (w ? i.width : i.height) = n;
    } else if (key == "server") {
        i.server = reset ? std::nullopt : std::optional<std::string>(str_trim(v));
    } else {
        err = format_alloc("Неизвестный ключ %s", key.c_str());
    }
    return err.empty();
}

// "instance set": checked on a copy first, then applied to the record read
// again under its lock. 0, 1 when it cannot be written, 2 for a bad key or value.
int instance_set(const Instance &inst, const std::string &key, const std::string &value) {
    std::string err;
    Instance probe = inst;
    if (!str_utf8_valid(value)) err = format_alloc("Значение %s не в кодировке UTF-8", key.c_str());
    if (err.empty()) setting_apply(probe, key, value, err);
    if (!err.empty()) {
        console_err("%s\n", err.c_str());
        return 2;
    }
    if (key == "java_path" && probe.java_path && *probe.java_path != k_java_auto &&
        access(probe.java_path->c_str(), X_OK) != 0)
        console_err("Внимание: %s не найден или не запускается — игра не начнётся, пока его нет\n",
                    probe.java_path->c_str());
    Instance saved;
    int rc = instance_update(
        inst.folder, [&](Instance &on_disk) { setting_apply(on_disk, key, value, err); }, &saved);
    if (rc != 0) {
        console_err("Не удалось записать %s/instance.json: %s\n", instance_dir(inst).c_str(),
                    fs_error_text(errno).c_str());
        return 1;
    }
    print_instance_settings(saved);
    return 0;
}

} // namespace

int cmd_instance(const Options &o) {
    const std::string verb = o.pos[0].value_or("");
    bool show = verb == "show" && o.pos[1] && !o.pos[2];
    bool set = verb == "set" && o.pos[1] && o.pos[2] && o.rest;
    if (!show && !set) {
        console_err("%s", k_instance_usage);
        return 2;
    }
    std::optional<Instance> inst = instance_find(*o.pos[1]);
    if (!inst) {
        console_err("Сборка «%s» не найдена (zyl instances)\n", o.pos[1]->c_str());
        return 1;
    }
    if (set) return instance_set(*inst, *o.pos[2], *o.rest);
    print_instance_settings(*inst);
    return 0;
}
