// Modpack import. The pack is extracted into a private folder of the cache,
// the instance is filled in a hidden staging folder beside the instances and
// moved into its reserved place only when everything worked, so a failed or
// interrupted import never shows up as an instance and never writes into
// another one.
#include "content/modpack.h"

#include "base/archive.h"
#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"
#include "base/ui.h"
#include "config/datadir.h"
#include "game/loaders.h"
#include "instances/content.h"
#include "net/download.h"
#include "net/endpoints.h"
#include "net/http.h"
#include "net/service.h"

#include <atomic>
#include <cmath>
#include <unistd.h>

namespace {

const char *const k_batch_label = "Файлы модпака";

// The instance while it is being filled: inst.folder names the staging
// folder; final_folder is reserved (created empty) under the instances.
struct Staging {
    Instance inst;
    std::string final_folder;
};

std::string instances_path(const std::string &folder) {
    return g_paths.instances + "/" + folder;
}

// Staging folders left by imports whose process is gone, and the empty
// folders those imports had reserved.
void remove_stale_staging() {
    auto names = dir_list(g_paths.instances);
    if (!names) return;
    for (const std::string &n : *names) {
        bool live = true;
        std::optional<std::string> reserved = instance_staging_reserved(n, &live);
        if (!reserved || live) continue;
        fs_remove_tree(instances_path(n));
        fs_rmdir(instances_path(*reserved)); // only while still empty
    }
}

// Installs the version and sets up the staging folder; -1 after a message.
int stage_begin(const std::string &name, const std::string &loader, const std::string &mc,
                const std::string &loader_version, Staging &s) {
    if (instance_new_record(name, loader, mc, loader_version, &s.inst) != 0) return -1;
    fs_mkdirs(g_paths.instances);
    remove_stale_staging();
    // Reserve the folder now: whoever creates a folder of that name later
    // gets another one, and the staged instance replaces only this empty one.
    int tries = 0;
    while (fs_mkdir(instances_path(s.inst.folder)) != 0) {
        if (++tries > 100) return -1;
        s.inst.folder = instance_folder_for_name(s.inst.name);
    }
    s.final_folder = s.inst.folder;
    s.inst.folder = instance_staging_name(s.final_folder);
    std::string staged = instances_path(s.inst.folder);
    fs_remove_tree(staged);
    if (fs_mkdirs(staged) != 0) {
        fs_rmdir(instances_path(s.final_folder));
        return -1;
    }
    return 0;
}

void stage_abort(const Staging &s) {
    fs_remove_tree(instances_path(s.inst.folder));
    fs_rmdir(instances_path(s.final_folder)); // only while still empty
}

// Writes instance.json into the staged folder and moves it over the reserved
// one, so the instance appears whole in one step or not at all.
int stage_commit(Staging &s, std::string *err) {
    if (instance_save(s.inst) != 0) {
        stage_abort(s);
        *err = "Не удалось записать instance.json";
        return -1;
    }
    // A folder replaces only an empty one: the reservation, unless someone
    // wrote into it meanwhile.
    if (fs_rename_replace(instances_path(s.inst.folder), instances_path(s.final_folder)) != 0) {
        stage_abort(s);
        *err = format_alloc("Не удалось создать папку сборки %s", s.final_folder.c_str());
        return -1;
    }
    s.inst.folder = s.final_folder;
    instance_announce(s.inst);
    return 0;
}

// One file of the pack to download.
struct PackFile {
    std::string url;
    std::string rel; // path below the instance folder
    std::string sha1;
    std::string project; // CurseForge only
    std::string file_id; // CurseForge only
};

// Downloads the batch in parallel; a failure becomes one line of the manual list.
void run_batch(const Staging &s, const std::vector<PackFile> &files, std::string &manual) {
    StrList urls, paths, sha1s;
    for (const PackFile &f : files) {
        urls.push_back(f.url);
        paths.push_back(instance_dir(s.inst) + "/" + f.rel);
        sha1s.push_back(f.sha1);
    }
    if (download_arrays(urls, paths, &sha1s, k_batch_label, instance_dir(s.inst)) != 0) {
        if (!manual.empty()) manual += "\n";
        manual += format_alloc("• %s%s%s", "часть файлов модпака не скачана — см. журнал", "", "");
    }
}

// A file of the batch that arrived in mods (a regular file, so a pack path
// naming a folder never becomes a record).
bool placed_mod(const Staging &s, const PackFile &p) {
    if (!str_starts_with(p.rel, "mods/") || p.rel.size() <= 5) return false;
    FileStat st;
    return fs_stat(instance_dir(s.inst) + "/" + p.rel, &st) == 0 && !st.is_dir;
}

// Copies an override folder of the extracted pack over the instance.
void copy_overrides(const std::string &extracted, const std::string &folder, const Staging &s) {
    std::string from = extracted + "/" + folder;
    if (!fs_is_dir(from)) return;
    ui_message("Копирую %s/", folder.c_str());
    if (fs_copy_tree(from, instance_dir(s.inst)) != 0)
        ui_message("Часть файлов %s не скопирована", folder.c_str());
}

// A JSON member that may be a string or a number, as text.
std::string json_id_text(const cJSON *obj, const char *key) {
    cJSON *v = json_get(obj, key);
    if (cJSON_IsString(v)) return v->valuestring;
    if (cJSON_IsNumber(v)) return format_alloc("%.0f", std::trunc(v->valuedouble));
    return "";
}

bool filename_plain(const std::string &name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\") == std::string::npos;
}

int import_modrinth(const cJSON *index, const std::string &extracted,
                    const std::string &display_name, Staging &s, std::string &manual,
                    std::string *err) {
    cJSON *deps = json_get(index, "dependencies");
    std::optional<std::string> mc = json_str_opt(deps, "minecraft");
    if (!mc) {
        *err = "modrinth.index.json: нет версии Minecraft";
        return -1;
    }
    static const struct {
        const char *key;
        const char *loader;
    } k_loaders[] = {{"fabric-loader", "Fabric"},
                     {"quilt-loader", "Quilt"},
                     {"neoforge", "NeoForge"},
                     {"forge", "Forge"}};
    std::string loader = "Vanilla", loader_version;
    for (const auto &l : k_loaders) {
        if (json_get(deps, l.key)) {
            loader = l.loader;
            loader_version = json_str(deps, l.key);
            break;
        }
    }
    std::string name = display_name;
    if (name.empty()) name = json_str(index, "name");
    if (name.empty()) name = "Modrinth pack";
    name = instance_unique_name(name);
    ui_message("Модпак «%s»: Minecraft %s, %s %s", name.c_str(), mc->c_str(), loader.c_str(),
               loader_version.c_str());
    if (stage_begin(name, loader, *mc, loader_version, s) != 0) {
        *err = "Не удалось создать сборку для модпака";
        return -1;
    }

    std::vector<PackFile> batch;
    int server_only = 0;
    cJSON *f;
    cJSON_ArrayForEach(f, json_get(index, "files")) {
        if (json_str(json_get(f, "env"), "client") == "unsupported") {
            server_only++;
            continue;
        }
        std::optional<std::string> path = json_str_opt(f, "path");
        if (!path || !modpack_path_safe(*path)) {
            ui_message("Пропуск небезопасного пути %s", path ? path->c_str() : "?");
            continue;
        }
        cJSON *first = cJSON_GetArrayItem(json_get(f, "downloads"), 0);
        if (!cJSON_IsString(first)) continue;
        batch.push_back({first->valuestring, str_backslash_to_slash(*path),
                         json_str(json_get(f, "hashes"), "sha1"), "", ""});
    }
    if (server_only > 0) ui_message("Пропущено серверных файлов: %d", server_only);
    ui_message("Файлы модпака: %d", static_cast<int>(batch.size()));
    run_batch(s, batch, manual);

    std::vector<ContentRecord> records;
    for (const PackFile &p : batch) {
        if (!placed_mod(s, p)) continue;
        std::string name_in_mods = p.rel.substr(5);
        records.push_back(
            {"modpack", name_in_mods, "", name_in_mods, p.sha1, name_in_mods, ContentType::Mod});
    }
    if (!records.empty()) content_put_all(s.inst, records);

    copy_overrides(extracted, "overrides", s);
    copy_overrides(extracted, "client-overrides", s);
    return 0;
}

// The primary loader of a CurseForge manifest: word and version.
void curseforge_loader(const cJSON *manifest, std::string &word, std::string &version,
                       std::string &entry_id) {
    cJSON *loaders = json_get(json_get(manifest, "minecraft"), "modLoaders");
    cJSON *chosen = nullptr, *l;
    cJSON_ArrayForEach(l, loaders) {
        if (json_bool(l, "primary")) chosen = l;
    }
    if (!chosen) chosen = cJSON_GetArrayItem(loaders, 0);
    entry_id = json_str(chosen, "id");
    size_t dash = entry_id.find('-');
    word = "Vanilla";
    version.clear();
    if (dash == std::string::npos) return;
    word = entry_id.substr(0, std::min<size_t>(dash, 31));
    version = entry_id.substr(dash + 1, 95);
}

const char *curseforge_target(const cJSON *file, const std::string &filename) {
    int c = json_int(file, "class", 0);
    if (c == 12) return "resourcepacks";
    if (c == 6552) return "shaderpacks";
    if (c == 0 && filename.size() > 4 && str_ends_with(str_lower(filename), ".zip"))
        return "resourcepacks";
    return "mods";
}

int import_curseforge(const cJSON *manifest, const std::string &extracted,
                      const std::string &display_name, Staging &s, std::string &manual,
                      std::string *err) {
    std::optional<std::string> mc = json_str_opt(json_get(manifest, "minecraft"), "version");
    if (!mc) {
        *err = "manifest.json: нет версии Minecraft";
        return -1;
    }
    std::string word, loader_version, entry_id;
    curseforge_loader(manifest, word, loader_version, entry_id);
    if (!loader_normalize(word)) {
        *err = format_alloc("Неизвестный загрузчик модпака: %s", entry_id.c_str());
        return -1;
    }
    std::string name = display_name;
    if (name.empty()) name = json_str(manifest, "name");
    if (name.empty()) name = "CurseForge pack";
    name = instance_unique_name(name);
    ui_message("Модпак «%s»: Minecraft %s, %s %s", name.c_str(), mc->c_str(), word.c_str(),
               loader_version.c_str());
    if (stage_begin(name, word, *mc, loader_version, s) != 0) {
        *err = "Не удалось создать сборку для модпака";
        return -1;
    }

    std::vector<long long> ids;
    cJSON *f;
    cJSON_ArrayForEach(f, json_get(manifest, "files")) {
        ids.push_back(json_llong(f, "fileID", 0));
    }
    JsonPtr resolved;
    std::string req_err;
    if (service_curseforge_files(ids, resolved, &req_err) != 0) {
        *err = format_alloc("CurseForge files: %s", req_err.empty() ? "ошибка" : req_err.c_str());
        return -1;
    }

    std::vector<PackFile> batch;
    cJSON_ArrayForEach(f, json_get(resolved.get(), "files")) {
        std::string filename = json_str(f, "filename");
        if (!filename_plain(filename)) continue;
        const char *target = curseforge_target(f, filename);
        std::string url = json_str(f, "url");
        if (url.empty()) {
            std::string page = json_str(f, "manual");
            if (page.empty()) page = endpoint("curseforge_web");
            if (!manual.empty()) manual += "\n";
            // The folder the user sees is the instance's final one.
            manual += format_alloc("• %s — скачайте вручную: %s\n  и положите файл в папку: %s",
                                   filename.c_str(), page.c_str(),
                                   (instances_path(s.final_folder) + "/" + target).c_str());
            continue;
        }
        batch.push_back({url, std::string(target) + "/" + filename, json_str(f, "sha1"),
                         json_id_text(f, "project"), json_id_text(f, "id")});
    }
    ui_message("Файлы модпака: %d (вручную: %s)", static_cast<int>(batch.size()),
               manual.empty() ? "нет" : "есть");
    run_batch(s, batch, manual);

    std::vector<ContentRecord> records;
    for (const PackFile &p : batch) {
        if (!placed_mod(s, p)) continue;
        std::string filename = p.rel.substr(5);
        records.push_back(
            {"curseforge", p.project, p.file_id, filename, p.sha1, filename, ContentType::Mod});
    }
    if (!records.empty()) content_put_all(s.inst, records);

    std::string overrides = json_str(manifest, "overrides");
    if (!modpack_path_safe(overrides)) overrides = "overrides";
    copy_overrides(extracted, str_backslash_to_slash(overrides), s);
    return 0;
}

// A folder of its own for each import running in this process.
std::string extraction_folder() {
    static std::atomic<int> counter{0};
    int n = counter++;
    int pid = static_cast<int>(getpid());
    return n == 0 ? format_alloc("%s/modpack-%d", g_paths.cache.c_str(), pid)
                  : format_alloc("%s/modpack-%d-%d", g_paths.cache.c_str(), pid, n);
}

int import_archive(const std::string &archive, const std::string &display_name, Staging &s,
                   std::string &manual, std::string *err) {
    std::string dir = extraction_folder();
    fs_remove_tree(dir);
    fs_mkdirs(dir);
    int rc = -1;
    if (!fs_exists(archive)) {
        *err = format_alloc("Файл %s не найден", archive.c_str());
    } else if (archive_extract(archive, dir, 0, "") != 0) {
        *err = format_alloc("Не удалось распаковать %s", archive.c_str());
    } else if (JsonPtr index = json_read_file(dir + "/modrinth.index.json")) {
        rc = import_modrinth(index.get(), dir, display_name, s, manual, err);
    } else if (JsonPtr manifest = json_read_file(dir + "/manifest.json");
               manifest && json_get(manifest.get(), "minecraft")) {
        rc = import_curseforge(manifest.get(), dir, display_name, s, manual, err);
    } else {
        *err = "Это не модпак: нет modrinth.index.json или manifest.json";
    }
    fs_remove_tree(dir);
    return rc;
}

} // namespace

