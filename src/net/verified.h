// Record of verified files: for each file of the data folder whose SHA-1 was
// checked (or that was just downloaded and checked), the state it was in
// then: size, modification and change times in nanoseconds, inode and
// device, with the SHA-1 it matched. A launch trusts a file whose state is
// still the same for the same expected SHA-1 instead of reading it again;
// anything else is hashed as before. A change of content, a touch, a chmod
// or a replacement all move the change time or the inode, which no program
// can set back.
//
// Except within one step of the file system's clock: a change made in the
// same step as the one before it keeps every time (on file systems with whole
// seconds, a whole second). So each entry also keeps the moment its state
// was taken, and an entry whose change time is not at least one step older
// than that moment is racy, as git calls such index entries: it is hashed
// again before it is trusted, and recorded anew, clean once time has moved on.
//
// The record lives in the cache folder, one line per file, and names the
// data folder it belongs to (device and inode of the folder): a record
// copied from another data folder is not trusted. A missing, foreign or
// garbled record (or garbled line) only means "hash everything".
//
// Threads: one VerifiedFiles serves one installation. The loaded table is
// read-only while download workers consult it; the entries they add go
// through the record's own lock, which is never held while another lock is
// taken. Processes: verified_save merges under an advisory lock on the
// record, so two installs or launches keep each other's entries.
#pragma once

#include <mutex>
#include <string>
#include <unordered_map>

enum class VerifyMode {
    HashAll,     // every present file is hashed, and the record refreshed (install, creation)
    TrustRecord, // a file whose state matches the record is not read (launch)
};

// What identifies one state of a file's content.
struct VerifiedState {
    long long size = 0;
    long long mtime_ns = 0;
    long long ctime_ns = 0;
    unsigned long long ino = 0;
    unsigned long long dev = 0;
    bool operator==(const VerifiedState &) const = default;
};

struct VerifiedEntry {
    std::string sha1; // lowercase hex
    VerifiedState state;
    long long seen_ns = 0; // the clock just before state was taken
    bool operator==(const VerifiedEntry &) const = default;
};

// The coarsest step file times could have been cut to, judged from one of
// them: whole seconds (two, as FAT counts them) when it has no nanoseconds,
// else the largest power of ten its nanoseconds are a multiple of.
long long verified_time_step(long long time_ns);
// True unless the entry is racy: its change time lies at least one step
// before the moment its state was taken, so any later change moved it.
bool verified_entry_clean(const VerifiedEntry &e);

// Entries by path relative to the data folder.
using VerifiedTable = std::unordered_map<std::string, VerifiedEntry>;

struct VerifiedFiles {
    std::string root;   // the data folder; only files below it are recorded
    std::string record; // the record file
    VerifyMode mode = VerifyMode::HashAll;
    VerifiedTable known; // as loaded (TrustRecord only); read-only once open
    std::mutex lock;     // guards fresh
    VerifiedTable fresh; // what this installation checked or downloaded
};

// The record's file in a cache folder.
std::string verified_record_path(const std::string &cache_folder);

// Prepares vf for one installation in the data folder root; with
// TrustRecord the record is read (anything unreadable reads as empty).
void verified_open(VerifiedFiles &vf, const std::string &root, const std::string &record,
                   VerifyMode mode);

// True when path is a regular file with this SHA-1 (case-insensitive): taken
// from the record when vf trusts it and the file's state matches, otherwise
// hashed, and the outcome noted in vf. vf may be null: the file is hashed.
bool verified_check(VerifiedFiles *vf, const std::string &path, const std::string &sha1);

// Notes a file this process has just moved into place after checking its
// bytes against sha1. vf may be null.
void verified_note_written(VerifiedFiles *vf, const std::string &path, const std::string &sha1);

// Merges what vf noted since the last save into the record on disk, under
// the record's lock, and writes it atomically when anything changed. 0, or
// -1 when it could not be written (the next launch then hashes those files
// again).
int verified_save(VerifiedFiles &vf);

// The record's entries, or an empty table when it is missing, garbled as a
// whole, too large, or made for another data folder. Garbled lines are left
// out.
VerifiedTable verified_read(const std::string &record, const std::string &root);
