// "zyl install" as a user runs it, against the fake network: every file and
// the Java runtime arrive, a re-run downloads nothing, damage is repaired,
// legacy versions get their virtual asset tree, an unreachable content
// service falls back to the direct sources, and the failures exit with 1.
#include "base/digest.h"
#include "base/fs.h"
#include "base/json.h"
#include "config/datadir.h"
#include "fakenet/fakenet.h"
#include "fakenet/paths_env.h"
#include "fakenet/run_zyl.h"
#include "fakenet/world_mojang.h"
#include "game/libraries.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

int count_of(const std::string &text, const std::string &needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        n++;
    return n;
}

class InstallE2E : public ::testing::Test {
  protected:
    ZylRun install(const std::vector<std::string> &extra,
                   const std::vector<std::string> &unreachable = {}) {
        std::vector<std::string> args = {"--data-dir", dir.path, "install"};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_zyl(args, {{"ZYL_ENDPOINTS", net->endpoints_env(unreachable)},
                              {"ZYL_API", ""},
                              {"ZYL_JAVA", ""}});
    }

    // Every file the served document asks for on this platform, with its SHA-1.
    DownloadList expected_files(const std::string &id) {
        JsonPtr doc = json_parse(world_mojang_version(*net, id));
        DownloadList list;
        {
            ScopedDataPath libraries(&DataPaths::libraries, dir.path + "/libraries");
            libraries_collect(json_get(doc.get(), "libraries"), &list, nullptr, nullptr);
        }
        const cJSON *client = json_get(json_get(doc.get(), "downloads"), "client");
        list.push_back(
            {"", dir.path + "/versions/" + id + "/" + id + ".jar", json_str(client, "sha1"), 0});
        const cJSON *log = json_get(json_get(json_get(doc.get(), "logging"), "client"), "file");
        if (log)
            list.push_back({"", dir.path + "/assets/log_configs/" + json_str(log, "id"),
                            json_str(log, "sha1"), 0});
        std::string index_id = json_str(json_get(doc.get(), "assetIndex"), "id");
        JsonPtr index = json_read_file(dir.path + "/assets/indexes/" + index_id + ".json");
        EXPECT_TRUE(index) << index_id;
        const cJSON *obj = nullptr;
        cJSON_ArrayForEach(obj, json_get(index.get(), "objects")) {
            std::string h = json_str(obj, "hash");
            list.push_back({"", dir.path + "/assets/objects/" + h.substr(0, 2) + "/" + h, h, 0});
        }
        return list;
    }

    void expect_all_present(const std::string &id) {
        DownloadList files = expected_files(id);
        EXPECT_GT(files.size(), 5u);
        for (const DownloadItem &f : files) {
            std::string sha;
            EXPECT_EQ(file_sha1_hex(f.path, sha), 0) << f.path;
            if (!f.sha1.empty()) {
                EXPECT_EQ(sha, f.sha1) << f.path;
            }
        }
    }

    FakeNetPtr net = fakenet_start();
    TempDir dir;
};

} // namespace

