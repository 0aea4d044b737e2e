// The "install" command and the install step it shares with "launch".
//
// Main thread of the console only.
#pragma once

#include "cli/args.h"

#include <optional>
#include <string>

// Installs positional 1 with the --loader / --loader-version options. For a
// launch, a loader-made profile already on disk is launched unchanged. The
// profile id, or none after "Установка не удалась".
std::optional<std::string> cli_install_step(const Options &opts, bool for_launch);

int cmd_install(const Options &opts);

// The end of the closing line: "1290 файлов, 326 МБ за 21 с", or that nothing
// had to be fetched.
std::string install_summary(long files, long long bytes, double seconds);
