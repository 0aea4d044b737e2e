// Console side of listing, creating and deleting instances.
#include "cli/cmd_instances.h"

#include "config/datadir.h"
#include "instances/instance.h"

#include <cstdio>

int cmd_instances(const Options &) {
    std::vector<Instance> all = instance_list();
    if (all.empty()) {
        printf("Сборок нет. Создайте: zyl create \"Моя сборка\" 1.21.11 --loader fabric\n");
        return 0;
    }
    for (const Instance &i : all)
        printf("%-28s %-10s %-9s %-10s  [%s]\n", i.name.c_str(), i.mc.c_str(), i.loader.c_str(),
               i.loader_version.c_str(), i.folder.c_str());
    return 0;
}

void print_instance_created(const Instance &i) {
    printf("Сборка создана: %s (%s %s %s) → %s/%s\n", i.name.c_str(), i.mc.c_str(),
           i.loader.c_str(), i.loader_version.c_str(), datapaths().instances.c_str(),
           i.folder.c_str());
}

int cmd_create(const Options &o) {
    if (!o.pos[0] || !o.pos[1]) {
        fprintf(stderr, "zyl create <имя> <mcver> [--loader L]\n");
        return 2;
    }
    Instance inst;
    if (instance_create(*o.pos[0], o.loader.value_or("vanilla"), *o.pos[1],
                        o.loader_version.value_or(""), &inst) != 0) {
        fprintf(stderr, "Не удалось создать сборку\n");
        return 1;
    }
    print_instance_created(inst);
    return 0;
}

int cmd_delete(const Options &o) {
    std::optional<Instance> inst = o.pos[0] ? instance_find(*o.pos[0]) : std::nullopt;
    if (!inst) {
        fprintf(stderr, "Сборка не найдена\n");
        return 1;
    }
    if (instance_delete(*inst) != 0) {
        printf("Ошибка удаления\n");
        return 1;
    }
    printf("Удалено: %s\n", inst->name.c_str());
    return 0;
}
