// Fake network server core: start/stop, endpoint mapping, faults and counters.
#include "fakenet/fakenet.h"

#include "net/endpoints.h"

#include <arpa/inet.h>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {
std::vector<std::pair<std::string, std::function<void(FakeNet &)>>> &worlds() {
    static std::vector<std::pair<std::string, std::function<void(FakeNet &)>>> w;
    return w;
}

const char *k_endpoint_names[] = {
    "piston_meta",    "piston_data",        "launcher_meta",    "launcher",     "libraries",
    "resources",      "fabric_meta",        "quilt_meta",       "forge_maven",  "forge_files",
    "neoforge_maven", "adoptium",           "modrinth_api",     "modrinth_web", "curseforge_api",
    "curseforge_web", "curseforge_console", "authlib_injector", "service",      "auth",
    "modrinth_cdn",   "github",             "github_raw",       "gitlab"};
} // namespace

FakeWorld::FakeWorld(const char *name, std::function<void(FakeNet &)> install) {
    worlds().emplace_back(name, std::move(install));
}

std::string FakeNet::base() const {
    return "http://127.0.0.1:" + std::to_string(port);
}

std::string FakeNet::url(const std::string &name) const {
    return base() + "/" + name;
}

std::string FakeNet::endpoints_env(const std::vector<std::string> &unreachable) const {
    std::string closed;
    std::string env;
    for (const char *n : k_endpoint_names) {
        bool down = false;
        for (const auto &u : unreachable)
            down = down || u == n;
        if (down && closed.empty()) closed = fakenet_closed_url();
        if (!env.empty()) env += ",";
        env += std::string(n) + "=" + (down ? closed + "/" + n : url(n));
    }
    env += ",web=fake.example";
    return env;
}

void FakeNet::set_fault(const std::string &prefix, Fault f) {
    std::lock_guard<std::mutex> lk(lock);
    faults[prefix] = f;
    fault_changed.notify_all();
}

void FakeNet::clear_faults() {
    std::lock_guard<std::mutex> lk(lock);
    faults.clear();
    fault_changed.notify_all();
}

int FakeNet::waiting(const std::string &prefix) {
    std::lock_guard<std::mutex> lk(lock);
    int n = 0;
    for (const std::string &path : held)
        if (path.compare(0, prefix.size(), prefix) == 0) n++;
    return n;
}

// The fault of path; the caller holds the lock.
static Fault fault_locked(const FakeNet &n, const std::string &path) {
    Fault f = Fault::None;
    size_t best = 0;
    for (const auto &[prefix, fault] : n.faults) {
        if (path.compare(0, prefix.size(), prefix) == 0 && prefix.size() >= best) {
            best = prefix.size();
            f = fault;
        }
    }
    return f;
}

Fault FakeNet::fault_for(const std::string &path) {
    std::lock_guard<std::mutex> lk(lock);
    return fault_locked(*this, path);
}

// Keeps a request waiting while its path's fault is Hold (at most hold_ms);
// the fault it has afterwards.
static Fault hold_while_held(FakeNet &n, const std::string &path) {
    std::unique_lock<std::mutex> lk(n.lock);
    auto it = n.held.insert(path);
    n.fault_changed.wait_for(lk, std::chrono::milliseconds(n.hold_ms),
                             [&] { return n.stopping || fault_locked(n, path) != Fault::Hold; });
    n.held.erase(it);
    Fault f = fault_locked(n, path);
    return f == Fault::Hold ? Fault::None : f;
}

int FakeNet::hits(const std::string &path) {
    std::lock_guard<std::mutex> lk(lock);
    auto it = hit_counts.find(path);
    return it == hit_counts.end() ? 0 : it->second;
}

int FakeNet::hits_under(const std::string &prefix) {
    std::lock_guard<std::mutex> lk(lock);
    int n = 0;
    for (const auto &[path, count] : hit_counts)
        if (path.compare(0, prefix.size(), prefix) == 0) n += count;
    return n;
}

void FakeNet::count(const std::string &path) {
    {
        std::lock_guard<std::mutex> lk(lock);
        hit_counts[path]++;
    }
    hit.notify_all();
}

bool FakeNet::wait_hits_under(const std::string &prefix, int n, int timeout_ms) {
    std::unique_lock<std::mutex> lk(lock);
    return hit.wait_for(lk, std::chrono::milliseconds(timeout_ms), [&] {
        int seen = 0;
        for (const auto &[path, count] : hit_counts)
            if (path.compare(0, prefix.size(), prefix) == 0) seen += count;
        return seen >= n;
    });
}

int FakeNet::connections() {
    std::lock_guard<std::mutex> lk(lock);
    return static_cast<int>(client_ports.size());
}

void FakeNet::reset_counters() {
    std::lock_guard<std::mutex> lk(lock);
    hit_counts.clear();
    client_ports.clear();
}

