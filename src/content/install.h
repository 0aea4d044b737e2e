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
#include "base/strings.h"
#include "content/search.h"
#include "instances/instance.h"

#include <optional>
#include <string>

// Result codes of every install.
constexpr int k_install_ok = 0;
constexpr int k_install_failed = -1;
constexpr int k_install_manual = -2; // the author forbids downloads by other launchers

// Installs project id (or slug) from Modrinth or CurseForge. type is a
// ContentType value, or -1 to let the project's class decide. world names the
// world that receives a data pack (none: the instance's only world). msg may be
// set for any result.
int install_content(SearchSource source, int type, const std::string &id, const Instance &inst,
                    const std::optional<std::string> &world, std::string *msg,
                    const Job *job = nullptr);
