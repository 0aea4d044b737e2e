// Content updates: look up the file's record, ask its source for the newest
// compatible file, set the installed one aside, reinstall that file through
// the install dispatcher and put the old state back on failure; the update
// check and "update all" on top.
#include "content/update.h"

#include "base/fs.h"
#include "base/strings.h"
#include "content/install.h"
#include "content/install_file.h"
#include "instances/content.h"
#include "net/service.h"

#include <algorithm>
#include <map>

namespace {

bool in_folder_type(ContentType t) {
    return t == ContentType::Mod || t == ContentType::ResourcePack || t == ContentType::Shader;
}

// Where the record's file lies; none for what has no single file (a world,
// a data pack without a known world).
std::optional<std::string> record_path(const Instance &inst, const ContentRecord &rec) {
    if (in_folder_type(rec.type))
        return instance_dir(inst) + "/" + content_folder_name(rec.type) + "/" + rec.filename;
    if (rec.type == ContentType::DataPack && fs_filename_safe(rec.world))
        return instance_dir(inst) + "/saves/" + rec.world + "/datapacks/" + rec.filename;
    return std::nullopt;
}

// What the installed file is called in messages: its version, else its name.
std::string installed_label(const ContentRecord &rec) {
    return rec.version.empty() ? rec.filename : version_label(rec.version, rec.channel);
}

bool switched_off(const Instance &inst, const ContentRecord &rec, const std::string &listed) {
    if (rec.disabled || str_ends_with(listed, k_disabled_suffix)) return true;
    std::optional<std::string> path = record_path(inst, rec);
    return path && in_folder_type(rec.type) && !fs_exists(*path) &&
           fs_exists(*path + k_disabled_suffix);
}

// The record of an updatable file; none with msg for a file that is not.
std::optional<ContentRecord> updatable(const Instance &inst, const std::string &filename,
                                       std::string *msg) {
    std::optional<ContentRecord> rec = content_find_file(inst, filename);
    if (!rec || rec->project.empty() || !content_source_parse(rec->source) ||
        !fs_filename_safe(filename) || !fs_filename_safe(rec->filename)) {
        *msg = format_alloc("«%s» установлен вручную — обновить нельзя", filename.c_str());
        return std::nullopt;
    }
    if (switched_off(inst, *rec, filename)) {
        *msg = format_alloc("«%s» отключён — включите его, чтобы обновить", rec->title.c_str());
        return std::nullopt;
    }
    return rec;
}

// Sets the file aside, installs the chosen version and puts everything back
// when that fails.
int replace_file(const Instance &inst, const ContentRecord &rec, const ContentVersion &latest,
                 const std::optional<std::string> &world, std::string *msg, const Job *job) {
    std::optional<std::string> path = record_path(inst, rec);
    std::string backup = path ? content_backup_path(*path) : "";
    bool set_aside = path && fs_rename_replace(*path, backup) == 0;
    // Without its record the project no longer counts as installed.
    content_forget(inst, rec.filename);

    std::optional<std::string> target = world;
    if (!target && !rec.world.empty()) target = rec.world;
    ContentSource source = *content_source_parse(rec.source);
    int rc = install_content(source, rec.type, rec.project, inst, target, msg, job, latest.id);
    if (rc != k_install_ok) {
        if (set_aside) fs_rename_replace(backup, *path);
        // The record exactly as it was: title, file id and SHA-1 included.
        content_put(inst, rec);
        return rc;
    }
    if (set_aside) fs_delete(backup);
    // The reinstall's own note (dependencies to fetch by hand, say) follows.
    std::string updated =
        format_alloc("Обновлено: %s %s → %s", rec.title.c_str(), installed_label(rec).c_str(),
                     version_label(latest.version, latest.channel).c_str());
    *msg = msg->empty() ? updated : updated + "\n" + *msg;
    return k_install_ok;
}

// The newest compatible file of a record's project through the content
// service's update check answer; -1 when the answer has none.
int newest_in(const cJSON *projects, const ContentRecord &rec, const Instance &inst,
              ContentVersion &out) {
    const cJSON *files = json_get(json_get(projects, rec.project.c_str()), "files");
    std::vector<ContentVersion> list =
        service_compatible_files(files, content_loader_filter(rec.type, inst), inst.mc);
    int i = version_choose(list, std::nullopt);
    if (i < 0 || !version_replaces(list, i, rec.file, rec.sha1)) return -1;
    out = list[i];
    out.raw = nullptr; // the answer goes away
    return 0;
}

// The same for one project at a time, straight from the sources once the
// service is unreachable; -1 when it has none (or the source failed).
int newest_direct(const ContentRecord &rec, const Instance &inst, ContentVersion &out) {
    ProjectVersions pv;
    if (content_versions(*content_source_parse(rec.source), rec.type, rec.project, inst, pv,
                         nullptr) != 0)
        return -1;
    int i = version_choose(pv.versions, std::nullopt);
    if (i < 0 || !version_replaces(pv.versions, i, rec.file, rec.sha1)) return -1;
    out = pv.versions[i];
    out.raw = nullptr;
    return 0;
}

struct Candidate {
    std::string listed;
    ContentRecord rec;
    size_t order; // in the listing
};

// The enabled files from a catalogue, with their records, per source word.
std::map<std::string, std::vector<Candidate>> candidates(const Instance &inst) {
    std::map<std::string, std::vector<Candidate>> by_source;
    std::vector<ContentFile> files = content_list_files(inst);
    for (size_t i = 0; i < files.size(); i++) {
        const ContentFile &f = files[i];
        if (f.disabled || !in_folder_type(f.type) || !content_source_parse(f.source)) continue;
        std::optional<ContentRecord> rec = content_find_file(inst, f.filename);
        if (!rec || rec->project.empty() || rec->disabled) continue;
        by_source[f.source].push_back({f.filename, *rec, i});
    }
    return by_source;
}

} // namespace

