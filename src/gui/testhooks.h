// Test-only behaviour switched on by environment variables, for the
// interface tests and benchmarks. Interface thread.
#pragma once

// ZYL_TEST_FAULT: 4 s from now, "hang" blocks the interface thread for 12 s
// and "crash" writes to an invalid address; other values do nothing.
void test_fault_schedule();
// ZYL_TEST_LOG: "N" logs N numbered lines at once from a worker; "RxS" logs
// R lines a second for S seconds, after three identical GLib warnings. Either
// ends with one line that gives the longest gaps between heartbeats and
// between refreshes. Unset: nothing.
void test_log_flood_start();

struct LogFlood {
    long per_second = 0; // 0: everything at once
    long seconds = 0;
    long lines = 0; // total
};
// Parses a ZYL_TEST_LOG value; false when it is malformed.
bool test_log_flood_parse(const char *value, LogFlood *out);
