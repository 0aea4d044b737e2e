#include "base/proc.h"

#include "base/fs.h"
#include "fakenet/run_zyl.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

// Splits a command line the way the Microsoft runtime documents it
// ("Parsing C command-line arguments", also CommandLineToArgvW): the program
// name ends at the closing quote or the first blank; after it, blanks
// separate arguments outside quotes, 2n backslashes before a quote give n
// and the quote toggles quoting, 2n+1 give n and a literal quote, other
// backslashes are literal, and "" inside quotes is a literal quote.
StrList windows_split(const std::string &cmd) {
    StrList out;
    size_t i = 0, n = cmd.size();
    std::string prog;
    if (i < n && cmd[i] == '"') {
        for (i++; i < n && cmd[i] != '"'; i++)
            prog += cmd[i];
        if (i < n) i++;
    } else {
        for (; i < n && cmd[i] != ' ' && cmd[i] != '\t'; i++)
            prog += cmd[i];
    }
    out.push_back(prog);
    for (;;) {
        while (i < n && (cmd[i] == ' ' || cmd[i] == '\t'))
            i++;
        if (i >= n) break;
        std::string arg;
        bool quoted = false;
        while (i < n && (quoted || (cmd[i] != ' ' && cmd[i] != '\t'))) {
            if (cmd[i] == '\\') {
                size_t bs = 0;
                for (; i < n && cmd[i] == '\\'; i++)
                    bs++;
                if (i < n && cmd[i] == '"') {
                    arg.append(bs / 2, '\\');
                    if (bs % 2) arg += cmd[i++];
                } else {
                    arg.append(bs, '\\');
                }
            } else if (cmd[i] == '"') {
                if (quoted && i + 1 < n && cmd[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    i++;
                }
            } else {
                arg += cmd[i++];
            }
        }
        out.push_back(arg);
    }
    return out;
}

// Everything until end of file; fails the test when nothing arrives for 30 s.
std::string read_to_eof(int fd) {
    std::string out;
    char buf[65536];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 30000) <= 0) {
            ADD_FAILURE() << "no output for 30 s";
            break;
        }
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return out;
}

// One line of the child's output (the first, up to its newline), read byte
// by byte so that nothing after it is taken from the pipe.
std::string read_line(int fd) {
    std::string line;
    char c;
    while (read(fd, &c, 1) == 1 && c != '\n')
        line += c;
    return line;
}

// True when the process ends (or has ended) within 30 s: its pidfd turns
// readable when it exits, whoever its parent is.
bool ends(int pid) {
    int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0) return errno == ESRCH;
    pollfd p{fd, POLLIN, 0};
    bool gone = poll(&p, 1, 30000) == 1;
    close(fd);
    return gone;
}

size_t open_fds() {
    auto names = dir_list("/proc/self/fd");
    return names ? names->size() : 0;
}

} // namespace

TEST(CommandLine, QuotesForTheMicrosoftSplitter) {
    struct Case {
        StrList args;
        const char *want; // nullptr: only the round trip is checked
    };
    const Case cases[] = {
        {{"java", ""}, "java \"\""},
        {{"java", "C:\\Program Files\\Java\\"}, "java \"C:\\Program Files\\Java\\\\\""},
        {{"java", "a\\\"b"}, "java \"a\\\\\\\"b\""},
        {{"java", "-cp", "C:\\libs\\a.jar;C:\\libs\\b.jar"},
         "java -cp C:\\libs\\a.jar;C:\\libs\\b.jar"},
        {{"C:\\Program Files\\Java\\bin\\java.exe", "two words", "tab\there"},
         "\"C:\\Program Files\\Java\\bin\\java.exe\" \"two words\" \"tab\there\""},
        {{"java", "--username", "Иван", "C:\\Users\\Иван Петров\\AppData\\.zyl"},
         "java --username Иван \"C:\\Users\\Иван Петров\\AppData\\.zyl\""},
        {{"java", "\\\\server\\share\\", "trailing\\\\"}, "java \\\\server\\share\\ trailing\\\\"},
        {{"java", "\"", "\\\"", "\\\\\"", "a\\\\ b", "line\nbreak", "v\vt", "-Dk=va\"l ue"},
         nullptr},
        {{"java", "", "", "x"}, "java \"\" \"\" x"},
    };
    for (const Case &c : cases) {
        std::string line = build_command_line(c.args);
        SCOPED_TRACE(line);
        if (c.want) {
            EXPECT_EQ(line, c.want);
        }
        EXPECT_EQ(windows_split(line), c.args);
    }
}

