// Modpack export. The chosen entries of the instance folder are walked
// without following links, the SHA-1s of the files in mods, resourcepacks
// and shaderpacks are looked up on Modrinth in a few requests, and the pack
// is written through the ZIP writer, which puts it at the target only when
// it is complete.
#include "content/mrpack_export.h"

#include "base/amounts.h"
#include "base/digest.h"
#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"
#include "base/zip_writer.h"
#include "content/modpack.h"
#include "content/update.h"
#include "instances/content.h"
#include "net/endpoints.h"
#include "net/http.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>
#include <set>
#include <sys/stat.h>

namespace {

// Modrinth's lookup takes this many hashes a request.
const size_t k_lookup_batch = 500;

// The launcher's own files and scratch files, at any depth.
bool launcher_name(const std::string &name) {
    static const char *const k_own[] = {"instance.json", "zyl-content.json", "content.json",
                                        "launch_command.txt", ".natives"};
    for (const char *own : k_own)
        if (name == own) return true;
    return str_ends_with(name, ".lock") || fs_is_unique_name(name, ".tmp") ||
           fs_is_unique_name(name, ".part") || str_ends_with(name, content_backup_path(""));
}

bool chosen_by_default(const std::string &name, bool is_dir) {
    if (is_dir) {
        for (ContentType t : {ContentType::Mod, ContentType::ResourcePack, ContentType::Shader})
            if (name == content_folder_name(t)) return true;
        return name == "config";
    }
    return str_starts_with(name, "options") && str_ends_with(name, ".txt");
}

// A file of the pack: where it is, and where it goes below the instance.
struct PackFile {
    std::string path;
    std::string rel;
    long long size = 0;
    std::string sha1;   // of the files Modrinth may know
    std::string url;    // set when Modrinth serves it
    std::string sha512; // likewise
};

// Regular files below dir (rel is its path in the instance), links skipped.
void collect(const std::string &dir, const std::string &rel, std::vector<PackFile> &out,
             int &skipped) {
    std::vector<std::string> names = dir_list(dir).value_or(std::vector<std::string>{});
    std::sort(names.begin(), names.end());
    for (const std::string &n : names) {
        if (launcher_name(n)) continue;
        std::string path = dir + "/" + n;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode))
            collect(path, rel + n + "/", out, skipped);
        else if (S_ISREG(st.st_mode))
            out.push_back({path, rel + n, static_cast<long long>(st.st_size), "", "", ""});
        else
            skipped++; // links may point anywhere on the player's disk
    }
}

// A file directly in mods, resourcepacks or shaderpacks: what Modrinth hosts.
bool modrinth_candidate(const std::string &rel) {
    size_t slash = rel.find('/');
    if (slash == std::string::npos || rel.find('/', slash + 1) != std::string::npos) return false;
    std::string top = rel.substr(0, slash);
    for (ContentType t : {ContentType::Mod, ContentType::ResourcePack, ContentType::Shader})
        if (top == content_folder_name(t)) return true;
    return false;
}

bool web_address(const std::string &url) {
    return str_starts_with(url, "https://") || str_starts_with(url, "http://");
}

// Modrinth's download address of each SHA-1 it knows. false with why when
// it gave no usable answer.
bool modrinth_lookup(const std::vector<std::string> &sha1s,
                     std::map<std::string, std::string> &urls, std::string &why) {
    for (size_t at = 0; at < sha1s.size(); at += k_lookup_batch) {
        JsonPtr body(cJSON_CreateObject());
        cJSON *hashes = cJSON_AddArrayToObject(body.get(), "hashes");
        for (size_t i = at; i < std::min(sha1s.size(), at + k_lookup_batch); i++)
            cJSON_AddItemToArray(hashes, cJSON_CreateString(sha1s[i].c_str()));
        cJSON_AddStringToObject(body.get(), "algorithm", "sha1");
        long status = -1;
        std::optional<std::string> answer =
            web_post(endpoint("modrinth_api") + "/v2/version_files", json_print_compact(body.get()),
                     {"Content-Type: application/json"}, &status);
        JsonPtr versions = answer && status == 200 ? json_parse(*answer) : nullptr;
        if (!cJSON_IsObject(versions.get())) {
            why = !answer         ? "нет соединения"
                  : status != 200 ? format_alloc("HTTP %ld", status)
                                  : "ответ не JSON";
            return false;
        }
        const cJSON *version;
        cJSON_ArrayForEach(version, versions.get()) {
            const cJSON *file;
            cJSON_ArrayForEach(file, json_get(version, "files")) {
                std::string sha1 = str_lower(json_str(json_get(file, "hashes"), "sha1"));
                std::string url = json_str(file, "url");
                if (sha1 == version->string && web_address(url)) urls[sha1] = url;
            }
        }
    }
    return true;
}

