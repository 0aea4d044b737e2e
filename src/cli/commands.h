// The console tool: start-up and the command table.
//
// Main thread only, like every command handler of cli/.
#pragma once

#include "cli/args.h"

#include <cstddef>

// One console command: its word and its handler, which returns the exit code.
// With rest_at, the words from that index of the line on (the command word
// is 1) are one value, Options::rest, and never options.
struct Command {
    const char *word;
    int (*handler)(const Options &opts);
    size_t rest_at = 0;
};

// Process entry: returns the exit code.
int cli_main(int argc, char **argv);
