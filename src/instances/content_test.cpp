#include "instances/content.h"

#include "base/fs.h"
#include "config/datadir.h"
#include "fakenet/run_zyl.h"

#include <gtest/gtest.h>
#include <thread>

class ContentTest : public testing::Test {
  protected:
    TempDir t;
    Instance inst;
    void SetUp() override {
        datapaths_set(t.path);
        inst.folder = "pack";
        inst.name = "Pack";
        instance_save(inst);
    }
    std::string dir() { return instance_dir(inst); }
    void file(const std::string &rel) { fs_write_atomic(dir() + "/" + rel, "bytes"); }
    ContentRecord rec(const std::string &project, const std::string &filename,
                      ContentType type = ContentType::Mod) {
        ContentRecord r;
        r.source = "modrinth";
        r.project = project;
        r.filename = filename;
        r.type = type;
        return r;
    }
};

TEST_F(ContentTest, LegacyFileMigratedOnce) {
    fs_write_atomic(
        dir() + "/content.json",
        R"([{"source":"curseforge","project":"238222","file":"jei.jar","title":"JEI","type":0}])");
    JsonPtr arr = content_load(inst);
    ASSERT_EQ(cJSON_GetArraySize(arr.get()), 1);
    cJSON *r = cJSON_GetArrayItem(arr.get(), 0);
    EXPECT_EQ(json_str(r, "filename"), "jei.jar");
    EXPECT_EQ(json_str(r, "file"), "");
    EXPECT_TRUE(fs_exists(dir() + "/zyl-content.json"));
    EXPECT_TRUE(fs_exists(dir() + "/content.json"));
}

TEST_F(ContentTest, PutReplacesPerProjectAndRecoversFromObject) {
    fs_write_atomic(dir() + "/zyl-content.json", R"({"not":"an array"})");
    EXPECT_EQ(cJSON_GetArraySize(content_load(inst).get()), 0);
    content_put(inst, rec("AANobbMI", "sodium-0.4.jar"));
    content_put(inst, rec("P7dR8mSH", "fabric-api.jar"));
    content_put(inst, rec("AANobbMI", "sodium-0.5.jar"));
    JsonPtr arr = content_load(inst);
    ASSERT_EQ(cJSON_GetArraySize(arr.get()), 2);
    cJSON *last = cJSON_GetArrayItem(arr.get(), 1);
    EXPECT_EQ(json_str(last, "filename"), "sodium-0.5.jar");
    EXPECT_EQ(json_str(last, "title"), "sodium-0.5.jar"); // no title: the file name
    std::string keys;
    for (cJSON *c = last->child; c; c = c->next)
        keys += std::string(c->string) + " ";
    EXPECT_EQ(keys, "source project file filename sha1 title type version channel world requires "
                    "disabled ");
}

TEST_F(ContentTest, InstalledNeedsTheFileExceptInWorlds) {
    content_put(inst, rec("mod1", "a.jar"));
    content_put(inst, rec("dp", "dp.zip", ContentType::DataPack));
    EXPECT_FALSE(content_is_installed(inst, "modrinth", "mod1")); // deleted by hand
    file("mods/a.jar");
    EXPECT_TRUE(content_is_installed(inst, "modrinth", "mod1"));
    EXPECT_FALSE(content_is_installed(inst, "curseforge", "mod1"));
    EXPECT_TRUE(content_is_installed(inst, "modrinth", "dp")); // its world may be gone
}

TEST_F(ContentTest, ListingJoinsFoldersAndRecords) {
    file("mods/a.jar");
    file("mods/b.jar.disabled");
    file("mods/.hidden.jar");
    file("mods/notes.txt");
    file("mods/x.jar/inner.txt"); // a folder named like a jar
    file("resourcepacks/faithful.zip");
    content_put(inst, rec("p1", "a.jar"));
    content_put(inst, rec("p2", "b.jar")); // switched off: still its record
    content_put(inst, rec("p3", "faithful.zip", ContentType::Mod)); // wrong type
    std::vector<ContentFile> files = content_list_files(inst);
    ASSERT_EQ(files.size(), 3u);
    std::map<std::string, ContentFile> by;
    for (auto &f : files)
        by[f.filename] = f;
    EXPECT_EQ(by["a.jar"].project, "p1");
    EXPECT_EQ(by["b.jar.disabled"].project, "p2");
    EXPECT_TRUE(by["b.jar.disabled"].disabled);
    EXPECT_FALSE(by["a.jar"].disabled);
    EXPECT_EQ(by["faithful.zip"].source, "local");
    EXPECT_EQ(by["faithful.zip"].type, ContentType::ResourcePack);
}