TEST_F(InstallE2E, ModernVersionInstallsRepairsAndReRunsWithoutDownloads) {
    ZylRun r = install({"1.20.1"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(installed_line(r.out), "Установлено: 1.20.1\n");
    EXPECT_NE(r.out.find(" файлов, "), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("Minecraft 1.20.1: клиент, библиотеки, ресурсы"), std::string::npos);
    // A log gets plain lines: no carriage returns or terminal sequences.
    EXPECT_EQ(r.err.find_first_of("\r\033"), std::string::npos) << r.err;
    expect_all_present("1.20.1");
    std::string java = dir.path + "/java/java-runtime-gamma/bin/java";
    EXPECT_EQ(access(java.c_str(), X_OK), 0);
    EXPECT_EQ(system(("'" + java + "' -version >/dev/null 2>&1").c_str()), 0);

    net->reset_counters();
    r = install({"1.20.1"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Установлено: 1.20.1 — всё на месте, ничего не скачано (", 0), 0u) << r.out;
    EXPECT_EQ(net->total_hits(), 0) << "a re-run of an installed version downloaded something";

    // A damaged library and a missing asset object come back.
    DownloadList files = expected_files("1.20.1");
    std::string lib = dir.path + "/libraries/com/mojang/logging/1.1.1/logging-1.1.1.jar";
    std::optional<std::string> good = fs_read_all(lib);
    ASSERT_EQ(fs_write_atomic(lib, std::string("damaged")), 0);
    fs_delete(files.back().path);
    r = install({"1.20.1"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(fs_read_all(lib), good);
    expect_all_present("1.20.1");
}

TEST_F(InstallE2E, LegacyVersionsBuildTheirVirtualAssetTree) {
    struct Case {
        const char *id;
        const char *index;
    } cases[] = {{"1.6.4", "legacy"}, {"b1.7.3", "pre-1.6"}};
    for (const Case &c : cases) {
        ZylRun r = install({c.id});
        ASSERT_EQ(r.code, 0) << c.id << "\n" << r.err;
        EXPECT_EQ(installed_line(r.out), "Установлено: " + std::string(c.id) + "\n");
        expect_all_present(c.id);
        JsonPtr index = json_read_file(dir.path + "/assets/indexes/" + c.index + ".json");
        ASSERT_TRUE(index) << c.id;
        const cJSON *obj = nullptr;
        int linked = 0;
        cJSON_ArrayForEach(obj, json_get(index.get(), "objects")) {
            std::string h = json_str(obj, "hash");
            struct stat v {
            }, o{};
            ASSERT_EQ(
                stat((dir.path + "/assets/virtual/" + c.index + "/" + obj->string).c_str(), &v), 0)
                << c.id << " " << obj->string;
            ASSERT_EQ(stat((dir.path + "/assets/objects/" + h.substr(0, 2) + "/" + h).c_str(), &o),
                      0);
            EXPECT_EQ(v.st_ino, o.st_ino) << "not a hard link: " << obj->string;
            linked++;
        }
        EXPECT_GT(linked, 0) << c.id;
    }
    // Neither version names a Java: Temurin 8 is provisioned.
    EXPECT_TRUE(fs_exists(dir.path + "/java/temurin-8/bin/java"));
}

TEST_F(InstallE2E, UnreachableServiceFallsBackToDirectSourcesWithOneNotice) {
    ZylRun r = install({"1.20.1"}, {"service"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(installed_line(r.out), "Установлено: 1.20.1\n");
    EXPECT_EQ(count_of(r.err, "недоступен ("), 1) << r.err;
    EXPECT_NE(r.err.find("— использую прямые адреса"), std::string::npos);
    expect_all_present("1.20.1");
    EXPECT_TRUE(fs_exists(dir.path + "/java/java-runtime-gamma/bin/java"));
}

// A full disk (here a file size limit) is told once, with the file and the
// system's reason, and ends the download batch instead of failing every file
// in turn as if the network were at fault.
TEST_F(InstallE2E, AFullDiskIsToldOnceAndEndsTheInstall) {
    ZylRun r = run_zyl({"--data-dir", dir.path, "install", "1.20.1"},
                       {{"ZYL_ENDPOINTS", net->endpoints_env()}, {"ZYL_API", ""}, {"ZYL_JAVA", ""}},
                       "", 1024);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(count_of(r.err, "Не удалось записать " + dir.path + "/"), 1) << r.err;
    EXPECT_EQ(count_of(r.err, ": Файл слишком велик\n"), 1) << r.err;
    EXPECT_EQ(count_of(r.err, "Не удалось скачать"), 0) << r.err;
    EXPECT_NE(r.err.find("Установка не удалась\n"), std::string::npos);
}

TEST_F(InstallE2E, FailuresExitWithOne) {
    ZylRun r = install({"9.99.9"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Версия 9.99.9 не найдена"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Установка не удалась\n"), std::string::npos);

    net->reset_counters();
    r = install({"1.20.1", "--loader", "liteloader"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Неизвестный загрузчик"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Установка не удалась\n"), std::string::npos);
    EXPECT_EQ(net->total_hits(), 0) << "an unknown loader reached the network";

    r = install({});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.out.find("zyl install <mcver>"), std::string::npos);
}

// Without the version list the launcher cannot tell whether a version exists:
// it says the list could not be fetched and why, in Russian with libcurl's
// or the server's own words kept.
TEST_F(InstallE2E, NoVersionListNamesTheCause) {
    struct Case {
        const char *what;
        std::vector<std::string> down;
        Fault fault;
        const char *why;
    } cases[] = {
        {"network down", {"service", "piston_meta"}, Fault::None,
         "не удалось подключиться к серверу (Couldn't connect to server)"},
        {"manifest gone", {"service"}, Fault::NotFound, "файл не найден на сервере (HTTP 404)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        net->set_fault("/piston_meta/mc/game/version_manifest_v2.json", c.fault);
        ZylRun r = install({"1.20.1"}, c.down);
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find(std::string("Не удалось получить список версий Minecraft: ") + c.why +
                             " — версия 1.20.1 не проверена\n"),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find(std::string("HTTP: ") + c.why), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("не найдена"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("HTTP response code said error"), std::string::npos) << r.err;
    }
}
