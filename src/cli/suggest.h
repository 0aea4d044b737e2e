// The closest known word to a mistyped one ("instal" -> "install"), for the
// hint after an unknown command. Pure functions; any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

// Edits (insert, delete, replace, swap of neighbours) between two texts, by code point.
int suggest_distance(const std::string &a, const std::string &b);
// The candidate closest to word, when it is close enough to be a likely typo:
// one edit for words up to 4 characters, two for longer ones. Ties go to the
// earlier candidate.
std::optional<std::string> suggest_closest(const std::string &word,
                                           const std::vector<std::string> &candidates);
