// Console commands of the content catalogue: search, add, and the per-instance
// "mods" operations.
//
// Main thread of the console only.
#pragma once

#include "cli/args.h"

int cmd_search(const Options &opts);
int cmd_add(const Options &opts);
int cmd_mods(const Options &opts);