// The splitter itself, on the examples Microsoft documents.
TEST(CommandLine, TestSplitterFollowsDocumentedExamples) {
    const std::pair<const char *, StrList> cases[] = {
        {"p \"a b c\" d e", {"p", "a b c", "d", "e"}},
        {"p \"ab\\\"c\" \"\\\\\" d", {"p", "ab\"c", "\\", "d"}},
        {"p a\\\\\\b d\"e f\"g h", {"p", "a\\\\\\b", "de fg", "h"}},
        {"p a\\\\\\\"b c d", {"p", "a\\\"b", "c", "d"}},
        {"p a\\\\\\\\\"b c\" d e", {"p", "a\\\\b c", "d", "e"}},
        {"p a\"b\"\" c d", {"p", "ab\" c d"}},
    };
    for (const auto &[line, want] : cases)
        EXPECT_EQ(windows_split(line), want) << line;
}

TEST(Proc, PipeCarriesAllOutputAndExitCode) {
    TempDir t;
    std::string script = "echo out; echo err >&2; read x; echo \"stdin[$x][$?]\"; pwd; "
                         "printf '%s\\n' \"$1\"; seq 1 200000; exit 7";
    int pid = 0, fd = -1;
    size_t fds_before = open_fds();
    ASSERT_EQ(proc_start_piped({"sh", "-c", script, "sh", "Иван Петров"}, t.path, &pid, &fd), 0);
    EXPECT_GT(pid, 0);
    std::string out = read_to_eof(fd);
    EXPECT_EQ(proc_wait(pid), 7);
    EXPECT_EQ(open_fds(), fds_before); // neither pipe end is left open here

    std::string want = "out\nerr\nstdin[][1]\n" + t.path + "\nИван Петров\n";
    for (int i = 1; i <= 200000; i++)
        want += std::to_string(i) + "\n";
    EXPECT_EQ(out.size(), want.size());
    EXPECT_TRUE(out == want);
    EXPECT_EQ(proc_wait(pid), -1); // already collected
}

// The game gets standard input, output and error and nothing else, not even a
// descriptor some library opened without close-on-exec.
TEST(Proc, ChildInheritsOnlyTheStandardHandles) {
    TempDir t;
    int leaky = open((t.path).c_str(), O_RDONLY | O_DIRECTORY); // no O_CLOEXEC
    ASSERT_GE(leaky, 3);
    int pid = 0, fd = -1;
    ASSERT_EQ(proc_start_piped({"sh", "-c", "ls /proc/$$/fd"}, t.path, &pid, &fd), 0);
    std::string out = read_to_eof(fd);
    EXPECT_EQ(proc_wait(pid), 0);
    close(leaky);
    EXPECT_EQ(out, "0\n1\n2\n");
}

TEST(Proc, ExitCodesAndSignals) {
    const std::pair<const char *, int> cases[] = {
        {"exit 0", 0},
        {"exit 3", 3},
        {"exit 255", 255},
        {"kill -TERM $$", 128 + 15},
        {"kill -KILL $$", 128 + 9},
    };
    for (const auto &[script, code] : cases) {
        EXPECT_EQ(proc_spawn({"sh", "-c", script}, "", -1, true, nullptr), code) << script;
        int pid = 0;
        ASSERT_EQ(proc_spawn({"sh", "-c", script}, "", -1, false, &pid), 0);
        EXPECT_EQ(proc_wait(pid), code) << script;
    }
    size_t fds = open_fds();
    int pid = 0, fd = -1;
    EXPECT_EQ(proc_spawn({"/nonexistent/java"}, "", -1, true, nullptr), -1);
    EXPECT_EQ(proc_spawn({"zyl-no-such-program"}, "", -1, false, &pid), -1);
    EXPECT_EQ(proc_spawn({"sh", "-c", "exit 0"}, "/nonexistent-dir", -1, true, nullptr), -1);
    EXPECT_EQ(proc_start_piped({"zyl-no-such-program"}, "", &pid, &fd), -1);
    EXPECT_EQ(proc_spawn({}, "", -1, true, nullptr), -1);
    EXPECT_EQ(open_fds(), fds);
    EXPECT_EQ(proc_wait(getpid()), -1); // not our child
}

