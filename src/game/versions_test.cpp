// Version catalogue against the fake network (service and direct routes),
// local version files, profile merging and resolution on real documents.
#include "game/versions.h"

#include "base/fs.h"
#include "config/datadir.h"
#include "fakenet/net_test_env.h"
#include "fakenet/world_mojang.h"
#include "game/libraries.h"

#include <gtest/gtest.h>

namespace {

const std::string k_manifest_path = "/piston_meta/mc/game/version_manifest_v2.json";

struct VersionsTest : ::testing::Test {
    explicit VersionsTest(const std::vector<std::string> &down = {}) : env(down) {
        datapaths_set(env.tmp.path);
    }
    // Requests that reached the service's catalogue or Mojang's metadata host.
    int network_hits() {
        int n = env.net->hits("/service/v1/minecraft/versions") + env.net->hits(k_manifest_path);
        for (const std::string &id : world_mojang_ids()) {
            n += env.net->hits("/service/v1/minecraft/version/" + id);
            n += env.net->hits(world_mojang_version_path(id));
        }
        return n;
    }
    NetTestEnv env;
};

struct VersionsDirectTest : VersionsTest {
    VersionsDirectTest() : VersionsTest({"service"}) {}
};

JsonPtr corpus(const std::string &rel) {
    return json_read_file(fakenet_corpus(rel));
}

StrList names(const cJSON *libs) {
    StrList out;
    const cJSON *l;
    cJSON_ArrayForEach(l, libs) out.push_back(json_str(l, "name"));
    return out;
}

StrList strings(const cJSON *arr) {
    StrList out;
    const cJSON *s;
    cJSON_ArrayForEach(s, arr) out.push_back(cJSON_IsString(s) ? s->valuestring : "<object>");
    return out;
}

const std::pair<int, StrList> k_list_cases[] = {
    {VERSION_RELEASE, {"1.20.1", "1.6.4"}},
    {VERSION_SNAPSHOT, {"1.14 Pre-Release 1"}},
    {VERSION_OLD, {"b1.7.3"}},
    {VERSION_RELEASE | VERSION_SNAPSHOT, {"1.20.1", "1.14 Pre-Release 1", "1.6.4"}},
    {7, {"1.20.1", "1.14 Pre-Release 1", "1.6.4", "b1.7.3"}},
};

TEST_F(VersionsTest, ListByTypeMaskThroughTheService) {
    for (const auto &[mask, want] : k_list_cases) {
        StrList got;
        versions_list(mask, got);
        EXPECT_EQ(got, want) << mask;
    }
    EXPECT_EQ(env.net->hits(k_manifest_path), 0);
    // the reply is cached compactly
    auto cached = fs_read_all(datapaths().cache + "/version_manifest_v2.json");
    ASSERT_TRUE(cached);
    EXPECT_EQ(cached->find('\n'), std::string::npos);
}

TEST_F(VersionsDirectTest, ListByTypeMaskFromMojangWhenTheServiceIsDown) {
    for (const auto &[mask, want] : k_list_cases) {
        StrList got;
        versions_list(mask, got);
        EXPECT_EQ(got, want) << mask;
    }
    EXPECT_GT(env.net->hits(k_manifest_path), 0);
}

TEST_F(VersionsTest, CachedManifestIsUsedWithoutNetworkUnlessForced) {
    fs_write_atomic(datapaths().cache + "/version_manifest_v2.json",
                    R"({"versions":[{"id":"cached","type":"release","url":"x"}]})");
    JsonPtr m = manifest_load(false);
    ASSERT_TRUE(m);
    EXPECT_EQ(json_str(cJSON_GetArrayItem(json_get(m.get(), "versions"), 0), "id"), "cached");
    EXPECT_EQ(network_hits(), 0);

    StrList ids;
    versions_list(VERSION_RELEASE, ids); // always refreshes
    EXPECT_EQ(ids, (StrList{"1.20.1", "1.6.4"}));
}

TEST_F(VersionsDirectTest, ListFailsWithoutNetworkAndCache) {
    env.net->set_fault("/piston_meta/", Fault::NotFound);
    StrList ids;
    versions_list(7, ids);
    EXPECT_TRUE(ids.empty());
}

TEST_F(VersionsTest, LoadThroughTheServiceStoresTheDocument) {
    JsonPtr doc = version_load("1.14 Pre-Release 1"); // id with spaces, escaped on the way
    ASSERT_TRUE(doc);
    EXPECT_EQ(json_str(doc.get(), "id"), "1.14 Pre-Release 1");
    EXPECT_EQ(env.net->hits("/service/v1/minecraft/version/1.14 Pre-Release 1"), 1);
    ASSERT_TRUE(fs_exists(version_json_path("1.14 Pre-Release 1")));
    // indented on disk, and the next load reads the file alone
    EXPECT_NE(fs_read_all(version_json_path("1.14 Pre-Release 1"))->find('\n'), std::string::npos);
    int before = network_hits();
    EXPECT_TRUE(version_load("1.14 Pre-Release 1"));
    EXPECT_EQ(network_hits(), before);
}

TEST_F(VersionsTest, ServiceReplyWithoutLibrariesTakesTheManifestRoute) {
    env.net->serve("/service/v1/minecraft/version/1.20.1", R"({"id":"1.20.1","broken":true})");
    JsonPtr doc = version_load("1.20.1");
    ASSERT_TRUE(doc);
    EXPECT_TRUE(json_get(doc.get(), "libraries"));
    EXPECT_FALSE(json_get(doc.get(), "broken"));
    EXPECT_EQ(env.net->hits(world_mojang_version_path("1.20.1")), 1);
    EXPECT_TRUE(json_get(json_read_file(version_json_path("1.20.1")).get(), "libraries"));
}

// Not JSON, or JSON that cannot be launched (no main class): fetched again.
TEST_F(VersionsTest, BrokenLocalFileIsFetchedAgain) {
    for (const char *broken : {"{not json", "[1,2,3]", R"({"a":1})", R"({"mainClass":7})"}) {
        SCOPED_TRACE(broken);
        fs_write_atomic(version_json_path("1.6.4"), broken);
        JsonPtr doc = version_load("1.6.4");
        ASSERT_TRUE(doc);
        EXPECT_EQ(json_str(doc.get(), "minecraftArguments").substr(0, 10), "--username");
        EXPECT_TRUE(version_installed("1.6.4"));
    }
}

TEST_F(VersionsDirectTest, StaleManifestIsRefreshedOnceForAnUnknownId) {
    fs_write_atomic(datapaths().cache + "/version_manifest_v2.json",
                    R"({"versions":[{"id":"1.6.4","type":"release","url":"x"}]})");
    JsonPtr doc = version_load("b1.7.3");
    ASSERT_TRUE(doc);
    EXPECT_EQ(json_str(doc.get(), "type"), "old_beta");
    EXPECT_EQ(env.net->hits(k_manifest_path), 1);

    EXPECT_FALSE(version_load("9.9.9"));
    EXPECT_EQ(env.net->hits(k_manifest_path), 2);
    EXPECT_EQ(env.count_messages("Версия 9.9.9 не найдена"), 1);
}

TEST_F(VersionsTest, IdsThatNameNoFolderOfTheirOwnAreRefused) {
    for (const char *id : {"", ".", "..", "../1.20.1", "a/b", "a\\b"}) {
        EXPECT_FALSE(version_id_valid(id)) << id;
        EXPECT_FALSE(version_load(id)) << id;
        EXPECT_EQ(version_save(id, json_parse("{}").get()), -1) << id;
    }
    EXPECT_EQ(network_hits(), 0);
    EXPECT_TRUE(version_id_valid("1.14 Pre-Release 1"));
}

TEST(VersionMerge, ChildOverParent) {
    JsonPtr parent = json_parse(R"({"id":"p","inheritsFrom":"gp","mainClass":"Main",
        "libraries":[{"name":"g:a:1"},{"name":"g:b:1"}],
        "arguments":{"game":["--p"],"jvm":["-Dp"]},"assets":"5","type":"release"})");
    JsonPtr child = json_parse(R"({"id":"c","inheritsFrom":"p","mainClass":"Loader",
        "libraries":[{"name":"g:a:2"}],
        "arguments":{"game":["--c",{"rules":[],"value":"x"}],"extra":["e"]},"type":"custom"})");
    JsonPtr m = version_merge(child.get(), parent.get());
    EXPECT_EQ(json_str(m.get(), "id"), "c");
    EXPECT_EQ(json_str(m.get(), "mainClass"), "Loader");
    EXPECT_EQ(json_str(m.get(), "type"), "custom");
    EXPECT_EQ(json_str(m.get(), "assets"), "5");
    EXPECT_EQ(json_str(m.get(), "inheritsFrom"), "gp"); // the chain goes on from the parent
    EXPECT_EQ(names(json_get(m.get(), "libraries")), (StrList{"g:a:2", "g:a:1", "g:b:1"}));
    const cJSON *args = json_get(m.get(), "arguments");
    EXPECT_EQ(strings(json_get(args, "game")), (StrList{"--p", "--c", "<object>"}));
    EXPECT_EQ(strings(json_get(args, "jvm")), (StrList{"-Dp"}));
    EXPECT_EQ(strings(json_get(args, "extra")), (StrList{"e"}));

    // a parent without inheritsFrom or arguments
    JsonPtr root = json_parse(R"({"id":"r","minecraftArguments":"--old"})");
    JsonPtr m2 = version_merge(child.get(), root.get());
    EXPECT_FALSE(json_get(m2.get(), "inheritsFrom"));
    EXPECT_EQ(strings(json_get(json_get(m2.get(), "arguments"), "game")),
              (StrList{"--c", "<object>"}));
    EXPECT_EQ(json_str(m2.get(), "minecraftArguments"), "--old");
}

