// Version manifest, version documents, profile resolution and installed profiles.
#include "game/versions.h"

#include "base/fs.h"
#include "config/datadir.h"
#include "net/endpoints.h"
#include "net/fetch.h"
#include "net/service.h"

#include <cstring>

namespace {

const int k_max_inherit = 8;

std::string manifest_cache_path() {
    return format_alloc("%s/version_manifest_v2.json", datapaths().cache.c_str());
}

const cJSON *manifest_entry(const cJSON *manifest, const std::string &id) {
    const cJSON *v;
    cJSON_ArrayForEach(v, json_get(manifest, "versions")) {
        auto vid = json_str_opt(v, "id");
        if (vid && *vid == id) return v;
    }
    return nullptr;
}

// Replaces (or adds at the end) obj[key] with item.
void set_member(cJSON *obj, const char *key, cJSON *item) {
    cJSON_DeleteItemFromObjectCaseSensitive(obj, key);
    cJSON_AddItemToObject(obj, key, item);
}

void merge_libraries(cJSON *merged, const cJSON *child_libs) {
    cJSON *libs = cJSON_CreateArray();
    const cJSON *l;
    cJSON_ArrayForEach(l, child_libs) cJSON_AddItemToArray(libs, cJSON_Duplicate(l, 1));
    cJSON_ArrayForEach(l, json_get(merged, "libraries")) {
        cJSON_AddItemToArray(libs, cJSON_Duplicate(l, 1));
    }
    if (json_get(merged, "libraries"))
        cJSON_ReplaceItemInObjectCaseSensitive(merged, "libraries", libs);
    else
        cJSON_AddItemToObject(merged, "libraries", libs);
}

void merge_arguments(cJSON *merged, const cJSON *child_args) {
    cJSON *args = json_get(merged, "arguments");
    if (!cJSON_IsObject(args)) {
        args = cJSON_CreateObject();
        set_member(merged, "arguments", args);
    }
    const cJSON *list;
    cJSON_ArrayForEach(list, child_args) {
        if (!list->string) continue;
        cJSON *target = json_get(args, list->string);
        if (!cJSON_IsArray(target)) {
            target = cJSON_CreateArray();
            set_member(args, list->string, target);
        }
        const cJSON *a;
        cJSON_ArrayForEach(a, list) cJSON_AddItemToArray(target, cJSON_Duplicate(a, 1));
    }
}

} // namespace

bool version_doc_usable(const cJSON *doc) {
    return cJSON_IsObject(doc) && (cJSON_IsString(json_get(doc, "mainClass")) ||
                                   cJSON_IsString(json_get(doc, "inheritsFrom")));
}

bool version_id_valid(const std::string &id) {
    return !id.empty() && id != "." && id != ".." && id.find('/') == std::string::npos &&
           id.find('\\') == std::string::npos;
}

std::string version_json_path(const std::string &id) {
    return format_alloc("%s/%s/%s.json", datapaths().versions.c_str(), id.c_str(), id.c_str());
}

bool version_installed(const std::string &id) {
    if (!version_id_valid(id)) return false;
    JsonPtr doc = json_read_file(version_json_path(id));
    return version_doc_usable(doc.get());
}

int version_type_bit(const std::string &type) {
    if (type == "release") return VERSION_RELEASE;
    if (type == "snapshot") return VERSION_SNAPSHOT;
    return VERSION_OLD;
}

JsonPtr manifest_load(bool force, const Job *job, std::string *err) {
    std::string cache = manifest_cache_path();
    if (force || !fs_exists(cache)) {
        JsonPtr reply;
        if (service_minecraft_versions(reply, nullptr) == 0 &&
            cJSON_IsArray(json_get(reply.get(), "versions"))) {
            fs_write_atomic(cache, json_print_compact(reply.get()));
            return reply;
        }
    }
    return fetch_json_cached(endpoint("piston_meta") + "/mc/game/version_manifest_v2.json", &cache,
                             force, job, err);
}

void versions_list(int mask, StrList &out) {
    JsonPtr manifest = manifest_load(true);
    const cJSON *v;
    cJSON_ArrayForEach(v, json_get(manifest.get(), "versions")) {
        auto id = json_str_opt(v, "id");
        auto type = json_str_opt(v, "type");
        if (id && type && (version_type_bit(*type) & mask)) out.push_back(*id);
    }
}

