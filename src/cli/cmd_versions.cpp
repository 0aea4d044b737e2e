// "list", "installed" and "loaders": version and loader catalogues on standard output.
#include "cli/cmd_versions.h"

#include "base/ui.h"
#include "cli/help.h"
#include "game/loaders.h"
#include "game/versions.h"

#include <cstdio>

namespace {
const char *const k_loader_names[] = {"Fabric", "Quilt", "Forge", "NeoForge"};
const size_t k_unfiltered_max = 8;
} // namespace

int cmd_list(const Options &opts) {
    StrList ids;
    versions_list(opts.version_filter, ids);
    for (const std::string &id : ids)
        console_out("%s\n", id.c_str());
    return ids.empty() ? 1 : 0;
}

int cmd_installed(const Options &) {
    StrList ids;
    versions_installed(ids);
    for (const std::string &id : ids)
        console_out("%s\n", id.c_str());
    return 0;
}

int cmd_loaders(const Options &opts) {
    if (!opts.pos[0]) {
        help_print();
        return 2;
    }
    std::string mc;
    std::optional<std::string> filter;
    auto kind = loader_normalize(*opts.pos[0]);
    if (!opts.pos[1] || !kind || *kind == "Vanilla") {
        mc = *opts.pos[0];
        filter = opts.loader;
    } else {
        filter = *opts.pos[0];
        mc = *opts.pos[1];
    }
    for (const char *name : k_loader_names) {
        if (filter && !str_equal_ci(*filter, name)) continue;
        StrList versions;
        loader_versions(name, mc, versions);
        console_out("%s (%d):", name, static_cast<int>(versions.size()));
        size_t shown = filter ? versions.size() : std::min(versions.size(), k_unfiltered_max);
        for (size_t i = 0; i < shown; i++)
            console_out(" %s", versions[i].c_str());
        console_out("%s\n", shown < versions.size() ? " ..." : "");
    }
    return 0;
}
