// zyl-content.json: load with legacy migration, put, installed test,
// listing, removal and the world list. Every read-modify-write of one
// instance's inventory holds an advisory lock on the file (flock on
// "zyl-content.json.lock"), so installs and removals running at once, on two
// threads or in two processes, never lose a record.
#include "instances/content.h"

#include "base/fs.h"
#include "base/ui.h"

namespace {

std::string inventory_path(const Instance &inst) {
    return instance_dir(inst) + "/zyl-content.json";
}

FileLock inventory_lock(const Instance &inst) {
    return fs_lock(inventory_path(inst));
}

// An inventory beyond this is not read (and is rewritten by the next change).
constexpr long long k_inventory_max_bytes = 16LL << 20;

// A record names a file by one plain name: the inventory is data from disk,
// and a name that climbs ("../instance.json") would make every lookup by it
// reach outside the instance's folders.
bool record_usable(const cJSON *rec) {
    return cJSON_IsObject(rec) && fs_filename_safe(json_str(rec, "filename"));
}

// Drops the records that are not usable.
JsonPtr usable_records(JsonPtr arr) {
    for (int i = cJSON_GetArraySize(arr.get()) - 1; i >= 0; i--)
        if (!record_usable(cJSON_GetArrayItem(arr.get(), i)))
            cJSON_DeleteItemFromArray(arr.get(), i);
    return arr;
}

int record_type(const cJSON *rec) {
    return json_int(rec, "type", 0);
}

cJSON *record_new(const ContentRecord &r) {
    cJSON *o = cJSON_CreateObject();
    cJSON_AddStringToObject(o, "source", r.source.c_str());
    cJSON_AddStringToObject(o, "project", r.project.c_str());
    cJSON_AddStringToObject(o, "file", r.file.c_str());
    cJSON_AddStringToObject(o, "filename", r.filename.c_str());
    cJSON_AddStringToObject(o, "sha1", r.sha1.c_str());
    cJSON_AddStringToObject(o, "title", r.title.empty() ? r.filename.c_str() : r.title.c_str());
    cJSON_AddNumberToObject(o, "type", static_cast<int>(r.type));
    return o;
}

void inventory_write(const Instance &inst, const cJSON *arr) {
    json_write_file(inventory_path(inst), arr);
}

JsonPtr migrate_legacy(const Instance &inst) {
    JsonPtr old = json_read_file(instance_dir(inst) + "/content.json", k_inventory_max_bytes);
    if (!old || !cJSON_IsArray(old.get())) return JsonPtr(cJSON_CreateArray());
    JsonPtr arr(cJSON_CreateArray());
    cJSON *e;
    cJSON_ArrayForEach(e, old.get()) {
        ContentRecord r;
        r.source = json_str(e, "source");
        r.project = json_str(e, "project");
        r.filename = json_str(e, "file");
        r.title = json_str(e, "title");
        r.type = static_cast<ContentType>(record_type(e));
        cJSON *rec = record_new(r);
        // The legacy title stays as it was, even when empty.
        cJSON_ReplaceItemInObjectCaseSensitive(rec, "title", cJSON_CreateString(r.title.c_str()));
        cJSON_AddItemToArray(arr.get(), rec);
    }
    arr = usable_records(std::move(arr));
    inventory_write(inst, arr.get());
    return arr;
}

JsonPtr load_unlocked(const Instance &inst) {
    auto text = fs_read_all(inventory_path(inst), k_inventory_max_bytes);
    if (text) {
        JsonPtr j = json_parse(*text);
        if (j && cJSON_IsArray(j.get())) return usable_records(std::move(j));
        if (j) return JsonPtr(cJSON_CreateArray());
    }
    return migrate_legacy(inst);
}

bool matches(const cJSON *rec, const std::string &source, const std::string &project) {
    auto p = json_str_opt(rec, "project");
    auto s = json_str_opt(rec, "source");
    return p && s && *p == project && *s == source;
}

} // namespace

const char *content_folder_name(ContentType type) {
    if (type == ContentType::ResourcePack) return "resourcepacks";
    if (type == ContentType::Shader) return "shaderpacks";
    return "mods";
}

JsonPtr content_load(const Instance &inst) {
    FileLock lock = inventory_lock(inst);
    return load_unlocked(inst);
}

static void put_unlocked(cJSON *arr, const ContentRecord &rec) {
    int i = 0;
    cJSON *e;
    cJSON_ArrayForEach(e, arr) {
        if (matches(e, rec.source, rec.project)) {
            cJSON_DeleteItemFromArray(arr, i);
            break;
        }
        i++;
    }
    cJSON_AddItemToArray(arr, record_new(rec));
}

