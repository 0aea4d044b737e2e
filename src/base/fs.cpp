// POSIX implementation of the file-system layer.
#include "base/fs.h"

#include "base/proc.h"
#include "base/strings.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <unistd.h>
#include <utility>
#include <vector>

FilePtr fs_open(const std::string &path, const char *mode) {
    // "e": close-on-exec, so a game started meanwhile inherits none of our files.
    std::string m = mode;
    if (m.find('e') == std::string::npos) m += 'e';
    return FilePtr(fopen(path.c_str(), m.c_str()));
}

std::string fs_unique_name(const std::string &prefix) {
    static std::atomic<unsigned> serial{0};
    return format_alloc("%s%d-%u", prefix.c_str(), static_cast<int>(getpid()), serial.fetch_add(1));
}

// True when rest is "<pid>-<n>" as fs_unique_name ends a name, both decimal.
static bool unique_suffix(const std::string &rest, long long *pid) {
    size_t dash = rest.find('-');
    auto digits = [](const std::string &s) {
        return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
    };
    if (dash == std::string::npos || !digits(rest.substr(0, dash)) ||
        !digits(rest.substr(dash + 1)))
        return false;
    if (pid) *pid = dash > 10 ? -1 : atoll(rest.substr(0, dash).c_str());
    return true;
}

bool fs_is_unique_name(const std::string &name, const std::string &tail) {
    size_t at = name.rfind(tail);
    if (at == std::string::npos || tail.empty()) return false;
    return unique_suffix(name.substr(at + tail.size()), nullptr);
}

void fs_remove_stale_unique(const std::string &folder, const std::string &prefix) {
    for (const std::string &n : dir_list(folder).value_or(std::vector<std::string>{})) {
        long long pid = -1;
        if (!str_starts_with(n, prefix) || !unique_suffix(n.substr(prefix.size()), &pid)) continue;
        if (pid > 0 && pid <= 0x7fffffff && proc_gone(static_cast<int>(pid)))
            fs_remove_tree(folder + "/" + n);
    }
}

int fs_stat(const std::string &path, FileStat *out) {
    std::string p = path;
    while (p.size() > 1 && (p.back() == '/' || p.back() == '\\'))
        p.pop_back();
    struct stat st;
    if (stat(p.c_str(), &st) != 0) return errno ? errno : EIO;
    if (out) {
        out->is_dir = S_ISDIR(st.st_mode);
        out->size = st.st_size;
        out->mtime = st.st_mtime;
    }
    return 0;
}

bool fs_exists(const std::string &path) {
    return fs_stat(path, nullptr) == 0;
}

bool fs_is_dir(const std::string &path) {
    FileStat st;
    return fs_stat(path, &st) == 0 && st.is_dir;
}

int fs_mkdir(const std::string &path) {
    return mkdir(path.c_str(), 0755) == 0 ? 0 : -1;
}

int fs_rmdir(const std::string &path) {
    return rmdir(path.c_str()) == 0 ? 0 : -1;
}

int fs_delete(const std::string &path) {
    return unlink(path.c_str()) == 0 ? 0 : -1;
}

int fs_rename_noreplace(const std::string &from, const std::string &to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL) return -1;
    struct stat st;
    if (lstat(from.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        // A folder cannot be linked: the name is checked just before.
        if (lstat(to.c_str(), &st) == 0) {
            errno = EEXIST;
            return -1;
        }
        return rename(from.c_str(), to.c_str());
    }
    // A file system without the flag: a hard link refuses an existing name too.
    if (link(from.c_str(), to.c_str()) != 0) return -1;
    return unlink(from.c_str()) == 0 ? 0 : -1;
}

int fs_rename_replace(const std::string &from, const std::string &to) {
    if (rename(from.c_str(), to.c_str()) == 0) return 0;
    if (errno != EXDEV) return -1;
    // Across file systems: a whole copy replaces the target, then the source goes.
    FileStat st;
    if (int e = fs_stat(from, &st); e != 0) {
        errno = e;
        return -1;
    }
    if (st.is_dir) {
        errno = EXDEV;
        return -1;
    }
    if (fs_copy_file(from, to) != 0) return -1;
    fs_delete(from);
    return 0;
}

int fs_link_or_copy(const std::string &existing, const std::string &newpath) {
    if (link(existing.c_str(), newpath.c_str()) == 0) return 0;
    if (errno == EEXIST) {
        unlink(newpath.c_str());
        if (link(existing.c_str(), newpath.c_str()) == 0) return 0;
    }
    return fs_copy_file(existing, newpath);
}

