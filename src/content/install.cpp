// Installs through the content service: slug resolution for CurseForge, the
// project's class deciding the type, a file for the instance's version and
// loader, data packs into a world, world archives into saves, manual
// downloads, and required dependencies followed with a seen set that ends cycles.
#include "content/install.h"

#include "base/archive.h"
#include "base/fs.h"
#include "base/json.h"
#include "config/datadir.h"
#include "content/install_direct.h"
#include "instances/content.h"
#include "net/download.h"
#include "net/http.h"
#include "net/service.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// One install_content call: the instance, the world that receives data
// packs, the seen set and manual list shared with every dependency, and the
// job the messages go to.
struct InstallRun {
    const Instance &inst;
    const std::optional<std::string> &world;
    const Job *job;
    StrList seen;
    std::string manual;
};

int install_via_service(InstallRun &run, const std::string &source, const std::string &id, int type,
                        int depth, std::string *err);

std::string id_text(const cJSON *n) {
    if (cJSON_IsString(n)) return n->valuestring;
    if (cJSON_IsNumber(n)) return format_alloc("%.0f", std::trunc(n->valuedouble));
    return "";
}

bool seen_has(const StrList &seen, const std::string &key) {
    return std::find(seen.begin(), seen.end(), key) != seen.end();
}

std::string seen_key(const std::string &source, const std::string &id) {
    std::string key = format_alloc("%s:%s", source.c_str(), id.c_str());
    if (key.size() > 255) key.resize(255);
    return key;
}

void manual_add(std::string &manual, const std::string &line) {
    if (!manual.empty()) manual += "\n";
    manual += line;
}

ContentType type_of_class(const cJSON *cls, int requested) {
    if (cJSON_IsNumber(cls)) {
        switch (cls->valueint) {
        case 12:
            return ContentType::ResourcePack;
        case 6552:
            return ContentType::Shader;
        case 6945:
            return ContentType::DataPack;
        case 17:
            return ContentType::World;
        case 4471:
            return ContentType::Modpack;
        default:
            return ContentType::Mod;
        }
    }
    if (cJSON_IsString(cls)) return content_type_parse(cls->valuestring);
    return requested < 0 ? ContentType::Mod : static_cast<ContentType>(requested);
}

bool array_has(const cJSON *arr, const std::string &value, bool ignore_case) {
    const cJSON *e;
    cJSON_ArrayForEach(e, arr) {
        if (!cJSON_IsString(e)) continue;
        if (ignore_case ? str_equal_ci(e->valuestring, value) : value == e->valuestring)
            return true;
    }
    return false;
}

// Pass 1: loader and version fit; pass 2: loader fits and the file names no version.
const cJSON *choose_file(const cJSON *files, const std::string &filter, const std::string &mc) {
    auto loader_ok = [&](const cJSON *f) {
        return filter.empty() || filter == "quilt" ||
               array_has(json_get(f, "loaders"), filter, true);
    };
    const cJSON *f;
    cJSON_ArrayForEach(f, files) {
        if (loader_ok(f) && array_has(json_get(f, "mc"), mc, false)) return f;
    }
    cJSON_ArrayForEach(f, files) {
        const cJSON *versions = json_get(f, "mc");
        if (loader_ok(f) && (!cJSON_IsArray(versions) || cJSON_GetArraySize(versions) == 0))
            return f;
    }
    return nullptr;
}

// Resolves a CurseForge slug by searching every type through the service.
int resolve_curseforge_slug(InstallRun &run, const std::string &slug, int type, int depth,
                            std::string *err) {
    int first = type < 0 ? 0 : type;
    std::vector<int> order = {first};
    for (int t = 0; t <= 5; t++)
        if (t != first) order.push_back(t);
    for (int t : order) {
        std::vector<SearchHit> hits;
        search_service(SearchSource::CurseForge, static_cast<ContentType>(t), slug, std::nullopt,
                       std::nullopt, hits, nullptr);
        for (const SearchHit &h : hits) {
            // Only a numeric id ends the resolution; anything else would search again.
            if (str_equal_ci(h.slug, slug) && is_decimal_id(h.id))
                return install_via_service(run, "curseforge", h.id, type, depth, err);
        }
        if (service_is_down()) {
            if (err) *err = format_alloc("API %s недоступен", service_base_url().c_str());
            return k_install_failed;
        }
    }
    if (err) *err = format_alloc("Проект «%s» не найден на CurseForge", slug.c_str());
    return k_install_failed;
}

