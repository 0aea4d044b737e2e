// Content updates: an installed file of an instance is replaced by the file
// its source offers now for the instance's game version and loader (the
// newest release, else the newest file). The old file waits under a backup
// name while the new one is installed, and it comes back, with its record,
// whenever that fails. The update check asks each source once for every
// installed project of it; "update all" updates what the check found.
// Files the player switched off are left alone.
//
// Any thread; the job record (none: UiHooks) is handed to the reinstall.
#pragma once

#include "base/job.h"
#include "content/versions.h"
#include "instances/instance.h"

#include <optional>
#include <string>
#include <vector>

// The backup name of an installed file's path.
std::string content_backup_path(const std::string &path);

// Updates the file named as content_list_files lists it. world is the target
// world for a data pack (none: the world it was installed into, else the
// instance's only one). Returns the install result codes (0, -1, -2) with msg
// set: "«title» <version> — уже последняя версия" when the newest file is the
// installed one (nothing is downloaded), else "Обновлено: title old → new",
// followed on the next line by the install's message when it left one; the
// reason on failure.
int content_update(const Instance &inst, const std::string &filename,
                   const std::optional<std::string> &world, std::string *msg,
                   const Job *job = nullptr);

// An installed file that has a newer compatible file at its source.
struct OutdatedItem {
    std::string filename; // as listed
    std::string title;
    std::string current; // the installed version (its file name when unknown)
    ContentVersion latest;
};

// The enabled mods, resource packs and shader packs from Modrinth or
// CurseForge with a newer compatible file: one request per source through the
// content service (one per project straight from the sources when it is
// unreachable). 0, or -1 with err; items are in listing order.
int content_outdated(const Instance &inst, std::vector<OutdatedItem> &items, std::string *err,
                     const Job *job = nullptr);

// Updates every file content_outdated finds, each with the backup and
// restore of content_update. msg: one line per file, then the count. 0 when
// every update worked (also when there was nothing to update), else -1.
int content_update_all(const Instance &inst, std::string *msg, const Job *job = nullptr);
