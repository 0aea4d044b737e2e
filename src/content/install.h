// Installing one project into an instance through the content service, with
// its required dependencies; the dispatcher falls back to the direct
// installers when the service is unreachable.
#pragma once

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
                    const std::optional<std::string> &world, std::string *msg);

// One project of a run. seen holds "source:id" keys of the run; manual
// collects what the user must download by hand.
int install_via_service(const std::string &source, const std::string &id, int type,
                        const Instance &inst, StrList &seen, std::string &manual, int depth,
                        std::string *err);
