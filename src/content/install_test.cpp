#include "content/install.h"

#include "base/digest.h"
#include "base/fs.h"
#include "content/content_test_env.h"
#include "content/install_direct.h"
#include "fakenet/world_mojang.h"
#include "instances/content.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

struct InstallFixture : InstanceEnv {
    using InstanceEnv::InstanceEnv;
    std::string dir() const { return instance_dir(inst); }
    int add(ContentSource src, std::optional<ContentType> type, const std::string &id,
            std::string *msg, const std::optional<std::string> &world = std::nullopt) {
        return install_content(src, type, id, inst, world, msg);
    }
    StrList projects() {
        StrList out;
        JsonPtr arr = content_load(inst);
        const cJSON *e;
        cJSON_ArrayForEach(e, arr.get()) out.push_back(json_str(e, "project"));
        return out;
    }
    // A project of the service's own answers: one file, its dependencies.
    void serve_project(const std::string &id, const std::string &files_json, int cls = 6) {
        env.net->serve("/service/v1/modrinth/" + id,
                       format_alloc(R"({"id":"%s","name":"Title %s","class":%d})", id.c_str(),
                                    id.c_str(), cls));
        env.net->serve("/service/v1/modrinth/" + id + "/files", files_json);
    }
    std::string file_json(const std::string &id, const std::string &filename,
                          const std::string &extra = R"("mc":["1.20.1"],"loaders":["fabric"])",
                          const std::string &deps = "[]") {
        std::string bytes = world_zip({{"fabric.mod.json", "{\"id\":\"" + id + "\"}"}});
        env.net->serve("/cdn/test/" + id + ".jar", bytes);
        return format_alloc(R"({"id":"v-%s","filename":"%s","url":"%s/cdn/test/%s.jar",)"
                            R"("sha1":"%s",%s,"dependencies":%s})",
                            id.c_str(), filename.c_str(), env.net->base().c_str(), id.c_str(),
                            sha1_hex(bytes.data(), bytes.size()).c_str(), extra.c_str(),
                            deps.c_str());
    }
};

} // namespace

TEST(Install, ModAndRequiredDependencyThroughTheService) {
    InstallFixture f;
    std::string msg;
    ASSERT_EQ(f.add(ContentSource::Modrinth, std::nullopt, "sodium", &msg), 0) << msg;
    EXPECT_EQ(msg, "");
    EXPECT_TRUE(fs_exists(f.dir() + "/mods/sodium-fabric-mc1.20.1-0.5.3+build.16.jar"));
    EXPECT_TRUE(fs_exists(f.dir() + "/mods/fabric-api-0.92.2+1.20.1.jar"));
    EXPECT_EQ(f.projects(), (StrList{"AANobbMI", "P7dR8mSH"}));
    auto rec = content_find_file(f.inst, "sodium-fabric-mc1.20.1-0.5.3+build.16.jar");
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->file, "Yp8wLY1P");
    EXPECT_EQ(rec->title, "Sodium");
    EXPECT_EQ(rec->sha1.size(), 40u);
    EXPECT_EQ(f.env.count_messages("  зависимость: Скачиваю Fabric API → fabric-api"), 1);
    EXPECT_EQ(f.env.count_messages("  «Fabric API» установлен в «Pack»"), 1);
    EXPECT_EQ(f.env.count_messages("«Sodium» установлен в «Pack»"), 1);

    // A second run finds it installed; a run for its dependent finds the dependency installed.
    ASSERT_EQ(f.add(ContentSource::Modrinth, std::nullopt, "AANobbMI", &msg), 0);
    EXPECT_EQ(f.env.count_messages("Sodium уже установлен"), 1);
    ASSERT_EQ(f.add(ContentSource::Modrinth, std::nullopt, "sodium-extra", &msg), 0);
    EXPECT_EQ(f.env.count_messages("  зависимость Sodium уже установлен"), 1);
}

TEST(Install, DependencyCycleEndsAfterEachProjectOnce) {
    InstallFixture f;
    std::string msg;
    ASSERT_EQ(f.add(ContentSource::Modrinth, std::nullopt, "cycle-a", &msg), 0) << msg;
    EXPECT_EQ(f.projects(), (StrList{"CycA0001", "CycB0002"}));
    EXPECT_EQ(f.env.net->hits("/service/v1/modrinth/CycA0001"), 0); // asked by slug first
    EXPECT_EQ(f.env.net->hits("/service/v1/modrinth/cycle-a"), 1);
    EXPECT_EQ(f.env.net->hits("/service/v1/modrinth/CycB0002"), 1);

    // A project that requires itself.
    f.serve_project("selfish", R"({"files":[)" +
                                   f.file_json("selfish", "selfish.jar",
                                               R"("mc":["1.20.1"],"loaders":["fabric"])",
                                               R"([{"type":"required","id":"selfish"}])") +
                                   "]}");
    ASSERT_EQ(f.add(ContentSource::Modrinth, std::nullopt, "selfish", &msg), 0) << msg;
    EXPECT_EQ(f.env.net->hits("/service/v1/modrinth/selfish"), 1);
}

