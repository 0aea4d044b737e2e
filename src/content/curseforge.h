// CurseForge's public API with the user's key (setting curseforge_api_key),
// and the texts that explain a missing or refused key.
//
// Any thread: the key is read from the published settings.
#pragma once

#include "base/json.h"
#include "instances/content_type.h"

#include <string>

// CurseForge's numbers for Minecraft and its file hashes.
constexpr int k_cf_game_minecraft = 432;
constexpr int k_cf_hash_sha1 = 1;
constexpr int k_cf_release = 1;
constexpr int k_cf_required = 3;

// CurseForge's class numbers, which say what a project is.
constexpr int k_cf_class_mod = 6;
constexpr int k_cf_class_resourcepack = 12;
constexpr int k_cf_class_shader = 6552;
constexpr int k_cf_class_datapack = 6945;
constexpr int k_cf_class_world = 17;
constexpr int k_cf_class_modpack = 4471;

// The content type of a class number; every number not listed is a mod.
ContentType curseforge_class_type(long long cls);
// The class number of a type (mod for types without one of their own).
int curseforge_type_class(ContentType t);
// modLoaderType: Forge 1, Fabric 4, Quilt 5, NeoForge 6, anything else 0
// (ignoring case).
int curseforge_loader_type(const std::string &loader);

// GET of a full CurseForge API address with the key. The document only for
// HTTP 200 with a body that parses; status 0 when no key is set (nothing sent),
// -1 when there was no connection.
JsonPtr curseforge_request(const std::string &url, long *status);
// The key help text for 0, the refused-key text for 401/403, else "unavailable".
std::string curseforge_error_text(long status);
// endpoint("curseforge_api") + path.
std::string curseforge_api_url(const std::string &path);
