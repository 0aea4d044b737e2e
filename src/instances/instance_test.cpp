#include "instances/instance.h"

#include "base/fs.h"
#include "base/json.h"
#include "config/datadir.h"
#include "fakenet/run_zyl.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <utime.h>

class InstanceTest : public testing::Test {
  protected:
    TempDir t;
    void SetUp() override { datapaths_set(t.path); }
    void profile(const std::string &id, const std::string &inherits = "") {
        std::string doc = inherits.empty()
                              ? "{\"id\":\"" + id + "\"}"
                              : "{\"id\":\"" + id + "\",\"inheritsFrom\":\"" + inherits + "\"}";
        fs_write_atomic(datapaths().versions + "/" + id + "/" + id + ".json", doc);
    }
    Instance make(const std::string &folder, const std::string &name, long long played) {
        Instance i;
        i.folder = folder;
        i.name = name;
        i.last_played = played;
        EXPECT_EQ(instance_save(i), 0);
        return i;
    }
};

TEST(InstanceFolder, NameRule) {
    struct Case {
        const char *name, *folder;
    } cases[] = {
        {"My  Pack!!", "My_Pack"}, {"__a__", "__a"},   {"Моя сборка", "instance"},
        {"", "instance"},          {"..", "instance"}, {"1.20.1 Fabric", "1.20.1_Fabric"},
        {"a/../b", "a_.._b"},      {"Сборка 2", "2"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(instance_folder_base(c.name), c.folder) << c.name;
}

TEST_F(InstanceTest, FolderCollisionsAndUniqueNames) {
    make(instance_folder_for_name("Моя сборка"), "Моя сборка", 1);
    EXPECT_EQ(instance_folder_for_name("Другая"), "instance-2");
    make("instance-2", "Другая", 2);
    EXPECT_EQ(instance_folder_for_name("Третья"), "instance-3");
    make("pack", "pack", 3);
    EXPECT_EQ(instance_unique_name("Pack"), "Pack (2)");
    make("pack-2", "Pack (2)", 4);
    EXPECT_EQ(instance_unique_name("Pack"), "Pack (3)");
    EXPECT_EQ(instance_unique_name("Fresh"), "Fresh");
}

// Creation refused before any install says why, to the messages and to the
// caller alike.
TEST_F(InstanceTest, CreateRefusalsGiveTheirReason) {
    make("pack", "Pack", 1);
    struct Case {
        const char *name, *loader;
        std::string reason;
    } cases[] = {
        {"pack", "fabric", "Сборка с именем «pack» уже есть — выберите другое имя"},
        {"New", "liteloader", "Неизвестный загрузчик: liteloader"},
    };
    for (const Case &c : cases) {
        std::string err;
        testing::internal::CaptureStderr(); // the default message hook
        EXPECT_EQ(instance_create(c.name, c.loader, "1.20.1", "", nullptr, nullptr, &err), -1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.reason + "\n");
        EXPECT_EQ(err, c.reason);
    }
}

TEST_F(InstanceTest, FieldsFromVersionIds) {
    profile("fabric-loader-0.15.11-1.20.1", "1.20.1");
    profile("quilt-loader-0.26.0-1.20.1", "1.20.1");
    profile("1.20.1-forge-47.2.0", "1.20.1");
    profile("neoforge-21.1.77", "1.21.1");
    struct Case {
        const char *id, *mc, *loader, *lv;
    } cases[] = {
        {"fabric-loader-0.15.11-1.20.1", "1.20.1", "Fabric", "0.15.11"},
        {"quilt-loader-0.26.0-1.20.1", "1.20.1", "Quilt", "0.26.0"},
        {"1.20.1-forge-47.2.0", "1.20.1", "Forge", "47.2.0"},
        {"neoforge-21.1.77", "1.21.1", "NeoForge", "21.1.77"},
        {"fabric-loader-0.15.11-1.20.1-gone", "fabric-loader-0.15.11-1.20.1-gone", "Fabric", ""},
        {"1.7.10-Forge10.13.4.1614-1.7.10", "1.7.10-Forge10.13.4.1614-1.7.10", "Vanilla", ""},
        {"1.20.1", "1.20.1", "Vanilla", ""},
    };
    for (const Case &c : cases) {
        VersionFields f = instance_fields_from_version(c.id);
        EXPECT_EQ(f.mc, c.mc) << c.id;
        EXPECT_EQ(f.loader, c.loader) << c.id;
        EXPECT_EQ(f.loader_version, c.lv) << c.id;
    }
}

TEST_F(InstanceTest, ListSortsAndAdopts) {
    make("old", "Old", 100);
    make("new", "New", 300);
    // A bare folder named after an installed profile is adopted with its mtime.
    profile("1.20.1");
    fs_mkdirs(datapaths().instances + "/1.20.1");
    utimbuf times = {200, 200};
    utime((datapaths().instances + "/1.20.1").c_str(), &times);
    // A broken instance.json without a profile is not listed; dot folders are skipped.
    fs_write_atomic(datapaths().instances + "/broken/instance.json", "{not json");
    fs_write_atomic(datapaths().instances + "/.hidden/instance.json", "{}");
    std::vector<Instance> all = instance_list();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].folder, "new");
    EXPECT_EQ(all[1].folder, "1.20.1");
    EXPECT_EQ(all[1].loader, "Vanilla");
    EXPECT_EQ(all[1].mc, "1.20.1");
    EXPECT_EQ(all[1].created, 200);
    EXPECT_TRUE(fs_exists(datapaths().instances + "/1.20.1/instance.json"));
    EXPECT_TRUE(fs_is_dir(datapaths().instances + "/1.20.1/shaderpacks"));
    EXPECT_EQ(all[2].folder, "old");

    // A broken instance.json next to an installed profile of the same name is adopted again.
    fs_write_atomic(datapaths().instances + "/1.20.1/instance.json", "{broken");
    EXPECT_EQ(instance_list().size(), 3u);
    EXPECT_TRUE(json_read_file(datapaths().instances + "/1.20.1/instance.json"));
}

