// Test support: runs the built zyl as a child process and captures what it
// prints; temporary folders.
#pragma once

#include <map>
#include <string>
#include <vector>

struct ZylRun {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs zyl with args; env entries are added to (or override) the environment,
// an empty value removes the variable. stdin_text is fed to standard input.
// A max_file_bytes above 0 limits every file zyl writes to that size
// (RLIMIT_FSIZE, writes beyond fail with EFBIG): a full disk without mounts.
ZylRun run_zyl(const std::vector<std::string> &args,
               const std::map<std::string, std::string> &env = {},
               const std::string &stdin_text = "", long long max_file_bytes = 0);

// The id of a process that has already ended (for files named after a
// process that is gone).
int ended_process_id();

// A fresh temporary folder, removed by the destructor.
struct TempDir {
    TempDir();
    ~TempDir();
    std::string path;
};
