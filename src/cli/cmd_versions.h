// Console commands that list game versions, installed profiles and loader versions.
#pragma once

#include "cli/args.h"

int cmd_list(const Options &opts);
int cmd_installed(const Options &opts);
int cmd_loaders(const Options &opts);
