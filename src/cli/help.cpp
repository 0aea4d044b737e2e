// The help text, printed for "help" and for usage errors.
#include "cli/help.h"

#include "base/strings.h"
#include "base/ui.h"
#include "base/version.h"
#include "net/endpoints.h"

#include <cstdio>

std::string help_text() {
    const std::string &service = endpoint("service");
    std::string t;
    t += std::string("zyl-launcher ") + k_version +
         " — офлайн лаунчер Minecraft (любой ник, без аккаунта)\n";
    t += "Использование:\n";
    t += "  zyl                         запустить GUI\n";
    t += "  zyl list [--snapshots] [--old] [--all]   версии Minecraft (по умолчанию релизы)\n";
    t += "  zyl installed               установленные профили\n";
    t += "  zyl loaders <mcver> [--loader fabric|quilt|forge|neoforge]  версии загрузчиков\n";
    t += "  zyl install <mcver> [--loader L] [--loader-version X]\n";
    t += "  zyl launch <mcver|profile> --name Ник [--loader L] [--loader-version X] [--ram 4G]\n";
    t += "             [--server host:port] [--instance имя]\n";
    t += "  zyl uuid <ник>              офлайн UUID\n";
    t += "Аккаунт Brimfell ID (скины, сетевая игра):\n";
    t += "  zyl login <логин>           войти (пароль не сохраняется, только токен)\n";
    t += "  zyl logout | zyl whoami\n";
    t += "  --offline                   запустить офлайн, даже если вошли\n";
    t += "Сборки (instances):\n";
    t += "  zyl instances               список сборок\n";
    t += "  zyl create <имя> <mcver> [--loader L] [--loader-version X]   создать сборку\n";
    t += "  zyl launch --instance <имя> [--name Ник] [--ram 4G] [--server host:port]\n";
    t += "  zyl delete <имя>            удалить сборку\n";
    t += "  zyl instance show <имя>     свои настройки сборки: память, Java, JVM, окно, сервер\n";
    t += "  zyl instance set <имя> <ключ> <значение>   ram_mb, java_path (auto|путь), jvm_args, "
         "width, height, server; default — как в настройках\n";
    t += "Моды (Modrinth / CurseForge):\n";
    t += "  zyl mods search <запрос> --instance <имя> [--source modrinth|curseforge] [--type "
         "mod|resourcepack|shader]\n";
    t += "  zyl mods install <slug|id> --instance <имя> [--source ...] [--type ...]  (+ "
         "обязательные зависимости)\n";
    t += "  zyl mods list --instance <имя>   |   zyl mods update <файл> --instance <имя>\n";
    t += "Контент через " + url_host(service) + " (CurseForge + Modrinth, без ключей):\n";
    t += "  zyl search <запрос> [--type mod|resourcepack|shader|datapack|world|modpack] [--mc "
         "1.20.1] [--loader forge] [--source all|curseforge|modrinth]\n";
    t += "  zyl add <сборка> <curseforge|modrinth>:<id|slug> [--world мир]   установить (+ "
         "обязательные зависимости)\n";
    t += "  zyl modpack <файл.zip|файл.mrpack|curseforge:ID|modrinth:slug> [--name имя] [--mc "
         "1.21.1]   создать сборку из модпака\n";
    t += "  zyl export <сборка> <файл.mrpack> [--include saves,logs]   сборка в модпак Modrinth "
         "(config, моды, ресурспаки, шейдеры, options.txt; миры и журналы — по --include)\n";
    t += "  zyl loaders <fabric|quilt|forge|neoforge> <mcver>   версии загрузчика (Forge: "
         "recommended первым)\n";
    t += "  API: $ZYL_API или zyl config api_url <url> (по умолчанию " + service + ")\n";
    t += "  zyl mods remove <файл> --instance <имя>\n";
    t += "  zyl config [ключ значение]  настройки (nick, ram_gb, java_path, jvm_args, width, "
         "height, curseforge_api_key, renderer=auto|gl|vulkan|cairo)\n";
    t += "  zyl datadir [новая_папка] [--move]   показать/сменить папку данных (--move — "
         "перенести файлы)\n";
    t += "Глобально: --data-dir <папка>  — папка данных для этого запуска\n";
    t += "Данные: --data-dir, zyl.ini рядом с zyl.exe (data_dir=...), иначе папка data рядом с "
         "exe\n";
    t += "        (или %APPDATA%\\zyl-launcher, если лаунчер стоит в Program Files)";
    return t;
}

void help_print() {
    console_out("%s\n", help_text().c_str());
}