// More children than table slots: each is still waited for by its id.
TEST(Proc, ChildrenBeyondTheTable) {
    std::vector<int> pids;
    for (int i = 0; i < 33; i++) {
        int pid = 0;
        ASSERT_EQ(proc_spawn({"sh", "-c", "exit " + std::to_string(i + 1)}, "", -1, false, &pid),
                  0);
        pids.push_back(pid);
    }
    for (int i = 32; i >= 0; i--)
        EXPECT_EQ(proc_wait(pids[i]), i + 1) << i;
}

TEST(Proc, LoggedRun) {
    TempDir t;
    std::string script = "echo to-out; echo to-err >&2; touch ran; exit 4";
    std::string log = t.path + "/logs/installer.log";
    ASSERT_EQ(fs_mkdirs(t.path + "/logs"), 0);
    ASSERT_EQ(fs_write_atomic(log, "an older, much longer log that must disappear\n"), 0);
    EXPECT_EQ(proc_run_logged({"sh", "-c", script}, t.path, log), 4);
    EXPECT_EQ(fs_read_all(log).value_or(""), "to-out\nto-err\n");

    // no log folder, or no log: the installer still runs, its output is dropped
    fs_delete(t.path + "/ran");
    EXPECT_EQ(proc_run_logged({"sh", "-c", script}, t.path, t.path + "/missing/x.log"), 4);
    EXPECT_TRUE(fs_exists(t.path + "/ran"));
    EXPECT_FALSE(fs_exists(t.path + "/missing"));
    fs_delete(t.path + "/ran");
    EXPECT_EQ(proc_run_logged({"sh", "-c", script}, t.path, ""), 4);
    EXPECT_TRUE(fs_exists(t.path + "/ran"));
    EXPECT_EQ(proc_run_logged({"zyl-no-such-program"}, t.path, log), -1);
}

// A stop ends the game's whole process group: SIGTERM, and SIGKILL for what
// ignores it past the grace time. The background sleep stands for anything
// the game started; the shell prints its id first.
TEST(Proc, StopEndsTheGameWithEverythingItStarted) {
    struct Case {
        const char *script;
        int grace_ms, code;
    } cases[] = {
        {"sleep 300 & echo $!; wait", 30000, 128 + 15},
        // An ignored SIGTERM stays ignored across exec, for both sleeps.
        {"trap '' TERM; sleep 300 & echo $!; exec sleep 301", 50, 128 + 9},
    };
    for (const Case &c : cases) {
        int pid = 0, fd = -1;
        ASSERT_EQ(proc_start_piped({"sh", "-c", c.script}, "", &pid, &fd), 0);
        int started = std::stoi(read_line(fd));
        int code = -2;
        std::thread waiter([&] {
            read_to_eof(fd);
            code = proc_wait(pid);
        });
        EXPECT_EQ(proc_stop_group(pid, c.grace_ms), 0) << c.script;
        waiter.join();
        EXPECT_EQ(code, c.code) << c.script;
        EXPECT_TRUE(ends(started)) << c.script;
        // Collected: neither a stop nor a signal reaches its id any more.
        EXPECT_EQ(proc_stop_group(pid, 10), -1);
        EXPECT_EQ(proc_signal_group(pid, SIGTERM), -1);
    }
    // Only the game is started in a group of its own.
    int pid = 0;
    ASSERT_EQ(proc_spawn({"sh", "-c", "exit 0"}, "", -1, false, &pid), 0);
    EXPECT_EQ(proc_signal_group(pid, SIGTERM), -1);
    EXPECT_EQ(proc_wait(pid), 0);
}
