// Download engine against the fake network: verification, source order,
// failures that must leave destinations alone, and the batch pool.
#include "net/download.h"

#include "base/digest.h"
#include "base/fs.h"
#include "fakenet/net_test_env.h"
#include "net/endpoints.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

std::string content(int i) {
    return "object " + std::to_string(i) + std::string(100 + i, 'x');
}

// Names of the leftover part files under folder.
std::vector<std::string> part_files(const std::string &folder) {
    std::vector<std::string> out;
    for (const std::string &name : dir_list(folder).value_or(std::vector<std::string>{})) {
        std::string path = folder + "/" + name;
        if (fs_is_dir(path)) {
            for (const std::string &p : part_files(path))
                out.push_back(p);
        } else if (name.find(".part") != std::string::npos) {
            out.push_back(path);
        }
    }
    return out;
}

TEST(DownloadList, EmptyUrlIgnored) {
    DownloadList l;
    download_list_add(l, "", "/x");
    download_list_add(l, "http://h/a", "/a", "", -1);
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0].path, "/a");
}

TEST(DownloadFile, VerifiesAndMovesIntoPlace) {
    NetTestEnv env;
    std::string body = content(1);
    env.net->serve("/libraries/a/b.jar", body);
    std::string dest = env.tmp.path + "/libs/a/b.jar";
    ASSERT_EQ(download_file(env.url("libraries") + "/a/b.jar", dest,
                            sha1_hex(body.data(), body.size()), false),
              0);
    EXPECT_EQ(fs_read_all(dest), body);
    EXPECT_TRUE(part_files(env.tmp.path).empty());
    // The sha1 comparison ignores case.
    std::string upper = str_lower(sha1_hex(body.data(), body.size()));
    for (char &ch : upper)
        ch = static_cast<char>(toupper(ch));
    EXPECT_EQ(download_file(env.url("libraries") + "/a/b.jar", dest, upper, true), 0);
}

TEST(DownloadFile, HttpErrorStopsAtOnceAndKeepsTheGoodFile) {
    NetTestEnv env;
    std::string dest = env.tmp.path + "/x.jar";
    fs_write_atomic(dest, std::string("good old file"));
    EXPECT_EQ(download_file(env.url("libraries") + "/missing.jar", dest, "", false), -1);
    EXPECT_EQ(env.net->hits("/libraries/missing.jar"), 1);
    EXPECT_EQ(fs_read_all(dest), "good old file");
    EXPECT_TRUE(part_files(env.tmp.path).empty());
    EXPECT_EQ(env.messages(),
              std::vector<std::string>{"Не удалось скачать " + env.url("libraries") +
                                       "/missing.jar: файл не найден на сервере (HTTP 404)"});
}

TEST(DownloadFile, ClosedServiceStopsAfterOneAttemptAndSetsTheLatch) {
    NetTestEnv env({"service"});
    std::string dest = env.tmp.path + "/y.jar";
    EXPECT_EQ(download_file(service_base_url() + "/v1/files/y.jar", dest, "", true), -1);
    EXPECT_TRUE(service_is_down());
    EXPECT_EQ(env.count_messages("использую прямые адреса"), 1);
    EXPECT_FALSE(fs_exists(dest));
}

TEST(DownloadOne, ShaMismatchIsRetriedPerSourceThenFailsLeavingTheDestination) {
    NetTestEnv env;
    std::string body = content(2);
    std::string sha1 = sha1_hex(body.data(), body.size());
    std::string path = "/resources/ab/" + sha1;
    env.net->serve(path, body);
    env.net->set_fault(path, Fault::WrongBytes);
    env.net->set_fault("/service/v1/download", Fault::WrongBytes);
    std::string dest = env.tmp.path + "/objects/ab/" + sha1;
    fs_mkdirs_parent(dest);
    fs_write_atomic(dest, std::string("stale bytes"));

    std::string url = env.url("resources") + "/ab/" + sha1;
    EXPECT_EQ(download_one(url, dest, sha1), -1);
    // Mojang directly (4), the service (3), the public URL again (4).
    EXPECT_EQ(env.net->hits(path), 8);
    EXPECT_EQ(env.net->hits("/service/v1/download"), 3);
    EXPECT_EQ(env.count_messages("SHA1 не совпал: " + url), 8);
    EXPECT_EQ(env.count_messages("SHA1 не совпал: " + service_base_url()), 3);
    EXPECT_EQ(env.count_messages("Не удалось скачать " + url), 1);
    EXPECT_EQ(env.messages().size(), 12u);
    EXPECT_EQ(fs_read_all(dest), "stale bytes");
    EXPECT_TRUE(part_files(env.tmp.path).empty());
}

