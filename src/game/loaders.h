// Mod-loader catalogue: the loader kinds with their accepted spellings, and
// the versions of a loader for a game version in offering order (the default
// choice first), from the content service or each loader's public metadata.
//
// Any thread.
#pragma once

#include "base/job.h"
#include "base/json.h"
#include "base/strings.h"

#include <optional>
#include <string>

enum class LoaderKind { Vanilla, Fabric, Quilt, Forge, NeoForge };

// Display name ("Vanilla", "Fabric", "Quilt", "Forge", "NeoForge") of an input
// spelling, compared without case: none, "", "vanilla", "none" are Vanilla,
// "neo" is NeoForge. None when the text is not a loader.
std::optional<std::string> loader_normalize(const std::optional<std::string> &name);
// Kind of a display name returned by loader_normalize.
LoaderKind loader_kind(const std::string &display);
// "vanilla", "fabric", "quilt", "forge", "neoforge".
const char *loader_lower_name(LoaderKind kind);

// Forge's promoted builds for one game version; empty when unknown.
struct LoaderPromos {
    std::string recommended, latest;
};

// Appends the loader's versions for game version mc in offering order. Nothing
// for Vanilla and non-loaders; an empty list is the failure signal. promos,
// when given, receives Forge's recommended and latest builds (from the
// service's promos; without them, the newest build is the latest).
void loader_versions(const std::string &loader, const std::string &mc, StrList &out,
                     const Job *job = nullptr, LoaderPromos *promos = nullptr);

// The orderings, one per source (exposed for tests).
// Content-service reply {"versions": [...], "promos": {...}} for one loader.
void loader_order_service(LoaderKind kind, const cJSON *reply, const std::string &mc, StrList &out,
                          LoaderPromos *promos = nullptr);
// Fabric/Quilt meta "/versions/loader/<mc>" array.
void loader_order_meta(const cJSON *entries, StrList &out);
// Forge Maven versions ("<mc>-<v>[-<mc>]") kept for mc, prefix dropped, newest first.
void loader_order_forge_maven(const StrList &maven, const std::string &mc, StrList &out);
// NeoForge Maven versions kept for mc by prefix, newest first, betas last.
void loader_order_neoforge_maven(const StrList &maven, const std::string &mc, StrList &out);
// "20.4." for 1.20.4, "21.0." for 1.21, "26.2." for 26.2, "7.0." for 7.
std::string neoforge_prefix(const std::string &mc);
// A Forge version without the game version around it: "1.7.10-10.13.4.1614-1.7.10"
// gives "10.13.4.1614".
std::string forge_strip_mc(const std::string &v, const std::string &mc);
