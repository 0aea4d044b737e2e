// Crash reports. The handlers run on an alternate stack and are
// async-signal-safe: crash.txt is formatted into fixed buffers and written
// with write(2); the user dialog is a separate process (our own executable
// with k_crash_dialog_env set) because GTK must not be called here.
//
// Set up once by crash_reports_arm on the interface thread; after that only
// the handlers (any thread) read the prepared storage.
#include "diag/crash.h"

#include "base/version.h"
#include "diag/report.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

const char *const k_crash_dialog_env = "ZYL_CRASH_DIALOG";

extern char **environ;

namespace {
std::atomic<bool> g_reported{false};
StackCapture g_capture;
char g_crash_txt[2100];
char g_message[4096];
char g_exe[1024];
char g_dialog_env[2200];
bool g_has_display = false;
char *g_child_env[1024];
alignas(16) char g_altstack[128 * 1024];
} // namespace

std::string diag_crash_message(const std::string &report_dir) {
    return "ZYL Launcher аварийно завершился.\n\nОтчёт сохранён в папке:\n" + report_dir +
           "\n\nПри следующем запуске лаунчер включит программную отрисовку интерфейса. Если "
           "сбой повторится, пришлите файлы crash.txt и launcher.log из этой папки.";
}

// Starts the dialog helper: a raw fork (no atfork handlers), then execve of
// our own executable with the report folder in its environment.
static void show_dialog() {
    if (!g_has_display || !g_exe[0]) return;
    long pid = syscall(SYS_fork);
    if (pid != 0) return;
    int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
    }
    size_t n = 0;
    for (char **e = environ; e && *e && n < sizeof g_child_env / sizeof *g_child_env - 2; e++)
        if (strncmp(*e, "ZYL_TEST_FAULT=", 15) != 0) g_child_env[n++] = *e;
    g_child_env[n++] = g_dialog_env;
    g_child_env[n] = nullptr;
    char *argv[] = {g_exe, nullptr};
    execve(g_exe, argv, g_child_env);
    _exit(127);
}

static void tell_user() {
    RepBuf b;
    b.fd = 2;
    rep_str(b, g_message);
    rep_str(b, "\n");
    rep_flush(b);
    show_dialog();
}

static void rep_thread_line(RepBuf &b) {
    rep_str(b, "thread ");
    rep_dec(b, diag_thread_id());
    rep_str(b, diag_on_gui_thread() ? " (GUI)" : " (worker)");
    rep_str(b, ", GUI was doing: ");
    rep_str(b, ui_activity);
    rep_str(b, "\n");
}

static const char *signal_name(int sig) {
    switch (sig) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGILL:
        return "SIGILL";
    case SIGFPE:
        return "SIGFPE";
    default:
        return "SIGABRT";
    }
}

// Writes crash.txt: header (signal-specific), thread line, stacks, modules.
static void write_report(int sig, siginfo_t *si, void *uc) {
    stack_capture(uc, g_capture);
    int fd = open(g_crash_txt, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    RepBuf b;
    b.fd = fd;
    if (sig == SIGABRT) {
        rep_str(b, "ZYL Launcher " ZYL_VERSION " abort() (fatal GTK/GLib error or assertion), ");
        rep_timestamp(b);
        rep_str(b, "\n");
        rep_thread_line(b);
        rep_str(b, "see launcher.log for the last error message\n");
    } else {
        rep_str(b, "ZYL Launcher " ZYL_VERSION " crash, ");
        rep_timestamp(b);
        rep_str(b, "\nsignal ");
        rep_dec(b, sig);
        rep_str(b, " (");
        rep_str(b, signal_name(sig));
        rep_str(b, ") at");
        rep_code_location(b, diag_context_ip(uc));
        if (sig == SIGSEGV || sig == SIGBUS) {
            // Bit 1 of the page-fault error code marks a write.
            long err = static_cast<ucontext_t *>(uc)->uc_mcontext.gregs[REG_ERR];
            rep_str(b, "access violation (");
            rep_str(b, sig == SIGSEGV && (err & 2) ? "write" : "read");
            rep_str(b, ") at ");
            rep_hex(b, reinterpret_cast<uintptr_t>(si->si_addr));
            rep_str(b, "\n");
        }
        rep_thread_line(b);
    }
    rep_stack(b, g_capture);
    rep_modules(b);
    rep_flush(b);
    close(fd);
}

static void on_fatal(int sig, siginfo_t *si, void *uc) {
    int saved = errno;
    if (!g_reported.exchange(true)) {
        write_report(sig, si, uc);
        diag_plant_crash_flag();
        tell_user();
    }
    if (sig == SIGABRT) _exit(3);
    // Die of the signal itself: returning re-runs the faulting instruction
    // with the default action; a signal sent by kill() is raised again.
    signal(sig, SIG_DFL);
    if (si->si_code <= 0) raise(sig);
    errno = saved;
}

void diag_thread_altstack() {
    struct AltStack {
        void *mem = nullptr;
        ~AltStack() {
            if (!mem) return;
            stack_t off{};
            off.ss_flags = SS_DISABLE;
            sigaltstack(&off, nullptr);
            free(mem);
        }
    };
    thread_local AltStack alt;
    if (alt.mem) return;
    alt.mem = malloc(sizeof g_altstack);
    if (!alt.mem) return;
    stack_t ss{};
    ss.ss_sp = alt.mem;
    ss.ss_size = sizeof g_altstack;
    sigaltstack(&ss, nullptr);
}

void crash_reports_arm() {
    diag_report_path(g_crash_txt, sizeof g_crash_txt, "crash.txt");
    snprintf(g_message, sizeof g_message, "%s", diag_crash_message(diag_report_dir()).c_str());
    snprintf(g_dialog_env, sizeof g_dialog_env, "%s=%s", k_crash_dialog_env, diag_report_dir());
    ssize_t n = readlink("/proc/self/exe", g_exe, sizeof g_exe - 1);
    g_exe[n > 0 ? n : 0] = '\0';
    const char *x = getenv("DISPLAY"), *w = getenv("WAYLAND_DISPLAY");
    g_has_display = (x && *x) || (w && *w);
    diag_capture_utc_offset();
    diag_modules_refresh();
    diag_unwinder_warm_up();

    stack_t ss{};
    ss.ss_sp = g_altstack;
    ss.ss_size = sizeof g_altstack;
    sigaltstack(&ss, nullptr);
    struct sigaction sa {};
    sa.sa_sigaction = on_fatal;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT})
        sigaction(sig, &sa, nullptr);
}
