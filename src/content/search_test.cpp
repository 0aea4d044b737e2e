#include "content/search.h"

#include "base/digest.h"
#include "base/fs.h"
#include "content/content_test_env.h"
#include "instances/content.h"

#include <gtest/gtest.h>

namespace {

using SearchFixture = InstanceEnv;

std::string titles(const std::vector<SearchHit> &hits) {
    std::string out;
    for (const SearchHit &h : hits)
        out += (out.empty() ? "" : ",") + h.title;
    return out;
}

} // namespace

TEST(Search, ServiceAnswerInterleavesSourcesAndMapsFields) {
    SearchFixture f;
    f.env.net->serve("/service/v1/search", R"({
      "modrinth": [
        {"id": "m0", "slug": "s0", "name": "M0", "authors": ["alice"], "summary": "sum",
         "icon": "http://i/0.png", "url": "http://p/0", "downloads": 1234.9},
        {"id": "m1", "name": "M1", "authors": [{"name": "bob"}]},
        {"id": "m2", "name": "M2"}],
      "curseforge": [{"id": 238222, "slug": "jei", "name": "C0", "authors": [{"name": "mezz"}]}]})");
    std::vector<SearchHit> hits;
    std::string err = "stale";
    ASSERT_EQ(search_service(SearchSources(), ContentType::Mod, "q", std::nullopt, std::nullopt,
                             hits, &err),
              4);
    EXPECT_EQ(titles(hits), "M0,C0,M1,M2");
    EXPECT_EQ(err, "");
    EXPECT_EQ(hits[0].author, "alice");
    EXPECT_EQ(hits[0].downloads, 1234);
    EXPECT_EQ(hits[0].icon_url, "http://i/0.png");
    EXPECT_EQ(hits[0].page_url, "http://p/0");
    EXPECT_EQ(hits[0].source, ContentSource::Modrinth);
    EXPECT_EQ(hits[1].id, "238222");
    EXPECT_EQ(hits[1].source, ContentSource::CurseForge);
    EXPECT_EQ(hits[2].author, "bob");
    EXPECT_EQ(hits[3].slug, ""); // missing values are empty, never absent
}

TEST(Search, ErrorsObjectNamesTheFailedSources) {
    struct Case {
        const char *answer;
        SearchSources src;
        int result;
        const char *err;
    } cases[] = {
        {R"({"modrinth": [], "curseforge": [], "errors": {"curseforge": "timeout"}})",
         ContentSource::CurseForge, -1, "CurseForge недоступен"},
        {R"({"modrinth": [], "curseforge": [], "errors": {"curseforge": "timeout"}})",
         SearchSources(), 0, "CurseForge недоступен"},
        {R"({"modrinth": [{"id": "a"}], "errors": {"curseforge": 1}})", SearchSources(), 1,
         "CurseForge недоступен"},
        {R"({"errors": {"modrinth": "x", "curseforge": "y", "other": "z"}})", SearchSources(), 0,
         "Modrinth недоступен; CurseForge недоступен; other недоступен"},
        {R"({"modrinth": []})", ContentSource::Modrinth, 0, ""},
    };
    SearchFixture f;
    for (const Case &c : cases) {
        f.env.net->serve("/service/v1/search", c.answer);
        std::vector<SearchHit> hits;
        std::string err;
        EXPECT_EQ(
            search_service(c.src, ContentType::Mod, "", std::nullopt, std::nullopt, hits, &err),
            c.result)
            << c.answer;
        EXPECT_EQ(err, c.err) << c.answer;
    }
}

TEST(Search, CatalogueFiltersByTypeVersionAndLoader) {
    SearchFixture f;
    std::vector<SearchHit> hits;
    std::string err;
    EXPECT_EQ(search_service(SearchSources(), ContentType::Mod, "sodium", std::string("1.20.1"),
                             std::string("Fabric"), hits, &err),
              3);
    EXPECT_EQ(titles(hits), "Sodium,Sodium Dynamic Lights,Sodium Extra");
    // The loader filter is sent only for mods.
    EXPECT_EQ(search_service(ContentSource::Modrinth, ContentType::Shader, "",
                             std::string("1.20.1"), std::string("Fabric"), hits, &err),
              1);
    EXPECT_EQ(hits[0].slug, "complementary-reimagined");
}

