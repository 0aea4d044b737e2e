// HTTP client against the fake network: service base choice, the unreachable
// latch, service error texts, fetch fallback order, cached JSON, web requests.
#include "net/http.h"

#include "base/fs.h"
#include "fakenet/net_test_env.h"
#include "net/endpoints.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

TEST(ServiceBaseUrl, EnvironmentWinsAndLosesTrailingSlash) {
    NetTestEnv env;
    setenv("ZYL_API", "http://mirror.test/api//", 1);
    http_state_reset_for_tests();
    EXPECT_EQ(service_base_url(), "http://mirror.test/api");
    g_settings.api_url = "http://other.test";
    settings_save();
    EXPECT_EQ(service_base_url(), "http://mirror.test/api");
    // Read once: a later change of the variable is not seen either.
    setenv("ZYL_API", "http://third.test", 1);
    EXPECT_EQ(service_base_url(), "http://mirror.test/api");
    unsetenv("ZYL_API");
}

TEST(ServiceBaseUrl, SettingChangesApplyAndOldTextsStayValid) {
    NetTestEnv env;
    const std::string &first = service_base_url();
    EXPECT_EQ(first, env.url("service"));
    g_settings.api_url = "http://a.test/";
    settings_save();
    const std::string &second = service_base_url();
    EXPECT_EQ(second, "http://a.test");
    EXPECT_EQ(&service_base_url(), &second); // unchanged candidate: same text
    g_settings.api_url = "http://b.test";
    settings_save();
    EXPECT_EQ(service_base_url(), "http://b.test");
    EXPECT_EQ(first, env.url("service"));
    EXPECT_EQ(second, "http://a.test");
}

TEST(ServiceProxiedUrl, Rules) {
    NetTestEnv env;
    std::string base = service_base_url();
    struct Case {
        std::string url;
        std::optional<std::string> want;
    } cases[] = {
        {"https://libraries.minecraft.net/a b/c.jar?x=1&y",
         base +
             "/v1/download?url=https%3A%2F%2Flibraries.minecraft.net%2Fa%20b%2Fc.jar%3Fx%3D1%26y"},
        {"http://h/x", base + "/v1/download?url=http%3A%2F%2Fh%2Fx"},
        {"ftp://h/x", std::nullopt},
        {"", std::nullopt},
        {base + "/v1/modrinth/x", std::nullopt},
        {base, std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(service_proxied_url(c.url), c.want) << c.url;
    // A host that merely shares the base's text is not the service.
    EXPECT_TRUE(service_proxied_url(base + "x/y"));
}

TEST(UnreachableError, ImmediateCodesAndTheFourthTimeoutClass) {
    NetTestEnv env;
    struct Case {
        CURLcode code;
        bool want;
    } immediate[] = {
        {CURLE_COULDNT_RESOLVE_HOST, true},
        {CURLE_COULDNT_CONNECT, true},
        {CURLE_SSL_CONNECT_ERROR, true},
        {CURLE_PEER_FAILED_VERIFICATION, true},
        {CURLE_OK, false},
        {CURLE_HTTP_RETURNED_ERROR, false},
        {CURLE_WRITE_ERROR, false},
        {static_cast<CURLcode>(61), false},
        {static_cast<CURLcode>(77), false},
    };
    for (const Case &c : immediate)
        EXPECT_EQ(is_unreachable_error(c.code), c.want) << c.code;
    // None of the above counted: three of the timeout class are tolerated, the fourth is not.
    EXPECT_FALSE(is_unreachable_error(CURLE_OPERATION_TIMEDOUT));
    EXPECT_FALSE(is_unreachable_error(CURLE_GOT_NOTHING));
    EXPECT_FALSE(is_unreachable_error(CURLE_SEND_ERROR));
    EXPECT_TRUE(is_unreachable_error(CURLE_RECV_ERROR));
    EXPECT_TRUE(is_unreachable_error(CURLE_OPERATION_TIMEDOUT));
}

TEST(ServiceLatch, ThreeTimeoutsKeepTheServiceTheFourthSetsIt) {
    NetTestEnv env;
    for (int i = 0; i < 3; i++)
        EXPECT_FALSE(service_mark_unreachable(CURLE_OPERATION_TIMEDOUT));
    EXPECT_FALSE(service_is_down());
    EXPECT_TRUE(service_mark_unreachable(CURLE_OPERATION_TIMEDOUT));
    EXPECT_TRUE(service_is_down());
    EXPECT_EQ(env.count_messages("использую прямые адреса"), 1);
}

TEST(ServiceLatch, ClosedServiceIsNoticedOnceThenPublicSourcesAreUsed) {
    NetTestEnv env({"service"});
    std::string base = service_base_url();
    env.net->serve("/fabric_meta/v2/x.json", "{\"ok\":1}");

    // Several threads find the service gone at the same time: one notice.
    std::vector<std::thread> threads;
    std::vector<std::string> errs(4);
    for (int i = 0; i < 4; i++)
        threads.emplace_back([&, i] {
            JsonPtr out;
            EXPECT_EQ(service_get("/v1/minecraft/versions", out, &errs[i]), -1);
        });
    for (auto &t : threads)
        t.join();
    EXPECT_TRUE(service_is_down());
    auto msgs = env.messages();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0], "API " + base +
                           " недоступен (не удалось подключиться к серверу (Couldn't connect to "
                           "server)) — использую "
                           "прямые адреса");
    for (const std::string &e : errs)
        EXPECT_TRUE(e == "API недоступен: не удалось подключиться к серверу (Couldn't connect to "
                         "server)" ||
                    e == "API " + base + " недоступен")
            << e;

    // Later requests fail at once; fetches go straight to the public source.
    std::string err;
    JsonPtr out;
    EXPECT_EQ(service_get("/v1/x", out, &err), -1);
    EXPECT_EQ(err, "API " + base + " недоступен");
    EXPECT_FALSE(service_proxied_url(env.url("fabric_meta") + "/v2/x.json"));
    auto body = fetch_with_fallback(env.url("fabric_meta") + "/v2/x.json");
    ASSERT_TRUE(body);
    EXPECT_EQ(*body, "{\"ok\":1}");
    EXPECT_EQ(env.net->hits("/fabric_meta/v2/x.json"), 1);
    EXPECT_EQ(env.count_messages("использую прямые адреса"), 1);
}

