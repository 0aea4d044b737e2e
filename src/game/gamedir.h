// Game directory preparation: everything a launch needs on disk before the
// Java command line is built. The game directory (per instance or per
// version) with its mods folder and default options, the client jar (loader
// profiles get a copy of the vanilla jar), the classpath, the unpacked
// natives and the assets root. Every step reuses what is already in place.
//
// Any thread; two launches into one game directory at once are not
// coordinated.
#pragma once

#include "base/job.h"
#include "game/platform.h"
#include "net/verified.h"

#include <cjson/cJSON.h>

#include <optional>
#include <string>

// Locations handed to the command line builder; absolute, "/" separated.
struct LaunchLayout {
    std::string game_dir;
    std::string client_jar; // last on the classpath
    std::string classpath;  // joined with the platform's separator
    std::string natives_dir;
    std::string assets_root; // ${assets_root} and ${game_assets}
    std::string asset_index; // "assetIndex"."id", or "legacy"
};

// Written into a fresh game directory only.
inline const char k_default_options[] = "onboardAccessibility:false\nskipMultiplayerWarning:true\n";

// A folder name safe on every file system: each byte that is not an ASCII
// letter, digit, "-", "." or "_" becomes "_" (so one "_" per byte of a
// multi-byte character). Names made only of dots become underscores too, so
// that "." and ".." cannot name the instances folder or its parent.
std::string game_folder_name(const std::string &name);

// "<instances>/<folder name>" for the instance folder, or for the version id
// when folder is none or empty; creates it and its "mods" folder.
std::string game_directory(const std::string &version_id, const std::optional<std::string> &folder);

// The jar that goes last on the classpath, checked against the client's
// SHA-1 of the merged profile through the record of verified files (mode:
// TrustRecord for a launch, HashAll for an install). For a loader profile
// (root id is not the version id) this is the profile's own
// "<id>/<id>.jar" (Forge's ignore list names it), a hard link to the root
// jar where the file system allows, else a copy; when it fails the check it
// is made again from the root jar, which is downloaded again first when it
// fails too. Without a SHA-1 in the profile the own jar must be the root
// jar's file. Neither jar there: the own path all the same, nothing written.
std::string launch_client_jar(const cJSON *profile, const std::string &version_id,
                              const std::string &root_id, VerifyMode mode,
                              const Job *job = nullptr);

// Prepares the game directory, classpath, natives and assets of a merged
// profile. root_id is where its "inheritsFrom" chain ended. Notices go to job.
LaunchLayout launch_prepare(const cJSON *profile, const std::string &version_id,
                            const std::string &root_id, const std::optional<std::string> &folder,
                            const Platform &p = platform_host(), const Job *job = nullptr);
