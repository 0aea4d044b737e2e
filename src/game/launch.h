// Starting the game: the player's identity (offline or the signed-in
// account), the placeholder table, the Java command line in its fixed order,
// a support copy of it in the game directory, and the Java process itself
// with its output on a pipe for the caller to read.
//
// Any thread may launch; the job record (none: UiHooks) receives the
// messages. The account and settings are read as snapshots.
#pragma once

#include "base/job.h"
#include "base/strings.h"
#include "game/gamedir.h"
#include "game/platform.h"
#include "game/rules.h"

#include <cjson/cJSON.h>

#include <optional>
#include <string>

// UUID of an offline player: MD5 of "OfflinePlayer:<name>" made a version 3
// UUID; lowercase, hyphenated (36 characters).
std::string offline_uuid(const std::string &name);
// "0123...": the 32 hex digits with the hyphens taken out.
std::string uuid_plain(const std::string &uuid);
// The 8-4-4-4-12 spelling of 32 hex digits.
std::string uuid_dashed(const std::string &plain);

// Who the game runs as.
struct LaunchIdentity {
    std::string name;
    std::string uuid;        // 32 hex digits, as the game receives it
    std::string uuid_dashed; // for messages
    std::string token = "0";
    std::string session = "0";
    std::string user_type = "legacy";
    bool account = false;
};

LaunchIdentity identity_offline(const std::string &name);
// A signed-in account: its own name, UUID and token ("token:<token>:<uuid>" session).
LaunchIdentity identity_account(const std::string &name, const std::string &uuid,
                                const std::string &token);

// Everything the command line is built from besides the profile.
struct LaunchSpec {
    std::string version_id;
    std::string java;
    int ram_mb = 4096;
    LaunchIdentity who;
    LaunchLayout layout;
    std::optional<std::string> server; // host[:port]
    std::string jvm_args;              // the user's extra JVM options
    int width = 0;                     // not positive: 1280
    int height = 0;                    // not positive: 720
    std::string agent_jar;             // authlib-injector; "" without
    std::string auth_base;             // authentication server (account launches)
};

// The 23 ${name} values of the game's argument templates, in their fixed order.
PlaceholderTable launch_placeholders(const LaunchSpec &s, const Platform &p = platform_host());
// The complete command line; element 0 is the Java executable.
StrList launch_command(const cJSON *profile, const LaunchSpec &s,
                       const Platform &p = platform_host());
// One argument a line; an account's access token never appears in it.
std::string launch_command_text(const StrList &cmd, const LaunchIdentity &who);

// An instance's own choices over the launcher's settings; none (a size not
// positive) leaves the setting.
struct LaunchOverrides {
    std::optional<std::string> java; // a path, or k_java_auto (java.h)
    std::optional<std::string> jvm_args;
    int width = 0;
    int height = 0;
};

// Starts the installed profile id as the player name with ram_mb of memory,
// optionally connecting to server, in the game directory of the instance
// folder (or of the version). 0 with the child's id in *pid and the read end
// of its output pipe in *read_fd (both the caller's); -1 after a message,
// which err (optional) receives too. own: the instance's settings over the
// launcher's.
int launch_version(const std::string &id, const std::string &name, int ram_mb,
                   const std::optional<std::string> &server,
                   const std::optional<std::string> &instance, int *pid, int *read_fd,
                   const Job *job = nullptr, std::string *err = nullptr,
                   const LaunchOverrides &own = {});
