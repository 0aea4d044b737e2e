// Installing a chosen file: its folder, the download (worlds unpacked into
// saves), the inventory record, and the dependencies.
#include "content/install_file.h"

#include "base/archive.h"
#include "base/fs.h"
#include "config/datadir.h"
#include "instances/content.h"
#include "net/download.h"

#include <cstdio>

namespace {

void manual_add(std::string &manual, const std::string &line) {
    if (!manual.empty()) manual += "\n";
    manual += line;
}

// The datapacks folder of the run's world, or of the instance's only world;
// world receives the world's name.
int datapack_folder(const InstallRun &run, const std::string &title, std::string &dir,
                    std::string &world, std::string *err) {
    if (run.world && !run.world->empty()) {
        world = *run.world;
        if (!fs_filename_safe(world)) {
            if (err)
                *err = format_alloc("Датапак «%s»: некорректное имя мира «%s»", title.c_str(),
                                    world.c_str());
            return -1;
        }
    } else {
        StrList worlds = world_list(run.inst);
        if (worlds.empty()) {
            if (err)
                *err = format_alloc("Датапак «%s»: в сборке нет миров — создайте мир в игре",
                                    title.c_str());
            return -1;
        }
        if (worlds.size() > 1) {
            if (err)
                *err = format_alloc("Датапак «%s»: укажите мир (--world), есть: %s%s",
                                    title.c_str(), worlds[0].c_str(), " ...");
            return -1;
        }
        world = worlds[0];
    }
    dir = instance_dir(run.inst) + "/saves/" + world + "/datapacks";
    return 0;
}

// The folder the file goes into (and a data pack's world); -1 with err for a
// data pack without a world.
int target_folder(const InstallRun &run, const ChosenFile &f, std::string &dir, std::string &world,
                  std::string *err) {
    if (f.type == ContentType::DataPack) return datapack_folder(run, f.title, dir, world, err);
    if (f.type == ContentType::World)
        dir = instance_dir(run.inst) + "/saves";
    else
        dir = instance_dir(run.inst) + "/" + content_folder_name(f.type);
    return 0;
}

// saves/<name>, or saves/<name>-2, -3 ... when a world of that name exists:
// an installed map never replaces a world the player has.
std::string free_world_path(const std::string &saves, const std::string &name) {
    std::string path = saves + "/" + name;
    for (int i = 2; fs_exists(path); i++)
        path = format_alloc("%s/%s-%d", saves.c_str(), name.c_str(), i);
    return path;
}

int move_tree(const std::string &from, const std::string &to) {
    if (rename(from.c_str(), to.c_str()) == 0) return 0;
    return fs_copy_tree(from, to);
}

// Moves the unpacked world (level.dat at the top) or the archive's world
// folders into saves.
int place_worlds(const std::string &unpacked, const std::string &filename,
                 const std::string &saves) {
    if (fs_exists(unpacked + "/level.dat")) {
        std::string stem = filename.substr(0, filename.rfind('.'));
        if (!fs_filename_safe(stem)) stem = "world";
        return move_tree(unpacked, free_world_path(saves, stem));
    }
    auto names = dir_list(unpacked);
    int rc = !names || names->empty() ? -1 : 0;
    for (const std::string &n : names.value_or(StrList{})) {
        if (move_tree(unpacked + "/" + n, free_world_path(saves, n)) != 0) rc = -1;
    }
    return rc;
}

// Unpacks a world archive into a scratch folder of the cache and moves the
// world into saves; the archive and the scratch folder go either way.
int world_unpack(const std::string &archive, const std::string &filename, const Instance &inst) {
    fs_remove_stale_unique(datapaths().cache, "world-"); // of installs that were killed
    std::string tmp = fs_unique_name(datapaths().cache + "/world-");
    fs_mkdirs(tmp);
    std::string saves = instance_dir(inst) + "/saves";
    int rc = archive_extract(archive, tmp, 0, "");
    if (rc == 0) rc = fs_mkdirs(saves);
    if (rc == 0) rc = place_worlds(tmp, filename, saves);
    fs_remove_tree(tmp);
    fs_delete(archive);
    return rc;
}

// Fetches the file to dest: through the content service's path when the
// installer went through the service, else with the download engine's
// source order.
int fetch(const InstallRun &run, const ChosenFile &f, const std::string &dest) {
    if (f.proxied) return download_via_service(*f.proxied, f.url, dest, f.sha1, run.job);
    return download_one(f.url, dest, f.sha1, run.job);
}

// Fetches the file into dir; a world is unpacked into saves instead.
int fetch_into(const InstallRun &run, const ChosenFile &f, const std::string &dir) {
    if (f.type != ContentType::World) return fetch(run, f, dir + "/" + f.filename);
    // A name of this install alone: two installs of one map at once do not meet.
    std::string cache = datapaths().cache;
    std::string archive = fs_unique_name(cache + "/" + f.filename + ".");
    fs_mkdirs(cache);
    if (fetch(run, f, archive) != 0) {
        fs_delete(archive);
        return -1;
    }
    return world_unpack(archive, f.filename, run.inst);
}

// The walk stops: said once, naming the project whose dependencies led there.
void walk_bounded(InstallRun &run, const ChosenFile &f) {
    if (run.bounded) return;
    run.bounded = true;
    job_message(run.job, "Зависимостей больше %d — остальные зависимости «%s» не устанавливаю",
                k_install_max_dependencies, f.title.c_str());
    manual_add(run.manual, format_alloc("• зависимости «%s»: больше %d, остальные не установлены",
                                        f.title.c_str(), k_install_max_dependencies));
}

void follow_dependencies(InstallRun &run, const ChosenFile &f, const std::vector<Dependency> &deps,
                         int depth, const DependencyInstaller &install) {
    for (const Dependency &d : deps) {
        const char *word = content_source_word(d.source);
        if (!d.required) {
            if (content_is_installed(run.inst, word, d.project))
                job_message(run.job, "Внимание: «%s» несовместим с уже установленным %s:%s",
                            f.title.c_str(), word, d.project.c_str());
            continue;
        }
        if (depth >= k_install_max_depth) continue;
        if (run.dependencies >= k_install_max_dependencies) {
            walk_bounded(run, f);
            return;
        }
        run.dependencies++;
        std::string err;
        if (install(run, d, depth + 1, &err) != k_install_failed) continue;
        job_message(run.job, "Зависимость не установлена: %s",
                    err.empty() ? d.project.c_str() : err.c_str());
        manual_add(run.manual, format_alloc("• зависимость %s:%s не установлена: %s", word,
                                            d.project.c_str(), err.empty() ? "?" : err.c_str()));
    }
}

// The project's own record when the player picked a version of a project
// that is installed already.
std::optional<ContentRecord> installed_record(const InstallRun &run, const ChosenFile &f,
                                              int depth) {
    if (!install_picked_version(run, depth)) return std::nullopt;
    const char *word = content_source_word(f.source);
    if (!content_is_installed(run.inst, word, f.project)) return std::nullopt;
    JsonPtr arr = content_load(run.inst);
    const cJSON *e;
    cJSON_ArrayForEach(e, arr.get()) {
        ContentRecord r = content_record_of(e);
        if (r.source == word && r.project == f.project) return r;
    }
    return std::nullopt;
}

// After the picked version arrived: the file it replaces goes, switched off
// or not (a data pack or world stays where it is).
void drop_replaced(const InstallRun &run, const ContentRecord &old, const ChosenFile &f) {
    if (old.type != ContentType::Mod && old.type != ContentType::ResourcePack &&
        old.type != ContentType::Shader)
        return;
    std::string dir = instance_dir(run.inst) + "/" + content_folder_name(old.type) + "/";
    if (!fs_filename_safe(old.filename)) return;
    if (old.filename != f.filename || old.type != f.type) fs_delete(dir + old.filename);
    fs_delete(dir + old.filename + k_disabled_suffix);
}

StrList required_keys(const std::vector<Dependency> &deps) {
    StrList keys;
    for (const Dependency &d : deps)
        if (d.required && !d.project.empty())
            keys.push_back(std::string(content_source_word(d.source)) + ":" + d.project);
    return keys;
}

} // namespace

