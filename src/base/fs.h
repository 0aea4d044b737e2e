// File-system layer: every file operation of the launcher goes through here.
// Paths are UTF-8 with "/" separators and never a trailing slash.
//
// Any thread may call every function: none keeps shared state. Every
// descriptor opened here is close-on-exec, and every temporary name is unique
// to its call (fs_unique_name), so two threads or two processes writing the
// same file each replace it whole. Failures keep errno's cause.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct FileCloser {
    void operator()(FILE *f) const {
        if (f) fclose(f);
    }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

struct FileStat {
    bool is_dir = false;
    long long size = 0;
    long long mtime = 0;
};

// fopen with close-on-exec ("e" is added to mode).
FilePtr fs_open(const std::string &path, const char *mode);
// 0, or errno's cause: ENOENT when the path does not exist, EACCES when it
// cannot be reached, and so on. Trailing slashes are ignored.
int fs_stat(const std::string &path, FileStat *out);
bool fs_exists(const std::string &path);
bool fs_is_dir(const std::string &path);
int fs_mkdir(const std::string &path);
int fs_rmdir(const std::string &path);
int fs_delete(const std::string &path);
// Rename over an existing target; falls back to copy + delete across file
// systems. 0, or -1 with errno saying why.
int fs_rename_replace(const std::string &from, const std::string &to);
// Renames from to to only when nothing is called to yet: -1 with errno
// EEXIST when something is, so no file is ever replaced by mistake (a folder
// on a file system that cannot refuse by itself: checked just before).
int fs_rename_noreplace(const std::string &from, const std::string &to);
// Hard link, or a copy when linking fails.
int fs_link_or_copy(const std::string &existing, const std::string &newpath);
// The executable's own folder.
std::string exe_dir();

// Directory listing. "." and ".." are skipped.
struct DirIter;
DirIter *dir_open(const std::string &folder);
const char *dir_next(DirIter *it);
void dir_close(DirIter *it);
// Names of a folder's entries (no "." or ".."), unsorted; empty when it cannot be listed.
std::optional<std::vector<std::string>> dir_list(const std::string &folder);

// Creates the directory and its missing parents; 0 also when it exists.
int fs_mkdirs(const std::string &path);
// fs_mkdirs of everything before the last "/".
int fs_mkdirs_parent(const std::string &file_path);
// The most a file read whole may have unless its reader sets a smaller limit.
constexpr long long k_fs_read_max = 256LL << 20;
// The whole of a regular file of at most max_bytes, or none: missing,
// unreadable, larger, or not a regular file (a FIFO or device is opened
// without blocking and refused, errno EINVAL; a larger file gives EFBIG).
std::optional<std::string> fs_read_all(const std::string &path,
                                       long long max_bytes = k_fs_read_max);
// Writes a temporary file beside path (fs_unique_name of "<path>.tmp"),
// flushes it to disk and renames it over path: readers see the old or the new
// content, never a partial file, and concurrent writers each leave their own
// whole content. 0, or -1 with errno saying why.
int fs_write_atomic(const std::string &path, const void *data, size_t len);
int fs_write_atomic(const std::string &path, const std::string &data);
// The same, creating the file with the given mode (0600 for secrets).
int fs_write_atomic_mode(const std::string &path, const std::string &data, unsigned mode);
// Copies a regular file under a temporary name beside to, flushed to disk,
// and renames it over to when whole, with the source's permission bits: a
// failed copy leaves to as it was. 0, or -1 with errno saying why.
int fs_copy_file(const std::string &from, const std::string &to);
int fs_copy_tree(const std::string &from, const std::string &to);
// -1 when the path does not exist.
int fs_remove_tree(const std::string &path);

// What one exact tree copy (or several sharing it) carries along.
struct TreeCopy {
    // Files copied so far by (device, inode), so that hard links stay links
    // between the trees of one copy too.
    std::map<std::pair<unsigned long long, unsigned long long>, std::string> copied;
    // Called after each regular file (progress, test hooks); may be empty.
    std::function<void()> after_file;
};
// Copies from to the path to, which must not exist yet: files with their
// modes and modification times, symlinks as symlinks, hard links as links,
// FIFOs as FIFOs (sockets and devices are left out). Stops at the first
// failure: 0, or -1 with errno saying why; what was copied so far stays for
// the caller to remove. Nothing is flushed to disk (fs_sync_fs).
int fs_copy_tree_exact(const std::string &from, const std::string &to, TreeCopy &tc);
// Flushes the whole file system holding path to disk (syncfs); 0, or -1 with errno.
int fs_sync_fs(const std::string &path);
// Flushes a folder's entries (after renames in it); 0, or -1 with errno.
int fs_sync_dir(const std::string &folder);

