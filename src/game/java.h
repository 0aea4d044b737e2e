// Java runtime provisioning: picks the Java executable a version needs and,
// when it is not there yet, installs it into the data directory as one of
// Mojang's runtime components or as an Eclipse Temurin JRE from Adoptium.
// The user's explicit choice (ZYL_JAVA, the java_path setting) always wins;
// the system's "java" is the last resort.
//
// Any thread may call these; the job record (none: UiHooks) receives the
// messages and the download progress, and its cancel flag ends a download.
// Two calls that install the same runtime at once are not guarded against.
#pragma once

#include "base/job.h"

#include <cjson/cJSON.h>

#include <optional>
#include <string>

// What a version document asks for: the major version and Mojang's component
// name ("" when there is no component for that major).
struct JavaRequirement {
    int major = 8;
    std::string component;
};

JavaRequirement java_requirement(const cJSON *version_doc);
// Mojang's component for a major version, "" when there is none.
std::string java_component_for_major(int major);

// The Java choice of an instance that means "picked by the launcher",
// whatever java_path the launcher's settings name.
inline constexpr const char *k_java_auto = "auto";

// The Java executable to start for this version document. Never empty: the
// last resort is "java", looked up in PATH when started (also when the job
// was cancelled). choice is an instance's own: a path, or k_java_auto to pick as
// if the java_path setting were empty; none follows the setting. ZYL_JAVA
// wins over both.
std::string java_for_version(const cJSON *version_doc, const Job *job = nullptr,
                             const std::optional<std::string> &choice = std::nullopt);
// bin/java of the Temurin JRE of that major, downloaded when missing; none on failure.
std::optional<std::string> java_temurin(int major, const Job *job = nullptr);
// bin/java of Mojang's runtime component, downloaded when missing; none on failure.
std::optional<std::string> java_mojang_component(const std::string &component, int major,
                                                 const Job *job = nullptr);
