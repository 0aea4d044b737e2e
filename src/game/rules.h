// Rules and argument templates of version documents: which entries apply to
// this platform, and the ${name} placeholders filled in from a table.
//
// Pure functions: any thread.
#pragma once

#include "base/json.h"
#include "base/strings.h"
#include "game/platform.h"

#include <string>
#include <utility>
#include <vector>

// Ordered (name, value) pairs; the first pair with a name wins.
using PlaceholderTable = std::vector<std::pair<std::string, std::string>>;

// 1 when the rule list allows the entry on platform p, 0 when not. The last
// matching rule decides; no matching rule disallows. The only feature present
// is "has_custom_resolution".
int rules_allow(const cJSON *rules, const Platform &p = platform_host());
// True when an entry with this (possibly missing) "rules" member applies: an
// absent or empty list allows.
bool rules_entry_allowed(const cJSON *entry, const Platform &p = platform_host());

// Replaces each ${name} found in the table; anything else stays as written.
std::string placeholders_expand(const std::string &tmpl, const PlaceholderTable &table);
// Appends the applicable, expanded arguments of an "arguments" array in order.
void arguments_expand(const cJSON *args, const PlaceholderTable &table, StrList &out,
                      const Platform &p = platform_host());
