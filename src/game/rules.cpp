// Rule evaluation and placeholder expansion for version documents.
#include "game/rules.h"

#include <cstring>

namespace {

bool feature_holds(const cJSON *f) {
    bool want = cJSON_IsTrue(f);
    // The launcher offers custom resolution and nothing else (no demo mode,
    // no quick play).
    bool have = f->string && strcmp(f->string, "has_custom_resolution") == 0;
    return want == have;
}

bool rule_matches(const cJSON *rule, const Platform &p) {
    const cJSON *os = json_get(rule, "os");
    if (os) {
        auto name = json_str_opt(os, "name");
        if (name && *name != p.os_name) return false;
        auto arch = json_str_opt(os, "arch");
        if (arch && !platform_arch_matches(*arch)) return false;
    }
    const cJSON *features = json_get(rule, "features");
    if (cJSON_IsObject(features)) {
        const cJSON *f;
        cJSON_ArrayForEach(f, features) {
            if (!feature_holds(f)) return false;
        }
    }
    return true;
}

} // namespace

int rules_allow(const cJSON *rules, const Platform &p) {
    int result = 0;
    const cJSON *rule;
    cJSON_ArrayForEach(rule, rules) {
        if (!cJSON_IsObject(rule) || !rule_matches(rule, p)) continue;
        auto action = json_str_opt(rule, "action");
        result = !json_get(rule, "action") || (action && *action == "allow") ? 1 : 0;
    }
    return result;
}

bool rules_entry_allowed(const cJSON *entry, const Platform &p) {
    const cJSON *rules = json_get(entry, "rules");
    if (!cJSON_IsArray(rules) || cJSON_GetArraySize(rules) == 0) return true;
    return rules_allow(rules, p) == 1;
}

std::string placeholders_expand(const std::string &tmpl, const PlaceholderTable &table) {
    std::string out;
    out.reserve(tmpl.size());
    size_t i = 0;
    while (i < tmpl.size()) {
        if (tmpl.compare(i, 2, "${") == 0) {
            size_t close = tmpl.find('}', i + 2);
            if (close != std::string::npos) {
                std::string name = tmpl.substr(i + 2, close - i - 2);
                const std::string *value = nullptr;
                for (const auto &[n, v] : table) {
                    if (n == name) {
                        value = &v;
                        break;
                    }
                }
                if (value) {
                    out += *value;
                    i = close + 1;
                    continue;
                }
            }
        }
        out += tmpl[i++];
    }
    return out;
}

void arguments_expand(const cJSON *args, const PlaceholderTable &table, StrList &out,
                      const Platform &p) {
    const cJSON *a;
    cJSON_ArrayForEach(a, args) {
        if (cJSON_IsString(a)) {
            out.push_back(placeholders_expand(a->valuestring, table));
            continue;
        }
        if (!cJSON_IsObject(a) || !rules_entry_allowed(a, p)) continue;
        const cJSON *value = json_get(a, "value");
        if (cJSON_IsString(value)) {
            out.push_back(placeholders_expand(value->valuestring, table));
        } else if (cJSON_IsArray(value)) {
            const cJSON *v;
            cJSON_ArrayForEach(v, value) {
                if (cJSON_IsString(v)) out.push_back(placeholders_expand(v->valuestring, table));
            }
        }
    }
}
