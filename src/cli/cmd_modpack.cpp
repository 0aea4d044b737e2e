// Console side of modpack import: builds the pack reference from the
// arguments, imports it and prints the new instance and the manual list.
#include "cli/cmd_modpack.h"

#include "base/fs.h"
#include "base/strings.h"
#include "base/ui.h"
#include "cli/cmd_instances.h"
#include "content/modpack.h"

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