TEST(DownloadWithFallback, SkipsPresentFilesAndReplacesWrongOnes) {
    NetTestEnv env;
    std::string body = content(3);
    std::string sha1 = sha1_hex(body.data(), body.size());
    env.net->serve("/fabric_meta/f.jar", body);
    std::string url = env.url("fabric_meta") + "/f.jar";
    std::string dest = env.tmp.path + "/f.jar";
    struct Case {
        const char *name;
        std::string existing; // "" = absent
        std::string sha1;
        long long size;
        bool want_fetch;
    } cases[] = {
        {"absent", "", sha1, 0, true},
        {"right sha1", body, sha1, 0, false},
        {"wrong sha1", "corrupt", sha1, 0, true},
        {"no sha1, no size", "anything", "", -1, false},
        {"no sha1, right size", std::string(body.size(), 'y'), "", (long long)body.size(), false},
        {"no sha1, wrong size", "short", "", (long long)body.size(), true},
    };
    for (const Case &c : cases) {
        fs_delete(dest);
        if (!c.existing.empty()) fs_write_atomic(dest, c.existing);
        env.net->reset_counters();
        EXPECT_EQ(download_with_fallback(url, dest, c.sha1, c.size), 0) << c.name;
        EXPECT_EQ(env.net->hits("/service/v1/download") > 0, c.want_fetch) << c.name;
        EXPECT_EQ(fs_read_all(dest), c.want_fetch ? body : c.existing) << c.name;
    }
}

TEST(DownloadWithFallback, NotFoundFailsASourceAtOnceAndMovesOn) {
    NetTestEnv env;
    std::string body = content(4);
    env.net->serve("/piston_data/client.jar", body);
    env.net->set_fault("/piston_data/client.jar", Fault::NotFound);
    std::string dest = env.tmp.path + "/client.jar";
    ASSERT_EQ(download_one(env.url("piston_data") + "/client.jar", dest), 0);
    EXPECT_EQ(env.net->hits("/piston_data/client.jar"), 1);
    EXPECT_EQ(env.net->hits("/service/v1/download"), 1);
    EXPECT_EQ(direct_first_failures(), 1);
    EXPECT_EQ(fs_read_all(dest), body);
    EXPECT_TRUE(env.messages().empty());
}

