// Search of Modrinth and CurseForge: through the content service (both
// sources in one request), for an instance with installed marks and the
// direct fallbacks to the public APIs, and the cache of result icons.
//
// Any thread.
#pragma once

#include "instances/content_type.h"
#include "instances/instance.h"

#include <cjson/cJSON.h>
#include <optional>
#include <string>
#include <vector>

struct SearchHit {
    std::string id; // CurseForge ids in decimal
    std::string slug;
    std::string title;
    std::string author;
    std::string summary;
    std::string icon_url;
    std::string page_url;
    int downloads = 0;
    std::string category; // the project's first category as shown, "" when none
    bool installed = false;
    ContentSource source = ContentSource::Modrinth;
};

// A search covers one source, or both when none is given ("all").
using SearchSources = std::optional<ContentSource>;
// "modrinth", "curseforge" or "all".
const char *search_source_word(SearchSources src);

// One request to the service. The count of hits (0 or more) or -1; err may be
// set even when hits came back (a source that failed).
int search_service(SearchSources src, ContentType type, const std::string &query,
                   const std::optional<std::string> &mc, const std::optional<std::string> &loader,
                   std::vector<SearchHit> &hits, std::string *err);
// Search filtered by the instance's version and loader, with installed marks;
// Modrinth or CurseForge directly when the service is unreachable (Modrinth
// for both).
int search_for_instance(SearchSources src, ContentType type, const std::string &query,
                        const Instance &inst, std::vector<SearchHit> &hits, std::string *err);

// The id of a CurseForge project known by its slug, through the service's
// search: the requested type first (mod when none), then every other type.
// None with err when no hit has that slug or the service is unreachable.
std::optional<std::string> search_curseforge_slug(const std::string &slug,
                                                  std::optional<ContentType> type,
                                                  std::string *err);

// The cached icon file of an address ({cache}/icons/<sha1 of the address>),
// downloaded on first use; none for an empty address or a failed download.
std::optional<std::string> icon_cache_path(const std::string &url);

// The category a hit shows: the first entry of a source's "display_categories"
// or "categories" (strings, or objects with a "name") that is not a loader or
// platform; Modrinth's words in Russian. "" when there is none.
std::string search_hit_category(const cJSON *hit);

// Lower case, at most 31 bytes: the loader word the sources filter by.
std::string loader_filter_word(const std::string &loader);