TEST(Search, ForInstanceVanillaModsRefusedBeforeAnyRequest) {
    SearchFixture f({}, "Vanilla");
    std::vector<SearchHit> hits;
    std::string err;
    EXPECT_EQ(search_for_instance(SearchSources(), ContentType::Mod, "sodium", f.inst, hits, &err),
              -1);
    EXPECT_EQ(err, "«Pack» — Vanilla-сборка: моды нужны Fabric/Quilt/Forge/NeoForge. Создайте "
                   "сборку с загрузчиком или выберите ресурспаки.");
    EXPECT_EQ(f.env.net->hits("/service/v1/search"), 0);
    EXPECT_EQ(
        search_for_instance(SearchSources(), ContentType::ResourcePack, "", f.inst, hits, &err), 1);
    EXPECT_EQ(hits[0].slug, "faithful-32x");
}

TEST(Search, ForInstanceMarksInstalledProjects) {
    SearchFixture f;
    fs_write_atomic(instance_dir(f.inst) + "/mods/sodium.jar", "x");
    content_put(f.inst,
                content_record("modrinth", "AANobbMI", "", "sodium.jar", "", "Sodium", ContentType::Mod));
    std::vector<SearchHit> hits;
    std::string err;
    ASSERT_EQ(search_for_instance(SearchSources(), ContentType::Mod, "sodium", f.inst, hits, &err),
              3);
    EXPECT_TRUE(hits[0].installed);
    EXPECT_FALSE(hits[1].installed);
    EXPECT_FALSE(hits[2].installed);
}

TEST(Search, ServiceDownFallsBackToModrinthDirectly) {
    SearchFixture f({"service"}, "Quilt");
    std::vector<SearchHit> hits;
    std::string err;
    // Quilt asks for quilt or fabric mods: fabric-api lists only fabric.
    ASSERT_EQ(search_for_instance(SearchSources(), ContentType::Mod, "", f.inst, hits, &err), 5);
    EXPECT_EQ(err, "");
    EXPECT_EQ(hits[1].slug, "fabric-api");
    EXPECT_EQ(hits[1].author, "modmuss50");
    EXPECT_EQ(hits[1].page_url, f.env.url("modrinth_web") + "/mod/fabric-api");
    EXPECT_EQ(f.env.net->hits("/modrinth_api/v2/search"), 1);
    ASSERT_EQ(search_for_instance(ContentSource::Modrinth, ContentType::Shader, "compl", f.inst,
                                  hits, &err),
              1);
    EXPECT_EQ(hits[0].page_url, f.env.url("modrinth_web") + "/shader/complementary-reimagined");

    f.env.net->set_fault("/modrinth_api/v2/search", Fault::ServerError);
    EXPECT_EQ(search_for_instance(SearchSources(), ContentType::Mod, "", f.inst, hits, &err), -1);
    EXPECT_EQ(err, "API " + service_base_url() +
                       " недоступен, прямой доступ тоже не удался: Modrinth недоступен (HTTP 500)");
}

