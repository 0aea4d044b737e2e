// The "modpack" command: import a modpack as a new instance.
#pragma once

#include "cli/args.h"

int cmd_modpack(const Options &opts);
