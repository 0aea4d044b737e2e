// Crash reports: handlers for the fatal signals write crash.txt, plant
// crashed.flag and tell the user where the report is.
#pragma once

#include <string>

// Installs the handlers (on an alternate signal stack) and prepares, in fixed
// storage, everything they need: the report paths, the user message and the
// helper process that shows it. Called once, on the interface thread.
void crash_reports_arm();
// Gives the calling thread an alternate signal stack of its own, so that a
// stack overflow there is still reported; freed when the thread ends.
void diag_thread_altstack();
// The message shown to the user after a crash, naming the report folder.
std::string diag_crash_message(const std::string &report_dir);
// The environment variable that makes zyl show that message and exit: the
// crashed process starts its own executable with it instead of calling GTK.
extern const char *const k_crash_dialog_env;
