// Version catalogue and version documents: the manifest of all game versions
// (content service first, Mojang's metadata host second, with a cache file),
// the per-version documents stored as versions/ID/ID.json, the folding of a
// loader profile's "inheritsFrom" chain into one merged profile, and the list
// of installed profiles. Documents are cJSON trees owned by the caller.
//
// Any thread; documents are written atomically, so a reader always gets a
// whole one. The job record (none: UiHooks) receives the messages.
#pragma once

#include "base/job.h"
#include "base/json.h"
#include "base/strings.h"

#include <string>

enum VersionTypeMask {
    VERSION_RELEASE = 1,  // "release"
    VERSION_SNAPSHOT = 2, // "snapshot"
    VERSION_OLD = 4,      // every other type (old_beta, old_alpha, ...)
};

// The manifest; force asks for a network refresh now, otherwise a cached copy is used.
// err: why the network gave none.
JsonPtr manifest_load(bool force, const Job *job = nullptr, std::string *err = nullptr);
// Appends the ids of manifest entries whose type bit is in mask, in manifest order
// (refreshes the manifest first).
void versions_list(int mask, StrList &out);
// The type bit of a manifest "type" value.
int version_type_bit(const std::string &type);

// The version document of id: the local file, else the content service, else
// the manifest's URL. None after "Версия %s не найдена" (or why else it
// failed), which err (optional) receives too.
JsonPtr version_load(const std::string &id, const Job *job = nullptr, std::string *err = nullptr);
// The merged profile of id with its "inheritsFrom" chain folded in (at most 8
// links); root_id (optional) receives the id where the chain ended. None when
// a link is missing (err: version_load's reason) or the result has no main
// class (err: "Версия %s: документ без mainClass").
JsonPtr version_resolve(const std::string &id, std::string *root_id, const Job *job = nullptr,
                        std::string *err = nullptr);
// One fold step: child over parent (libraries child first, arguments parent first,
// every other member of the child replaces the parent's).
JsonPtr version_merge(const cJSON *child, const cJSON *parent);

// Appends the ids of installed profiles (folders holding ID/ID.json).
void versions_installed(StrList &out);
// Writes doc as the version document of id (indented, atomic). 0 or -1.
int version_save(const std::string &id, const cJSON *doc);

// True for a document that can be launched: an object with a "mainClass", or
// a profile that inherits one ("inheritsFrom").
bool version_doc_usable(const cJSON *doc);
// True when versions/ID/ID.json exists and is a usable document.
bool version_installed(const std::string &id);

// "<versions>/ID/ID.json".
std::string version_json_path(const std::string &id);
// False for ids that cannot name a folder of their own: empty, ".", "..", or
// holding "/" or "\" (a document could otherwise climb out of the versions folder).
bool version_id_valid(const std::string &id);
