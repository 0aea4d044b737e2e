// The account commands: login, logout, whoami.
//
// Main thread of the console only.
#pragma once

#include "cli/args.h"

int cmd_login(const Options &opts);
int cmd_logout(const Options &opts);
int cmd_whoami(const Options &opts);
