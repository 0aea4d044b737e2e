// The main of the display test binary: tests that build real widgets. When no
// display works (ctest run outside a desktop or xvfb-run), the binary starts
// itself again under xvfb-run on a private Xvfb display, so these tests run
// wherever the suite runs instead of skipping.
#include "runner/runner.h"

#include <gtk/gtk.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Whether GTK can open the display it is pointed at. Asked in a child: a
// failed GTK start cannot be retried in the same process.
static bool display_works() {
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 2); // GTK's own complaint; ours comes below
        _exit(gtk_init_check() ? 0 : 1);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

static bool listing_tests(int argc, char **argv) {
    for (int i = 1; i < argc; i++)
        if (strncmp(argv[i], "--gtest_list_tests", 18) == 0) return true;
    return false;
}

// Replaces this process with itself under xvfb-run; returns only when that
// could not start.
static void rerun_under_xvfb(int argc, char **argv) {
    std::vector<char> self(PATH_MAX + 1);
    ssize_t n = readlink("/proc/self/exe", self.data(), PATH_MAX);
    if (n <= 0) return;
    self[static_cast<size_t>(n)] = '\0';
    std::vector<char *> args = {
        const_cast<char *>("xvfb-run"), const_cast<char *>("-a"), const_cast<char *>("-s"),
        const_cast<char *>("-screen 0 1400x900x24 -nolisten tcp"), self.data()};
    args.insert(args.end(), argv + 1, argv + argc);
    args.push_back(nullptr);
    setenv("ZYL_TEST_OWN_DISPLAY", "1", 1); // once: no loop when Xvfb gives none either
    execvp(args[0], args.data());
    fprintf(stderr, "xvfb-run could not start (%s): the display tests skip\n", strerror(errno));
}

int main(int argc, char **argv) {
    // The renderer and settings every interface test uses, unless set.
    setenv("GSK_RENDERER", "cairo", 0);
    setenv("GSETTINGS_BACKEND", "memory", 0);
    if (!listing_tests(argc, argv) && !getenv("ZYL_TEST_OWN_DISPLAY") && !display_works())
        rerun_under_xvfb(argc, argv);
    return runner_run(argc, argv);
}
