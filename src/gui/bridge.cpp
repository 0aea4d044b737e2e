// The bridge between workers and the interface thread. The GuiShared mutex is
// held only while copying; no widget or core call happens under it. Widgets
// are touched only in gui_refresh and idle callbacks, on the interface thread.
#include "gui/bridge.h"

#include "base/strings.h"
#include "diag/crash.h"
#include "diag/hang.h"
#include "diag/report.h"
#include "gui/pages.h"
#include "gui/window.h"

#include <cstdio>
#include <cstring>
#include <gtk/gtk.h>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace {
struct GuiShared {
    std::mutex lock;
    char status[256] = "";
    long current = -1;
    long total = -1;
    bool dirty = false;
    std::string pending_log;
};
GuiShared *g_shared;
guint g_refresh_id;
gint64 g_last_beat, g_last_refresh;
std::atomic<long> g_longest_beat{0}, g_longest_refresh{0};
// Lines waiting for the view beyond this are dropped from the front; they
// reach the launcher log in any case.
constexpr size_t k_pending_cap = 8u << 20;
} // namespace

std::atomic<bool> gui_busy{false};
std::atomic<long long> gui_game_state{0};
std::atomic<int> gui_content_ops{0};
std::atomic<bool> gui_signin_busy{false};

void gui_shared_init() {
    if (!g_shared) g_shared = new GuiShared;
}

void gui_pending_append(std::string &pending, const char *line, size_t cap) {
    pending += line;
    pending += '\n';
    if (pending.size() <= cap) return;
    size_t cut = pending.find('\n', pending.size() - cap);
    pending.erase(0, cut == std::string::npos ? pending.size() : cut + 1);
}

void gui_log(const char *text) {
    // The game's lines and names from servers come through here: the log
    // page and launcher.log show them, never obey them.
    std::string shown = str_display(text ? text : "", true);
    fprintf(stderr, "%s\n", shown.c_str());
    std::lock_guard<std::mutex> g(g_shared->lock);
    gui_pending_append(g_shared->pending_log, shown.c_str(), k_pending_cap);
}

// shown is what the status line shows, already through str_display.
static void set_status_locked(const std::string &shown, long current, long total) {
    const char *text = shown.c_str();
    size_t n = utf8_fit(text, sizeof g_shared->status - 1);
    memcpy(g_shared->status, text, n);
    g_shared->status[n] = '\0';
    g_shared->current = current;
    g_shared->total = total;
    g_shared->dirty = true;
}

void gui_progress(long current, long total, const char *label) {
    std::string shown = str_display(label ? label : "");
    std::lock_guard<std::mutex> g(g_shared->lock);
    set_status_locked(shown, current, total);
}

void gui_set_status(const char *text) {
    std::string shown = str_display(text ? text : "");
    std::lock_guard<std::mutex> g(g_shared->lock);
    set_status_locked(shown, -1, -1);
}

void gui_set_activity(const char *text) {
    diag_set_activity(text);
}

std::string gui_status_text(const char *status, long current, long total) {
    if (total <= 0) return status;
    char counters[48];
    snprintf(counters, sizeof counters, ": %ld/%ld", current, total);
    // At most 319 bytes, the counters kept and no character cut in half.
    size_t room = 319 - strlen(counters);
    return std::string(status, utf8_fit(status, room)) + counters;
}

// --- one-shot idle callbacks and workers ------------------------------------

static gboolean run_idle(gpointer data) {
    auto *fn = static_cast<std::function<void()> *>(data);
    (*fn)();
    delete fn;
    return G_SOURCE_REMOVE;
}

void gui_idle(std::function<void()> fn) {
    g_idle_add(run_idle, new std::function<void()>(std::move(fn)));
}

void gui_worker_start(const char *name, std::function<void()> work, std::function<void()> done) {
    std::string thread_name(name, strnlen(name, 15));
    std::thread([thread_name, work = std::move(work), done = std::move(done)]() mutable {
        pthread_setname_np(pthread_self(), thread_name.c_str());
        diag_block_sampling_signal();
        diag_thread_altstack();
        work();
        gui_idle(std::move(done));
    }).detach();
}

// --- timers -----------------------------------------------------------------

// Remembers the longest interval between two calls of a timer.
static void note_gap(gint64 &last, std::atomic<long> &longest) {
    gint64 now = g_get_monotonic_time();
    if (last) {
        long gap = static_cast<long>((now - last) / 1000);
        if (gap > longest.load()) longest.store(gap);
    }
    last = now;
}

// Copies the shared record under the lock, then updates widgets without it.
static gboolean gui_refresh(gpointer) {
    note_gap(g_last_refresh, g_longest_refresh);
    std::string log, status;
    long current, total;
    bool dirty;
    {
        std::lock_guard<std::mutex> g(g_shared->lock);
        log.swap(g_shared->pending_log);
        status = g_shared->status;
        current = g_shared->current;
        total = g_shared->total;
        dirty = g_shared->dirty;
        g_shared->dirty = false;
    }
    if (!log.empty()) logpage_append(log);
    if (dirty) {
        std::string text = gui_status_text(status.c_str(), current, total);
        gtk_label_set_text(gui.status, text.c_str());
        gtk_widget_set_tooltip_text(GTK_WIDGET(gui.status), text.c_str());
        if (gui_busy.load()) create_page_show_progress(text.c_str(), current, total);
    }
    bool spin = gui_busy.load() || gui_content_ops.load() != 0;
    gtk_widget_set_visible(GTK_WIDGET(gui.spinner), spin);
    gtk_spinner_set_spinning(gui.spinner, spin);
    home_page_sync_play(gui_game_state.load());
    create_page_sync_busy(gui_busy.load());
    return G_SOURCE_CONTINUE;
}

static gboolean heartbeat(gpointer) {
    note_gap(g_last_beat, g_longest_beat);
    ui_heartbeat.fetch_add(1);
    return G_SOURCE_CONTINUE;
}

long gui_heartbeat_longest_ms() {
    return g_longest_beat.load();
}
long gui_refresh_longest_ms() {
    return g_longest_refresh.load();
}

void gui_timers_start() {
    g_refresh_id = g_timeout_add(120, gui_refresh, nullptr);
    g_timeout_add(1000, heartbeat, nullptr);
}

void gui_refresh_stop() {
    if (g_refresh_id) g_source_remove(g_refresh_id);
    g_refresh_id = 0;
}