TEST(Install, DependenciesFollowedToDepthNine) {
    InstallFixture f;
    for (int i = 0; i <= 10; i++) {
        std::string id = "chain" + std::to_string(i);
        std::string deps = format_alloc(R"([{"type":"required","id":"chain%d"}])", i + 1);
        f.serve_project(
            id, R"({"files":[)" +
                    f.file_json(id, id + ".jar", R"("mc":["1.20.1"],"loaders":["fabric"])", deps) +
                    "]}");
    }
    std::string msg;
    ASSERT_EQ(f.add(ContentSource::Modrinth, std::nullopt, "chain0", &msg), 0) << msg;
    EXPECT_EQ(f.projects().size(), 10u);
    EXPECT_TRUE(fs_exists(f.dir() + "/mods/chain9.jar"));
    EXPECT_FALSE(fs_exists(f.dir() + "/mods/chain10.jar"));
    EXPECT_EQ(f.env.net->hits("/service/v1/modrinth/chain10"), 0);
}

// A server inventing a tree of required dependencies gets a few hundred
// requests for it, not one for each, through the service and straight from
// Modrinth alike (one count for the whole walk, not one per project); the
// walk's end is said once, naming the project that led there.
TEST(Install, DependencyWalkStopsAfterABound) {
    for (bool service_down : {false, true}) {
        SCOPED_TRACE(service_down ? "direct" : "service");
        InstallFixture f(service_down ? std::vector<std::string>{"service"}
                                      : std::vector<std::string>{});
        // "many" needs 20 projects, each of which needs 20 that do not exist.
        StrList projects = {"many"};
        auto serve = [&](const std::string &id, const StrList &needs) {
            std::string deps, direct_deps;
            for (const std::string &n : needs) {
                deps += format_alloc(R"(%s{"type":"required","id":"%s"})", deps.empty() ? "" : ",",
                                     n.c_str());
                direct_deps += format_alloc(R"(%s{"project_id":"%s","dependency_type":"required"})",
                                            direct_deps.empty() ? "" : ",", n.c_str());
            }
            std::string file = f.file_json(
                id, id + ".jar", R"("mc":["1.20.1"],"loaders":["fabric"])", "[" + deps + "]");
            f.serve_project(id, R"({"files":[)" + file + "]}");
            JsonPtr j = json_parse(file);
            f.env.net->serve("/modrinth_api/v2/project/" + id,
                             format_alloc(R"({"id":"%s","title":"Title %s","project_type":"mod"})",
                                          id.c_str(), id.c_str()));
            f.env.net->serve(
                "/modrinth_api/v2/project/" + id + "/version",
                format_alloc(R"([{"id":"v","version_type":"release","version_number":"1",)"
                             R"("files":[{"filename":"%s.jar","url":"%s","hashes":{"sha1":"%s"}}],)"
                             R"("dependencies":[%s]}])",
                             id.c_str(), json_str(j.get(), "url").c_str(),
                             json_str(j.get(), "sha1").c_str(), direct_deps.c_str()));
        };
        StrList middle;
        for (int i = 0; i < 20; i++) {
            StrList ghosts;
            for (int k = 0; k < 20; k++)
                ghosts.push_back(format_alloc("ghost%d-%d", i, k));
            middle.push_back(format_alloc("mid%d", i));
            serve(middle.back(), ghosts);
            projects.insert(projects.end(), ghosts.begin(), ghosts.end());
        }
        serve("many", middle);
        projects.insert(projects.end(), middle.begin(), middle.end());

        std::string msg;
        ASSERT_EQ(f.add(ContentSource::Modrinth, std::nullopt, "many", &msg), 0) << msg;
        EXPECT_TRUE(fs_exists(f.dir() + "/mods/many.jar"));
        int asked = 0;
        for (const std::string &p : projects)
            asked += f.env.net->hits(
                (service_down ? "/modrinth_api/v2/project/" : "/service/v1/modrinth/") + p);
        EXPECT_EQ(asked, 1 + k_install_max_dependencies);
        EXPECT_EQ(f.env.count_messages("Зависимостей больше 300 — остальные зависимости «Title "),
                  1);
    }
}

