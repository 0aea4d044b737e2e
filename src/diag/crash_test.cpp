// The crash handlers, each run in a forked child (death tests): the report it
// leaves, the thread label and the exit status.
#include "base/fs.h"
#include "diag/crash.h"
#include "diag/report.h"
#include "fakenet/run_zyl.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <thread>

// Arms the handlers with reports in dir. No display: the dialog helper would
// start this test binary again.
static void arm(const std::string &dir) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    diag_set_report_dir(dir);
    diag_set_gui_thread();
    crash_reports_arm();
}

TEST(DiagCrashDeathTest, AbortWritesTheReportAndExitsWith3) {
    TempDir dir;
    EXPECT_EXIT(
        {
            arm(dir.path);
            diag_set_activity("page mods");
            abort();
        },
        testing::ExitedWithCode(3), "ZYL Launcher аварийно завершился");
    std::string report = fs_read_all(dir.path + "/crash.txt").value_or("");
    EXPECT_EQ(report.rfind("ZYL Launcher 1.5.1 abort() (fatal GTK/GLib error or assertion), ", 0),
              0u);
    EXPECT_NE(report.find("GUI was doing: page mods\nsee launcher.log for the last error "
                          "message\nstack (unwind):\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("(GUI)"), std::string::npos);
    EXPECT_NE(report.find("stack (scan):\n"), std::string::npos);
    EXPECT_NE(report.find("modules:\n"), std::string::npos);
    EXPECT_TRUE(fs_exists(dir.path + "/crashed.flag"));
}

TEST(DiagCrashDeathTest, CrashInAWorkerIsLabelledWorker) {
    TempDir dir;
    EXPECT_EXIT(
        {
            arm(dir.path);
            std::thread([] {
                volatile uintptr_t bad = 8;
                *reinterpret_cast<volatile int *>(bad) = 1;
            }).join();
        },
        testing::KilledBySignal(SIGSEGV), "");
    std::string report = fs_read_all(dir.path + "/crash.txt").value_or("");
    EXPECT_NE(report.find("signal 11 (SIGSEGV) at"), std::string::npos) << report;
    EXPECT_NE(report.find("access violation (write) at 0x8\nthread "), std::string::npos);
    EXPECT_NE(report.find(" (worker), GUI was doing: "), std::string::npos);
}

TEST(DiagCrashDeathTest, ASignalSentByKillStillEndsTheProcess) {
    // Returning from the handler re-runs a faulting instruction, but a signal
    // that came from kill() must be raised again to end the process.
    TempDir twice;
    EXPECT_EXIT(
        {
            arm(twice.path);
            raise(SIGFPE);
        },
        testing::KilledBySignal(SIGFPE), "");
    std::string first = fs_read_all(twice.path + "/crash.txt").value_or("");
    EXPECT_NE(first.find("signal 8 (SIGFPE)"), std::string::npos) << first;
}