TEST(DownloadViaService, PathThenDirect) {
    std::string body = content(5);
    std::string sha1 = sha1_hex(body.data(), body.size());
    struct Case {
        const char *name;
        bool service_closed;
        Fault service_fault;
        std::string path, direct;
        int want;
        int want_service_hits, want_direct_hits;
        std::vector<std::string> want_messages; // texts before the URL
    } cases[] = {
        {"service", false, Fault::None, "/v1/files/m.jar", "direct", 0, 1, 0, {}},
        {"service fails, direct",
         false,
         Fault::NotFound,
         "/v1/files/m.jar",
         "direct",
         0,
         1,
         1,
         {"Через API не скачалось, пробую напрямую: "}},
        {"service fails, no direct",
         false,
         Fault::NotFound,
         "/v1/files/m.jar",
         "",
         -1,
         1,
         0,
         {"Не удалось скачать "}},
        {"service down, direct",
         true,
         Fault::None,
         "/v1/files/m.jar",
         "direct",
         0,
         0,
         1,
         {"Через API не скачалось, пробую напрямую: "}},
        {"service down, no direct", true, Fault::None, "/v1/files/m.jar", "", -1, 0, 0, {}},
        {"no path", false, Fault::None, "", "direct", 0, 0, 1, {}},
        {"nothing", false, Fault::None, "", "", -1, 0, 0, {}},
    };
    for (const Case &c : cases) {
        NetTestEnv env;
        if (c.service_closed) service_mark_unreachable(CURLE_COULDNT_CONNECT);
        env.net->serve("/service/v1/files/m.jar", body);
        env.net->serve("/modrinth_web/m.jar", body);
        env.net->set_fault("/service/v1/files", c.service_fault);
        std::string direct = c.direct.empty() ? "" : env.url("modrinth_web") + "/m.jar";
        std::string dest = env.tmp.path + "/mods/m.jar";
        auto before = env.messages().size();
        EXPECT_EQ(download_via_service(c.path, direct, dest, sha1), c.want) << c.name;
        EXPECT_EQ(env.net->hits("/service/v1/files/m.jar"), c.want_service_hits) << c.name;
        EXPECT_EQ(env.net->hits("/modrinth_web/m.jar"), c.want_direct_hits) << c.name;
        EXPECT_EQ(fs_exists(dest), c.want == 0) << c.name;
        auto msgs = env.messages();
        msgs.erase(msgs.begin(), msgs.begin() + static_cast<long>(before));
        ASSERT_EQ(msgs.size(), c.want_messages.size()) << c.name;
        for (size_t i = 0; i < msgs.size(); i++)
            EXPECT_EQ(msgs[i].rfind(c.want_messages[i], 0), 0u) << c.name << ": " << msgs[i];
    }
}

TEST(DownloadViaService, PresentFileWithMatchingShaIsKept) {
    NetTestEnv env;
    std::string body = content(6);
    std::string dest = env.tmp.path + "/m.jar";
    fs_write_atomic(dest, body);
    EXPECT_EQ(download_via_service("/v1/files/m.jar", "", dest, sha1_hex(body.data(), body.size())),
              0);
    EXPECT_EQ(env.net->hits("/service/v1/files/m.jar"), 0);
}

DownloadList asset_list(NetTestEnv &env, int n, const std::string &endpoint_name) {
    DownloadList list;
    for (int i = 0; i < n; i++) {
        std::string body = content(i);
        std::string sha1 = sha1_hex(body.data(), body.size());
        std::string rel = sha1.substr(0, 2) + "/" + sha1;
        env.net->serve("/" + endpoint_name + "/" + rel, body);
        list.push_back({env.url(endpoint_name) + "/" + rel, env.tmp.path + "/objects/" + rel, sha1,
                        static_cast<long long>(body.size())});
    }
    return list;
}

TEST(DownloadBatch, WorkerCounts) {
    struct Case {
        const char *name;
        bool down;
        int direct_failures;
        const char *first_host;
        int items;
        int want;
    } cases[] = {
        {"service, public files", false, 0, "modrinth_web", 100, 6},
        {"mojang files", false, 0, "resources", 100, 16},
        {"mojang after three direct failures", false, 3, "resources", 100, 6},
        {"mojang after two direct failures", false, 2, "resources", 100, 16},
        {"service down", true, 0, "modrinth_web", 100, 16},
        {"three items", false, 0, "resources", 3, 3},
        {"one item", true, 0, "modrinth_web", 1, 1},
    };
    for (const Case &c : cases) {
        NetTestEnv env;
        if (c.down) service_mark_unreachable(CURLE_COULDNT_RESOLVE_HOST);
        for (int i = 0; i < c.direct_failures; i++)
            direct_first_failed();
        DownloadList list;
        for (int i = 0; i < c.items; i++)
            list.push_back({env.url(c.first_host) + "/f" + std::to_string(i),
                            "/d/" + std::to_string(1000 + i), "", 0});
        EXPECT_EQ(download_worker_count(list), c.want) << c.name;
    }
}

