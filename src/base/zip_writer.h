// ZIP writer: builds an archive under a temporary name beside its target and
// moves it over the target only when it is complete, so a failed or
// interrupted write never leaves a partial archive where a finished one is
// expected. Entries are deflated from files read in blocks; names are UTF-8.
// ZIP64 is not written (the launcher's reader does not take it): an archive
// that would pass 4 GB or 65535 entries is refused with a reason.
//
// Any thread; one writer belongs to one thread.
#pragma once

#include "base/fs.h"

#include <cstdint>
#include <string>
#include <vector>

struct ZipWriter {
    std::string target;
    std::string temp; // "" once moved into place or removed
    FilePtr f;
    uint64_t offset = 0;
    std::vector<unsigned char> central; // the central directory, built as entries are added
    uint32_t count = 0;

    ZipWriter() = default;
    ZipWriter(const ZipWriter &) = delete;
    ZipWriter &operator=(const ZipWriter &) = delete;
    ~ZipWriter(); // an archive not finished is removed
};

// Starts an archive that will become target. 0, or -1 with err.
int zip_writer_open(ZipWriter &w, const std::string &target, std::string *err);
// Adds the file at path as entry name (no leading "/", "/" between folders).
// 0, or -1 with err (the archive is then of no use: discard it).
int zip_writer_add_file(ZipWriter &w, const std::string &name, const std::string &path,
                        std::string *err);
// Adds bytes held in memory as entry name.
int zip_writer_add_data(ZipWriter &w, const std::string &name, const std::string &data,
                        std::string *err);
// Writes the central directory, flushes the archive to disk and moves it over
// the target. 0, or -1 with err (nothing at the target changed).
int zip_writer_finish(ZipWriter &w, std::string *err);
// Removes the unfinished archive.
void zip_writer_discard(ZipWriter &w);
