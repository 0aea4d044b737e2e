// The "modpack" command: import a modpack as a new instance.
//
// Main thread of the console only.
#pragma once

#include "cli/args.h"

int cmd_modpack(const Options &opts);
