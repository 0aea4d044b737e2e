// Loader phase of an installation: installs a mod loader on top of an
// installed game version and returns the loader profile id.
#pragma once

#include <optional>
#include <string>

// loader is a display name ("Fabric", "Quilt", "Forge", "NeoForge").
std::optional<std::string> loader_install(const std::string &loader, const std::string &mc,
                                          const std::optional<std::string> &loader_version);
