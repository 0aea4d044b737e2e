// The vanilla install against the fake network (real version documents,
// trimmed, with their files served locally): re-runs that download nothing,
// repair of damaged files, the asset index reuse rule, the virtual asset tree
// of legacy versions and the failure paths.
#include "game/install.h"

#include "base/digest.h"
#include "base/fs.h"
#include "base/json.h"
#include "config/datadir.h"
#include "fakenet/net_test_env.h"
#include "fakenet/world_mojang.h"
#include "game/versions.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every file under folder whose name holds a temporary marker.
void find_leftovers(const std::string &folder, StrList &out) {
    std::optional<std::vector<std::string>> names = dir_list(folder);
    if (!names) return;
    for (const std::string &name : *names) {
        std::string path = folder + "/" + name;
        if (fs_is_dir(path))
            find_leftovers(path, out);
        else if (name.find(".part") != std::string::npos || name.find(".tmp") != std::string::npos)
            out.push_back(path);
    }
}

class InstallTest : public ::testing::Test {
  protected:
    void SetUp() override {
        datapaths_set(env.tmp.path);
        unsetenv("ZYL_JAVA");
    }

    // The version document as the fake network serves it.
    JsonPtr served(const std::string &id) { return json_parse(world_mojang_version(*net, id)); }
    std::string object_path(const std::string &hash) {
        return datapaths().assets + "/objects/" + hash.substr(0, 2) + "/" + hash;
    }
    bool has_message(const std::string &m) {
        for (const std::string &s : env.messages())
            if (s == m) return true;
        return false;
    }

    NetTestEnv env;
    FakeNet *net = env.net.get();
};

} // namespace

TEST_F(InstallTest, ModernVersionInstallsEverythingAndASecondRunDownloadsNothing) {
    JsonPtr doc = served("1.20.1");
    EXPECT_EQ(install_version(std::nullopt, "1.20.1", std::nullopt), "1.20.1");
    EXPECT_TRUE(has_message("Minecraft 1.20.1: клиент, библиотеки, ресурсы"));

    std::string client = datapaths().versions + "/1.20.1/1.20.1.jar";
    EXPECT_EQ(fs_read_all(client), fs_read_all(fakenet_java_jar("stubgame")));
    EXPECT_TRUE(
        fs_exists(datapaths().libraries + "/org/lwjgl/lwjgl/3.3.1/lwjgl-3.3.1-natives-linux.jar"));
    EXPECT_FALSE(fs_exists(datapaths().libraries +
                           "/org/lwjgl/lwjgl/3.3.1/lwjgl-3.3.1-natives-windows.jar"));
    EXPECT_TRUE(fs_exists(datapaths().libraries + "/com/mojang/logging/1.1.1/logging-1.1.1.jar"));
    EXPECT_TRUE(fs_exists(datapaths().assets + "/log_configs/client-1.12.xml"));
    JsonPtr index = json_read_file(datapaths().assets + "/indexes/5.json");
    ASSERT_TRUE(index);
    const cJSON *obj = nullptr;
    int objects = 0;
    cJSON_ArrayForEach(obj, json_get(index.get(), "objects")) {
        std::string sha;
        EXPECT_EQ(file_sha1_hex(object_path(json_str(obj, "hash")), sha), 0);
        EXPECT_EQ(sha, json_str(obj, "hash"));
        objects++;
    }
    EXPECT_GT(objects, 0);
    EXPECT_TRUE(fs_exists(datapaths().java + "/java-runtime-gamma/bin/java"));
    EXPECT_FALSE(fs_exists(datapaths().assets + "/virtual"));

    // Part files of a run that was killed go at the start of the next one,
    // those of a running process stay.
    std::string lib = datapaths().libraries + "/com/mojang/logging/1.1.1/logging-1.1.1.jar";
    std::string stale = lib + ".part" + std::to_string(ended_process_id()) + "-4";
    std::string live = lib + ".part" + std::to_string(getppid()) + "-4";
    ASSERT_EQ(fs_write_atomic(stale, std::string("half")), 0);
    ASSERT_EQ(fs_write_atomic(live, std::string("half")), 0);

    net->reset_counters();
    EXPECT_EQ(install_version(std::nullopt, "1.20.1", std::nullopt), "1.20.1");
    EXPECT_EQ(net->total_hits(), 0);
    EXPECT_FALSE(fs_exists(stale));
    EXPECT_TRUE(fs_exists(live));
}