TEST_F(InstanceTest, ReadDefaultsAndMemberOrder) {
    fs_write_atomic(datapaths().instances + "/x/instance.json",
                    R"({"name":5,"created":"soon","ram_mb":2048.9,"extra":1})");
    auto i = instance_find("x");
    ASSERT_TRUE(i);
    EXPECT_EQ(i->name, "x");
    EXPECT_EQ(i->loader, "Vanilla");
    EXPECT_EQ(i->created, 0);
    EXPECT_EQ(i->ram_mb, 2048);
    ASSERT_EQ(instance_save(*i), 0);
    JsonPtr j = json_read_file(datapaths().instances + "/x/instance.json");
    std::string keys;
    for (cJSON *c = j->child; c; c = c->next)
        keys += std::string(c->string) + " ";
    EXPECT_EQ(keys, "name mc loader loader_version version_id created last_played ram_mb ");
}

// An instance.json that parses but is no object is still the user's record:
// listed with the read defaults, never adopted over, never rewritten.
TEST_F(InstanceTest, NonObjectRecordIsListedWithDefaults) {
    for (const char *doc : {"[]", "\"x\"", "42", "null"}) {
        SCOPED_TRACE(doc);
        TempDir own;
        datapaths_set(own.path);
        // 1.20.1 has a profile of its name (adoption would take it over),
        // solo has none (it would vanish from the list).
        profile("1.20.1");
        for (const char *folder : {"1.20.1", "solo"})
            ASSERT_EQ(fs_write_atomic(datapaths().instances + "/" + folder + "/instance.json", doc),
                      0);
        std::vector<Instance> all = instance_list();
        ASSERT_EQ(all.size(), 2u);
        for (const Instance &i : all) {
            EXPECT_EQ(i.name, i.folder);
            EXPECT_EQ(i.loader, "Vanilla");
            EXPECT_EQ(i.mc, "");
            EXPECT_EQ(i.version_id, "");
            EXPECT_EQ(i.last_played, 0);
            EXPECT_EQ(fs_read_all(instance_dir(i) + "/instance.json").value_or(""), doc);
        }
    }
}

