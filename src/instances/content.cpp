// zyl-content.json: load with legacy migration, put, installed test,
// listing, removal, switching files off and on, dependents and the world
// list. Every read-modify-write of one instance's inventory holds an
// advisory lock on the file (flock on "zyl-content.json.lock"), so installs
// and removals running at once, on two threads or in two processes, never
// lose a record.
#include "instances/content.h"

#include "base/fs.h"
#include "base/ui.h"

#include <algorithm>
#include <cerrno>

const char *const k_disabled_suffix = ".disabled";

namespace {

ContentFile unrecorded(const std::string &name, ContentType type) {
    ContentFile f;
    f.filename = f.title = name;
    f.source = "local";
    f.type = type;
    return f;
}

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
    cJSON_AddStringToObject(o, "version", r.version.c_str());
    cJSON_AddStringToObject(o, "channel", content_channel_word(r.channel));
    cJSON_AddStringToObject(o, "world", r.world.c_str());
    cJSON *req = cJSON_AddArrayToObject(o, "requires");
    for (const std::string &key : r.required)
        cJSON_AddItemToArray(req, cJSON_CreateString(key.c_str()));
    cJSON_AddBoolToObject(o, "disabled", r.disabled);
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

// The name without ".disabled", or none when it does not end so.
std::optional<std::string> enabled_name(const std::string &name) {
    std::string suffix = k_disabled_suffix;
    if (name.size() <= suffix.size() || !str_ends_with(name, suffix)) return std::nullopt;
    return name.substr(0, name.size() - suffix.size());
}

// The first record whose file name is name, or (for a name switched off)
// the name without ".disabled".
cJSON *record_by_filename(cJSON *arr, const std::string &name) {
    std::optional<std::string> base = enabled_name(name);
    cJSON *e;
    cJSON_ArrayForEach(e, arr) {
        if (json_str(e, "filename") == name) return e;
    }
    if (!base) return nullptr;
    cJSON_ArrayForEach(e, arr) {
        if (json_str(e, "filename") == *base) return e;
    }
    return nullptr;
}

// The folders whose files the catalogue commands name by file name alone.
const char *const k_file_folders[] = {"mods", "resourcepacks", "shaderpacks"};

bool listed_name(const std::string &n) {
    if (n.empty() || n[0] == '.') return false;
    if (n.size() > 4 && (str_ends_with(n, ".jar") || str_ends_with(n, ".zip"))) return true;
    return n.size() > 9 && str_ends_with(n, k_disabled_suffix);
}

// The files of mods, resourcepacks and shaderpacks with their records.
void list_folder_files(const Instance &inst, const cJSON *arr, std::vector<ContentFile> &out) {
    for (int t = 0; t <= 2; t++) {
        ContentType type = static_cast<ContentType>(t);
        std::string dir = instance_dir(inst) + "/" + content_folder_name(type);
        auto names = dir_list(dir);
        if (!names) continue;
        for (const std::string &n : *names) {
            if (!listed_name(n) || fs_is_dir(dir + "/" + n)) continue;
            ContentFile f = unrecorded(n, type);
            std::optional<std::string> base = enabled_name(n);
            f.disabled = base.has_value();
            const cJSON *e;
            // The record of the name itself first; a file switched off is
            // found by its enabled name.
            const cJSON *found = nullptr;
            cJSON_ArrayForEach(e, arr) {
                if (record_type(e) != t) continue;
                std::string fn = json_str(e, "filename");
                if (fn == n) {
                    found = e;
                    break;
                }
                if (!found && base && fn == *base) found = e;
            }
            if (found) {
                ContentRecord r = content_record_of(found);
                f.title = r.title;
                f.project = r.project;
                f.source = r.source;
                f.version = r.version;
                f.channel = r.channel;
            }
            out.push_back(f);
        }
    }
}

// A data pack in a world's datapacks: a zip, or a folder with pack.mcmeta.
bool datapack_entry(const std::string &dir, const std::string &n) {
    if (n.empty() || n[0] == '.') return false;
    if (fs_is_dir(dir + "/" + n)) return fs_exists(dir + "/" + n + "/pack.mcmeta");
    return n.size() > 4 && str_ends_with(n, ".zip");
}

void list_datapacks(const Instance &inst, const cJSON *arr, std::vector<ContentFile> &out) {
    for (const std::string &world : world_list(inst)) {
        std::string dir = instance_dir(inst) + "/saves/" + world + "/datapacks";
        auto names = dir_list(dir);
        if (!names) continue;
        for (const std::string &n : *names) {
            if (!datapack_entry(dir, n)) continue;
            ContentFile f = unrecorded(n, ContentType::DataPack);
            f.world = world;
            const cJSON *e;
            cJSON_ArrayForEach(e, arr) {
                ContentRecord r = content_record_of(e);
                if (r.type != ContentType::DataPack || r.filename != n ||
                    (!r.world.empty() && r.world != world))
                    continue;
                f.title = r.title;
                f.project = r.project;
                f.source = r.source;
                f.version = r.version;
                f.channel = r.channel;
                break;
            }
            out.push_back(f);
        }
    }
}

bool listed_before(const ContentFile &a, const ContentFile &b) {
    if (a.type != b.type) return a.type < b.type;
    if (a.world != b.world) return a.world < b.world;
    std::string ta = str_lower(a.title), tb = str_lower(b.title);
    if (ta != tb) return ta < tb;
    return a.filename < b.filename;
}

// Drops the first record of that file name (or of its enabled name) and
// writes the inventory.
void forget_unlocked(const Instance &inst, const std::string &filename) {
    JsonPtr arr = load_unlocked(inst);
    if (cJSON *e = record_by_filename(arr.get(), filename)) {
        cJSON_DetachItemViaPointer(arr.get(), e);
        cJSON_Delete(e);
    }
    inventory_write(inst, arr.get());
}

// Drops the data pack record of that file name in that world.
void forget_datapack_unlocked(const Instance &inst, const std::string &name,
                              const std::string &world) {
    JsonPtr arr = load_unlocked(inst);
    cJSON *e;
    cJSON_ArrayForEach(e, arr.get()) {
        ContentRecord r = content_record_of(e);
        if (r.type == ContentType::DataPack && r.filename == name &&
            (r.world.empty() || r.world == world)) {
            cJSON_DetachItemViaPointer(arr.get(), e);
            cJSON_Delete(e);
            break;
        }
    }
    inventory_write(inst, arr.get());
}

int remove_datapack(const Instance &inst, const std::string &name, const std::string &world) {
    if (!fs_filename_safe(name) || !fs_filename_safe(world)) return -1;
    FileLock lock = inventory_lock(inst);
    std::string path = instance_dir(inst) + "/saves/" + world + "/datapacks/" + name;
    int rc = fs_is_dir(path) ? fs_remove_tree(path) : fs_delete(path);
    forget_datapack_unlocked(inst, name, world);
    if (rc == 0) ui_message("Удалено: %s (мир «%s»)", name.c_str(), world.c_str());
    return rc;
}

} // namespace