TEST(Search, ServiceDownCurseForgeNeedsAKey) {
    SearchFixture f({"service"});
    std::vector<SearchHit> hits;
    std::string err;
    EXPECT_EQ(search_for_instance(ContentSource::CurseForge, ContentType::Mod, "sodium", f.inst,
                                  hits, &err),
              -1);
    const std::string want = "API " + service_base_url() +
                             " недоступен, прямой доступ тоже не удался: Для CurseForge нужен "
                             "бесплатный API-ключ.\n1) Зайдите на " +
                             f.env.url("curseforge_console");
    EXPECT_EQ(err.substr(0, want.size()), want);
    EXPECT_EQ(f.env.net->hits_under("/curseforge_api"), 0);

    g_settings.curseforge_api_key = "wrong";
    settings_save();
    EXPECT_EQ(search_for_instance(ContentSource::CurseForge, ContentType::Mod, "sodium", f.inst,
                                  hits, &err),
              -1);
    EXPECT_NE(err.find("CurseForge отклонил ключ (HTTP 403)"), std::string::npos) << err;

    g_settings.curseforge_api_key = "test-key";
    settings_save();
    ASSERT_EQ(search_for_instance(ContentSource::CurseForge, ContentType::Mod, "sodium", f.inst,
                                  hits, &err),
              1);
    EXPECT_EQ(hits[0].id, "521001");
    EXPECT_EQ(hits[0].author, "Toni");
    EXPECT_EQ(hits[0].source, ContentSource::CurseForge);
    EXPECT_EQ(hits[0].page_url,
              f.env.url("curseforge_web") + "/minecraft/mc-mods/sodium-dynamic-lights");
}

TEST(Search, DataPacksAndWorldsNeverSearchDirectly) {
    SearchFixture f({"service"});
    std::vector<SearchHit> hits;
    for (ContentType t : {ContentType::DataPack, ContentType::World}) {
        std::string err;
        EXPECT_EQ(search_for_instance(SearchSources(), t, "", f.inst, hits, &err), -1);
        // The service's own text: the first request's failure, then the latch's.
        EXPECT_EQ(err.rfind("API ", 0), 0u) << err;
        EXPECT_NE(err.find("недоступен"), std::string::npos) << err;
    }
    EXPECT_EQ(f.env.net->hits_under("/modrinth_api"), 0);
}

TEST(Search, IconCacheFetchesOnce) {
    SearchFixture f;
    EXPECT_FALSE(icon_cache_path(""));
    std::string url = f.env.net->base() + "/cdn/icons/sodium.png";
    auto path = icon_cache_path(url);
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, datapaths().cache + "/icons/" + sha1_hex(url.data(), url.size()));
    EXPECT_EQ(fs_read_all(*path).value_or("").substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(icon_cache_path(url), path);
    // Through the service's proxy or directly, but only once.
    EXPECT_EQ(f.env.net->hits("/cdn/icons/sodium.png") + f.env.net->hits("/service/v1/download"),
              1);
    EXPECT_FALSE(icon_cache_path(f.env.net->base() + "/cdn/icons/missing.png"));
}

TEST(Search, HitCategoryIsTheFirstThatIsNotALoader) {
    // Real answers: Modrinth's strings put a loader beside the category,
    // CurseForge's objects carry names.
    JsonPtr modrinth = json_read_file(fakenet_corpus("modrinth/api-v2.search.sodium-2022.json"));
    EXPECT_EQ(search_hit_category(cJSON_GetArrayItem(json_get(modrinth.get(), "hits"), 0)),
              "Оптимизация");
    JsonPtr cf = json_read_file(
        fakenet_corpus("curseforge/api-v1.mods.search.gameId432-slug-jei-classId6.json"));
    EXPECT_EQ(search_hit_category(cJSON_GetArrayItem(json_get(cf.get(), "data"), 0)),
              "Map and Information");
    struct Case {
        const char *hit, *shown;
    } cases[] = {
        {R"({"display_categories":["fabric","storage"],"categories":["technology"]})", "Хранение"},
        {R"({"display_categories":["forge"],"categories":["quilt","magic"]})", "Магия"},
        {R"({"categories":["fabric","NeoForge"]})", ""},
        {R"({"categories":["some-new-word"]})", "some-new-word"},
        {R"({"categories":[{"id":1},{"name":""},7,{"name":"Armor, Tools, and Weapons"}]})",
         "Armor, Tools, and Weapons"},
        {R"({"slug":"no-categories"})", ""},
    };
    for (const Case &c : cases) {
        JsonPtr hit = json_parse(c.hit);
        EXPECT_EQ(search_hit_category(hit.get()), c.shown) << c.hit;
    }
}
