// Launcher log files. Both standard streams go to one open file in append
// mode and unbuffered, so lines from every thread keep their order and
// nothing waits in a buffer when the process dies.
#include "diag/logfiles.h"

#include "base/fs.h"
#include "base/version.h"
#include "diag/crash.h"
#include "diag/hang.h"
#include "diag/report.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

static void redirect_streams(const std::string &dir) {
    fs_rename_replace(dir + "/launcher.log", dir + "/launcher.prev.log");
    int fd = open((dir + "/launcher.log").c_str(),
                  O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    fflush(stderr);
    fflush(stdout);
    if (dup2(fd, STDERR_FILENO) >= 0) dup2(fd, STDOUT_FILENO);
    close(fd);
    setvbuf(stderr, nullptr, _IONBF, 0);
    setvbuf(stdout, nullptr, _IONBF, 0);
}

int diagnostics_init(const std::string &report_dir, bool redirect) {
    diag_set_report_dir(report_dir);
    std::string dir = diag_report_dir();
    fs_mkdirs(dir);
    if (redirect) redirect_streams(dir);

    int crashed = 0;
    if (fs_exists(dir + "/crashed.flag")) {
        fs_delete(dir + "/crashed.flag");
        crashed = 1;
    }

    diag_set_gui_thread();
    crash_reports_arm();
    hang_watchdog_start();

    RepBuf b;
    b.fd = STDERR_FILENO;
    rep_str(b, "ZYL Launcher " ZYL_VERSION " started, ");
    rep_timestamp(b);
    rep_str(b, "\n");
    rep_flush(b);
    return crashed;
}
