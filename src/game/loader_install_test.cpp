// Loader phase pieces: installer addresses, the libraries an installer's
// documents name, the profile of an old installer, the service's choice of
// installer address and published profiles with unusable ids.
#include "game/loader_install.h"

#include "base/fs.h"
#include "config/datadir.h"
#include "fakenet/net_test_env.h"
#include "fakenet/paths_env.h"
#include "game/versions.h"
#include "net/endpoints.h"

#include <gtest/gtest.h>

namespace {

JsonPtr corpus(const char *rel) {
    return json_read_file(fakenet_corpus(rel));
}

} // namespace

TEST(LoaderInstall, InstallerAddressesAndProfileIds) {
    struct Case {
        LoaderKind kind;
        const char *mc, *v;
        bool older;
        std::string url, id;
    } cases[] = {
        {LoaderKind::Forge, "1.20.1", "47.2.0", false,
         endpoint("forge_maven") +
             "/net/minecraftforge/forge/1.20.1-47.2.0/forge-1.20.1-47.2.0-installer.jar",
         "1.20.1-forge-47.2.0"},
        {LoaderKind::Forge, "1.7.10", "10.13.4.1614", true,
         endpoint("forge_maven") + "/net/minecraftforge/forge/1.7.10-10.13.4.1614-1.7.10/"
                                   "forge-1.7.10-10.13.4.1614-1.7.10-installer.jar",
         "1.7.10-forge-10.13.4.1614"},
        {LoaderKind::NeoForge, "1.21.1", "21.1.248", false,
         endpoint("neoforge_maven") +
             "/releases/net/neoforged/neoforge/21.1.248/neoforge-21.1.248-installer.jar",
         "neoforge-21.1.248"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(loader_installer_url(c.kind, c.mc, c.v, c.older), c.url);
        EXPECT_EQ(loader_profile_id(c.kind, c.mc, c.v), c.id);
    }
}

TEST(LoaderInstall, InstallerLibrariesStayInTheLibrariesFolder) {
    ScopedDataPath libraries(&DataPaths::libraries, "/data/libraries");
    JsonPtr profile = corpus("forge/install_profile.1.20.1-47.4.9.json");
    DownloadList list;
    loader_installer_libraries(profile.get(), list);
    EXPECT_EQ(list.size(), 36u);
    EXPECT_EQ(list[0].path, "/data/libraries/com/github/jponge/lzma-java/1.3/lzma-java-1.3.jar");
    EXPECT_EQ(list[0].sha1, "a25db9d4d385ccda4825ae1b47a7a61d86e595af");
    EXPECT_EQ(list[0].size, 51041);

    // An empty address (a jar the installer carries) and a path out of the
    // folder are left out; an old installer's document adds nothing.
    JsonPtr odd = json_parse(R"({"libraries":[
        {"downloads":{"artifact":{"path":"a/b/c.jar","url":""}}},
        {"downloads":{"artifact":{"path":"../../../home/x/.bashrc","url":"http://h/x"}}},
        {"downloads":{"artifact":{"path":"/etc/x.jar","url":"http://h/x"}}},
        {"downloads":{"artifact":{"path":"ok/ok.jar","url":"http://h/ok.jar"}}}]})");
    list.clear();
    loader_installer_libraries(odd.get(), list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].path, "/data/libraries/ok/ok.jar");
    EXPECT_EQ(list[0].size, -1);
    list.clear();
    loader_installer_libraries(
        corpus("forge/install_profile.1.7.10-10.13.4.1614-1.7.10.json").get(), list);
    EXPECT_TRUE(list.empty());
}