ModpackRef modpack_ref_parse(const std::string &ref) {
    ModpackRef r;
    r.path = ref;
    if (fs_exists(ref)) return r;
    static const struct {
        const char *prefix;
        const char *source;
    } k_prefixes[] = {{"curseforge:", "curseforge"},
                      {"cf:", "curseforge"},
                      {"modrinth:", "modrinth"},
                      {"mr:", "modrinth"}};
    for (const auto &p : k_prefixes) {
        if (!str_starts_with_ci(ref, p.prefix)) continue;
        std::string rest = ref.substr(ref.find(':') + 1);
        size_t at = rest.find('@');
        r.remote = true;
        r.source = p.source;
        r.id = rest.substr(0, at);
        if (at != std::string::npos) r.mc = rest.substr(at + 1);
        return r;
    }
    return r;
}

bool modpack_path_safe(const std::string &rel) {
    if (rel.empty() || rel[0] == '/' || rel[0] == '\\') return false;
    return rel.find("..") == std::string::npos && rel.find(':') == std::string::npos;
}

int modpack_fetch(const ModpackRef &ref, std::string *archive, std::string *err) {
    JsonPtr answer;
    std::string req_err;
    if (service_project_files(ref.source, ref.id, ref.mc, "", answer, &req_err) != 0) {
        *err = req_err;
        return -1;
    }
    const cJSON *chosen = nullptr;
    cJSON *f;
    cJSON_ArrayForEach(f, json_get(answer.get(), "files")) {
        std::string filename = json_str(f, "filename");
        bool pack = filename.find(".mrpack") != std::string::npos ||
                    filename.find(".zip") != std::string::npos;
        if (pack && (json_get(f, "url") || json_get(f, "manual"))) {
            chosen = f;
            break;
        }
    }
    if (!chosen) {
        *err = format_alloc("У %s:%s нет файла модпака", ref.source.c_str(), ref.id.c_str());
        return -1;
    }
    std::string url = json_str(chosen, "url");
    if (url.empty()) {
        *err = format_alloc("Автор запретил автоматическое скачивание модпака. Скачайте вручную: "
                            "%s и импортируйте файл",
                            json_str(chosen, "manual").c_str());
        return -1;
    }
    std::string filename = json_str(chosen, "filename");
    if (!filename_plain(filename)) {
        *err = "Некорректное имя файла";
        return -1;
    }
    ui_message("Скачиваю модпак %s", filename.c_str());
    ui_progress(0, 0, filename.c_str());
    std::string dest = g_paths.cache + "/modpacks/" + filename;
    fs_mkdirs(g_paths.cache + "/modpacks");
    if (download_via_service(json_str(chosen, "proxied"), url, dest, json_str(chosen, "sha1")) !=
        0) {
        *err = format_alloc("Не удалось скачать %s", filename.c_str());
        return -1;
    }
    *archive = dest;
    return 0;
}

int modpack_import(const std::string &ref_text, const std::string &display_name, Instance *out,
                   std::string *manual, std::string *err) {
    std::string local_err, local_manual;
    if (!err) err = &local_err;
    if (!manual) manual = &local_manual;
    manual->clear();
    ModpackRef ref = modpack_ref_parse(ref_text);
    std::string archive = ref.path;
    if (ref.remote && modpack_fetch(ref, &archive, err) != 0) return -1;

    Staging s;
    if (import_archive(archive, display_name, s, *manual, err) != 0) {
        if (!s.final_folder.empty()) stage_abort(s);
        return -1;
    }
    if (stage_commit(s, err) != 0) return -1;
    ui_message("Модпак установлен: сборка «%s»", s.inst.name.c_str());
    if (out) *out = s.inst;
    return 0;
}
