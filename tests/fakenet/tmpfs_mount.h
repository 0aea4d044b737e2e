// Test support: a small file system of the test's own, for a full disk or a
// second file system. A tmpfs mounted on a folder inside the test's temporary
// folder (we run as root) and unmounted by the destructor.
#pragma once

#include <string>

struct TmpfsMount {
    // Creates dir when missing and mounts a tmpfs of size ("1m", "64k") on it.
    TmpfsMount(const std::string &dir, const std::string &size);
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount &) = delete;
    TmpfsMount &operator=(const TmpfsMount &) = delete;
    // Changes the size in place, keeping the files; 0 or -1.
    int resize(const std::string &size);
    // Mounts it read-only in place, keeping the files; 0 or -1.
    int read_only();

    std::string dir;
    bool mounted = false;
    std::string why; // when not mounted: the reason, for GTEST_SKIP
};
