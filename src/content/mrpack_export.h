// Modpack export: an instance written as a Modrinth pack (.mrpack). Files
// that Modrinth serves (found by their SHA-1) are listed in
// modrinth.index.json with their hashes and download addresses; every other
// file of the chosen folders goes into overrides/. Importing the pack
// (modpack.h) recreates an instance with the same files.
//
// Any thread; the job record (none: UiHooks) receives the messages and the
// progress, and its cancel flag stops the export between two files.
#pragma once

#include "base/job.h"
#include "instances/instance.h"

#include <string>
#include <vector>

// One entry of the instance folder that an export can take.
struct ExportEntry {
    std::string name;
    bool is_dir = false;
    bool chosen = false; // taken unless the user says otherwise
};

// The instance folder's entries an export can take, sorted by name: the
// player's settings and content (config, mods, resourcepacks, shaderpacks,
// options*.txt) chosen, everything else (worlds, logs, caches) not. The
// launcher's own files are never offered.
std::vector<ExportEntry> mrpack_export_entries(const Instance &inst);
// The names chosen by default.
std::vector<std::string> mrpack_export_defaults(const Instance &inst);

struct ExportSummary {
    int listed = 0;      // files left to Modrinth's download addresses
    int overrides = 0;   // files carried in the pack
    int skipped = 0;     // symbolic links, which are not followed
    long long bytes = 0; // size of the pack
};

// Writes the instance's chosen entries (names of mrpack_export_entries) as a
// pack at target, replacing whatever is there only when the pack is
// complete. Without an answer from Modrinth every file goes into overrides/,
// with a message. 0 with out (optional) set, or -1 with err.
int mrpack_export(const Instance &inst, const std::string &target,
                  const std::vector<std::string> &chosen, ExportSummary *out, std::string *err,
                  const Job *job = nullptr);