TEST_F(InstallTest, DamagedFilesAreReplaced) {
    ASSERT_TRUE(install_version(std::nullopt, "1.20.1", std::nullopt));
    std::string lib = datapaths().libraries + "/com/mojang/logging/1.1.1/logging-1.1.1.jar";
    std::optional<std::string> good = fs_read_all(lib);
    ASSERT_EQ(fs_write_atomic(lib, std::string("broken")), 0);
    fs_delete(datapaths().versions + "/1.20.1/1.20.1.jar");

    EXPECT_EQ(install_version(std::nullopt, "1.20.1", std::nullopt), "1.20.1");
    EXPECT_EQ(fs_read_all(lib), good);
    EXPECT_TRUE(fs_exists(datapaths().versions + "/1.20.1/1.20.1.jar"));
}

TEST_F(InstallTest, BrokenDownloadsLeaveNoPartialFilesAndKeepGoodOnes) {
    ASSERT_TRUE(install_version(std::nullopt, "1.20.1", std::nullopt));
    std::string client = datapaths().versions + "/1.20.1/1.20.1.jar";
    std::string lib = datapaths().libraries + "/com/mojang/logging/1.1.1/logging-1.1.1.jar";
    ASSERT_EQ(fs_write_atomic(lib, std::string("broken")), 0);

    // The server now sends damaged bytes everywhere: the damaged library cannot
    // be repaired, and the good client jar must survive untouched.
    for (const char *p : {"/libraries/", "/piston_data/", "/service/"})
        net->set_fault(p, Fault::WrongBytes);
    struct stat before {};
    ASSERT_EQ(stat(client.c_str(), &before), 0);
    EXPECT_EQ(install_version(std::nullopt, "1.20.1", std::nullopt), std::nullopt);
    EXPECT_TRUE(has_message("Клиент и библиотеки: 1 файлов не скачано"));
    EXPECT_TRUE(has_message("Ошибка установки Minecraft 1.20.1"));
    struct stat after {};
    ASSERT_EQ(stat(client.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(fs_read_all(lib), std::string("broken"));
    StrList leftovers;
    find_leftovers(env.tmp.path, leftovers);
    EXPECT_TRUE(leftovers.empty()) << leftovers[0];
}

TEST_F(InstallTest, AssetIndexIsReusedOnlyWhenItsHashMatches) {
    JsonPtr doc = served("1.20.1");
    ASSERT_TRUE(install_version(std::nullopt, "1.20.1", std::nullopt));
    const cJSON *ai = json_get(doc.get(), "assetIndex");
    std::string index_path = json_str(ai, "url").substr(net->base().size());
    std::string on_disk = datapaths().assets + "/indexes/5.json";

    struct Case {
        const char *what;
        bool damage;
        bool drop_sha1;
        int fetches;
    } cases[] = {
        {"intact", false, false, 0},
        {"damaged on disk", true, false, 1},
        {"no sha1 in the document", false, true, 1},
    };
    for (const Case &c : cases) {
        JsonPtr d(cJSON_Duplicate(doc.get(), 1));
        if (c.drop_sha1)
            cJSON_DeleteItemFromObjectCaseSensitive(json_get(d.get(), "assetIndex"), "sha1");
        if (c.damage) {
            JsonPtr other = json_parse(R"({"objects":{}})");
            ASSERT_EQ(json_write_file(on_disk, other.get()), 0);
        }
        net->reset_counters();
        JsonPtr got = install_asset_index(d.get());
        ASSERT_TRUE(got) << c.what;
        EXPECT_EQ(net->hits(index_path), c.fetches) << c.what;
        EXPECT_GT(cJSON_GetArraySize(json_get(got.get(), "objects")), 0) << c.what;
    }
}

TEST_F(InstallTest, LegacyVersionGetsItsVirtualTreeByHardLinks) {
    EXPECT_EQ(install_version(std::nullopt, "1.6.4", std::nullopt), "1.6.4");
    JsonPtr index = json_read_file(datapaths().assets + "/indexes/legacy.json");
    ASSERT_TRUE(index);
    EXPECT_TRUE(json_bool(index.get(), "virtual"));
    int nested = 0;
    const cJSON *obj = nullptr;
    cJSON_ArrayForEach(obj, json_get(index.get(), "objects")) {
        std::string name = obj->string;
        std::string virt = datapaths().assets + "/virtual/legacy/" + name;
        struct stat a {
        }, b{};
        ASSERT_EQ(stat(virt.c_str(), &a), 0) << name;
        ASSERT_EQ(stat(object_path(json_str(obj, "hash")).c_str(), &b), 0) << name;
        EXPECT_EQ(a.st_ino, b.st_ino) << name;
        nested += name.find('/') != std::string::npos;
    }
    EXPECT_GT(nested, 0);
    // No javaVersion: Java 8 comes from Temurin first.
    EXPECT_TRUE(fs_exists(datapaths().java + "/temurin-8/bin/java"));
    // Natives for this platform only.
    EXPECT_TRUE(
        fs_exists(datapaths().libraries +
                  "/org/lwjgl/lwjgl/lwjgl-platform/2.9.0/lwjgl-platform-2.9.0-natives-linux.jar"));
}

TEST_F(InstallTest, VirtualTreeKeepsExistingFilesAndRefusesEscapingNamesAndHashes) {
    const std::string hash = "aa11000000000000000000000000000000000000";
    std::vector<AssetLink> links = {
        {"a/b/c.txt", hash},
        {"../../escape.txt", hash},
        {"kept.txt", hash},
        // A hash is a path too: it must not climb out of the objects folder.
        {"climb.txt", "../../../../../etc/hostname"},
        {"short.txt", "aa11"},
    };
    fs_mkdirs(datapaths().assets + "/objects/aa");
    ASSERT_EQ(fs_write_atomic(object_path(hash), std::string("x")), 0);
    ASSERT_EQ(fs_write_atomic(datapaths().assets + "/virtual/v/kept.txt", std::string("mine")), 0);
    install_virtual_tree(links, "v");
    EXPECT_EQ(fs_read_all(datapaths().assets + "/virtual/v/a/b/c.txt"), std::string("x"));
    EXPECT_EQ(fs_read_all(datapaths().assets + "/virtual/v/kept.txt"), std::string("mine"));
    EXPECT_FALSE(fs_exists(datapaths().assets + "/escape.txt"));
    EXPECT_FALSE(fs_exists(datapaths().assets + "/virtual/escape.txt"));
    EXPECT_FALSE(fs_exists(datapaths().assets + "/virtual/v/climb.txt"));
    EXPECT_FALSE(fs_exists(datapaths().assets + "/virtual/v/short.txt"));
}

// A version document from a hostile mirror: a hash or a library path that
// climbs out of the data folder is never used as a path, and the install
// that had to leave such a file out fails instead of reporting success.
TEST_F(InstallTest, PathsFromAHostileDocumentNeverLeaveTheDataFolder) {
    std::string data = env.tmp.path + "/data";
    datapaths_set(data);
    setenv("ZYL_JAVA", "/bin/true", 1); // the runtime is not the point here
    std::string good = "an asset";
    std::string good_hash = sha1_hex(good.data(), good.size());
    net->serve("/resources/" + good_hash.substr(0, 2) + "/" + good_hash, good);
    std::string upper = good_hash;
    for (char &ch : upper)
        ch = static_cast<char>(toupper(ch));

    struct Case {
        const char *what;
        std::string index;   // the asset index served for the document
        std::string library; // a further library entry, or ""
        std::vector<std::string> messages;
    } cases[] = {
        {"asset hashes",
         R"({"objects":{"ok":{"hash":")" + good_hash +
             R"(","size":8},"evil":{"hash":"../../outside/newdir/h","size":1},)"
             R"("upper":{"hash":")" +
             upper + R"(","size":8}}})",
         "",
         {"Индекс ресурсов: 2 объектов пропущено, хеш не SHA-1 (например "
          "«../../outside/newdir/h»)",
          "Ресурсы (звуки, языки): 2 файлов не скачано", "Ошибка установки Minecraft hostile"}},
        {"library path",
         R"({"objects":{}})",
         R"({"name":"evil:lib:1","downloads":{"artifact":{"path":"../../outside/evil.jar",)"
         R"("url":")" +
             net->base() + R"(/libraries/evil.jar","sha1":"","size":3}}})",
         {"Библиотека evil:lib:1 пропущена: путь ../../outside/evil.jar выходит за папку "
          "библиотек",
          "Клиент и библиотеки: 1 файлов не скачано", "Ошибка установки Minecraft hostile"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        JsonPtr doc = served("1.20.1");
        cJSON *ai = json_get(doc.get(), "assetIndex");
        cJSON_ReplaceItemInObjectCaseSensitive(ai, "id", cJSON_CreateString("hostile"));
        cJSON_DeleteItemFromObjectCaseSensitive(ai, "sha1");
        std::string index_url = net->base() + "/resources/hostile-index.json";
        cJSON_ReplaceItemInObjectCaseSensitive(ai, "url", cJSON_CreateString(index_url.c_str()));
        net->serve("/resources/hostile-index.json", c.index);
        if (!c.library.empty())
            cJSON_AddItemToArray(json_get(doc.get(), "libraries"), json_parse(c.library).release());
        ASSERT_EQ(version_save("hostile", doc.get()), 0);
        size_t before = env.messages().size();

        EXPECT_EQ(install_version(std::nullopt, "hostile", std::nullopt), std::nullopt);
        std::vector<std::string> got = env.messages();
        for (const std::string &m : c.messages)
            EXPECT_NE(std::find(got.begin() + static_cast<long>(before), got.end(), m), got.end())
                << m;
        EXPECT_FALSE(fs_exists(env.tmp.path + "/outside"));
    }
    EXPECT_EQ(fs_read_all(object_path(good_hash)), good);
    unsetenv("ZYL_JAVA");
}

