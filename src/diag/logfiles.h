// Launcher log files of the interface process: launcher.log (and the previous
// run's launcher.prev.log), the crashed.flag check, and arming of the crash
// and hang reports.
#pragma once

#include <string>

// Called once, early, on the interface thread, before any worker exists.
// redirect: send standard error and output to <dir>/launcher.log. Returns 1
// when the previous run left crashed.flag behind (it is removed), else 0.
int diagnostics_init(const std::string &report_dir, bool redirect);
