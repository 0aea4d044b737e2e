// Transfers through libcurl and the choice between the content service and
// the public sources.
#include "net/http.h"

#include "base/fs.h"
#include "config/settings.h"
#include "net/endpoints.h"

#include <deque>
#include <mutex>

namespace {
std::mutex g_base_lock;
bool g_env_read = false;
std::optional<std::string> g_env_api;
std::string g_last_candidate;
// Old values are kept so that returned references stay valid.
std::deque<std::string> g_bases;
} // namespace

const std::string &service_base_url() {
    std::lock_guard<std::mutex> lk(g_base_lock);
    if (!g_env_read) {
        g_env_api = env_path("ZYL_API");
        g_env_read = true;
    }
    std::string candidate;
    if (g_env_api)
        candidate = *g_env_api;
    else {
        std::string api = settings_published().api_url;
        candidate = api.empty() ? endpoint("service") : api;
    }
    if (!g_bases.empty() && candidate == g_last_candidate) return g_bases.back();
    g_last_candidate = candidate;
    std::string norm = candidate;
    while (!norm.empty() && norm.back() == '/')
        norm.pop_back();
    g_bases.push_back(norm);
    return g_bases.back();
}
