// Game directory preparation on a temporary data folder: folder names, the
// loader profile's jar copy, default options, natives without META-INF and
// the three assets layouts.
#include "game/gamedir.h"

#include "base/digest.h"
#include "base/fs.h"
#include "base/json.h"
#include "base/ui.h"
#include "config/datadir.h"
#include "fakenet/run_zyl.h"
#include "fakenet/world_mojang.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

std::vector<std::string> g_messages;

class GameDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        datapaths_set(tmp.path);
        saved = ui_hooks;
        g_messages.clear();
        ui_hooks.message = [](const char *text) { g_messages.push_back(text); };
    }
    void TearDown() override { ui_hooks = saved; }

    void put(const std::string &path, const std::string &bytes) {
        fs_mkdirs_parent(path);
        ASSERT_EQ(fs_write_atomic(path, bytes), 0) << path;
    }
    std::string version_jar(const std::string &id) {
        return datapaths().versions + "/" + id + "/" + id + ".jar";
    }
    long long inode(const std::string &path) {
        struct stat st {};
        return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_ino) : -1;
    }

    TempDir tmp;
    UiHooks saved{};
};

} // namespace

TEST(GameFolderName, EveryOtherByteBecomesAnUnderscore) {
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"Моя сборка 1.20", "____________________1.20"},
        {"1.20.1-forge-47.2.0", "1.20.1-forge-47.2.0"},
        {"fabric-loader-0.15.11-1.20.1", "fabric-loader-0.15.11-1.20.1"},
        {"a/b\\c:d", "a_b_c_d"},
        {"1.14 Pre-Release 1", "1.14_Pre-Release_1"},
        // Dots alone would name the instances folder or the data folder.
        {"..", "__"},
        {".", "_"},
        {"...a", "...a"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(game_folder_name(c.in), c.out) << c.in;
}

TEST_F(GameDirTest, DirectoryIsTheInstanceFolderOrTheVersionWithItsModsFolder) {
    EXPECT_EQ(game_directory("1.20.1", std::nullopt), datapaths().instances + "/1.20.1");
    EXPECT_EQ(game_directory("1.20.1", std::string()), datapaths().instances + "/1.20.1");
    EXPECT_EQ(game_directory("1.20.1", std::string("Моя сборка")),
              datapaths().instances + "/___________________");
    EXPECT_TRUE(fs_is_dir(datapaths().instances + "/1.20.1/mods"));
    EXPECT_TRUE(fs_is_dir(datapaths().instances + "/___________________/mods"));
}

TEST_F(GameDirTest, LoaderProfileJarIsTheVanillaJarLinkedOrCheckedBySha1) {
    const std::string loader = "fabric-loader-0.15.11-1.20.1";
    JsonPtr bare = json_parse("{}");
    auto jar = [&](const cJSON *profile, const std::string &id) {
        return launch_client_jar(profile, id, "1.20.1", VerifyMode::TrustRecord);
    };
    // Vanilla: the root jar itself.
    EXPECT_EQ(jar(bare.get(), "1.20.1"), version_jar("1.20.1"));
    // Neither jar exists: the own path all the same, nothing written.
    EXPECT_EQ(jar(bare.get(), loader), version_jar(loader));
    EXPECT_FALSE(fs_exists(version_jar(loader)));

    // Without a SHA-1 to check: the vanilla jar's own file, linked once.
    const std::string vanilla = "PK vanilla client, sixty-four bytes and then some more of them...";
    put(version_jar("1.20.1"), vanilla);
    EXPECT_EQ(jar(bare.get(), loader), version_jar(loader));
    EXPECT_EQ(inode(version_jar(loader)), inode(version_jar("1.20.1")));
    put(version_jar("1.20.1"), vanilla + " repaired"); // a new file in its place
    jar(bare.get(), loader);
    EXPECT_EQ(inode(version_jar(loader)), inode(version_jar("1.20.1")));

    // With the client's SHA-1: a copy that matches is kept as it is, one with
    // bytes flipped and its size kept is made again from the vanilla jar.
    put(version_jar("1.20.1"), vanilla);
    std::string sha1;
    ASSERT_EQ(file_sha1_hex(version_jar("1.20.1"), sha1), 0);
    JsonPtr profile = json_parse(R"({"downloads":{"client":{"sha1":")" + sha1 + R"("}}})");
    put(version_jar(loader), vanilla); // a copy, not a link
    long long copy = inode(version_jar(loader));
    EXPECT_EQ(jar(profile.get(), loader), version_jar(loader));
    EXPECT_EQ(inode(version_jar(loader)), copy);
    std::string damaged = vanilla;
    for (size_t i = 0; i < 64; i++)
        damaged[i] = static_cast<char>(damaged[i] ^ 0x5a);
    put(version_jar(loader), damaged);
    EXPECT_EQ(jar(profile.get(), loader), version_jar(loader));
    EXPECT_EQ(fs_read_all(version_jar(loader)), vanilla);
    EXPECT_EQ(inode(version_jar(loader)), inode(version_jar("1.20.1")));
    EXPECT_EQ(dir_list(datapaths().versions + "/" + loader).value_or(std::vector<std::string>{}),
              std::vector<std::string>{loader + ".jar"});
}