TEST(Install, FileChoiceInTwoPasses) {
    struct Case {
        const char *loader;
        std::vector<std::pair<const char *, const char *>> files; // filename, mc/loaders json
        const char *chosen;                                       // none: no file fits
    } cases[] = {
        {"Fabric",
         {{"forge.jar", R"("mc":["1.20.1"],"loaders":["forge"])"},
          {"nomc.jar", R"("loaders":["fabric"])"},
          {"fit.jar", R"("mc":["1.20.1"],"loaders":["FABRIC"])"}},
         "fit.jar"},
        {"Fabric",
         {{"other.jar", R"("mc":["1.20"],"loaders":["fabric"])"},
          {"emptymc.jar", R"("mc":[],"loaders":["fabric"])"}},
         "emptymc.jar"},
        // Quilt passes every loader test: the first file for the version.
        {"Quilt",
         {{"old.jar", R"("mc":["1.19"],"loaders":["quilt"])"},
          {"forge.jar", R"("mc":["1.20.1"],"loaders":["forge"])"}},
         "forge.jar"},
        // The version must match exactly.
        {"Fabric", {{"prefix.jar", R"("mc":["1.20.10"],"loaders":["fabric"])"}}, nullptr},
        // The newest release, not a newer beta listed first.
        {"Fabric",
         {{"0.5.4-beta.1.jar", R"("mc":["1.20.1"],"loaders":["fabric"],"channel":"beta")"},
          {"0.5.3.jar", R"("mc":["1.20.1"],"loaders":["fabric"],"channel":"release")"}},
         "0.5.3.jar"},
        {"Fabric",
         {{"alpha.jar", R"("mc":["1.20.1"],"loaders":["fabric"],"channel":"alpha")"},
          {"beta.jar", R"("mc":["1.20.1"],"loaders":["fabric"],"channel":"beta")"}},
         "alpha.jar"},
    };
    for (const Case &c : cases) {
        InstallFixture f({}, c.loader);
        std::string files = R"({"files":[)";
        int n = 0;
        for (const auto &[name, extra] : c.files) {
            files += (n ? "," : "") + f.file_json("p" + std::to_string(n), name, extra);
            n++;
        }
        f.serve_project("picky", files + "]}");
        std::string msg;
        int rc = f.add(ContentSource::Modrinth, std::nullopt, "picky", &msg);
        if (!c.chosen) {
            EXPECT_EQ(rc, -1);
            EXPECT_EQ(msg,
                      std::string("У «Title picky» нет файлов для Minecraft 1.20.1 + ") + c.loader);
            continue;
        }
        ASSERT_EQ(rc, 0) << msg;
        auto listed = content_list_files(f.inst);
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(listed[0].filename, c.chosen);
    }
}

// A picked version replaces the project's file once it is complete; the
// same file again fetches nothing; a version not offered changes nothing.
TEST(Install, PickedVersionReplacesTheInstalledFile) {
    InstallFixture f;
    const std::string release = "sodium-fabric-mc1.20.1-0.5.3+build.16.jar";
    const std::string beta = "sodium-fabric-mc1.20.1-0.5.4-beta.1.jar";
    const std::string api = "fabric-api-0.92.2+1.20.1.jar";
    auto mods = [&] { return *dir_list(f.dir() + "/mods"); };
    auto sorted = [](StrList l) {
        std::sort(l.begin(), l.end());
        return l;
    };
    std::string msg;
    ASSERT_EQ(f.add(ContentSource::Modrinth, std::nullopt, "sodium", &msg), 0) << msg;
    EXPECT_EQ(sorted(mods()), (StrList{api, release}));

    ASSERT_EQ(install_content(ContentSource::Modrinth, std::nullopt, "sodium", f.inst, std::nullopt,
                              &msg, nullptr, "mc1.20.1-0.5.4-beta.1"),
              0)
        << msg;
    EXPECT_EQ(sorted(mods()), (StrList{api, beta}));
    auto rec = content_find_file(f.inst, beta);
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->file, "Sb4Beta1");
    EXPECT_EQ(rec->version, "mc1.20.1-0.5.4-beta.1");
    EXPECT_EQ(rec->channel, ContentChannel::Beta);
    EXPECT_EQ(rec->required, StrList{"modrinth:P7dR8mSH"});

    const std::string sodium_cdn = "/cdn/modrinth/data/AANobbMI/";
    int fetched = f.env.net->hits_under(sodium_cdn);
    ASSERT_EQ(install_content(ContentSource::Modrinth, std::nullopt, "sodium", f.inst, std::nullopt,
                              &msg, nullptr, "Sb4Beta1"),
              0);
    EXPECT_EQ(f.env.net->hits_under(sodium_cdn), fetched);
    EXPECT_EQ(f.env.count_messages("«Sodium» mc1.20.1-0.5.4-beta.1 (бета) уже установлен"), 1);

    EXPECT_EQ(install_content(ContentSource::Modrinth, std::nullopt, "sodium", f.inst, std::nullopt,
                              &msg, nullptr, "9.9.9"),
              -1);
    EXPECT_EQ(msg, "У «Sodium» нет совместимой версии «9.9.9» для Minecraft 1.20.1");
    EXPECT_EQ(sorted(mods()), (StrList{api, beta}));

    // Switched off, then the release picked: one file again, switched on.
    ASSERT_EQ(content_set_enabled(f.inst, beta, false, &msg), 0) << msg;
    ASSERT_EQ(install_content(ContentSource::Modrinth, std::nullopt, "sodium", f.inst, std::nullopt,
                              &msg, nullptr, "Yp8wLY1P"),
              0)
        << msg;
    EXPECT_EQ(sorted(mods()), (StrList{api, release}));
}

