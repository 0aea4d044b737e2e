// GLib log writer: debug messages are dropped, identical consecutive messages
// are counted instead of printed, and after 8 MiB of lines only repetition
// notices are still written, so a warning GTK repeats every frame cannot fill
// the disk. The folding state has a mutex of its own.
#include "gui/logwriter.h"

#include "base/strings.h"

#include <cstdio>
#include <cstring>
#include <mutex>

std::string logfold_feed(LogFold &f, const std::string &key, const std::string &line) {
    if (f.have_last && key == f.last_key) {
        f.repeats++;
        return "";
    }
    std::string out;
    if (f.repeats > 0) {
        char notice[160];
        snprintf(notice, sizeof notice, "  (предыдущее сообщение повторилось ещё %ld раз)\n",
                 f.repeats);
        out = notice;
    }
    f.repeats = 0;
    f.last_key = key;
    f.have_last = true;
    if (f.written < k_log_writer_cap) {
        out += line;
        out += '\n';
        f.written += line.size();
    }
    return out;
}

static const char *message_field(const GLogField *fields, gsize n) {
    for (gsize i = 0; i < n; i++)
        if (strcmp(fields[i].key, "MESSAGE") == 0 && fields[i].length < 0)
            return static_cast<const char *>(fields[i].value);
    return nullptr;
}

GLogWriterOutput gui_log_writer(GLogLevelFlags level, const GLogField *fields, gsize n_fields,
                                gpointer) {
    static std::mutex lock;
    static LogFold fold;
    if (level & G_LOG_LEVEL_DEBUG) return G_LOG_WRITER_HANDLED;
    char *formatted = g_log_writer_format_fields(level, fields, n_fields, FALSE);
    const char *raw = message_field(fields, n_fields);
    std::string text;
    {
        std::lock_guard<std::mutex> g(lock);
        text = logfold_feed(fold, raw ? raw : formatted, formatted);
    }
    g_free(formatted);
    if (!text.empty()) {
        text = str_display(text, true);
        fwrite(text.data(), 1, text.size(), stderr);
    }
    if (level & G_LOG_FLAG_FATAL) fflush(stderr);
    return G_LOG_WRITER_HANDLED;
}
