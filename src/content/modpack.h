// Modpack import: a Modrinth .mrpack or a CurseForge modpack zip (a local
// file, or a project fetched through the content service) becomes a new
// instance with the pack's game version, loader, files and overrides.
//
// Any thread may import: each import unpacks into a folder of its own and
// fills a staging folder of its own. The job record (none: UiHooks) receives
// the messages and progress, and its cancel flag stops the downloads.
#pragma once

#include "base/job.h"
#include "instances/instance.h"

#include <string>

// The loader members of a Modrinth pack's "dependencies" and the loaders
// they name, in the order an import looks for them.
struct MrpackLoaderKey {
    const char *key;
    const char *loader;
};
extern const MrpackLoaderKey k_mrpack_loader_keys[4];

// What the user named: a file, or a project on Modrinth or CurseForge.
struct ModpackRef {
    bool remote = false;
    std::string path;   // a file (remote false)
    std::string source; // "modrinth" or "curseforge" (remote true)
    std::string id;     // project id or slug
    std::string mc;     // the text after "@", empty without one
};

// An existing file is a file; "curseforge:", "cf:", "modrinth:" or "mr:"
// (any case) with id[@mc] is a project; anything else is a file path.
ModpackRef modpack_ref_parse(const std::string &ref);

// A path from a pack that stays inside the instance: not empty, not absolute,
// no "..", no ":" (drive letters), "\" counting as "/", and only printable
// characters (str_printable).
bool modpack_path_safe(const std::string &rel);

// Downloads the pack file of a project to {cache}/modpacks/{filename}.
// 0 with the archive's path, or -1 with err.
int modpack_fetch(const ModpackRef &ref, std::string *archive, std::string *err,
                  const Job *job = nullptr);

// Imports ref as a new instance named display_name (empty: the pack's name),
// made unique. 0 with out set, or -1 with err. manual receives what must be
// downloaded by hand (may be empty on success). The instance appears only
// when the import succeeded; a failed one leaves no instance behind.
int modpack_import(const std::string &ref, const std::string &display_name, Instance *out,
                   std::string *manual, std::string *err, const Job *job = nullptr);
