// The "datadir" and "config" commands.
//
// Main thread of the console only.
#pragma once

#include <optional>
#include <string>

// With a folder, moves the data directory there (moving the data when move
// is set); then prints the data directory and its source label. 0, or 1
// after "Ошибка: %s".
int cmd_datadir(const std::optional<std::string> &new_folder, bool move);

// The "config" command: key and value change one setting (exit 2 for an
// unknown key, a value that is not UTF-8, a memory size the machine cannot
// give or an empty nick; 1 when it cannot be saved; a nick servers refuse is
// saved with a warning); otherwise prints them all.
int cmd_config(const std::optional<std::string> &key, const std::optional<std::string> &value);
