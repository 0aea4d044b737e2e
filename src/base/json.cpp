// cJSON helpers.
#include "base/json.h"

#include "base/fs.h"

#include <cmath>
#include <cstdio>

// Every parsed value costs cJSON about 80 bytes, so a text of empty arrays
// ("[],[],...") would cost some thirty times its size. Real documents hold one
// value per 16 bytes or more; more than one per 8 bytes (beyond a margin for
// small texts) is refused before parsing.
static bool json_values_bounded(const std::string &text) {
    size_t values = 1;
    bool in_string = false, escaped = false;
    for (char c : text) {
        if (in_string) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                in_string = false;
        } else if (c == '"') {
            in_string = true;
        } else if (c == ',' || c == '[' || c == '{') {
            values++;
        }
    }
    return values <= text.size() / 8 + 4096;
}

JsonPtr json_parse(const std::string &text) {
    if (!json_values_bounded(text)) return nullptr;
    return JsonPtr(cJSON_Parse(text.c_str()));
}

JsonPtr json_read_file(const std::string &path, long long max_bytes) {
    auto text = fs_read_all(path, max_bytes);
    if (!text) return nullptr;
    return json_parse(*text);
}

std::string json_print(const cJSON *j) {
    char *s = cJSON_Print(j);
    std::string out = s ? s : "";
    cJSON_free(s);
    return out;
}

std::string json_print_compact(const cJSON *j) {
    char *s = cJSON_PrintUnformatted(j);
    std::string out = s ? s : "";
    cJSON_free(s);
    return out;
}

int json_write_file(const std::string &path, const cJSON *j) {
    char *s = cJSON_Print(j);
    if (!s) return -1;
    std::string text(s);
    cJSON_free(s);
    return fs_write_atomic(path, text);
}

cJSON *json_get(const cJSON *obj, const char *key) {
    if (!obj) return nullptr;
    return cJSON_GetObjectItemCaseSensitive(obj, key);
}

std::string json_str(const cJSON *obj, const char *key, const std::string &fallback) {
    cJSON *v = json_get(obj, key);
    return cJSON_IsString(v) && v->valuestring ? std::string(v->valuestring) : fallback;
}

std::optional<std::string> json_str_opt(const cJSON *obj, const char *key) {
    cJSON *v = json_get(obj, key);
    if (cJSON_IsString(v) && v->valuestring) return std::string(v->valuestring);
    return std::nullopt;
}

double json_num(const cJSON *obj, const char *key, double fallback) {
    cJSON *v = json_get(obj, key);
    return cJSON_IsNumber(v) ? v->valuedouble : fallback;
}

int json_int(const cJSON *obj, const char *key, int fallback) {
    cJSON *v = json_get(obj, key);
    // cJSON stores the number held to the int range in valueint.
    return cJSON_IsNumber(v) ? v->valueint : fallback;
}

long long json_llong(const cJSON *obj, const char *key, long long fallback) {
    cJSON *v = json_get(obj, key);
    if (!cJSON_IsNumber(v) || v->valuedouble != v->valuedouble) return fallback;
    const double limit = 4611686018427387904.0; // 2^62
    double d = v->valuedouble;
    if (d >= limit) return static_cast<long long>(limit);
    if (d <= -limit) return -static_cast<long long>(limit);
    return static_cast<long long>(d);
}

bool json_bool(const cJSON *obj, const char *key, bool fallback) {
    cJSON *v = json_get(obj, key);
    if (cJSON_IsTrue(v)) return true;
    if (cJSON_IsFalse(v)) return false;
    return fallback;
}

std::string json_id_text(const cJSON *item) {
    if (cJSON_IsString(item)) return item->valuestring;
    if (!cJSON_IsNumber(item)) return "";
    char buf[64];
    snprintf(buf, sizeof buf, "%.0f", std::trunc(item->valuedouble));
    return buf;
}
