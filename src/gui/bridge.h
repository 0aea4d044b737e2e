// The bridge between worker threads and the interface thread: the shared
// status/progress/log record (GuiShared) that workers write and gui_refresh
// reads every 120 ms, the GUI implementations of the UiHooks, the busy state,
// the heartbeat, and the worker pattern every background task uses.
//
// gui_log, gui_progress, gui_set_status, gui_idle and the busy flags: any
// thread. Everything else: the interface thread only.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

// Creates the shared record (first step of start-up).
void gui_shared_init();

// A line for the log view and the launcher log (the UiHooks message hook).
void gui_log(const char *text);
// The UiHooks progress hook: current, total (<= 0: no counters) and a label.
void gui_progress(long current, long total, const char *label);
// A status text without counters.
void gui_set_status(const char *text);
// Records what the interface thread is doing, for hang and crash reports.
void gui_set_activity(const char *text);

// Busy state read by the refresh and the pages (word-sized, atomic).
extern std::atomic<bool> gui_busy;            // instance creation or data-folder change
extern std::atomic<long long> gui_game_state; // 0 none, -1 starting, > 0 the game's pid
extern std::atomic<int> gui_content_ops;      // installs and updates in flight
extern std::atomic<bool> gui_signin_busy;     // sign-in or sign-out running

// Runs fn once on the interface thread, from any thread.
void gui_idle(std::function<void()> fn);

// The worker pattern: work runs on a new detached thread called name (at most
// 15 bytes); done then runs once on the interface thread. Inputs are copied
// into the closures (or a request record) before the call: a worker never
// reads widgets. Worker threads block the hang watchdog's sampling signal and
// get their own alternate signal stack. A child process (the game) is reaped
// by the worker that waits for it (proc_wait), never also by a GLib child watch.
void gui_worker_start(const char *name, std::function<void()> work, std::function<void()> done);

// The same with a request record that the worker fills and done applies.
template <class Req>
void gui_worker_start(const char *name, std::unique_ptr<Req> req, void (*work)(Req &),
                      void (*done)(Req &)) {
    std::shared_ptr<Req> r(std::move(req));
    gui_worker_start(
        name, [r, work] { work(*r); }, [r, done] { done(*r); });
}

// Starts the 120 ms refresh and the 1000 ms heartbeat; stops the refresh.
void gui_timers_start();
void gui_refresh_stop();
// Longest interval so far between two heartbeats (nominally 1000 ms) and
// between two refreshes (nominally 120 ms), in milliseconds.
long gui_heartbeat_longest_ms();
long gui_refresh_longest_ms();

// Pure pieces, unit-tested.
// The status label's text: "%s: %ld/%ld" when total > 0, else the status itself.
std::string gui_status_text(const char *status, long current, long total);
// Appends a line to pending log text; beyond cap bytes the oldest whole lines
// are dropped (they are in the launcher log already).
void gui_pending_append(std::string &pending, const char *line, size_t cap);
