// Console commands that list game versions, installed profiles and loader versions.
//
// Main thread of the console only.
#pragma once

#include "cli/args.h"

int cmd_list(const Options &opts);
int cmd_installed(const Options &opts);
int cmd_loaders(const Options &opts);
