// POSIX process runner: posix_spawn with the standard handles redirected, and
// a table of the children started without waiting. waitpid works for any
// child of ours, so the table only remembers which ids are still pending.
#include "base/proc.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
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

// A child started without waiting, until proc_wait collects it.
struct Pending {
    int pid = 0; // 0: an empty slot
    bool own_group = false;
    bool stopping = false; // asked to end: what is left of its group goes too
};

std::mutex g_table_lock;
std::condition_variable g_collected; // a child left the table
std::array<Pending, 32> g_table{};

void table_put(int pid, bool own_group) {
    std::lock_guard<std::mutex> lock(g_table_lock);
    for (Pending &slot : g_table) {
        if (slot.pid == 0) {
            slot = {pid, own_group, false};
            return;
        }
    }
    // full: the child still runs, and proc_wait still finds it by its id
}

// Under g_table_lock.
Pending *table_find(int pid) {
    for (Pending &slot : g_table)
        if (slot.pid == pid) return &slot;
    return nullptr;
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

// proc_spawn, optionally making the child the leader of a new process group.
int spawn(const StrList &argv, const std::string &workdir, int out_fd, bool wait, int *pid,
          bool own_group, int keep_fd = -1) {
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
    // close-on-exec (sockets, pipes of the toolkit) stay with us. The kept one
    // becomes 3 (a dup2 onto itself clears its close-on-exec).
    if (keep_fd >= 0) posix_spawn_file_actions_adddup2(&s.fa, keep_fd, 3);
    posix_spawn_file_actions_addclosefrom_np(&s.fa, keep_fd >= 0 ? 4 : 3);
    // the child starts with default signal handling, whatever we changed
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&s.attr, &none);
    posix_spawnattr_setsigdefault(&s.attr, &all);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (own_group) {
        posix_spawnattr_setpgroup(&s.attr, 0);
        flags |= POSIX_SPAWN_SETPGROUP;
    }
    posix_spawnattr_setflags(&s.attr, flags);

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
    table_put(static_cast<int>(child), own_group);
    return 0;
}

} // namespace

int proc_spawn(const StrList &argv, const std::string &workdir, int out_fd, bool wait, int *pid) {
    return spawn(argv, workdir, out_fd, wait, pid, false);
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

int proc_start_piped(const StrList &argv, const std::string &workdir, int *pid, int *read_fd,
                     int keep_fd) {
    int fds[2];
    // close-on-exec on both ends: only the dup2 in the child survives, so the
    // reader sees end of file when the child and its own children are gone
    if (pipe2(fds, O_CLOEXEC) != 0) return -1;
    int rc = spawn(argv, workdir, fds[1], false, pid, true, keep_fd);
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
    // The end first, without collecting it: until the child is collected its
    // id (and its group's) cannot pass to another process, so a stop sent
    // meanwhile reaches nothing but this child's group.
    siginfo_t info{};
    while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
    std::lock_guard<std::mutex> lock(g_table_lock);
    if (Pending *slot = table_find(pid)) {
        // A stopped game takes whatever it started along.
        if (slot->own_group && slot->stopping) kill(-pid, SIGKILL);
        *slot = {};
    }
    int code = wait_child(static_cast<pid_t>(pid));
    g_collected.notify_all();
    return code;
}

int proc_signal_group(int pid, int sig) {
    std::lock_guard<std::mutex> lock(g_table_lock);
    Pending *slot = pid > 0 ? table_find(pid) : nullptr;
    if (!slot || !slot->own_group) return -1;
    slot->stopping = true;
    return kill(-pid, sig) == 0 ? 0 : -1;
}

int proc_stop_group(int pid, int grace_ms) {
    std::unique_lock<std::mutex> lock(g_table_lock);
    Pending *slot = pid > 0 ? table_find(pid) : nullptr;
    if (!slot || !slot->own_group) return -1;
    slot->stopping = true;
    kill(-pid, SIGTERM);
    bool collected = g_collected.wait_for(lock, std::chrono::milliseconds(grace_ms),
                                          [pid] { return table_find(pid) == nullptr; });
    // Not collected yet: the group's id is still this child's.
    if (!collected) kill(-pid, SIGKILL);
    return 0;
}

bool proc_gone(int pid) {
    if (pid <= 0) return false;
    return kill(pid, 0) != 0 && errno == ESRCH;
}