TEST_F(GameDirTest, PrepareWritesOptionsOnceAndUnpacksNativesWithoutMetaInf) {
    const std::string lib_dir = datapaths().libraries + "/org/lwjgl/lwjgl/lwjgl-platform/2.9.0/";
    put(lib_dir + "lwjgl-platform-2.9.0.jar", world_zip({{"a.txt", "a"}}));
    put(lib_dir + "lwjgl-platform-2.9.0-natives-linux.jar",
        world_zip({{"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\n"},
                   {"META-INF/sig/LWJGL.SF", "x"},
                   {"liblwjgl.so", "ELF lwjgl"},
                   {"sub/libopenal.so", "ELF openal"}}));
    put(datapaths().libraries + "/net/java/jinput/jinput-platform/2.0.5/"
                                "jinput-platform-2.0.5-natives-linux.jar",
        "not a zip");
    put(version_jar("1.6.4"), "client");
    JsonPtr profile = json_parse(R"({"id":"1.6.4","libraries":[
        {"name":"org.lwjgl.lwjgl:lwjgl-platform:2.9.0","natives":{"linux":"natives-linux"}},
        {"name":"net.java.jinput:jinput-platform:2.0.5","natives":{"linux":"natives-linux"}}]})");
    ASSERT_TRUE(profile);

    LaunchLayout l = launch_prepare(profile.get(), "1.6.4", "1.6.4", std::nullopt);
    EXPECT_EQ(l.game_dir, datapaths().instances + "/1.6.4");
    EXPECT_EQ(l.client_jar, version_jar("1.6.4"));
    EXPECT_EQ(l.classpath, lib_dir + "lwjgl-platform-2.9.0.jar:" + datapaths().libraries +
                               "/net/java/jinput/jinput-platform/2.0.5/jinput-platform-2.0.5.jar:" +
                               version_jar("1.6.4"));
    EXPECT_EQ(fs_read_all(l.game_dir + "/options.txt"), std::string(k_default_options));
    EXPECT_EQ(sizeof k_default_options - 1, 55u);

    EXPECT_EQ(l.natives_dir, l.game_dir + "/.natives/1.6.4");
    EXPECT_EQ(fs_read_all(l.natives_dir + "/liblwjgl.so"), "ELF lwjgl");
    EXPECT_EQ(fs_read_all(l.natives_dir + "/sub/libopenal.so"), "ELF openal");
    EXPECT_FALSE(fs_exists(l.natives_dir + "/META-INF"));
    // The broken jar is named and skipped.
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0], "Не удалось распаковать natives " + datapaths().libraries +
                                 "/net/java/jinput/jinput-platform/2.0.5/"
                                 "jinput-platform-2.0.5-natives-linux.jar");

    // A player's own options survive the next launch.
    put(l.game_dir + "/options.txt", "lang:ru_ru\n");
    launch_prepare(profile.get(), "1.6.4", "1.6.4", std::nullopt);
    EXPECT_EQ(fs_read_all(l.game_dir + "/options.txt"), "lang:ru_ru\n");
}

TEST_F(GameDirTest, AssetsRootFollowsTheIndex) {
    // Objects the indexes point at.
    const std::string h1 = "aa11111111111111111111111111111111111111";
    const std::string h2 = "bb22222222222222222222222222222222222222";
    put(datapaths().assets + "/objects/aa/" + h1, "sound");
    put(datapaths().assets + "/objects/bb/" + h2, "lang");
    std::string objects = R"("objects":{"sound/step.ogg":{"hash":")" + h1 +
                          R"(","size":5},"lang/ru_RU.lang":{"hash":")" + h2 +
                          R"(","size":4},"../../escape.txt":{"hash":")" + h1 + R"(","size":5}})";
    put(datapaths().assets + "/indexes/pre-1.6.json",
        R"({"map_to_resources":true,)" + objects + "}");
    put(datapaths().assets + "/indexes/legacy.json", R"({"virtual":true,)" + objects + "}");
    put(datapaths().assets + "/indexes/5.json", "{" + objects + "}");

    struct Case {
        const char *profile;
        const char *index;
        std::string root;
        bool resources;
    } cases[] = {
        {R"({"assetIndex":{"id":"pre-1.6"}})", "pre-1.6", datapaths().assets + "/virtual/pre-1.6",
         true},
        {R"({"assetIndex":{"id":"legacy"}})", "legacy", datapaths().assets + "/virtual/legacy",
         false},
        {R"({})", "legacy", datapaths().assets + "/virtual/legacy", false},
        {R"({"assetIndex":{"id":"5"}})", "5", datapaths().assets, false},
        {R"({"assetIndex":{"id":"missing"}})", "missing", datapaths().assets, false},
        {R"({"assetIndex":{"id":"../indexes/5"}})", "../indexes/5", datapaths().assets, false},
    };
    int n = 0;
    for (const Case &c : cases) {
        std::string folder = "case" + std::to_string(n++);
        JsonPtr profile = json_parse(c.profile);
        LaunchLayout l = launch_prepare(profile.get(), "v", "v", folder);
        EXPECT_EQ(l.asset_index, c.index) << c.profile;
        EXPECT_EQ(l.assets_root, c.root) << c.profile;
        std::string res = l.game_dir + "/resources/sound/step.ogg";
        EXPECT_EQ(fs_exists(res), c.resources) << c.profile;
        if (!c.resources) continue;
        // Hard links, not copies; nothing outside the game directory.
        EXPECT_EQ(inode(res), inode(datapaths().assets + "/objects/aa/" + h1));
        EXPECT_EQ(fs_read_all(l.game_dir + "/resources/lang/ru_RU.lang"), "lang");
        EXPECT_FALSE(fs_exists(datapaths().instances + "/escape.txt"));
        EXPECT_FALSE(fs_exists(tmp.path + "/escape.txt"));
        // A file already there is left alone.
        put(res, "patched by a resource pack");
        launch_prepare(profile.get(), "v", "v", folder);
        EXPECT_EQ(fs_read_all(res), "patched by a resource pack");
    }
}
