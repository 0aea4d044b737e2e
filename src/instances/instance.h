// Instance store: each instance is a game directory of its own under
// {data}/instances/{folder}, described by its instance.json.
//
// Any thread may call these. Creation takes the instances folder's lock for
// the moment it picks the folder and writes the record, so two creates (in
// threads or processes) never take one name; nothing else is locked. The
// long operations take a job record (none: UiHooks).
#pragma once

#include "base/job.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct Instance {
    std::string folder; // directory name; never written into instance.json
    std::string name;
    std::string mc;
    std::string loader = "Vanilla";
    std::string loader_version;
    std::string version_id;
    long long created = 0;
    long long last_played = 0;
    int ram_mb = 0; // 0 or less: the launcher's default
    // The instance's own launch settings; none (a size not positive) means
    // "as in the launcher's settings".
    std::optional<std::string> java_path; // a path, or k_java_auto (game/java.h)
    std::optional<std::string> jvm_args;  // may be empty: none for this instance
    int width = 0;
    int height = 0;
    std::optional<std::string> server; // may be empty: join no server
};

// The most an instance.json may have; a larger one reads as broken.
constexpr long long k_instance_json_max = 1LL << 20;

// Every instance, newest last_played first. Bare folders with an installed
// profile of the same name are adopted (instance.json written).
std::vector<Instance> instance_list();
// Exact folder or name first, then the name ignoring case.
std::optional<Instance> instance_find(const std::string &name_or_folder);
// Installs the version (with its loader) and records a new instance. The
// display name defaults to the game version. 0 with out set, or -1 after a
// message, which err (optional) receives too (an install's own reason when
// the install failed).
int instance_create(const std::string &name, const std::string &loader_word, const std::string &mc,
                    const std::string &loader_version, Instance *out, const Job *job = nullptr,
                    std::string *err = nullptr);
// The steps of instance_create, for callers that fill the folder before the
// instance appears (modpack import): new_record installs the version and fills
// the record with a folder name that is free now but not yet created (the
// display name is not checked: the caller picks or checks it under the
// instances lock once the install is done); commit
// writes it and announces it. Both 0, or -1 after a message. announce is the
// message alone, for a record written elsewhere.
int instance_new_record(const std::string &name, const std::string &loader_word,
                        const std::string &mc, const std::string &loader_version, Instance *out,
                        const Job *job = nullptr, std::string *err = nullptr);
int instance_commit(const Instance &inst, const Job *job = nullptr, std::string *err = nullptr);
void instance_announce(const Instance &inst, const Job *job = nullptr);
// A modpack import fills its instance in a hidden staging folder
// ".<folder>.import-<pid>" and reserves <folder>, empty, until it moves the
// staging folder over it. While the importing process runs, listing shows
// neither. staging_name gives the staging folder for this process;
// staging_reserved, for an entry of the instances folder that is a staging
// folder, the reserved folder and whether its process still runs.
std::string instance_staging_name(const std::string &folder);
std::optional<std::string> instance_staging_reserved(const std::string &entry, bool *live);
// Installs the profile again when it is gone, stamps last_played and starts
// the game in the instance folder. The instance's own memory, Java, JVM
// options, window size and server win over default_ram_mb, default_server
// and the launcher's settings. The launch result, with the child's id and
// its output pipe; -1 when the version cannot be installed or started (err,
// optional, receives why), k_launch_java_too_old as launch_version says.
// java_insist: the instance's Java even when it is too old.
int instance_prepare_launch(Instance &inst, const std::string &player, int default_ram_mb,
                            const std::optional<std::string> &default_server, int *pid,
                            int *read_fd, const Job *job = nullptr, std::string *err = nullptr,
                            bool java_insist = false);
// Writes instance.json and the five sub-folders; 0 or -1.
int instance_save(const Instance &inst);
// Changes an existing record on disk: instance.json is read again under its
// lock, change is applied and the record written, so two writers (a launch
// stamping last_played, a settings change from another window or process)
// never undo each other. 0 with *out (optional) set to the written record;
// -1 when the instance is gone or the record cannot be written (errno says
// why).
int instance_update(const std::string &folder, const std::function<void(Instance &)> &change,
                    Instance *out = nullptr);
// Removes the instance folder (and nothing outside it); 0 or -1.
int instance_delete(const Instance &inst);
// A display name that no instance, and no import still running, uses yet:
// "Pack", "Pack (2)", ...
std::string instance_unique_name(const std::string &wanted);
// A folder name for a display name that does not exist yet: "My_Pack", "My_Pack-2", ...
std::string instance_folder_for_name(const std::string &display_name);
// The folder name part of the rule, without the existence check.
std::string instance_folder_base(const std::string &display_name);

struct VersionFields {
    std::string mc;
    std::string loader;
    std::string loader_version;
};
// mc, loader and loader version derived from an installed profile's id.
VersionFields instance_fields_from_version(const std::string &version_id);
// {instances}/{folder}
std::string instance_dir(const Instance &inst);
// instance.json text of a record, members in their fixed order.
std::string instance_to_json(const Instance &inst);