void FakeNet::serve(const std::string &path, std::string body) {
    std::lock_guard<std::mutex> lk(lock);
    files[path] = std::move(body);
}

static const char *k_proxied_header = "X-Fakenet-Proxied";
static const std::string k_proxy_route = "/service/v1/download";

std::string FakeNet::proxy_path(const std::string &target_path) {
    return k_proxy_route + target_path;
}

// Answers 404 or 500, or stalls or holds, as the fault of path asks; true
// when it answered.
static bool fault_answer(FakeNet &n, const std::string &path, httplib::Response &res) {
    Fault f = n.fault_for(path);
    if (f == Fault::Hold) f = hold_while_held(n, path);
    switch (f) {
    case Fault::NotFound:
        res.status = 404;
        res.set_content("not found", "text/plain");
        return true;
    case Fault::ServerError:
        res.status = 500;
        res.set_content("server error", "text/plain");
        return true;
    case Fault::Stall:
        for (int waited = 0; waited < n.stall_ms && !n.stopping; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return false;
    default:
        return false;
    }
}

// The content service's "/v1/download?url=": serves the bytes of a URL on this
// same server, the way the real service proxies public files. Its faults are
// looked up under proxy_path(target), so one file can fail through the proxy
// alone; the target's own faults apply only to direct requests.
static void proxy_download(FakeNet &n, const httplib::Request &req, httplib::Response &res) {
    std::string url = req.get_param_value("url");
    std::string prefix = n.base() + "/";
    if (url.compare(0, prefix.size(), prefix) != 0) {
        res.status = 400;
        res.set_content("{\"error\":\"url outside the fake network\"}", "application/json");
        return;
    }
    std::string target = url.substr(prefix.size() - 1);
    std::string fault_path = FakeNet::proxy_path(target.substr(0, target.find('?')));
    if (fault_answer(n, fault_path, res)) return;
    Fault f = n.fault_for(fault_path);
    httplib::Client cli("127.0.0.1", n.port);
    cli.set_keep_alive(false);
    cli.set_follow_location(true); // public hosts redirect (Adoptium does)
    auto r = cli.Get(target.c_str(), {{k_proxied_header, "1"}});
    if (!r) {
        res.status = 502;
        res.set_content("{\"error\":\"upstream unreachable\"}", "application/json");
        return;
    }
    res.status = r->status;
    if (r->status >= 400) {
        res.set_content("{\"error\":\"upstream HTTP " + std::to_string(r->status) + "\"}",
                        "application/json");
        return;
    }
    std::string body = r->body;
    if (f == Fault::WrongBytes && !body.empty()) body[0] ^= 0x5a;
    res.set_content(body, "application/octet-stream");
}

// Sends the body in tenths of the throttle rate, a tenth of a second apart.
static void throttle(FakeNet &n, httplib::Response &res) {
    long rate = n.throttle_bytes_per_s.load();
    if (rate <= 0 || res.body.empty()) return;
    auto body = std::make_shared<std::string>(std::move(res.body));
    res.body.clear();
    std::string type = res.get_header_value("Content-Type");
    size_t step = static_cast<size_t>(std::max(1L, rate / 10));
    res.set_content_provider(
        body->size(), type.empty() ? "application/octet-stream" : type,
        [&n, body, step](size_t offset, size_t length, httplib::DataSink &sink) {
            if (n.stopping) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            size_t k = std::min(step, length);
            return sink.write(body->data() + offset, k);
        });
}

static const std::string k_control_prefix = "/fakenet/";

static bool is_control_path(const std::string &path) {
    return path.compare(0, k_control_prefix.size(), k_control_prefix) == 0;
}

// Faults set from another process: the interface tests drive the standalone server.
static void control_routes(FakeNet &n) {
    n.server.Get(
        k_control_prefix + "fault", [&n](const httplib::Request &req, httplib::Response &res) {
            static const std::map<std::string, Fault> kinds = {
                {"none", Fault::None},        {"404", Fault::NotFound}, {"500", Fault::ServerError},
                {"wrong", Fault::WrongBytes}, {"stall", Fault::Stall},  {"hold", Fault::Hold}};
            auto kind = kinds.find(req.get_param_value("kind"));
            std::string path = req.get_param_value("path");
            if (kind == kinds.end() || path.empty() || path[0] != '/') {
                res.status = 400;
                res.set_content("path=/... and kind=none|404|500|wrong|stall|hold\n", "text/plain");
                return;
            }
            n.set_fault(path, kind->second);
            res.set_content("ok\n", "text/plain");
        });
    n.server.Get(
        k_control_prefix + "hits", [&n](const httplib::Request &req, httplib::Response &res) {
            res.set_content(std::to_string(n.hits_under(req.get_param_value("path"))) + "\n",
                            "text/plain");
        });
    n.server.Get(k_control_prefix + "waiting",
                 [&n](const httplib::Request &req, httplib::Response &res) {
                     res.set_content(std::to_string(n.waiting(req.get_param_value("path"))) + "\n",
                                     "text/plain");
                 });
}

static void stop(FakeNet *net) {
    {
        std::lock_guard<std::mutex> lk(net->lock);
        net->stopping = true;
        net->fault_changed.notify_all();
    }
    net->server.stop();
    if (net->thread.joinable()) net->thread.join();
    delete net;
}

FakeNetPtr fakenet_start() {
    FakeNetPtr net(new FakeNet, stop);
    FakeNet *n = net.get();
    // Enough threads that 16 download workers with kept-alive connections
    // never wait for each other; connections stay open as long as clients like.
    n->server.new_task_queue = [] { return new httplib::ThreadPool(40); };
    n->server.set_keep_alive_max_count(100000);
    // Headers and body go out in separate writes: without this, Nagle and
    // delayed ACKs add 40 ms to every answer on a kept-alive connection.
    n->server.set_tcp_nodelay(true);
    // This httplib listens with a backlog of 5: sixteen workers connecting at
    // once would see dropped SYNs and a one-second retry. The listening socket
    // is remembered here and given a longer queue after the bind.
    int listen_fd = -1;
    n->server.set_socket_options([&listen_fd](socket_t sock) {
        httplib::default_socket_options(sock);
        listen_fd = sock;
    });
    n->server.set_pre_routing_handler([n](const httplib::Request &req, httplib::Response &res) {
        if (req.has_header(k_proxied_header) || is_control_path(req.path))
            return httplib::Server::HandlerResponse::Unhandled;
        n->count(req.path);
        {
            std::lock_guard<std::mutex> lk(n->lock);
            n->client_ports.insert(req.remote_port);
        }
        if (req.path == k_proxy_route) return httplib::Server::HandlerResponse::Unhandled;
        return fault_answer(*n, req.path, res) ? httplib::Server::HandlerResponse::Handled
                                               : httplib::Server::HandlerResponse::Unhandled;
    });
    n->server.set_post_routing_handler([n](const httplib::Request &req, httplib::Response &res) {
        if (req.has_header(k_proxied_header) || req.path == k_proxy_route ||
            is_control_path(req.path))
            return;
        if (n->fault_for(req.path) == Fault::WrongBytes && !res.body.empty()) res.body[0] ^= 0x5a;
        throttle(*n, res);
    });
    n->server.Get(k_proxy_route, [n](const httplib::Request &req, httplib::Response &res) {
        proxy_download(*n, req, res);
    });
    control_routes(*n);
    for (auto &[name, install] : worlds())
        install(*n);
    // Files put with serve(), after every world's own routes.
    n->server.Get(R"(/.*)", [n](const httplib::Request &req, httplib::Response &res) {
        std::lock_guard<std::mutex> lk(n->lock);
        auto it = n->files.find(req.path);
        if (it == n->files.end()) {
            res.status = 404;
            res.set_content("not found", "text/plain");
            return;
        }
        res.set_content(it->second, "application/octet-stream");
    });
    n->port = n->server.bind_to_any_port("127.0.0.1");
    if (listen_fd >= 0) listen(listen_fd, 512);
    n->server.set_socket_options(httplib::default_socket_options);
    n->thread = std::thread([n] { n->server.listen_after_bind(); });
    // Bounded wait for the listening thread (this httplib has no wait_until_ready).
    for (int i = 0; i < 5000 && !n->server.is_running(); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return net;
}

std::string fakenet_closed_url() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr *>(&a), &len);
    int port = ntohs(a.sin_port);
    close(s); // nothing listens there now
    return "http://127.0.0.1:" + std::to_string(port);
}

void fakenet_use_in_process(const FakeNet &net, const std::vector<std::string> &unreachable) {
    setenv("ZYL_ENDPOINTS", net.endpoints_env(unreachable).c_str(), 1);
    endpoints_reload();
}

std::string fakenet_java_jar(const std::string &name) {
    return std::string(ZYL_TEST_JAVA_DIR) + "/" + name + ".jar";
}

std::string fakenet_corpus(const std::string &relative) {
    return std::string(ZYL_TEST_CORPUS_DIR) + "/" + relative;
}

int FakeNet::total_hits() {
    std::lock_guard<std::mutex> lk(lock);
    int sum = 0;
    for (const auto &[path, n] : hit_counts)
        sum += n;
    return sum;
}

bool FakeNet::answer_override(const httplib::Request &req, httplib::Response &res) {
    std::lock_guard<std::mutex> lk(lock);
    auto it = files.find(req.path);
    if (it == files.end()) return false;
    res.set_content(it->second, "application/json");
    return true;
}
