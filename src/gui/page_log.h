// The log page's pure pieces (the view itself is built through pages.h).
#pragma once

#include <string>

// The view keeps at most this many lines; a trim leaves the last k_log_keep.
constexpr int k_log_max_lines = 3000;
constexpr int k_log_keep_lines = 2500;
// How many lines to delete from the start of a view holding `lines` lines.
int logview_lines_to_drop(int lines);
// The last n lines of text (lines end with "\n"); the whole text when shorter.
std::string text_last_lines(const std::string &text, int n);
