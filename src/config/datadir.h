// Where the launcher's data lives: resolution at start-up (command line,
// environment, two ini files, defaults), DataPaths, and relocation.
#pragma once

#include <optional>
#include <string>

struct DataPaths {
    std::string data;
    std::string libraries;
    std::string assets;
    std::string versions;
    std::string java;
    std::string instances;
    std::string cache;
};

// Process-wide; changed only by datapaths_set.
extern DataPaths g_paths;
// Where the data directory came from: "--data-dir", "$ZYL_HOME", "user zyl.ini",
// "zyl.ini", "$XDG_DATA_HOME" or "exe folder".
extern const char *g_datadir_label;

// Set by the global options "--data-dir" and "--move".
extern std::optional<std::string> g_datadir_override;
extern bool g_datadir_move;

// Picks the data directory, publishes DataPaths and loads the stored account.
void datadir_resolve();
// Publishes a new data directory and creates its six sub-folders.
void datapaths_set(const std::string &dir);
// Changes the data directory, moving the data when move is set. 0, or -1 with err.
int datadir_relocate(const std::string &new_folder, bool move, std::string *err);

// The data_dir value of a location ini text, resolved against exe_folder; none when absent.
std::optional<std::string> datadir_ini_parse(const std::string &text,
                                             const std::string &exe_folder);
// Path of the per-user location ini.
std::string datadir_user_ini_path();
// Path of the ini file next to the executable (tests may point it elsewhere).
std::string datadir_exe_ini_path();
// Tests: the folder that plays the executable's folder ("" restores the real one).
void datadir_set_exe_dir_for_tests(const std::string &dir);

// The "datadir" command.
int cmd_datadir(const std::optional<std::string> &new_folder);
