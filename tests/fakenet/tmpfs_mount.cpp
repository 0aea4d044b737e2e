#include "fakenet/tmpfs_mount.h"

#include "base/fs.h"

#include <cerrno>
#include <sys/mount.h>

TmpfsMount::TmpfsMount(const std::string &d, const std::string &size) : dir(d) {
    fs_mkdirs(dir);
    std::string options = "size=" + size + ",mode=0755";
    if (mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0)
        mounted = true;
    else
        why = "mounting a tmpfs is refused here: " + fs_error_text(errno);
}

TmpfsMount::~TmpfsMount() {
    // Lazily: a descriptor still open somewhere must not leave it mounted.
    if (mounted) umount2(dir.c_str(), MNT_DETACH);
}

int TmpfsMount::resize(const std::string &size) {
    std::string options = "size=" + size;
    return mount("tmpfs", dir.c_str(), "tmpfs", MS_REMOUNT, options.c_str()) == 0 ? 0 : -1;
}

int TmpfsMount::read_only() {
    return mount("tmpfs", dir.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0 ? 0 : -1;
}