TEST(Install, TypeComesFromTheClassUnlessTheUserChose) {
    InstallFixture f;
    std::string msg;
    // An explicit resource pack wins over the class and drops the loader filter.
    ASSERT_EQ(f.add(ContentSource::Modrinth, ContentType::ResourcePack, "fabric-api", &msg), 0)
        << msg;
    EXPECT_TRUE(fs_exists(f.dir() + "/resourcepacks/fabric-api-0.92.2+1.20.1.jar"));
    // The class string decides for a type left open.
    ASSERT_EQ(f.add(ContentSource::Modrinth, std::nullopt, "complementary-reimagined", &msg), 0)
        << msg;
    EXPECT_TRUE(fs_exists(f.dir() + "/shaderpacks/ComplementaryReimagined_r5.1.1.zip"));
    // A mod asked for as type mod (0) still follows its class.
    ASSERT_EQ(f.add(ContentSource::Modrinth, ContentType::Mod, "faithful-32x", &msg), 0) << msg;
    EXPECT_TRUE(fs_exists(f.dir() + "/resourcepacks/Faithful-32x-1.20.1.zip"));

    f.serve_project("somepack", R"({"files":[]})", 4471);
    EXPECT_EQ(f.add(ContentSource::Modrinth, std::nullopt, "somepack", &msg), -1);
    EXPECT_EQ(msg, "«Title somepack» — модпак: используйте «zyl modpack modrinth:somepack» / "
                   "кнопку «Создать сборку»");
}

TEST(Install, CurseForgeSlugResolvedThroughEveryTypeSearch) {
    InstallFixture f;
    std::string msg;
    fs_mkdirs(f.dir() + "/saves/Only/region");
    fs_write_atomic(f.dir() + "/saves/Only/level.dat", "nbt");
    ASSERT_EQ(f.add(ContentSource::CurseForge, std::nullopt, "terralith-datapack", &msg), 0) << msg;
    EXPECT_TRUE(fs_exists(f.dir() + "/saves/Only/datapacks/Terralith_1.20.1_v2.4.5.zip"));
    EXPECT_EQ(f.projects(), (StrList{"600001"}));
    // mod, resourcepack, shader, then datapack.
    EXPECT_EQ(f.env.net->hits("/service/v1/search"), 4);

    EXPECT_EQ(f.add(ContentSource::CurseForge, std::nullopt, "no-such-project", &msg), -1);
    EXPECT_EQ(msg, "Проект «no-such-project» не найден на CurseForge");

    // A hit whose id is another slug does not send the resolution round in circles.
    f.env.net->serve("/service/v1/search", R"({"curseforge":[{"id":"loop","slug":"loop"}]})");
    EXPECT_EQ(f.add(ContentSource::CurseForge, std::nullopt, "loop", &msg), -1);
    EXPECT_EQ(msg, "Проект «loop» не найден на CurseForge");
}

