// Test-only behaviour: the fault injection the crash and hang tests use and
// a log flood for the log-view tests and the responsiveness benchmark.
#include "gui/testhooks.h"

#include "gui/bridge.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <glib.h>
#include <thread>

static gboolean run_fault(gpointer) {
    const char *fault = getenv("ZYL_TEST_FAULT");
    if (fault && strcmp(fault, "hang") == 0) {
        gui_set_activity("test hang");
        g_usleep(12 * G_USEC_PER_SEC);
    } else if (fault && strcmp(fault, "crash") == 0) {
        gui_set_activity("test crash");
        volatile uintptr_t bad = 16;
        *reinterpret_cast<volatile int *>(bad) = 1;
    }
    return G_SOURCE_REMOVE;
}

void test_fault_schedule() {
    g_timeout_add(4000, run_fault, nullptr);
}

bool test_log_flood_parse(const char *value, LogFlood *out) {
    char *end = nullptr;
    long a = strtol(value, &end, 10);
    if (end == value || a <= 0) return false;
    if (*end == '\0') {
        *out = {0, 0, a};
        return true;
    }
    if (*end != 'x') return false;
    const char *rest = end + 1;
    long s = strtol(rest, &end, 10);
    if (end == rest || *end != '\0' || s <= 0) return false;
    *out = {a, s, a * s};
    return true;
}

static void flood(LogFlood f) {
    // Three identical GLib warnings: the launcher log shows one and a count.
    for (int i = 0; i < 3; i++)
        g_warning("test warning");
    g_message("test log flood: %ld lines", f.lines);
    char line[64];
    auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < f.lines; i++) {
        if (f.per_second > 0 && i % (f.per_second / 10 + 1) == 0)
            std::this_thread::sleep_until(start +
                                          std::chrono::microseconds(i * 1000000 / f.per_second));
        snprintf(line, sizeof line, "test line %ld", i + 1);
        gui_log(line);
    }
}

void test_log_flood_start() {
    const char *value = getenv("ZYL_TEST_LOG");
    LogFlood f;
    if (!value || !test_log_flood_parse(value, &f)) return;
    gui_worker_start(
        "testlog", [f] { flood(f); },
        [] {
            char line[128];
            snprintf(line, sizeof line,
                     "test log done, longest heartbeat gap %ld ms, refresh gap %ld ms",
                     gui_heartbeat_longest_ms(), gui_refresh_longest_ms());
            gui_log(line);
        });
}
