#include "content/update.h"

#include "base/fs.h"
#include "content/content_test_env.h"
#include "content/install.h"
#include "fakenet/net_test_env.h"
#include "fakenet/world_update.h"
#include "instances/content.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

const char *const k_api_jar = "fabric-api-0.92.2+1.20.1.jar";

class ContentUpdate : public testing::Test {
  protected:
    NetTestEnv env;
    Instance inst;
    void SetUp() override {
        datapaths_set(env.tmp.path);
        inst.folder = inst.name = "Fab";
        inst.mc = "1.20.1";
        inst.loader = "Fabric";
        inst.loader_version = "0.15.11";
        inst.version_id = "fabric-loader-0.15.11-1.20.1";
        ASSERT_EQ(instance_save(inst), 0);
        std::string msg;
        ASSERT_EQ(install_content(ContentSource::Modrinth, std::nullopt, "P7dR8mSH", inst,
                                  std::nullopt, &msg),
                  0)
            << msg;
        ASSERT_TRUE(fs_exists(mods(k_api_jar)));
    }
    std::string mods(const std::string &name) { return instance_dir(inst) + "/mods/" + name; }
};

TEST_F(ContentUpdate, NewerFileReplacesTheOld) {
    std::string bytes =
        world_update_offer(*env.net, "modrinth", "P7dR8mSH", {"fabric-api-0.92.3+1.20.1.jar"});
    std::string msg;
    ASSERT_EQ(content_update(inst, k_api_jar, std::nullopt, &msg), 0) << msg;
    EXPECT_EQ(msg, "Обновлено: Fabric API 0.92.2+1.20.1 → 2");
    EXPECT_FALSE(fs_exists(mods(k_api_jar)));
    EXPECT_FALSE(fs_exists(content_backup_path(mods(k_api_jar))));
    EXPECT_EQ(fs_read_all(mods("fabric-api-0.92.3+1.20.1.jar")).value_or(""), bytes);
    auto rec = content_find_file(inst, "fabric-api-0.92.3+1.20.1.jar");
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->project, "P7dR8mSH");
    EXPECT_EQ(rec->title, "Fabric API");
    EXPECT_FALSE(content_find_file(inst, k_api_jar));

    // The same name again: downloaded into place while the old one waits aside.
    bytes = world_update_offer(*env.net, "modrinth", "P7dR8mSH",
                               {"fabric-api-0.92.3+1.20.1.jar", "1.20.1", "fabric", "3"});
    ASSERT_EQ(content_update(inst, "fabric-api-0.92.3+1.20.1.jar", std::nullopt, &msg), 0) << msg;
    EXPECT_EQ(fs_read_all(mods("fabric-api-0.92.3+1.20.1.jar")).value_or(""), bytes);
    EXPECT_FALSE(fs_exists(content_backup_path(mods("fabric-api-0.92.3+1.20.1.jar"))));
    EXPECT_EQ(content_list_files(inst).size(), 1u);
}

// What the reinstall had to say (here: a dependency whose author forbids
// other launchers) is kept below the update's own line.
TEST_F(ContentUpdate, ReinstallNoteFollowsTheUpdateLine) {
    UpdateOffer o{"fabric-api-0.92.3+1.20.1.jar"};
    o.required = {"curseforge:238222"};
    world_update_offer(*env.net, "modrinth", "P7dR8mSH", o);
    std::string msg;
    ASSERT_EQ(content_update(inst, k_api_jar, std::nullopt, &msg), 0) << msg;
    EXPECT_EQ(msg.find("Обновлено: Fabric API 0.92.2+1.20.1 → 2\nНужна ручная загрузка:\n"), 0u)
        << msg;
    EXPECT_NE(msg.find("• Just Enough Items (JEI) — скачайте вручную: "), std::string::npos) << msg;
    EXPECT_TRUE(fs_exists(mods("fabric-api-0.92.3+1.20.1.jar")));
}