TEST(Install, DataPackNeedsOneWorldOrTheTarget) {
    InstallFixture f;
    std::string msg;
    EXPECT_EQ(f.add(ContentSource::CurseForge, std::nullopt, "600001", &msg), -1);
    EXPECT_EQ(msg, "Датапак «Terralith Datapack»: в сборке нет миров — создайте мир в игре");
    for (const char *w : {"A", "B"}) {
        fs_mkdirs(f.dir() + "/saves/" + w);
        fs_write_atomic(f.dir() + "/saves/" + w + "/level.dat", "nbt");
    }
    EXPECT_EQ(f.add(ContentSource::CurseForge, std::nullopt, "600001", &msg), -1);
    EXPECT_EQ(msg.rfind("Датапак «Terralith Datapack»: укажите мир (--world), есть: ", 0), 0u);
    EXPECT_TRUE(str_ends_with(msg, " ..."));
    EXPECT_EQ(
        f.add(ContentSource::CurseForge, std::nullopt, "600001", &msg, std::string("../../escape")),
        -1);
    EXPECT_FALSE(fs_exists(f.env.tmp.path + "/instances/escape"));
    ASSERT_EQ(f.add(ContentSource::CurseForge, std::nullopt, "600001", &msg, std::string("B")), 0)
        << msg;
    EXPECT_TRUE(fs_exists(f.dir() + "/saves/B/datapacks/Terralith_1.20.1_v2.4.5.zip"));
    EXPECT_FALSE(fs_exists(f.dir() + "/saves/A/datapacks"));
    // Installed by record even though it lies in a world.
    EXPECT_TRUE(content_is_installed(f.inst, "curseforge", "600001"));
}

TEST(Install, WorldArchivesLandInSavesWithoutReplacingAWorld) {
    InstallFixture f;
    std::string msg;
    // The corpus map holds the folder sample-map.
    ASSERT_EQ(f.add(ContentSource::CurseForge, std::nullopt, "skyblock-classic", &msg), 0) << msg;
    EXPECT_TRUE(fs_exists(f.dir() + "/saves/sample-map/level.dat"));
    EXPECT_TRUE(fs_exists(f.dir() + "/saves/sample-map/icon.png"));
    EXPECT_EQ(content_find_file(f.inst, "skyblock-classic.zip")->type, ContentType::World);
    EXPECT_FALSE(fs_exists(datapaths().cache + "/skyblock-classic.zip"));
    for (const std::string &n : dir_list(datapaths().cache).value_or(StrList{}))
        EXPECT_FALSE(str_starts_with(n, "world-")) << n; // the scratch folder is gone

    // An archive with level.dat at its top becomes saves/<archive name>; a
    // world of that name already there is kept.
    std::string bytes = world_zip({{"level.dat", "new"}, {"region/r.0.0.mca", "r"}});
    f.env.net->serve("/cdn/test/MyWorld.zip", bytes);
    fs_mkdirs(f.dir() + "/saves/MyWorld");
    fs_write_atomic(f.dir() + "/saves/MyWorld/level.dat", "mine");
    f.serve_project("myworld",
                    format_alloc(R"({"files":[{"id":"w1","filename":"MyWorld.zip","url":"%s"}]})",
                                 (f.env.net->base() + "/cdn/test/MyWorld.zip").c_str()),
                    17);
    ASSERT_EQ(f.add(ContentSource::Modrinth, std::nullopt, "myworld", &msg), 0) << msg;
    EXPECT_EQ(fs_read_all(f.dir() + "/saves/MyWorld/level.dat"), "mine");
    EXPECT_EQ(fs_read_all(f.dir() + "/saves/MyWorld-2/level.dat"), "new");
    EXPECT_TRUE(fs_exists(f.dir() + "/saves/MyWorld-2/region/r.0.0.mca"));
}

TEST(Install, ForbiddenFileNeedsAManualDownload) {
    InstallFixture f;
    std::string msg;
    EXPECT_EQ(f.add(ContentSource::CurseForge, std::nullopt, "238222", &msg), -2);
    EXPECT_EQ(msg, "Автор запретил автоматическое скачивание:\n• Just Enough Items (JEI) — "
                   "скачайте вручную: " +
                       f.env.url("curseforge_web") +
                       "/minecraft/mc-mods/jei\n  и положите файл в папку: " + f.dir() + "/mods");
    EXPECT_TRUE(f.projects().empty());

    // As a dependency it leaves the parent installed, with the instructions.
    f.serve_project("needsjei",
                    R"({"files":[)" +
                        f.file_json("needsjei", "needsjei.jar",
                                    R"("mc":["1.20.1"],"loaders":["fabric"])",
                                    R"([{"type":"required","source":"curseforge","id":"238222"},)"
                                    R"({"type":"required","id":"gone"},)"
                                    R"({"type":"optional","id":"ignored"}])") +
                        "]}");
    ASSERT_EQ(f.add(ContentSource::Modrinth, std::nullopt, "needsjei", &msg), 0);
    EXPECT_EQ(
        msg.rfind("Нужна ручная загрузка:\n• Just Enough Items (JEI) — скачайте вручную: ", 0), 0u)
        << msg;
    EXPECT_NE(
        msg.find("\n• зависимость modrinth:gone не установлена: modrinth:gone — project not found"),
        std::string::npos)
        << msg;
    EXPECT_EQ(f.env.net->hits("/service/v1/modrinth/ignored"), 0);
    EXPECT_EQ(f.projects(), (StrList{"needsjei"}));
}

