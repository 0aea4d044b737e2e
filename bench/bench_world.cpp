// Benchmark set-up: the served 1.20.1 version and measured runs of zyl.
#include "bench_world.h"

#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"
#include "fakenet/fakenet.h"
#include "fakenet/world_install.h"
#include "net/http.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// An asset index of objects named like real sounds, each pointing in turn at
// one of the served index's objects, as long as it stays below limit bytes.
std::string big_index(const cJSON *served_index, long long limit) {
    std::vector<std::pair<std::string, long long>> objects;
    const cJSON *o = nullptr;
    cJSON_ArrayForEach(o, json_get(served_index, "objects"))
        objects.emplace_back(json_str(o, "hash"), static_cast<long long>(json_num(o, "size")));
    std::string out = "{\"objects\": {";
    const std::string close = "}}";
    for (size_t i = 0;; i++) {
        const auto &[hash, size] = objects[i % objects.size()];
        std::string entry = format_alloc(
            "%s\"minecraft/sounds/bench/generated/n%07zu.ogg\": {\"hash\": \"%s\", \"size\": %lld}",
            i ? ", " : "", i, hash.c_str(), size);
        if (static_cast<long long>(out.size() + entry.size() + close.size()) > limit) break;
        out += entry;
    }
    return out + close;
}

// The real 1.20.1 document with its files served by n, under the bench id.
std::string bench_document(FakeNet &n, int objects) {
    JsonPtr doc = json_read_file(fakenet_corpus("mojang/versions/1.20.1.json"));
    FakeInstallShape shape;
    shape.asset_objects = objects;
    shape.object_size = -1;
    fakeinstall_version_files(n, doc.get(), shape);
    cJSON_DeleteItemFromObjectCaseSensitive(doc.get(), "id");
    cJSON_AddStringToObject(doc.get(), "id", k_bench_id);
    return json_print(doc.get());
}

// Child: serves the version and writes the endpoint value and the document
// to out_fd; runs until the pipe from the parent closes.
[[noreturn]] void serve(int objects, bool with_big_index, int out_fd, int in_fd) {
    FakeNetPtr net = fakenet_start();
    std::string doc = bench_document(*net, objects);
    if (with_big_index) {
        JsonPtr parsed = json_parse(doc);
        std::string index_url = json_str(json_get(parsed.get(), "assetIndex"), "url");
        JsonPtr index = json_parse(net->files[index_url.substr(net->base().size())]);
        // 1 KB below the cap leaves room for nothing but the index itself.
        net->serve(k_bench_big_index_path, big_index(index.get(), k_body_max_bytes - 1024));
    }
    std::string msg = net->endpoints_env() + "\n" + doc;
    for (size_t done = 0; done < msg.size();) {
        ssize_t k = write(out_fd, msg.data() + done, msg.size() - done);
        if (k <= 0) _exit(1);
        done += static_cast<size_t>(k);
    }
    close(out_fd);
    char c;
    while (read(in_fd, &c, 1) > 0) {
    }
    _exit(0);
}

} // namespace

BenchServer bench_serve(int objects, bool big_index) {
    BenchServer s;
    int to_child[2], from_child[2];
    if (pipe(to_child) || pipe(from_child)) return s;
    s.child = fork();
    if (s.child == 0) {
        close(to_child[1]);
        close(from_child[0]);
        serve(objects, big_index, from_child[1], to_child[0]);
    }
    close(to_child[0]);
    close(from_child[1]);
    s.keep_fd = to_child[1];
    std::string msg;
    char buf[65536];
    for (ssize_t k; (k = read(from_child[0], buf, sizeof buf)) > 0;)
        msg.append(buf, static_cast<size_t>(k));
    close(from_child[0]);
    size_t nl = msg.find('\n');
    if (nl == std::string::npos) return s;
    s.endpoints = msg.substr(0, nl);
    s.document = msg.substr(nl + 1);
    setenv("ZYL_ENDPOINTS", s.endpoints.c_str(), 1);
    unsetenv("ZYL_API");
    unsetenv("ZYL_JAVA");
    return s;
}

void bench_stop(BenchServer &s) {
    if (s.keep_fd >= 0) close(s.keep_fd);
    if (s.child > 0) waitpid(s.child, nullptr, 0);
    s.keep_fd = -1;
    s.child = -1;
}

void bench_put_document(const std::string &data, const std::string &doc_text) {
    fs_mkdirs(format_alloc("%s/versions/%s", data.c_str(), k_bench_id));
    fs_write_atomic(format_alloc("%s/versions/%s/%s.json", data.c_str(), k_bench_id, k_bench_id),
                    doc_text);
}

double seconds(const timeval &t) {
    return t.tv_sec + t.tv_usec / 1e6;
}

Usage run_measured(const std::vector<std::string> &args) {
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    Usage u;
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid;
    int spawned = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (spawned != 0) return u;
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    u.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    u.rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    u.cpu = seconds(ru.ru_utime) + seconds(ru.ru_stime);
    u.peak_kb = ru.ru_maxrss;
    return u;
}

Usage best_of(int runs, const std::function<Usage()> &f) {
    Usage best;
    best.wall = 1e9;
    for (int i = 0; i < runs; i++) {
        Usage u = f();
        if (u.wall < best.wall) best = u;
    }
    return best;
}