int install_chosen(InstallRun &run, const ChosenFile &f, const std::vector<Dependency> &deps,
                   int depth, const DependencyInstaller &install_dependency, std::string *err,
                   InstallVoice voice) {
    std::string dir, world;
    if (target_folder(run, f, dir, world, err) != 0) return k_install_failed;
    std::optional<ContentRecord> old = installed_record(run, f, depth);
    if (old && !old->file.empty() && old->file == f.file_id) {
        job_message(run.job, "«%s» %s уже установлен", f.title.c_str(),
                    version_label(f.version, f.channel).c_str());
        return k_install_ok;
    }
    if (!f.manual.empty() && f.url.empty()) {
        job_message(run.job,
                    "«%s»: автор запретил скачивание сторонними лаунчерами — нужна ручная загрузка",
                    f.title.c_str());
        manual_add(run.manual,
                   format_alloc("• %s — скачайте вручную: %s\n  и положите файл в папку: %s",
                                f.title.c_str(), f.manual.c_str(), dir.c_str()));
        return k_install_manual;
    }
    if (!fs_filename_safe(f.filename) || f.url.empty()) {
        if (err) *err = format_alloc("У «%s» нет файла для скачивания", f.title.c_str());
        return k_install_failed;
    }
    fs_mkdirs(dir);
    job_message(run.job, "%sСкачиваю %s → %s", install_download_prefix(depth), f.shown.c_str(),
                f.filename.c_str());
    job_progress(run.job, 0, 0, f.title.c_str());
    if (fetch_into(run, f, dir) != 0) {
        if (err)
            *err = job_cancelled(run.job)
                       ? k_job_cancelled_text
                       : format_alloc("Не удалось скачать %s", f.filename.c_str());
        return k_install_failed;
    }
    if (old) drop_replaced(run, *old, f);
    ContentRecord rec = content_record(content_source_word(f.source), f.project, f.file_id,
                                       f.filename, f.sha1, f.title, f.type);
    rec.version = f.version;
    rec.channel = f.channel;
    rec.world = world;
    rec.required = required_keys(deps);
    content_put(run.inst, rec);
    follow_dependencies(run, f, deps, depth, install_dependency);
    job_message(run.job, "%s«%s» установлен в «%s»", voice.indent_done && depth > 0 ? "  " : "",
                f.title.c_str(), run.inst.name.c_str());
    return k_install_ok;
}

const char *install_download_prefix(int depth) {
    return depth > 0 ? "  зависимость: " : "";
}

const char *install_installed_prefix(int depth) {
    return depth > 0 ? "  зависимость " : "";
}

bool is_decimal_id(const std::string &text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

bool instance_is_vanilla(const Instance &inst) {
    return inst.loader.empty() || str_equal_ci(inst.loader, "Vanilla");
}

bool install_picked_version(const InstallRun &run, int depth) {
    return depth == 0 && run.version.has_value();
}

void chosen_set_version(ChosenFile &f, const ContentVersion &v) {
    f.file_id = v.id;
    f.filename = v.filename;
    f.sha1 = v.sha1;
    f.version = v.version;
    f.channel = v.channel;
}

ChosenFile chosen_file_of(ContentSource source, const std::string &project,
                          const std::string &title, ContentType type) {
    ChosenFile f;
    f.source = source;
    f.project = project;
    f.title = title;
    f.type = type;
    return f;
}