const char *content_folder_name(ContentType type) {
    if (type == ContentType::ResourcePack) return "resourcepacks";
    if (type == ContentType::Shader) return "shaderpacks";
    return "mods";
}

ContentRecord content_record(const std::string &source, const std::string &project,
                             const std::string &file, const std::string &filename,
                             const std::string &sha1, const std::string &title, ContentType type) {
    ContentRecord r;
    r.source = source;
    r.project = project;
    r.file = file;
    r.filename = filename;
    r.sha1 = sha1;
    r.title = title;
    r.type = type;
    return r;
}

ContentRecord content_record_of(const cJSON *e) {
    ContentRecord r;
    r.source = json_str(e, "source");
    r.project = json_str(e, "project");
    r.file = json_str(e, "file");
    r.filename = json_str(e, "filename");
    r.sha1 = json_str(e, "sha1");
    r.title = json_str(e, "title");
    r.type = static_cast<ContentType>(record_type(e));
    r.version = json_str(e, "version");
    r.channel = content_channel_parse(json_str(e, "channel"));
    r.world = json_str(e, "world");
    const cJSON *key;
    cJSON_ArrayForEach(key, json_get(e, "requires")) {
        if (cJSON_IsString(key)) r.required.push_back(key->valuestring);
    }
    r.disabled = json_bool(e, "disabled");
    return r;
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
        if (fs_exists(path) || fs_exists(path + k_disabled_suffix)) return true;
    }
    return false;
}

