// The GTK desktop application: start-up, activation and shutdown.
#pragma once

#include <optional>
#include <string>

// Runs the interface (the data directory is resolved already); never returns:
// the process ends with the main loop's status.
int gui_run(int argc, char **argv);

// Shows the crash message for a report folder in a dialog and returns when
// it is closed. Runs in a helper process started by the crash handler.
int gui_crash_dialog(const char *report_dir);

// Pure pieces, unit-tested.
// GSK_RENDERER for a renderer setting; none for "auto" (GTK chooses).
std::optional<std::string> gui_renderer_env(const std::string &setting);
// The notice after a crashed run. With an "auto" renderer the caller switches
// to "cairo" and the long notice says so.
std::string gui_crash_notice(bool switched_to_cairo, const std::string &logs_dir);
// A hook's number: the leading decimal integer, 0 for anything else.
long gui_hook_number(const char *value);