// Loader profiles from the corpus resolved over their real parents, all on disk.
TEST_F(VersionsTest, RealLoaderProfilesResolveOverTheirParents) {
    struct Case {
        const char *child, *parent_file, *parent_id, *main_class, *first_game_arg_of_child;
    };
    const Case cases[] = {
        {"forge/version.1.20.1-47.4.9.json", "mojang/versions/1.20.1.json", "1.20.1",
         "cpw.mods.bootstraplauncher.BootstrapLauncher", "--launchTarget"},
        {"neoforge/version.21.1.248.json", "mojang/versions/1.21.1.json", "1.21.1",
         "cpw.mods.bootstraplauncher.BootstrapLauncher", "--fml.neoForgeVersion"},
        {"fabric/profile.fabric-loader-0.16.9-1.21.1.json", "mojang/versions/1.21.1.json", "1.21.1",
         "net.fabricmc.loader.impl.launch.knot.KnotClient", nullptr},
        {"forge/version.1.12.2-14.23.5.2859.json", "mojang/versions/1.12.2.json", "1.12.2",
         "net.minecraft.launchwrapper.Launch", nullptr},
    };
    for (const Case &c : cases) {
        JsonPtr child = corpus(c.child);
        JsonPtr parent = corpus(c.parent_file);
        ASSERT_TRUE(child && parent) << c.child;
        std::string id = json_str(child.get(), "id");
        ASSERT_EQ(json_str(child.get(), "inheritsFrom"), c.parent_id);
        ASSERT_EQ(version_save(id, child.get()), 0);
        ASSERT_EQ(version_save(c.parent_id, parent.get()), 0);

        std::string root;
        JsonPtr m = version_resolve(id, &root);
        ASSERT_TRUE(m) << c.child;
        EXPECT_EQ(root, c.parent_id);
        EXPECT_FALSE(json_get(m.get(), "inheritsFrom"));
        EXPECT_EQ(json_str(m.get(), "mainClass"), c.main_class);
        EXPECT_EQ(json_str(m.get(), "id"), id);
        // loader libraries first, then the game's
        StrList libs = names(json_get(m.get(), "libraries"));
        StrList child_libs = names(json_get(child.get(), "libraries"));
        StrList parent_libs = names(json_get(parent.get(), "libraries"));
        ASSERT_EQ(libs.size(), child_libs.size() + parent_libs.size());
        EXPECT_TRUE(std::equal(child_libs.begin(), child_libs.end(), libs.begin()));
        EXPECT_EQ(libs.back(), parent_libs.back());
        // the game's arguments first, then the loader's
        if (c.first_game_arg_of_child) {
            StrList game = strings(json_get(json_get(m.get(), "arguments"), "game"));
            StrList parent_game = strings(json_get(json_get(parent.get(), "arguments"), "game"));
            ASSERT_GT(game.size(), parent_game.size());
            EXPECT_EQ(game[0], "--username");
            EXPECT_EQ(game[parent_game.size()], c.first_game_arg_of_child);
        }
        // the merged profile turns into a classpath with the client jar last
        StrList cp;
        libraries_collect(json_get(m.get(), "libraries"), nullptr, &cp, nullptr);
        Classpath built = classpath_build(cp, version_json_path(root) + ".jar");
        EXPECT_LE(built.entries.size(), cp.size() + 1);
        EXPECT_EQ(network_hits(), 0);
    }
}

