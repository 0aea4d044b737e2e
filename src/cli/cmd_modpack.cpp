// Console side of modpack import (builds the pack reference from the
// arguments, imports it and prints the new instance and the manual list) and
// of modpack export.
#include "cli/cmd_modpack.h"

#include "base/fs.h"
#include "base/strings.h"
#include "base/ui.h"
#include "cli/cmd_instances.h"
#include "content/modpack.h"
#include "content/mrpack_export.h"

#include <cstdio>

int cmd_modpack(const Options &o) {
    if (!o.pos[0]) {
        console_err("zyl modpack <файл.zip|файл.mrpack|curseforge:ID|modrinth:slug> "
                    "[--name X]\n");
        return 2;
    }
    std::string ref = *o.pos[0];
    if (o.mc && ref.find(':') != std::string::npos && !fs_exists(ref))
        ref = format_alloc("%s@%s", ref.c_str(), o.mc->c_str());
    Instance inst;
    std::string manual, err;
    if (modpack_import(ref, o.nick_given ? o.nick : "", &inst, &manual, &err) != 0) {
        console_err("Ошибка: %s\n", err.empty() ? "?" : err.c_str());
        return 1;
    }
    print_instance_created(inst);
    if (!manual.empty()) console_out("\nНужна ручная загрузка:\n%s\n", manual.c_str());
    return 0;
}

int cmd_export(const Options &o) {
    if (!o.pos[0] || !o.pos[1] || o.pos[2]) {
        console_err("zyl export <сборка> <файл.mrpack> [--include saves,logs]\n");
        return 2;
    }
    std::optional<Instance> inst = instance_find(*o.pos[0]);
    if (!inst) {
        console_err("Сборка «%s» не найдена (zyl instances)\n", o.pos[0]->c_str());
        return 1;
    }
    std::vector<std::string> chosen = mrpack_export_defaults(*inst);
    if (o.include) {
        for (const std::string &name : str_split(*o.include, ','))
            if (!str_trim(name).empty()) chosen.push_back(str_trim(name));
    }
    ExportSummary sum;
    std::string err;
    if (mrpack_export(*inst, *o.pos[1], chosen, &sum, &err) != 0) {
        console_err("Ошибка: %s\n", err.c_str());
        return 1;
    }
    console_out("Модпак: %s (с Modrinth: %d, в overrides/: %d)\n", o.pos[1]->c_str(), sum.listed,
                sum.overrides);
    return 0;
}