JsonPtr version_load(const std::string &id, const Job *job, std::string *err) {
    if (!version_id_valid(id)) {
        job_fail(job, err, format_alloc("Версия %s не найдена", id.c_str()));
        return nullptr;
    }
    std::string local = version_json_path(id);
    // A file that parses but cannot be launched (no main class) is fetched again.
    if (JsonPtr doc = json_read_file(local); version_doc_usable(doc.get())) return doc;

    JsonPtr reply;
    if (service_minecraft_version(id, reply, nullptr) == 0 && version_doc_usable(reply.get())) {
        json_write_file(local, reply.get());
        return reply;
    }

    // A cached manifest may predate the version: refresh it once.
    JsonPtr manifest = manifest_load(false, job);
    const cJSON *entry = manifest_entry(manifest.get(), id);
    std::string why;
    if (!entry && !job_cancelled(job)) {
        manifest = manifest_load(true, job, &why);
        entry = manifest_entry(manifest.get(), id);
    }
    if (job_cancelled(job)) {
        if (err) *err = k_job_cancelled_text;
        return nullptr;
    }
    // Without any list the version may well exist: say what went wrong instead.
    if (!manifest) {
        job_fail(job, err,
                 format_alloc("Не удалось получить список версий Minecraft: %s — версия %s не "
                              "проверена",
                              why.empty() ? "нет ответа" : why.c_str(), id.c_str()));
        return nullptr;
    }
    if (!entry) {
        job_fail(job, err, format_alloc("Версия %s не найдена", id.c_str()));
        return nullptr;
    }
    auto url = json_str_opt(entry, "url");
    JsonPtr doc = url ? fetch_json_cached(*url, &local, true, job) : nullptr;
    if (doc && !version_doc_usable(doc.get())) {
        job_fail(job, err, format_alloc("Версия %s: документ без mainClass", id.c_str()));
        return nullptr;
    }
    if (!doc && err)
        *err = job_cancelled(job) ? k_job_cancelled_text
                                  : format_alloc("Версия %s: документ не скачан", id.c_str());
    return doc;
}

JsonPtr version_merge(const cJSON *child, const cJSON *parent) {
    JsonPtr merged(cJSON_Duplicate(parent, 1));
    cJSON_DeleteItemFromObjectCaseSensitive(merged.get(), "inheritsFrom");
    if (auto up = json_str_opt(parent, "inheritsFrom"))
        cJSON_AddStringToObject(merged.get(), "inheritsFrom", up->c_str());
    const cJSON *m;
    cJSON_ArrayForEach(m, child) {
        if (!m->string || strcmp(m->string, "inheritsFrom") == 0) continue;
        if (strcmp(m->string, "libraries") == 0)
            merge_libraries(merged.get(), m);
        else if (strcmp(m->string, "arguments") == 0)
            merge_arguments(merged.get(), m);
        else
            set_member(merged.get(), m->string, cJSON_Duplicate(m, 1));
    }
    return merged;
}

JsonPtr version_resolve(const std::string &id, std::string *root_id, const Job *job,
                        std::string *err) {
    JsonPtr doc = version_load(id, job, err);
    if (!doc) return nullptr;
    std::string root = id;
    for (int i = 0; i < k_max_inherit; i++) {
        auto parent_id = json_str_opt(doc.get(), "inheritsFrom");
        if (!parent_id) break;
        root = *parent_id;
        JsonPtr parent = version_load(*parent_id, job, err);
        if (!parent) return nullptr;
        doc = version_merge(doc.get(), parent.get());
    }
    if (!cJSON_IsString(json_get(doc.get(), "mainClass"))) {
        if (err) *err = format_alloc("Версия %s: документ без mainClass", id.c_str());
        return nullptr;
    }
    if (root_id) *root_id = root;
    return doc;
}

void versions_installed(StrList &out) {
    DirIter *it = dir_open(datapaths().versions);
    if (!it) return;
    while (const char *name = dir_next(it)) {
        if (name[0] == '.') continue;
        std::string n = name;
        if (fs_exists(version_json_path(n)) && !fs_is_dir(version_json_path(n))) out.push_back(n);
    }
    dir_close(it);
}

int version_save(const std::string &id, const cJSON *doc) {
    if (!version_id_valid(id) || !doc) return -1;
    return json_write_file(version_json_path(id), doc);
}
