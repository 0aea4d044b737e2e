// The console's "launch" (with a version or profile id) and "uuid" commands,
// and the output pump every console launch runs while the game plays.
//
// Main thread of the console only.
#pragma once

#include "cli/args.h"

#include <string>

// Where the game runs, for the explanation of a crash.
struct PumpContext {
    std::string game_dir; // "" none: no explanation
    int ram_mb = 0;
    long long started = 0; // seconds since 1970
};

// Copies the game's output to standard output until the pipe closes, waits
// for the game and returns its exit code (-1 when it cannot be read); "PID
// игры" before and "Игра завершилась с кодом" after go to standard error,
// followed by why the game crashed when its code is not 0.
int launch_output_pump(int pid, int read_fd, const PumpContext &ctx = {});

int cmd_launch(const Options &opts);
int cmd_uuid(const Options &opts);
