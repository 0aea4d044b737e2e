// Instance content inventory: zyl-content.json records what the launcher
// installed into an instance (project, source, file, SHA-1, title, type).
// The folders are the truth for what is present; listings join the two.
//
// Any thread: every read-modify-write of zyl-content.json holds the file's
// lock, so installs into one instance from two threads or processes keep
// each other's records.
#pragma once

#include "base/json.h"
#include "base/strings.h"
#include "instances/content_type.h"
#include "instances/instance.h"

#include <string>
#include <vector>

// One installed project in zyl-content.json.
struct ContentRecord {
    std::string source; // "modrinth", "curseforge", "modpack" or empty
    std::string project;
    std::string file;
    std::string filename;
    std::string sha1;
    std::string title;
    ContentType type = ContentType::Mod;
};

// One file of a listing.
struct ContentFile {
    std::string filename;
    std::string title;
    std::string project;
    std::string source; // "local" when no record describes the file
    ContentType type = ContentType::Mod;
};

// The inventory as a JSON array, never null; migrates the legacy content.json.
JsonPtr content_load(const Instance &inst);
// Adds a record, replacing the one with the same source and project.
void content_put(const Instance &inst, const ContentRecord &rec);
// content_put of each record in turn, with one read and one write of the file.
void content_put_all(const Instance &inst, const std::vector<ContentRecord> &recs);
// True when a record of source/project exists and its file is present
// (data packs and worlds count without a file).
bool content_is_installed(const Instance &inst, const std::string &source,
                          const std::string &project);
// Jar, zip and .disabled files in mods, resourcepacks and shaderpacks, with their records.
std::vector<ContentFile> content_list_files(const Instance &inst);
// True when mods, resourcepacks or shaderpacks holds a file of that plain name.
bool content_file_exists(const Instance &inst, const std::string &filename);
// Deletes the file from mods, resourcepacks or shaderpacks and drops its record;
// 0 when a file was deleted, -1 for a refused name, non-zero otherwise.
int content_remove_file(const Instance &inst, const std::string &filename);
// "resourcepacks", "shaderpacks", or "mods" for every other type.
const char *content_folder_name(ContentType type);
// World folders (with a level.dat) in the instance's saves.
StrList world_list(const Instance &inst);
// Drops the first record with that file name; the file stays.
void content_forget(const Instance &inst, const std::string &filename);
// The record with that file name, if any.
std::optional<ContentRecord> content_find_file(const Instance &inst, const std::string &filename);
