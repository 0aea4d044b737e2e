// Hostile routes of the fake network (see world_hostile.h).
#include "fakenet/world_hostile.h"

#include "fakenet/fakenet.h"

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
    n.server.Get(
        R"(/[a-z_]+/hostile/loop)",
        [](const httplib::Request &req, httplib::Response &res) { res.set_redirect(req.path); });
});