std::vector<ContentFile> content_list_files(const Instance &inst) {
    JsonPtr arr = content_load(inst);
    std::vector<ContentFile> out;
    list_folder_files(inst, arr.get(), out);
    list_datapacks(inst, arr.get(), out);
    std::stable_sort(out.begin(), out.end(), listed_before);
    return out;
}

std::optional<ContentRecord> content_find_file(const Instance &inst, const std::string &filename) {
    JsonPtr arr = content_load(inst);
    const cJSON *e = record_by_filename(arr.get(), filename);
    if (!e) return std::nullopt;
    return content_record_of(e);
}

bool content_file_exists(const Instance &inst, const std::string &name) {
    if (!fs_filename_safe(name)) return false;
    for (const char *folder : k_file_folders) {
        std::string path = instance_dir(inst) + "/" + folder + "/" + name;
        if (fs_exists(path) || fs_exists(path + k_disabled_suffix)) return true;
    }
    return false;
}

int content_remove_file(const Instance &inst, const std::string &name,
                        const std::optional<std::string> &world) {
    if (world) return remove_datapack(inst, name, *world);
    if (!fs_filename_safe(name)) return -1;
    FileLock lock = inventory_lock(inst);
    int rc = -1;
    std::string removed = name;
    for (const std::string &candidate : {name, name + k_disabled_suffix}) {
        for (const char *folder : k_file_folders) {
            rc = fs_delete(instance_dir(inst) + "/" + folder + "/" + candidate);
            if (rc == 0) break;
        }
        if (rc == 0) {
            removed = candidate;
            break;
        }
    }
    forget_unlocked(inst, removed);
    if (rc == 0) ui_message("Удалено: %s", removed.c_str());
    return rc;
}

int content_set_enabled(const Instance &inst, const std::string &name, bool enabled,
                        std::string *err) {
    std::string base = enabled_name(name).value_or(name);
    if (!fs_filename_safe(base) || !content_file_exists(inst, base)) {
        if (err) *err = format_alloc("Файла «%s» нет в сборке", name.c_str());
        return -1;
    }
    FileLock lock = inventory_lock(inst);
    std::string on, off;
    for (const char *folder : k_file_folders) {
        std::string path = instance_dir(inst) + "/" + folder + "/" + base;
        if (fs_exists(path) || fs_exists(path + k_disabled_suffix)) {
            on = path;
            off = path + k_disabled_suffix;
            break;
        }
    }
    std::string from = enabled ? off : on, to = enabled ? on : off;
    if (fs_exists(from)) {
        if (fs_rename_noreplace(from, to) != 0) {
            if (err)
                *err = errno == EEXIST
                           ? format_alloc("«%s» не переименован: файл «%s» уже есть", base.c_str(),
                                          to.substr(to.rfind('/') + 1).c_str())
                           : format_alloc("«%s» не переименован: %s", base.c_str(),
                                          fs_error_text(errno).c_str());
            return -1;
        }
    }
    JsonPtr arr = load_unlocked(inst);
    if (cJSON *e = record_by_filename(arr.get(), base)) {
        cJSON_ReplaceItemInObjectCaseSensitive(e, "disabled", cJSON_CreateBool(!enabled));
        inventory_write(inst, arr.get());
    }
    ui_message(enabled ? "Включено: %s" : "Отключено: %s", base.c_str());
    return 0;
}

StrList content_dependents(const Instance &inst, const std::string &filename) {
    JsonPtr arr = content_load(inst);
    const cJSON *target = record_by_filename(arr.get(), filename);
    if (!target) return {};
    ContentRecord t = content_record_of(target);
    if (t.source.empty() || t.project.empty()) return {};
    std::string key = t.source + ":" + t.project;
    StrList lines;
    const cJSON *e;
    cJSON_ArrayForEach(e, arr.get()) {
        ContentRecord r = content_record_of(e);
        if (e == target || std::find(r.required.begin(), r.required.end(), key) == r.required.end())
            continue;
        if (!content_is_installed(inst, r.source, r.project)) continue; // gone already
        std::string line = format_alloc("%s требует %s", r.title.c_str(), t.title.c_str());
        if (std::find(lines.begin(), lines.end(), line) == lines.end()) lines.push_back(line);
    }
    return lines;
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
    std::sort(out.begin(), out.end());
    return out;
}
