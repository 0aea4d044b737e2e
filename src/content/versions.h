// The files a project offers an instance ("versions"): listed through the
// content service, or straight from Modrinth or CurseForge when it is
// unreachable, and the one rule by which installs, updates and the update
// check pick a file among them: the one the player named, else the newest
// release, else the newest file at all.
//
// Any thread; a listing belongs to its caller.
#pragma once

#include "base/json.h"
#include "instances/content_type.h"
#include "instances/instance.h"

#include <optional>
#include <string>
#include <vector>

// One compatible file of a project.
struct ContentVersion {
    std::string id;       // the file's id at its source (Modrinth: its version's id)
    std::string version;  // as the source names it; the file name when it names none
    std::string filename; // may be empty or unsafe: installers check it
    ContentChannel channel = ContentChannel::Release;
    std::string date; // ISO 8601 as the source gave it; may be empty
    std::string sha1;
    bool exact = true;           // names the instance's game version, not merely none
    const cJSON *raw = nullptr;  // the source's own description, inside the listing's docs
};

// A project and its compatible files, newest first as the source orders them.
struct ProjectVersions {
    ContentSource source = ContentSource::Modrinth;
    std::string id;
    std::string title;
    ContentType type = ContentType::Mod;
    std::vector<ContentVersion> versions;
    const cJSON *project = nullptr; // the source's project document, inside docs
    std::vector<JsonPtr> docs;      // own what project and each raw point into
};

// The index of the file to install: the one selector names (its id, version
// or file name), or with no selector the newest release among the files that
// name the instance's game version (those naming none only when no file
// does), else the newest of them. -1 when nothing fits.
int version_choose(const std::vector<ContentVersion> &list,
                   const std::optional<std::string> &selector);
// Whether list[chosen] should replace the installed file (known by its id
// or SHA-1): it is another file, and the installed one is not listed before
// it (a beta the player chose over an older release stays).
bool version_replaces(const std::vector<ContentVersion> &list, int chosen,
                      const std::string &installed_id, const std::string &installed_sha1);
// "0.5.4-beta.1 (бета)": the version, with the channel when not a release.
std::string version_label(const std::string &version, ContentChannel channel);

// The loader the sources filter files by: the instance's loader word for
// mods, none for everything else.
std::string content_loader_filter(ContentType type, const Instance &inst);

// The content service's description of a file ("id", "filename", "sha1",
// and the optional "version", "channel" and "date").
ContentVersion version_of_service_file(const cJSON *file, bool exact);
// The service's "files" that fit the instance: the loader test passes and
// the file names the instance's game version (exact) or no version at all.
std::vector<ContentVersion> service_compatible_files(const cJSON *files, const std::string &filter,
                                                     const std::string &mc);

// The project through the content service: its id, title and the type it
// is installed as (an explicit type at depth 0 wins over the project's class).
// 0, or -1 with err.
int service_project_lookup(ContentSource source, const std::string &ref,
                           std::optional<ContentType> type, int depth, ProjectVersions &out,
                           std::string *err);
// The compatible files of a looked-up project for the instance, through the
// content service. 0, or -1 with err (also for a mod in a Vanilla instance
// and for a project without a fitting file).
int service_project_versions(const Instance &inst, ProjectVersions &out, std::string *err);

// Every compatible file of a project (an id or slug) for the instance:
// through the content service, or directly when it is unreachable. type:
// none lets the project decide. 0, or -1 with err; a modpack is refused.
int content_versions(ContentSource source, std::optional<ContentType> type, const std::string &ref,
                     const Instance &inst, ProjectVersions &out, std::string *err);
