#include "content/modpack.h"

#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"
#include "fakenet/net_test_env.h"
#include "fakenet/run_zyl.h"
#include "fakenet/scratch_fs.h"
#include "fakenet/world_modpack.h"
#include "fakenet/world_mojang.h"
#include "instances/content.h"

#include <algorithm>
#include <cerrno>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

TEST(ModpackRef, PrefixesVersionsAndFiles) {
    TempDir t;
    std::string existing = t.path + "/cf:odd.zip";
    ASSERT_EQ(fs_write_atomic(existing, "x"), 0);
    struct Case {
        std::string text;
        bool remote;
        const char *source, *id, *mc;
    } cases[] = {
        {"mr:some-pack@1.20.1", true, "modrinth", "some-pack", "1.20.1"},
        {"Modrinth:AbCd", true, "modrinth", "AbCd", ""},
        {"cf:123456", true, "curseforge", "123456", ""},
        {"CURSEFORGE:all-the-mods@1.20.1@x", true, "curseforge", "all-the-mods", "1.20.1@x"},
        {"missing.zip", false, "", "", ""},
        {"github:owner/pack", false, "", "", ""},
        {existing, false, "", "", ""},
    };
    for (const Case &c : cases) {
        ModpackRef r = modpack_ref_parse(c.text);
        EXPECT_EQ(r.remote, c.remote) << c.text;
        EXPECT_EQ(r.source, c.source) << c.text;
        EXPECT_EQ(r.id, c.id) << c.text;
        EXPECT_EQ(r.mc, c.mc) << c.text;
        if (!c.remote) {
            EXPECT_EQ(r.path, c.text);
        }
    }
}

TEST(ModpackPath, OnlyPrintablePathsThatStayInside) {
    for (const char *ok : {"mods/a.jar", "config/x/y.toml", "options.txt", "mods\\a.jar"})
        EXPECT_TRUE(modpack_path_safe(ok)) << ok;
    for (const char *bad : {"", "../evil.jar", "mods/../../x", "D:/x", "C:\\x", "/etc/passwd",
                            "\\\\server\\share", "mods\\..\\..\\x", "mods/..", "a:b", "a..b",
                            "mods/sod\033[31mium\n.jar", "mods/a\r.jar", "mods/\u202egpj.jar"})
        EXPECT_FALSE(modpack_path_safe(bad)) << bad;
}