TEST_F(ContentTest, RemoveFile) {
    file("mods/same.zip");
    file("resourcepacks/same.zip");
    content_put(inst, rec("p", "same.zip"));
    EXPECT_EQ(content_remove_file(inst, "same.zip"), 0);
    EXPECT_FALSE(fs_exists(dir() + "/mods/same.zip"));
    EXPECT_TRUE(fs_exists(dir() + "/resourcepacks/same.zip"));
    EXPECT_FALSE(content_find_file(inst, "same.zip"));
    for (const char *bad : {"", "../instance.json", "..", "a/b"})
        EXPECT_EQ(content_remove_file(inst, bad), -1) << bad;
    EXPECT_TRUE(fs_exists(dir() + "/instance.json"));
    // A name in no folder still drops its record.
    content_put(inst, rec("q", "gone.jar"));
    EXPECT_NE(content_remove_file(inst, "gone.jar"), 0);
    EXPECT_FALSE(content_find_file(inst, "gone.jar"));
}

TEST_F(ContentTest, ConcurrentChangesKeepEveryRecord) {
    std::vector<std::thread> threads;
    for (int th = 0; th < 4; th++) {
        threads.emplace_back([&, th] {
            for (int i = 0; i < 25; i++) {
                std::string p = "p" + std::to_string(th) + "_" + std::to_string(i);
                content_put(inst, rec(p, p + ".jar"));
            }
        });
    }
    for (auto &th : threads)
        th.join();
    EXPECT_EQ(cJSON_GetArraySize(content_load(inst).get()), 100);
}

TEST_F(ContentTest, WorldList) {
    EXPECT_TRUE(world_list(inst).empty());
    file("saves/World A/level.dat");
    file("saves/NoLevel/region.mca");
    file("saves/.tmp/level.dat");
    EXPECT_EQ(world_list(inst), StrList{"World A"});
}

// Switching off renames to ".disabled" and back; the record stays and says
// so; a file of the other name is never replaced.
TEST_F(ContentTest, SwitchingOffAndOnKeepsTheRecord) {
    file("mods/a.jar");
    ContentRecord r = rec("p1", "a.jar");
    r.version = "1.2";
    content_put(inst, r);
    std::string err;
    ASSERT_EQ(content_set_enabled(inst, "a.jar", false, &err), 0) << err;
    EXPECT_FALSE(fs_exists(dir() + "/mods/a.jar"));
    EXPECT_TRUE(fs_exists(dir() + "/mods/a.jar.disabled"));
    EXPECT_TRUE(content_find_file(inst, "a.jar")->disabled);
    EXPECT_TRUE(content_is_installed(inst, "modrinth", "p1"));
    std::vector<ContentFile> files = content_list_files(inst);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename, "a.jar.disabled");
    EXPECT_TRUE(files[0].disabled);
    EXPECT_EQ(files[0].version, "1.2");

    // Both names present: switching on would replace the other file.
    file("mods/a.jar");
    EXPECT_EQ(content_set_enabled(inst, "a.jar.disabled", true, &err), -1);
    EXPECT_EQ(err, "«a.jar» не переименован: файл «a.jar» уже есть");
    fs_delete(dir() + "/mods/a.jar");
    ASSERT_EQ(content_set_enabled(inst, "a.jar.disabled", true, &err), 0) << err;
    EXPECT_TRUE(fs_exists(dir() + "/mods/a.jar"));
    EXPECT_FALSE(content_find_file(inst, "a.jar")->disabled);

    EXPECT_EQ(content_set_enabled(inst, "none.jar", false, &err), -1);
    EXPECT_EQ(err, "Файла «none.jar» нет в сборке");
    EXPECT_EQ(content_set_enabled(inst, "../instance.json", false, &err), -1);
    EXPECT_TRUE(fs_exists(dir() + "/instance.json"));

    // Removed by its listed name, the record goes too.
    ASSERT_EQ(content_set_enabled(inst, "a.jar", false, &err), 0);
    EXPECT_EQ(content_remove_file(inst, "a.jar"), 0);
    EXPECT_FALSE(fs_exists(dir() + "/mods/a.jar.disabled"));
    EXPECT_FALSE(content_find_file(inst, "a.jar"));
}

