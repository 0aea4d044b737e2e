// Managing what an instance has, as a user runs it from the command line
// against the fake network: the versions a project offers with their
// channels, a picked version, the update check and "update --all", files
// switched off and on, removal that names dependents, and data packs listed
// and removed per world.
#include "base/fs.h"
#include "base/strings.h"
#include "config/datadir.h"
#include "fakenet/e2e_env.h"
#include "fakenet/fakenet.h"
#include "fakenet/world_update.h"
#include "instances/instance.h"

#include <gtest/gtest.h>

namespace {

const std::string k_sodium = "sodium-fabric-mc1.20.1-0.5.3+build.16.jar";
const std::string k_sodium_beta = "sodium-fabric-mc1.20.1-0.5.4-beta.1.jar";
const std::string k_api = "fabric-api-0.92.2+1.20.1.jar";
const std::string k_extra = "sodium-extra-0.5.1+mc1.20.1.jar";
const std::string k_terralith = "Terralith_1.20.1_v2.4.5.zip";

struct ManageCli : FabricInstanceE2E {
    std::string dir() const { return data.path + "/instances/Fab"; }
    std::string mods() const { return dir() + "/mods"; }
    StrList mod_files() const { return dir_list(mods()).value_or(StrList{}); }
    void world(const std::string &name) {
        fs_mkdirs(dir() + "/saves/" + name);
        fs_write_atomic(dir() + "/saves/" + name + "/level.dat", "nbt");
    }
    // Files fetched, through the service's proxy or straight from the CDN.
    int downloads() { return net->hits_under("/service/v1/download") + net->hits_under("/cdn/"); }
    std::string list() { return zyl({"mods", "list", "--instance", "Fab"}).out; }
};

StrList sorted(StrList l) {
    std::sort(l.begin(), l.end());
    return l;
}

std::string version_line(bool installed, const char *version, const char *channel, const char *date,
                         const char *id, const std::string &file, bool chosen) {
    return format_alloc("%s%s %s %-10s %-12s %s%s\n", installed ? "[✓] " : "    ",
                        str_pad_display(version, 24).c_str(), str_pad_display(channel, 6).c_str(),
                        date, id, file.c_str(), chosen ? "  ← по умолчанию" : "");
}

// Every compatible file with its channel, the release picked before a newer
// beta, and the beta installed when asked for by number; the same listing
// straight from Modrinth when the service is unreachable.
TEST_F(ManageCli, VersionsWithChannelsAndAPickedVersion) {
    const std::string header = "«Sodium» (modrinth:AANobbMI) для Minecraft 1.20.1 Fabric: 2\n";
    ZylRun r = zyl({"mods", "versions", "sodium", "--instance", "Fab"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, header +
                         version_line(false, "mc1.20.1-0.5.4-beta.1", "бета", "2023-07-01",
                                      "Sb4Beta1", k_sodium_beta, false) +
                         version_line(false, "mc1.20.1-0.5.3", "релиз", "2023-06-01", "Yp8wLY1P",
                                      k_sodium, true));

    r = zyl({"add", "Fab", "modrinth:sodium", "--version", "mc1.20.1-0.5.4-beta.1"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(sorted(mod_files()), (StrList{k_api, k_sodium_beta}));
    EXPECT_NE(list().find(k_sodium_beta + "  (mc1.20.1-0.5.4-beta.1, бета)\n"), std::string::npos)
        << list();

    // Straight from Modrinth: the same files, the installed one marked.
    r = zyl({"mods", "versions", "modrinth:sodium", "--instance", "Fab"}, {"service"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, header +
                         version_line(true, "mc1.20.1-0.5.4-beta.1", "бета", "2023-07-01",
                                      "Sb4Beta1", k_sodium_beta, false) +
                         version_line(false, "mc1.20.1-0.5.3", "релиз", "2023-06-01", "Yp8wLY1P",
                                      k_sodium, true));

    // A version the project does not have installs nothing.
    r = zyl({"mods", "install", "sodium-extra", "--instance", "Fab", "--version", "9.9"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("9.9"), std::string::npos) << r.err;
    EXPECT_EQ(sorted(mod_files()), (StrList{k_api, k_sodium_beta}));
    r = zyl({"mods", "versions", "no-such-project", "--instance", "Fab"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
}

// A dependency chain (Sodium Extra → Sodium → Fabric API) with newer files
// for two of them: the check names only the enabled one, "update --all"
// replaces it, and afterwards both the check and a single update say there is
// nothing newer without downloading anything.
TEST_F(ManageCli, OutdatedAndUpdateAll) {
    ASSERT_EQ(zyl({"add", "Fab", "modrinth:sodium-extra"}).code, 0);
    ASSERT_EQ(sorted(mod_files()), (StrList{k_api, k_extra, k_sodium}));
    ZylRun r = zyl({"mods", "outdated", "--instance", "Fab"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Сборка Fab: обновлений нет — всё последних версий\n");

    world_update_offer(*net, "modrinth", "PtjYWJkn",
                       {.filename = "sodium-extra-0.6.0.jar",
                        .version = "0.6.0",
                        .required = {"modrinth:AANobbMI"}});
    world_update_offer(*net, "modrinth", "P7dR8mSH",
                       {.filename = "fabric-api-0.93.jar", .version = "0.93"});
    ASSERT_EQ(zyl({"mods", "disable", k_api, "--instance", "Fab"}).code, 0);
    net->reset_counters();
    r = zyl({"mods", "outdated", "--instance", "Fab"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Сборка Fab: есть обновления (1)\n  " + str_pad_display("Sodium Extra", 26) +
                         " 0.5.1 → 0.6.0   " + k_extra +
                         "\nОбновить всё: zyl mods update --all --instance Fab\n");
    EXPECT_EQ(net->hits("/service/v1/modrinth/updates"), 1);
    EXPECT_EQ(net->hits_under("/service/v1/modrinth/PtjYWJkn"), 0);

    r = zyl({"mods", "update", "--all", "--instance", "Fab"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(
        str_ends_with(r.err, "Обновлено: Sodium Extra 0.5.1 → 0.6.0\nОбновлено файлов: 1\n"))
        << r.err;
    EXPECT_EQ(sorted(mod_files()),
              (StrList{k_api + ".disabled", "sodium-extra-0.6.0.jar", k_sodium}));

    net->reset_counters();
    r = zyl({"mods", "update", "--all", "--instance", "Fab"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "Обновлений нет — всё последних версий\n");
    r = zyl({"mods", "update", "sodium-extra-0.6.0.jar", "--instance", "Fab"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "«Sodium Extra» 0.6.0 — уже последняя версия\n");
    EXPECT_EQ(downloads(), 0);

    // What is switched off is not updated, one by one either.
    r = zyl({"mods", "update", k_api + ".disabled", "--instance", "Fab"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Ошибка: «Fabric API» отключён — включите его, чтобы обновить\n");
    EXPECT_EQ(downloads(), 0);
}

// Switching a file off renames it to "<file>.disabled" and keeps its record;
// on again gives the file back; the list says which is which.
TEST_F(ManageCli, DisableAndEnable) {
    ASSERT_EQ(zyl({"add", "Fab", "modrinth:sodium"}).code, 0);
    std::string bytes = fs_read_all(mods() + "/" + k_sodium).value_or("");
    ZylRun r = zyl({"mods", "disable", k_sodium, "--instance", "Fab"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "Отключено: " + k_sodium + "\n");
    EXPECT_EQ(sorted(mod_files()), (StrList{k_api, k_sodium + ".disabled"}));
    EXPECT_EQ(fs_read_all(mods() + "/" + k_sodium + ".disabled").value_or(""), bytes);
    EXPECT_NE(
        list().find(format_alloc("  %-13s %-10s %-26s %s  (mc1.20.1-0.5.3, отключён)\n", "mods",
                                 "modrinth", "Sodium", (k_sodium + ".disabled").c_str())),
        std::string::npos)
        << list();
    // Installed still: a second add downloads nothing.
    net->reset_counters();
    EXPECT_EQ(zyl({"add", "Fab", "modrinth:sodium"}).code, 0);
    EXPECT_EQ(downloads(), 0);

    struct Case {
        const char *what;
        std::vector<std::string> args;
        int code;
        std::string err;
    } cases[] = {
        {"by the disabled name",
         {"enable", k_sodium + ".disabled"},
         0,
         "Включено: " + k_sodium + "\n"},
        {"again", {"enable", k_sodium}, 0, "Включено: " + k_sodium + "\n"},
        {"a name not there",
         {"disable", "nothing.jar"},
         1,
         "Ошибка: файла «nothing.jar» нет в сборке «Fab» (zyl mods list --instance Fab)\n"},
        {"no file named", {"disable"}, 2, ""},
    };
    for (const Case &c : cases) {
        std::vector<std::string> args = {"mods"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.insert(args.end(), {"--instance", "Fab"});
        r = zyl(args);
        EXPECT_EQ(r.code, c.code) << c.what;
        if (c.code != 2) {
            EXPECT_EQ(r.err, c.err) << c.what;
        }
    }
    EXPECT_EQ(sorted(mod_files()), (StrList{k_api, k_sodium}));
    EXPECT_EQ(fs_read_all(mods() + "/" + k_sodium).value_or(""), bytes);
    EXPECT_NE(list().find(k_sodium + "  (mc1.20.1-0.5.3)\n"), std::string::npos) << list();

    // A file of the other name in the way stops the rename; nothing is lost.
    fs_write_atomic(mods() + "/" + k_sodium + ".disabled", "player's own");
    r = zyl({"mods", "disable", k_sodium, "--instance", "Fab"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("уже есть"), std::string::npos) << r.err;
    EXPECT_EQ(fs_read_all(mods() + "/" + k_sodium).value_or(""), bytes);
    EXPECT_EQ(fs_read_all(mods() + "/" + k_sodium + ".disabled").value_or(""), "player's own");
}

// Removing a file others require says so, for each of them, and removes it.
TEST_F(ManageCli, RemoveNamesDependents) {
    ASSERT_EQ(zyl({"add", "Fab", "modrinth:sodium-extra"}).code, 0);
    ZylRun r = zyl({"mods", "remove", k_api, "--instance", "Fab"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "Внимание: Sodium требует Fabric API\nУдалено: " + k_api + "\n");
    r = zyl({"mods", "remove", k_sodium, "--instance", "Fab"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "Внимание: Sodium Extra требует Sodium\nУдалено: " + k_sodium + "\n");
    r = zyl({"mods", "remove", k_extra, "--instance", "Fab"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "Удалено: " + k_extra + "\n");
    EXPECT_EQ(mod_files(), StrList{});
}

// Data packs are listed in their worlds and removed from there; a name in two
// worlds needs --world.
TEST_F(ManageCli, DataPacksPerWorld) {
    world("Мой мир");
    world("B");
    ASSERT_EQ(zyl({"add", "Fab", "curseforge:terralith-datapack", "--world", "Мой мир"}).code, 0);
    // The player put a copy into the other world by hand.
    const std::string installed = dir() + "/saves/Мой мир/datapacks/" + k_terralith;
    const std::string copy = dir() + "/saves/B/datapacks/" + k_terralith;
    fs_mkdirs(dir() + "/saves/B/datapacks");
    ASSERT_EQ(fs_write_atomic(copy, fs_read_all(installed).value_or("")), 0);
    std::string l = list();
    EXPECT_EQ(l,
              "Сборка Fab (1.20.1 Fabric): 2 файлов\n" +
                  format_alloc("  %-13s %-10s %-26s %s  (в мире «B»)\n", "datapacks", "local",
                               k_terralith.c_str(), k_terralith.c_str()) +
                  format_alloc("  %-13s %-10s %-26s %s  (1.0.0, в мире «Мой мир»)\n", "datapacks",
                               "curseforge", "Terralith Datapack", k_terralith.c_str()))
        << l;

    ZylRun r = zyl({"mods", "remove", k_terralith, "--instance", "Fab"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Ошибка: «" + k_terralith +
                         "» есть в нескольких мирах (B, Мой мир) — укажите --world\n");
    r = zyl({"mods", "remove", k_terralith, "--instance", "Fab", "--world", "Мой мир"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "Удалено: " + k_terralith + " (мир «Мой мир»)\n");
    EXPECT_FALSE(fs_exists(installed));
    EXPECT_TRUE(fs_exists(copy));
    EXPECT_TRUE(fs_exists(dir() + "/saves/Мой мир/level.dat"));
    // Now in one world only, the name is enough.
    r = zyl({"mods", "remove", k_terralith, "--instance", "Fab"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(fs_exists(copy));
    EXPECT_EQ(list(), "Сборка Fab (1.20.1 Fabric): 0 файлов\n");
}

} // namespace
