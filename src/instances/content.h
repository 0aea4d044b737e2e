// Instance content inventory: zyl-content.json records what the launcher
// installed into an instance (project, source, file, SHA-1, title, type,
// version and channel, the world of a data pack, the projects it requires,
// whether the player switched it off). The folders are the truth for what is
// present; listings join the two.
//
// Any thread: every read-modify-write of zyl-content.json holds the file's
// lock, so installs into one instance from two threads or processes keep
// each other's records.
#pragma once

#include "base/json.h"
#include "base/strings.h"
#include "instances/content_type.h"
#include "instances/instance.h"

#include <optional>
#include <string>
#include <vector>

// One installed project in zyl-content.json.
struct ContentRecord {
    std::string source; // "modrinth", "curseforge", "modpack" or empty
    std::string project;
    std::string file;
    std::string filename; // the enabled name, also while the file is switched off
    std::string sha1;
    std::string title;
    ContentType type = ContentType::Mod;
    std::string version; // the file's version as its source names it; may be empty
    ContentChannel channel = ContentChannel::Release;
    std::string world; // the world of a data pack
    StrList required;  // "<source>:<project>" of each required dependency
    bool disabled = false;
};

// A record of the seven facts every install knows; the rest left empty.
ContentRecord content_record(const std::string &source, const std::string &project,
                             const std::string &file, const std::string &filename,
                             const std::string &sha1, const std::string &title, ContentType type);

// One file of a listing.
struct ContentFile {
    std::string filename; // as it is in its folder, ".disabled" included
    std::string title;
    std::string project;
    std::string source; // "local" when no record describes the file
    ContentType type = ContentType::Mod;
    std::string version;
    ContentChannel channel = ContentChannel::Release;
    std::string world; // the world whose datapacks folder holds a data pack
    bool disabled = false;
};

// The suffix of a file the player switched off, the convention the loaders
// and other launchers share.
extern const char *const k_disabled_suffix;

// The inventory as a JSON array, never null; migrates the legacy content.json.
JsonPtr content_load(const Instance &inst);
// The record an element of the inventory describes.
ContentRecord content_record_of(const cJSON *element);
// Adds a record, replacing the one with the same source and project.
void content_put(const Instance &inst, const ContentRecord &rec);
// content_put of each record in turn, with one read and one write of the file.
void content_put_all(const Instance &inst, const std::vector<ContentRecord> &recs);
// True when a record of source/project exists and its file is present,
// switched off or not (data packs and worlds count without a file).
bool content_is_installed(const Instance &inst, const std::string &source,
                          const std::string &project);
// Jar, zip and .disabled files in mods, resourcepacks and shaderpacks, then
// the data packs of every world, with their records: sorted by kind, world
// and title, so a list shown from it keeps its order when a file changes.
std::vector<ContentFile> content_list_files(const Instance &inst);
// True when mods, resourcepacks or shaderpacks holds a file of that plain
// name, or of that name switched off.
bool content_file_exists(const Instance &inst, const std::string &filename);
// Deletes the file from mods, resourcepacks or shaderpacks (the name, else
// the name switched off) and drops its record; with a world, the data pack
// of that name (a file or a folder) from the world's datapacks. 0 when a file
// was deleted, -1 for a refused name, non-zero otherwise.
int content_remove_file(const Instance &inst, const std::string &filename,
                        const std::optional<std::string> &world = std::nullopt);
// Switches a mod, resource pack or shader pack off (renamed to
// "<file>.disabled") or on again, and notes it in its record. filename may
// name either form. 0, or -1 with err saying why; the file is never replaced.
int content_set_enabled(const Instance &inst, const std::string &filename, bool enabled,
                        std::string *err);
// What stops working without the file: one line "<title> требует <title>"
// for every present item whose record requires the file's project.
StrList content_dependents(const Instance &inst, const std::string &filename);
// "resourcepacks", "shaderpacks", or "mods" for every other type.
const char *content_folder_name(ContentType type);
// World folders (with a level.dat) in the instance's saves.
StrList world_list(const Instance &inst);
// Drops the first record with that file name; the file stays.
void content_forget(const Instance &inst, const std::string &filename);
// The record with that file name (or the record of a file switched off, by
// its listed name), if any.
std::optional<ContentRecord> content_find_file(const Instance &inst, const std::string &filename);
