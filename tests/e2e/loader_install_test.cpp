// "zyl install <mc> --loader ..." against the fake network: Fabric and Quilt
// profiles with their libraries, Forge and NeoForge installers run with Java
// (modern, already installed, failing, and old ones unpacked by hand), and
// game versions a loader does not support.
#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"
#include "fakenet/fakenet.h"
#include "fakenet/run_zyl.h"
#include "game/libraries.h"

#include <gtest/gtest.h>

namespace {

bool has(const std::string &text, const std::string &needle) {
    return text.find(needle) != std::string::npos;
}

class LoaderInstallE2E : public ::testing::Test {
  protected:
    ZylRun install(const std::vector<std::string> &extra,
                   const std::vector<std::string> &unreachable = {},
                   std::map<std::string, std::string> env = {}) {
        std::vector<std::string> args = {"--data-dir", dir.path, "install"};
        args.insert(args.end(), extra.begin(), extra.end());
        env["ZYL_ENDPOINTS"] = net->endpoints_env(unreachable);
        env["ZYL_API"] = "";
        env["ZYL_JAVA"] = "";
        return run_zyl(args, env);
    }

    std::string versions(const std::string &id) {
        return dir.path + "/versions/" + id + "/" + id + ".json";
    }

    // Every library of the saved profile is on disk at its Maven path.
    void expect_libraries(const std::string &id) {
        JsonPtr doc = json_read_file(versions(id));
        ASSERT_TRUE(doc) << id;
        int n = 0;
        const cJSON *lib;
        cJSON_ArrayForEach(lib, json_get(doc.get(), "libraries")) {
            const cJSON *art = json_get(json_get(lib, "downloads"), "artifact");
            std::optional<std::string> rel =
                art ? json_str_opt(art, "path") : maven_path(json_str(lib, "name"));
            ASSERT_TRUE(rel) << json_str(lib, "name");
            EXPECT_TRUE(fs_exists(dir.path + "/libraries/" + *rel)) << *rel;
            n++;
        }
        EXPECT_GT(n, 1) << id;
    }

    bool cache_has_scratch() {
        for (const std::string &name :
             dir_list(dir.path + "/cache").value_or(std::vector<std::string>{}))
            if (name.rfind("forge-pre-", 0) == 0 || name.rfind("forge-legacy-", 0) == 0)
                return true;
        return false;
    }

    FakeNetPtr net = fakenet_start();
    TempDir dir;
};

} // namespace

TEST_F(LoaderInstallE2E, FabricAndQuiltSaveTheirProfileAndFetchItsLibraries) {
    struct Case {
        const char *loader, *display, *prefix;
        std::vector<std::string> unreachable;
    } cases[] = {
        {"fabric", "Fabric", "fabric-loader-", {}},
        {"quilt", "Quilt", "quilt-loader-", {}},
        // Without the service: the loader's own metadata lists and serves the profile.
        {"fabric", "Fabric", "fabric-loader-", {"service"}},
    };
    for (const Case &c : cases) {
        ZylRun r = install({"1.20.1", "--loader", c.loader}, c.unreachable);
        ASSERT_EQ(r.code, 0) << c.loader << "\n" << r.err;
        size_t at = r.err.find(std::string("Версия ") + c.display + ": ");
        ASSERT_NE(at, std::string::npos) << r.err;
        std::string v = r.err.substr(at + strlen("Версия : ") + strlen(c.display));
        v = v.substr(0, v.find('\n'));
        std::string id = c.prefix + v + "-1.20.1";
        EXPECT_EQ(installed_line(r.out), "Установлено: " + id + "\n");
        JsonPtr doc = json_read_file(versions(id));
        ASSERT_TRUE(doc) << id;
        EXPECT_EQ(json_str(doc.get(), "inheritsFrom"), "1.20.1");
        expect_libraries(id);
        // The loader's jar and the client jar really start through the loader's main class.
        std::string loader_jar;
        const cJSON *lib;
        cJSON_ArrayForEach(lib, json_get(doc.get(), "libraries")) {
            std::string name = json_str(lib, "name");
            if (has(name, "-loader:")) loader_jar = dir.path + "/libraries/" + *maven_path(name);
        }
        std::string cmd = "java -cp '" + loader_jar + ":" + dir.path +
                          "/versions/1.20.1/1.20.1.jar' " + json_str(doc.get(), "mainClass") +
                          " --exit 0 2>&1";
        std::string out;
        if (FILE *p = popen(cmd.c_str(), "r")) {
            char buf[4096];
            for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
                out.append(buf, n);
            EXPECT_EQ(pclose(p), 0) << out;
        }
        EXPECT_TRUE(has(out, "LOADER " + json_str(doc.get(), "mainClass") + "\n")) << out;
        EXPECT_TRUE(has(out, "ARG --exit\n")) << out;
    }
}