TEST_F(InstanceTest, FindPrefersExactMatch) {
    make("a", "pack", 300); // newest: first in the list
    make("b", "Pack", 100);
    EXPECT_EQ(instance_find("Pack")->folder, "b");
    EXPECT_EQ(instance_find("PACK")->folder, "a");
    EXPECT_EQ(instance_find("b")->folder, "b");
    EXPECT_FALSE(instance_find("nothing"));
}

TEST_F(InstanceTest, DeleteStaysInsideInstanceFolder) {
    Instance i = make("victim", "Victim", 1);
    fs_write_atomic(instance_dir(i) + "/mods/a.jar", "jar");
    chmod((instance_dir(i) + "/mods/a.jar").c_str(), 0444);
    profile("1.20.1");
    EXPECT_EQ(instance_delete(i), 0);
    EXPECT_FALSE(fs_exists(instance_dir(i)));
    EXPECT_TRUE(fs_exists(datapaths().versions + "/1.20.1/1.20.1.json"));
    for (const char *bad : {"", "..", "../versions", "a/b"}) {
        Instance b;
        b.folder = bad;
        EXPECT_EQ(instance_delete(b), -1) << bad;
    }
    EXPECT_TRUE(fs_is_dir(datapaths().versions));
}

// An instance's own launch settings: written after ram_mb and only when set
// (an empty text is a choice of its own), read back as they were.
TEST_F(InstanceTest, OwnSettingsRoundTrip) {
    Instance i = make("own", "Own", 1);
    i.java_path = "/opt/jdk/bin/java";
    i.jvm_args = "";
    i.width = 1600;
    i.height = 900;
    i.server = "mc.example.org:25570";
    ASSERT_EQ(instance_save(i), 0);
    JsonPtr j = json_read_file(instance_dir(i) + "/instance.json");
    std::string keys;
    for (cJSON *c = j->child; c; c = c->next)
        keys += std::string(c->string) + " ";
    EXPECT_EQ(keys, "name mc loader loader_version version_id created last_played ram_mb java_path "
                    "jvm_args width height server ");
    std::optional<Instance> back = instance_find("own");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->java_path, i.java_path);
    EXPECT_EQ(back->jvm_args, std::optional<std::string>(""));
    EXPECT_EQ(back->width, 1600);
    EXPECT_EQ(back->height, 900);
    EXPECT_EQ(back->server, i.server);

    // A record of an older launcher, or an empty path: as in the settings.
    fs_write_atomic(instance_dir(i) + "/instance.json", R"({"name":"Own","java_path":""})");
    back = instance_find("own");
    EXPECT_FALSE(back->java_path);
    EXPECT_FALSE(back->jvm_args);
    EXPECT_FALSE(back->server);
    EXPECT_EQ(back->width, 0);
}

// Writers that read the record, change one field and write it back (a launch
// stamping last_played, a settings change) never undo each other.
TEST_F(InstanceTest, UpdatesFromManyThreadsAreAllKept) {
    Instance i = make("busy", "Busy", 1);
    i.width = 1000;
    i.height = 500;
    ASSERT_EQ(instance_save(i), 0);
    const int n = 100;
    auto bump = [&](int Instance::*field) {
        for (int k = 0; k < n; k++)
            EXPECT_EQ(instance_update("busy", [&](Instance &r) { r.*field += 1; }), 0);
    };
    std::thread a(bump, &Instance::width), b(bump, &Instance::height);
    a.join();
    b.join();
    std::optional<Instance> back = instance_find("busy");
    EXPECT_EQ(back->width, 1000 + n);
    EXPECT_EQ(back->height, 500 + n);
    EXPECT_EQ(back->name, "Busy");

    for (const char *folder : {"gone", "", "../busy", ".hidden"})
        EXPECT_EQ(instance_update(folder, [](Instance &) {}), -1) << folder;
}