TEST(ServiceRequest, ErrorTexts) {
    NetTestEnv env;
    struct Case {
        int status;
        std::string body;
        std::string want; // empty: success
    } cases[] = {
        {200, "{\"versions\":[]}", ""},
        {404, "{\"error\":\"Проект не найден\"}", "Проект не найден"},
        {404, "not json", "API: HTTP 404"},
        {403, "{\"error\":42}", "API: HTTP 403"},
        {500, "{\"error\":\"upstream timeout\"}", "API: upstream timeout (HTTP 500)"},
        {503, "<html>busy</html>", "API: HTTP 503"},
        {200, "<html>captive portal</html>", "API: HTTP 200"},
    };
    for (const Case &c : cases) {
        std::string path = "/status/" + std::to_string(c.status) + "?body=" + url_escape(c.body);
        for (bool post : {false, true}) {
            JsonPtr out;
            std::string err;
            std::string body = "{\"a\":1}";
            int rc = post ? service_post(path, &body, out, &err) : service_get(path, out, &err);
            EXPECT_EQ(rc, c.want.empty() ? 0 : -1) << c.status << c.body;
            EXPECT_EQ(err, c.want) << c.status << c.body;
            EXPECT_EQ(out != nullptr, c.want.empty());
        }
    }
    // Server errors do not switch the service off.
    EXPECT_FALSE(service_is_down());
    EXPECT_TRUE(env.messages().empty());
}

TEST(ServiceRequest, PostSendsJsonAndDefaultsToAnEmptyObject) {
    NetTestEnv env;
    JsonPtr out;
    std::string body = "{\"fileIds\":[1,2]}";
    ASSERT_EQ(service_post("/echo", &body, out, nullptr), 0);
    EXPECT_EQ(json_str(out.get(), "method"), "POST");
    EXPECT_EQ(json_str(out.get(), "body"), body);
    EXPECT_EQ(json_str(out.get(), "content_type"), "application/json");
    EXPECT_EQ(json_str(out.get(), "user_agent"), "ZYL-Launcher/1.5.1");
    ASSERT_EQ(service_post("/echo", nullptr, out, nullptr), 0);
    EXPECT_EQ(json_str(out.get(), "body"), "{}");
    ASSERT_EQ(service_get("/echo", out, nullptr), 0);
    EXPECT_EQ(json_str(out.get(), "method"), "GET");
}

TEST(FetchUrl, HttpErrorFailsAtOnceAndIsReportedUnlessQuiet) {
    NetTestEnv env;
    std::string url = env.url("fabric_meta") + "/missing.json";
    EXPECT_FALSE(fetch_url(url, true));
    EXPECT_EQ(env.net->hits("/fabric_meta/missing.json"), 1);
    EXPECT_TRUE(env.messages().empty());
    EXPECT_FALSE(fetch_url(url, false));
    EXPECT_EQ(env.net->hits("/fabric_meta/missing.json"), 2);
    EXPECT_EQ(env.messages(), std::vector<std::string>{"HTTP: файл не найден на сервере (HTTP 404)"});

    env.net->serve("/fabric_meta/empty", "");
    auto empty = fetch_url(env.url("fabric_meta") + "/empty", false);
    ASSERT_TRUE(empty);
    EXPECT_EQ(*empty, "");
}

