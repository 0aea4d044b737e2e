#include "fakenet/scratch_fs.h"

#include "base/fs.h"
#include "base/proc.h"

#include <cerrno>
#include <sys/mount.h>

namespace {

// Runs a tool quietly; its exit code.
int run_quiet(const StrList &argv) {
    return proc_spawn(argv, "", -1, true, nullptr);
}

} // namespace

ScratchFs::ScratchFs(const std::string &d, ScratchKind kind, const std::string &options) : dir(d) {
    fs_mkdirs(dir);
    if (kind == ScratchKind::Tmpfs) {
        std::string opts = options + ",mode=0755";
        if (mount("tmpfs", dir.c_str(), "tmpfs", 0, opts.c_str()) == 0)
            mounted = true;
        else
            why = "mounting a tmpfs is refused here: " + fs_error_text(errno);
        return;
    }
    image = dir + ".img";
    if (run_quiet({"truncate", "-s", options + "M", image}) != 0 ||
        run_quiet({"mkfs.ext4", "-q", "-F", "-I", "128", image}) != 0) {
        why = "cannot make an ext4 image with 128-byte inodes (mkfs.ext4)";
        return;
    }
    if (run_quiet({"mount", "-o", "loop", image, dir}) == 0)
        mounted = true;
    else
        why = "mounting a loop ext4 is refused here";
}

ScratchFs::~ScratchFs() {
    // Lazily: a descriptor still open somewhere must not leave it mounted;
    // a loop device mounted with -o loop frees itself once unmounted.
    if (mounted) umount2(dir.c_str(), MNT_DETACH);
    if (!image.empty()) fs_delete(image);
}