TEST(DownloadBatch, ServiceDownFetchesAssetsDirectlyOverReusedConnections) {
    NetTestEnv env({"service"});
    service_mark_unreachable(CURLE_COULDNT_CONNECT);
    DownloadList list = asset_list(env, 100, "resources");
    ASSERT_EQ(download_worker_count(list), 16);
    ASSERT_EQ(download_batch(list, "Ресурсы", env.tmp.path), 0);
    for (const DownloadItem &item : list) {
        std::string got;
        ASSERT_EQ(file_sha1_hex(item.path, got), 0) << item.path;
        EXPECT_EQ(got, item.sha1);
    }
    // Each worker keeps its connection: never one per file.
    EXPECT_LE(env.net->connections(), 16);
    EXPECT_EQ(env.net->hits("/service/v1/download"), 0);
    // Progress: the start, every 16 files, and the end.
    std::vector<long> want = {0, 16, 32, 48, 64, 80, 96, 100};
    std::lock_guard<std::mutex> lk(captured_ui().lock);
    EXPECT_EQ(captured_ui().progress_done, want);
    EXPECT_EQ(captured_ui().progress_total, 100);
}

// Once Mojang failed directly three times, a batch of its files makes no
// direct attempt at all: each would otherwise wait out its own failure (a
// connect timeout when Mojang is unreachable) before the service.
TEST(DownloadBatch, AfterThreeDirectFailuresMojangFilesGoThroughTheService) {
    NetTestEnv env;
    DownloadList list = asset_list(env, 12, "libraries");
    env.net->set_fault("/libraries/", Fault::ServerError); // direct requests only
    for (int i = 0; i < 3; i++)
        ASSERT_EQ(download_one(list[i].url, list[i].path, list[i].sha1), 0);
    ASSERT_EQ(direct_first_failures(), 3);
    ASSERT_EQ(env.net->hits_under("/libraries/"), 3);

    env.net->reset_counters();
    ASSERT_EQ(download_batch(list, "Библиотеки", env.tmp.path), 0);
    EXPECT_EQ(env.net->hits_under("/libraries/"), 0);
    EXPECT_EQ(env.net->hits("/service/v1/download"), 9); // the first three are present
    for (const DownloadItem &item : list)
        EXPECT_TRUE(fs_exists(item.path)) << item.path;
}

TEST(DownloadBatch, SortsAndFetchesEachDestinationOnce) {
    NetTestEnv env;
    DownloadList list = asset_list(env, 5, "modrinth_web");
    list.push_back(list[2]);
    list.push_back(list[0]);
    list.push_back(list[2]);
    ASSERT_EQ(download_batch(list, "Файлы", env.tmp.path), 0);
    ASSERT_EQ(list.size(), 5u);
    for (size_t i = 1; i < list.size(); i++)
        EXPECT_LT(list[i - 1].path, list[i].path);
    EXPECT_EQ(env.net->hits("/service/v1/download"), 5);
}

TEST(DownloadBatch, FailuresAreCountedAndTheRestStillArrive) {
    NetTestEnv env;
    DownloadList list = asset_list(env, 20, "modrinth_web");
    std::string bad = list[7].url.substr(env.net->base().size());
    env.net->set_fault(bad, Fault::NotFound);
    env.net->set_fault(FakeNet::proxy_path(bad), Fault::NotFound);
    // A second bad one whose bytes never match.
    std::string corrupt = list[11].url.substr(env.net->base().size());
    env.net->set_fault(corrupt, Fault::WrongBytes);
    env.net->set_fault(FakeNet::proxy_path(corrupt), Fault::WrongBytes);
    std::string bad_url = list[7].url, corrupt_url = list[11].url;
    EXPECT_EQ(download_batch(list, "Моды", env.tmp.path), -1);
    EXPECT_EQ(env.count_messages("Моды: 2 файлов не скачано"), 1);
    EXPECT_EQ(env.count_messages("Не удалось скачать " + bad_url), 1);
    EXPECT_EQ(env.count_messages("Не удалось скачать " + corrupt_url), 1);
    int present = 0;
    for (const DownloadItem &item : list)
        present += fs_exists(item.path);
    EXPECT_EQ(present, 18);
    EXPECT_TRUE(part_files(env.tmp.path).empty());
}

// What a job record received, from any thread.
struct JobLog {
    std::mutex lock;
    std::vector<std::string> messages;
    std::vector<std::pair<long, long>> progress;
    std::vector<std::string> labels;
    std::vector<std::thread::id> progress_threads;
    std::function<void(long)> on_progress; // runs inside the callback, unlocked

