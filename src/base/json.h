// cJSON held by RAII handles, plus the few accessors every module needs.
//
// Any thread; a tree belongs to one thread at a time.
#pragma once

#include "base/fs.h"

#include <cjson/cJSON.h>
#include <memory>
#include <optional>
#include <string>

struct JsonDeleter {
    void operator()(cJSON *j) const { cJSON_Delete(j); }
};
using JsonPtr = std::unique_ptr<cJSON, JsonDeleter>;

// Parses text; null when it is not JSON, or when it packs values so densely
// (more than one per 8 bytes) that its tree would dwarf the text.
JsonPtr json_parse(const std::string &text);
// Reads and parses a file (fs_read_all: a regular file of at most max_bytes);
// null when missing, not such a file, or not JSON.
JsonPtr json_read_file(const std::string &path, long long max_bytes = k_fs_read_max);
// Pretty-printed (cJSON_Print) text of a tree.
std::string json_print(const cJSON *j);
std::string json_print_compact(const cJSON *j);
// Writes the pretty-printed tree atomically; 0 or -1.
int json_write_file(const std::string &path, const cJSON *j);

// The member's string value, or fallback when absent or not a string.
std::string json_str(const cJSON *obj, const char *key, const std::string &fallback = "");
std::optional<std::string> json_str_opt(const cJSON *obj, const char *key);
// The member's number, or fallback when absent or not a number.
double json_num(const cJSON *obj, const char *key, double fallback = 0);
bool json_bool(const cJSON *obj, const char *key, bool fallback = false);
// The member's number as an integer: truncated, held to the int range (no
// undefined cast of a huge or odd value from outside), or fallback.
int json_int(const cJSON *obj, const char *key, int fallback = 0);
// The same for 64-bit counts, held to +-2^62.
long long json_llong(const cJSON *obj, const char *key, long long fallback = 0);
// An id that sources write as a string or as a number: the string itself, or
// the number (truncated) in decimal; "" for anything else.
std::string json_id_text(const cJSON *item);
// Member lookup that is case-sensitive (cJSON's default lookup is not).
cJSON *json_get(const cJSON *obj, const char *key);
