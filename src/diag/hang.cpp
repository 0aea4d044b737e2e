// Hang watchdog. Its thread wakes every second and compares the interface's
// heartbeat; after 8 s without change it writes one report to hang.txt. The
// interface thread's stack is sampled by sending that thread a signal whose
// handler (async-signal-safe) captures the stack into fixed storage and posts
// a semaphore; the watchdog then formats the report on its own thread.
#include "diag/hang.h"

#include "diag/report.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <semaphore.h>
#include <thread>
#include <unistd.h>

namespace {
int g_sample_signal = 0;
pthread_t g_gui_thread;
sem_t g_sampled;
StackCapture g_sample;
} // namespace

HangEvent hang_step(HangState &s, unsigned heartbeat, int *seconds) {
    if (heartbeat == 0) return HangEvent::None; // the interface has not started yet
    if (heartbeat != s.last) {
        HangEvent ev = s.reported ? HangEvent::Recovered : HangEvent::None;
        if (seconds) *seconds = s.still;
        s.last = heartbeat;
        s.still = 0;
        s.reported = false;
        return ev;
    }
    if (++s.still >= 8 && !s.reported) {
        s.reported = true;
        return HangEvent::Frozen;
    }
    return HangEvent::None;
}

static void on_sample(int, siginfo_t *, void *uc) {
    int saved = errno;
    stack_capture(uc, g_sample);
    sem_post(&g_sampled);
    errno = saved;
}

void diag_block_sampling_signal() {
    if (!g_sample_signal) return;
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, g_sample_signal);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

// Opens hang.txt for appending and starts an entry with the time; -1 when
// the file cannot be opened (the entry is skipped).
static int hang_entry(RepBuf &b) {
    char path[2100];
    if (!diag_report_path(path, sizeof path, "hang.txt")) return -1;
    b.fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (b.fd >= 0) rep_timestamp(b);
    return b.fd;
}

static void hang_entry_end(RepBuf &b) {
    rep_flush(b);
    close(b.fd);
}

// Asks the interface thread for its stack; false when it did not answer in 2 s.
static bool sample_gui_stack() {
    while (sem_trywait(&g_sampled) == 0) {
    }
    if (pthread_kill(g_gui_thread, g_sample_signal) != 0) return false;
    struct timespec until;
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += 2;
    while (sem_timedwait(&g_sampled, &until) != 0)
        if (errno != EINTR) return false;
    return true;
}

static void report_frozen() {
    RepBuf b;
    if (hang_entry(b) < 0) return;
    rep_str(b, " GUI thread frozen for 8 s, doing: ");
    rep_str(b, ui_activity);
    rep_str(b, "\n");
    diag_modules_refresh();
    if (sample_gui_stack()) {
        rep_stack(b, g_sample);
        for (int i = 0; i < g_sample.nframes && i < 24; i++) {
            if (!diag_is_graphics_module(diag_module_name(g_sample.frames[i]))) continue;
            rep_str(b, "frozen inside the graphics driver -> next start uses the software "
                       "renderer\n");
            diag_plant_crash_flag();
            break;
        }
    }
    hang_entry_end(b);
}

static void report_recovered(int seconds) {
    RepBuf b;
    if (hang_entry(b) < 0) return;
    rep_str(b, " GUI ожил через ");
    rep_dec(b, seconds);
    rep_str(b, " с\n\n");
    hang_entry_end(b);
}

static void watchdog_main() {
    diag_block_sampling_signal();
    HangState st;
    // Samples on a fixed one-second grid: on a busy machine a late wake-up
    // must not push every later sample back and shorten the counted hang.
    struct timespec next;
    clock_gettime(CLOCK_MONOTONIC, &next);
    for (;;) {
        next.tv_sec += 1;
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) == EINTR) {
        }
        diag_modules_refresh();
        int seconds = 0;
        switch (hang_step(st, ui_heartbeat.load(), &seconds)) {
        case HangEvent::Frozen:
            report_frozen();
            break;
        case HangEvent::Recovered:
            report_recovered(seconds);
            break;
        case HangEvent::None:
            break;
        }
    }
}

void hang_watchdog_start() {
    g_gui_thread = pthread_self();
    sem_init(&g_sampled, 0, 0);
    g_sample_signal = SIGRTMIN + 4;
    struct sigaction sa {};
    sa.sa_sigaction = on_sample;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
    sigemptyset(&sa.sa_mask);
    sigaction(g_sample_signal, &sa, nullptr);
    std::thread(watchdog_main).detach();
}
