// Content updates: one installed file of an instance is replaced by the file
// its source offers now for the instance's game version and loader. The old
// file waits under a backup name while the new one is installed, and it comes
// back, with its record, whenever that fails.
//
// Any thread; the job record (none: UiHooks) is handed to the reinstall.
#pragma once

#include "base/job.h"
#include "instances/instance.h"

#include <optional>
#include <string>

// The backup name of an installed file's path.
std::string content_backup_path(const std::string &path);

// Updates the file named as content_list_files lists it. world is the target
// world for a data pack (none: the instance's only one). Returns the install
// result codes (0, -1, -2) with msg set: "Обновлено: ..." on success, followed
// on the next line by the install's message when it left one; the install's
// message on failure.
int content_update(const Instance &inst, const std::string &filename,
                   const std::optional<std::string> &world, std::string *msg,
                   const Job *job = nullptr);
