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
// otherwise; a failed entry does not stop the others, but a target that
// cannot take more (disk full, read-only, I/O error) stops the extraction.
// Existing files are overwritten. err (optional) receives the cause of the
// first failure as one sentence: "Архив повреждён[: ...]", "Недостаточно
// места: нужно ..., свободно ...", or "<entry>: <why>" (the errno text of a
// write, "данные повреждены", ...).
//
// ZIP: archives whose entries overlap or lie outside the archive are refused
// as damaged, and the sizes the entries declare must fit in the target's
// free space, before anything is written.
int zip_extract(const std::string &archive, const std::string &target, int strip,
                const std::string &skip_prefix, std::string *err = nullptr);
// Regular files keep their permission bits; symbolic links are created only
// when they resolve inside the target. Each file's size must fit in the free
// space before it is written.
int tar_gz_extract(const std::string &archive, const std::string &target, int strip,
                   const std::string &skip_prefix, std::string *err = nullptr);
// Picks the reader from the archive's first bytes ("PK" or gzip's 1f 8b).
// A file that is neither: "Неизвестный формат архива".
int archive_extract(const std::string &archive, const std::string &target, int strip,
                    const std::string &skip_prefix, std::string *err = nullptr);

// "Недостаточно места: нужно X, свободно Y" when needed bytes exceed the free
// space of the file system holding target; empty when they fit (or the free
// space cannot be told).
std::string archive_space_check(const std::string &target, unsigned long long needed);
