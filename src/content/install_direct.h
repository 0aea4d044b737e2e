// Direct installs from Modrinth's and CurseForge's public APIs, used when the
// content service is unreachable: mods, resource packs and shader packs with
// their required dependencies (followed to depth 9).
//
// Any thread; messages and progress go to the job record (none: UiHooks).
#pragma once

#include "base/job.h"
#include "content/install_file.h"
#include "content/versions.h"
#include "instances/content_type.h"
#include "instances/instance.h"

#include <optional>
#include <string>

// A CurseForge project that only the content service can install (data pack,
// world, modpack): the dispatcher answers with the service's own error.
constexpr int k_install_needs_service = -3;

// Whether the direct installers can install a requested type (none: the
// project decides).
bool install_direct_covers(std::optional<ContentType> type);

// 0 installed (or installed already), -1 failed with msg set. ref is an id or
// a slug; version (at depth 0) picks the file as install_content does.
int install_modrinth_direct(ContentType type, const std::string &ref, const Instance &inst,
                            int depth, std::string *msg, const Job *job = nullptr,
                            const std::optional<std::string> &version = std::nullopt);
// 0 installed, -1 failed, -2 the author forbids downloads (msg holds the page
// to use), k_install_needs_service for data packs, worlds and modpacks.
int install_curseforge_direct(const std::string &ref, const Instance &inst, int depth,
                              std::string *msg, const Job *job = nullptr,
                              const std::optional<std::string> &version = std::nullopt);

// The project's compatible versions straight from Modrinth (no key needed)
// or CurseForge (with the user's key). 0, or -1 with msg; CurseForge gives
// k_install_needs_service for data packs, worlds and modpacks.
int modrinth_versions(ContentType type, const std::string &ref, const Instance &inst,
                      ProjectVersions &out, std::string *msg);
int curseforge_versions(const std::string &ref, const Instance &inst, ProjectVersions &out,
                        std::string *msg);
