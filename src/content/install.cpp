// Installs through the content service: slug resolution for CurseForge, the
// project's class deciding the type, a file for the instance's version and
// loader (the one the player picked, else the newest release), then the
// shared install of the chosen file with its dependencies
// (a seen set ends cycles). The dispatcher falls back to the direct
// installers when the service is unreachable.
#include "content/install.h"

#include "base/json.h"
#include "content/curseforge.h"
#include "content/install_direct.h"
#include "content/install_file.h"
#include "content/search.h"
#include "content/versions.h"
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

// The file the run takes among the listed ones; -1 with err when the
// version the player picked is not among them.
int pick(const InstallRun &run, const ProjectVersions &pv, int depth, std::string *err) {
    std::optional<std::string> selector = depth == 0 ? run.version : std::nullopt;
    int i = version_choose(pv.versions, selector);
    if (i < 0 && err)
        *err = format_alloc("У «%s» нет совместимой версии «%s» для Minecraft %s",
                            pv.title.c_str(), selector.value_or("").c_str(),
                            run.inst.mc.c_str());
    return i;
}

ChosenFile chosen_from(const ProjectVersions &pv, const ContentVersion &v) {
    ChosenFile f = chosen_file_of(pv.source, pv.id, pv.title, pv.type);
    f.shown = pv.title;
    chosen_set_version(f, v);
    f.url = json_str(v.raw, "url");
    f.proxied = json_str(v.raw, "proxied");
    f.manual = json_str(v.raw, "manual");
    return f;
}

int install_via_service(InstallRun &run, ContentSource source, const std::string &ref,
                        std::optional<ContentType> type, int depth, std::string *err) {
    if (source == ContentSource::CurseForge && !ref.empty() && !is_decimal_id(ref)) {
        std::optional<std::string> id = search_curseforge_slug(ref, type, err);
        if (!id) return k_install_failed;
        return install_via_service(run, source, *id, type, depth, err);
    }
    if (!seen_add(run.seen, source, ref)) return k_install_ok;
    ProjectVersions pv;
    if (service_project_lookup(source, ref, type, depth, pv, err) != 0) return k_install_failed;
    seen_add(run.seen, source, pv.id);
    if (pv.type == ContentType::Modpack) {
        if (err)
            *err = format_alloc("«%s» — модпак: используйте «zyl modpack %s:%s» / кнопку «Создать "
                                "сборку»",
                                pv.title.c_str(), content_source_word(source), pv.id.c_str());
        return k_install_failed;
    }
    if (!install_picked_version(run, depth) &&
        content_is_installed(run.inst, content_source_word(source), pv.id)) {
        job_message(run.job, "%s%s уже установлен", install_installed_prefix(depth),
                    pv.title.c_str());
        return k_install_ok;
    }
    if (service_project_versions(run.inst, pv, err) != 0) return k_install_failed;
    int i = pick(run, pv, depth, err);
    if (i < 0) return k_install_failed;
    auto dependency = [](InstallRun &r, const Dependency &d, int at, std::string *e) {
        return install_via_service(r, d.source, d.project, ContentType::Mod, at, e);
    };
    return install_chosen(run, chosen_from(pv, pv.versions[i]),
                          dependencies_of(pv.versions[i].raw, source), depth, dependency, err);
}

// The direct install once the service turned out unreachable; msg as the
// dispatcher reports it.
int install_direct(ContentSource source, std::optional<ContentType> type, const std::string &id,
                   const Instance &inst, const std::string &service_err, std::string *msg,
                   const Job *job, const std::optional<std::string> &version) {
    std::string direct;
    int rc = source == ContentSource::CurseForge
                 ? install_curseforge_direct(id, inst, 0, &direct, job, version)
                 : install_modrinth_direct(type.value_or(ContentType::Mod), id, inst, 0, &direct,
                                           job, version);
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
                    const Job *job, const std::optional<std::string> &version) {
    InstallRun run{inst, world, job, {}, {}, version};
    std::string err;
    int rc = install_via_service(run, source, id, type, 0, &err);
    if (rc == k_install_failed && service_is_down() && install_direct_covers(type) &&
        !job_cancelled(job))
        return install_direct(source, type, id, inst, err, msg, job, version);
    if (msg) *msg = run_message(rc, err, run.manual);
    return rc;
}
