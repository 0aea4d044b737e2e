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
#include "config/datadir.h"
#include "content/curseforge.h"
#include "content/install_file.h"
#include "game/loaders.h"
#include "instances/content.h"
#include "net/download.h"
#include "net/endpoints.h"
#include "net/service.h"

#include <cerrno>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

const MrpackLoaderKey k_mrpack_loader_keys[4] = {{"fabric-loader", "Fabric"},
                                                 {"quilt-loader", "Quilt"},
                                                 {"neoforge", "NeoForge"},
                                                 {"forge", "Forge"}};

namespace {

const char *const k_batch_label = "Файлы модпака";

// The instance while it is being filled: inst.folder names the staging
// folder; final_folder is reserved (created empty) under the instances. job
// is the import's record, where every message goes.
struct Staging {
    const Job *job = nullptr;
    Instance inst;
    std::string final_folder;
};

std::string instances_path(const std::string &folder) {
    return datapaths().instances + "/" + folder;
}

// Staging folders left by imports whose process is gone, and the empty
// folders those imports had reserved.
void remove_stale_staging() {
    auto names = dir_list(datapaths().instances);
    if (!names) return;
    for (const std::string &n : *names) {
        bool live = true;
        std::optional<std::string> reserved = instance_staging_reserved(n, &live);
        if (!reserved || live) continue;
        fs_remove_tree(instances_path(n));
        fs_rmdir(instances_path(*reserved)); // only while still empty
    }
}

void stage_abort(const Staging &s) {
    fs_remove_tree(instances_path(s.inst.folder));
    fs_rmdir(instances_path(s.final_folder)); // only while still empty
}

// Installs the version and sets up the staging folder; -1 after a message.
// The display name is wanted made unique, chosen under the instances lock
// once the install is done (another import or create may have taken it
// meanwhile) and written into the staging folder at once, where every other
// choice of a name sees it.
int stage_begin(const std::string &wanted, const std::string &loader, const std::string &mc,
                const std::string &loader_version, Staging &s) {
    if (instance_new_record(wanted, loader, mc, loader_version, &s.inst, s.job) != 0) return -1;
    fs_mkdirs(datapaths().instances);
    FileLock lock = fs_lock(datapaths().instances);
    remove_stale_staging();
    s.inst.name = instance_unique_name(wanted);
    s.inst.folder = instance_folder_for_name(s.inst.name);
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
    if (fs_mkdirs(staged) != 0 || instance_save(s.inst) != 0) {
        stage_abort(s);
        return -1;
    }
    return 0;
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
    instance_announce(s.inst, s.job);
    return 0;
}

// One file of the pack to download, and how a mod among them is recorded.
struct PackFile {
    std::string url;
    std::string rel; // path below the instance folder
    std::string sha1;
    std::string project;
    std::string file_id;
    std::string title;
};

// What a pack's manifest says, in the same words for both kinds of pack.
struct PackPlan {
    std::string name; // the pack's own, else the kind's default
    std::string mc;
    std::string loader; // a word loader_normalize accepts
    std::string loader_version;
    const char *mod_source; // the inventory's source of the pack's mods
    StrList overrides;      // folders copied over the instance, in order
};

// Fills the batch (and the manual list) once the instance is staged.
using PackFiles = std::function<int(Staging &s, std::vector<PackFile> &batch, std::string &manual,
                                    std::string *err)>;

void manual_add(std::string &manual, const std::string &line) {
    if (!manual.empty()) manual += "\n";
    manual += line;
}

// Downloads the batch in parallel; a failure becomes one line of the manual list.
void run_batch(const Staging &s, const std::vector<PackFile> &files, std::string &manual) {
    StrList urls, paths, sha1s;
    for (const PackFile &f : files) {
        urls.push_back(f.url);
        paths.push_back(instance_dir(s.inst) + "/" + f.rel);
        sha1s.push_back(f.sha1);
    }
    if (download_arrays(urls, paths, &sha1s, k_batch_label, instance_dir(s.inst), s.job) != 0)
        manual_add(manual, format_alloc("• %s%s%s", "часть файлов модпака не скачана — см. журнал",
                                        "", ""));
}

// A file of the batch that arrived in mods (a regular file, so a pack path
// naming a folder never becomes a record).
bool placed_mod(const Staging &s, const PackFile &p) {
    if (!str_starts_with(p.rel, "mods/") || p.rel.size() <= 5) return false;
    FileStat st;
    return fs_stat(instance_dir(s.inst) + "/" + p.rel, &st) == 0 && !st.is_dir;
}

// Records the mods that arrived, with one write of the inventory.
void record_mods(const Staging &s, const std::vector<PackFile> &batch, const char *source) {
    std::vector<ContentRecord> records;
    for (const PackFile &p : batch) {
        if (!placed_mod(s, p)) continue;
        records.push_back(content_record(source, p.project, p.file_id, p.rel.substr(5), p.sha1,
                                         p.title, ContentType::Mod));
    }
    if (!records.empty()) content_put_all(s.inst, records);
}

// The launcher's own records in an instance folder: a pack never supplies
// them (an inventory from a pack would claim files that are not there).
bool launcher_record(const std::string &name) {
    return name == "instance.json" || name == "zyl-content.json" || name == "content.json";
}

// Copies the entries of from over to, each file whole or not at all (files
// overwrite). shown is from's path as messages name it. Names that cannot be
// file names here and anything but files and folders are skipped with a
// message; a copy that fails ends the import: -1 with err naming the cause.
int copy_entries(const std::string &from, const std::string &to, const std::string &shown, bool top,
                 const Staging &s, std::string *err) {
    errno = 0;
    std::optional<std::vector<std::string>> names = dir_list(from);
    if (!names) {
        *err = format_alloc("Не удалось прочитать %s: %s", shown.c_str(),
                            fs_error_text(errno ? errno : EIO).c_str());
        return -1;
    }
    for (const std::string &n : *names) {
        std::string rel = shown + "/" + n;
        struct stat st {};
        bool usable = fs_filename_safe(n) && lstat((from + "/" + n).c_str(), &st) == 0 &&
                      (S_ISDIR(st.st_mode) || S_ISREG(st.st_mode));
        if (!usable) {
            job_message(s.job, "Пропуск небезопасного пути %s", rel.c_str());
            continue;
        }
        if (top && launcher_record(n)) {
            job_message(s.job, "Пропуск %s: этот файл сборки ведёт лаунчер", rel.c_str());
            continue;
        }
        std::string dest = to + "/" + n;
        int rc = S_ISDIR(st.st_mode) ? fs_mkdirs(dest) : fs_copy_file(from + "/" + n, dest);
        if (rc != 0) {
            *err = format_alloc("Не удалось скопировать %s: %s", rel.c_str(),
                                fs_error_text(errno ? errno : EIO).c_str());
            return -1;
        }
        if (S_ISDIR(st.st_mode) && copy_entries(from + "/" + n, dest, rel, false, s, err) != 0)
            return -1;
    }
    return 0;
}

// Copies an override folder of the extracted pack over the instance.
int copy_overrides(const std::string &extracted, const std::string &folder, const Staging &s,
                   std::string *err) {
    std::string from = extracted + "/" + folder;
    if (!fs_is_dir(from)) return 0;
    job_message(s.job, "Копирую %s/", folder.c_str());
    return copy_entries(from, instance_dir(s.inst), folder, true, s, err);
}

// The skeleton both kinds share: the instance (named after the pack unless
// the user named it), the pack's files, its mods recorded, its overrides.
int import_pack(const PackPlan &plan, const PackFiles &files, const std::string &extracted,
                const std::string &display_name, Staging &s, std::string &manual,
                std::string *err) {
    const std::string &wanted = display_name.empty() ? plan.name : display_name;
    std::string name = instance_unique_name(wanted);
    job_message(s.job, "Модпак «%s»: Minecraft %s, %s %s", name.c_str(), plan.mc.c_str(),
                plan.loader.c_str(), plan.loader_version.c_str());
    if (stage_begin(wanted, plan.loader, plan.mc, plan.loader_version, s) != 0) {
        *err = "Не удалось создать сборку для модпака";
        return -1;
    }
    std::vector<PackFile> batch;
    if (files(s, batch, manual, err) != 0) return -1;
    run_batch(s, batch, manual);
    record_mods(s, batch, plan.mod_source);
    for (const std::string &folder : plan.overrides)
        if (copy_overrides(extracted, folder, s, err) != 0) return -1;
    return 0;
}

// modrinth.index.json: game version, loader and name.
int modrinth_plan(const cJSON *index, PackPlan &plan, std::string *err) {
    const cJSON *deps = json_get(index, "dependencies");
    std::optional<std::string> mc = json_str_opt(deps, "minecraft");
    if (!mc) {
        *err = "modrinth.index.json: нет версии Minecraft";
        return -1;
    }
    plan = {json_str(index, "name"),          *mc, "Vanilla", "", "modpack",
            {"overrides", "client-overrides"}};
    if (plan.name.empty()) plan.name = "Modrinth pack";
    for (const auto &l : k_mrpack_loader_keys) {
        if (!json_get(deps, l.key)) continue;
        plan.loader = l.loader;
        plan.loader_version = json_str(deps, l.key);
        break;
    }
    return 0;
}

// The hosts a Modrinth pack may download from, as the format allows them.
const std::vector<const char *> k_mrpack_hosts = {"modrinth_cdn", "github", "github_raw", "gitlab"};

// The first of a file's download addresses on an allowed host, or none.
std::optional<std::string> mrpack_download(const cJSON *downloads) {
    const cJSON *d;
    cJSON_ArrayForEach(d, downloads) {
        if (cJSON_IsString(d) && endpoint_url_under(d->valuestring, k_mrpack_hosts))
            return std::string(d->valuestring);
    }
    return std::nullopt;
}

// A file whose addresses lead elsewhere is not fetched: named in the log and
// left to the player, who sees where it would have come from.
void mrpack_refuse_host(const Staging &s, const std::string &rel, const std::string &url,
                        std::string &manual) {
    std::string allowed;
    for (const char *name : k_mrpack_hosts)
        allowed += (allowed.empty() ? "" : ", ") + url_host(endpoint(name));
    std::string host = url_host(url);
    job_message(s.job, "Пропуск %s: файл с %s, а модпак берёт файлы только с %s", rel.c_str(),
                host.empty() ? url.c_str() : host.c_str(), allowed.c_str());
    size_t slash = rel.rfind('/');
    std::string folder = instances_path(s.final_folder) +
                         (slash == std::string::npos ? "" : "/" + rel.substr(0, slash));
    manual_add(manual, format_alloc("• %s — скачайте вручную: %s\n  и положите файл в папку: %s",
                                    rel.c_str(), url.c_str(), folder.c_str()));
}

// The index's files for the client, each at a safe path and from a host the
// format allows.
int modrinth_files(const cJSON *index, Staging &s, std::vector<PackFile> &batch,
                   std::string &manual) {
    int server_only = 0;
    const cJSON *f;
    cJSON_ArrayForEach(f, json_get(index, "files")) {
        if (json_str(json_get(f, "env"), "client") == "unsupported") {
            server_only++;
            continue;
        }
        std::optional<std::string> path = json_str_opt(f, "path");
        if (!path || !modpack_path_safe(*path)) {
            job_message(s.job, "Пропуск небезопасного пути %s", path ? path->c_str() : "?");
            continue;
        }
        const cJSON *downloads = json_get(f, "downloads");
        const cJSON *first = cJSON_GetArrayItem(downloads, 0);
        if (!cJSON_IsString(first)) continue;
        std::string rel = str_backslash_to_slash(*path);
        std::optional<std::string> url = mrpack_download(downloads);
        if (!url) {
            mrpack_refuse_host(s, rel, first->valuestring, manual);
            continue;
        }
        std::string in_mods = rel.size() > 5 ? rel.substr(5) : rel;
        batch.push_back({*url, rel, json_str(json_get(f, "hashes"), "sha1"), in_mods, "", in_mods});
    }
    if (server_only > 0) job_message(s.job, "Пропущено серверных файлов: %d", server_only);
    job_message(s.job, "Файлы модпака: %d", static_cast<int>(batch.size()));
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

// manifest.json: game version, loader, name and override folder.
int curseforge_plan(const cJSON *manifest, PackPlan &plan, std::string *err) {
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
    std::string overrides = json_str(manifest, "overrides");
    if (!modpack_path_safe(overrides)) overrides = "overrides";
    plan = {json_str(manifest, "name"),         *mc, word, loader_version, "curseforge",
            {str_backslash_to_slash(overrides)}};
    if (plan.name.empty()) plan.name = "CurseForge pack";
    return 0;
}

// The folder of the instance a CurseForge file belongs in.
const char *curseforge_target(const cJSON *file, const std::string &filename) {
    ContentType t = curseforge_class_type(json_int(file, "class", 0));
    if (t == ContentType::ResourcePack) return "resourcepacks";
    if (t == ContentType::Shader) return "shaderpacks";
    if (json_int(file, "class", 0) == 0 && filename.size() > 4 &&
        str_ends_with(str_lower(filename), ".zip"))
        return "resourcepacks";
    return "mods";
}

// One resolved CurseForge file: into the batch, or a manual line without a url.
void curseforge_file(const cJSON *f, const Staging &s, std::vector<PackFile> &batch,
                     std::string &manual) {
    std::string filename = json_str(f, "filename");
    if (!fs_filename_safe(filename)) {
        if (!filename.empty())
            job_message(s.job, "Пропуск файла с недопустимым именем %s", filename.c_str());
        return;
    }
    const char *target = curseforge_target(f, filename);
    std::string url = json_str(f, "url");
    if (url.empty()) {
        std::string page = json_str(f, "manual");
        if (page.empty()) page = endpoint("curseforge_web");
        // The folder the user sees is the instance's final one.
        manual_add(manual,
                   format_alloc("• %s — скачайте вручную: %s\n  и положите файл в папку: %s",
                                filename.c_str(), page.c_str(),
                                (instances_path(s.final_folder) + "/" + target).c_str()));
        return;
    }
    batch.push_back({url, std::string(target) + "/" + filename, json_str(f, "sha1"),
                     json_id_text(json_get(f, "project")), json_id_text(json_get(f, "id")),
                     filename});
}

// The manifest's file ids resolved through the service.
int curseforge_files(const cJSON *manifest, Staging &s, std::vector<PackFile> &batch,
                     std::string &manual, std::string *err) {
    std::vector<long long> ids;
    const cJSON *f;
    cJSON_ArrayForEach(f, json_get(manifest, "files")) ids.push_back(json_llong(f, "fileID", 0));
    JsonPtr resolved;
    std::string req_err;
    if (service_curseforge_files(ids, resolved, &req_err) != 0) {
        *err = format_alloc("CurseForge files: %s", req_err.empty() ? "ошибка" : req_err.c_str());
        return -1;
    }
    cJSON_ArrayForEach(f, json_get(resolved.get(), "files")) curseforge_file(f, s, batch, manual);
    job_message(s.job, "Файлы модпака: %d (вручную: %s)", static_cast<int>(batch.size()),
                manual.empty() ? "нет" : "есть");
    return 0;
}

// Imports an extracted pack of either kind.
int import_extracted(const std::string &dir, const std::string &display_name, Staging &s,
                     std::string &manual, std::string *err) {
    PackPlan plan;
    if (JsonPtr index = json_read_file(dir + "/modrinth.index.json")) {
        if (modrinth_plan(index.get(), plan, err) != 0) return -1;
        const cJSON *doc = index.get();
        return import_pack(
            plan,
            [doc](Staging &st, std::vector<PackFile> &b, std::string &m, std::string *) {
                return modrinth_files(doc, st, b, m);
            },
            dir, display_name, s, manual, err);
    }
    JsonPtr manifest = json_read_file(dir + "/manifest.json");
    if (!manifest || !json_get(manifest.get(), "minecraft")) {
        *err = "Это не модпак: нет modrinth.index.json или manifest.json";
        return -1;
    }
    if (curseforge_plan(manifest.get(), plan, err) != 0) return -1;
    const cJSON *doc = manifest.get();
    return import_pack(
        plan,
        [doc](Staging &st, std::vector<PackFile> &b, std::string &m, std::string *e) {
            return curseforge_files(doc, st, b, m, e);
        },
        dir, display_name, s, manual, err);
}

int import_archive(const std::string &archive, const std::string &display_name, Staging &s,
                   std::string &manual, std::string *err) {
    // A folder of its own for each import, in this process or another; those
    // of imports that were killed are nobody's any more.
    fs_remove_stale_unique(datapaths().cache, "modpack-");
    std::string dir = fs_unique_name(datapaths().cache + "/modpack-");
    fs_mkdirs(dir);
    int rc = -1;
    std::string why;
    if (!fs_exists(archive))
        *err = format_alloc("Файл %s не найден", archive.c_str());
    else if (archive_extract(archive, dir, 0, "", &why) != 0)
        *err = format_alloc("Не удалось распаковать %s: %s", archive.c_str(), why.c_str());
    else
        rc = import_extracted(dir, display_name, s, manual, err);
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
    if (rel.empty() || rel[0] == '/' || rel[0] == '\\' || !str_printable(rel)) return false;
    return rel.find("..") == std::string::npos && rel.find(':') == std::string::npos;
}

int modpack_fetch(const ModpackRef &ref, std::string *archive, std::string *err, const Job *job) {
    JsonPtr answer;
    std::string req_err;
    if (service_project_files(ref.source, ref.id, ref.mc, std::nullopt, answer, &req_err) != 0) {
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
    if (!fs_filename_safe(filename)) {
        *err = "Некорректное имя файла";
        return -1;
    }
    job_message(job, "Скачиваю модпак %s", filename.c_str());
    job_progress(job, 0, 0, filename.c_str());
    std::string dest = datapaths().cache + "/modpacks/" + filename;
    fs_mkdirs(datapaths().cache + "/modpacks");
    if (download_via_service(json_str(chosen, "proxied"), url, dest, json_str(chosen, "sha1"),
                             job) != 0) {
        *err = job_cancelled(job) ? k_job_cancelled_text
                                  : format_alloc("Не удалось скачать %s", filename.c_str());
        return -1;
    }
    *archive = dest;
    return 0;
}

int modpack_import(const std::string &ref_text, const std::string &display_name, Instance *out,
                   std::string *manual, std::string *err, const Job *job) {
    std::string local_err, local_manual;
    if (!err) err = &local_err;
    if (!manual) manual = &local_manual;
    manual->clear();
    ModpackRef ref = modpack_ref_parse(ref_text);
    std::string archive = ref.path;
    if (ref.remote && modpack_fetch(ref, &archive, err, job) != 0) return -1;

    Staging s;
    s.job = job;
    if (import_archive(archive, display_name, s, *manual, err) != 0) {
        if (!s.final_folder.empty()) stage_abort(s);
        return -1;
    }
    if (stage_commit(s, err) != 0) return -1;
    job_message(job, "Модпак установлен: сборка «%s»", s.inst.name.c_str());
    if (out) *out = s.inst;
    return 0;
}
