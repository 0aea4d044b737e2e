// Child-process runner for end-to-end tests (any test thread may run several
// at once).
#include "fakenet/run_zyl.h"

#include "base/fs.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

static std::vector<std::string> build_env(const std::map<std::string, std::string> &extra) {
    std::map<std::string, std::string> merged;
    for (char **e = environ; *e; e++) {
        std::string kv = *e;
        size_t eq = kv.find('=');
        if (eq != std::string::npos) merged[kv.substr(0, eq)] = kv.substr(eq + 1);
    }
    for (const auto &[k, v] : extra) {
        if (v.empty())
            merged.erase(k);
        else
            merged[k] = v;
    }
    std::vector<std::string> out;
    for (const auto &[k, v] : merged)
        out.push_back(k + "=" + v);
    return out;
}

// zyl's argument and environment arrays for execve, built before fork (the child may
// not allocate).
struct ExecLine {
    std::vector<std::string> argv_s, env_s;
    std::vector<char *> argv, envp;

    ExecLine(const std::vector<std::string> &args, const std::map<std::string, std::string> &env,
             const std::string &binary = ZYL_BINARY)
        : argv_s{binary}, env_s(build_env(env)) {
        argv_s.insert(argv_s.end(), args.begin(), args.end());
        for (auto &a : argv_s)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto &e : env_s)
            envp.push_back(e.data());
        envp.push_back(nullptr);
    }
};

// The child's side between fork and exec: only async-signal-safe calls. The
// pipes are close-on-exec, so a child started by another test thread at the
// same time never holds this one's ends open; dup2 clears the flag on 0-2.
[[noreturn]] static void exec_child(int in, int out, int err, long long max_file_bytes, char **argv,
                                    char **envp) {
    // argv[0] is the program's path.
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (max_file_bytes > 0) {
        rlimit lim{static_cast<rlim_t>(max_file_bytes), static_cast<rlim_t>(max_file_bytes)};
        setrlimit(RLIMIT_FSIZE, &lim);
        // Without this the first write past the limit kills the process.
        signal(SIGXFSZ, SIG_IGN);
    }
    execve(argv[0], argv, envp);
    _exit(127);
}

static ZylRun run_binary(const std::string &binary, const std::vector<std::string> &args,
                         const std::map<std::string, std::string> &env,
                         const std::string &stdin_text, long long max_file_bytes) {
    ZylRun r;
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) return r;

    ExecLine line(args, env, binary);

    pid_t pid = fork();
    if (pid == 0)
        exec_child(in[0], out[1], err[1], max_file_bytes, line.argv.data(), line.envp.data());
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (pid < 0) {
        close(in[1]);
        close(out[0]);
        close(err[0]);
        return r;
    }
    // Feed standard input, then read both outputs until they close.
    size_t fed = 0;
    int in_fd = in[1];
    if (stdin_text.empty()) {
        close(in_fd);
        in_fd = -1;
    } else {
        fcntl(in_fd, F_SETFL, O_NONBLOCK);
    }
    bool out_open = true, err_open = true;
    char buf[65536];
    while (out_open || err_open) {
        pollfd p[3] = {{out_open ? out[0] : -1, POLLIN, 0},
                       {err_open ? err[0] : -1, POLLIN, 0},
                       {in_fd, POLLOUT, 0}};
        int n = poll(p, in_fd >= 0 ? 3 : 2, -1);
        if (n < 0 && errno == EINTR) continue;
        if (p[0].revents) {
            ssize_t k = read(out[0], buf, sizeof buf);
            if (k > 0)
                r.out.append(buf, static_cast<size_t>(k));
            else
                out_open = false;
        }
        if (p[1].revents) {
            ssize_t k = read(err[0], buf, sizeof buf);
            if (k > 0)
                r.err.append(buf, static_cast<size_t>(k));
            else
                err_open = false;
        }
        if (in_fd >= 0 && p[2].revents) {
            ssize_t k = write(in_fd, stdin_text.data() + fed, stdin_text.size() - fed);
            if (k > 0) fed += static_cast<size_t>(k);
            if (k < 0 || fed == stdin_text.size()) {
                close(in_fd);
                in_fd = -1;
            }
        }
    }
    if (in_fd >= 0) close(in_fd);
    close(out[0]);
    close(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

ZylRun run_zyl(const std::vector<std::string> &args, const std::map<std::string, std::string> &env,
               const std::string &stdin_text, long long max_file_bytes) {
    return run_binary(ZYL_BINARY, args, env, stdin_text, max_file_bytes);
}

ZylRun run_zyl_from(const std::string &binary, const std::vector<std::string> &args,
                    const std::map<std::string, std::string> &env) {
    return run_binary(binary, args, env, "", 0);
}

std::string zyl_own_copy(const std::string &folder) {
    std::string bin = folder + "/zyl";
    fs_mkdirs(folder);
    if (link(ZYL_BINARY, bin.c_str()) != 0 && fs_copy_file(ZYL_BINARY, bin) != 0) return "";
    return bin;
}

int ended_process_id() {
    pid_t pid = fork();
    if (pid == 0) _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

TempDir::TempDir() {
    char tmpl[] = "/tmp/zyl-test-XXXXXX";
    char *p = mkdtemp(tmpl);
    path = p ? p : "/tmp";
}

TempDir::~TempDir() {
    fs_remove_tree(path);
}

double TermRun::when(const std::string &needle) const {
    size_t at = screen.find(needle);
    if (at == std::string::npos) return -1;
    size_t end = at + needle.size();
    for (const auto &[t, offset] : arrivals)
        if (offset >= end) return t;
    return -1;
}

TermRun run_zyl_terminal(const std::vector<std::string> &args,
                         const std::map<std::string, std::string> &env, int timeout_s) {
    TermRun r;
    ExecLine line(args, env);

    winsize ws{};
    ws.ws_col = 120;
    ws.ws_row = 40;
    int master = -1;
    auto start = std::chrono::steady_clock::now();
    pid_t pid = forkpty(&master, nullptr, nullptr, &ws);
    if (pid == 0) {
        execve(ZYL_BINARY, line.argv.data(), line.envp.data());
        _exit(127);
    }
    if (pid < 0) return r;
    auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    char buf[65536];
    bool killed = false;
    while (true) {
        double left = timeout_s - elapsed();
        if (left <= 0) {
            kill(pid, SIGKILL);
            killed = true;
            break;
        }
        pollfd p{master, POLLIN, 0};
        int n = poll(&p, 1, static_cast<int>(left * 1000) + 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) continue;
        ssize_t k = read(master, buf, sizeof buf);
        if (k <= 0) break; // EIO: the program and everything it started are gone
        r.screen.append(buf, static_cast<size_t>(k));
        r.arrivals.push_back({elapsed(), r.screen.size()});
    }
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!killed) r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

std::string installed_line(const std::string &out) {
    size_t dash = out.find(" — ");
    size_t end = out.find('\n');
    if (dash == std::string::npos || dash > end) return out;
    return out.substr(0, dash) + out.substr(end);
}
