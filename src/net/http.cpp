// The HTTP client: handle options, the cancellable transfer loop, capped
// in-memory answers and the plain requests of the public APIs.
#include "net/http.h"

#include "base/fs.h"
#include "base/ui.h"
#include "base/version.h"
#include "net/endpoints.h"

#include <chrono>
#include <mutex>
#include <sys/socket.h>

namespace {

std::once_flag g_ca_once;
std::string g_ca_path; // empty when there is no bundle next to the executable

void ca_lookup() {
    std::string path = format_alloc("%s/ca-bundle.crt", exe_dir().c_str());
    if (fs_stat(path, nullptr) == 0) g_ca_path = path;
}

size_t write_to_body(char *data, size_t size, size_t n, void *user) {
    HttpBody *b = static_cast<HttpBody *>(user);
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

// Transfer sockets are close-on-exec: a game started while a download runs
// must not hold our connections.
curl_socket_t open_socket_cloexec(void *, curlsocktype, curl_sockaddr *a) {
    return socket(a->family, a->socktype | SOCK_CLOEXEC, a->protocol);
}

// What the progress callback of one transfer watches: the job's cancel flag,
// for single downloads the bytes to report, and when a file is named, how
// long no new byte came.
struct Watch {
    const Job *job;
    const char *label;
    const char *stall_name;
    std::chrono::steady_clock::time_point shown_at{};
    curl_off_t last_now = -1;
    std::chrono::steady_clock::time_point last_change = std::chrono::steady_clock::now();
    bool stall_noted = false;
};

// A file with no new byte for this long is named on its own line.
constexpr double k_stall_note_s = 2.0;

void watch_stall(Watch &w, curl_off_t now, std::chrono::steady_clock::time_point t) {
    if (now != w.last_now) {
        w.last_now = now;
        w.last_change = t;
        return;
    }
    double idle = std::chrono::duration<double>(t - w.last_change).count();
    if (!w.stall_noted && idle >= k_stall_note_s) {
        w.stall_noted = true;
        job_note(w.job, "нет ответа %.0f с: %s", idle, w.stall_name);
    }
}

int watch_transfer(void *user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
    Watch *w = static_cast<Watch *>(user);
    if (job_cancelled(w->job)) return 1; // aborts the transfer
    auto t = std::chrono::steady_clock::now();
    if (w->stall_name) watch_stall(*w, now, t);
    if (!w->label) return 0;
    // A few reports a second are plenty for a progress bar.
    if ((now == total && total > 0) || t - w->shown_at >= std::chrono::milliseconds(100)) {
        w->shown_at = t;
        job_bytes(w->job, static_cast<long>(now), static_cast<long>(total), w->label);
    }
    return 0;
}

} // namespace

void transfer_handle_setup(CURL *c, const std::string &url, bool to_service) {
    std::call_once(g_ca_once, ca_lookup);
    std::string agent = to_service ? format_alloc("ZYL-Launcher/%s", k_version)
                                   : format_alloc("Brimfell/zyl-launcher/%s (%s)", k_version,
                                                  endpoint("web").c_str());
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
    curl_easy_setopt(c, CURLOPT_OPENSOCKETFUNCTION, open_socket_cloexec);
}

CurlPtr transfer_handle_new(const std::string &url, bool to_service) {
    static std::once_flag global;
    std::call_once(global, [] { curl_global_init(CURL_GLOBAL_ALL); });
    CurlPtr c(curl_easy_init());
    if (c) transfer_handle_setup(c.get(), url, to_service);
    return c;
}

CURLcode transfer_perform(CURL *c, CURLM *multi, const Job *job, const char *bytes_label,
                          const char *stall_name) {
    Watch w{job, bytes_label, stall_name};
    bool watched = job || stall_name;
    if (watched) {
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, watch_transfer);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, &w);
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    }
    if (curl_multi_add_handle(multi, c) != CURLM_OK) return CURLE_FAILED_INIT;
    CURLcode result = CURLE_OK;
    for (bool done = false; !done;) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        while (CURLMsg *m = curl_multi_info_read(multi, &queued)) {
            if (m->msg == CURLMSG_DONE && m->easy_handle == c) {
                result = m->data.result;
                done = true;
            }
        }
        if (done) break;
        // The progress callback runs only as often as curl wakes up, which a
        // silent server stretches to a second: the flag is looked at here too.
        if (job_cancelled(job)) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        curl_multi_poll(multi, nullptr, 0, 100, nullptr);
    }
    curl_multi_remove_handle(multi, c);
    if (watched) {
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, nullptr);
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 1L);
    }
    return result;
}

void http_body_setup(CURL *c, HttpBody &b) {
    b.handle = c;
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, write_to_body);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &b);
    curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(k_body_max_bytes));
}

bool http_body_too_big(CURLcode rc, const HttpBody &b) {
    return b.too_big || rc == CURLE_FILESIZE_EXCEEDED;
}

std::string http_too_big_text(const std::string &url) {
    return format_alloc("Ответ сервера больше %lld МБ, загрузка прервана: %s",
                        k_body_max_bytes >> 20, url.c_str());
}

std::string url_escape(const std::string &s) {
    char *e = curl_easy_escape(nullptr, s.c_str(), static_cast<int>(s.size()));
    std::string out = e ? e : "";
    curl_free(e);
    return out;
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
    HttpBody answer;
    curl_easy_setopt(c.get(), CURLOPT_FAILONERROR, 0L);
    if (list) curl_easy_setopt(c.get(), CURLOPT_HTTPHEADER, list.get());
    http_body_setup(c.get(), answer);
    curl_easy_setopt(c.get(), CURLOPT_TIMEOUT, body ? 30L : 45L);
    if (body) {
        curl_easy_setopt(c.get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(body->size()));
        curl_easy_setopt(c.get(), CURLOPT_POSTFIELDS, body->c_str());
    }
    CURLcode rc = curl_easy_perform(c.get());
    if (rc != CURLE_OK) {
        if (http_body_too_big(rc, answer)) ui_message("%s", http_too_big_text(url).c_str());
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
