// Download benchmark: a version's worth of asset-like files (4 to 64 KB)
// served from the fake network in a child process, fetched by download_batch
// into an empty folder (cold), then again with every file present (warm:
// verification only), next to sha1sum over the same files in two processes.
//
//   build/bench/bench_download [files] [folder]
// The files go to a new folder inside `folder` (default /tmp); /dev/shm takes
// the disk's inode allocation out of the cold figure.
#include "base/digest.h"
#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"
#include "base/ui.h"
#include "fakenet/fakenet.h"
#include "net/download.h"
#include "net/endpoints.h"
#include "net/http.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

// Connection and request counts of the server, for the client to ask.
FAKENET_WORLD("bench", [](FakeNet &n) {
    n.server.Get("/bench/stats", [&n](const httplib::Request &, httplib::Response &res) {
        res.set_content(format_alloc("{\"connections\":%d,\"requests\":%d}", n.connections() - 1,
                                     n.hits_under("/resources/")),
                        "application/json");
    });
    n.server.Get("/bench/reset", [&n](const httplib::Request &, httplib::Response &res) {
        n.reset_counters();
        res.set_content("{}", "application/json");
    });
});

namespace {

// The same deterministic files in both processes.
std::string file_content(int i) {
    uint64_t x = 0x9e3779b97f4a7c15ULL * static_cast<uint64_t>(i + 1);
    auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return x;
    };
    size_t size = 4096 + next() % (64 * 1024 - 4096 + 1);
    std::string s(size, '\0');
    for (size_t k = 0; k < size; k += 8) {
        uint64_t v = next();
        for (size_t b = 0; b < 8 && k + b < size; b++)
            s[k + b] = static_cast<char>(v >> (8 * b));
    }
    return s;
}

std::string object_path(const std::string &sha1) {
    return sha1.substr(0, 2) + "/" + sha1;
}

// Child: serves every file and prints the endpoint value; runs until the pipe closes.
[[noreturn]] void serve(int files, int out_fd, int in_fd) {
    FakeNetPtr net = fakenet_start();
    for (int i = 0; i < files; i++) {
        std::string body = file_content(i);
        std::string sha1 = sha1_hex(body.data(), body.size());
        net->serve("/resources/" + object_path(sha1), std::move(body));
    }
    std::string env = net->endpoints_env() + "\n";
    if (write(out_fd, env.data(), env.size()) < 0) _exit(1);
    char c;
    while (read(in_fd, &c, 1) > 0) {
    }
    _exit(0);
}

struct Usage {
    double wall = 0, cpu = 0;
};

