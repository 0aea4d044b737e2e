// The fake network: one HTTP server on 127.0.0.1 serving a small, coherent
// world in the real formats of every outside service the launcher uses.
// Each world file (world_*.cpp) registers its routes with FAKENET_WORLD.
#pragma once

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

enum class Fault {
    None,
    NotFound,    // 404
    ServerError, // 500
    WrongBytes,  // 200 with the body's bytes changed (SHA-1 mismatch)
    Stall,       // waits stall_ms before answering (bounded; cut short when the server stops)
    Hold,        // waits until the fault is changed (bounded by hold_ms), then answers
};

struct FakeNet {
    httplib::Server server;
    int port = 0;
    std::thread thread;
    // Every endpoint name is served under "/<name>" of this server.
    std::string base() const;
    // The base address of one endpoint on this server ("http://127.0.0.1:P/<name>").
    std::string url(const std::string &endpoint_name) const;
    // The ZYL_ENDPOINTS value that points every endpoint here; the names in
    // `unreachable` point at a closed port instead.
    std::string endpoints_env(const std::vector<std::string> &unreachable = {}) const;

    // Faults by path prefix ("/piston_data/v1/objects/..."); the longest prefix wins.
    // A process outside (the interface tests) sets them with
    //   GET /fakenet/fault?path=<prefix>&kind=none|404|500|wrong|stall|hold
    // asks how many requests under a prefix a Hold keeps waiting with
    //   GET /fakenet/waiting?path=<prefix>
    // and how many requests under a prefix were seen with
    //   GET /fakenet/hits?path=<prefix>
    // (none of these is counted as a hit).
    // A target's faults hit direct requests only; the content service's proxy
    // ("/service/v1/download?url=") looks its faults up under proxy_path(target
    // path), so "/service/v1/download" faults every proxied file.
    void set_fault(const std::string &path_prefix, Fault f);
    void clear_faults();
    // Requests now waiting in a Hold whose path begins with prefix.
    int waiting(const std::string &prefix);
    Fault fault_for(const std::string &path);
    // Requests seen, by path (for tests that count calls). Requests the
    // content-service proxy makes on a client's behalf are not counted here
    // (they count under "/service/v1/download").
    int hits(const std::string &path);
    // Requests seen on every path that begins with prefix.
    int hits_under(const std::string &prefix);
    // Waits until hits_under(prefix) reaches n, at most timeout_ms; whether it did.
    bool wait_hits_under(const std::string &prefix, int n, int timeout_ms);
    void count(const std::string &path);
    // Requests seen on every path.
    int total_hits();
    // TCP connections seen (distinct client ports) since the start or the last reset.
    int connections();
    void reset_counters();

    static std::string proxy_path(const std::string &target_path);
    // A file served with GET at path ("/resources/ab/ab12..."); replaces an earlier one.
    void serve(const std::string &path, std::string body);
    // Answers req with the body a test put at its path with serve(), if any.
    bool answer_override(const httplib::Request &req, httplib::Response &res);

    std::mutex lock;
    std::condition_variable hit;
    std::map<std::string, Fault> faults;
    std::map<std::string, int> hit_counts;
    std::map<std::string, std::string> files;
    std::set<int> client_ports;
    int stall_ms = 3000; // set before the fault that uses it (set_fault orders the two)
    // Above 0: every answer's body goes out at about this many bytes per
    // second per connection, so a download takes a while (terminal tests).
    std::atomic<long> throttle_bytes_per_s{0};
    int hold_ms = 120000;
    std::condition_variable fault_changed;
    std::multiset<std::string> held; // paths of the requests waiting in a Hold
    std::atomic<bool> stopping{false};
};

// Starts the server with every registered world; stops it when destroyed.
std::unique_ptr<FakeNet, void (*)(FakeNet *)> fakenet_start();
using FakeNetPtr = std::unique_ptr<FakeNet, void (*)(FakeNet *)>;

// A URL on 127.0.0.1 where nothing listens.
std::string fakenet_closed_url();

// Points this process's endpoint table at the fake network (module tests).
void fakenet_use_in_process(const FakeNet &net, const std::vector<std::string> &unreachable = {});

// Registration of a world's routes.
struct FakeWorld {
    FakeWorld(const char *name, std::function<void(FakeNet &)> install);
};
#define FAKENET_CAT2(a, b) a##b
#define FAKENET_CAT(a, b) FAKENET_CAT2(a, b)
#define FAKENET_WORLD(name, fn) static FakeWorld FAKENET_CAT(fakenet_world_, __LINE__)(name, fn)

// Paths of build-time artefacts and the real-data corpus.
std::string fakenet_java_jar(const std::string &name);
std::string fakenet_corpus(const std::string &relative);
