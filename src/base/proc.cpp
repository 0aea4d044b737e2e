// POSIX process runner: posix_spawn with the standard handles redirected, and
// a table of the children started without waiting. waitpid works for any
// child of ours, so the table only remembers which ids are still pending.
#include "base/proc.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

std::string build_command_line(const StrList &args) {
    std::string out;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string &a = args[i];
        if (i > 0) out += ' ';
        if (!a.empty() && a.find_first_of(" \t\n\v\"") == std::string::npos) {
            out += a;
            continue;
        }
        out += '"';
        size_t backslashes = 0;
        for (char c : a) {
            if (c == '\\') {
                backslashes++;
                continue;
            }
            // backslashes count only in front of a quote: double them there
            out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
            out += c;
            backslashes = 0;
        }
        out.append(2 * backslashes, '\\'); // before the closing quote
        out += '"';
    }
    return out;
}

namespace {

std::mutex g_table_lock;
std::array<int, 32> g_table{}; // pending child ids, 0 for an empty slot

void table_put(int pid) {
    std::lock_guard<std::mutex> lock(g_table_lock);
    for (int &slot : g_table) {
        if (slot == 0) {
            slot = pid;
            return;
        }
    }
    // full: the child still runs, and proc_wait still finds it by its id
}

void table_take(int pid) {
    std::lock_guard<std::mutex> lock(g_table_lock);
    for (int &slot : g_table) {
        if (slot == pid) slot = 0;
    }
}

// The exit code, 128 + signal for a killed child; -1 when it cannot be read.
int wait_child(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

struct SpawnActions {
    posix_spawn_file_actions_t fa;
    posix_spawnattr_t attr;
    SpawnActions() {
        posix_spawn_file_actions_init(&fa);
        posix_spawnattr_init(&attr);
    }
    ~SpawnActions() {
        posix_spawn_file_actions_destroy(&fa);
        posix_spawnattr_destroy(&attr);
    }
};

} // namespace

int proc_spawn(const StrList &argv, const std::string &workdir, int out_fd, bool wait, int *pid) {
    if (argv.empty()) return -1;
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);

    SpawnActions s;
    posix_spawn_file_actions_addopen(&s.fa, 0, "/dev/null", O_RDONLY, 0);
    if (out_fd >= 0) {
        posix_spawn_file_actions_adddup2(&s.fa, out_fd, 1);
        posix_spawn_file_actions_adddup2(&s.fa, out_fd, 2);
    } else {
        posix_spawn_file_actions_addopen(&s.fa, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&s.fa, 1, 2);
    }
    if (!workdir.empty()) posix_spawn_file_actions_addchdir_np(&s.fa, workdir.c_str());
    // Nothing else reaches the child: descriptors opened by libraries without
    // close-on-exec (sockets, pipes of the toolkit) stay with us.
    posix_spawn_file_actions_addclosefrom_np(&s.fa, 3);
    // the child starts with default signal handling, whatever we changed
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&s.attr, &none);
    posix_spawnattr_setsigdefault(&s.attr, &all);
    posix_spawnattr_setflags(&s.attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t child = 0;
    // "java" without a folder is looked up in PATH
    bool bare = argv[0].find('/') == std::string::npos;
    int rc = bare ? posix_spawnp(&child, args[0], &s.fa, &s.attr, args.data(), environ)
                  : posix_spawn(&child, args[0], &s.fa, &s.attr, args.data(), environ);
    if (rc != 0) return -1;
    if (wait) {
        int code = wait_child(child);
        return code < 0 ? 1 : code;
    }
    if (pid) *pid = static_cast<int>(child);
    table_put(static_cast<int>(child));
    return 0;
}

int proc_run_logged(const StrList &argv, const std::string &workdir, const std::string &log_path) {
    int log = -1;
    if (!log_path.empty()) {
        log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    }
    int code = proc_spawn(argv, workdir, log, true, nullptr);
    if (log >= 0) close(log);
    return code;
}

int proc_start_piped(const StrList &argv, const std::string &workdir, int *pid, int *read_fd) {
    int fds[2];
    // close-on-exec on both ends: only the dup2 in the child survives, so the
    // reader sees end of file when the child and its own children are gone
    if (pipe2(fds, O_CLOEXEC) != 0) return -1;
    int rc = proc_spawn(argv, workdir, fds[1], false, pid);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return -1;
    }
    *read_fd = fds[0];
    return 0;
}

int proc_wait(int pid) {
    if (pid <= 0) return -1;
    table_take(pid);
    return wait_child(static_cast<pid_t>(pid));
}

bool proc_gone(int pid) {
    if (pid <= 0) return false;
    return kill(pid, 0) != 0 && errno == ESRCH;
}