    void attach(Job &job) {
        job.user = this;
        job.message = [](void *u, const char *text) {
            JobLog *l = static_cast<JobLog *>(u);
            std::lock_guard<std::mutex> lk(l->lock);
            l->messages.push_back(text);
        };
        job.progress = [](void *u, long done, long total, const char *label) {
            JobLog *l = static_cast<JobLog *>(u);
            {
                std::lock_guard<std::mutex> lk(l->lock);
                l->progress.emplace_back(done, total);
                l->labels.push_back(label);
                l->progress_threads.push_back(std::this_thread::get_id());
            }
            if (l->on_progress) l->on_progress(done);
        };
    }
};

// A batch cancelled from another thread while every transfer waits on a
// server that sends nothing stops at once, fetches nothing and leaves no
// part file; the reason names the cancel.
TEST(DownloadBatch, CancelledFromAnotherThreadStopsAtOnce) {
    NetTestEnv env({"service"});
    service_mark_unreachable(CURLE_COULDNT_CONNECT);
    DownloadList list = asset_list(env, 40, "resources");
    env.net->stall_ms = 60000;
    env.net->set_fault("/resources/", Fault::Stall);
    Job job;
    JobLog log;
    log.attach(job);
    std::chrono::steady_clock::time_point cancelled_at;
    std::thread canceller([&] {
        // Every worker has a transfer waiting on the silent server.
        EXPECT_TRUE(env.net->wait_hits_under("/resources/", 16, 10000));
        cancelled_at = std::chrono::steady_clock::now();
        job.cancel = true;
    });
    std::string err;
    int rc = download_batch(list, "Ресурсы", env.tmp.path, 0, nullptr, &job, &err);
    auto stopped_after = std::chrono::steady_clock::now() - cancelled_at;
    canceller.join();
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(err, "Ресурсы: Операция отменена");
    // A batch that ignored the flag would wait out the minute-long stall.
    EXPECT_LT(stopped_after, std::chrono::seconds(5));
    printf("cancel to return: %lld ms\n",
           static_cast<long long>(
               std::chrono::duration_cast<std::chrono::milliseconds>(stopped_after).count()));
    EXPECT_EQ(env.net->hits_under("/resources/"), 16); // no file started after the cancel
    for (const DownloadItem &item : list)
        EXPECT_FALSE(fs_exists(item.path)) << item.path;
    EXPECT_TRUE(part_files(env.tmp.path).empty());
    std::lock_guard<std::mutex> lk(log.lock);
    for (const std::string &m : log.messages)
        EXPECT_EQ(m.find("Не удалось скачать"), std::string::npos) << m;
}

// Progress comes from the thread that runs the batch, with no lock held that
// the workers need: while the hook waits, the workers go on fetching.
TEST(DownloadBatch, ProgressHookDoesNotHoldUpTheWorkers) {
    NetTestEnv env({"service"});
    service_mark_unreachable(CURLE_COULDNT_CONNECT);
    DownloadList list = asset_list(env, 64, "resources");
    Job job;
    JobLog log;
    log.attach(job);
    bool rest_arrived = false;
    log.on_progress = [&](long done) {
        if (done == 16) rest_arrived = env.net->wait_hits_under("/resources/", 64, 10000);
    };
    ASSERT_EQ(download_batch(list, "Ресурсы", env.tmp.path, 0, nullptr, &job), 0);
    EXPECT_TRUE(rest_arrived);
    std::lock_guard<std::mutex> lk(log.lock);
    std::vector<std::pair<long, long>> want = {{0, 64}, {16, 64}, {32, 64}, {48, 64}, {64, 64}};
    EXPECT_EQ(log.progress, want);
    for (std::thread::id id : log.progress_threads)
        EXPECT_EQ(id, std::this_thread::get_id());
}

