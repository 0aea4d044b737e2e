// Transfers through libcurl and the choice between the content service and
// the public sources.
#include "net/http.h"

#include "base/fs.h"
#include "base/version.h"
#include "base/ui.h"
#include "config/settings.h"
#include "net/endpoints.h"
#include "net/transfer_error.h"

#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>

namespace {
std::mutex g_base_lock;
bool g_env_read = false;
std::optional<std::string> g_env_api;
std::string g_last_candidate;
bool g_have_base = false;
// Old values are kept so that returned references stay valid.
std::deque<std::string> g_bases;

// The latch only goes from clear to set and the counters only grow, so
// atomics without a lock are enough.
std::atomic<bool> g_service_down{false};
std::atomic<unsigned> g_unreachable_count{0};
std::atomic<int> g_direct_failures{0};

std::once_flag g_ca_once;
std::string g_ca_path; // empty when there is no bundle next to the executable

void ca_lookup() {
    std::string path = format_alloc("%s/ca-bundle.crt", exe_dir().c_str());
    if (fs_stat(path, nullptr) == 0) g_ca_path = path;
}

// An answer kept in memory. The transfer stops once it would pass
// k_body_max_bytes, so a server sending without end cannot exhaust memory.
struct Body {
    CURL *handle = nullptr;
    std::string data;
    bool too_big = false;
};

size_t write_to_body(char *data, size_t size, size_t n, void *user) {
    Body *b = static_cast<Body *>(user);
    size_t len = size * n;
    if (b->data.size() + len > static_cast<size_t>(k_body_max_bytes)) {
        b->too_big = true;
        return 0; // aborts the transfer
    }
    if (b->data.empty()) {
        // One allocation of the announced size instead of repeated doubling.
        curl_off_t announced = -1;
        curl_easy_getinfo(b->handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
        if (announced > 0 && announced <= k_body_max_bytes)
            b->data.reserve(static_cast<size_t>(announced));
    }
    b->data.append(data, len);
    return len;
}

// Sends the answer of c into b; an announced length above the cap fails at once.
void body_setup(CURL *c, Body &b) {
    b.handle = c;
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, write_to_body);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &b);
    curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(k_body_max_bytes));
}

bool body_too_big(CURLcode rc, const Body &b) {
    return b.too_big || rc == CURLE_FILESIZE_EXCEEDED;
}

std::string too_big_text(const std::string &url) {
    return format_alloc("Ответ сервера больше %lld МБ, загрузка прервана: %s",
                        k_body_max_bytes >> 20, url.c_str());
}

// Sets the latch; the first caller shows the notice.
void mark_down(const std::string &reason) {
    bool expected = false;
    if (g_service_down.compare_exchange_strong(expected, true))
        ui_message("API %s недоступен (%s) — использую прямые адреса", service_base_url().c_str(),
                   reason.c_str());
}

// The "error" string of a JSON answer, if it has one.
std::optional<std::string> answer_error(const std::string &body) {
    JsonPtr j = json_parse(body);
    if (!j) return std::nullopt;
    cJSON *e = json_get(j.get(), "error");
    if (!cJSON_IsString(e)) return std::nullopt;
    return std::string(e->valuestring);
}

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
    if (g_have_base && candidate == g_last_candidate) return g_bases.back();
    g_have_base = true;
    g_last_candidate = candidate;
    std::string norm = candidate;
    while (!norm.empty() && norm.back() == '/')
        norm.pop_back();
    g_bases.push_back(norm);
    return g_bases.back();
}

bool is_service_url(const std::string &url) {
    const std::string &base = service_base_url();
    if (base.empty() || !str_starts_with(url, base)) return false;
    // "https://api.x/v" must not claim "https://api.x/v2/...".
    char next = url.size() > base.size() ? url[base.size()] : '\0';
    return next == '\0' || next == '/' || next == '?';
}

void transfer_handle_setup(CURL *c, const std::string &url) {
    std::call_once(g_ca_once, ca_lookup);
    std::string agent = is_service_url(url) ? format_alloc("ZYL-Launcher/%s", k_version)
                                            : format_alloc("Brimfell/zyl-launcher/%s (%s)",
                                                           k_version, endpoint("web").c_str());
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    // A server redirecting to itself must not keep a transfer going forever.
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, k_max_redirects);
    // URLs come from outside documents (modpacks, version files): never let one
    // or its redirects read local files or speak other protocols.
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#else
    curl_easy_setopt(c, CURLOPT_PROTOCOLS, CURLPROTO_HTTP | CURLPROTO_HTTPS);
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS, CURLPROTO_HTTP | CURLPROTO_HTTPS);
#endif
    curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 20L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 100L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, 40L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, "");
    // With a bundle file the system certificate folder (CAPATH) stays in use.
    if (!g_ca_path.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, g_ca_path.c_str());
    curl_easy_setopt(c, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NATIVE_CA));
}