// The pack's file list comes from a service that answers by game version.
TEST(ModpackFetch, AsksForTheGameVersionAndChecksTheName) {
    NetTestEnv env;
    datapaths_set(env.tmp.path);
    setenv("ZYL_API", (env.url("service") + "/packs").c_str(), 1);
    service_state_reset_for_tests();
    env.net->serve("/service/packs/v1/modrinth/odd/files",
                   R"({"files":[{"filename":"odd.jar","url":"http://x/odd.jar"},)"
                   R"({"filename":"../odd.mrpack","url":"http://x/odd.mrpack"}]})");
    env.net->serve("/service/packs/v1/modrinth/none/files",
                   R"({"files":[{"filename":"none.jar","url":"http://x/none.jar"},)"
                   R"({"filename":"none.zip"}]})");
    struct Case {
        std::string id, mc, error;
    } cases[] = {
        {"zyl-test-pack", "1.19.2", "У modrinth:zyl-test-pack нет файла модпака"},
        {"odd", "", "Некорректное имя файла"},
        {"none", "", "У modrinth:none нет файла модпака"},
    };
    for (const Case &c : cases) {
        ModpackRef ref = modpack_ref_parse("mr:" + c.id + "@" + c.mc);
        std::string archive, err;
        EXPECT_EQ(modpack_fetch(ref, &archive, &err), -1) << c.id;
        EXPECT_EQ(err, c.error);
    }
    std::string archive, err;
    ASSERT_EQ(modpack_fetch(modpack_ref_parse("mr:zyl-test-pack@1.20.1"), &archive, &err), 0)
        << err;
    EXPECT_EQ(archive, datapaths().cache + "/modpacks/zyl-test-pack-1.0.mrpack");
    EXPECT_EQ(env.net->hits("/service/packs/v1/modrinth/zyl-test-pack/archive"), 1);
    EXPECT_TRUE(fs_exists(archive));
    unsetenv("ZYL_API");
    service_state_reset_for_tests();
}

class ModpackImport : public testing::Test {
  protected:
    NetTestEnv env;
    int packs = 0;
    void SetUp() override { datapaths_set(env.tmp.path); }
    std::string write(const std::string &name, const std::string &bytes) {
        std::string path = env.tmp.path + "/" + name;
        EXPECT_EQ(fs_write_atomic(path, bytes), 0);
        return path;
    }
    std::string cf_pack(const char *loaders_json, const char *mc_version = "1.20.1") {
        JsonPtr m = json_parse(world_modpack_cf_manifest());
        cJSON *mc = json_get(m.get(), "minecraft");
        cJSON_ReplaceItemInObjectCaseSensitive(mc, "version", cJSON_CreateString(mc_version));
        cJSON_ReplaceItemInObjectCaseSensitive(mc, "modLoaders", cJSON_Parse(loaders_json));
        return write(format_alloc("cf%d.zip", ++packs), world_modpack_cf_zip(json_print(m.get())));
    }
    // A vanilla 1.20.1 Modrinth pack without files of its own, with these
    // archive entries beside its index.
    std::string plain_mrpack(const std::string &name,
                             std::vector<std::pair<std::string, std::string>> entries) {
        MrpackShape shape;
        shape.loader_key = "";
        shape.hostile = false;
        shape.name = "Plain";
        JsonPtr index = json_parse(world_modpack_index(*env.net, shape));
        cJSON_ReplaceItemInObjectCaseSensitive(index.get(), "files", cJSON_CreateArray());
        entries.insert(entries.begin(), {"modrinth.index.json", json_print(index.get())});
        return write(name, world_zip(entries));
    }
    // The instances folder holds exactly these names.
    std::vector<std::string> instance_folders() {
        auto names = dir_list(datapaths().instances).value_or(std::vector<std::string>{});
        std::sort(names.begin(), names.end());
        return names;
    }
};

// The game version is one the world does not have, so each import stops right
// after it announced what it would create.
TEST_F(ModpackImport, LoaderOfTheManifest) {
    auto mrpack = [this](const char *name, const std::vector<const char *> &loader_keys) {
        MrpackShape shape;
        shape.hostile = false;
        shape.name = name;
        JsonPtr index = json_parse(world_modpack_index(*env.net, shape));
        cJSON *deps = json_get(index.get(), "dependencies");
        cJSON_DeleteItemFromObjectCaseSensitive(deps, "fabric-loader");
        cJSON_ReplaceItemInObjectCaseSensitive(deps, "minecraft", cJSON_CreateString("0.0-none"));
        for (const char *key : loader_keys)
            cJSON_AddStringToObject(deps, key, "1.2.3");
        return write(std::string(name) + ".mrpack",
                     world_zip({{"modrinth.index.json", json_print(index.get())}}));
    };
    struct Case {
        std::string pack;
        const char *announced;
    } cases[] = {
        {cf_pack(
             R"([{"id":"neoforge-47.1.3","primary":false},{"id":"forge-47.2.0","primary":true}])",
             "0.0-none"),
         "Модпак «RLCraft»: Minecraft 0.0-none, forge 47.2.0"},
        {cf_pack(R"([{"id":"forge-47.2.0"},{"id":"neoforge-47.1.3"}])", "0.0-none"),
         "Модпак «RLCraft»: Minecraft 0.0-none, forge 47.2.0"},
        {cf_pack(R"([{"id":"forge","primary":true}])", "0.0-none"),
         "Модпак «RLCraft»: Minecraft 0.0-none, Vanilla "},
        {cf_pack("[]", "0.0-none"), "Модпак «RLCraft»: Minecraft 0.0-none, Vanilla "},
        {mrpack("both", {"forge", "fabric-loader"}),
         "Модпак «both»: Minecraft 0.0-none, Fabric 1.2.3"},
        {mrpack("quilt", {"neoforge", "quilt-loader"}),
         "Модпак «quilt»: Minecraft 0.0-none, Quilt 1.2.3"},
        {mrpack("neo", {"forge", "neoforge"}), "Модпак «neo»: Minecraft 0.0-none, NeoForge 1.2.3"},
        {mrpack("plain", {}), "Модпак «plain»: Minecraft 0.0-none, Vanilla "},
    };
    for (const Case &c : cases) {
        std::string err;
        int before = env.count_messages(c.announced);
        EXPECT_EQ(modpack_import(c.pack, "", nullptr, nullptr, &err), -1);
        EXPECT_EQ(err, "Не удалось создать сборку для модпака");
        EXPECT_EQ(env.count_messages(c.announced), before + 1) << c.announced;
    }
    EXPECT_TRUE(instance_folders().empty());

    std::string err;
    EXPECT_EQ(modpack_import(cf_pack(R"([{"id":"optifine-1.0","primary":true}])"), "", nullptr,
                             nullptr, &err),
              -1);
    EXPECT_EQ(err, "Неизвестный загрузчик модпака: optifine-1.0");
}

TEST_F(ModpackImport, BrokenPacksFailWithTheirReason) {
    JsonPtr no_mc = json_parse(world_modpack_index(*env.net));
    cJSON_DeleteItemFromObjectCaseSensitive(json_get(no_mc.get(), "dependencies"), "minecraft");
    // The second entry of the directory names the first one's data again.
    std::string overlapping = world_zip({{"modrinth.index.json", "{}"}, {"b.txt", "b"}});
    size_t second = overlapping.find("PK\x01\x02", overlapping.find("PK\x01\x02") + 1);
    overlapping.replace(second + 42, 4, std::string(4, '\0'));
    struct Case {
        std::string archive;
        std::string error;
    } cases[] = {
        {write("nomc.mrpack", world_zip({{"modrinth.index.json", json_print(no_mc.get())}})),
         "modrinth.index.json: нет версии Minecraft"},
        {write("nomc.zip", world_zip({{"manifest.json", R"({"minecraft":{},"files":[]})"}})),
         "manifest.json: нет версии Minecraft"},
        {write("plain.zip", world_zip({{"manifest.json", R"({"name":"not a pack"})"}})),
         "Это не модпак: нет modrinth.index.json или manifest.json"},
        {write("text.zip", "not a zip at all"),
         "Не удалось распаковать " + env.tmp.path + "/text.zip: Неизвестный формат архива"},
        {write("overlap.zip", overlapping),
         "Не удалось распаковать " + env.tmp.path +
             "/overlap.zip: Архив повреждён: записи перекрываются"},
    };
    for (const Case &c : cases) {
        std::string err;
        EXPECT_EQ(modpack_import(c.archive, "", nullptr, nullptr, &err), -1) << c.archive;
        EXPECT_EQ(err, c.error);
    }
    EXPECT_TRUE(instance_folders().empty());
    auto cache = dir_list(datapaths().cache).value_or(std::vector<std::string>{});
    for (const std::string &n : cache)
        EXPECT_NE(n.rfind("modpack-", 0), 0u) << n;
}

// A failure after the instance was set up removes what the import made and
// nothing else: not a folder someone created meanwhile, not another instance.
TEST_F(ModpackImport, FailedResolutionLeavesOtherInstancesAlone) {
    Instance other;
    ASSERT_EQ(instance_create("Другая", "vanilla", "1.20.1", "", &other), 0);
    ASSERT_EQ(fs_write_atomic(instance_dir(other) + "/mods/keep.jar", "keep"), 0);
    env.net->set_fault("/service/v1/curseforge/files", Fault::ServerError);
    std::string err, manual = "stale";
    EXPECT_EQ(modpack_import(cf_pack("[]"), "", nullptr, &manual, &err), -1);
    EXPECT_EQ(err.rfind("CurseForge files: ", 0), 0u) << err;
    EXPECT_EQ(manual, "");
    EXPECT_EQ(instance_folders(), std::vector<std::string>{other.folder});
    EXPECT_EQ(fs_read_all(instance_dir(other) + "/mods/keep.jar").value_or(""), "keep");
    ASSERT_EQ(instance_list().size(), 1u);

    env.net->clear_faults();
    Instance inst;
    ASSERT_EQ(modpack_import(cf_pack("[]"), "Другая", &inst, &manual, &err), 0) << err;
    EXPECT_EQ(inst.name, "Другая (2)");
    EXPECT_NE(inst.folder, other.folder);
    EXPECT_EQ(instance_list().size(), 2u);
}

// What a listing shows while an import runs (the interface lists instances
// meanwhile): neither the staging folder nor the reserved one, even when an
// installed profile has the reserved folder's name and would have it adopted.
std::vector<std::vector<std::string>> g_listed_during_import;

TEST_F(ModpackImport, ListingDuringAnImportShowsNothingOfIt) {
    ASSERT_EQ(
        fs_write_atomic(datapaths().versions + "/RLCraft/RLCraft.json", R"({"id":"RLCraft"})"), 0);
    g_listed_during_import.clear();
    UiHooks capture = ui_hooks;
    ui_hooks.message = [](const char *text) {
        if (std::string(text).rfind("Файлы модпака: ", 0) != 0) return;
        std::vector<std::string> folders;
        for (const Instance &i : instance_list())
            folders.push_back(i.folder);
        g_listed_during_import.push_back(folders);
    };
    std::string err;
    Instance inst;
    int rc = modpack_import(cf_pack("[]"), "", &inst, nullptr, &err);
    ui_hooks = capture;
    ASSERT_EQ(rc, 0) << err;
    ASSERT_EQ(g_listed_during_import.size(), 1u);
    EXPECT_TRUE(g_listed_during_import[0].empty());
    EXPECT_EQ(inst.folder, "RLCraft");
    std::vector<Instance> all = instance_list();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].name, "RLCraft");
    EXPECT_EQ(all[0].mc, "1.20.1");
    EXPECT_EQ(instance_folders(), std::vector<std::string>{"RLCraft"});
}