std::string exe_dir() {
    std::vector<char> buf(PATH_MAX + 1);
    ssize_t n = readlink("/proc/self/exe", buf.data(), PATH_MAX);
    if (n <= 0) return ".";
    std::string p(buf.data(), static_cast<size_t>(n));
    size_t slash = p.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return p.substr(0, slash);
}

struct DirIter {
    DIR *dir = nullptr;
};

DirIter *dir_open(const std::string &folder) {
    DIR *d = opendir(folder.c_str());
    if (!d) return nullptr;
    DirIter *it = new DirIter;
    it->dir = d;
    return it;
}

const char *dir_next(DirIter *it) {
    for (;;) {
        struct dirent *e = readdir(it->dir);
        if (!e) return nullptr;
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        return e->d_name;
    }
}

void dir_close(DirIter *it) {
    if (!it) return;
    closedir(it->dir);
    delete it;
}

std::optional<std::vector<std::string>> dir_list(const std::string &folder) {
    DirIter *it = dir_open(folder);
    if (!it) return std::nullopt;
    std::vector<std::string> names;
    while (const char *n = dir_next(it))
        names.emplace_back(n);
    dir_close(it);
    return names;
}

int fs_mkdirs(const std::string &path) {
    std::string p = str_backslash_to_slash(path);
    for (size_t i = 1; i < p.size(); i++) {
        if (p[i] == '/' && p[i - 1] != ':' && p[i - 1] != '/') fs_mkdir(p.substr(0, i));
    }
    if (mkdir(p.c_str(), 0755) == 0) return 0;
    if (errno == EEXIST && fs_is_dir(p)) return 0;
    return -1;
}

int fs_mkdirs_parent(const std::string &file_path) {
    size_t slash = file_path.rfind('/');
    if (slash == std::string::npos || slash == 0) return 0;
    return fs_mkdirs(file_path.substr(0, slash));
}

std::optional<std::string> fs_read_all(const std::string &path, long long max_bytes) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct FdCloser {
        int fd;
        ~FdCloser() { close(fd); }
    } closer{fd};
    struct stat st {};
    if (fstat(fd, &st) != 0) return std::nullopt;
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return std::nullopt;
    }
    if (st.st_size > max_bytes) {
        errno = EFBIG;
        return std::nullopt;
    }
    std::string out;
    out.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    // One byte past the limit tells a file that grew meanwhile.
    while (static_cast<long long>(out.size()) <= max_bytes) {
        size_t want = static_cast<size_t>(
            std::min<long long>(sizeof buf, max_bytes + 1 - static_cast<long long>(out.size())));
        ssize_t n = read(fd, buf, want);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return out;
        out.append(buf, static_cast<size_t>(n));
    }
    errno = EFBIG;
    return std::nullopt;
}

