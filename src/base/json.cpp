// cJSON helpers.
#include "base/json.h"

#include "base/fs.h"

JsonPtr json_parse(const std::string &text) {
    return JsonPtr(cJSON_Parse(text.c_str()));
}

JsonPtr json_read_file(const std::string &path) {
    auto text = fs_read_all(path);
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

bool json_bool(const cJSON *obj, const char *key, bool fallback) {
    cJSON *v = json_get(obj, key);
    if (cJSON_IsTrue(v)) return true;
    if (cJSON_IsFalse(v)) return false;
    return fallback;
}
