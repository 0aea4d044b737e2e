// The content service: its base URL, the process-wide "unreachable" latch
// with its counters, the rule for fetching public files through it, JSON
// requests with their error texts, and one function per "/v1/" path.
#include "net/service.h"

#include "base/fs.h"
#include "base/strings.h"
#include "base/ui.h"
#include "config/settings.h"
#include "net/endpoints.h"
#include "net/http.h"
#include "net/transfer_error.h"

#include <atomic>
#include <deque>
#include <mutex>

namespace {

std::mutex g_base_lock; // guards the base URL's values below
bool g_env_read = false;
std::optional<std::string> g_env_api;
std::string g_last_candidate;
bool g_have_base = false;
// Old values are kept so that returned references stay valid.
std::deque<std::string> g_bases;

// The latch only goes from clear to set (a new base clears it under the lock
// above) and the counters only grow, so atomics are enough for the readers.
std::atomic<bool> g_service_down{false};
std::atomic<unsigned> g_unreachable_count{0};
std::atomic<int> g_direct_failures{0};

// Sets the latch; the first caller shows the notice (to the UiHooks: the
// latch belongs to the process, not to the job that found it).
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
    std::string norm = candidate;
    while (!norm.empty() && norm.back() == '/')
        norm.pop_back();
    // Another service (the api_url setting changed): it gets a fresh chance,
    // whatever the one before did.
    if (g_have_base && norm != g_bases.back()) {
        g_service_down = false;
        g_unreachable_count = 0;
    }
    g_have_base = true;
    g_last_candidate = candidate;
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

bool service_is_down() {
    service_base_url(); // notices a changed address, which clears the latch
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

void service_state_reset_for_tests() {
    g_service_down = false;
    g_unreachable_count = 0;
    g_direct_failures = 0;
    std::lock_guard<std::mutex> lk(g_base_lock);
    g_env_read = false;
    g_env_api.reset();
    // Earlier texts stay in g_bases: callers may still hold them.
    g_have_base = false;
}

int service_request(const std::string &path, const std::string *body, JsonPtr &out,
                    std::string *err) {
    const std::string &base = service_base_url();
    if (service_is_down()) {
        if (err) *err = format_alloc("API %s недоступен", base.c_str());
        return -1;
    }
    std::string url = format_alloc("%s%s", base.c_str(), path.c_str());
    CurlPtr c = transfer_handle_new(url, true);
    HttpBody body_in;
    std::string &answer = body_in.data;
    CurlSlistPtr headers;
    curl_easy_setopt(c.get(), CURLOPT_FAILONERROR, 0L);
    curl_easy_setopt(c.get(), CURLOPT_TIMEOUT, 30L);
    http_body_setup(c.get(), body_in);
    if (body) {
        headers.reset(curl_slist_append(nullptr, "Content-Type: application/json"));
        curl_easy_setopt(c.get(), CURLOPT_HTTPHEADER, headers.get());
        curl_easy_setopt(c.get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(body->size()));
        curl_easy_setopt(c.get(), CURLOPT_POSTFIELDS, body->c_str());
    }
    CURLcode rc = curl_easy_perform(c.get());
    long status = 0;
    curl_easy_getinfo(c.get(), CURLINFO_RESPONSE_CODE, &status);

    if (http_body_too_big(rc, body_in)) {
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

std::string service_path_version(const std::string &id) {
    // Version ids may hold spaces ("1.14 Pre-Release 1").
    return "/v1/minecraft/version/" + url_escape(id);
}

std::string service_path_loader_versions(const std::string &loader, const std::string &mc) {
    return format_alloc("/v1/loaders/%s?mc=%s", url_escape(str_lower(loader)).c_str(),
                        url_escape(mc).c_str());
}

std::string service_path_loader_build(const std::string &loader, const std::string &mc,
                                      const std::string &loader_version) {
    return format_alloc("/v1/loaders/%s/%s/%s", url_escape(str_lower(loader)).c_str(),
                        url_escape(mc).c_str(), url_escape(loader_version).c_str());
}

std::string service_path_java(int major, const std::string &os, const std::string &arch) {
    return format_alloc("/v1/java/%d?os=%s&arch=%s", major, url_escape(os).c_str(),
                        url_escape(arch).c_str());
}

std::string service_path_search(const std::string &query, const std::string &type,
                                const std::string &mc, const std::string &loader,
                                const std::string &source) {
    return format_alloc("/v1/search?q=%s&type=%s&mc=%s&loader=%s&source=%s&limit=20&offset=0",
                        url_escape(query).c_str(), url_escape(type).c_str(), url_escape(mc).c_str(),
                        url_escape(loader).c_str(), url_escape(source).c_str());
}

std::string service_path_project(const std::string &source, const std::string &id) {
    return format_alloc("/v1/%s/%s", url_escape(source).c_str(), url_escape(id).c_str());
}

std::string service_path_files(const std::string &source, const std::string &id,
                               const std::string &mc, const std::optional<std::string> &loader) {
    std::string path = format_alloc("%s/files?mc=%s", service_path_project(source, id).c_str(),
                                    url_escape(mc).c_str());
    if (loader) path += "&loader=" + url_escape(*loader);
    return path;
}

int service_minecraft_versions(JsonPtr &out, std::string *err) {
    return service_get("/v1/minecraft/versions", out, err);
}

int service_minecraft_version(const std::string &id, JsonPtr &out, std::string *err) {
    JsonPtr doc;
    if (service_get(service_path_version(id), doc, err) != 0) return -1;
    if (!cJSON_IsArray(json_get(doc.get(), "libraries"))) {
        if (err) *err = format_alloc("API: неполный документ версии %s", id.c_str());
        return -1;
    }
    out = std::move(doc);
    return 0;
}

int service_loader_versions(const std::string &loader, const std::string &mc, JsonPtr &out,
                            std::string *err) {
    return service_get(service_path_loader_versions(loader, mc), out, err);
}

int service_loader_build(const std::string &loader, const std::string &mc,
                         const std::string &loader_version, JsonPtr &out, std::string *err) {
    return service_get(service_path_loader_build(loader, mc, loader_version), out, err);
}

int service_java(int major, const std::string &os, const std::string &arch, JsonPtr &out,
                 std::string *err) {
    return service_get(service_path_java(major, os, arch), out, err);
}

int service_search(const std::string &query, const std::string &type, const std::string &mc,
                   const std::string &loader, const std::string &source, JsonPtr &out,
                   std::string *err) {
    return service_get(service_path_search(query, type, mc, loader, source), out, err);
}

int service_project(const std::string &source, const std::string &id, JsonPtr &out,
                    std::string *err) {
    return service_get(service_path_project(source, id), out, err);
}

int service_project_files(const std::string &source, const std::string &id, const std::string &mc,
                          const std::optional<std::string> &loader, JsonPtr &out,
                          std::string *err) {
    return service_get(service_path_files(source, id, mc, loader), out, err);
}

int service_curseforge_files(const std::vector<long long> &file_ids, JsonPtr &out,
                             std::string *err) {
    const size_t k_chunk = 1000;
    JsonPtr merged(cJSON_CreateObject());
    cJSON *all = cJSON_AddArrayToObject(merged.get(), "files");
    for (size_t start = 0; start < file_ids.size(); start += k_chunk) {
        JsonPtr body(cJSON_CreateObject());
        cJSON *ids = cJSON_AddArrayToObject(body.get(), "fileIds");
        for (size_t i = start; i < file_ids.size() && i < start + k_chunk; i++)
            cJSON_AddItemToArray(ids, cJSON_CreateNumber(static_cast<double>(file_ids[i])));
        std::string text = json_print_compact(body.get());
        JsonPtr answer;
        if (service_post("/v1/curseforge/files", &text, answer, err) != 0) return -1;
        cJSON *files = json_get(answer.get(), "files");
        if (!cJSON_IsArray(files)) continue;
        // Move the items over instead of copying them.
        while (cJSON *item = cJSON_DetachItemFromArray(files, 0))
            cJSON_AddItemToArray(all, item);
    }
    out = std::move(merged);
    return 0;
}

int service_project_updates(const std::string &source, const std::string &mc,
                            const std::vector<ServiceProjectQuery> &projects, JsonPtr &out,
                            std::string *err) {
    const size_t k_chunk = 500;
    JsonPtr merged(cJSON_CreateObject());
    cJSON *all = cJSON_AddObjectToObject(merged.get(), "projects");
    std::string path = format_alloc("/v1/%s/updates", url_escape(source).c_str());
    for (size_t start = 0; start < projects.size(); start += k_chunk) {
        JsonPtr body(cJSON_CreateObject());
        cJSON_AddStringToObject(body.get(), "mc", mc.c_str());
        cJSON *list = cJSON_AddArrayToObject(body.get(), "projects");
        for (size_t i = start; i < projects.size() && i < start + k_chunk; i++) {
            cJSON *p = cJSON_CreateObject();
            cJSON_AddStringToObject(p, "id", projects[i].id.c_str());
            cJSON_AddStringToObject(p, "loader", projects[i].loader.c_str());
            cJSON_AddItemToArray(list, p);
        }
        std::string text = json_print_compact(body.get());
        JsonPtr answer;
        if (service_post(path, &text, answer, err) != 0) return -1;
        cJSON *found = json_get(answer.get(), "projects");
        if (!cJSON_IsObject(found)) continue;
        while (cJSON *item = found->child) {
            cJSON_DetachItemViaPointer(found, item);
            if (cJSON_GetObjectItemCaseSensitive(all, item->string))
                cJSON_Delete(item); // the first answer for an id stands
            else
                cJSON_AddItemToObject(all, item->string, item);
        }
    }
    out = std::move(merged);
    return 0;
}