// Looks up the candidates and fills url and sha512 of those Modrinth serves.
int mark_modrinth_files(std::vector<PackFile> &files, const Job *job, std::string *err) {
    std::vector<std::string> sha1s;
    for (PackFile &f : files) {
        if (!modrinth_candidate(f.rel)) continue;
        if (file_sha1_hex(f.path, f.sha1) != 0) {
            *err = format_alloc("Не удалось прочитать %s", f.path.c_str());
            return -1;
        }
        sha1s.push_back(f.sha1);
    }
    if (sha1s.empty()) return 0;
    std::map<std::string, std::string> urls;
    std::string why;
    if (!modrinth_lookup(sha1s, urls, why)) {
        job_message(job, "Modrinth не ответил (%s) — все файлы кладу в overrides/", why.c_str());
        return 0;
    }
    for (PackFile &f : files) {
        auto it = urls.find(f.sha1);
        if (f.sha1.empty() || it == urls.end()) continue;
        if (file_sha512_hex(f.path, f.sha512) != 0) {
            *err = format_alloc("Не удалось прочитать %s", f.path.c_str());
            return -1;
        }
        f.url = it->second;
    }
    return 0;
}

// modrinth.index.json of the instance with its listed files.
int index_json(const Instance &inst, const std::vector<PackFile> &files, std::string &out,
               std::string *err) {
    JsonPtr root(cJSON_CreateObject());
    cJSON *o = root.get();
    cJSON_AddNumberToObject(o, "formatVersion", 1);
    cJSON_AddStringToObject(o, "game", "minecraft");
    cJSON_AddStringToObject(o, "versionId", "1.0.0");
    cJSON_AddStringToObject(o, "name", inst.name.c_str());
    std::string loader_version = inst.loader_version.empty()
                                     ? instance_fields_from_version(inst.version_id).loader_version
                                     : inst.loader_version;
    std::string summary = "Minecraft " + inst.mc + " · " + inst.loader +
                          (loader_version.empty() ? "" : " " + loader_version);
    cJSON_AddStringToObject(o, "summary", summary.c_str());
    cJSON *list = cJSON_AddArrayToObject(o, "files");
    for (const PackFile &f : files) {
        if (f.url.empty()) continue;
        cJSON *e = cJSON_CreateObject();
        cJSON_AddStringToObject(e, "path", f.rel.c_str());
        cJSON *h = cJSON_AddObjectToObject(e, "hashes");
        cJSON_AddStringToObject(h, "sha1", f.sha1.c_str());
        cJSON_AddStringToObject(h, "sha512", f.sha512.c_str());
        cJSON *downloads = cJSON_AddArrayToObject(e, "downloads");
        cJSON_AddItemToArray(downloads, cJSON_CreateString(f.url.c_str()));
        cJSON_AddNumberToObject(e, "fileSize", static_cast<double>(f.size));
        cJSON_AddItemToArray(list, e);
    }
    cJSON *deps = cJSON_AddObjectToObject(o, "dependencies");
    cJSON_AddStringToObject(deps, "minecraft", inst.mc.c_str());
    for (const MrpackLoaderKey &l : k_mrpack_loader_keys) {
        if (inst.loader != l.loader) continue;
        if (loader_version.empty()) {
            *err = format_alloc("Неизвестна версия %s у сборки — её нельзя записать в модпак",
                                inst.loader.c_str());
            return -1;
        }
        cJSON_AddStringToObject(deps, l.key, loader_version.c_str());
    }
    out = json_print(o);
    return 0;
}

// The chosen names, each an entry the export can take. -1 with err otherwise.
int check_chosen(const Instance &inst, const std::vector<std::string> &chosen,
                 std::vector<ExportEntry> &out, std::string *err) {
    std::vector<ExportEntry> all = mrpack_export_entries(inst);
    std::set<std::string> seen;
    for (const std::string &name : chosen) {
        if (!seen.insert(name).second) continue;
        auto it = std::find_if(all.begin(), all.end(),
                               [&](const ExportEntry &e) { return e.name == name; });
        if (it == all.end()) {
            *err = launcher_name(name)
                       ? format_alloc("Файлы лаунчера не экспортируются: %s", name.c_str())
                       : format_alloc("В сборке нет «%s»", name.c_str());
            return -1;
        }
        out.push_back(*it);
    }
    return 0;
}

