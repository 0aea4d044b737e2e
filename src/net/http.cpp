// The HTTP client: handle options, the cancellable transfer loop, capped
// in-memory answers and the plain requests of the public APIs.
#include "net/http.h"

#include "base/fs.h"
#include "base/ui.h"
#include "base/version.h"
#include "net/endpoints.h"
#include "net/service.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <set>
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

// A host and port as an address names them ("[::1]" without brackets).
struct HostPort {
    std::string host;
    std::string port;
    bool operator==(const HostPort &o) const { return host == o.host && port == o.port; }
};

std::optional<HostPort> host_port(const std::string &url) {
    std::string authority = url_host(url);
    if (authority.empty()) return std::nullopt;
    authority = authority.substr(authority.rfind('@') + 1); // user:password@ is not the host
    HostPort hp;
    size_t colon = authority.rfind(':');
    if (authority[0] == '[') {
        size_t close = authority.find(']');
        if (close == std::string::npos) return std::nullopt;
        hp.host = authority.substr(1, close - 1);
        colon = authority.size() > close + 1 && authority[close + 1] == ':' ? close + 1
                                                                            : std::string::npos;
    } else {
        hp.host = authority.substr(0, colon);
    }
    hp.host = str_lower(hp.host);
    if (colon != std::string::npos)
        hp.port = authority.substr(colon + 1);
    else
        hp.port = str_starts_with_ci(url, "https:") ? "443" : "80";
    return hp;
}

// A configured address: the endpoint table, the account server and the
// content service, each as the user or the tests set them.
bool host_configured(const HostPort &hp) {
    StrList bases = endpoints_configured();
    bases.push_back(service_base_url());
    for (const std::string &b : bases)
        if (host_port(b) == hp) return true;
    return false;
}

bool ipv4_internal(uint32_t a) {
    return (a >> 24) == 0 || (a >> 24) == 10 || (a >> 24) == 127 ||
           (a & 0xffc00000u) == 0x64400000u || // 100.64.0.0/10, shared by carriers
           (a & 0xffff0000u) == 0xa9fe0000u || // 169.254.0.0/16, link-local
           (a & 0xfff00000u) == 0xac100000u || // 172.16.0.0/12
           (a & 0xffff0000u) == 0xc0a80000u;   // 192.168.0.0/16
}

// Loopback, link-local, private or unspecified: this machine or its network.
bool address_internal(const sockaddr *sa) {
    if (sa->sa_family == AF_INET)
        return ipv4_internal(ntohl(reinterpret_cast<const sockaddr_in *>(sa)->sin_addr.s_addr));
    if (sa->sa_family != AF_INET6) return false;
    const unsigned char *b = reinterpret_cast<const sockaddr_in6 *>(sa)->sin6_addr.s6_addr;
    static const unsigned char mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (memcmp(b, mapped, 12) == 0)
        return ipv4_internal(static_cast<uint32_t>(b[12]) << 24 | b[13] << 16 | b[14] << 8 | b[15]);
    static const unsigned char zero[15] = {};
    if (memcmp(b, zero, 15) == 0 && b[15] <= 1) return true; // :: and ::1
    return (b[0] & 0xfe) == 0xfc ||
           (b[0] == 0xfe &&
            (b[1] & 0x80) == 0x80); // fc00::/7 private, fe80::/10 link-local, fec0::/10 site-local
}

// A proxy from the environment: curl's sockets then go to it, and only the
// name in the address tells where the request is meant for.
bool proxy_in_environment() {
    for (const char *v : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
        const char *p = getenv(v);
        if (p && *p) return true;
    }
    return false;
}

bool host_names_internal(const std::string &host) {
    if (host == "localhost" || str_ends_with(host, ".localhost")) return true;
    sockaddr_in v4{};
    if (inet_pton(AF_INET, host.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        return address_internal(reinterpret_cast<sockaddr *>(&v4));
    }
    sockaddr_in6 v6{};
    if (inet_pton(AF_INET6, host.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        return address_internal(reinterpret_cast<sockaddr *>(&v6));
    }
    return false;
}

// Tells once per address that a request to it was not sent.
void note_refused(const std::string &where) {
    static std::mutex lock;
    static std::set<std::string> told;
    {
        std::lock_guard<std::mutex> lk(lock);
        if (!told.insert(where).second) return;
    }
    ui_message("Запрос к %s не отправлен: это адрес этого компьютера или внутренней сети, а не "
               "один из настроенных",
               where.c_str());
}

// Whether the transfer of c may connect to a: an address of this machine or
// of a private network only when the request's host is a configured one, so
// a document, a pack or a redirect cannot make the launcher reach into the
// player's network. Everything on the internet is allowed.
bool connection_allowed(CURL *c, const sockaddr *a) {
    char *url = nullptr;
    curl_easy_getinfo(c, CURLINFO_EFFECTIVE_URL, &url);
    std::optional<HostPort> hp = host_port(url ? url : "");
    if (!hp) return false;
    bool internal = proxy_in_environment() ? host_names_internal(hp->host) : address_internal(a);
    if (!internal || host_configured(*hp)) return true;
    note_refused(hp->host + ":" + hp->port);
    return false;
}

// Transfer sockets are close-on-exec: a game started while a download runs
// must not hold our connections.
curl_socket_t open_socket_checked(void *handle, curlsocktype, curl_sockaddr *a) {
    if (!connection_allowed(static_cast<CURL *>(handle), &a->addr)) return CURL_SOCKET_BAD;
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
    curl_easy_setopt(c, CURLOPT_OPENSOCKETFUNCTION, open_socket_checked);
    curl_easy_setopt(c, CURLOPT_OPENSOCKETDATA, c);
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
