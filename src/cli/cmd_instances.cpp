// Console side of listing, creating and deleting instances.
#include "cli/cmd_instances.h"

#include "base/strings.h"
#include "base/ui.h"
#include "config/datadir.h"
#include "instances/instance.h"

#include <algorithm>
#include <cstdio>

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
    console_out("Сборка создана: %s (%s %s %s) → %s/%s\n", i.name.c_str(), i.mc.c_str(),
                i.loader.c_str(), i.loader_version.c_str(), datapaths().instances.c_str(),
                i.folder.c_str());
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
    console_out("Удалено: %s\n", inst->name.c_str());
    return 0;
}