// A single download tells the job its bytes under the file's name, and a
// cancel while the source sends nothing ends it without trying the others.
TEST(DownloadOne, ReportsBytesAndStopsOnCancel) {
    NetTestEnv env;
    std::string body(300000, 'j');
    env.net->serve("/adoptium/jre.tar.gz", body);
    Job job;
    JobLog log;
    log.attach(job);
    std::string dest = env.tmp.path + "/cache/jre.tar.gz";
    ASSERT_EQ(download_one(env.url("adoptium") + "/jre.tar.gz", dest, "", &job), 0);
    {
        std::lock_guard<std::mutex> lk(log.lock);
        ASSERT_FALSE(log.progress.empty());
        EXPECT_EQ(log.progress.back(), std::make_pair(300000L, 300000L));
        EXPECT_EQ(log.labels.back(), "jre.tar.gz");
    }

    env.net->stall_ms = 60000;
    env.net->set_fault("/service/v1/download", Fault::Stall);
    std::thread canceller([&] {
        EXPECT_TRUE(env.net->wait_hits_under("/service/v1/download", 1, 10000));
        job.cancel = true;
    });
    std::string other = env.tmp.path + "/cache/other.jar";
    env.net->serve("/adoptium/other.jar", "x");
    EXPECT_EQ(download_one(env.url("adoptium") + "/other.jar", other, "", &job), -1);
    canceller.join();
    EXPECT_EQ(env.net->hits("/adoptium/other.jar"), 0); // the direct source was not tried
    EXPECT_FALSE(fs_exists(other));
    EXPECT_TRUE(part_files(env.tmp.path).empty());
}

TEST(DownloadArrays, SkipsEntriesWithoutUrl) {
    NetTestEnv env;
    env.net->serve("/curseforge_web/a.zip", "A");
    env.net->serve("/curseforge_web/b.zip", "B");
    StrList urls = {env.url("curseforge_web") + "/a.zip", "", env.url("curseforge_web") + "/b.zip"};
    StrList paths = {env.tmp.path + "/a.zip", env.tmp.path + "/none", env.tmp.path + "/b.zip"};
    StrList sha1s = {sha1_hex("A", 1), "", sha1_hex("B", 1)};
    EXPECT_EQ(download_arrays(urls, paths, &sha1s, "Файлы модпака", env.tmp.path), 0);
    EXPECT_EQ(fs_read_all(env.tmp.path + "/a.zip"), "A");
    EXPECT_EQ(fs_read_all(env.tmp.path + "/b.zip"), "B");
    EXPECT_FALSE(fs_exists(env.tmp.path + "/none"));
    EXPECT_EQ(download_arrays({}, {}, nullptr, "Файлы модпака", env.tmp.path), 0);
}