// Leftovers of an import whose process died go at the next import; a live
// import's staging folder and any folder with content stay.
TEST_F(ModpackImport, LeftoversOfADeadImportAreCleared) {
    std::string dead_unpack =
        format_alloc("%s/modpack-%d-7", datapaths().cache.c_str(), ended_process_id());
    std::string live_unpack =
        format_alloc("%s/modpack-%d-1", datapaths().cache.c_str(), (int)getppid());
    ASSERT_EQ(fs_write_atomic(dead_unpack + "/overrides/big.bin", "left by a killed import"), 0);
    ASSERT_EQ(fs_write_atomic(live_unpack + "/modrinth.index.json", "{}"), 0);
    fs_mkdirs(datapaths().instances + "/Dead/mods");
    fs_mkdirs(datapaths().instances + "/.Dead.import-2147483000/mods");
    fs_mkdirs(datapaths().instances + "/Kept/mods");
    fs_mkdirs(datapaths().instances + "/.Kept.import-2147483001/mods");
    fs_mkdirs(datapaths().instances + "/Live");
    fs_mkdirs(datapaths().instances + format_alloc("/.Live.import-%d", (int)getppid()));
    fs_rmdir(datapaths().instances + "/Dead/mods");
    std::string err;
    Instance inst;
    ASSERT_EQ(modpack_import(cf_pack("[]"), "", &inst, nullptr, &err), 0) << err;
    EXPECT_EQ(instance_folders(),
              (std::vector<std::string>{format_alloc(".Live.import-%d", (int)getppid()), "Kept",
                                        "Live", "RLCraft"}));
    EXPECT_FALSE(fs_exists(dead_unpack));
    EXPECT_TRUE(fs_exists(live_unpack));
}