// The path with every symlink, "." and ".." resolved, also when parts of it
// do not exist yet: those count as the plain folders fs_mkdirs would make.
// Relative paths start at the current folder.
std::string fs_real_path(const std::string &path);

// True when path lies below folder through plain names only: it begins with
// "folder/" and no segment after that is empty, "." or "..". Purely textual,
// for destinations built from names that came from outside.
bool fs_path_inside(const std::string &path, const std::string &folder);

// True when name can be one file name inside a folder, shown as it is
// named: not empty, not "." or "..", without "/" or "\", and printable
// (str_printable: no control characters). Names from outside (a source's
// file name, a record's) are checked with it before they become paths.
bool fs_filename_safe(const std::string &name);

// Free bytes for an unprivileged writer on the file system holding path (the
// deepest existing folder along it); none when it cannot be asked.
std::optional<long long> fs_free_bytes(const std::string &path);
// True when the file system holding path (the deepest existing folder along
// it) is mounted read-only.
bool fs_read_only(const std::string &path);

// Which file a path names: its device and inode. Two spellings of one folder
// (a symlink, "..", a bind mount) give the same id.
struct FileId {
    unsigned long long dev = 0, ino = 0;
    bool operator==(const FileId &) const = default;
};
// The id of path (follow: of what a symlink leads to); none when it does not exist.
std::optional<FileId> fs_file_id(const std::string &path, bool follow);
// True when both are regular files with the same bytes.
bool fs_same_content(const std::string &a, const std::string &b);

// An advisory lock (flock) on "<path>.lock", held until the handle is
// destroyed. It serialises read-modify-write of one file between processes,
// and between threads too: every lock opens the lock file anew. When the lock
// file cannot be created (a read-only or missing folder) nothing is locked;
// the write that follows fails there anyway, or creates the folder first.
struct FileLock {
    int fd = -1;
    FileLock() = default;
    FileLock(FileLock &&other) noexcept : fd(other.fd) { other.fd = -1; }
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
    ~FileLock();
};
FileLock fs_lock(const std::string &path);
// An advisory lock on a folder itself, leaving no lock file behind. Without
// wait, fd is -1 at once when another holder has it (busy is then set).
FileLock fs_lock_dir(const std::string &folder, bool wait, bool *busy);
// A lock on the file path itself (created when missing), shared or
// exclusive, taken at once or not at all: fd is -1 with busy set when a
// holder of the other kind has it. A child process that inherits fd holds
// the lock with us, and on alone once we close ours.
FileLock fs_lock_try(const std::string &path, bool shared, bool *busy);

// A name that no other call uses, in this process or another: prefix followed
// by "<pid>-<n>", n counting the calls of this process. Temporary files, part
// files and scratch folders are named with it.
std::string fs_unique_name(const std::string &prefix);
// Removes the entries of folder named by fs_unique_name(folder + "/" +
// prefix) in processes that are gone: scratch folders of a killed run.
void fs_remove_stale_unique(const std::string &folder, const std::string &prefix);
// True when name ends as fs_unique_name ends a prefix whose last part is
// tail: "<anything><tail><pid>-<n>" (tail ".tmp", ".part"): a scratch file.
bool fs_is_unique_name(const std::string &name, const std::string &tail);

// The text for an errno value: Russian for the causes a player meets (full
// disk, no access, read-only disk...), the system's text otherwise. Any thread.
std::string fs_error_text(int errnum);

// Test-only: when set, told of each flush of a temporary file to disk
// ("fsync") and each rename of one into place ("rename"), with the temporary
// file's path, before the call. Null in the launcher; a test sets it while no
// other thread writes files.
using FsTraceHook = void (*)(const char *op, const std::string &path);
extern FsTraceHook fs_trace_hook;

// Writes all of data to a file descriptor, retrying short writes; 0 or -1.
int fs_write_fd_all(int fd, const void *data, size_t len);

// The value of an environment variable with "\" turned into "/"; none when unset or empty.
std::optional<std::string> env_path(const char *name);