void content_put(const Instance &inst, const ContentRecord &rec) {
    content_put_all(inst, {rec});
}

void content_put_all(const Instance &inst, const std::vector<ContentRecord> &recs) {
    FileLock lock = inventory_lock(inst);
    JsonPtr arr = load_unlocked(inst);
    for (const ContentRecord &rec : recs)
        put_unlocked(arr.get(), rec);
    inventory_write(inst, arr.get());
}

bool content_is_installed(const Instance &inst, const std::string &source,
                          const std::string &project) {
    JsonPtr arr = content_load(inst);
    cJSON *e;
    cJSON_ArrayForEach(e, arr.get()) {
        if (!matches(e, source, project)) continue;
        int type = record_type(e);
        if (type == 3 || type == 4) return true;
        std::string path = instance_dir(inst) + "/" +
                           content_folder_name(static_cast<ContentType>(type)) + "/" +
                           json_str(e, "filename");
        if (fs_exists(path)) return true;
    }
    return false;
}

static bool listed_name(const std::string &n) {
    if (n.empty() || n[0] == '.') return false;
    if (n.size() > 4 && (str_ends_with(n, ".jar") || str_ends_with(n, ".zip"))) return true;
    return n.size() > 9 && str_ends_with(n, ".disabled");
}

std::vector<ContentFile> content_list_files(const Instance &inst) {
    JsonPtr arr = content_load(inst);
    std::vector<ContentFile> out;
    for (int t = 0; t <= 2; t++) {
        ContentType type = static_cast<ContentType>(t);
        std::string dir = instance_dir(inst) + "/" + content_folder_name(type);
        auto names = dir_list(dir);
        if (!names) continue;
        for (const std::string &n : *names) {
            if (!listed_name(n) || fs_is_dir(dir + "/" + n)) continue;
            ContentFile f{n, n, "", "local", type};
            cJSON *e;
            cJSON_ArrayForEach(e, arr.get()) {
                if (json_str(e, "filename") == n && record_type(e) == t) {
                    f.title = json_str(e, "title");
                    f.project = json_str(e, "project");
                    f.source = json_str(e, "source");
                    break;
                }
            }
            out.push_back(f);
        }
    }
    return out;
}

std::optional<ContentRecord> content_find_file(const Instance &inst, const std::string &filename) {
    JsonPtr arr = content_load(inst);
    cJSON *e;
    cJSON_ArrayForEach(e, arr.get()) {
        if (json_str(e, "filename") != filename) continue;
        ContentRecord r;
        r.source = json_str(e, "source");
        r.project = json_str(e, "project");
        r.file = json_str(e, "file");
        r.filename = filename;
        r.sha1 = json_str(e, "sha1");
        r.title = json_str(e, "title");
        r.type = static_cast<ContentType>(record_type(e));
        return r;
    }
    return std::nullopt;
}

// Drops the first record of that file name and writes the inventory.
static void forget_unlocked(const Instance &inst, const std::string &filename) {
    JsonPtr arr = load_unlocked(inst);
    int i = 0;
    cJSON *e;
    cJSON_ArrayForEach(e, arr.get()) {
        if (json_str(e, "filename") == filename) {
            cJSON_DeleteItemFromArray(arr.get(), i);
            break;
        }
        i++;
    }
    inventory_write(inst, arr.get());
}

// The folders whose files the catalogue commands name by file name alone.
static const char *const k_file_folders[] = {"mods", "resourcepacks", "shaderpacks"};

bool content_file_exists(const Instance &inst, const std::string &name) {
    if (!fs_filename_safe(name)) return false;
    for (const char *folder : k_file_folders)
        if (fs_exists(instance_dir(inst) + "/" + folder + "/" + name)) return true;
    return false;
}

int content_remove_file(const Instance &inst, const std::string &name) {
    if (!fs_filename_safe(name)) return -1;
    FileLock lock = inventory_lock(inst);
    int rc = -1;
    for (const char *folder : k_file_folders) {
        rc = fs_delete(instance_dir(inst) + "/" + folder + "/" + name);
        if (rc == 0) break;
    }
    forget_unlocked(inst, name);
    if (rc == 0) ui_message("Удалено: %s", name.c_str());
    return rc;
}

void content_forget(const Instance &inst, const std::string &filename) {
    FileLock lock = inventory_lock(inst);
    forget_unlocked(inst, filename);
}

StrList world_list(const Instance &inst) {
    StrList out;
    std::string saves = instance_dir(inst) + "/saves";
    auto names = dir_list(saves);
    if (!names) return out;
    for (const std::string &n : *names) {
        if (!n.empty() && n[0] != '.' && fs_exists(saves + "/" + n + "/level.dat"))
            out.push_back(n);
    }
    return out;
}
