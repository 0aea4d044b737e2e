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
    // For a live display only (a terminal); the defaults do nothing, so logs
    // and the interface stay as they are. Any of them may be null.
    // An uncounted step begins (fetching a document): a spinner may show it.
    void (*phase)(const char *label);
    // Bytes of the current batch: received so far, and the known total still
    // to fetch (files found in place drop out of it).
    void (*bytes)(long long received, long long total);
    // One file retried or waiting long for an answer, named on its own line.
    void (*note)(const char *text);
};

extern UiHooks ui_hooks;

// Formats into a 4096-byte buffer (longer text is cut) and passes it to the message hook.
void ui_message(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void ui_progress(long done, long total, const char *label);
// The live-display hooks; nothing when the front end has none.
void ui_phase(const char *label);
void ui_bytes(long long received, long long total);
void ui_note(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Standard output and standard error for people. The formatted text goes
// through str_display (its lines kept), so nothing a server, a pack or the
// game sent steers the terminal; every console print goes through these.
void console_out(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void console_err(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// Bytes of a stream (the game's output) for standard output, shown the same
// way. A character cut off at the end of a piece waits in carry for the next
// one; flush with an empty piece and at_end at the end of the stream.
std::string console_stream_text(std::string &carry, const char *data, size_t n, bool at_end);

// Console progress printer on standard error: a rewritten line on a terminal
// (base/term_progress), one line per 10 % step otherwise.
void console_progress(long done, long total, const char *label);
// Installs the console hooks: console_progress, and on a terminal the live
// line's message, phase, bytes and note hooks.
void console_hooks_install();
// Ends the terminal's progress line before other output; nothing otherwise.
void console_progress_end();
// Tests: forget the terminal answer and the last decile; force terminal mode or not.
void console_progress_reset(int is_terminal);