// Overrides that do not fit fail the import with the cause: no instance, no
// staging folder, no cut-short file anywhere.
TEST_F(ModpackImport, OverridesThatDoNotFitFailTheImport) {
    ScratchFs small(datapaths().instances, ScratchKind::Tmpfs, "size=256k");
    if (!small.mounted) GTEST_SKIP() << small.why;
    std::string pack =
        plain_mrpack("big.mrpack", {{"overrides/options.txt", "lang:ru_ru"},
                                    {"overrides/config/big.bin", std::string(512 << 10, 'x')}});
    std::string err;
    EXPECT_EQ(modpack_import(pack, "", nullptr, nullptr, &err), -1);
    EXPECT_EQ(err, "Не удалось скопировать overrides/config/big.bin: " + fs_error_text(ENOSPC));
    EXPECT_TRUE(instance_folders().empty());
    auto cache = dir_list(datapaths().cache).value_or(std::vector<std::string>{});
    for (const std::string &n : cache)
        EXPECT_NE(n.rfind("modpack-", 0), 0u) << n;
}

// The launcher keeps an instance's records itself: an inventory, a legacy
// inventory or an instance.json in a pack's overrides is skipped, so the
// pack cannot claim files that are not there.
TEST_F(ModpackImport, PackNeverSuppliesTheLauncherRecords) {
    const std::string claims =
        R"([{"source":"modrinth","project":"AANobbMI","filename":"../instance.json","type":0}])";
    std::string pack =
        plain_mrpack("records.mrpack", {{"overrides/zyl-content.json", claims},
                                        {"overrides/content.json", claims},
                                        {"overrides/instance.json", R"({"name":"x"})"},
                                        {"overrides/config/keep.txt", "kept"}});
    std::string err;
    Instance inst;
    ASSERT_EQ(modpack_import(pack, "", &inst, nullptr, &err), 0) << err;
    EXPECT_FALSE(fs_exists(instance_dir(inst) + "/zyl-content.json"));
    EXPECT_FALSE(fs_exists(instance_dir(inst) + "/content.json"));
    EXPECT_EQ(fs_read_all(instance_dir(inst) + "/config/keep.txt"), "kept");
    EXPECT_EQ(instance_find(inst.folder)->name, "Plain");
    EXPECT_FALSE(content_is_installed(inst, "modrinth", "AANobbMI"));
    EXPECT_EQ(env.count_messages("Пропуск overrides/zyl-content.json: этот файл сборки ведёт "
                                 "лаунчер"),
              1);
}

