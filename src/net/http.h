// HTTP client: the one place where transfer handles are configured, the
// transfer loop that a job can cancel, answers kept in memory with a size
// cap, and plain GET and POST requests for the public APIs. Which source a
// file comes from (the content service or the public host) is decided in
// service.h and fetch.h, not here.
//
// Any thread: every transfer has its own handle (CURLOPT_NOSIGNAL makes that
// safe); the CA bundle is looked up once, before the first handle.
#pragma once

#include "base/job.h"
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

struct CurlMultiDeleter {
    void operator()(CURLM *m) const { curl_multi_cleanup(m); }
};
using CurlMultiPtr = std::unique_ptr<CURLM, CurlMultiDeleter>;

// Answers kept in memory (documents, API replies) stop at this size, far
// above any real document; longer ones fail with a message.
constexpr long long k_body_max_bytes = 64LL << 20;
// Redirects followed by one transfer.
constexpr long k_max_redirects = 10;

// A transfer handle with the launcher's common options for url; to_service
// picks the content service's user agent.
CurlPtr transfer_handle_new(const std::string &url, bool to_service = false);
// Applies the common options to an existing (fresh or curl_easy_reset) handle;
// a reset handle keeps its live connections, so a worker can reuse them.
void transfer_handle_setup(CURL *c, const std::string &url, bool to_service = false);

// Performs the transfer c through multi, whose connection cache keeps its
// connections for the next transfer. A cancelled job ends it within about a
// tenth of a second with CURLE_ABORTED_BY_CALLBACK, also while the server
// sends nothing. With a bytes_label, the job's progress callback receives the
// bytes received so far and the announced total. With a stall_name, a
// transfer that gets no new byte for 2 s is named once through job_note
// ("нет ответа 2 с: <stall_name>").
CURLcode transfer_perform(CURL *c, CURLM *multi, const Job *job, const char *bytes_label = nullptr,
                          const char *stall_name = nullptr);

// An answer kept in memory. The transfer stops once it would pass
// k_body_max_bytes, so a server sending without end cannot exhaust memory.
struct HttpBody {
    CURL *handle = nullptr;
    std::string data;
    bool too_big = false;
};
// Sends the answer of c into b; an announced length above the cap fails at once.
void http_body_setup(CURL *c, HttpBody &b);
// True when the transfer ended because the answer passed the cap.
bool http_body_too_big(CURLcode rc, const HttpBody &b);
// "Ответ сервера больше 64 МБ, загрузка прервана: <url>".
std::string http_too_big_text(const std::string &url);

// URL-escapes one component (curl_easy_escape).
std::string url_escape(const std::string &s);

// Plain requests for the public APIs; the caller judges the HTTP status.
// status is -1 on a transfer error (then none).
std::optional<std::string> web_get(const std::string &url, const StrList &headers = {},
                                   long *status = nullptr);
std::optional<std::string> web_post(const std::string &url, const std::string &body,
                                    const StrList &headers = {}, long *status = nullptr);