TEST_F(InstallTest, FailedClientDownloadStillProvisionsJava) {
    JsonPtr doc = served("1.20.1");
    std::string url = json_str(json_get(json_get(doc.get(), "downloads"), "client"), "url");
    net->set_fault(url.substr(net->base().size()), Fault::NotFound);
    net->set_fault("/service/v1/download", Fault::NotFound);
    EXPECT_EQ(install_version(std::nullopt, "1.20.1", std::nullopt), std::nullopt);
    EXPECT_TRUE(has_message("Клиент и библиотеки: 1 файлов не скачано"));
    EXPECT_TRUE(has_message("Ошибка установки Minecraft 1.20.1"));
    EXPECT_TRUE(fs_exists(datapaths().java + "/java-runtime-gamma/bin/java"));
    EXPECT_FALSE(fs_exists(datapaths().assets + "/indexes/5.json"));
}

// The caller learns why an install failed (the interface shows it in its
// status line) while the messages still go out as before.
TEST_F(InstallTest, FailureReasonsReachTheCaller) {
    JsonPtr doc = served("1.20.1");
    std::string client = json_str(json_get(json_get(doc.get(), "downloads"), "client"), "url");
    struct Case {
        const char *what;
        std::optional<std::string> loader;
        const char *mc;
        bool client_missing;
        bool cancelled;
        std::string reason;
        std::string last_message;
    } cases[] = {
        {"unknown loader", std::string("liteloader"), "1.20.1", false, false,
         "Неизвестный загрузчик", "Неизвестный загрузчик"},
        {"unknown version", std::nullopt, "9.9.9", false, false, "Версия 9.9.9 не найдена",
         "Ошибка установки Minecraft 9.9.9"},
        {"client missing", std::nullopt, "1.20.1", true, false,
         "Клиент и библиотеки: 1 файлов не скачано", "Ошибка установки Minecraft 1.20.1"},
        {"cancelled", std::nullopt, "1.20.1", false, true, "Операция отменена",
         "Ошибка установки Minecraft 1.20.1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        net->clear_faults();
        if (c.client_missing) {
            net->set_fault(client.substr(net->base().size()), Fault::NotFound);
            net->set_fault("/service/v1/download", Fault::NotFound);
        }
        Job job;
        job.cancel = c.cancelled;
        std::string err;
        EXPECT_EQ(install_version(c.loader, c.mc, std::nullopt, VerifyMode::HashAll, &job, &err),
                  std::nullopt);
        EXPECT_EQ(err, c.reason);
        ASSERT_FALSE(env.messages().empty());
        EXPECT_EQ(env.messages().back(), c.last_message);
    }
    StrList leftovers;
    find_leftovers(env.tmp.path, leftovers);
    EXPECT_TRUE(leftovers.empty());
}

TEST_F(InstallTest, UnknownLoaderFailsBeforeAnyNetworkAccess) {
    net->reset_counters();
    EXPECT_EQ(install_version(std::string("liteloader"), "1.20.1", std::nullopt), std::nullopt);
    EXPECT_TRUE(has_message("Неизвестный загрузчик"));
    EXPECT_EQ(net->total_hits(), 0);
}