// A second import running while the first one is (here: from within one of
// the first one's progress messages) gets the other name, whether it ends
// before the first one has taken its name or starts after.
std::string g_second_pack, g_second_name, g_second_at;
bool g_second_started = false;
int g_second_rc = -1;

TEST_F(ModpackImport, TwoImportsAtOnceTakeTwoNames) {
    struct Case {
        const char *second_at; // the first one's message the second import runs from
        const char *first, *second;
    } cases[] = {
        {"Модпак «", "RLCraft (2)", "RLCraft"},        // before the first chose under the lock
        {"Файлы модпака: ", "RLCraft", "RLCraft (2)"}, // once it has
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.second_at);
        fs_remove_tree(datapaths().instances);
        std::string pack = cf_pack("[]");
        g_second_pack = cf_pack("[]");
        g_second_at = c.second_at;
        g_second_started = false;
        g_second_rc = -1;
        UiHooks capture = ui_hooks;
        ui_hooks.message = [](const char *text) {
            if (g_second_started || std::string(text).rfind(g_second_at, 0) != 0) return;
            g_second_started = true;
            Instance second;
            std::string err;
            g_second_rc = modpack_import(g_second_pack, "", &second, nullptr, &err);
            g_second_name = second.name;
        };
        std::string err;
        Instance first;
        int rc = modpack_import(pack, "", &first, nullptr, &err);
        ui_hooks = capture;
        ASSERT_EQ(rc, 0) << err;
        ASSERT_EQ(g_second_rc, 0);
        EXPECT_EQ(first.name, c.first);
        EXPECT_EQ(g_second_name, c.second);
        std::vector<std::string> names;
        for (const Instance &i : instance_list())
            names.push_back(i.name);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"RLCraft", "RLCraft (2)"}));
    }
}

} // namespace
