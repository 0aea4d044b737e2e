// The output pump: everything the game writes reaches standard output, and
// the exit code is the game's even when it closed its output before exiting.
#include "cli/cmd_launch.h"

#include "base/fs.h"
#include "base/proc.h"
#include "fakenet/run_zyl.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

TEST(LaunchOutputPump, CopiesEverythingAndWaitsPastEndOfFile) {
    TempDir tmp;
    // More than one read's worth, then the output is closed while the shell
    // still has work to do before it exits.
    StrList argv = {"sh", "-c",
                    "i=0; while [ $i -lt 3000 ]; do echo line$i; i=$((i+1)); done; "
                    "echo to-stderr >&2; exec >&- 2>&-; "
                    "i=0; while [ $i -lt 2000 ]; do i=$((i+1)); done; exit 5"};
    int pid = 0, fd = -1;
    ASSERT_EQ(proc_start_piped(argv, "", &pid, &fd), 0);

    std::string out_path = tmp.path + "/out";
    fflush(stdout);
    int saved = dup(1);
    int file = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(file, 0);
    dup2(file, 1);
    close(file);
    int code = launch_output_pump(pid, fd);
    fflush(stdout);
    dup2(saved, 1);
    close(saved);

    EXPECT_EQ(code, 5);
    std::optional<std::string> out = fs_read_all(out_path);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->rfind("line0\nline1\n", 0), 0u);
    EXPECT_NE(out->find("line2999\nto-stderr\n"), std::string::npos);
    EXPECT_EQ(fcntl(fd, F_GETFD), -1) << "the pipe was left open";
}
