// The console tool: start-up and the command table.
//
// Main thread only, like every command handler of cli/.
#pragma once

#include "cli/args.h"

// One console command: its word and its handler, which returns the exit code.
struct Command {
    const char *word;
    int (*handler)(const Options &opts);
};

// Process entry: returns the exit code.
int cli_main(int argc, char **argv);
