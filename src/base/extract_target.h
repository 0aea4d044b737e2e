// The writing side shared by the archive readers: turns entry names into
// paths below the target folder and refuses any path, directory or link that
// would resolve outside it, following the symbolic links already on disk.
//
// Any thread; a target belongs to one extraction.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct ExtractTarget {
    std::string root;               // real path of the target folder
    std::vector<std::string> links; // symbolic links created so far (absolute)
};

// Creates the target folder and resolves its real path.
int extract_target_open(ExtractTarget &t, const std::string &folder);

// The entry's path relative to the target, or none when the entry is skipped:
// absolute names, names containing "..", fewer than strip+1 components,
// names beginning with skip_prefix. "\" counts as "/".
std::optional<std::string> extract_entry_name(const std::string &raw, int strip,
                                              const std::string &skip_prefix, bool *is_dir);

// Creates a directory (and its parents) below the target.
int extract_mkdir(ExtractTarget &t, const std::string &rel);

// One file being written: data goes to a temporary name of its own
// (fs_unique_name of "<path>.tmp"), which replaces the
// path only on commit; dropping it unfinished removes the temporary file.
struct ExtractFile {
    ExtractFile() = default;
    ExtractFile(const ExtractFile &) = delete;
    ExtractFile &operator=(const ExtractFile &) = delete;
    ~ExtractFile();
    int fd = -1;
    std::string tmp;
    std::string path;
};
int extract_file_begin(ExtractTarget &t, const std::string &rel, ExtractFile &f);
int extract_file_write(ExtractFile &f, const void *data, size_t len);
// mode < 0 keeps the default permissions (0666 less the umask).
int extract_file_commit(ExtractFile &f, int mode);

// A symbolic link at rel pointing to link_target (relative, resolving inside).
int extract_symlink(ExtractTarget &t, const std::string &rel, const std::string &link_target);
// A copy of the already extracted file existing_rel at rel (tar hard links).
int extract_hardlink(ExtractTarget &t, const std::string &rel, const std::string &existing_rel);
// Links created earlier can point outside through links created later: look
// at every link again and remove the ones that now escape. -1 if any did.
int extract_check_links(ExtractTarget &t);
