// Platform records for Linux (this build's host) and Windows (tests).
#include "game/platform.h"

const Platform &platform_linux() {
    static const Platform p{"linux", "linux", "64",  ":",     "bin/java",
                            "linux", "linux", "x64", "tar.gz"};
    return p;
}

const Platform &platform_windows() {
    static const Platform p{"windows",     "windows", "64",  ";",  "bin/java.exe",
                            "windows-x64", "windows", "x64", "zip"};
    return p;
}

const Platform &platform_host() {
#ifdef _WIN32
    return platform_windows();
#else
    return platform_linux();
#endif
}

bool platform_arch_matches(const std::string &arch) {
    return arch != "x86" && arch != "arm64";
}
