// "zyl modpack" as a user runs it against the fake network: a real-format
// .mrpack becomes an instance with its files, overrides and records while
// server-only files and unsafe paths are left out; a second import gets
// " (2)"; a CurseForge pack resolves its files in requests of 1000; a pack
// named on Modrinth is fetched through the content service first.
#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"
#include "fakenet/e2e_env.h"
#include "fakenet/fakenet.h"
#include "fakenet/world_modpack.h"

#include <gtest/gtest.h>

namespace {

class ModpackE2E : public ZylE2E {
  protected:
    std::string instances() { return data.path + "/instances"; }
    std::string write(const std::string &name, const std::string &bytes) {
        std::string path = data.path + "/" + name;
        EXPECT_EQ(fs_write_atomic(path, bytes), 0);
        return path;
    }
};

std::string created_line(const std::string &name, const std::string &loader,
                         const std::string &loader_version, const std::string &instances,
                         const std::string &folder) {
    return "Сборка создана: " + name + " (1.20.1 " + loader + " " + loader_version + ") → " +
           instances + "/" + folder + "\n";
}

TEST_F(ModpackE2E, MrpackBecomesAnInstanceWithItsFilesAndNothingOutside) {
    std::string pack = write("pack.mrpack", world_modpack_mrpack(*net));
    ZylRun r = zyl({"modpack", pack});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              created_line("The 128MB Pack", "Fabric", "0.14.24", instances(), "The_128MB_Pack"));
    std::string inst = instances() + "/The_128MB_Pack";

    for (const std::string &mod : world_modpack_client_mods())
        EXPECT_TRUE(fs_exists(inst + "/" + mod)) << mod;
    EXPECT_TRUE(fs_exists(inst + "/mods/fabric-api-0.90.7+1.20.2.jar")); // "+" from "%2B"
    EXPECT_TRUE(fs_exists(inst + "/resourcepacks/pack-textures.zip"));
    EXPECT_FALSE(fs_exists(inst + "/mods/server-only-1.0.jar"));
    EXPECT_NE(r.err.find("Пропущено серверных файлов: 1"), std::string::npos);
    for (const char *unsafe : {"../evil.jar", "D:/x", "/tmp/zyl-absolute-evil.jar",
                               "mods\\..\\..\\evil2.jar", "\\evil3.jar"})
        EXPECT_NE(r.err.find(std::string("Пропуск небезопасного пути ") + unsafe),
                  std::string::npos)
            << unsafe;
    EXPECT_FALSE(fs_exists(instances() + "/evil.jar"));
    EXPECT_FALSE(fs_exists(data.path + "/evil.jar"));
    EXPECT_FALSE(fs_exists(instances() + "/evil2.jar"));
    EXPECT_FALSE(fs_exists(inst + "/D:"));
    EXPECT_FALSE(fs_exists("/tmp/zyl-absolute-evil.jar"));
    EXPECT_FALSE(fs_exists(data.path + "/escape.txt"));
    EXPECT_FALSE(fs_exists(instances() + "/escape.txt"));

    EXPECT_EQ(fs_read_all(inst + "/config/zyl-pack.txt").value_or(""), "from overrides");
    EXPECT_EQ(fs_read_all(inst + "/options.txt").value_or(""), "lang:ru_ru"); // client wins
    EXPECT_NE(r.err.find("Копирую overrides/"), std::string::npos);
    EXPECT_NE(r.err.find("Копирую client-overrides/"), std::string::npos);

    JsonPtr records = json_read_file(inst + "/zyl-content.json");
    ASSERT_TRUE(records);
    EXPECT_EQ(cJSON_GetArraySize(records.get()),
              static_cast<int>(world_modpack_client_mods().size()));
    cJSON *rec = cJSON_GetArrayItem(records.get(), 0);
    EXPECT_EQ(json_str(rec, "source"), "modpack");
    EXPECT_EQ(json_str(rec, "project"), json_str(rec, "filename"));
    EXPECT_EQ(json_str(rec, "sha1").size(), 40u);

