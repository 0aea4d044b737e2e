// Shared vocabulary of the core: formatted strings, string lists, small text
// helpers and the natural version order used for loader version lists.
//
// Pure functions: any thread.
#pragma once

#include <string>
#include <vector>

// An owned, ordered list of UTF-8 strings.
using StrList = std::vector<std::string>;

// printf-style formatting into a new string; every path and URL is built with it.
std::string format_alloc(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Descending natural order: -1 when a sorts before b (a is newer), 1 after, 0 equal.
// 1.20.10 before 1.20.9; a longer string before its prefix (1.20.1 before 1.20).
int version_compare_desc(const std::string &a, const std::string &b);
// Sorts a list newest first with version_compare_desc.
void versions_sort_desc(StrList &list);

// Small text helpers used across modules.
std::string str_backslash_to_slash(std::string s);
bool str_starts_with(const std::string &s, const std::string &prefix);
bool str_ends_with(const std::string &s, const std::string &suffix);
bool str_starts_with_ci(const std::string &s, const std::string &prefix);
bool str_equal_ci(const std::string &a, const std::string &b);
std::string str_lower(std::string s);
std::string str_trim(const std::string &s);
StrList str_split(const std::string &s, char sep);
// True when s is well-formed UTF-8 (no overlong forms, surrogates or values
// above U+10FFFF).
bool str_utf8_valid(const std::string &s);
// The code points of s; a malformed byte becomes U+FFFD.
std::u32string str_code_points(const std::string &s);
// Text from a server, a file or a game made safe to show on a terminal or in
// a label: C0 controls (tab aside, newline too when multiline) and DEL become
// their visible pictures (ESC as "␛", CR as "␍"), C1 controls and the
// bidirectional override and isolate characters become U+FFFD, and so does
// every malformed UTF-8 byte. Nothing else changes; stored data keeps the
// original, only what is shown goes through here.
std::string str_display(const std::string &s, bool multiline = false);
// True when s is well-formed UTF-8 and holds no character str_display would
// replace (no tab or newline either): a name fit for a file or a screen.
bool str_printable(const std::string &s);
// Terminal columns s takes: one per code point, two for East Asian wide
// characters, none for combining marks.
int str_display_width(const std::string &s);
// s followed by spaces up to width columns (unchanged when already as wide).
std::string str_pad_display(const std::string &s, int width);
// The longest start of s that fits in width columns, never splitting a character.
std::string str_cut_display(const std::string &s, int width);
