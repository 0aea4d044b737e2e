// Documents in memory against the fake network: retries, the source order,
// the direct-first cut-off and the JSON cache.
#include "net/fetch.h"

#include "base/fs.h"
#include "fakenet/net_test_env.h"
#include "net/endpoints.h"
#include "net/service.h"

#include <gtest/gtest.h>

namespace {

TEST(FetchUrl, HttpErrorFailsAtOnceAndIsReportedUnlessQuiet) {
    NetTestEnv env;
    std::string url = env.url("fabric_meta") + "/missing.json";
    EXPECT_FALSE(fetch_url(url, true));
    EXPECT_EQ(env.net->hits("/fabric_meta/missing.json"), 1);
    EXPECT_TRUE(env.messages().empty());
    EXPECT_FALSE(fetch_url(url, false));
    EXPECT_EQ(env.net->hits("/fabric_meta/missing.json"), 2);
    EXPECT_EQ(env.messages(),
              std::vector<std::string>{"HTTP: файл не найден на сервере (HTTP 404)"});

    env.net->serve("/fabric_meta/empty", "");
    auto empty = fetch_url(env.url("fabric_meta") + "/empty", false);
    ASSERT_TRUE(empty);
    EXPECT_EQ(*empty, "");
}

TEST(FetchUrl, ClosedPortIsRetriedThreeTimesForPublicHosts) {
    NetTestEnv env({"fabric_meta"});
    EXPECT_FALSE(fetch_url(endpoint("fabric_meta") + "/x", false));
    EXPECT_EQ(env.messages(),
              std::vector<std::string>{
                  "HTTP: не удалось подключиться к серверу (Couldn't connect to server)"});
    EXPECT_FALSE(service_is_down()); // a public host says nothing about the service
}

struct FallbackCase {
    const char *name;
    const char *endpoint;
    Fault direct_fault;
    Fault proxy_fault;
    int want_direct_hits;
    int want_proxy_hits;
    bool want_body;
};

TEST(FetchWithFallback, SourceOrder) {
    FallbackCase cases[] = {
        // Public non-Mojang files go through the service first.
        {"service first", "fabric_meta", Fault::None, Fault::None, 0, 1, true},
        {"service fails, direct", "fabric_meta", Fault::None, Fault::ServerError, 1, 1, true},
        // Mojang's own files are taken directly while that works.
        {"mojang direct", "piston_meta", Fault::None, Fault::None, 1, 0, true},
        {"mojang direct fails, service", "piston_meta", Fault::NotFound, Fault::None, 1, 1, true},
        {"every source fails", "piston_meta", Fault::NotFound, Fault::NotFound, 2, 1, false},
    };
    for (const FallbackCase &c : cases) {
        NetTestEnv env;
        std::string path = std::string("/") + c.endpoint + "/doc.json";
        env.net->serve(path, "{\"v\":1}");
        env.net->set_fault(path, c.direct_fault);
        env.net->set_fault("/service/v1/download", c.proxy_fault);
        auto body = fetch_with_fallback(env.url(c.endpoint) + "/doc.json");
        EXPECT_EQ(body.has_value(), c.want_body) << c.name;
        if (body) {
            EXPECT_EQ(*body, "{\"v\":1}") << c.name;
        }
        EXPECT_EQ(env.net->hits(path), c.want_direct_hits) << c.name;
        EXPECT_EQ(env.net->hits("/service/v1/download"), c.want_proxy_hits) << c.name;
        // Only the last resort reports.
        EXPECT_EQ(env.messages().size(), c.want_body ? 0u : 1u) << c.name;
    }
}

TEST(FetchWithFallback, ThreeDirectFailuresSendMojangFilesToTheServiceFirst) {
    NetTestEnv env;
    env.net->serve("/libraries/a.pom", "pom");
    env.net->set_fault("/libraries/a.pom", Fault::NotFound);
    for (int i = 0; i < 3; i++)
        EXPECT_TRUE(fetch_with_fallback(env.url("libraries") + "/a.pom"));
    EXPECT_EQ(env.net->hits("/libraries/a.pom"), 3);
    EXPECT_EQ(direct_first_failures(), 3);
    EXPECT_TRUE(fetch_with_fallback(env.url("libraries") + "/a.pom"));
    EXPECT_EQ(env.net->hits("/libraries/a.pom"), 3);
    EXPECT_EQ(env.net->hits("/service/v1/download"), 4);
}

TEST(FetchJsonCached, CacheRules) {
    NetTestEnv env;
    std::string url = env.url("fabric_meta") + "/v2/versions.json";
    std::string cache = env.tmp.path + "/cache/versions.json";
    env.net->serve("/fabric_meta/v2/versions.json", "{\"fresh\":true}");

    // No cache yet: fetched and stored.
    JsonPtr j = fetch_json_cached(url, &cache, false);
    ASSERT_TRUE(j);
    EXPECT_EQ(fs_read_all(cache), "{\"fresh\":true}");

    // A cache without force is used even though the network is up.
    fs_write_atomic(cache, std::string("{\"cached\":true}"));
    env.net->reset_counters();
    j = fetch_json_cached(url, &cache, false);
    ASSERT_TRUE(j);
    EXPECT_TRUE(json_bool(j.get(), "cached"));
    EXPECT_EQ(env.net->hits("/service/v1/download"), 0);

    // Force refreshes it.
    j = fetch_json_cached(url, &cache, true);
    ASSERT_TRUE(j);
    EXPECT_TRUE(json_bool(j.get(), "fresh"));
    EXPECT_EQ(fs_read_all(cache), "{\"fresh\":true}");

    // Network down: the stale cache is returned.
    env.net->set_fault("/fabric_meta/v2/versions.json", Fault::NotFound);
    env.net->set_fault("/service/v1/download", Fault::NotFound);
    j = fetch_json_cached(url, &cache, true);
    ASSERT_TRUE(j);
    EXPECT_TRUE(json_bool(j.get(), "fresh"));

    // Neither network nor cache: none, with the notice.
    std::string missing = env.tmp.path + "/cache/none.json";
    EXPECT_FALSE(fetch_json_cached(url, &missing, false));
    EXPECT_EQ(env.count_messages("Ошибка загрузки: " + url), 1);
    EXPECT_FALSE(fetch_json_cached(url, nullptr, false));
}

TEST(FetchJsonCached, AnswerThatIsNotJsonLeavesTheCacheAlone) {
    NetTestEnv env;
    std::string url = env.url("fabric_meta") + "/page";
    std::string cache = env.tmp.path + "/page.json";
    fs_write_atomic(cache, std::string("{\"old\":1}"));
    env.net->serve("/fabric_meta/page", "<html>maintenance</html>");
    EXPECT_FALSE(fetch_json_cached(url, &cache, true));
    EXPECT_EQ(fs_read_all(cache), "{\"old\":1}");
}

TEST(MavenVersions, ReadsEveryVersionOfRealMetadata) {
    NetTestEnv env;
    auto xml = fs_read_all(fakenet_corpus("neoforge/maven-metadata.net.neoforged.forge.xml"));
    ASSERT_TRUE(xml);
    env.net->serve("/neoforge_maven/releases/net/neoforged/forge/maven-metadata.xml", *xml);
    StrList out = {"kept"};
    maven_versions(env.url("neoforge_maven") + "/releases/net/neoforged/forge/maven-metadata.xml",
                   out);
    size_t tags = 0;
    for (size_t p = 0; (p = xml->find("<version>", p)) != std::string::npos; p++)
        tags++;
    ASSERT_GT(tags, 10u);
    ASSERT_EQ(out.size(), tags + 1);
    EXPECT_EQ(out[0], "kept");
    for (size_t i = 1; i < out.size(); i++) {
        EXPECT_FALSE(out[i].empty());
        EXPECT_EQ(out[i].find('<'), std::string::npos) << out[i];
    }

    // A cut document stops at the last complete entry.
    env.net->serve("/forge_maven/cut.xml", "<version>1</version><version>2</vers");
    StrList cut;
    maven_versions(env.url("forge_maven") + "/cut.xml", cut);
    EXPECT_EQ(cut, StrList{"1"});
}

} // namespace