    JsonPtr meta = json_read_file(inst + "/instance.json");
    EXPECT_EQ(json_str(meta.get(), "mc"), "1.20.1");
    EXPECT_EQ(json_str(meta.get(), "loader"), "Fabric");
    EXPECT_EQ(json_str(meta.get(), "version_id"), "fabric-loader-0.14.24-1.20.1");
    // Nothing of the import is left beside the instances or in the cache.
    auto names = dir_list(instances());
    ASSERT_TRUE(names);
    EXPECT_EQ(names->size(), 1u);
    auto cache = dir_list(data.path + "/cache");
    for (const std::string &n : cache.value_or(std::vector<std::string>{}))
        EXPECT_FALSE(str_starts_with(n, "modpack-")) << n;

    r = zyl({"modpack", pack});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, created_line("The 128MB Pack (2)", "Fabric", "0.14.24", instances(),
                                  "The_128MB_Pack_2"));
    r = zyl({"modpack", pack, "--name", "Своя"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, created_line("Своя", "Fabric", "0.14.24", instances(), "instance"));
    EXPECT_EQ(zyl({"instances"}).out.find("Своя") != std::string::npos, true);
}

TEST_F(ModpackE2E, CurseForgePackResolvesInChunksOfAThousand) {
    JsonPtr manifest = json_parse(world_modpack_cf_manifest());
    cJSON *mc = json_get(manifest.get(), "minecraft");
    cJSON_ReplaceItemInObjectCaseSensitive(mc, "version", cJSON_CreateString("1.20.1"));
    cJSON_ReplaceItemInObjectCaseSensitive(mc, "modLoaders", cJSON_CreateArray());
    cJSON *files = cJSON_CreateArray();
    std::vector<long long> known = {k_cf_jei,           k_cf_manual,  k_cf_resourcepack,
                                    k_cf_classless_zip, k_cf_mod_zip, k_cf_unsafe,
                                    k_cf_shader};
    for (int i = 0; i < 2500; i++) {
        cJSON *f = cJSON_CreateObject();
        long long id = i < static_cast<int>(known.size()) ? known[i] : 9000000 + i;
        cJSON_AddNumberToObject(f, "projectID", 1);
        cJSON_AddNumberToObject(f, "fileID", static_cast<double>(id));
        cJSON_AddBoolToObject(f, "required", true);
        cJSON_AddItemToArray(files, f);
    }
    cJSON_ReplaceItemInObjectCaseSensitive(manifest.get(), "files", files);
    // An overrides folder outside the pack ("../.." of the extraction folder
    // is the data folder, account.json and all) is ignored for overrides/.
    cJSON_DeleteItemFromObjectCaseSensitive(manifest.get(), "overrides");
    cJSON_AddStringToObject(manifest.get(), "overrides", "../../probe");
    write("probe/outside-the-pack.txt", "not the pack's");
    std::string pack = write("rl.zip", world_modpack_cf_zip(json_print(manifest.get())));

    ZylRun r = zyl({"modpack", pack});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(net->hits("/service/v1/curseforge/files"), 3);
    EXPECT_EQ(net->hits("/service/v1/curseforge/files?ids=1000"), 2);
    EXPECT_EQ(net->hits("/service/v1/curseforge/files?ids=500"), 1);

    std::string inst = instances() + "/RLCraft";
    ASSERT_EQ(r.out.find(created_line("RLCraft", "Vanilla", "", instances(), "RLCraft")), 0u)
        << r.out;
    std::string manual =
        "\nНужна ручная загрузка:\n• " + world_modpack_cf_filename(k_cf_manual) +
        " — скачайте вручную: " + net->url("curseforge_web") +
        "/minecraft/mc-mods/235729/files/2520544\n  и положите файл в папку: " + inst + "/mods\n";
    EXPECT_EQ(r.out.substr(r.out.find('\n') + 1), manual);
    EXPECT_NE(r.err.find("Файлы модпака: 5 (вручную: есть)"), std::string::npos);

    EXPECT_TRUE(fs_exists(inst + "/mods/" + world_modpack_cf_filename(k_cf_jei)));
    EXPECT_TRUE(fs_exists(inst + "/resourcepacks/Faithful 32x.zip"));
    EXPECT_TRUE(fs_exists(inst + "/resourcepacks/Sildurs-Shaders.ZIP"));
    EXPECT_TRUE(fs_exists(inst + "/mods/legacy-mod.zip"));
    EXPECT_TRUE(fs_exists(inst + "/shaderpacks/BSL.zip"));
    EXPECT_FALSE(fs_exists(instances() + "/evil.jar"));
    // The real pack's overrides, names with spaces included; nothing from outside.
    EXPECT_TRUE(fs_exists(inst + "/FOR SERVERS ONLY - SET THESE IN SERVER.PROPERTIES.txt"));
    EXPECT_TRUE(fs_exists(inst + "/config/adhooks/adhooks.cfg"));
    EXPECT_FALSE(fs_exists(inst + "/outside-the-pack.txt"));

    JsonPtr records = json_read_file(inst + "/zyl-content.json");
    ASSERT_EQ(cJSON_GetArraySize(records.get()), 2); // the two files in mods
    cJSON *jei = cJSON_GetArrayItem(records.get(), 0);
    EXPECT_EQ(json_str(jei, "source"), "curseforge");
    EXPECT_EQ(json_str(jei, "project"), "238222");
    EXPECT_EQ(json_str(jei, "file"), "4615177");
}

