// Libraries of a version document turned into concrete lists for this platform:
// files to download, classpath jars and natives jars, all under the libraries
// folder; and the classpath with one version per library.
//
// Any thread.
#pragma once

#include "base/job.h"
#include "base/json.h"
#include "base/strings.h"
#include "game/platform.h"
#include "net/download.h"

#include <optional>
#include <string>

// Relative path of a Maven coordinate group:artifact:version[:classifier][@ext];
// none with fewer than three parts or when the path would leave its folder
// ("..", absolute, backslashes).
std::optional<std::string> maven_path(const std::string &coordinate);
// False for a relative path that is absolute, climbs up with ".." or holds
// a character that is not printable (str_printable).
bool library_path_safe(const std::string &rel);

// Fills whichever lists are given from a "libraries" array. Paths are
// "<libraries>/<relative path>" of the libraries folder (datapaths). Returns how many files
// had to be left out (after a message) because no safe path could be made for
// them; an install missing them is incomplete.
int libraries_collect(const cJSON *libraries, DownloadList *downloads, StrList *classpath,
                      StrList *natives, const Platform &p = platform_host(),
                      const Job *job = nullptr);

// Same library in another version gives the same key: "group/dirs/artifact/|<suffix>"
// for paths under libraries_dir with group, artifact, version and file; else the path.
std::string classpath_key(const std::string &path, const std::string &libraries_dir);

struct Classpath {
    StrList entries;    // first of each key, client jar last
    std::string joined; // entries joined with the platform's separator
};
// De-duplicates the classpath list by key (first wins) and appends the client jar.
Classpath classpath_build(const StrList &classpath, const std::string &client_jar,
                          const Platform &p = platform_host());