// Whatever makes the reinstall fail, the old file and its whole record come back.
TEST_F(ContentUpdate, FailureBringsTheOldFileAndRecordBack) {
    std::string old_bytes = fs_read_all(mods(k_api_jar)).value_or("");
    ContentRecord before = *content_find_file(inst, k_api_jar);
    struct Case {
        const char *what;
        std::function<void()> arrange;
        int rc;
        const char *msg_start;
    } cases[] = {
        {"service error",
         [&] { env.net->set_fault("/service/v1/modrinth/P7dR8mSH/files", Fault::ServerError); }, -1,
         "API: HTTP 500"},
        {"no file for the version",
         [&] {
             env.net->clear_faults();
             world_update_offer(*env.net, "modrinth", "P7dR8mSH", {"x.jar", "1.19.2"});
         },
         -1, "У «Fabric API» нет файлов для Minecraft 1.20.1"},
        {"manual download",
         [&] {
             UpdateOffer o{"fabric-api-9.jar"};
             o.forbidden = true;
             world_update_offer(*env.net, "modrinth", "P7dR8mSH", o);
         },
         -2, "Автор запретил автоматическое скачивание:"},
    };
    for (const Case &c : cases) {
        c.arrange();
        std::string msg;
        EXPECT_EQ(content_update(inst, k_api_jar, std::nullopt, &msg), c.rc) << c.what;
        EXPECT_EQ(msg.find(c.msg_start), 0u) << c.what << ": " << msg;
        EXPECT_EQ(fs_read_all(mods(k_api_jar)).value_or(""), old_bytes) << c.what;
        EXPECT_FALSE(fs_exists(content_backup_path(mods(k_api_jar)))) << c.what;
        auto rec = content_find_file(inst, k_api_jar);
        ASSERT_TRUE(rec) << c.what;
        EXPECT_EQ(rec->source, before.source);
        EXPECT_EQ(rec->project, before.project);
        EXPECT_EQ(rec->title, before.title);
        EXPECT_EQ(rec->file, before.file);
        EXPECT_EQ(rec->sha1, before.sha1);
        EXPECT_EQ(content_list_files(inst).size(), 1u) << c.what;
    }
}

TEST_F(ContentUpdate, OnlyFilesFromASourceCanBeUpdated) {
    ASSERT_EQ(fs_write_atomic(mods("own.jar"), "mine"), 0);
    ASSERT_EQ(fs_write_atomic(mods("packed.jar"), "pack"), 0);
    content_put(inst, content_record("modpack", "packed.jar", "", "packed.jar", "", "packed.jar",
                                     ContentType::Mod));
    for (const char *name : {"own.jar", "packed.jar", "missing.jar"}) {
        std::string msg;
        EXPECT_EQ(content_update(inst, name, std::nullopt, &msg), -1);
        EXPECT_EQ(msg, std::string("«") + name + "» установлен вручную — обновить нельзя");
    }
    EXPECT_EQ(fs_read_all(mods("own.jar")).value_or(""), "mine");
    EXPECT_TRUE(content_find_file(inst, "packed.jar"));
}

// A data pack's file is not in mods: a mod that happens to share its name is
// neither set aside nor deleted by the data pack's update.
TEST_F(ContentUpdate, DataPackUpdateLeavesTheModsFolderAlone) {
    fs_mkdirs(instance_dir(inst) + "/saves/W");
    ASSERT_EQ(fs_write_atomic(instance_dir(inst) + "/saves/W/level.dat", "nbt"), 0);
    std::string msg;
    ASSERT_EQ(install_content(ContentSource::CurseForge, std::nullopt, "600001", inst, std::nullopt,
                              &msg),
              0)
        << msg;
    const std::string name = "Terralith_1.20.1_v2.4.5.zip";
    ASSERT_TRUE(content_find_file(inst, name));
    ASSERT_EQ(fs_write_atomic(mods(name), "a mod of the same name"), 0);
    ASSERT_EQ(content_update(inst, name, std::nullopt, &msg), 0) << msg;
    EXPECT_EQ(fs_read_all(mods(name)).value_or(""), "a mod of the same name");
    EXPECT_TRUE(fs_exists(instance_dir(inst) + "/saves/W/datapacks/" + name));
}

// The newest file installed already: said so, and nothing is downloaded.
TEST_F(ContentUpdate, NewestFileAlreadyInstalledFetchesNothing) {
    int downloads = env.net->hits_under("/cdn/");
    std::string msg;
    ASSERT_EQ(content_update(inst, k_api_jar, std::nullopt, &msg), 0) << msg;
    EXPECT_EQ(msg, "«Fabric API» 0.92.2+1.20.1 — уже последняя версия");
    EXPECT_EQ(env.net->hits_under("/cdn/"), downloads);
    EXPECT_TRUE(fs_exists(mods(k_api_jar)));
    EXPECT_FALSE(fs_exists(content_backup_path(mods(k_api_jar))));

    // A beta the player picked is newer than the newest release: it stays.
    ASSERT_EQ(install_content(ContentSource::Modrinth, std::nullopt, "sodium", inst, std::nullopt,
                              &msg, nullptr, "Sb4Beta1"),
              0)
        << msg;
    const std::string beta = "sodium-fabric-mc1.20.1-0.5.4-beta.1.jar";
    ASSERT_EQ(content_update(inst, beta, std::nullopt, &msg), 0) << msg;
    EXPECT_EQ(msg, "«Sodium» mc1.20.1-0.5.4-beta.1 (бета) — уже последняя версия");
    std::vector<OutdatedItem> items;
    ASSERT_EQ(content_outdated(inst, items, &msg), 0) << msg;
    EXPECT_TRUE(items.empty());
}