// The pack must not be written into what it packs.
bool inside_instance(const Instance &inst, const std::string &target) {
    size_t slash = target.rfind('/');
    std::string parent = slash == std::string::npos ? "." : target.substr(0, slash);
    if (parent.empty()) parent = "/";
    char *dir = realpath(parent.c_str(), nullptr);
    char *root = realpath(instance_dir(inst).c_str(), nullptr);
    bool inside =
        dir && root && (std::string(dir) == root || str_starts_with(dir, std::string(root) + "/"));
    free(dir);
    free(root);
    return inside;
}

int write_pack(const std::string &target, const std::vector<PackFile> &files,
               const std::string &index, ExportSummary &sum, const Job *job, std::string *err) {
    ZipWriter w;
    if (zip_writer_open(w, target, err) != 0) return -1;
    if (zip_writer_add_data(w, "modrinth.index.json", index, err) != 0) return -1;
    long done = 0, total = static_cast<long>(files.size());
    for (const PackFile &f : files) {
        if (job_cancelled(job)) {
            *err = k_job_cancelled_text;
            return -1;
        }
        job_progress(job, done++, total, "Экспорт сборки");
        if (!f.url.empty()) {
            sum.listed++;
            continue;
        }
        if (zip_writer_add_file(w, "overrides/" + f.rel, f.path, err) != 0) return -1;
        sum.overrides++;
    }
    job_progress(job, total, total, "Экспорт сборки");
    if (zip_writer_finish(w, err) != 0) return -1;
    FileStat st;
    if (fs_stat(target, &st) == 0) sum.bytes = st.size;
    return 0;
}

} // namespace

std::vector<ExportEntry> mrpack_export_entries(const Instance &inst) {
    std::vector<ExportEntry> out;
    std::string dir = instance_dir(inst);
    for (const std::string &n : dir_list(dir).value_or(std::vector<std::string>{})) {
        if (launcher_name(n)) continue;
        struct stat st;
        if (lstat((dir + "/" + n).c_str(), &st) != 0) continue;
        if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) continue;
        bool is_dir = S_ISDIR(st.st_mode);
        out.push_back({n, is_dir, chosen_by_default(n, is_dir)});
    }
    std::sort(out.begin(), out.end(),
              [](const ExportEntry &a, const ExportEntry &b) { return a.name < b.name; });
    return out;
}

std::vector<std::string> mrpack_export_defaults(const Instance &inst) {
    std::vector<std::string> names;
    for (const ExportEntry &e : mrpack_export_entries(inst))
        if (e.chosen) names.push_back(e.name);
    return names;
}

int mrpack_export(const Instance &inst, const std::string &target,
                  const std::vector<std::string> &chosen, ExportSummary *out, std::string *err,
                  const Job *job) {
    std::string local_err;
    if (!err) err = &local_err;
    std::vector<ExportEntry> entries;
    if (check_chosen(inst, chosen, entries, err) != 0) return -1;
    if (inside_instance(inst, target)) {
        *err = format_alloc("Сохраните модпак вне папки сборки: %s", target.c_str());
        return -1;
    }
    job_message(job, "Экспорт сборки «%s» в %s", inst.name.c_str(), target.c_str());
    ExportSummary sum;
    std::vector<PackFile> files;
    std::string dir = instance_dir(inst);
    for (const ExportEntry &e : entries) {
        if (e.is_dir) {
            collect(dir + "/" + e.name, e.name + "/", files, sum.skipped);
            continue;
        }
        struct stat st;
        if (lstat((dir + "/" + e.name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
            files.push_back(
                {dir + "/" + e.name, e.name, static_cast<long long>(st.st_size), "", "", ""});
    }
    if (sum.skipped > 0) job_message(job, "Ссылок пропущено: %d", sum.skipped);
    std::string index;
    if (mark_modrinth_files(files, job, err) != 0 || index_json(inst, files, index, err) != 0)
        return -1;
    if (write_pack(target, files, index, sum, job, err) != 0) return -1;
    job_message(job, "Модпак готов: %s — с Modrinth: %d, в overrides/: %d, %s", target.c_str(),
                sum.listed, sum.overrides, amount_bytes(sum.bytes).c_str());
    if (out) *out = sum;
    return 0;
}
