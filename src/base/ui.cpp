// Default UiHooks and the console progress printer.
#include "base/ui.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <unistd.h>

static void default_progress(long, long, const char *) {}

static void default_message(const char *text) {
    fprintf(stderr, "%s\n", text);
    fflush(stderr);
}

UiHooks ui_hooks = {default_progress, default_message};

void ui_message(const char *fmt, ...) {
    char buf[4096];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    ui_hooks.message(buf);
}

void ui_progress(long done, long total, const char *label) {
    ui_hooks.progress(done, total, label ? label : "");
}

// The printer's memory; the lock keeps two batches' lines apart.
static std::mutex g_console_lock;
static int g_is_tty = -1;
static long g_last_decile = -1;

void console_progress_reset(int is_terminal) {
    std::lock_guard<std::mutex> lk(g_console_lock);
    g_is_tty = is_terminal;
    g_last_decile = -1;
}

void console_progress(long done, long total, const char *label) {
    std::lock_guard<std::mutex> lk(g_console_lock);
    if (g_is_tty < 0) g_is_tty = isatty(STDERR_FILENO) ? 1 : 0;
    if (total <= 0) {
        fprintf(stderr, "[%s] ...\n", label);
        return;
    }
    if (g_is_tty) {
        fprintf(stderr, "\r[%s] %ld/%ld   ", label, done, total);
        if (done == total) fputc('\n', stderr);
        fflush(stderr);
        return;
    }
    long decile = done * 10 / total;
    if (decile == g_last_decile && done != total) return;
    fprintf(stderr, "[%s] %ld/%ld\n", label, done, total);
    g_last_decile = done == total ? -1 : decile;
}