TEST(Install, IncompatibleInstalledProjectIsOnlyAWarning) {
    InstallFixture f;
    std::string msg;
    ASSERT_EQ(f.add(ContentSource::Modrinth, std::nullopt, "fabric-api", &msg), 0);
    f.serve_project("rival",
                    R"({"files":[)" +
                        f.file_json("rival", "rival.jar", R"("mc":["1.20.1"],"loaders":["fabric"])",
                                    R"([{"type":"incompatible","id":"P7dR8mSH"},)"
                                    R"({"type":"incompatible","id":"AANobbMI"}])") +
                        "]}");
    ASSERT_EQ(f.add(ContentSource::Modrinth, std::nullopt, "rival", &msg), 0);
    EXPECT_EQ(f.env.count_messages(
                  "Внимание: «Title rival» несовместим с уже установленным modrinth:P7dR8mSH"),
              1);
    EXPECT_EQ(f.env.count_messages("modrinth:AANobbMI"), 0);
}

// A file name is one path component of printable characters: names that
// leave the folder, and names with control or direction characters that
// would show as something else, are refused alike (JSON escapes below).
TEST(Install, FileNamesThatLeaveTheFolderOrHideTheirLookAreRefused) {
    for (const char *name :
         {"../evil.jar", "/tmp/evil.jar", "sub\\\\evil.jar", "..", "", "sod\\u001b[31mium\\n.jar",
          "a\\r.jar", "gpj\\u202e.jar", "\\u009b2J.jar"}) {
        InstallFixture f;
        f.serve_project("evil", R"({"files":[)" + f.file_json("evil", name) + "]}");
        std::string msg;
        EXPECT_EQ(f.add(ContentSource::Modrinth, std::nullopt, "evil", &msg), -1) << name;
        EXPECT_EQ(msg, "У «Title evil» нет файла для скачивания") << name;
        std::optional<StrList> left = dir_list(f.dir() + "/mods");
        EXPECT_TRUE(!left || left->empty()) << name;
        EXPECT_TRUE(f.projects().empty());
    }
}

TEST(Install, VanillaInstanceRefusesModsButTakesPacks) {
    InstallFixture f({}, "Vanilla");
    std::string msg;
    EXPECT_EQ(f.add(ContentSource::Modrinth, std::nullopt, "sodium", &msg), -1);
    EXPECT_EQ(msg, "Сборка «Pack» — Vanilla: моды требуют Fabric/Quilt/Forge/NeoForge");
    ASSERT_EQ(f.add(ContentSource::Modrinth, std::nullopt, "faithful-32x", &msg), 0) << msg;
}

TEST(Install, ServiceErrorsNameTheProject) {
    InstallFixture f;
    std::string msg;
    EXPECT_EQ(f.add(ContentSource::Modrinth, std::nullopt, "nothing-here", &msg), -1);
    EXPECT_EQ(msg, "modrinth:nothing-here — project not found");
}

// ---- service unreachable: the direct installers ----

TEST(InstallDirect, ModrinthModWithDependencyWhenServiceIsDown) {
    InstallFixture f({"service"}, "Quilt");
    std::string msg;
    ASSERT_EQ(f.add(ContentSource::Modrinth, std::nullopt, "sodium", &msg), 0) << msg;
    EXPECT_EQ(msg, "");
    EXPECT_EQ(f.projects(), (StrList{"AANobbMI", "P7dR8mSH"}));
    EXPECT_TRUE(fs_exists(f.dir() + "/mods/fabric-api-0.92.2+1.20.1.jar"));
    EXPECT_EQ(content_find_file(f.inst, "fabric-api-0.92.2+1.20.1.jar")->file, "P7uGFii0");
    EXPECT_EQ(f.env.count_messages("Скачиваю Sodium mc1.20.1-0.5.3 → sodium-fabric"), 1);
    EXPECT_EQ(f.env.count_messages("  зависимость: Скачиваю Fabric API 0.92.2+1.20.1"), 1);

    // A dependency named by version id only; a cycle ends.
    ASSERT_EQ(f.add(ContentSource::Modrinth, std::nullopt, "sodium-extra", &msg), 0) << msg;
    EXPECT_EQ(f.env.net->hits("/modrinth_api/v2/version/Yp8wLY1P"), 1);
    EXPECT_EQ(f.env.count_messages("  зависимость Sodium уже установлен"), 1);
    ASSERT_EQ(f.add(ContentSource::Modrinth, std::nullopt, "cycle-b", &msg), 0) << msg;
    EXPECT_TRUE(fs_exists(f.dir() + "/mods/cycle-a-1.0.jar"));
    EXPECT_EQ(f.env.net->hits("/modrinth_api/v2/project/CycB0002"), 1);
}

