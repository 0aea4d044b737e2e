// The console tool: start-up and the command table.
//
// Main thread only, like every command handler of cli/.
#pragma once

#include "cli/args.h"

// One console command: its word and its handler, which returns the exit code.
// A command whose last word is free text ("config <key> <value>") names the
// positionals before it in rest_after: the rest of the line is that value,
// Options::rest, and never options (options_parse).
struct Command {
    const char *word;
    int (*handler)(const Options &opts);
    int rest_after = 0;
};

// Process entry: returns the exit code.
int cli_main(int argc, char **argv);
