#include "fakenet/tree_state.h"

#include "base/fs.h"
#include "base/strings.h"

#include <climits>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// Short contents as they are (readable in a failure), longer ones as their
// size and an FNV-1a hash.
static std::string digest_of(const std::string &bytes) {
    if (bytes.size() <= 64) return bytes;
    unsigned long long h = 1469598103934665603ull;
    for (unsigned char c : bytes)
        h = (h ^ c) * 1099511628211ull;
    return format_alloc("%zu bytes, fnv %016llx", bytes.size(), h);
}

static void walk(const std::string &root, const std::string &rel,
                 std::map<std::string, std::string> &out) {
    for (const std::string &name : dir_list(root + rel).value_or(std::vector<std::string>{})) {
        std::string r = rel + "/" + name, path = root + r;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) continue;
        std::string mode = format_alloc("%o", st.st_mode & 07777);
        if (S_ISDIR(st.st_mode)) {
            out[r] = "d " + mode;
            walk(root, r, out);
        } else if (S_ISLNK(st.st_mode)) {
            std::vector<char> target(PATH_MAX + 1);
            ssize_t n = readlink(path.c_str(), target.data(), PATH_MAX);
            out[r] = "l " + std::string(target.data(), n > 0 ? static_cast<size_t>(n) : 0);
        } else {
            out[r] = "f " + mode + " " + digest_of(fs_read_all(path).value_or("?"));
        }
    }
}

std::map<std::string, std::string> tree_state(const std::string &root) {
    std::map<std::string, std::string> out;
    walk(root, "", out);
    return out;
}
