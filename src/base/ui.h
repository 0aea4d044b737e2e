// UiHooks: the two process-wide callbacks through which core code reports
// progress and messages to whichever front end runs (console or interface).
// A long operation given a job record (base/job.h) reports through the job
// instead; without one it comes here.
//
// Threads: set once by the front end before core work starts; the hooks are
// then called from any thread and must be safe for that. The texts they
// receive are valid only during the call. console_progress may be called
// from any thread.
#pragma once

#include <string>

struct UiHooks {
    // total <= 0 marks an indeterminate phase.
    void (*progress)(long done, long total, const char *label);
    // One line of text, without the newline.
    void (*message)(const char *text);
};

extern UiHooks ui_hooks;

// Formats into a 4096-byte buffer (longer text is cut) and passes it to the message hook.
void ui_message(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void ui_progress(long done, long total, const char *label);

// Console progress printer on standard error: a rewritten line on a terminal,
// one line per 10 % step otherwise.
void console_progress(long done, long total, const char *label);
// Tests: forget the terminal answer and the last decile; force terminal mode or not.
void console_progress_reset(int is_terminal);
