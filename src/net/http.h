// HTTP client and the content-service fallback rule: the one place where
// transfer handles are configured, the service base URL, the proxied-URL
// rule, the process-wide "service unreachable" latch, service requests,
// in-memory fetches with retries, cached JSON documents and plain web requests.
#pragma once

#include "base/json.h"
#include "base/strings.h"

#include <curl/curl.h>
#include <memory>
#include <optional>
#include <string>

struct CurlDeleter {
    void operator()(CURL *c) const { curl_easy_cleanup(c); }
};
using CurlPtr = std::unique_ptr<CURL, CurlDeleter>;

struct CurlSlistDeleter {
    void operator()(curl_slist *l) const { curl_slist_free_all(l); }
};
using CurlSlistPtr = std::unique_ptr<curl_slist, CurlSlistDeleter>;

// Answers kept in memory (documents, API replies) stop at this size, far
// above any real document; longer ones fail with a message.
constexpr long long k_body_max_bytes = 64LL << 20;
// Redirects followed by one transfer.
constexpr long k_max_redirects = 10;

// The content service's base URL without trailing "/": ZYL_API, else the
// api_url setting, else the default. Stays valid for the process.
const std::string &service_base_url();
// True when url is the service base or lies below it.
bool is_service_url(const std::string &url);

// A transfer handle with the launcher's common options for url.
CurlPtr transfer_handle_new(const std::string &url);
// Applies the common options to an existing (fresh or curl_easy_reset) handle;
// a reset handle keeps its live connections, so a worker can reuse them.
void transfer_handle_setup(CURL *c, const std::string &url);

// True once the content service was found unreachable in this process.
bool service_is_down();
// Marks the service unreachable when code is of the unreachable class; the
// notice is shown once per process. Returns is_unreachable_error(code).
bool service_mark_unreachable(CURLcode code);
// 6, 7, 35, 60 at once; the fourth of 28, 52, 55, 56 in the process.
bool is_unreachable_error(CURLcode code);
// "<base>/v1/download?url=<escaped url>", or none (service down, not http, already under base).
std::optional<std::string> service_proxied_url(const std::string &url);

// Direct attempts at Mojang hosts that failed and fell back to the service.
// While at most 2, Mojang files are tried directly first.
int direct_first_failures();
void direct_first_failed();
bool direct_first_allowed();

// Forgets the latch, the counters and the ZYL_API value read once. Tests only:
// a running launcher never resets them.
void http_state_reset_for_tests();

// URL-escapes one component (curl_easy_escape).
std::string url_escape(const std::string &s);

// JSON request to the service: GET, or POST when body is given. 0 with out set, or -1 with err.
int service_request(const std::string &path, const std::string *body, JsonPtr &out,
                    std::string *err);
int service_get(const std::string &path, JsonPtr &out, std::string *err);
// POSTs body, or "{}" when none is given.
int service_post(const std::string &path, const std::string *body, JsonPtr &out, std::string *err);

// Body of url with up to 3 attempts; none on failure ("HTTP: %s" unless quiet),
// with the reason in err when given.
std::optional<std::string> fetch_url(const std::string &url, bool quiet,
                                     std::string *err = nullptr);
// Mojang directly first, then the service proxy, then the public URL (whose
// failure is the one err tells).
std::optional<std::string> fetch_with_fallback(const std::string &url, std::string *err = nullptr);
// A JSON document with an on-disk cache (used without network unless force).
// err: why the network gave none (also when the cache stepped in).
JsonPtr fetch_json_cached(const std::string &url, const std::string *cache_path, bool force,
                          std::string *err = nullptr);
// Appends every <version> of a Maven metadata document.
void maven_versions(const std::string &url, StrList &out);

// Plain requests for the public APIs; the caller judges the HTTP status.
// status is -1 on a transfer error (then none). Never touch the service latch.
std::optional<std::string> web_get(const std::string &url, const StrList &headers = {},
                                   long *status = nullptr);
std::optional<std::string> web_post(const std::string &url, const std::string &body,
                                    const StrList &headers = {}, long *status = nullptr);
