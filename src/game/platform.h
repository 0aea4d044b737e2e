// The platform descriptor: every OS-dependent constant of the game side in one
// record. The launcher fills it for the host; tests build the Windows record to
// check the Windows behaviour of rules, natives and classpaths on any machine.
//
// Immutable records: any thread.
#pragma once

#include <string>

struct Platform {
    std::string os_name;      // rule "os"."name" that matches
    std::string natives_key;  // member of a library's "natives"
    std::string arch;         // value of ${arch} in a natives classifier
    std::string cp_separator; // classpath separator and ${classpath_separator}
    std::string java_exe;     // Java executable inside a runtime folder
    std::string runtime_key;  // Mojang runtime index key
    std::string adoptium_os;  // Adoptium / content-service Java query
    std::string adoptium_arch;
    std::string archive_type; // "zip" or "tar.gz"
};

// The record of the machine the launcher runs on.
const Platform &platform_host();
const Platform &platform_linux();
const Platform &platform_windows();

// True when a rule's "os"."arch" can match this 64-bit x86 host: "x86" and
// "arm64" never do.
bool platform_arch_matches(const std::string &arch);
