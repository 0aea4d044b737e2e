// Documents fetched into memory: retries, the source order shared with the
// download engine (Mojang directly while that works, then the content
// service's proxy, the public host last) and JSON documents with an on-disk
// cache.
//
// Any thread; messages go to the job record (none: UiHooks), whose cancel
// flag ends a fetch.
#pragma once

#include "base/job.h"
#include "base/json.h"
#include "base/strings.h"

#include <optional>
#include <string>

// Body of url with up to 3 attempts; none on failure ("HTTP: %s" unless
// quiet) or when job was cancelled, with the reason in err when given.
std::optional<std::string> fetch_url(const std::string &url, bool quiet, const Job *job = nullptr,
                                     std::string *err = nullptr);
// Mojang directly first, then the service proxy, then the public URL (whose
// failure is the one err tells).
std::optional<std::string> fetch_with_fallback(const std::string &url, const Job *job = nullptr,
                                               std::string *err = nullptr);
// A JSON document with an on-disk cache (used without network unless force).
// err: why the network gave none (also when the cache stepped in).
JsonPtr fetch_json_cached(const std::string &url, const std::string *cache_path, bool force,
                          const Job *job = nullptr, std::string *err = nullptr);
// Appends every <version> of a Maven metadata document.
void maven_versions(const std::string &url, StrList &out, const Job *job = nullptr);
