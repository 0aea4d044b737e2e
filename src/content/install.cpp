// Installs through the content service: slug resolution for CurseForge, the
// project's class deciding the type, a file for the instance's version and
// loader, then the shared install of the chosen file with its dependencies
// (a seen set ends cycles). The dispatcher falls back to the direct
// installers when the service is unreachable.
#include "content/install.h"

#include "base/json.h"
#include "content/curseforge.h"
#include "content/install_direct.h"
#include "content/install_file.h"
#include "content/search.h"
#include "instances/content.h"
#include "net/http.h"
#include "net/service.h"

#include <algorithm>

namespace {

int install_via_service(InstallRun &run, ContentSource source, const std::string &ref,
                        std::optional<ContentType> type, int depth, std::string *err);

bool seen_add(StrList &seen, ContentSource source, const std::string &id) {
    std::string key = format_alloc("%s:%s", content_source_word(source), id.c_str());
    if (key.size() > 255) key.resize(255);
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) return false;
    seen.push_back(key);
    return true;
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

// Resolves a CurseForge slug by searching every type through the service,
// the requested one (mod when none) first.
int resolve_curseforge_slug(InstallRun &run, const std::string &slug,
                            std::optional<ContentType> type, int depth, std::string *err) {
    int first = static_cast<int>(type.value_or(ContentType::Mod));
    std::vector<int> order = {first};
    for (int t = 0; t <= 5; t++)
        if (t != first) order.push_back(t);
    for (int t : order) {
        std::vector<SearchHit> hits;
        search_service(ContentSource::CurseForge, static_cast<ContentType>(t), slug, std::nullopt,
                       std::nullopt, hits, nullptr);
        for (const SearchHit &h : hits) {
            // Only a numeric id ends the resolution; anything else would search again.
            if (str_equal_ci(h.slug, slug) && is_decimal_id(h.id))
                return install_via_service(run, ContentSource::CurseForge, h.id, type, depth, err);
        }
        if (service_is_down()) {
            if (err) *err = format_alloc("API %s недоступен", service_base_url().c_str());
            return k_install_failed;
        }
    }
    if (err) *err = format_alloc("Проект «%s» не найден на CurseForge", slug.c_str());
    return k_install_failed;
}

// The type the project is installed as: the user's explicit type at the top
// level (mod counts as none), else the project's class, else the request.
ContentType type_for(const cJSON *project, std::optional<ContentType> requested, int depth) {
    if (depth == 0 && requested && *requested != ContentType::Mod) return *requested;
    const cJSON *cls = json_get(project, "class");
    if (cJSON_IsNumber(cls)) return curseforge_class_type(cls->valueint);
    if (cJSON_IsString(cls)) return content_type_parse(cls->valuestring);
    return requested.value_or(ContentType::Mod);
}

// The dependencies the chosen file names; "source" defaults to the project's.
std::vector<Dependency> dependencies_of(const cJSON *file, ContentSource source) {
    std::vector<Dependency> deps;
    const cJSON *d;
    cJSON_ArrayForEach(d, json_get(file, "dependencies")) {
        std::string kind = json_str(d, "type");
        std::string id = json_id_text(json_get(d, "id"));
        if ((kind != "required" && kind != "incompatible") || id.empty()) continue;
        std::optional<std::string> word = json_str_opt(d, "source");
        std::optional<ContentSource> dep_source =
            word ? content_source_parse(*word) : std::optional<ContentSource>(source);
        if (!dep_source) continue; // a catalogue we do not install from
        deps.push_back({*dep_source, id, "", kind == "required"});
    }
    return deps;
}

// The service's file for the instance; -1 with err when there is none.
int file_for(const InstallRun &run, ContentSource source, const std::string &id,
             const std::string &title, ContentType t, JsonPtr &answer, const cJSON *&file,
             std::string *err) {
    const Instance &inst = run.inst;
    std::string filter;
    if (t == ContentType::Mod) {
        if (instance_is_vanilla(inst)) {
            if (err)
                *err =
                    format_alloc("Сборка «%s» — Vanilla: моды требуют Fabric/Quilt/Forge/NeoForge",
                                 inst.name.c_str());
            return -1;
        }
        filter = loader_filter_word(inst.loader);
    }
    if (service_project_files(content_source_word(source), id, inst.mc, filter, answer, err) != 0)
        return -1;
    file = choose_file(json_get(answer.get(), "files"), filter, inst.mc);
    if (!file && err)
        *err =
            format_alloc("У «%s» нет файлов для Minecraft %s%s%s", title.c_str(), inst.mc.c_str(),
                         filter.empty() ? "" : " + ", filter.empty() ? "" : inst.loader.c_str());
    return file ? 0 : -1;
}

ChosenFile chosen_from(const cJSON *file, ContentSource source, const std::string &id,
                       const std::string &title, ContentType t) {
    ChosenFile f = chosen_file_of(source, id, title, t);
    f.shown = title;
    f.file_id = json_id_text(json_get(file, "id"));
    f.filename = json_str(file, "filename");
    f.url = json_str(file, "url");
    f.proxied = json_str(file, "proxied");
    f.sha1 = json_str(file, "sha1");
    f.manual = json_str(file, "manual");
    return f;
}

int install_via_service(InstallRun &run, ContentSource source, const std::string &ref,
                        std::optional<ContentType> type, int depth, std::string *err) {
    if (source == ContentSource::CurseForge && !ref.empty() && !is_decimal_id(ref))
        return resolve_curseforge_slug(run, ref, type, depth, err);
    if (!seen_add(run.seen, source, ref)) return k_install_ok;
    JsonPtr project;
    std::string req_err;
    if (service_project(content_source_word(source), ref, project, &req_err) != 0) {
        if (err)
            *err = format_alloc("%s:%s — %s", content_source_word(source), ref.c_str(),
                                req_err.empty() ? "ошибка" : req_err.c_str());
        return k_install_failed;
    }
    std::string id = json_id_text(json_get(project.get(), "id"));
    if (id.empty()) id = ref;
    std::string title = json_str(project.get(), "name", ref);
    seen_add(run.seen, source, id);
    ContentType t = type_for(project.get(), type, depth);
    if (t == ContentType::Modpack) {
        if (err)
            *err = format_alloc("«%s» — модпак: используйте «zyl modpack %s:%s» / кнопку «Создать "
                                "сборку»",
                                title.c_str(), content_source_word(source), id.c_str());
        return k_install_failed;
    }
    if (content_is_installed(run.inst, content_source_word(source), id)) {
        job_message(run.job, "%s%s уже установлен", install_installed_prefix(depth), title.c_str());
        return k_install_ok;
    }
    JsonPtr answer;
    const cJSON *file = nullptr;
    if (file_for(run, source, id, title, t, answer, file, err) != 0) return k_install_failed;
    auto dependency = [](InstallRun &r, const Dependency &d, int at, std::string *e) {
        return install_via_service(r, d.source, d.project, ContentType::Mod, at, e);
    };
    return install_chosen(run, chosen_from(file, source, id, title, t),
                          dependencies_of(file, source), depth, dependency, err);
}

// The direct installers take over for what they can install.
bool direct_can_install(std::optional<ContentType> type) {
    return !type || *type == ContentType::Mod || *type == ContentType::ResourcePack ||
           *type == ContentType::Shader;
}

// The direct install once the service turned out unreachable; msg as the
// dispatcher reports it.
int install_direct(ContentSource source, std::optional<ContentType> type, const std::string &id,
                   const Instance &inst, const std::string &service_err, std::string *msg,
                   const Job *job) {
    std::string direct;
    int rc =
        source == ContentSource::CurseForge
            ? install_curseforge_direct(id, inst, 0, &direct, job)
            : install_modrinth_direct(type.value_or(ContentType::Mod), id, inst, 0, &direct, job);
    if (rc == k_install_needs_service) {
        if (msg) *msg = service_err;
        return k_install_failed;
    }
    if (rc != k_install_ok && !direct.empty() && msg)
        *msg = format_alloc("API %s недоступен, прямой доступ тоже не удался:\n%s",
                            service_base_url().c_str(), direct.c_str());
    return rc;
}

// The run's message: its error text and what must be done by hand.
std::string run_message(int rc, const std::string &err, const std::string &manual) {
    if (manual.empty()) return err;
    if (rc == k_install_manual)
        return format_alloc("Автор запретил автоматическое скачивание:\n%s", manual.c_str());
    if (!err.empty()) return err + "\n" + manual;
    return format_alloc("Нужна ручная загрузка:\n%s", manual.c_str());
}

} // namespace

int install_content(ContentSource source, std::optional<ContentType> type, const std::string &id,
                    const Instance &inst, const std::optional<std::string> &world, std::string *msg,
                    const Job *job) {
    InstallRun run{inst, world, job, {}, {}};
    std::string err;
    int rc = install_via_service(run, source, id, type, 0, &err);
    if (rc == k_install_failed && service_is_down() && direct_can_install(type) &&
        !job_cancelled(job))
        return install_direct(source, type, id, inst, err, msg, job);
    if (msg) *msg = run_message(rc, err, run.manual);
    return rc;
}
