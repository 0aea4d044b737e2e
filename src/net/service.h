// The content service's requests: one function per path of its "/v1/" API.
// Each returns 0 with the parsed answer, or -1 with the user-facing reason of
// service_request. Downloads of the service's files are in download.h.
//
// Any thread.
#pragma once

#include "base/json.h"

#include <string>
#include <vector>

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
                               const std::string &mc, const std::string &loader = "");

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
                          const std::string &loader, JsonPtr &out, std::string *err);
// POST "/v1/curseforge/files" in requests of at most 1000 ids; out is one
// object whose "files" holds every answer's files in order.
int service_curseforge_files(const std::vector<long long> &file_ids, JsonPtr &out,
                             std::string *err);
