// Safe paths below an extraction target. A path is checked the way the kernel
// will see it: existing symbolic links along it are followed, missing parts
// are taken literally (they become real directories when created).
#include "base/extract_target.h"

#include "base/fs.h"
#include "base/strings.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int extract_target_open(ExtractTarget &t, const std::string &folder) {
    if (fs_mkdirs(folder) != 0) return -1;
    char *real = realpath(folder.c_str(), nullptr);
    if (!real) return -1;
    t.root = real;
    free(real);
    t.links.clear();
    return 0;
}

std::optional<std::string> extract_entry_name(const std::string &raw, int strip,
                                              const std::string &skip_prefix, bool *is_dir) {
    std::string n = str_backslash_to_slash(raw);
    if (n.empty() || n.find('\0') != std::string::npos) return std::nullopt;
    bool drive = n.size() >= 2 && n[1] == ':' &&
                 ((n[0] >= 'A' && n[0] <= 'Z') || (n[0] >= 'a' && n[0] <= 'z'));
    if (n[0] == '/' || drive) return std::nullopt;
    if (n.find("..") != std::string::npos) return std::nullopt;
    bool dir = n.back() == '/';
    StrList parts;
    for (std::string &p : str_split(n, '/')) {
        if (!p.empty() && p != ".") parts.push_back(std::move(p));
    }
    if (strip < 0) strip = 0;
    if (parts.size() <= static_cast<size_t>(strip)) return std::nullopt;
    std::string rel;
    for (size_t i = static_cast<size_t>(strip); i < parts.size(); i++) {
        if (!rel.empty()) rel += '/';
        rel += parts[i];
    }
    if (!skip_prefix.empty() && str_starts_with(dir ? rel + "/" : rel, skip_prefix)) {
        return std::nullopt;
    }
    if (is_dir) *is_dir = dir;
    return rel;
}

// Resolves an absolute path like realpath(3), except that missing components
// are kept as written. None when links loop.
static std::optional<std::string> resolve_path(const std::string &path) {
    StrList todo; // components still to walk, last one first
    StrList parts = str_split(path, '/');
    for (auto it = parts.rbegin(); it != parts.rend(); ++it)
        todo.push_back(*it);
    std::string cur; // "" is the root
    int links = 0;
    while (!todo.empty()) {
        std::string c = std::move(todo.back());
        todo.pop_back();
        if (c.empty() || c == ".") continue;
        if (c == "..") {
            cur.erase(cur.rfind('/') == std::string::npos ? 0 : cur.rfind('/'));
            continue;
        }
        std::string next = cur + "/" + c;
        struct stat st;
        if (lstat(next.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            if (++links > 40) return std::nullopt;
            char buf[PATH_MAX];
            ssize_t n = readlink(next.c_str(), buf, sizeof buf);
            if (n <= 0) return std::nullopt;
            std::string target(buf, static_cast<size_t>(n));
            if (target[0] == '/') cur.clear();
            StrList tp = str_split(target, '/');
            for (auto it = tp.rbegin(); it != tp.rend(); ++it)
                todo.push_back(*it);
            continue;
        }
        cur = std::move(next);
    }
    return cur.empty() ? std::string("/") : cur;
}

static bool inside(const ExtractTarget &t, const std::string &path) {
    if (t.root == "/") return true;
    return path == t.root || str_starts_with(path, t.root + "/");
}

// The real folder that will hold rel, created; none when it lies outside.
static std::optional<std::string> parent_folder(ExtractTarget &t, const std::string &rel) {
    size_t slash = rel.rfind('/');
    std::string parent = slash == std::string::npos ? t.root : t.root + "/" + rel.substr(0, slash);
    std::optional<std::string> real = resolve_path(parent);
    if (!real || !inside(t, *real)) return std::nullopt;
    if (fs_mkdirs(*real) != 0) return std::nullopt;
    return real;
}

static std::string base_name(const std::string &rel) {
    size_t slash = rel.rfind('/');
    return slash == std::string::npos ? rel : rel.substr(slash + 1);
}

int extract_mkdir(ExtractTarget &t, const std::string &rel) {
    std::optional<std::string> real = resolve_path(t.root + "/" + rel);
    if (!real || !inside(t, *real)) return -1;
    return fs_mkdirs(*real);
}

ExtractFile::~ExtractFile() {
    if (fd >= 0) {
        close(fd);
        unlink(tmp.c_str());
    }
}

int extract_file_begin(ExtractTarget &t, const std::string &rel, ExtractFile &f) {
    std::optional<std::string> parent = parent_folder(t, rel);
    if (!parent) return -1;
    f.path = *parent + "/" + base_name(rel);
    f.tmp = fs_unique_name(f.path + ".tmp");
    unlink(f.tmp.c_str()); // a leftover, or a link planted under that name
    f.fd = open(f.tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    return f.fd >= 0 ? 0 : -1;
}

int extract_file_write(ExtractFile &f, const void *data, size_t len) {
    return fs_write_fd_all(f.fd, data, len);
}

int extract_file_commit(ExtractFile &f, int mode) {
    bool ok = mode < 0 || fchmod(f.fd, static_cast<mode_t>(mode) & 0777) == 0;
    if (close(f.fd) != 0) ok = false;
    f.fd = -1;
    // rename replaces a link standing at the path instead of writing through it
    if (!ok || rename(f.tmp.c_str(), f.path.c_str()) != 0) {
        unlink(f.tmp.c_str());
        return -1;
    }
    return 0;
}

int extract_symlink(ExtractTarget &t, const std::string &rel, const std::string &link_target) {
    if (link_target.empty() || link_target[0] == '/' ||
        link_target.find('\0') != std::string::npos) {
        return -1;
    }
    std::optional<std::string> parent = parent_folder(t, rel);
    if (!parent) return -1;
    std::optional<std::string> real = resolve_path(*parent + "/" + link_target);
    if (!real || !inside(t, *real)) return -1;
    std::string path = *parent + "/" + base_name(rel);
    struct stat st;
    if (lstat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode) || unlink(path.c_str()) != 0) return -1;
    }
    if (symlink(link_target.c_str(), path.c_str()) != 0) return -1;
    t.links.push_back(path);
    return 0;
}

int extract_hardlink(ExtractTarget &t, const std::string &rel, const std::string &existing_rel) {
    std::optional<std::string> src = resolve_path(t.root + "/" + existing_rel);
    if (!src || !inside(t, *src)) return -1;
    int in = open(src->c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return -1;
    struct stat st;
    ExtractFile f;
    bool ok = fstat(in, &st) == 0 && S_ISREG(st.st_mode) && extract_file_begin(t, rel, f) == 0;
    char buf[65536];
    while (ok) {
        ssize_t n = read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = extract_file_write(f, buf, static_cast<size_t>(n)) == 0;
    }
    close(in);
    return ok && extract_file_commit(f, static_cast<int>(st.st_mode & 0777)) == 0 ? 0 : -1;
}

int extract_check_links(ExtractTarget &t) {
    int result = 0;
    for (bool removed = true; removed;) {
        removed = false;
        for (const std::string &link : t.links) {
            struct stat st;
            if (lstat(link.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) continue;
            std::optional<std::string> real = resolve_path(link);
            if (real && inside(t, *real)) continue;
            unlink(link.c_str());
            removed = true;
            result = -1;
        }
    }
    return result;
}
