// Default UiHooks and the console progress printer.
#include "base/ui.h"

#include "base/strings.h"
#include "base/term_progress.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <unistd.h>

static void default_progress(long, long, const char *) {}

static void default_message(const char *text) {
    fprintf(stderr, "%s\n", str_display(text, true).c_str());
    fflush(stderr);
}

static void console_print(FILE *to, const char *fmt, va_list ap) {
    va_list again;
    va_copy(again, ap);
    int n = vsnprintf(nullptr, 0, fmt, ap);
    std::string text;
    if (n > 0) {
        text.resize(static_cast<size_t>(n));
        vsnprintf(text.data(), text.size() + 1, fmt, again);
    }
    va_end(again);
    fputs(str_display(text, true).c_str(), to);
    fflush(to);
}

void console_out(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    console_print(stdout, fmt, ap);
    va_end(ap);
}

void console_err(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    console_print(stderr, fmt, ap);
    va_end(ap);
}

std::string console_stream_text(std::string &carry, const char *data, size_t n, bool at_end) {
    carry.append(data, n);
    size_t whole = carry.size();
    if (!at_end) {
        // A UTF-8 sequence begun in the last three bytes may go on in the next piece.
        for (size_t back = 1; back <= 3 && back <= carry.size(); back++) {
            unsigned char c = static_cast<unsigned char>(carry[carry.size() - back]);
            if ((c & 0xc0) == 0x80) continue; // a continuation byte: look further back
            size_t need = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc0 ? 2 : 1;
            if (need > back) whole = carry.size() - back;
            break;
        }
    }
    std::string shown = str_display(carry.substr(0, whole), true);
    carry.erase(0, whole);
    return shown;
}

UiHooks ui_hooks = {default_progress, default_message, nullptr, nullptr, nullptr};

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

void ui_phase(const char *label) {
    if (ui_hooks.phase) ui_hooks.phase(label ? label : "");
}

void ui_bytes(long long received, long long total) {
    if (ui_hooks.bytes) ui_hooks.bytes(received, total);
}

void ui_note(const char *fmt, ...) {
    if (!ui_hooks.note) return;
    char buf[4096];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    ui_hooks.note(buf);
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

void console_hooks_install() {
    ui_hooks.progress = console_progress;
    g_is_tty = isatty(STDERR_FILENO) ? 1 : 0;
    if (!g_is_tty) return;
    ui_hooks.message = term_progress_message;
    ui_hooks.phase = term_progress_phase;
    ui_hooks.bytes = term_progress_bytes;
    ui_hooks.note = term_progress_message;
}

void console_progress_end() {
    if (g_is_tty > 0) term_progress_end();
}

void console_progress(long done, long total, const char *label) {
    std::lock_guard<std::mutex> lk(g_console_lock);
    if (g_is_tty < 0) g_is_tty = isatty(STDERR_FILENO) ? 1 : 0;
    if (total <= 0) {
        if (g_is_tty)
            term_progress_phase(label);
        else
            fprintf(stderr, "[%s] ...\n", str_display(label).c_str());
        return;
    }
    if (g_is_tty) {
        term_progress_count(done, total, label);
        return;
    }
    long decile = done * 10 / total;
    if (decile == g_last_decile && done != total) return;
    fprintf(stderr, "[%s] %ld/%ld\n", str_display(label).c_str(), done, total);
    g_last_decile = done == total ? -1 : decile;
}
