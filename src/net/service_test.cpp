// Content-service client against the fake network: the base URL, the
// unreachable latch, request error texts, the paths it asks for and what it
// accepts.
#include "net/service.h"

#include "base/fs.h"
#include "fakenet/net_test_env.h"
#include "net/endpoints.h"
#include "net/fetch.h"
#include "net/http.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

TEST(ServiceBaseUrl, EnvironmentWinsAndLosesTrailingSlash) {
    NetTestEnv env;
    setenv("ZYL_API", "http://mirror.test/api//", 1);
    service_state_reset_for_tests();
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

// The latch belongs to the service it was found for: pointing api_url at
// another one (the settings page does so at run time) gives that one a
// chance; ZYL_API, which the setting cannot change, keeps it.
TEST(ServiceLatch, ClearedWhenTheAddressChanges) {
    NetTestEnv env;
    service_mark_unreachable(CURLE_COULDNT_CONNECT);
    ASSERT_TRUE(service_is_down());
    g_settings.api_url = env.url("service") + "/";
    settings_save();
    EXPECT_TRUE(service_is_down()); // the same address, written another way
    g_settings.api_url = "http://mirror.test";
    settings_save();
    EXPECT_FALSE(service_is_down());
    EXPECT_TRUE(service_proxied_url(env.url("fabric_meta") + "/x"));

    setenv("ZYL_API", env.url("service").c_str(), 1);
    service_state_reset_for_tests();
    service_mark_unreachable(CURLE_COULDNT_CONNECT);
    g_settings.api_url = "http://third.test";
    settings_save();
    EXPECT_TRUE(service_is_down());
    unsetenv("ZYL_API");
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

TEST(ServicePaths, EscapeEveryValue) {
    struct Case {
        std::string got, want;
    } cases[] = {
        {service_path_version("1.14 Pre-Release 1"),
         "/v1/minecraft/version/1.14%20Pre-Release%201"},
        {service_path_version("1.20.1"), "/v1/minecraft/version/1.20.1"},
        {service_path_loader_versions("Forge", "1.20.1"), "/v1/loaders/forge?mc=1.20.1"},
        {service_path_loader_build("neoforge", "1.21.1", "21.1.248"),
         "/v1/loaders/neoforge/1.21.1/21.1.248"},
        {service_path_java(21, "linux", "x64"), "/v1/java/21?os=linux&arch=x64"},
        {service_path_search("sodium & lithium", "mod", "1.20.1", "fabric", "all"),
         "/v1/search?q=sodium%20%26%20lithium&type=mod&mc=1.20.1&loader=fabric&source=all"
         "&limit=20&offset=0"},
        {service_path_search("", "resourcepack", "", "", "modrinth"),
         "/v1/search?q=&type=resourcepack&mc=&loader=&source=modrinth&limit=20&offset=0"},
        {service_path_project("modrinth", "a/b?c"), "/v1/modrinth/a%2Fb%3Fc"},
        {service_path_files("curseforge", "238222", "1.20.1", "forge"),
         "/v1/curseforge/238222/files?mc=1.20.1&loader=forge"},
        {service_path_files("modrinth", "1KVo5zza", "1.20.1"),
         "/v1/modrinth/1KVo5zza/files?mc=1.20.1"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.got, c.want);
}

struct ServiceEnv : NetTestEnv {
    ServiceEnv() {
        g_settings.api_url = url("service") + "/netcheck";
        settings_save();
    }
};

TEST(ServiceClient, VersionDocumentNeedsLibraries) {
    ServiceEnv env;
    env.net->serve("/service/netcheck/v1/minecraft/version/1.14 Pre-Release 1",
                   "{\"id\":\"1.14 Pre-Release 1\",\"libraries\":[]}");
    env.net->serve("/service/netcheck/v1/minecraft/version/broken", "{\"id\":\"broken\"}");
    JsonPtr doc;
    std::string err;
    ASSERT_EQ(service_minecraft_version("1.14 Pre-Release 1", doc, &err), 0) << err;
    EXPECT_EQ(json_str(doc.get(), "id"), "1.14 Pre-Release 1");
    JsonPtr bad;
    EXPECT_EQ(service_minecraft_version("broken", bad, &err), -1);
    EXPECT_FALSE(bad);
    EXPECT_EQ(err, "API: неполный документ версии broken");
    EXPECT_EQ(service_minecraft_version("absent", bad, &err), -1);
    EXPECT_EQ(err, "API: HTTP 404");
}

TEST(ServiceClient, CurseForgeLookupGoesInChunksOfAThousand) {
    ServiceEnv env;
    std::vector<long long> ids;
    for (long long i = 1; i <= 2345; i++)
        ids.push_back(3000000000LL + i);
    JsonPtr out;
    std::string err;
    ASSERT_EQ(service_curseforge_files(ids, out, &err), 0) << err;
    EXPECT_EQ(env.net->hits("/service/netcheck/v1/curseforge/files"), 3);
    cJSON *files = json_get(out.get(), "files");
    ASSERT_EQ(cJSON_GetArraySize(files), 2345);
    // Order is kept and large ids survive the round trip.
    EXPECT_EQ(json_num(cJSON_GetArrayItem(files, 0), "id"), 3000000001.0);
    EXPECT_EQ(json_num(cJSON_GetArrayItem(files, 2344), "id"), 3000002345.0);

    EXPECT_EQ(service_curseforge_files({}, out, &err), 0);
    EXPECT_EQ(cJSON_GetArraySize(json_get(out.get(), "files")), 0);
    EXPECT_EQ(env.net->hits("/service/netcheck/v1/curseforge/files"), 3);
}

} // namespace
