// The job record of one long operation (an install, a Java download, a
// modpack import, a download batch), in the manner of curl's progress
// callback: where its progress and messages go, their user pointer, and a
// flag that cancels it. Core operations take it as an explicit argument;
// none (a null pointer) means the process-wide UiHooks and no cancelling,
// which is what the command line uses.
//
// Threads: the caller owns the record and keeps it alive until the operation
// returns. cancel may be set from any thread at any time. The callbacks are
// called from the operation's thread and from its download workers, never
// with a lock held that the workers need; the texts they receive are valid
// only during the call.
#pragma once

#include <atomic>
#include <string>

struct Job {
    std::atomic<bool> cancel{false};
    // total <= 0 marks an indeterminate phase. Null: the UiHooks progress hook.
    void (*progress)(void *user, long done, long total, const char *label) = nullptr;
    // One line of text without the newline. Null: the UiHooks message hook.
    void (*message)(void *user, const char *text) = nullptr;
    void *user = nullptr;
};

// The reason an operation gives when it stopped because it was cancelled.
extern const char *const k_job_cancelled_text;

bool job_cancelled(const Job *job);
// Formats like ui_message and hands the text to the job's message callback.
void job_message(const Job *job, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
void job_progress(const Job *job, long done, long total, const char *label);
// A failure of an operation: text goes through the job's message callback as
// it always did, and err (optional) receives the reason for the caller:
// cause when a lower step gave one, otherwise text itself.
void job_fail(const Job *job, std::string *err, const std::string &text,
              const std::string &cause = "");
// The bytes of a single download so far: only a job with its own progress
// callback gets them (the console keeps its per-file lines).
void job_bytes(const Job *job, long done, long total, const char *label);
// For a live display: an uncounted step begins, a retried or silent file is
// named on its own line, a batch's bytes change. Without a job of its own
// these go to the UiHooks' phase, note and bytes hooks; a job hears the
// phase as an indeterminate progress and the note as a message, and not the
// batch's bytes (its progress counts files).
void job_phase(const Job *job, const char *label);
void job_note(const Job *job, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
void job_batch_bytes(const Job *job, long long received, long long total);
