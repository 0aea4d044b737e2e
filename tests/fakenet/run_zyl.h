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

// The same with another copy of zyl (see zyl_own_copy).
ZylRun run_zyl_from(const std::string &binary, const std::vector<std::string> &args,
                    const std::map<std::string, std::string> &env = {});
// zyl linked (or copied) into folder, so that its zyl.ini (the data folder it
// records) is the test's own; the program's path, "" when that failed.
std::string zyl_own_copy(const std::string &folder);

// The id of a process that has already ended (for files named after a
// process that is gone).
int ended_process_id();

// A fresh temporary folder, removed by the destructor.
struct TempDir {
    TempDir();
    ~TempDir();
    std::string path;
};

// zyl run on a pseudo-terminal of 120 columns (standard input, output and
// error all on it), as a player runs it in a terminal window.
struct TermRun {
    int code = -1;
    std::string screen; // every byte the terminal received, control sequences included
    // When each piece arrived (seconds after the start, offset into screen).
    std::vector<std::pair<double, size_t>> arrivals;
    // Seconds after the start at which needle first showed in full; -1 never.
    double when(const std::string &needle) const;
};
// Bounded: a run longer than timeout_s is killed (code stays -1).
TermRun run_zyl_terminal(const std::vector<std::string> &args,
                         const std::map<std::string, std::string> &env = {}, int timeout_s = 120);

// The closing line of an install without its summary: "Установлено: <id>\n".
std::string installed_line(const std::string &out);
