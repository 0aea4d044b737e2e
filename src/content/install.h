// Installing one project into an instance through the content service, with
// its required dependencies; the dispatcher falls back to the direct
// installers when the service is unreachable.
//
// Any thread may install; a run's state (seen set, manual list, target world)
// belongs to its call. The job record (none: UiHooks) receives the messages
// and progress, and its cancel flag stops the downloads. Two installs into
// one instance at once are serialised only where they write its inventory.
#pragma once

#include "base/job.h"
#include "content/install_file.h"
#include "instances/content_type.h"
#include "instances/instance.h"

#include <optional>
#include <string>

// Installs project id (or slug) from Modrinth or CurseForge. type: none lets
// the project's class decide. world names the world that receives a data pack
// (none: the instance's only world). version picks the project's file (its
// id or version number; none: the newest compatible release, else the newest
// file) and replaces an installed other file of the project. Returns
// k_install_ok, k_install_failed or k_install_manual (install_file.h); msg
// may be set for any result.
int install_content(ContentSource source, std::optional<ContentType> type, const std::string &id,
                    const Instance &inst, const std::optional<std::string> &world, std::string *msg,
                    const Job *job = nullptr,
                    const std::optional<std::string> &version = std::nullopt);