// The datapacks folder of the target world, or of the instance's only world.
int datapack_folder(const InstallRun &run, const std::string &title, std::string &dir,
                    std::string *err) {
    const Instance &inst = run.inst;
    std::string world;
    if (run.world && !run.world->empty()) {
        world = *run.world;
        if (!content_filename_safe(world)) {
            if (err)
                *err = format_alloc("Датапак «%s»: некорректное имя мира «%s»", title.c_str(),
                                    world.c_str());
            return -1;
        }
    } else {
        StrList worlds = world_list(inst);
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
    dir = instance_dir(inst) + "/saves/" + world + "/datapacks";
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

// Unpacks a world archive into a temporary folder in the cache and moves the
// world (or the archive's world folders) into saves.
int world_unpack(const std::string &archive, const std::string &filename, const Instance &inst) {
    std::string tmp = fs_unique_name(datapaths().cache + "/world-");
    fs_mkdirs(tmp);
    std::string saves = instance_dir(inst) + "/saves";
    int rc = archive_extract(archive, tmp, 0, "");
    if (rc == 0) rc = fs_mkdirs(saves);
    if (rc == 0 && fs_exists(tmp + "/level.dat")) {
        std::string stem = filename.substr(0, filename.rfind('.'));
        if (!content_filename_safe(stem)) stem = "world";
        rc = move_tree(tmp, free_world_path(saves, stem));
    } else if (rc == 0) {
        auto names = dir_list(tmp);
        if (!names || names->empty()) rc = -1;
        for (const std::string &n : names.value_or(StrList{})) {
            if (move_tree(tmp + "/" + n, free_world_path(saves, n)) != 0) rc = -1;
        }
    }
    fs_remove_tree(tmp);
    fs_delete(archive);
    return rc;
}

void follow_dependencies(InstallRun &run, const cJSON *deps, const std::string &source,
                         const std::string &title, int depth) {
    const cJSON *d;
    cJSON_ArrayForEach(d, deps) {
        const cJSON *kind = json_get(d, "type");
        std::string dep_id = id_text(json_get(d, "id"));
        if (!cJSON_IsString(kind) || dep_id.empty()) continue;
        std::string dep_source = json_str(d, "source", source);
        if (strcmp(kind->valuestring, "incompatible") == 0) {
            if (content_is_installed(run.inst, dep_source, dep_id))
                job_message(run.job, "Внимание: «%s» несовместим с уже установленным %s:%s",
                            title.c_str(), dep_source.c_str(), dep_id.c_str());
        } else if (strcmp(kind->valuestring, "required") == 0 && depth < k_install_max_depth) {
            std::string dep_err;
            int rc = install_via_service(run, dep_source, dep_id,
                                         static_cast<int>(ContentType::Mod), depth + 1, &dep_err);
            if (rc == k_install_failed) {
                job_message(run.job, "Зависимость не установлена: %s",
                            dep_err.empty() ? dep_id.c_str() : dep_err.c_str());
                manual_add(run.manual, format_alloc("• зависимость %s:%s не установлена: %s",
                                                    dep_source.c_str(), dep_id.c_str(),
                                                    dep_err.empty() ? "?" : dep_err.c_str()));
            }
        }
    }
}

int install_via_service(InstallRun &run, const std::string &source, const std::string &p, int type,
                        int depth, std::string *err) {
    const Instance &inst = run.inst;
    StrList &seen = run.seen;
    if (source == "curseforge" && !p.empty() && !is_decimal_id(p))
        return resolve_curseforge_slug(run, p, type, depth, err);
    if (seen_has(seen, seen_key(source, p))) return k_install_ok;
    seen.push_back(seen_key(source, p));

    JsonPtr project;
    std::string req_err;
    if (service_project(source, p, project, &req_err) != 0) {
        if (err)
            *err = format_alloc("%s:%s — %s", source.c_str(), p.c_str(),
                                req_err.empty() ? "ошибка" : req_err.c_str());
        return k_install_failed;
    }
    std::string id = id_text(json_get(project.get(), "id"));
    if (id.empty()) id = p;
    std::string title = json_str(project.get(), "name", p);
    if (!seen_has(seen, seen_key(source, id))) seen.push_back(seen_key(source, id));

    ContentType t = depth == 0 && type > 0 ? static_cast<ContentType>(type)
                                           : type_of_class(json_get(project.get(), "class"), type);
    if (t == ContentType::Modpack) {
        if (err)
            *err = format_alloc("«%s» — модпак: используйте «zyl modpack %s:%s» / кнопку «Создать "
                                "сборку»",
                                title.c_str(), source.c_str(), id.c_str());
        return k_install_failed;
    }
    if (content_is_installed(inst, source, id)) {
        job_message(run.job, "%s%s уже установлен", depth > 0 ? "  зависимость " : "",
                    title.c_str());
        return k_install_ok;
    }
    std::string filter;
    if (t == ContentType::Mod) {
        if (inst.loader.empty() || str_equal_ci(inst.loader, "Vanilla")) {
            if (err)
                *err =
                    format_alloc("Сборка «%s» — Vanilla: моды требуют Fabric/Quilt/Forge/NeoForge",
                                 inst.name.c_str());
            return k_install_failed;
        }
        filter = loader_filter_word(inst.loader);
    }
    JsonPtr answer;
    std::string path =
        format_alloc("/v1/%s/%s/files?mc=%s&loader=%s", source.c_str(), url_escape(id).c_str(),
                     url_escape(inst.mc).c_str(), url_escape(filter).c_str());
    if (service_get(path, answer, &req_err) != 0) {
        if (err) *err = req_err;
        return k_install_failed;
    }
    const cJSON *file = choose_file(json_get(answer.get(), "files"), filter, inst.mc);
    if (!file) {
        if (err)
            *err = format_alloc("У «%s» нет файлов для Minecraft %s%s%s", title.c_str(),
                                inst.mc.c_str(), filter.empty() ? "" : " + ",
                                filter.empty() ? "" : inst.loader.c_str());
        return k_install_failed;
    }
    std::string filename = json_str(file, "filename");
    std::string url = json_str(file, "url");
    auto manual_page = json_str_opt(file, "manual");
    std::string sha1 = json_str(file, "sha1");
    std::string proxied = json_str(file, "proxied");
    std::string file_id = id_text(json_get(file, "id"));

    std::string dir;
    if (t == ContentType::DataPack) {
        if (datapack_folder(run, title, dir, err) != 0) return k_install_failed;
    } else if (t == ContentType::World) {
        dir = instance_dir(inst) + "/saves";
    } else {
        dir = instance_dir(inst) + "/" + content_folder_name(t);
    }
    if (manual_page && url.empty()) {
        job_message(run.job,
                    "«%s»: автор запретил скачивание сторонними лаунчерами — нужна ручная загрузка",
                    title.c_str());
        manual_add(run.manual,
                   format_alloc("• %s — скачайте вручную: %s\n  и положите файл в папку: %s",
                                title.c_str(), manual_page->c_str(), dir.c_str()));
        return k_install_manual;
    }
    if (!content_filename_safe(filename) || url.empty()) {
        if (err) *err = format_alloc("У «%s» нет файла для скачивания", title.c_str());
        return k_install_failed;
    }

    fs_mkdirs(dir);
    job_message(run.job, "%sСкачиваю %s → %s", depth > 0 ? "  зависимость: " : "", title.c_str(),
                filename.c_str());
    job_progress(run.job, 0, 0, title.c_str());
    int rc;
    if (t == ContentType::World) {
        // A name of this install alone: two installs of one map at once do not meet.
        std::string archive = fs_unique_name(datapaths().cache + "/" + filename + ".");
        fs_mkdirs(datapaths().cache);
        rc = download_via_service(proxied, url, archive, sha1, run.job);
        if (rc == 0) {
            rc = world_unpack(archive, filename, inst);
        } else {
            fs_delete(archive);
        }
    } else {
        rc = download_via_service(proxied, url, dir + "/" + filename, sha1, run.job);
    }
    if (rc != 0) {
        if (err)
            *err = job_cancelled(run.job) ? k_job_cancelled_text
                                          : format_alloc("Не удалось скачать %s", filename.c_str());
        return k_install_failed;
    }
    content_put(inst, {source, id, file_id, filename, sha1, title, t});
    follow_dependencies(run, json_get(file, "dependencies"), source, title, depth);
    job_message(run.job, "%s«%s» установлен в «%s»", depth > 0 ? "  " : "", title.c_str(),
                inst.name.c_str());
    return k_install_ok;
}

} // namespace

int install_content(SearchSource source, int type, const std::string &id, const Instance &inst,
                    const std::optional<std::string> &world, std::string *msg, const Job *job) {
    InstallRun run{inst, world, job, {}, {}};
    const std::string &manual = run.manual;
    std::string err;
    const char *word = source == SearchSource::CurseForge ? "curseforge" : "modrinth";
    int rc = install_via_service(run, word, id, type, 0, &err);
    bool direct_type = type == -1 || type == static_cast<int>(ContentType::Mod) ||
                       type == static_cast<int>(ContentType::ResourcePack) ||
                       type == static_cast<int>(ContentType::Shader);
    if (rc == k_install_failed && service_is_down() && direct_type && !job_cancelled(job)) {
        std::string direct;
        rc = source == SearchSource::CurseForge
                 ? install_curseforge_direct(id, inst, 0, &direct, job)
                 : install_modrinth_direct(type < 0 ? ContentType::Mod
                                                    : static_cast<ContentType>(type),
                                           id, inst, 0, &direct, job);
        if (rc == k_install_needs_service) {
            if (msg) *msg = err;
            return k_install_failed;
        }
        if (rc != k_install_ok && !direct.empty() && msg)
            *msg = format_alloc("API %s недоступен, прямой доступ тоже не удался:\n%s",
                                service_base_url().c_str(), direct.c_str());
        return rc;
    }
    if (!msg) return rc;
    if (manual.empty()) {
        *msg = err;
    } else if (rc == k_install_manual) {
        *msg = format_alloc("Автор запретил автоматическое скачивание:\n%s", manual.c_str());
    } else if (!err.empty()) {
        *msg = err + "\n" + manual;
    } else {
        *msg = format_alloc("Нужна ручная загрузка:\n%s", manual.c_str());
    }
    return rc;
}