TEST_F(ModpackE2E, PackNamedOnTheServiceIsFetchedFirst) {
    world_modpack_publish(*net);
    ZylRun r = zyl({"modpack", "mr:no-such-pack"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err.rfind("Ошибка: ", 0), 0u) << r.err;

    r = zyl({"modpack", "cf:900001"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Ошибка: Автор запретил автоматическое скачивание модпака. Скачайте "
                         "вручную: " +
                         net->url("curseforge_web") +
                         "/minecraft/modpacks/locked и импортируйте файл"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs_exists(instances()) && !dir_list(instances())->empty());

    r = zyl({"modpack", "mr:zyl-test-pack", "--mc", "1.20.1", "-n", "Из сети"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1),
              created_line("Из сети", "Fabric", "0.14.24", instances(), "instance"));
    EXPECT_NE(r.err.find("Скачиваю модпак zyl-test-pack-1.0.mrpack"), std::string::npos);
    EXPECT_EQ(net->hits("/service/v1/modrinth/zyl-test-pack/archive"), 1);
    EXPECT_TRUE(fs_exists(data.path + "/cache/modpacks/zyl-test-pack-1.0.mrpack"));
}

TEST_F(ModpackE2E, UsageAndFailuresLeaveNoInstance) {
    ZylRun r = zyl({"modpack"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "zyl modpack <файл.zip|файл.mrpack|curseforge:ID|modrinth:slug> [--name X]\n");

    r = zyl({"modpack", "missing.mrpack"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Ошибка: Файл missing.mrpack не найден\n");
    r = zyl({"modpack", write("broken.zip", "not a zip")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Не удалось распаковать"), std::string::npos) << r.err;

    // An existing file whose name has ":" is a file, "--mc" or not.
    MrpackShape vanilla;
    vanilla.loader_key = "";
    vanilla.hostile = false;
    std::string odd = write("mr:odd.mrpack", world_modpack_mrpack(*net, vanilla));
    r = zyl({"modpack", odd, "--mc", "1.19.2"});
    EXPECT_EQ(r.code, 0) << r.err;

    // The service fails while the files are resolved: no instance, nothing beside.
    net->set_fault("/service/v1/curseforge/files", Fault::ServerError);
    JsonPtr manifest = json_parse(world_modpack_cf_manifest());
    cJSON *mc = json_get(manifest.get(), "minecraft");
    cJSON_ReplaceItemInObjectCaseSensitive(mc, "version", cJSON_CreateString("1.20.1"));
    cJSON_ReplaceItemInObjectCaseSensitive(mc, "modLoaders", cJSON_CreateArray());
    std::string pack = write("cf.zip", world_modpack_cf_zip(json_print(manifest.get())));
    r = zyl({"modpack", pack});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Ошибка: CurseForge files: "), std::string::npos) << r.err;
    auto names = dir_list(instances());
    ASSERT_TRUE(names);
    EXPECT_EQ(*names, std::vector<std::string>{"The_128MB_Pack"}); // the one imported above
    EXPECT_EQ(zyl({"instances"}).out.find("RLCraft"), std::string::npos);
}

} // namespace
