// The content service: its base URL (ZYL_API, else the api_url setting, else
// the default), the process-wide latch that says it is unreachable, the rule
// for fetching public files through its proxy, the direct-first counter of
// Mojang files, JSON requests with their user-facing error texts, and one
// function per path of its "/v1/" API. Downloads of the service's files are
// in download.h, documents fetched through it in fetch.h.
//
// Any thread. The base URL is computed under a lock; the latch and the
// counters are atomics that only a new base URL resets.
#pragma once

#include "base/json.h"

#include <curl/curl.h>
#include <optional>
#include <string>
#include <vector>

// The content service's base URL without trailing "/": ZYL_API, else the
// api_url setting, else the default. Stays valid for the process.
const std::string &service_base_url();
// True when url is the service base or lies below it.
bool is_service_url(const std::string &url);

// True once the content service was found unreachable in this process, until
// its address changes (the api_url setting, when ZYL_API is not set).
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
void service_state_reset_for_tests();

// JSON request to the service: GET, or POST when body is given. 0 with out set, or -1 with err.
int service_request(const std::string &path, const std::string *body, JsonPtr &out,
                    std::string *err);
int service_get(const std::string &path, JsonPtr &out, std::string *err);
// POSTs body, or "{}" when none is given.
int service_post(const std::string &path, const std::string *body, JsonPtr &out, std::string *err);

// Paths, relative to the service base. Every caller-supplied value is escaped.
std::string service_path_version(const std::string &id);
std::string service_path_loader_versions(const std::string &loader, const std::string &mc);
std::string service_path_loader_build(const std::string &loader, const std::string &mc,
                                      const std::string &loader_version);
std::string service_path_java(int major, const std::string &os, const std::string &arch);
std::string service_path_search(const std::string &query, const std::string &type,
                                const std::string &mc, const std::string &loader,
                                const std::string &source);
std::string service_path_project(const std::string &source, const std::string &id);
// Without a loader (modpack archives) the loader parameter is left out.
std::string service_path_files(const std::string &source, const std::string &id,
                               const std::string &mc,
                               const std::optional<std::string> &loader = std::nullopt);

// GET "/v1/minecraft/versions": "versions" shaped like Mojang's manifest.
int service_minecraft_versions(JsonPtr &out, std::string *err);
// GET "/v1/minecraft/version/<id>": a version document, accepted only with "libraries".
int service_minecraft_version(const std::string &id, JsonPtr &out, std::string *err);
// GET "/v1/loaders/<loader>?mc=": "versions" (and "promos" for forge).
int service_loader_versions(const std::string &loader, const std::string &mc, JsonPtr &out,
                            std::string *err);
// GET "/v1/loaders/<loader>/<mc>/<version>": "installer" or "profile".
int service_loader_build(const std::string &loader, const std::string &mc,
                         const std::string &loader_version, JsonPtr &out, std::string *err);
// GET "/v1/java/<major>?os=&arch=": "url", "sha256", optional "proxied".
int service_java(int major, const std::string &os, const std::string &arch, JsonPtr &out,
                 std::string *err);
// GET "/v1/search?...": "modrinth", "curseforge" and "errors".
int service_search(const std::string &query, const std::string &type, const std::string &mc,
                   const std::string &loader, const std::string &source, JsonPtr &out,
                   std::string *err);
// GET "/v1/<source>/<id>": "id", "name", "class".
int service_project(const std::string &source, const std::string &id, JsonPtr &out,
                    std::string *err);
// GET "/v1/<source>/<id>/files?mc=[&loader=]": "files".
int service_project_files(const std::string &source, const std::string &id, const std::string &mc,
                          const std::optional<std::string> &loader, JsonPtr &out,
                          std::string *err);
// One project of an update check: its id and the loader its files must fit
// (empty: any).
struct ServiceProjectQuery {
    std::string id;
    std::string loader;
};
// POST "/v1/<source>/updates" with {"mc", "projects": [{"id", "loader"}]}, in
// requests of at most 500 projects; out is one object whose "projects" maps
// each id the service knows to {"files": [...]}, files as the files request
// gives them.
int service_project_updates(const std::string &source, const std::string &mc,
                            const std::vector<ServiceProjectQuery> &projects, JsonPtr &out,
                            std::string *err);
// POST "/v1/curseforge/files" in requests of at most 1000 ids; out is one
// object whose "files" holds every answer's files in order.
int service_curseforge_files(const std::vector<long long> &file_ids, JsonPtr &out,
                             std::string *err);
