// Documents fetched in memory: retries, the source order (Mojang directly,
// the content service's proxy, the public host) and the on-disk JSON cache.
#include "net/fetch.h"

#include "base/fs.h"
#include "net/endpoints.h"
#include "net/http.h"
#include "net/service.h"
#include "net/transfer_error.h"

// The reason of a failed transfer on c, in Russian.
static std::string failure_text(CURL *c, CURLcode rc) {
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    return transfer_error_text(rc, status);
}

std::optional<std::string> fetch_url(const std::string &url, bool quiet, const Job *job,
                                     std::string *err) {
    bool to_service = is_service_url(url);
    CurlMultiPtr multi(curl_multi_init());
    if (!multi) return std::nullopt;
    for (int attempt = 1; attempt <= 3; attempt++) {
        CurlPtr c = transfer_handle_new(url, to_service);
        if (!c) return std::nullopt;
        HttpBody body;
        curl_easy_setopt(c.get(), CURLOPT_TIMEOUT, to_service ? 30L : 45L);
        http_body_setup(c.get(), body);
        CURLcode rc = transfer_perform(c.get(), multi.get(), job);
        if (rc == CURLE_OK) return std::move(body.data);
        if (job_cancelled(job)) return std::nullopt;
        // The same server would send the same again: no further attempts.
        if (http_body_too_big(rc, body)) {
            if (err) *err = http_too_big_text(url);
            if (!quiet) job_message(job, "%s", http_too_big_text(url).c_str());
            return std::nullopt;
        }
        if (err) *err = failure_text(c.get(), rc);
        if (to_service && service_mark_unreachable(rc)) return std::nullopt;
        if (rc == CURLE_HTTP_RETURNED_ERROR || rc == CURLE_TOO_MANY_REDIRECTS || attempt == 3) {
            if (!quiet) job_message(job, "HTTP: %s", failure_text(c.get(), rc).c_str());
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<std::string> fetch_with_fallback(const std::string &url, const Job *job,
                                               std::string *err) {
    std::optional<std::string> proxied = service_proxied_url(url);
    if (!proxied) return fetch_url(url, false, job, err);
    if (direct_first_allowed() && is_mojang_host(url)) {
        if (auto body = fetch_url(url, true, job)) return body;
        if (job_cancelled(job)) return std::nullopt;
        direct_first_failed();
    }
    if (auto body = fetch_url(*proxied, true, job)) return body;
    if (job_cancelled(job)) return std::nullopt;
    return fetch_url(url, false, job, err);
}

JsonPtr fetch_json_cached(const std::string &url, const std::string *cache_path, bool force,
                          const Job *job, std::string *err) {
    bool cached = cache_path && !cache_path->empty();
    if (!force && cached) {
        if (JsonPtr j = json_read_file(*cache_path)) return j;
    }
    if (auto body = fetch_with_fallback(url, job, err)) {
        JsonPtr j = json_parse(*body);
        if (j && cached) fs_write_atomic(*cache_path, *body);
        if (!j && err) *err = "сервер прислал не JSON";
        return j;
    }
    if (job_cancelled(job)) return nullptr;
    if (cached && fs_exists(*cache_path)) return json_read_file(*cache_path);
    job_message(job, "Ошибка загрузки: %s", url.c_str());
    return nullptr;
}

void maven_versions(const std::string &url, StrList &out, const Job *job) {
    auto body = fetch_with_fallback(url, job);
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