CurlPtr transfer_handle_new(const std::string &url) {
    static std::once_flag global;
    std::call_once(global, [] { curl_global_init(CURL_GLOBAL_ALL); });
    CurlPtr c(curl_easy_init());
    if (c) transfer_handle_setup(c.get(), url);
    return c;
}

bool service_is_down() {
    return g_service_down.load();
}

bool is_unreachable_error(CURLcode code) {
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
        return true;
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
        return g_unreachable_count.fetch_add(1) + 1 > 3;
    default:
        return false;
    }
}

bool service_mark_unreachable(CURLcode code) {
    if (!is_unreachable_error(code)) return false;
    mark_down(transfer_error_text(code));
    return true;
}

std::optional<std::string> service_proxied_url(const std::string &url) {
    if (service_is_down() || !str_starts_with(url, "http") || is_service_url(url))
        return std::nullopt;
    return format_alloc("%s/v1/download?url=%s", service_base_url().c_str(),
                        url_escape(url).c_str());
}

int direct_first_failures() {
    return g_direct_failures.load();
}
void direct_first_failed() {
    g_direct_failures.fetch_add(1);
}
bool direct_first_allowed() {
    return g_direct_failures.load() <= 2;
}

void http_state_reset_for_tests() {
    g_service_down = false;
    g_unreachable_count = 0;
    g_direct_failures = 0;
    std::lock_guard<std::mutex> lk(g_base_lock);
    g_env_read = false;
    g_env_api.reset();
    // Earlier texts stay in g_bases: callers may still hold them.
    g_have_base = false;
}

std::string url_escape(const std::string &s) {
    char *e = curl_easy_escape(nullptr, s.c_str(), static_cast<int>(s.size()));
    std::string out = e ? e : "";
    curl_free(e);
    return out;
}

int service_request(const std::string &path, const std::string *body, JsonPtr &out,
                    std::string *err) {
    const std::string &base = service_base_url();
    if (service_is_down()) {
        if (err) *err = format_alloc("API %s недоступен", base.c_str());
        return -1;
    }
    std::string url = format_alloc("%s%s", base.c_str(), path.c_str());
    CurlPtr c = transfer_handle_new(url);
    Body body_in;
    std::string &answer = body_in.data;
    CurlSlistPtr headers;
    curl_easy_setopt(c.get(), CURLOPT_FAILONERROR, 0L);
    curl_easy_setopt(c.get(), CURLOPT_TIMEOUT, 30L);
    body_setup(c.get(), body_in);
    if (body) {
        headers.reset(curl_slist_append(nullptr, "Content-Type: application/json"));
        curl_easy_setopt(c.get(), CURLOPT_HTTPHEADER, headers.get());
        curl_easy_setopt(c.get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(body->size()));
        curl_easy_setopt(c.get(), CURLOPT_POSTFIELDS, body->c_str());
    }
    CURLcode rc = curl_easy_perform(c.get());
    long status = 0;
    curl_easy_getinfo(c.get(), CURLINFO_RESPONSE_CODE, &status);

    if (body_too_big(rc, body_in)) {
        if (err) *err = format_alloc("API: ответ больше %lld МБ", k_body_max_bytes >> 20);
        return -1;
    }
    if (rc != CURLE_OK || status >= 500) {
        // A 5xx is one failed request, not proof that the service is gone.
        if (rc != CURLE_OK) service_mark_unreachable(rc);
        if (err) {
            if (auto e = answer_error(answer))
                *err = format_alloc("API: %s (HTTP %ld)", e->c_str(), status);
            else if (rc != CURLE_OK)
                *err = format_alloc("API недоступен: %s", transfer_error_text(rc).c_str());
            else
                *err = format_alloc("API: HTTP %ld", status);
        }
        return -1;
    }
    JsonPtr parsed = json_parse(answer);
    std::string().swap(answer); // the text is not needed next to its tree
    if (status < 400 && parsed) {
        out = std::move(parsed);
        return 0;
    }
    if (err) {
        cJSON *e = parsed ? json_get(parsed.get(), "error") : nullptr;
        *err =
            cJSON_IsString(e) ? std::string(e->valuestring) : format_alloc("API: HTTP %ld", status);
    }
    return -1;
}

int service_get(const std::string &path, JsonPtr &out, std::string *err) {
    return service_request(path, nullptr, out, err);
}

int service_post(const std::string &path, const std::string *body, JsonPtr &out, std::string *err) {
    static const std::string empty_object = "{}";
    return service_request(path, body ? body : &empty_object, out, err);
}