// A server sending more than the file has (without end, announcing 2 GB, or
// a few bytes over in a chunked answer that announces nothing), or
// redirecting forever, fails that source at once instead of filling the disk
// or looping.
TEST(DownloadWithFallback, HostileAnswersStopAtTheExpectedSize) {
    struct Case {
        const char *route;
        const char *query;
        int hits;
        const char *reason;
    } cases[] = {
        {"/hostile/endless", "", 1, "файл больше ожидаемого"},
        {"/hostile/chunked", "?bytes=389", 1, "файл больше ожидаемого"},
        {"/hostile/huge", "", 1, "файл больше допустимого (Maximum file size exceeded)"},
        {"/hostile/loop", "", 11,
         "слишком много перенаправлений (Number of redirects hit maximum amount)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.route);
        NetTestEnv env({"service"});
        service_mark_unreachable(CURLE_COULDNT_CONNECT);
        std::string url = env.url("libraries") + c.route + c.query;
        std::string dest = env.tmp.path + "/lib/x.jar";
        EXPECT_EQ(download_with_fallback(url, dest, "", 386), -1);
        EXPECT_EQ(env.net->hits(std::string("/libraries") + c.route), c.hits);
        EXPECT_FALSE(fs_exists(dest));
        EXPECT_TRUE(part_files(env.tmp.path).empty());
        EXPECT_EQ(env.count_messages("Не удалось скачать " + url + ": " + c.reason), 1);
    }
}

// Part files of killed processes go once their destination arrived (or when
// an install sweeps its folders); those of running processes stay.
TEST(DownloadFile, SuccessRemovesPartFilesOfGoneProcesses) {
    NetTestEnv env;
    std::string body = content(7);
    env.net->serve("/libraries/a.jar", body);
    std::string dir = env.tmp.path + "/libs";
    std::string dest = dir + "/a.jar";
    std::string gone = std::to_string(ended_process_id()), alive = std::to_string(getppid());
    struct Case {
        std::string name;
        bool after_download, after_sweep; // still there
    } cases[] = {
        {"a.jar.part" + gone + "-3", false, false},
        {"a.jar.part7", false, false}, // named by an earlier version: no owner
        {"a.jar.part" + alive + "-1", true, true},
        {"a.jar.partial", true, true},
        {"b.jar.part" + gone + "-1", true, false}, // another destination
    };
    for (const Case &c : cases)
        ASSERT_EQ(fs_write_atomic(dir + "/" + c.name, std::string("left over")), 0);

    ASSERT_EQ(download_file(env.url("libraries") + "/a.jar", dest, "", false), 0);
    EXPECT_EQ(fs_read_all(dest), body);
    for (const Case &c : cases)
        EXPECT_EQ(fs_exists(dir + "/" + c.name), c.after_download) << c.name;
    download_remove_stale_parts(env.tmp.path);
    for (const Case &c : cases)
        EXPECT_EQ(fs_exists(dir + "/" + c.name), c.after_sweep) << c.name;
}

TEST(DownloadBatch, DestinationsOutsideTheRootAreRefused) {
    NetTestEnv env;
    DownloadList list = asset_list(env, 2, "modrinth_web");
    std::string root = env.tmp.path + "/objects";
    const DownloadItem first = list[0];
    for (const std::string &path :
         {root + "/../outside.jar", env.tmp.path + "/elsewhere/x", root + "/./x", root})
        list.push_back({first.url, path, first.sha1, 0});
    // One more the caller had to leave out itself.
    EXPECT_EQ(download_batch(list, "Ресурсы", root, 1), -1);
    EXPECT_EQ(env.count_messages("Ресурсы: 5 файлов не скачано"), 1);
    EXPECT_EQ(env.count_messages("Файл вне папки " + root + " не скачан: "), 4);
    EXPECT_TRUE(fs_exists(first.path));
    EXPECT_FALSE(fs_exists(env.tmp.path + "/outside.jar"));
    EXPECT_FALSE(fs_exists(env.tmp.path + "/elsewhere"));
}

// A file that cannot be written is the disk's fault, not the network's: it is
// told once with the system's reason, and a full disk (here a file size
// limit) stops the batch instead of failing every file in turn.
TEST(DownloadBatch, WriteFailuresAreReportedOnceAndAFullDiskStopsTheBatch) {
    {
        NetTestEnv env;
        DownloadList list = asset_list(env, 40, "modrinth_web");
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 50; // every object is larger
        auto old_handler = signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        int rc = download_batch(list, "Моды", env.tmp.path);
        setrlimit(RLIMIT_FSIZE, &old);
        signal(SIGXFSZ, old_handler);

        EXPECT_EQ(rc, -1);
        EXPECT_EQ(env.count_messages("Не удалось записать " + env.tmp.path + "/objects/"), 1);
        EXPECT_EQ(env.count_messages(": Файл слишком велик"), 1);
        EXPECT_EQ(env.count_messages("Не удалось скачать"), 0);
        EXPECT_EQ(env.count_messages("Моды: 40 файлов не скачано"), 1);
        EXPECT_LE(env.net->hits("/service/v1/download"), 6); // the files in flight, no more
        EXPECT_TRUE(part_files(env.tmp.path).empty());
    }
    // A folder that cannot be made (a file stands in the way) stops nothing.
    NetTestEnv env;
    DownloadList two = asset_list(env, 2, "modrinth_web");
    ASSERT_EQ(fs_write_atomic(env.tmp.path + "/objects", std::string("a file")), 0);
    EXPECT_EQ(download_batch(two, "Моды", env.tmp.path), -1);
    EXPECT_EQ(env.count_messages(": Not a directory"), 1);
    EXPECT_EQ(env.count_messages("Моды: 2 файлов не скачано"), 1);
    EXPECT_EQ(env.net->hits("/service/v1/download"), 0);
}

} // namespace