// Dependents are found through the recorded requirements of present files.
TEST_F(ContentTest, DependentsNameWhatRequiresTheFile) {
    ContentRecord api = rec("P7dR8mSH", "fabric-api.jar");
    api.title = "Fabric API";
    ContentRecord sodium = rec("AANobbMI", "sodium.jar");
    sodium.title = "Sodium";
    sodium.required = {"modrinth:P7dR8mSH"};
    ContentRecord extra = rec("PtjYWJkn", "extra.jar");
    extra.title = "Sodium Extra";
    extra.required = {"modrinth:AANobbMI", "modrinth:P7dR8mSH"};
    content_put_all(inst, {api, sodium, extra});
    for (const char *f : {"mods/fabric-api.jar", "mods/sodium.jar", "mods/extra.jar.disabled"})
        file(f);
    EXPECT_EQ(content_dependents(inst, "sodium.jar"), StrList{"Sodium Extra требует Sodium"});
    EXPECT_EQ(content_dependents(inst, "fabric-api.jar"),
              (StrList{"Sodium требует Fabric API", "Sodium Extra требует Fabric API"}));
    EXPECT_TRUE(content_dependents(inst, "extra.jar.disabled").empty());
    fs_delete(dir() + "/mods/extra.jar.disabled"); // gone: requires nothing any more
    EXPECT_TRUE(content_dependents(inst, "sodium.jar").empty());
    EXPECT_TRUE(content_dependents(inst, "unknown.jar").empty());
}

// Data packs are listed per world, with their records, and removed there.
TEST_F(ContentTest, DataPacksListedAndRemovedPerWorld) {
    file("saves/Мой мир/level.dat");
    file("saves/Мой мир/datapacks/terra.zip");
    file("saves/Мой мир/datapacks/own/pack.mcmeta");
    file("saves/Мой мир/datapacks/notes.txt");
    file("saves/B/level.dat");
    file("saves/B/datapacks/terra.zip");
    file("mods/z.jar");
    ContentRecord dp = rec("600001", "terra.zip", ContentType::DataPack);
    dp.source = "curseforge";
    dp.title = "Terralith";
    dp.world = "Мой мир";
    content_put(inst, dp);
    std::vector<ContentFile> files = content_list_files(inst);
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files[0].filename, "z.jar"); // mods first
    EXPECT_EQ(files[1].world, "B");
    EXPECT_EQ(files[1].source, "local"); // the record names another world
    EXPECT_EQ(files[2].world, "Мой мир");
    EXPECT_EQ(files[2].filename, "own");
    EXPECT_EQ(files[3].title, "Terralith");
    EXPECT_EQ(files[3].type, ContentType::DataPack);

    EXPECT_EQ(content_remove_file(inst, "terra.zip", "Мой мир"), 0);
    EXPECT_FALSE(fs_exists(dir() + "/saves/Мой мир/datapacks/terra.zip"));
    EXPECT_TRUE(fs_exists(dir() + "/saves/B/datapacks/terra.zip"));
    EXPECT_FALSE(content_find_file(inst, "terra.zip"));
    EXPECT_EQ(content_remove_file(inst, "own", "Мой мир"), 0); // a folder
    EXPECT_FALSE(fs_exists(dir() + "/saves/Мой мир/datapacks/own"));
    EXPECT_EQ(content_remove_file(inst, "terra.zip", "../B"), -1);
    EXPECT_EQ(content_remove_file(inst, "../level.dat", "B"), -1);
    EXPECT_TRUE(fs_exists(dir() + "/saves/B/level.dat"));
}

// The inventory is data from disk: a record whose file name is not one plain
// name is dropped when read, so nothing outside the content folders is ever
// taken for an installed file or named by a removal.
TEST_F(ContentTest, RecordsWithoutAPlainFileNameAreDropped) {
    file("mods/real.jar");
    fs_write_atomic(dir() + "/zyl-content.json",
                    R"([{"source":"modrinth","project":"up","filename":"../instance.json"},)"
                    R"({"source":"modrinth","project":"deep","filename":"../../x/y.jar"},)"
                    R"({"source":"modrinth","project":"none","filename":""},)"
                    R"({"source":"modrinth","project":"nameless"},)"
                    R"({"source":"modrinth","project":"back","filename":"..\\instance.json"},)"
                    R"("not a record",)"
                    R"({"source":"modrinth","project":"real","filename":"real.jar","type":0}])");
    for (const char *project : {"up", "deep", "none", "nameless", "back"})
        EXPECT_FALSE(content_is_installed(inst, "modrinth", project)) << project;
    EXPECT_TRUE(content_is_installed(inst, "modrinth", "real"));
    EXPECT_FALSE(content_find_file(inst, "../instance.json"));
    EXPECT_FALSE(content_find_file(inst, ""));
    JsonPtr arr = content_load(inst);
    ASSERT_EQ(cJSON_GetArraySize(arr.get()), 1);
    EXPECT_EQ(json_str(cJSON_GetArrayItem(arr.get(), 0), "project"), "real");
    EXPECT_EQ(content_remove_file(inst, "../instance.json"), -1);
    EXPECT_TRUE(fs_exists(dir() + "/instance.json"));
}
