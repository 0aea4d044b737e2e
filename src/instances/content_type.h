// The vocabulary of installable content: what a project is (ContentType,
// with the words the sources and the inventory use), where it comes from
// (ContentSource, with its word) and how finished a file is (ContentChannel).
// The inventory records them; the catalogue (content/) searches and installs
// by them.
//
// Pure functions: any thread.
#pragma once

#include <optional>
#include <string>

enum class ContentType { Mod, ResourcePack, Shader, DataPack, World, Modpack };

// "mod", "resourcepack", "shader", "datapack", "world", "modpack".
const char *content_type_word(ContentType t);
// Exact words ignoring case, then the prefixes shader, res, data, world/map,
// modpack/pack; else mod.
ContentType content_type_parse(const std::string &word);

// The two catalogues a project can come from.
enum class ContentSource { Modrinth, CurseForge };

// "modrinth" or "curseforge": the word of the service's paths and the
// inventory's "source".
const char *content_source_word(ContentSource s);
// "Modrinth" or "CurseForge", for people.
const char *content_source_name(ContentSource s);
// The source of an inventory "source" word; none for "modpack", "local" and
// anything else that names no catalogue.
std::optional<ContentSource> content_source_parse(const std::string &word);

// How finished the author calls a file: a release, or a beta or alpha the
// player may prefer not to get unasked.
enum class ContentChannel { Release, Beta, Alpha };

// "release", "beta", "alpha": the words of the service, Modrinth and the inventory.
const char *content_channel_word(ContentChannel c);
// A word of content_channel_word (ignoring case); anything else is a release.
ContentChannel content_channel_parse(const std::string &word);
// CurseForge's releaseType: 1 release, 2 beta, 3 alpha (anything else a release).
ContentChannel content_channel_of_release_type(long long release_type);
// "релиз", "бета", "альфа", for people.
const char *content_channel_name(ContentChannel c);
