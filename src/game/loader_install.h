// Loader phase of an installation: installs a mod loader on top of an
// installed game version and returns the loader profile id. Fabric and Quilt
// publish ready profiles; Forge and NeoForge ship an installer jar that is run
// headless with Java, with a fallback that unpacks old installers ourselves.
//
// Any thread may install; the job record (none: UiHooks) receives messages
// and progress, and its cancel flag stops the install between steps and in
// every download (a running installer is left to finish).
#pragma once

#include "base/job.h"
#include "base/json.h"
#include "base/strings.h"
#include "game/loaders.h"
#include "net/download.h"

#include <optional>
#include <string>

// loader is a display name ("Fabric", "Quilt", "Forge", "NeoForge"). The
// loader profile id, or none after a message; err (optional) then receives
// the reason.
std::optional<std::string> loader_install(const std::string &loader, const std::string &mc,
                                          const std::optional<std::string> &loader_version,
                                          const Job *job = nullptr, std::string *err = nullptr);

// The profile id a Forge or NeoForge install leaves: "<mc>-forge-<v>" or "neoforge-<v>".
std::string loader_profile_id(LoaderKind kind, const std::string &mc, const std::string &v);

// Default installer address on Forge's or NeoForge's Maven host; older_naming
// gives Forge's "<mc>-<v>-<mc>" folder form used by old releases.
std::string loader_installer_url(LoaderKind kind, const std::string &mc, const std::string &v,
                                 bool older_naming);

// Libraries of an installer's install_profile.json or version.json that name
// a download ("downloads"."artifact" with "url" and "path"), into list.
// Documents of old installers (with "versionInfo") add nothing.
void loader_installer_libraries(const cJSON *doc, DownloadList &list);

// The profile of an old installer's install_profile.json ("versionInfo" and
// "install"): inherits from mc, no "jar", libraries from Forge's former file
// server pointed at its Maven host. None when the document lacks either part.
JsonPtr loader_legacy_profile(const cJSON *install_profile, const std::string &mc);
