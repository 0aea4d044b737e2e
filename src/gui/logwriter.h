// The GLib structured log writer of the interface: GLib and GTK messages go
// to standard error (the launcher log) only, with consecutive repeats folded
// and a cap on how much is written per process. Any thread.
#pragma once

#include <glib.h>
#include <string>

GLogWriterOutput gui_log_writer(GLogLevelFlags level, const GLogField *fields, gsize n_fields,
                                gpointer user_data);

// The folding state, separate from GLib so that it can be tested.
struct LogFold {
    std::string last_key;
    bool have_last = false;
    long repeats = 0;
    size_t written = 0; // bytes of formatted lines written so far
};
constexpr size_t k_log_writer_cap = 8u * 1024 * 1024;
// The text to write for one message (possibly empty): the repetition notice
// of the previous message when it repeated, then the line unless it is a
// repeat or the cap is reached.
std::string logfold_feed(LogFold &f, const std::string &key, const std::string &line);
