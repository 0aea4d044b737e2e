// Where the launcher's data lives: resolution at start-up (command line,
// environment, two ini files, defaults), DataPaths, and relocation.
//
// One writer, many readers through snapshots: datapaths() hands any thread a
// copy of the paths in force, and only datapaths_set (resolution, relocation)
// publishes the next ones. An operation that took a copy keeps working in the
// folder it started in; the interface refuses a relocation while installs or
// a game run, so no operation spans two folders.
#pragma once

#include "base/fs.h"

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

// A copy of the paths in force. Any thread.
DataPaths datapaths();
// Where the data directory came from: "--data-dir", "$ZYL_HOME", "user zyl.ini",
// "zyl.ini", "$XDG_DATA_HOME" or "exe folder". Any thread.
const char *datadir_label();

// Picks the data directory (override: the "--data-dir" value, when given and
// not empty) and publishes it. Called once by the front end at start-up.
void datadir_resolve(const std::optional<std::string> &override);
// Publishes a new data directory and creates its six sub-folders.
void datapaths_set(const std::string &dir);
// Publishes exactly these paths, creating nothing (tests that point one
// folder elsewhere).
void datapaths_publish(const DataPaths &paths);
// Changes the data directory, moving the data when move is set. 0, or -1 with
// err: then the data folder in use is unchanged and whole.
int datadir_relocate(const std::string &new_folder, bool move, std::string *err);

// The lock file of the data folder dir: every running game holds it shared
// for as long as it runs, and a move of the folder takes it exclusive.
std::string datadir_game_lock_path(const std::string &dir);
// The lock for a game of dir, to be inherited by the game's process; fd -1
// with busy set while a move of dir runs. Any thread.
FileLock datadir_game_lock(const std::string &dir, bool *busy);

// The data folder the location ini files name (the per-user one first): the
// one the next start takes unless --data-dir or $ZYL_HOME say otherwise.
std::optional<std::string> datadir_recorded();
// Records dir in zyl.ini next to the executable, or in the per-user ini when
// that folder is not writable. 0 when datadir_recorded() now gives dir;
// otherwise -1 with errnum (0: written, yet another ini still wins) and
// zyl.ini as it was.
int datadir_record(const std::string &dir, int *errnum);

// The data_dir value of a location ini text, resolved against exe_folder; none when absent.
std::optional<std::string> datadir_ini_parse(const std::string &text,
                                             const std::string &exe_folder);
// Path of the per-user location ini.
std::string datadir_user_ini_path();
// Path of the ini file next to the executable (tests may point it elsewhere).
std::string datadir_exe_ini_path();
// Tests: the folder that plays the executable's folder ("" restores the real one).
void datadir_set_exe_dir_for_tests(const std::string &dir);
