// Archive extraction: ZIP (installers, natives, worlds, modpacks, Windows
// runtimes) and tar.gz (Linux Java runtimes), unpacked below a target folder.
// Entry names that could leave the target are refused; every file is written
// to a temporary name first, so a failed entry never replaces a good file.
//
// Any thread. Two extractions into one folder at once are not coordinated
// beyond each file's own temporary name.
#pragma once

#include <string>

// Each reader: strip drops that many leading path components from every entry
// name (entries with fewer are skipped); entries whose stripped name begins
// with skip_prefix are skipped (empty: none). Names containing ".." and
// absolute names are skipped. Returns 0 when every entry was written, -1
// otherwise; a failed entry does not stop the others. Existing files are
// overwritten.
int zip_extract(const std::string &archive, const std::string &target, int strip,
                const std::string &skip_prefix, std::string *err = nullptr);
// Regular files keep their permission bits; symbolic links are created only
// when they resolve inside the target.
int tar_gz_extract(const std::string &archive, const std::string &target, int strip,
                   const std::string &skip_prefix, std::string *err = nullptr);
// Picks the reader from the archive's first bytes ("PK" or gzip's 1f 8b).
int archive_extract(const std::string &archive, const std::string &target, int strip,
                    const std::string &skip_prefix, std::string *err = nullptr);