// The reason of a failed transfer on c, in Russian.
static std::string failure_text(CURL *c, CURLcode rc) {
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    return transfer_error_text(rc, status);
}

std::optional<std::string> fetch_url(const std::string &url, bool quiet, std::string *err) {
    bool to_service = is_service_url(url);
    for (int attempt = 1; attempt <= 3; attempt++) {
        CurlPtr c = transfer_handle_new(url);
        Body body;
        curl_easy_setopt(c.get(), CURLOPT_TIMEOUT, to_service ? 30L : 45L);
        body_setup(c.get(), body);
        CURLcode rc = curl_easy_perform(c.get());
        if (rc == CURLE_OK) return std::move(body.data);
        // The same server would send the same again: no further attempts.
        if (body_too_big(rc, body)) {
            if (err) *err = too_big_text(url);
            if (!quiet) ui_message("%s", too_big_text(url).c_str());
            return std::nullopt;
        }
        if (err) *err = failure_text(c.get(), rc);
        if (to_service && service_mark_unreachable(rc)) return std::nullopt;
        if (rc == CURLE_HTTP_RETURNED_ERROR || rc == CURLE_TOO_MANY_REDIRECTS || attempt == 3) {
            if (!quiet) ui_message("HTTP: %s", failure_text(c.get(), rc).c_str());
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<std::string> fetch_with_fallback(const std::string &url, std::string *err) {
    std::optional<std::string> proxied = service_proxied_url(url);
    if (!proxied) return fetch_url(url, false, err);
    if (direct_first_allowed() && is_mojang_host(url)) {
        if (auto body = fetch_url(url, true)) return body;
        direct_first_failed();
    }
    if (auto body = fetch_url(*proxied, true)) return body;
    return fetch_url(url, false, err);
}

JsonPtr fetch_json_cached(const std::string &url, const std::string *cache_path, bool force,
                          std::string *err) {
    bool cached = cache_path && !cache_path->empty();
    if (!force && cached) {
        if (JsonPtr j = json_read_file(*cache_path)) return j;
    }
    if (auto body = fetch_with_fallback(url, err)) {
        JsonPtr j = json_parse(*body);
        if (j && cached) fs_write_atomic(*cache_path, *body);
        if (!j && err) *err = "сервер прислал не JSON";
        return j;
    }
    if (cached && fs_exists(*cache_path)) return json_read_file(*cache_path);
    ui_message("Ошибка загрузки: %s", url.c_str());
    return nullptr;
}

void maven_versions(const std::string &url, StrList &out) {
    auto body = fetch_with_fallback(url);
    if (!body) return;
    static const std::string open = "<version>", close = "</version>";
    size_t pos = 0;
    while (true) {
        size_t a = body->find(open, pos);
        if (a == std::string::npos) break;
        a += open.size();
        size_t b = body->find(close, a);
        if (b == std::string::npos) break;
        out.push_back(body->substr(a, b - a));
        pos = b + close.size();
    }
}

static std::optional<std::string> web_request(const std::string &url, const std::string *body,
                                              const StrList &headers, long *status) {
    CurlPtr c = transfer_handle_new(url);
    if (!c) {
        if (status) *status = -1;
        return std::nullopt;
    }
    curl_slist *raw = nullptr;
    for (const std::string &h : headers) {
        curl_slist *next = curl_slist_append(raw, h.c_str());
        if (next) raw = next;
    }
    CurlSlistPtr list(raw);
    Body answer;
    curl_easy_setopt(c.get(), CURLOPT_FAILONERROR, 0L);
    if (list) curl_easy_setopt(c.get(), CURLOPT_HTTPHEADER, list.get());
    body_setup(c.get(), answer);
    curl_easy_setopt(c.get(), CURLOPT_TIMEOUT, body ? 30L : 45L);
    if (body) {
        curl_easy_setopt(c.get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(body->size()));
        curl_easy_setopt(c.get(), CURLOPT_POSTFIELDS, body->c_str());
    }
    CURLcode rc = curl_easy_perform(c.get());
    if (rc != CURLE_OK) {
        if (body_too_big(rc, answer)) ui_message("%s", too_big_text(url).c_str());
        if (status) *status = -1;
        return std::nullopt;
    }
    long code = 0;
    curl_easy_getinfo(c.get(), CURLINFO_RESPONSE_CODE, &code);
    if (status) *status = code;
    return std::move(answer.data);
}

std::optional<std::string> web_get(const std::string &url, const StrList &headers, long *status) {
    return web_request(url, nullptr, headers, status);
}

std::optional<std::string> web_post(const std::string &url, const std::string &body,
                                    const StrList &headers, long *status) {
    return web_request(url, &body, headers, status);
}