TEST_F(VersionsTest, FabricProfileOverTheWorldsVanillaVersion) {
    JsonPtr profile = corpus("fabric/profile.fabric-loader-0.14.22-1.20.1.json");
    ASSERT_EQ(version_save("fabric-loader-0.14.22-1.20.1", profile.get()), 0);
    std::string root;
    JsonPtr m = version_resolve("fabric-loader-0.14.22-1.20.1", &root);
    ASSERT_TRUE(m);
    EXPECT_EQ(root, "1.20.1");
    EXPECT_TRUE(fs_exists(version_json_path("1.20.1"))); // the parent was fetched and stored
    EXPECT_EQ(names(json_get(m.get(), "libraries")).front(),
              "net.fabricmc:tiny-mappings-parser:0.3.0+build.17");
    StrList jvm = strings(json_get(json_get(m.get(), "arguments"), "jvm"));
    EXPECT_EQ(jvm.back(), "-DFabricMcEmu= net.minecraft.client.main.Main ");
    EXPECT_TRUE(json_get(m.get(), "assetIndex"));
}

TEST_F(VersionsTest, ChainStopsAfterEightMergesAndMissingParentFails) {
    for (int i = 0; i < 10; i++) {
        std::string doc =
            format_alloc(R"({"id":"v%d","mainClass":"M","libraries":[{"name":"g:l%d:1"}]%s})", i, i,
                         i < 9 ? format_alloc(R"(,"inheritsFrom":"v%d")", i + 1).c_str() : "");
        ASSERT_EQ(version_save(format_alloc("v%d", i), json_parse(doc).get()), 0);
    }
    std::string root;
    JsonPtr m = version_resolve("v0", &root);
    ASSERT_TRUE(m);
    EXPECT_EQ(root, "v8");
    EXPECT_EQ(json_str(m.get(), "inheritsFrom"), "v9");
    EXPECT_EQ(cJSON_GetArraySize(json_get(m.get(), "libraries")), 9);

    ASSERT_EQ(version_save("orphan", json_parse(R"({"id":"orphan","inheritsFrom":"gone"})").get()),
              0);
    env.net->set_fault("/piston_meta/", Fault::NotFound);
    EXPECT_FALSE(version_resolve("orphan", &root));
    EXPECT_FALSE(version_resolve("v0/../x", &root));
}

TEST_F(VersionsTest, InstalledListsOnlyFoldersWithTheirDocument) {
    fs_write_atomic(version_json_path("1.20.1"), "{}");
    fs_write_atomic(version_json_path("fabric-loader-0.16.9-1.21.1"), "{}");
    fs_write_atomic(version_json_path(".hidden"), "{}");
    fs_mkdirs(datapaths().versions + "/empty");
    fs_write_atomic(datapaths().versions + "/other/else.json", "{}");
    fs_write_atomic(datapaths().versions + "/loose.json", "{}");
    StrList ids;
    versions_installed(ids);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (StrList{"1.20.1", "fabric-loader-0.16.9-1.21.1"}));
}

} // namespace