int fs_write_fd_all(int fd, const void *data, size_t len) {
    const char *p = static_cast<const char *>(data);
    while (len > 0) {
        ssize_t w = write(fd, p, len);
        if (w < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        p += w;
        len -= static_cast<size_t>(w);
    }
    return 0;
}

// A file nobody may write to. Only the mode bits count: root passes access(2)
// for any file, yet a file made read-only must stay as it is for root too.
static bool is_read_only_file(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0;
}

FsTraceHook fs_trace_hook = nullptr;

// The flush and the rename that put a temporary file in place, each told to
// the trace hook as it happens: the flush must come first, or a crash right
// after the rename can leave an empty file under the real name.
static int flush_to_disk(int fd, const std::string &path) {
    if (fs_trace_hook) fs_trace_hook("fsync", path);
    return fsync(fd);
}

static int rename_into_place(const std::string &tmp, const std::string &path) {
    if (fs_trace_hook) fs_trace_hook("rename", tmp);
    return rename(tmp.c_str(), path.c_str());
}

// Creates a temporary file beside path under a name of this call alone.
static int open_unique_tmp(const std::string &path, unsigned mode, std::string &tmp) {
    for (int tries = 0; tries < 100; tries++) {
        tmp = fs_unique_name(path + ".tmp");
        int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        // A leftover of a gone process that had our process id: take the next name.
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

static int write_atomic(const std::string &path, const void *data, size_t len, unsigned mode) {
    fs_mkdirs_parent(path);
    std::string tmp;
    int fd = open_unique_tmp(path, mode, tmp);
    if (fd < 0) return -1;
    fchmod(fd, mode); // the umask must not widen or narrow a secret file's mode
    bool ok = fs_write_fd_all(fd, data, len) == 0 && flush_to_disk(fd, tmp) == 0;
    if (close(fd) != 0) ok = false;
    // rename() would replace a read-only target; the user made it read-only
    // to keep it, so the write fails as replacing it would on Windows.
    if (ok && is_read_only_file(path)) {
        errno = EACCES;
        ok = false;
    }
    if (!ok || rename_into_place(tmp, path) != 0) {
        int saved = errno; // the caller reports why the write failed, not the cleanup
        unlink(tmp.c_str());
        errno = saved;
        return -1;
    }
    return 0;
}

int fs_write_atomic(const std::string &path, const void *data, size_t len) {
    return write_atomic(path, data, len, 0644);
}

int fs_write_atomic(const std::string &path, const std::string &data) {
    return write_atomic(path, data.data(), data.size(), 0644);
}

int fs_write_atomic_mode(const std::string &path, const std::string &data, unsigned mode) {
    return write_atomic(path, data.data(), data.size(), mode);
}

// Copies the open source into a new temporary file beside to, flushed to disk.
static int copy_to_tmp(int in, const std::string &to, unsigned mode, std::string &tmp) {
    int out = open_unique_tmp(to, mode, tmp);
    if (out < 0) return -1;
    fchmod(out, mode);
    std::vector<char> buf(65536);
    bool ok = true;
    for (;;) {
        ssize_t n = read(in, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (fs_write_fd_all(out, buf.data(), static_cast<size_t>(n)) != 0) {
            ok = false;
            break;
        }
    }
    if (ok && flush_to_disk(out, tmp) != 0) ok = false;
    int saved = errno;
    if (close(out) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok) return 0;
    unlink(tmp.c_str());
    errno = saved;
    return -1;
}

int fs_copy_file(const std::string &from, const std::string &to) {
    int in = open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (in < 0) return -1;
    struct stat st {};
    int rc = -1;
    std::string tmp;
    if (fstat(in, &st) != 0) {
        // errno says why
    } else if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
    } else if (copy_to_tmp(in, to, st.st_mode & 07777, tmp) == 0) {
        rc = rename_into_place(tmp, to);
        if (rc != 0) {
            int saved = errno;
            unlink(tmp.c_str());
            errno = saved;
        }
    }
    int saved = errno;
    close(in);
    errno = saved;
    return rc == 0 ? 0 : -1;
}

int fs_copy_tree(const std::string &from, const std::string &to) {
    struct stat st;
    if (lstat(from.c_str(), &st) != 0) return -1;
    if (S_ISLNK(st.st_mode)) {
        std::vector<char> target(PATH_MAX + 1);
        ssize_t n = readlink(from.c_str(), target.data(), PATH_MAX);
        if (n < 0) return -1;
        unlink(to.c_str());
        return symlink(std::string(target.data(), static_cast<size_t>(n)).c_str(), to.c_str()) == 0
                   ? 0
                   : -1;
    }
    if (!S_ISDIR(st.st_mode)) return fs_copy_file(from, to);
    fs_mkdir(to);
    auto names = dir_list(from);
    if (!names) return -1;
    int result = 0;
    for (const std::string &n : *names) {
        if (fs_copy_tree(from + "/" + n, to + "/" + n) != 0) result = -1;
    }
    return result;
}

int fs_remove_tree(const std::string &path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return -1;
    if (!S_ISDIR(st.st_mode)) return fs_delete(path);
    if (auto names = dir_list(path)) {
        for (const std::string &n : *names)
            fs_remove_tree(path + "/" + n);
    }
    return fs_rmdir(path);
}

bool fs_filename_safe(const std::string &name) {
    return !name.empty() && name != "." && name != ".." && str_printable(name) &&
           name.find_first_of("/\\") == std::string::npos;
}

// statvfs of the deepest existing folder along path; false when it cannot be asked.
static bool statvfs_deepest(const std::string &path, struct statvfs &vfs) {
    std::string p = path.empty() ? "." : path;
    while (statvfs(p.c_str(), &vfs) != 0) {
        if (errno != ENOENT) return false;
        size_t slash = p.rfind('/');
        if (slash == std::string::npos)
            p = ".";
        else if (slash == 0)
            p = "/";
        else
            p.resize(slash);
    }
    return true;
}

std::optional<long long> fs_free_bytes(const std::string &path) {
    struct statvfs vfs {};
    if (!statvfs_deepest(path, vfs)) return std::nullopt;
    return static_cast<long long>(vfs.f_bavail) * static_cast<long long>(vfs.f_frsize);
}

bool fs_read_only(const std::string &path) {
    struct statvfs vfs {};
    return statvfs_deepest(path, vfs) && (vfs.f_flag & ST_RDONLY) != 0;
}

std::optional<FileId> fs_file_id(const std::string &path, bool follow) {
    struct stat st;
    if ((follow ? stat(path.c_str(), &st) : lstat(path.c_str(), &st)) != 0) return std::nullopt;
    return FileId{static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino)};
}

bool fs_same_content(const std::string &a, const std::string &b) {
    struct stat sa, sb;
    if (lstat(a.c_str(), &sa) != 0 || lstat(b.c_str(), &sb) != 0 || !S_ISREG(sa.st_mode) ||
        !S_ISREG(sb.st_mode) || sa.st_size != sb.st_size)
        return false;
    FilePtr fa = fs_open(a, "rb"), fb = fs_open(b, "rb");
    if (!fa || !fb) return false;
    std::vector<char> ba(65536), bb(65536);
    for (;;) {
        size_t na = fread(ba.data(), 1, ba.size(), fa.get());
        size_t nb = fread(bb.data(), 1, bb.size(), fb.get());
        if (na != nb || memcmp(ba.data(), bb.data(), na) != 0) return false;
        if (na == 0) return !ferror(fa.get()) && !ferror(fb.get());
    }
}

// Copies the bytes of one open file to another: in the kernel where it can,
// through a buffer where the two file systems do not allow that.
static int copy_bytes(int in, int out) {
    bool kernel = true;
    std::vector<char> buf;
    for (;;) {
        ssize_t n;
        if (kernel) {
            n = copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
            if (n < 0 &&
                (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
                kernel = false;
                buf.resize(1 << 18);
                continue;
            }
        } else {
            n = read(in, buf.data(), buf.size());
            if (n > 0 && fs_write_fd_all(out, buf.data(), static_cast<size_t>(n)) != 0) return -1;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n == 0 ? 0 : -1;
    }
}

// A close whose failure (a delayed write error) counts, keeping the earlier errno.
static int close_checked(int fd, int result) {
    int saved = errno;
    if (close(fd) != 0 && result == 0) return -1;
    errno = saved;
    return result;
}

static int copy_regular(const std::string &from, const std::string &to, const struct stat &st) {
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (in < 0) return -1;
    // Readable by the owner only until the copy is whole: a secret's copy
    // never shows its bytes to others, not even for a moment.
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (out < 0) return close_checked(in, -1);
    int r = copy_bytes(in, out);
    if (r == 0) {
        timespec times[2] = {st.st_atim, st.st_mtim};
        if (fchmod(out, st.st_mode & 07777) != 0 || futimens(out, times) != 0) r = -1;
    }
    r = close_checked(out, r);
    return close_checked(in, r);
}

int fs_copy_tree_exact(const std::string &from, const std::string &to, TreeCopy &tc) {
    struct stat st;
    if (lstat(from.c_str(), &st) != 0) return -1;
    if (S_ISDIR(st.st_mode)) {
        if (mkdir(to.c_str(), 0700) != 0) return -1;
        DIR *d = opendir(from.c_str());
        if (!d) return -1;
        int r = 0;
        errno = 0;
        while (struct dirent *e = readdir(d)) {
            if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
            if (fs_copy_tree_exact(from + "/" + e->d_name, to + "/" + e->d_name, tc) != 0) {
                r = -1;
                break;
            }
            errno = 0;
        }
        if (r == 0 && errno != 0) r = -1; // readdir failed
        int saved = errno;
        closedir(d);
        errno = saved;
        if (r != 0) return -1;
        timespec times[2] = {st.st_atim, st.st_mtim};
        if (chmod(to.c_str(), st.st_mode & 07777) != 0 ||
            utimensat(AT_FDCWD, to.c_str(), times, 0) != 0)
            return -1;
        return 0;
    }
    if (S_ISLNK(st.st_mode)) {
        std::vector<char> target(static_cast<size_t>(PATH_MAX) + 1);
        ssize_t n = readlink(from.c_str(), target.data(), PATH_MAX);
        if (n < 0) return -1;
        target[static_cast<size_t>(n)] = 0;
        return symlink(target.data(), to.c_str()) == 0 ? 0 : -1;
    }
    if (S_ISFIFO(st.st_mode)) return mkfifo(to.c_str(), st.st_mode & 07777) == 0 ? 0 : -1;
    if (!S_ISREG(st.st_mode)) return 0;
    auto id = std::make_pair(static_cast<unsigned long long>(st.st_dev),
                             static_cast<unsigned long long>(st.st_ino));
    if (st.st_nlink > 1) {
        auto it = tc.copied.find(id);
        if (it != tc.copied.end() && link(it->second.c_str(), to.c_str()) == 0) return 0;
    }
    if (copy_regular(from, to, st) != 0) return -1;
    if (st.st_nlink > 1) tc.copied[id] = to;
    if (tc.after_file) tc.after_file();
    return 0;
}

static int sync_path(const std::string &path, bool whole_fs) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
    if (fd < 0) return -1;
    int r = (whole_fs ? syncfs(fd) : fsync(fd)) == 0 ? 0 : -1;
    return close_checked(fd, r);
}

int fs_sync_fs(const std::string &path) {
    return sync_path(path, true);
}

int fs_sync_dir(const std::string &folder) {
    return sync_path(folder, false);
}

std::string fs_real_path(const std::string &path) {
    std::string out = "/";
    if (path.empty() || path[0] != '/') {
        if (char *cwd = realpath(".", nullptr)) {
            out = cwd;
            free(cwd);
        }
    }
    // One part at a time, as the kernel (and fs_mkdirs) walk it: a ".." after
    // a folder not made yet leads back to a real one, whose next part may be
    // a symlink again.
    size_t at = 0;
    while (at <= path.size()) {
        size_t slash = path.find('/', at);
        if (slash == std::string::npos) slash = path.size();
        std::string part = path.substr(at, slash - at);
        at = slash + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            size_t up = out.rfind('/');
            out.resize(up == 0 || up == std::string::npos ? 1 : up);
            continue;
        }
        std::string next = (out == "/" ? "" : out) + "/" + part;
        if (char *real = realpath(next.c_str(), nullptr)) {
            out = real;
            free(real);
        } else {
            out = std::move(next); // not there yet: made as a plain folder
        }
    }
    return out;
}

bool fs_path_inside(const std::string &path, const std::string &folder) {
    if (folder.empty() || path.size() <= folder.size() + 1 || !str_starts_with(path, folder) ||
        path[folder.size()] != '/')
        return false;
    for (const std::string &seg : str_split(path.substr(folder.size() + 1), '/'))
        if (seg.empty() || seg == "." || seg == "..") return false;
    return true;
}

std::string fs_error_text(int errnum) {
    switch (errnum) {
    case ENOSPC:
        return "Нет места на диске";
    case EDQUOT:
        return "Превышена дисковая квота";
    case EFBIG:
        return "Файл слишком велик";
    case EROFS:
        return "Диск доступен только для чтения";
    case EACCES:
    case EPERM:
        return "Нет доступа";
    case EIO:
        return "Ошибка ввода-вывода";
    case ENOENT:
        return "Нет такого файла или папки";
    default:
        break;
    }
    char buf[256];
    // The GNU strerror_r returns the text, in buf or a static string.
    return strerror_r(errnum, buf, sizeof buf);
}

FileLock::~FileLock() {
    if (fd >= 0) close(fd); // closing the last descriptor releases the lock
}

FileLock fs_lock(const std::string &path) {
    FileLock l;
    std::string name = path + ".lock";
    l.fd = open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (l.fd < 0) return l;
    while (flock(l.fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            close(l.fd);
            l.fd = -1;
            break;
        }
    }
    return l;
}

FileLock fs_lock_dir(const std::string &folder, bool wait, bool *busy) {
    FileLock l;
    if (busy) *busy = false;
    l.fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (l.fd < 0) return l;
    int r;
    while ((r = flock(l.fd, wait ? LOCK_EX : LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (r != 0) {
        if (busy) *busy = errno == EWOULDBLOCK;
        close(l.fd);
        l.fd = -1;
    }
    return l;
}

FileLock fs_lock_try(const std::string &path, bool shared, bool *busy) {
    FileLock l;
    if (busy) *busy = false;
    l.fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    // A lock file that is there already locks in a folder we may not write.
    if (l.fd < 0) l.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (l.fd < 0) return l;
    int r;
    while ((r = flock(l.fd, (shared ? LOCK_SH : LOCK_EX) | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (r != 0) {
        if (busy) *busy = errno == EWOULDBLOCK;
        close(l.fd);
        l.fd = -1;
    }
    return l;
}

std::optional<std::string> env_path(const char *name) {
    const char *v = getenv(name);
    if (!v || !*v) return std::nullopt;
    return str_backslash_to_slash(v);
}
