// Report pieces shared by the crash handlers and the hang watchdog: the
// interface's activity note and heartbeat, the report directory, a table of
// loaded modules, stack capture and the text of a stack report.
//
// Everything marked "signal-safe" may run inside a signal handler: it uses no
// malloc, no stdio and no lock, formats into fixed buffers and writes with
// write(2). The rest runs at start-up or on the watchdog thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// What the interface thread is doing, quoted by every report; always
// NUL-terminated, written by the interface thread only.
extern char ui_activity[160];
// Proof of life: the interface thread's 1000 ms timer adds 1; 0 until it runs.
extern std::atomic<uint32_t> ui_heartbeat;

// Copies text (cut to 159 bytes, at a UTF-8 character boundary) into ui_activity.
void diag_set_activity(const char *text);
// The length of the longest start of s, at most max bytes, that does not end
// inside a UTF-8 character (signal-safe).
size_t utf8_fit(const char *s, size_t max);

// The report directory ("logs" of the data folder), set once by diagnostics_init.
void diag_set_report_dir(const std::string &dir);
const char *diag_report_dir();
// Creates the empty crashed.flag in the report directory (signal-safe).
void diag_plant_crash_flag();
// "<report dir>/<name>" into out (signal-safe); false when it does not fit.
bool diag_report_path(char *out, size_t cap, const char *name);

// The interface thread, remembered by diagnostics_init.
void diag_set_gui_thread();
bool diag_on_gui_thread(); // signal-safe
long diag_thread_id();     // the kernel thread id; signal-safe

// A fixed text buffer that never allocates (signal-safe).
struct RepBuf {
    char data[4096];
    size_t len = 0;
    int fd = -1; // when set, a full buffer is written out instead of cut
};
void rep_str(RepBuf &b, const char *s);
void rep_dec(RepBuf &b, long long v);
void rep_hex(RepBuf &b, unsigned long long v, int min_digits = 1); // "0x" + digits
void rep_flush(RepBuf &b);
// "%Y-%m-%d %H:%M:%S" of the local time, from the UTC offset taken at start-up.
void rep_timestamp(RepBuf &b);
void diag_capture_utc_offset();
// "%Y-%m-%d %H:%M:%S" of t seconds since 1970 (already shifted to local time).
void rep_time(RepBuf &b, long long t);

// Loaded modules with their executable segments. Refreshed outside signal
// handlers (start-up and the watchdog); handlers read the last published copy.
void diag_modules_refresh();
// "  %s+0x%llx\n" with the module's file name and the offset from its base,
// or an empty name and the address itself outside every module (signal-safe).
void rep_code_location(RepBuf &b, uintptr_t addr);
// "modules:\n" and "  %p %s\n" per module, at most 512 (signal-safe).
void rep_modules(RepBuf &b);
// Whether addr lies in an executable segment of a loaded module (signal-safe).
bool diag_addr_is_code(uintptr_t addr);
// The file name of the module holding addr, or "" (signal-safe).
const char *diag_module_name(uintptr_t addr);

// A thread's stack as seen at one moment: the frames the unwinder followed and
// the raw 8-byte slots from the stack pointer upward.
struct StackCapture {
    uintptr_t frames[48];
    int nframes = 0;
    uintptr_t slots[32768];
    int nslots = 0;
};
// Captures the stack of the current thread as interrupted at the signal
// context ucontext (signal-safe; the unwinder was warmed up at start-up).
void stack_capture(void *ucontext, StackCapture &out);
// The instruction pointer of a signal context.
uintptr_t diag_context_ip(void *ucontext);
// "stack (unwind):\n" with up to 48 locations, then "stack (scan):\n" with up
// to 40 slots that point into code (signal-safe).
void rep_stack(RepBuf &b, const StackCapture &cap);
// Calls the unwinder once so that its first, allocating call happens here.
void diag_unwinder_warm_up();

// Graphics-driver module prefixes (case-insensitive match at the start of the file name).
bool diag_is_graphics_module(const char *file_name);
