// HTTP client against the fake network: web requests, answers that would
// fill memory, redirect loops.
#include "net/http.h"

#include "base/fs.h"
#include "fakenet/net_test_env.h"
#include "net/endpoints.h"
#include "net/download.h"
#include "net/fetch.h"
#include "net/service.h"

#include <gtest/gtest.h>

namespace {

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

// Nothing a document, a pack or a redirect names reaches this machine or the
// player's network unless it is a configured address: the second server
// here listens on 127.0.0.1 like the fake network, on a port nobody set.
TEST(InternalAddresses, OnlyConfiguredOnesAreReached) {
    NetTestEnv env;
    FakeNetPtr other = fakenet_start();
    other->serve("/x", "secret");
    std::string port = std::to_string(other->port);
    long status = 0;
    const std::string targets[] = {other->base() + "/x", "http://localhost:" + port + "/x",
                                   "http://user@127.0.0.1:" + port + "/x"};
    for (const std::string &url : targets) {
        EXPECT_FALSE(web_get(url, {}, &status)) << url;
        EXPECT_FALSE(fetch_url(env.url("modrinth_api") + "/redirect?to=" + url_escape(url), true))
            << url;
        TempDir t;
        EXPECT_NE(download_one(url, t.path + "/x"), 0) << url;
    }
    EXPECT_EQ(other->total_hits(), 0);
    EXPECT_EQ(env.count_messages("Запрос к 127.0.0.1:" + port + " не отправлен"), 1);
    EXPECT_EQ(env.count_messages("Запрос к localhost:" + port + " не отправлен"), 1);

    // The content service counts as configured, whoever set it.
    setenv("ZYL_API", other->base().c_str(), 1);
    service_state_reset_for_tests();
    EXPECT_EQ(web_get(other->base() + "/x", {}, &status), "secret");
    unsetenv("ZYL_API");
    service_state_reset_for_tests();
}

} // namespace
