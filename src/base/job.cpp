// Job records: cancel flag and the callbacks, falling back to UiHooks.
#include "base/job.h"

#include "base/ui.h"

#include <cstdarg>
#include <cstdio>

const char *const k_job_cancelled_text = "Операция отменена";

bool job_cancelled(const Job *job) {
    return job && job->cancel.load();
}

// One line for the job's message callback, or without one for the UiHooks:
// the note hook when note is set, else the message hook.
static void job_vtext(const Job *job, bool note, const char *fmt, va_list ap) {
    char buf[4096];
    vsnprintf(buf, sizeof buf, fmt, ap);
    if (job && job->message)
        job->message(job->user, buf);
    else if (note)
        ui_note("%s", buf);
    else
        ui_hooks.message(buf);
}

void job_message(const Job *job, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    job_vtext(job, false, fmt, ap);
    va_end(ap);
}

void job_progress(const Job *job, long done, long total, const char *label) {
    if (!label) label = "";
    if (job && job->progress)
        job->progress(job->user, done, total, label);
    else
        ui_hooks.progress(done, total, label);
}

void job_fail(const Job *job, std::string *err, const std::string &text, const std::string &cause) {
    job_message(job, "%s", text.c_str());
    if (err) *err = cause.empty() ? text : cause;
}

void job_bytes(const Job *job, long done, long total, const char *label) {
    if (job && job->progress) job->progress(job->user, done, total, label ? label : "");
}

void job_phase(const Job *job, const char *label) {
    if (job && job->progress)
        job->progress(job->user, 0, 0, label ? label : "");
    else
        ui_phase(label);
}

void job_note(const Job *job, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    job_vtext(job, true, fmt, ap);
    va_end(ap);
}

void job_batch_bytes(const Job *job, long long received, long long total) {
    if (!job || !job->progress) ui_bytes(received, total);
}