TEST_F(LoaderInstallE2E, FabricProfileIsSavedAgainOnEveryInstall) {
    std::string id = "fabric-loader-0.14.22-1.20.1";
    ZylRun r = install({"1.20.1", "--loader", "fabric", "--loader-version", "0.14.22"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(installed_line(r.out), "Установлено: " + id + "\n");
    EXPECT_FALSE(has(r.err, "Версия Fabric:")) << "a given version must be used as it is";
    std::optional<std::string> first = fs_read_all(versions(id));
    ASSERT_TRUE(first);
    EXPECT_TRUE(has(*first, "-DFabricMcEmu= net.minecraft.client.main.Main "));
    expect_libraries(id);

    ASSERT_EQ(fs_write_atomic(versions(id), std::string("{\"id\":\"stale\"}")), 0);
    r = install({"1.20.1", "--loader", "fabric", "--loader-version", "0.14.22"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(fs_read_all(versions(id)), first);
}

TEST_F(LoaderInstallE2E, ForgeInstallerRunsOnceAndItsProfileIsReturned) {
    // An existing launcher profile store is the user's: it stays as it is.
    std::string store = dir.path + "/launcher_profiles.json";
    ASSERT_EQ(fs_write_atomic(store, std::string("{\"profiles\":{\"mine\":{}}}")), 0);
    // Another profile appearing during the run does not distract the search.
    ZylRun r = install({"1.20.1", "--loader", "forge", "--loader-version", "47.4.9"}, {},
                       {{"ZYL_STUB_EXTRA_PROFILE", "1.20.1-aaa"}});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(installed_line(r.out), "Установлено: 1.20.1-forge-47.4.9\n");
    EXPECT_TRUE(has(r.err, "Скачиваю установщик Forge 47.4.9"));
    EXPECT_TRUE(has(r.err, "Библиотеки установщика: "));
    EXPECT_TRUE(has(r.err, "Запускаю установщик Forge (может занять пару минут)..."));
    EXPECT_EQ(fs_read_all(store), std::string("{\"profiles\":{\"mine\":{}}}"));
    EXPECT_TRUE(fs_exists(versions("1.20.1-aaa")));

    std::string log = fs_read_all(dir.path + "/cache/Forge-installer.log").value_or("");
    EXPECT_TRUE(has(log, "ARG --installClient\nARG " + dir.path + "\n")) << log;
    std::string cache = dir.path + "/cache";
    char real[4096];
    ASSERT_TRUE(realpath(cache.c_str(), real));
    EXPECT_TRUE(has(log, std::string("CWD ") + real + "\n")) << log;
    EXPECT_TRUE(has(log, "Installed 1.20.1-forge-47.4.9")) << log;
    // Run with the Java the game version asks for.
    EXPECT_TRUE(has(log, "RUNTIME java-runtime-gamma\n")) << log;
    EXPECT_TRUE(fs_exists(cache + "/forge-1.20.1-47.4.9-installer.jar"));
    EXPECT_FALSE(cache_has_scratch());
    // The universal jar came from the installer's maven folder, the patched
    // client from the installer itself.
    std::string forge_dir = dir.path + "/libraries/net/minecraftforge/forge/1.20.1-47.4.9/";
    EXPECT_TRUE(fs_exists(forge_dir + "forge-1.20.1-47.4.9-universal.jar"));
    EXPECT_TRUE(fs_exists(forge_dir + "forge-1.20.1-47.4.9-client.jar"));
    expect_libraries("1.20.1-forge-47.4.9");

    // Second run: nothing is run or fetched for the loader, a lost library comes back.
    fs_delete(dir.path + "/cache/Forge-installer.log");
    std::string lib = dir.path + "/libraries/net/minecraftforge/fmlloader/1.20.1-47.4.9/"
                                 "fmlloader-1.20.1-47.4.9.jar";
    ASSERT_EQ(fs_delete(lib), 0);
    net->reset_counters();
    r = install({"1.20.1", "--loader", "forge", "--loader-version", "47.4.9"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(installed_line(r.out), "Установлено: 1.20.1-forge-47.4.9\n");
    EXPECT_TRUE(has(r.err, "Forge 47.4.9 уже установлен"));
    EXPECT_FALSE(has(r.err, "Запускаю установщик"));
    EXPECT_FALSE(fs_exists(dir.path + "/cache/Forge-installer.log"));
    EXPECT_EQ(net->hits_under("/forge_maven/net/minecraftforge/forge/"), 0);
    EXPECT_TRUE(fs_exists(lib));
}

TEST_F(LoaderInstallE2E, NeoForgeInstallsAsNeoforgeVersion) {
    ZylRun r = install({"1.20.1", "--loader", "neo", "--loader-version", "21.1.248"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(installed_line(r.out), "Установлено: neoforge-21.1.248\n");
    EXPECT_EQ(fs_read_all(dir.path + "/launcher_profiles.json"), std::string("{\"profiles\":{}}"));
    std::string log = fs_read_all(dir.path + "/cache/NeoForge-installer.log").value_or("");
    EXPECT_TRUE(has(log, "Installed neoforge-21.1.248")) << log;
    expect_libraries("neoforge-21.1.248");
}

TEST_F(LoaderInstallE2E, OldForgeFoundUnderOlderNamingFallsBackToLegacyMode) {
    // Without the service the default address is tried first, then the older form.
    ZylRun r =
        install({"1.6.4", "--loader", "forge", "--loader-version", "9.11.1.1345"}, {"service"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(installed_line(r.out), "Установлено: 1.6.4-Forge9.11.1.1345-1.6.4\n");
    EXPECT_EQ(net->hits("/forge_maven/net/minecraftforge/forge/1.6.4-9.11.1.1345/"
                        "forge-1.6.4-9.11.1.1345-installer.jar"),
              1);
    std::string log = dir.path + "/cache/Forge-installer.log";
    EXPECT_TRUE(has(r.err, "Установщик вернул код 1 (лог: " + log + "), пробую legacy-режим"))
        << r.err;
    EXPECT_TRUE(has(fs_read_all(log).value_or(""), "is not a recognized option"));
    EXPECT_FALSE(cache_has_scratch());

    JsonPtr doc = json_read_file(versions("1.6.4-Forge9.11.1.1345-1.6.4"));
    ASSERT_TRUE(doc);
    EXPECT_EQ(json_str(doc.get(), "inheritsFrom"), "1.6.4");
    EXPECT_FALSE(json_get(doc.get(), "jar"));
    const cJSON *lib;
    cJSON_ArrayForEach(lib, json_get(doc.get(), "libraries")) {
        EXPECT_FALSE(has(json_str(lib, "url"), "/forge_files/")) << json_str(lib, "name");
    }
    // The universal jar is not on the server: it came out of the installer.
    std::string universal = fs_read_all(dir.path + "/libraries/net/minecraftforge/forge/"
                                                   "1.6.4-9.11.1.1345-1.6.4/"
                                                   "forge-1.6.4-9.11.1.1345-1.6.4.jar")
                                .value_or("");
    EXPECT_TRUE(has(universal, "universal 1.6.4-9.11.1.1345-1.6.4"));
    expect_libraries("1.6.4-Forge9.11.1.1345-1.6.4");
}

TEST_F(LoaderInstallE2E, FailuresExitWithOne) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> unreachable;
        std::map<std::string, std::string> env;
        std::string message;
    } cases[] = {
        {{"1.6.4", "--loader", "fabric"}, {}, {}, "Fabric не поддерживает Minecraft 1.6.4\n"},
        {{"1.20.1", "--loader", "quilt"},
         {"service", "quilt_meta"},
         {},
         "Не удалось получить версии Quilt для Minecraft 1.20.1: API "},
        {{"1.20.1", "--loader", "fabric", "--loader-version", "9.9.9"},
         {},
         {},
         "Не удалось получить профиль Fabric 9.9.9\n"},
        // The installer fails and is no old one: no profile to be found.
        {{"1.20.1", "--loader", "forge", "--loader-version", "47.4.9"},
         {},
         {{"ZYL_STUB_INSTALLER_EXIT", "3"}},
         "Не найден установленный профиль Forge\n"},
        // Neither address form has the installer.
        {{"1.20.1", "--loader", "forge", "--loader-version", "1.2.3"},
         {},
         {},
         "Не удалось скачать"},
    };
    for (const Case &c : cases) {
        ZylRun r = install(c.args, c.unreachable, c.env);
        EXPECT_EQ(r.code, 1) << c.message << "\n" << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(has(r.err, c.message)) << r.err;
        EXPECT_TRUE(has(r.err, "Установка не удалась\n"));
    }
    ZylRun r = install({"1.20.1", "--loader", "quilt"}, {"service", "quilt_meta"});
    EXPECT_TRUE(has(r.err, "недоступен, сайт Quilt напрямую не ответил\n")) << r.err;

    // The profile arrives but its libraries do not.
    net->set_fault("/fabric_maven/", Fault::NotFound);
    r = install({"1.20.1", "--loader", "fabric", "--loader-version", "0.14.22"}, {"service"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(has(r.err, "Библиотеки загрузчика: 11 файлов не скачано")) << r.err;
    EXPECT_TRUE(has(r.err, "Установка не удалась\n"));
}
