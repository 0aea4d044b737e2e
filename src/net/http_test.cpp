// HTTP client against the fake network: web requests, answers that would
// fill memory, redirect loops.
#include "net/http.h"

#include "base/fs.h"
#include "fakenet/net_test_env.h"
#include "fakenet/world_hostile.h"
#include "net/endpoints.h"
#include "net/download.h"
#include "net/fetch.h"
#include "net/service.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

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

// The length a transfer's progress reports, once the headers announced one.
struct AnnouncedLength {
    std::mutex lock;
    std::condition_variable changed;
    long total = 0;

    void attach(Job &job) {
        job.user = this;
        job.progress = [](void *u, long, long total, const char *) {
            AnnouncedLength *a = static_cast<AnnouncedLength *>(u);
            {
                std::lock_guard<std::mutex> lk(a->lock);
                a->total = total;
            }
            a->changed.notify_all();
        };
    }
    bool wait_for(long want) {
        std::unique_lock<std::mutex> lk(lock);
        return changed.wait_for(lk, std::chrono::seconds(10), [&] { return total == want; });
    }
};

// A cancel ends a transfer the server keeps waiting, before its headers or
// after them, at the next wake-up of the transfer loop rather than when the
// server goes on or gives up a minute later.
TEST(TransferPerform, CancelEndsASilentTransferAtOnce) {
    struct Case {
        const char *what;
        const char *route; // under the libraries endpoint
        long announced;    // the length to see before cancelling; 0: none comes
    } cases[] = {
        {"no headers", "/stalled.jar", 0},
        {"headers, then nothing", "/hostile/silent", k_hostile_silent_length},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        NetTestEnv env;
        env.net->serve("/libraries/stalled.jar", "jar");
        env.net->stall_ms = 60000;
        env.net->set_fault("/libraries/stalled.jar", Fault::Stall);
        Job job;
        AnnouncedLength seen;
        seen.attach(job);
        std::chrono::steady_clock::time_point cancelled_at;
        std::thread canceller([&] {
            EXPECT_TRUE(env.net->wait_hits_under(std::string("/libraries") + c.route, 1, 10000));
            if (c.announced) {
                EXPECT_TRUE(seen.wait_for(c.announced));
            }
            cancelled_at = std::chrono::steady_clock::now();
            job.cancel = true;
        });
        CurlPtr handle = transfer_handle_new(env.url("libraries") + c.route);
        CurlMultiPtr multi(curl_multi_init());
        CURLcode rc = transfer_perform(handle.get(), multi.get(), &job, "file");
        auto returned_after = std::chrono::steady_clock::now() - cancelled_at;
        canceller.join();
        EXPECT_EQ(rc, CURLE_ABORTED_BY_CALLBACK);
        long long ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(returned_after).count();
        printf("%s: cancel to return %lld ms\n", c.what, ms);
        EXPECT_LT(ms, 500);
    }
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
