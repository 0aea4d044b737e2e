// CurseForge's public API with the user's key (setting curseforge_api_key),
// and the texts that explain a missing or refused key.
//
// Any thread: the key is read from the published settings.
#pragma once

#include "base/json.h"

#include <string>

// CurseForge's numbers for Minecraft and its file hashes.
constexpr int k_cf_game_minecraft = 432;
constexpr int k_cf_hash_sha1 = 1;
constexpr int k_cf_release = 1;
constexpr int k_cf_required = 3;

// GET of a full CurseForge API address with the key. The document only for
// HTTP 200 with a body that parses; status 0 when no key is set (nothing sent),
// -1 when there was no connection.
JsonPtr curseforge_request(const std::string &url, long *status);
// The key help text for 0, the refused-key text for 401/403, else "unavailable".
std::string curseforge_error_text(long status);
// endpoint("curseforge_api") + path.
std::string curseforge_api_url(const std::string &path);