TEST(FetchUrl, ClosedPortIsRetriedThreeTimesForPublicHosts) {
    NetTestEnv env({"fabric_meta"});
    EXPECT_FALSE(fetch_url(endpoint("fabric_meta") + "/x", false));
    EXPECT_EQ(env.messages(), std::vector<std::string>{
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

TEST(WebRequest, StatusHeadersAndBody) {
    NetTestEnv env;
    long status = 0;
    auto body = web_get(env.url("modrinth_api") + "/echo", {"X-Test: yes"}, &status);
    ASSERT_TRUE(body);
    EXPECT_EQ(status, 200);
    JsonPtr j = json_parse(*body);
    EXPECT_EQ(json_str(j.get(), "x_test"), "yes");
    EXPECT_EQ(json_str(j.get(), "user_agent"), "Brimfell/zyl-launcher/1.5.1 (fake.example)");

    body = web_post(env.url("auth") + "/echo", "{\"u\":1}", {"Content-Type: application/json"},
                    &status);
    ASSERT_TRUE(body);
    j = json_parse(*body);
    EXPECT_EQ(json_str(j.get(), "method"), "POST");
    EXPECT_EQ(json_str(j.get(), "body"), "{\"u\":1}");
    EXPECT_EQ(json_str(j.get(), "content_type"), "application/json");

    // Error statuses are answers, not failures.
    body = web_get(env.url("curseforge_api") + "/status/403?body=denied", {}, &status);
    ASSERT_TRUE(body);
    EXPECT_EQ(status, 403);
    EXPECT_EQ(*body, "denied");
}

TEST(WebRequest, TransferErrorsGiveStatusMinusOneAndLeaveTheServiceAlone) {
    NetTestEnv env({"service", "auth"});
    long status = 0;
    EXPECT_FALSE(web_get(endpoint("auth") + "/x", {}, &status));
    EXPECT_EQ(status, -1);
    EXPECT_FALSE(web_post(service_base_url() + "/v1/x", "", {}, &status));
    EXPECT_EQ(status, -1);
    EXPECT_FALSE(service_is_down());
    EXPECT_TRUE(env.messages().empty());
}

TEST(WebRequest, RedirectsOnlyToHttp) {
    NetTestEnv env;
    env.net->serve("/modrinth_api/target", "here");
    long status = 0;
    auto body = web_get(env.url("modrinth_api") +
                            "/redirect?to=" + url_escape(env.url("modrinth_api") + "/target"),
                        {}, &status);
    ASSERT_TRUE(body);
    EXPECT_EQ(*body, "here");
    // A redirect (or a URL) that would read a local file is refused.
    EXPECT_FALSE(
        web_get(env.url("modrinth_api") + "/redirect?to=" + url_escape("file:///etc/hostname"), {},
                &status));
    EXPECT_EQ(status, -1);
    EXPECT_FALSE(fetch_url("file:///etc/hostname", true));
}

// Answers that would fill memory: every request kept in memory stops at the
// cap (an announced length above it at once) with a clear reason, and is not
// tried again. (The server's safety stop lies above the cap, so without one
// the whole answer would arrive.)
TEST(InMemoryBodies, EndlessAndHugeAnswersAreCutAtTheCap) {
    for (const char *route : {"/hostile/endless", "/hostile/huge"}) {
        SCOPED_TRACE(route);
        NetTestEnv env;
        std::string url = env.url("piston_meta") + route;
        EXPECT_FALSE(fetch_url(url, false));
        EXPECT_EQ(env.net->hits(std::string("/piston_meta") + route), 1);
        EXPECT_EQ(env.messages(), std::vector<std::string>{
                                      "Ответ сервера больше 64 МБ, загрузка прервана: " + url});
    }
    NetTestEnv env;
    JsonPtr out;
    std::string err;
    EXPECT_EQ(service_get("/hostile/endless", out, &err), -1);
    EXPECT_EQ(err, "API: ответ больше 64 МБ");
    EXPECT_FALSE(service_is_down());
    long status = 0;
    EXPECT_FALSE(web_get(env.url("modrinth_api") + "/hostile/huge", {}, &status));
    EXPECT_EQ(status, -1);
}

TEST(Redirects, ASelfRedirectEndsAfterTenFollows) {
    NetTestEnv env;
    EXPECT_FALSE(fetch_url(env.url("piston_meta") + "/hostile/loop", true));
    // The first request and ten follows; a redirect loop is not tried again.
    EXPECT_EQ(env.net->hits("/piston_meta/hostile/loop"), k_max_redirects + 1);
    long status = 0;
    EXPECT_FALSE(web_get(env.url("modrinth_api") + "/hostile/loop", {}, &status));
    EXPECT_EQ(env.net->hits("/modrinth_api/hostile/loop"), k_max_redirects + 1);
}

} // namespace
