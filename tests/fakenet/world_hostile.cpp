// Hostile routes of the fake network (see world_hostile.h).
#include "fakenet/world_hostile.h"

#include "fakenet/fakenet.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

namespace {

// Sends 64 KB blocks of "x" until the client goes or the safety stop.
bool send_block(size_t offset, httplib::DataSink &sink) {
    static const std::string block(65536, 'x');
    if (static_cast<long long>(offset) >= k_hostile_body_stop) return false;
    return sink.write(block.data(), block.size());
}

} // namespace

FAKENET_WORLD("hostile", [](FakeNet &n) {
    n.server.Get(R"(/[a-z_]+/hostile/endless)",
                 [](const httplib::Request &, httplib::Response &res) {
                     res.set_chunked_content_provider("application/json", send_block);
                 });
    n.server.Get(R"(/[a-z_]+/hostile/huge)", [](const httplib::Request &, httplib::Response &res) {
        res.set_content_provider(size_t{2000000000}, "application/json",
                                 [](size_t offset, size_t, httplib::DataSink &sink) {
                                     return send_block(offset, sink);
                                 });
    });
    // Headers, then nothing until the server stops: only a cancel ends the wait.
    n.server.Get(
        R"(/[a-z_]+/hostile/silent)", [&n](const httplib::Request &, httplib::Response &res) {
            res.set_content_provider(
                size_t{k_hostile_silent_length}, "application/octet-stream",
                [&n](size_t, size_t, httplib::DataSink &) {
                    for (int waited = 0; waited < k_hostile_silence_ms && !n.stopping; waited += 10)
                        std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    return false;
                });
        });
    // ?bytes=N bytes of "x" in one chunk, with no length announced.
    n.server.Get(
        R"(/[a-z_]+/hostile/chunked)", [](const httplib::Request &req, httplib::Response &res) {
            size_t bytes = std::strtoul(req.get_param_value("bytes").c_str(), nullptr, 10);
            auto body = std::make_shared<std::string>(std::min(bytes, size_t{1} << 20), 'x');
            res.set_chunked_content_provider("application/octet-stream",
                                             [body](size_t, httplib::DataSink &sink) {
                                                 sink.write(body->data(), body->size());
                                                 sink.done();
                                                 return true;
                                             });
        });
    n.server.Get(
        R"(/[a-z_]+/hostile/loop)",
        [](const httplib::Request &req, httplib::Response &res) { res.set_redirect(req.path); });
});
