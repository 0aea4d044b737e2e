// Test support: a small file system of the test's own, mounted on a folder
// inside the test's temporary folder (tests run as root) and unmounted by
// the destructor: a tmpfs for a full disk or too few inodes, or a loop ext4
// with 128-byte inodes, whose file times have whole seconds only. Where
// mounting is refused, why tells it for GTEST_SKIP.
#pragma once

#include <string>

enum class ScratchKind {
    Tmpfs,       // options as mount -t tmpfs takes them: "size=64k,nr_inodes=8"
    CoarseTimes, // options: the image's size in MiB
};

struct ScratchFs {
    ScratchFs(const std::string &dir, ScratchKind kind, const std::string &options);
    ~ScratchFs();
    ScratchFs(const ScratchFs &) = delete;
    ScratchFs &operator=(const ScratchFs &) = delete;

    std::string dir;
    bool mounted = false;
    std::string why;

  private:
    std::string image; // the loop file system's image, beside dir
};