// The check asks each source once for all its projects; "update all"
// updates what it found; a file switched off is left alone by both.
TEST_F(ContentUpdate, CheckOncePerSourceAndUpdateAllButWhatIsOff) {
    std::string msg;
    ASSERT_EQ(install_content(ContentSource::Modrinth, std::nullopt, "sodium-extra", inst,
                              std::nullopt, &msg),
              0)
        << msg;
    ASSERT_EQ(install_content(ContentSource::CurseForge, std::nullopt, "521001", inst,
                              std::nullopt, &msg),
              0)
        << msg;
    world_update_offer(*env.net, "modrinth", "P7dR8mSH", {"fabric-api-0.92.3+1.20.1.jar"});
    UpdateOffer beta{"sodium-extra-0.6.0-beta.jar"};
    beta.channel = "beta";
    world_update_offer(*env.net, "modrinth", "PtjYWJkn", beta);
    world_update_offer(*env.net, "curseforge", "306612", {"fabric-api-cf-0.93.jar"});
    const std::string extra = "sodium-extra-0.5.1+mc1.20.1.jar";
    ASSERT_EQ(content_set_enabled(inst, "fabric-api-0.92.2+1.20.1-cf.jar", false, &msg), 0);

    int file_lists = env.net->hits_under("/service/v1/modrinth/P7dR8mSH/files");
    std::vector<OutdatedItem> items;
    ASSERT_EQ(content_outdated(inst, items, &msg), 0) << msg;
    EXPECT_EQ(env.net->hits("/service/v1/modrinth/updates"), 1);
    EXPECT_EQ(env.net->hits("/service/v1/curseforge/updates"), 1);
    EXPECT_EQ(env.net->hits_under("/service/v1/modrinth/P7dR8mSH/files"), file_lists);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].filename, k_api_jar);
    EXPECT_EQ(items[0].current, "0.92.2+1.20.1");
    EXPECT_EQ(items[0].latest.version, "2");
    EXPECT_EQ(items[1].filename, extra); // a newer beta counts when it is all there is
    EXPECT_EQ(items[1].latest.channel, ContentChannel::Beta);

    EXPECT_EQ(content_update(inst, "fabric-api-0.92.2+1.20.1-cf.jar.disabled", std::nullopt, &msg),
              -1);
    EXPECT_EQ(msg, "«Fabric API (CurseForge)» отключён — включите его, чтобы обновить");

    ASSERT_EQ(content_update_all(inst, &msg), 0) << msg;
    EXPECT_EQ(msg, "Обновлено: Fabric API 0.92.2+1.20.1 → 2\n"
                   "Обновлено: Sodium Extra 0.5.1 → 2 (бета)\n"
                   "Обновлено файлов: 2");
    EXPECT_TRUE(fs_exists(mods("fabric-api-0.92.3+1.20.1.jar")));
    EXPECT_TRUE(fs_exists(mods("sodium-extra-0.6.0-beta.jar")));
    EXPECT_TRUE(fs_exists(mods("fabric-api-0.92.2+1.20.1-cf.jar.disabled")));
    ASSERT_EQ(content_update_all(inst, &msg), 0) << msg;
    EXPECT_EQ(msg, "Обновлений нет — всё последних версий");
}

// Unreachable service: each project is asked straight at its source.
TEST(ContentUpdateCheck, EachProjectDirectlyWhenTheServiceIsDown) {
    InstanceEnv f({"service"});
    std::string msg;
    ASSERT_EQ(install_content(ContentSource::Modrinth, std::nullopt, "P7dR8mSH", f.inst,
                              std::nullopt, &msg),
              0)
        << msg;
    std::vector<OutdatedItem> items;
    ASSERT_EQ(content_outdated(f.inst, items, &msg), 0) << msg;
    EXPECT_TRUE(items.empty());
    f.env.net->serve(
        "/modrinth_api/v2/project/P7dR8mSH/version",
        R"([{"id":"NewV","version_number":"0.93","version_type":"release","files":[)"
        R"({"filename":"fabric-api-0.93.jar","url":"x","primary":true,"hashes":{"sha1":"00"}}]},)"
        R"({"id":"P7uGFii0","version_number":"0.92.2+1.20.1","version_type":"release","files":[]}])");
    ASSERT_EQ(content_outdated(f.inst, items, &msg), 0) << msg;
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].latest.id, "NewV");
}

} // namespace
