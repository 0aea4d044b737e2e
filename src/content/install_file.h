// The piece every content installer shares: a file chosen for a project
// (through the content service, or straight from Modrinth or CurseForge) is
// downloaded into its folder of the instance (a data pack into a world, a
// world unpacked into saves), recorded in the inventory, and the project's
// dependencies are followed. Each installer finds the project and chooses
// the file in its own source's words, then hands over here.
//
// Any thread; a run belongs to one install_content call.
#pragma once

#include "base/job.h"
#include "base/strings.h"
#include "content/versions.h"
#include "instances/content_type.h"
#include "instances/instance.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

// Result codes of every install.
constexpr int k_install_ok = 0;
constexpr int k_install_failed = -1;
constexpr int k_install_manual = -2; // the author forbids downloads by other launchers

// Dependencies are not followed from this depth on.
constexpr int k_install_max_depth = 9;
// Required dependencies one install follows at most: a real mod needs a few,
// a big pack's worth is a few dozen, and a server inventing thousands must
// not cost a request and a line each.
constexpr int k_install_max_dependencies = 300;

// One install_content call: the instance, the world that receives data
// packs, the "source:id" keys of the projects seen so far and the lines the
// user must act on by hand, both shared with every dependency; the job the
// messages go to; and the version the player picked for the project asked
// for (its dependencies get their newest release).
struct InstallRun {
    const Instance &inst;
    std::optional<std::string> world;
    const Job *job;
    StrList seen;
    std::string manual;
    std::optional<std::string> version;
    int dependencies = 0; // required dependencies followed so far
    bool bounded = false; // the walk reached k_install_max_dependencies
};

// The file an installer chose for a project.
struct ChosenFile {
    ContentSource source = ContentSource::Modrinth;
    std::string project; // the project's id
    std::string title;
    ContentType type = ContentType::Mod;
    std::string shown; // what "Скачиваю <shown> → <file>" names
    std::string file_id;
    std::string filename;
    std::string url;                    // the public address
    std::optional<std::string> proxied; // through the service: its path ("" without one)
    std::string sha1;
    std::string manual; // a page for downloading by hand, when the author forbids it
    std::string version;
    ContentChannel channel = ContentChannel::Release;
};

// A chosen file that so far names only its project; the installer fills in
// the rest.
ChosenFile chosen_file_of(ContentSource source, const std::string &project,
                          const std::string &title, ContentType type);

// A dependency the source named. A Modrinth dependency may name only the
// version, from which its installer finds the project.
struct Dependency {
    ContentSource source;
    std::string project;
    std::string version;
    bool required = false; // otherwise incompatible
};

// Installs one dependency at depth; the installer's own recursion.
using DependencyInstaller =
    std::function<int(InstallRun &run, const Dependency &dep, int depth, std::string *err)>;

// How the installer speaks: whether its closing line carries the dependency
// indent.
struct InstallVoice {
    bool indent_done = true;
};

// Downloads f into its folder, records it, warns about incompatible
// dependencies already installed and installs the required ones (below
// depth 9, at most k_install_max_dependencies in the run) with
// install_dependency; a dependency that fails becomes a message and a line
// of run.manual, never the project's failure. A version the player picked
// replaces the project's installed file once the new one is complete (the
// same file stays and nothing is fetched). The result
// codes above; err (optional) says why it failed.
int install_chosen(InstallRun &run, const ChosenFile &f, const std::vector<Dependency> &deps,
                   int depth, const DependencyInstaller &install_dependency, std::string *err,
                   InstallVoice voice = {});

// True when the player picked a version for the project at this depth: the
// "already installed" test then gives way to install_chosen's own.
bool install_picked_version(const InstallRun &run, int depth);
// ChosenFile's version fields from a listed version.
void chosen_set_version(ChosenFile &f, const ContentVersion &v);

// "  зависимость: " for a dependency's download message, "" at the top.
const char *install_download_prefix(int depth);
// "  зависимость " for a dependency's "already installed" message.
const char *install_installed_prefix(int depth);

// True when text is not empty and made only of the digits 0 to 9.
bool is_decimal_id(const std::string &text);
// True for a Vanilla instance (or one without a loader at all).
bool instance_is_vanilla(const Instance &inst);
