// "zyl search", "zyl add" and "zyl mods" on a Fabric instance against the
// fake network, with the content service up and unreachable.
#include "base/fs.h"
#include "base/strings.h"
#include "config/datadir.h"
#include "fakenet/e2e_env.h"
#include "fakenet/fakenet.h"
#include "instances/instance.h"

#include <gtest/gtest.h>

namespace {

struct ContentCli : FabricInstanceE2E {
    std::string dir() const { return data.path + "/instances/Fab"; }
    void world(const std::string &name) {
        fs_mkdirs(dir() + "/saves/" + name);
        fs_write_atomic(dir() + "/saves/" + name + "/level.dat", "nbt");
    }
};

StrList lines(const std::string &text) {
    StrList out = str_split(text, '\n');
    if (!out.empty() && out.back().empty()) out.pop_back();
    return out;
}

TEST_F(ContentCli, SearchInterleavesTheSources) {
    ZylRun r = zyl({"search", "sodium", "--mc", "1.20.1", "--loader", "fabric"});
    ASSERT_EQ(r.code, 0) << r.err;
    StrList l = lines(r.out);
    ASSERT_EQ(l.size(), 6u) << r.out;
    EXPECT_EQ(l[0], format_alloc("%-10s %-30s %-28s %-16s %10ld  %s", "Modrinth", "sodium",
                                 "Sodium", "jellysquid3", 354677L, "modrinth:AANobbMI"));
    EXPECT_EQ(l[1], "   Modern rendering engine and client-side optimization mod for Minecraft");
    EXPECT_EQ(l[2].rfind("CurseForge sodium-dynamic-lights ", 0), 0u) << l[2];
    EXPECT_TRUE(str_ends_with(l[2], "  curseforge:521001")) << l[2];
    EXPECT_EQ(l[4].rfind("Modrinth   sodium-extra ", 0), 0u) << l[4];

    r = zyl({"search", "sodium", "--source", "curseforge", "--type", "shader"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Ничего не найдено\n");

    // One source failing: its error on standard error, the other's results.
    net->serve("/service/v1/search",
               R"({"modrinth":[{"id":"a","slug":"a","name":"A","authors":["x"],"summary":"s",)"
               R"("downloads":5}],"curseforge":[],"errors":{"curseforge":"down"}})");
    r = zyl({"search", "a"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "CurseForge недоступен\n");
    EXPECT_EQ(lines(r.out).size(), 2u);
    r = zyl({"search", "a"}, {"service"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("API недоступен"), std::string::npos) << r.err;
}

TEST_F(ContentCli, AddListAndRemoveMods) {
    ZylRun r = zyl({"add", "Fab", "modrinth:sodium"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("«Sodium» установлен в «Fab»"), std::string::npos) << r.err;
    fs_write_atomic(dir() + "/mods/handmade.jar", "jar");

    r = zyl({"mods", "list", "--instance", "Fab"});
    ASSERT_EQ(r.code, 0) << r.err;
    StrList l = lines(r.out);
    ASSERT_EQ(l.size(), 4u) << r.out;
    EXPECT_EQ(l[0], "Сборка Fab (1.20.1 Fabric): 3 файлов");
    std::sort(l.begin() + 1, l.end());
    EXPECT_EQ(l[1], format_alloc("  %-13s %-10s %-26s %s", "mods", "local", "handmade.jar",
                                 "handmade.jar"));
    EXPECT_EQ(l[2], format_alloc("  %-13s %-10s %-26s %s  (0.92.2+1.20.1)", "mods", "modrinth",
                                 "Fabric API", "fabric-api-0.92.2+1.20.1.jar"));
    EXPECT_EQ(l[3], format_alloc("  %-13s %-10s %-26s %s  (mc1.20.1-0.5.3)", "mods", "modrinth",
                                 "Sodium", "sodium-fabric-mc1.20.1-0.5.3+build.16.jar"));

    r = zyl({"mods", "search", "sodium", "--instance", "Fab"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("[✓] sodium ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\nsodium-extra "), std::string::npos) << r.out;

    r = zyl({"mods", "remove", "sodium-fabric-mc1.20.1-0.5.3+build.16.jar", "--instance", "Fab"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(fs_exists(dir() + "/mods/sodium-fabric-mc1.20.1-0.5.3+build.16.jar"));
    EXPECT_EQ(zyl({"mods", "remove", "nothing.jar", "--instance", "Fab"}).code, 1);
    r = zyl({"mods", "list", "--instance", "Fab"});
    EXPECT_EQ(lines(r.out)[0], "Сборка Fab (1.20.1 Fabric): 2 файлов");
}

TEST_F(ContentCli, UsageAndMissingInstance) {
    // A record whose file name climbs out of the content folders names nothing.
    ASSERT_EQ(
        fs_write_atomic(dir() + "/zyl-content.json",
                        R"([{"source":"modpack","project":"x","filename":"../instance.json"}])"),
        0);
    struct Case {
        std::vector<std::string> args;
        int code;
        const char *err;
    } cases[] = {
        {{"add", "Fab"}, 2, "zyl add <сборка> <curseforge|modrinth>:<id|slug>\n"},
        {{"add", "Fab", "sodium"}, 2, "zyl add <сборка> <curseforge|modrinth>:<id|slug>\n"},
        {{"add", "Nope", "modrinth:sodium"}, 1, "Сборка «Nope» не найдена (zyl instances)\n"},
        {{"mods", "list"}, 2, "Укажите сборку: --instance <имя> (см. zyl instances)\n"},
        {{"mods", "bogus", "--instance", "Nope"}, 2, "Сборка «Nope» не найдена (zyl instances)\n"},
        {{"mods", "list", "--instance", "Нет"}, 2, "Сборка «Нет» не найдена (zyl instances)\n"},
        {{"mods", "remove", "nosuch.jar", "--instance", "Fab"},
         1,
         "Ошибка: файла «nosuch.jar» нет в сборке «Fab» (zyl mods list --instance Fab)\n"},
        {{"mods", "update", "nosuch.jar", "--instance", "Fab"},
         1,
         "Ошибка: файла «nosuch.jar» нет в сборке «Fab» (zyl mods list --instance Fab)\n"},
        {{"mods", "remove", "../instance.json", "--instance", "Fab"},
         1,
         "Ошибка: файла «../instance.json» нет в сборке «Fab» (zyl mods list --instance Fab)\n"},
        {{"mods", "install", "--instance", "Fab"}, 2, ""},
        {{"mods", "--instance", "Fab"}, 2, ""},
    };
    for (const Case &c : cases) {
        ZylRun r = zyl(c.args);
        EXPECT_EQ(r.code, c.code) << c.args[0];
        EXPECT_EQ(r.err, c.err) << c.args[0];
    }
    EXPECT_TRUE(fs_exists(dir() + "/instance.json"));
}

TEST_F(ContentCli, ForbiddenDownloadExitsThree) {
    ZylRun r = zyl({"add", "Fab", "curseforge:jei"});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("\nАвтор запретил автоматическое скачивание:\n• Just Enough Items (JEI) — "
                         "скачайте вручную: "),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("Ошибка"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("и положите файл в папку: " + dir() + "/mods"), std::string::npos);
}

TEST_F(ContentCli, DataPackNeedsAWorldChoice) {
    world("A");
    world("B");
    ZylRun r = zyl({"add", "Fab", "curseforge:terralith-datapack"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Ошибка: Датапак «Terralith Datapack»: укажите мир (--world), есть: "),
              std::string::npos)
        << r.err;
    r = zyl({"add", "Fab", "curseforge:terralith-datapack", "--world", "B"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(fs_exists(dir() + "/saves/B/datapacks/Terralith_1.20.1_v2.4.5.zip"));
}

TEST_F(ContentCli, WorldArchiveLandsInSaves) {
    ZylRun r = zyl({"add", "Fab", "curseforge:600002"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(fs_exists(dir() + "/saves/sample-map/level.dat"));
    EXPECT_EQ(zyl({"mods", "list", "--instance", "Fab"}).out,
              "Сборка Fab (1.20.1 Fabric): 0 файлов\n");
}

TEST_F(ContentCli, ServiceUnreachableInstallsDirectly) {
    const std::vector<std::string> down = {"service"};
    ZylRun r = zyl({"add", "Fab", "modrinth:sodium"}, down);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(fs_exists(dir() + "/mods/fabric-api-0.92.2+1.20.1.jar"));
    r = zyl({"mods", "install", "faithful-32x", "--instance", "Fab", "--type", "resourcepack"},
            down);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(fs_exists(dir() + "/resourcepacks/Faithful-32x-1.20.1.zip"));

    r = zyl({"mods", "install", "sodium-dynamic-lights", "--instance", "Fab", "--source", "cf"},
            down);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Ошибка: API "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" недоступен, прямой доступ тоже не удался:\nДля CurseForge нужен "
                         "бесплатный API-ключ."),
              std::string::npos)
        << r.err;

    ASSERT_EQ(zyl({"config", "curseforge_api_key", "test-key"}).code, 0);
    r = zyl({"mods", "install", "sodium-dynamic-lights", "--instance", "Fab", "--source", "cf"},
            down);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(fs_exists(dir() + "/mods/sodiumdynamiclights-fabric-1.0.9-1.20.1.jar"));
    EXPECT_TRUE(fs_exists(dir() + "/mods/fabric-api-0.92.2+1.20.1-cf.jar"));
    EXPECT_EQ(zyl({"add", "Fab", "curseforge:jei"}, down).code, 3);

    // Data packs and worlds need the service, key or not.
    world("A");
    for (auto args :
         {std::vector<std::string>{"add", "Fab", "curseforge:terralith-datapack"},
          std::vector<std::string>{"add", "Fab", "curseforge:600002"},
          std::vector<std::string>{"add", "Fab", "curseforge:600001", "--type", "datapack"}}) {
        r = zyl(args, down);
        EXPECT_EQ(r.code, 1) << args[2];
        EXPECT_NE(r.err.find("\nОшибка: "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("API "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("недоступен"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("прямой доступ"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs_exists(dir() + "/saves/A/datapacks"));
    EXPECT_FALSE(fs_exists(dir() + "/saves/sample-map"));
}

} // namespace
