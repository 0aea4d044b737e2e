// The "modpack" command: import a modpack as a new instance; "export":
// write an instance as a Modrinth pack.
//
// Main thread of the console only.
#pragma once

#include "cli/args.h"

int cmd_modpack(const Options &opts);
int cmd_export(const Options &opts);
