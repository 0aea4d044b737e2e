// The live progress line on a terminal: "[label] done/total · 41,2 из 326 МБ
// · 2,1 МБ/с · ~2 мин", a spinner with the elapsed time for steps without a
// counter, and messages printed above the line (cleared first, redrawn after).
// Used by the console hooks only when standard error is a terminal.
//
// Any thread may call these; one lock guards the line, and nothing else is
// locked while it is held. A ticker thread redraws the line four times a
// second, so the speed and the spinner move while nothing else happens.
#pragma once

#include <string>

// A counted step; a new label (or a restart from 0) begins a new line. At
// done == total the line is kept, or wiped when nothing was downloaded.
void term_progress_count(long done, long total, const char *label);
// An uncounted step: a spinner line with the elapsed time.
void term_progress_phase(const char *label);
// Bytes received in the current step and the known total still to fetch.
void term_progress_bytes(long long received, long long total);
// A line of text above the progress line.
void term_progress_message(const char *text);
// Ends the line before other output (results on standard output, process end).
void term_progress_end();
// The text the line shows now, without control characters (tests).
std::string term_progress_text();
// The counted line for these figures: received of the known bytes_total
// (received alone when no total is known), the speed in bytes per second
// (0 while there is too little to tell) and the time the rest takes.
std::string term_progress_counted_text(const std::string &label, long done, long total,
                                       long long received, long long bytes_total, double speed);