std::string content_backup_path(const std::string &path) {
    return format_alloc("%s.zyl-old", path.c_str());
}

int content_update(const Instance &inst, const std::string &filename,
                   const std::optional<std::string> &world, std::string *msg, const Job *job) {
    std::string local;
    if (!msg) msg = &local;
    msg->clear();
    std::optional<ContentRecord> rec = updatable(inst, filename, msg);
    if (!rec) return k_install_failed;
    ProjectVersions pv;
    if (content_versions(*content_source_parse(rec->source), rec->type, rec->project, inst, pv,
                         msg) != 0)
        return k_install_failed;
    int i = version_choose(pv.versions, std::nullopt);
    if (!version_replaces(pv.versions, i, rec->file, rec->sha1)) {
        *msg = format_alloc("«%s» %s — уже последняя версия", rec->title.c_str(),
                            installed_label(*rec).c_str());
        return k_install_ok;
    }
    return replace_file(inst, *rec, pv.versions[i], world, msg, job);
}

int content_outdated(const Instance &inst, std::vector<OutdatedItem> &items, std::string *err,
                     const Job *job) {
    items.clear();
    std::vector<std::pair<size_t, OutdatedItem>> found;
    for (auto &[source, list] : candidates(inst)) {
        if (job_cancelled(job)) {
            if (err) *err = k_job_cancelled_text;
            return -1;
        }
        std::vector<ServiceProjectQuery> queries;
        for (const Candidate &c : list)
            queries.push_back({c.rec.project, content_loader_filter(c.rec.type, inst)});
        JsonPtr answer;
        std::string service_err;
        bool batch = service_project_updates(source, inst.mc, queries, answer, &service_err) == 0;
        if (!batch && !service_is_down()) {
            if (err) *err = service_err;
            return -1;
        }
        for (const Candidate &c : list) {
            OutdatedItem item{c.listed, c.rec.title, installed_label(c.rec), {}};
            int rc = batch ? newest_in(json_get(answer.get(), "projects"), c.rec, inst, item.latest)
                           : newest_direct(c.rec, inst, item.latest);
            if (rc == 0) found.push_back({c.order, item});
        }
    }
    std::sort(found.begin(), found.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    for (auto &[order, item] : found)
        items.push_back(std::move(item));
    return 0;
}

int content_update_all(const Instance &inst, std::string *msg, const Job *job) {
    std::string local;
    if (!msg) msg = &local;
    std::vector<OutdatedItem> items;
    if (content_outdated(inst, items, msg, job) != 0) return -1;
    if (items.empty()) {
        *msg = "Обновлений нет — всё последних версий";
        return 0;
    }
    int updated = 0;
    std::string lines;
    for (const OutdatedItem &item : items) {
        std::string one;
        std::optional<ContentRecord> rec = updatable(inst, item.filename, &one);
        int rc = k_install_failed;
        if (job_cancelled(job))
            one = k_job_cancelled_text;
        else if (rec)
            rc = replace_file(inst, *rec, item.latest, std::nullopt, &one, job);
        if (rc == k_install_ok)
            updated++;
        else
            one = format_alloc("Не обновлено: %s — %s", item.title.c_str(),
                               one.empty() ? "?" : one.c_str());
        lines += one + "\n";
    }
    int failed = static_cast<int>(items.size()) - updated;
    *msg = lines + (failed == 0 ? format_alloc("Обновлено файлов: %d", updated)
                                : format_alloc("Обновлено файлов: %d, не обновлено: %d", updated,
                                               failed));
    return failed == 0 ? 0 : -1;
}