double cpu_seconds(int who) {
    rusage ru{};
    getrusage(who, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec +
           (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

template <typename F> Usage measure(int who, F &&f) {
    auto t0 = std::chrono::steady_clock::now();
    double c0 = cpu_seconds(who);
    f();
    Usage u;
    u.cpu = cpu_seconds(who) - c0;
    u.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return u;
}

// sha1sum over the files in two processes, each given half of them.
void sha1sum_two(const std::vector<std::string> &paths) {
    std::vector<pid_t> pids;
    for (int half = 0; half < 2; half++) {
        std::vector<char *> argv = {const_cast<char *>("sha1sum")};
        for (size_t i = half; i < paths.size(); i += 2)
            argv.push_back(const_cast<char *>(paths[i].c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        pid_t pid;
        if (posix_spawnp(&pid, "sha1sum", &fa, nullptr, argv.data(), environ) == 0)
            pids.push_back(pid);
        posix_spawn_file_actions_destroy(&fa);
    }
    for (pid_t p : pids)
        waitpid(p, nullptr, 0);
}

Usage best_of(int runs, int who, const std::function<void()> &f) {
    Usage best{1e9, 1e9};
    for (int i = 0; i < runs; i++) {
        Usage u = measure(who, f);
        if (u.wall < best.wall) best = u;
    }
    return best;
}

} // namespace

int main(int argc, char **argv) {
    int files = argc > 1 ? atoi(argv[1]) : 3000;
    int to_child[2], from_child[2];
    if (pipe(to_child) || pipe(from_child)) return 1;
    pid_t child = fork();
    if (child == 0) {
        close(to_child[1]);
        close(from_child[0]);
        serve(files, from_child[1], to_child[0]);
    }
    close(to_child[0]);
    close(from_child[1]);

    // Meanwhile the list: the same files, hashed here without keeping them.
    DownloadList list;
    long long total_bytes = 0;
    std::vector<std::string> shas;
    for (int i = 0; i < files; i++) {
        std::string body = file_content(i);
        total_bytes += static_cast<long long>(body.size());
        shas.push_back(sha1_hex(body.data(), body.size()));
    }
    std::string env;
    char c;
    while (read(from_child[0], &c, 1) == 1 && c != '\n')
        env += c;
    setenv("ZYL_ENDPOINTS", env.c_str(), 1);
    unsetenv("ZYL_API");
    endpoints_reload();

    std::string parent = argc > 2 ? argv[2] : "/tmp";
    std::string tmpl = parent + "/zyl-bench-XXXXXX";
    if (!mkdtemp(tmpl.data())) {
        fprintf(stderr, "cannot create a folder in %s\n", parent.c_str());
        return 1;
    }
    struct Cleanup {
        std::string path;
        ~Cleanup() { fs_remove_tree(path); }
    } dir{tmpl};
    std::vector<std::string> paths;
    for (const std::string &sha1 : shas) {
        std::string rel = object_path(sha1);
        list.push_back({endpoint("resources") + "/" + rel, dir.path + "/objects/" + rel, sha1, 0});
        paths.push_back(dir.path + "/objects/" + rel);
    }
    web_get(endpoint("resources").substr(0, endpoint("resources").rfind('/')) + "/bench/reset");

    int workers = download_worker_count(list);
    int cold_rc = 0;
    Usage cold = measure(RUSAGE_SELF, [&] {
        DownloadList l = list;
        cold_rc = download_batch(l, "bench", dir.path);
    });
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    long peak_kb = ru.ru_maxrss;
    std::string stats_url =
        endpoint("resources").substr(0, endpoint("resources").rfind('/')) + "/bench/stats";
    JsonPtr stats = json_parse(web_get(stats_url).value_or("{}"));
    int connections = static_cast<int>(json_num(stats.get(), "connections"));
    int requests = static_cast<int>(json_num(stats.get(), "requests"));

    int warm_rc = 0;
    web_get(endpoint("resources").substr(0, endpoint("resources").rfind('/')) + "/bench/reset");
    Usage warm = best_of(3, RUSAGE_SELF, [&] {
        DownloadList l = list;
        warm_rc |= download_batch(l, "bench", dir.path);
    });
    stats = json_parse(web_get(stats_url).value_or("{}"));
    int warm_requests = static_cast<int>(json_num(stats.get(), "requests"));
    Usage ref = best_of(3, RUSAGE_CHILDREN, [&] { sha1sum_two(paths); });

    close(to_child[1]);
    waitpid(child, nullptr, 0);

    double mb = total_bytes / 1e6;
    printf("files %d, %.1f MB, %d workers, into %s\n", files, mb, workers, parent.c_str());
    printf("%-26s %9s %9s %9s %9s\n", "", "wall s", "files/s", "MB/s", "CPU s");
    auto row = [&](const char *name, const Usage &u) {
        printf("%-26s %9.3f %9.0f %9.1f %9.3f\n", name, u.wall, files / u.wall, mb / u.wall, u.cpu);
    };
    row("cold batch (download)", cold);
    row("warm batch (verify only)", warm);
    row("sha1sum, 2 processes", ref);
    printf("cold: %s, %d requests over %d connections; peak RSS %.1f MB\n",
           cold_rc == 0 ? "all files verified" : "FAILURES", requests, connections,
           peak_kb / 1024.0);
    printf("warm: %s, %d requests; warm / sha1sum = %.2fx (target <= 1.5x)\n",
           warm_rc == 0 ? "ok" : "FAILURES", warm_requests, warm.wall / ref.wall);
    return cold_rc == 0 && warm_rc == 0 ? 0 : 1;
}