TEST(InstallDirect, ModrinthPickedVersionWhenServiceIsDown) {
    InstallFixture f({"service"});
    std::string msg;
    ASSERT_EQ(install_content(ContentSource::Modrinth, std::nullopt, "sodium", f.inst, std::nullopt,
                              &msg, nullptr, "Sb4Beta1"),
              0)
        << msg;
    EXPECT_TRUE(fs_exists(f.dir() + "/mods/sodium-fabric-mc1.20.1-0.5.4-beta.1.jar"));
    EXPECT_EQ(content_find_file(f.inst, "sodium-fabric-mc1.20.1-0.5.4-beta.1.jar")->channel,
              ContentChannel::Beta);
    // Its dependency gets the newest release, not a version of that name.
    EXPECT_TRUE(fs_exists(f.dir() + "/mods/fabric-api-0.92.2+1.20.1.jar"));
}

TEST(InstallDirect, ModrinthFailuresAreWrappedWithTheServiceAddress) {
    InstallFixture f({"service"});
    std::string msg;
    EXPECT_EQ(f.add(ContentSource::Modrinth, std::nullopt, "nope", &msg), -1);
    EXPECT_EQ(msg, "API " + service_base_url() +
                       " недоступен, прямой доступ тоже не удался:\nПроект «nope» не найден на "
                       "Modrinth (HTTP 404)");
    // Data packs and worlds need the service: its own text, no direct request.
    f.env.net->reset_counters();
    EXPECT_EQ(f.add(ContentSource::CurseForge, ContentType::DataPack, "600001", &msg), -1);
    EXPECT_EQ(msg, "curseforge:600001 — API " + service_base_url() + " недоступен");
    EXPECT_EQ(f.env.net->hits_under("/curseforge_api"), 0);
}

TEST(InstallDirect, ModrinthDepthNine) {
    InstallFixture f({"service"});
    for (int i = 0; i <= 10; i++) {
        std::string id = "dep" + std::to_string(i);
        std::string bytes = world_zip({{"x", id}});
        f.env.net->serve("/cdn/test/" + id + ".jar", bytes);
        f.env.net->serve("/modrinth_api/v2/project/" + id,
                         format_alloc(R"({"id":"%s","title":"%s","project_type":"mod"})",
                                      id.c_str(), id.c_str()));
        f.env.net->serve(
            "/modrinth_api/v2/project/" + id + "/version",
            format_alloc(
                R"([{"id":"v%d","version_type":"beta","version_number":"1",)"
                R"("files":[{"filename":"%s.jar","url":"%s/cdn/test/%s.jar",)"
                R"("hashes":{"sha1":"%s"}}],)"
                R"("dependencies":[{"project_id":"dep%d","dependency_type":"required"}]}])",
                i, id.c_str(), f.env.net->base().c_str(), id.c_str(),
                sha1_hex(bytes.data(), bytes.size()).c_str(), i + 1));
    }
    std::string msg;
    ASSERT_EQ(install_modrinth_direct(ContentType::Mod, "dep0", f.inst, 0, &msg), 0) << msg;
    EXPECT_EQ(f.projects().size(), 10u);
    EXPECT_EQ(f.env.net->hits("/modrinth_api/v2/project/dep10"), 0);
}