TEST(LoaderInstall, LegacyProfileFromAnOldInstaller) {
    // The real hosts: the former file server is recognised by its host name.
    unsetenv("ZYL_ENDPOINTS");
    endpoints_reload();
    JsonPtr ip = corpus("forge/install_profile.1.7.10-10.13.4.1614-1.7.10.json");
    ASSERT_TRUE(ip);
    cJSON *info = json_get(ip.get(), "versionInfo");
    cJSON *libs = json_get(info, "libraries");
    // Old profiles name Forge's former file server, over http or https.
    const char *old_urls[] = {"http://files.minecraftforge.net/maven/",
                              "https://files.minecraftforge.net/maven/"};
    for (int i = 0; i < 2; i++) {
        cJSON *lib = cJSON_GetArrayItem(libs, 3 + i);
        cJSON_ReplaceItemInObjectCaseSensitive(lib, "url", cJSON_CreateString(old_urls[i]));
    }

    JsonPtr p = loader_legacy_profile(ip.get(), "1.7.10");
    ASSERT_TRUE(p);
    EXPECT_EQ(json_str(p.get(), "id"), "1.7.10-Forge10.13.4.1614-1.7.10");
    EXPECT_EQ(json_str(p.get(), "inheritsFrom"), "1.7.10");
    EXPECT_FALSE(json_get(p.get(), "jar"));
    EXPECT_TRUE(json_get(info, "jar")) << "the installer's document itself is not changed";
    std::string maven = "https://maven.minecraftforge.net/";
    const cJSON *out = json_get(p.get(), "libraries");
    EXPECT_EQ(json_str(cJSON_GetArrayItem(out, 3), "url"), maven);
    EXPECT_EQ(json_str(cJSON_GetArrayItem(out, 4), "url"), maven);
    EXPECT_EQ(json_str(cJSON_GetArrayItem(out, 0), "url"), "https://maven.minecraftforge.net/");
    EXPECT_FALSE(json_get(cJSON_GetArrayItem(out, 1), "url"));

    // Without inheritsFrom the game version is filled in.
    cJSON_DeleteItemFromObjectCaseSensitive(info, "inheritsFrom");
    p = loader_legacy_profile(ip.get(), "1.7.10");
    EXPECT_EQ(json_str(p.get(), "inheritsFrom"), "1.7.10");

    // Unusable documents: no "install", no "versionInfo", an id that leaves its folder.
    JsonPtr no_install(cJSON_Duplicate(ip.get(), 1));
    cJSON_DeleteItemFromObjectCaseSensitive(no_install.get(), "install");
    EXPECT_FALSE(loader_legacy_profile(no_install.get(), "1.7.10"));
    EXPECT_FALSE(
        loader_legacy_profile(corpus("forge/install_profile.1.20.1-47.4.9.json").get(), "1.20.1"));
    cJSON_ReplaceItemInObjectCaseSensitive(info, "id", cJSON_CreateString("../../evil"));
    EXPECT_FALSE(loader_legacy_profile(ip.get(), "1.7.10"));
}

class LoaderInstallNet : public ::testing::Test {
  protected:
    void SetUp() override { datapaths_set(env.tmp.path); }
    NetTestEnv env;
};

TEST_F(LoaderInstallNet, InstallerAddressNamedByTheServiceIsUsed) {
    std::string named = env.url("forge_maven") + "/elsewhere/custom-installer.jar";
    env.net->serve("/service/v1/loaders/forge/1.20.1/47.4.9", "{\"installer\":\"" + named + "\"}");
    EXPECT_FALSE(loader_install("Forge", "1.20.1", std::string("47.4.9")));
    EXPECT_GE(env.net->hits("/forge_maven/elsewhere/custom-installer.jar"), 1);
    EXPECT_GE(env.count_messages("custom-installer.jar"), 1);
    // The default address is not the first choice, the older form is the second.
    EXPECT_EQ(env.net->hits("/forge_maven/net/minecraftforge/forge/1.20.1-47.4.9/"
                            "forge-1.20.1-47.4.9-installer.jar"),
              0);
    EXPECT_FALSE(fs_exists(datapaths().data + "/launcher_profiles.json"));
}

TEST_F(LoaderInstallNet, PublishedProfileWithoutAUsableIdIsRefused) {
    const char *replies[] = {
        R"({"profile":{"inheritsFrom":"1.20.1","libraries":[]}})",
        R"({"profile":{"id":"../../outside","inheritsFrom":"1.20.1","libraries":[]}})",
    };
    int n = 0;
    for (const char *reply : replies) {
        env.net->serve("/service/v1/loaders/fabric/1.20.1/0.14.22", reply);
        std::string err;
        EXPECT_FALSE(loader_install("Fabric", "1.20.1", std::string("0.14.22"), nullptr, &err))
            << reply;
        EXPECT_EQ(err, "Не удалось получить профиль Fabric 0.14.22");
        EXPECT_EQ(env.count_messages("Не удалось получить профиль Fabric 0.14.22"), ++n) << reply;
        StrList installed;
        versions_installed(installed);
        EXPECT_TRUE(installed.empty());
        EXPECT_FALSE(fs_exists(datapaths().data + "/outside"));
    }
}
