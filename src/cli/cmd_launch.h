// The console's "launch" (with a version or profile id) and "uuid" commands,
// and the output pump every console launch runs while the game plays.
//
// Main thread of the console only.
#pragma once

#include "cli/args.h"

// Copies the game's output to standard output until the pipe closes, waits
// for the game and returns its exit code (-1 when it cannot be read); "PID
// игры" before and "Игра завершилась с кодом" after go to standard error.
int launch_output_pump(int pid, int read_fd);

int cmd_launch(const Options &opts);
int cmd_uuid(const Options &opts);
