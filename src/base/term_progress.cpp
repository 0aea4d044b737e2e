// The terminal progress line: its state, speed estimate and drawing.
#include "base/term_progress.h"

#include "base/amounts.h"
#include "base/strings.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <mutex>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Sample {
    Clock::time_point at;
    long long bytes;
};

struct Line {
    std::mutex lock;
    std::string label;
    long done = 0;
    long total = 0;
    bool counted = false;
    bool shown = false; // drawn, without its newline yet
    Clock::time_point started = Clock::now();
    long long received = 0;
    long long bytes_total = 0;
    std::deque<Sample> samples; // the last few seconds, for the speed
    unsigned tick = 0;
    bool ticker = false;
};

Line g_line;

// Speed over this window: long enough to be steady, short enough to follow changes.
constexpr double k_speed_window_s = 5.0;

double seconds_since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

int terminal_columns() {
    winsize ws{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
    return 80;
}

void sample_locked(Line &l) {
    Clock::time_point now = Clock::now();
    l.samples.push_back({now, l.received});
    while (l.samples.size() > 2 &&
           std::chrono::duration<double>(now - l.samples.front().at).count() > k_speed_window_s)
        l.samples.pop_front();
}

// Bytes per second, or 0 until there is enough to tell.
double speed_locked(const Line &l) {
    if (l.samples.size() < 2) return 0;
    double dt = std::chrono::duration<double>(l.samples.back().at - l.samples.front().at).count();
    if (dt < 0.5) return 0;
    return static_cast<double>(l.samples.back().bytes - l.samples.front().bytes) / dt;
}

std::string text_locked(const Line &l) {
    if (!l.counted) {
        static const char *const spin[] = {"⠋", "⠙", "⠹", "⠸", "⠼", "⠴", "⠦", "⠧", "⠇", "⠏"};
        return format_alloc("[%s] ... %s %s", str_display(l.label).c_str(), spin[l.tick % 10],
                            amount_duration(seconds_since(l.started)).c_str());
    }
    return term_progress_counted_text(l.label, l.done, l.total, l.received, l.bytes_total,
                                      speed_locked(l));
}

void draw_locked(Line &l) {
    std::string t = str_cut_display(text_locked(l), terminal_columns() - 1);
    fprintf(stderr, "\r%s\033[K", t.c_str());
    fflush(stderr);
    l.shown = true;
}

void wipe_locked(Line &l) {
    if (!l.shown) return;
    fputs("\r\033[K", stderr);
    fflush(stderr);
    l.shown = false;
}

// Ends the line on screen: kept with its newline, or wiped when it said
// nothing worth keeping (a spinner under a second, a step that fetched nothing).
void finish_locked(Line &l) {
    if (!l.shown) return;
    bool keep = l.counted ? l.received > 0 : seconds_since(l.started) >= 1.0;
    if (!keep) {
        wipe_locked(l);
        return;
    }
    if (!l.counted) {
        // The spinner's last frame says how long the step took, without the spinner.
        std::string t = format_alloc("[%s] ... %s", str_display(l.label).c_str(),
                                     amount_duration(seconds_since(l.started)).c_str());
        fprintf(stderr, "\r%s\033[K", str_cut_display(t, terminal_columns() - 1).c_str());
    }
    fputc('\n', stderr);
    fflush(stderr);
    l.shown = false;
}

void ticker() {
    while (true) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        std::lock_guard<std::mutex> lk(g_line.lock);
        if (!g_line.shown) continue;
        sample_locked(g_line);
        g_line.tick++;
        draw_locked(g_line);
    }
}

void start_ticker_locked(Line &l) {
    if (l.ticker) return;
    l.ticker = true;
    try {
        std::thread(ticker).detach();
    } catch (const std::system_error &) {
        // Without the ticker the line still moves with every report.
    }
}

void begin_locked(Line &l, const char *label, bool counted) {
    finish_locked(l);
    l.label = label;
    l.counted = counted;
    l.started = Clock::now();
    l.done = l.total = 0;
    l.received = l.bytes_total = 0;
    l.samples.clear();
    start_ticker_locked(l);
}

} // namespace

std::string term_progress_counted_text(const std::string &label, long done, long total,
                                       long long received, long long bytes_total, double speed) {
    std::string t = format_alloc("[%s] %ld/%ld", str_display(label).c_str(), done, total);
    if (bytes_total > 0)
        t += " · " + amount_bytes_of(std::min(received, bytes_total), bytes_total);
    else if (received > 0)
        t += " · " + amount_bytes(received);
    if (speed > 0 && done < total) {
        t += " · " + amount_bytes(static_cast<long long>(speed)) + "/с";
        if (bytes_total > received)
            t += " · " + amount_time_left(static_cast<double>(bytes_total - received) / speed);
    }
    return t;
}

void term_progress_count(long done, long total, const char *label) {
    std::lock_guard<std::mutex> lk(g_line.lock);
    Line &l = g_line;
    if (!l.counted || l.label != label || done < l.done || (!l.shown && done == 0))
        begin_locked(l, label, true);
    l.done = done;
    l.total = total;
    draw_locked(l);
    if (done >= total) finish_locked(l);
}

void term_progress_phase(const char *label) {
    std::lock_guard<std::mutex> lk(g_line.lock);
    begin_locked(g_line, label, false);
    draw_locked(g_line);
}

void term_progress_bytes(long long received, long long total) {
    std::lock_guard<std::mutex> lk(g_line.lock);
    g_line.received = received;
    g_line.bytes_total = total;
}

void term_progress_message(const char *text) {
    std::lock_guard<std::mutex> lk(g_line.lock);
    bool was_shown = g_line.shown;
    wipe_locked(g_line);
    fprintf(stderr, "%s\n", str_display(text, true).c_str());
    if (was_shown)
        draw_locked(g_line);
    else
        fflush(stderr);
}

void term_progress_end() {
    std::lock_guard<std::mutex> lk(g_line.lock);
    finish_locked(g_line);
}

std::string term_progress_text() {
    std::lock_guard<std::mutex> lk(g_line.lock);
    return text_locked(g_line);
}