TEST(InstallDirect, ModrinthPrefersReleasesAndThePrimaryFile) {
    InstallFixture f({"service"});
    std::string a = world_zip({{"a", "a"}}), b = world_zip({{"b", "b"}});
    f.env.net->serve("/cdn/test/a.jar", a);
    f.env.net->serve("/cdn/test/b.jar", b);
    f.env.net->serve("/modrinth_api/v2/project/pick",
                     R"({"id":"pick","title":"Pick","project_type":"modpack"})");
    std::string base = f.env.net->base();
    f.env.net->serve(
        "/modrinth_api/v2/project/pick/version",
        R"([{"id":"beta","version_type":"beta","files":[{"filename":"beta.jar","url":"x"}]},)"
        R"({"id":"rel","version_type":"release","files":[)"
        R"({"filename":"a.jar","url":")" +
            base +
            R"(/cdn/test/a.jar"},)"
            R"({"filename":"b.jar","primary":true,"url":")" +
            base + R"(/cdn/test/b.jar"}]}])");
    std::string msg;
    ASSERT_EQ(install_modrinth_direct(ContentType::ResourcePack, "pick", f.inst, 0, &msg), 0)
        << msg;
    // A modpack reached here is treated as a mod.
    EXPECT_TRUE(fs_exists(f.dir() + "/mods/b.jar"));
    EXPECT_EQ(content_find_file(f.inst, "b.jar")->file, "rel");
}

TEST(InstallDirect, CurseForgeNeedsAKeyAndFollowsDependencies) {
    InstallFixture f({"service"});
    std::string msg;
    EXPECT_EQ(f.add(ContentSource::CurseForge, std::nullopt, "sodium-dynamic-lights", &msg), -1);
    EXPECT_EQ(msg.rfind("API " + service_base_url() +
                            " недоступен, прямой доступ тоже не удался:\nДля CurseForge нужен "
                            "бесплатный API-ключ.",
                        0),
              0u)
        << msg;
    EXPECT_EQ(f.env.net->hits_under("/curseforge_api"), 0);

    g_settings.curseforge_api_key = "test-key";
    settings_save();
    ASSERT_EQ(f.add(ContentSource::CurseForge, std::nullopt, "sodium-dynamic-lights", &msg), 0)
        << msg;
    EXPECT_EQ(f.projects(), (StrList{"521001", "306612"}));
    EXPECT_TRUE(fs_exists(f.dir() + "/mods/fabric-api-0.92.2+1.20.1-cf.jar"));
    EXPECT_EQ(content_find_file(f.inst, "sodiumdynamiclights-fabric-1.0.9-1.20.1.jar")->file,
              "4700001");
    // Numbers skip the slug search.
    f.env.net->reset_counters();
    ASSERT_EQ(f.add(ContentSource::CurseForge, std::nullopt, "306612", &msg), 0) << msg;
    EXPECT_EQ(f.env.net->hits("/curseforge_api/v1/mods/search"), 0);

    EXPECT_EQ(f.add(ContentSource::CurseForge, std::nullopt, "238222", &msg), -2);
    EXPECT_NE(msg.find("Автор «Just Enough Items (JEI)» запретил автоматическое скачивание. "
                       "Скачайте вручную: " +
                       f.env.url("curseforge_web") + "/minecraft/mc-mods/jei"),
              std::string::npos)
        << msg;
    // A world is not a mod: the service's text, nothing in mods.
    EXPECT_EQ(f.add(ContentSource::CurseForge, std::nullopt, "600002", &msg), -1);
    EXPECT_EQ(msg.rfind("curseforge:600002 — ", 0), 0u) << msg;
    EXPECT_FALSE(fs_exists(f.dir() + "/mods/skyblock-classic.zip"));
}

TEST(InstallDirect, CurseForgeNewestReleaseByDate) {
    InstallFixture f({"service"});
    g_settings.curseforge_api_key = "test-key";
    settings_save();
    std::string bytes = world_zip({{"x", "new"}});
    f.env.net->serve("/cdn/test/new.jar", bytes);
    f.env.net->serve("/curseforge_api/v1/mods/777",
                     R"({"data":{"id":777,"name":"Dated","classId":6}})");
    std::string url = f.env.net->base() + "/cdn/test/new.jar";
    f.env.net->serve(
        "/curseforge_api/v1/mods/777/files",
        R"({"data":[{"id":1,"fileName":"old.jar","releaseType":1,"fileDate":"2021-01-01","downloadUrl":"x"},)"
        R"({"id":3,"fileName":"beta.jar","releaseType":2,"fileDate":"2024-01-01","downloadUrl":"x"},)"
        R"({"id":2,"fileName":"new.jar","releaseType":1,"fileDate":"2023-01-01","downloadUrl":")" +
            url + R"(","hashes":[{"algo":2,"value":"md5"},{"algo":1,"value":")" +
            sha1_hex(bytes.data(), bytes.size()) + R"("}]}]})");
    std::string msg;
    ASSERT_EQ(install_curseforge_direct("777", f.inst, 0, &msg), 0) << msg;
    EXPECT_TRUE(fs_exists(f.dir() + "/mods/new.jar"));
    EXPECT_EQ(content_find_file(f.inst, "new.jar")->file, "2");
}
