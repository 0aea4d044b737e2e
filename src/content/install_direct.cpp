// Direct installs: Modrinth without credentials, CurseForge with the user's
// key. Each finds the project and picks a file in its source's own words,
// then hands over to the shared install of the chosen file. A project is
// recorded before its dependencies are followed, so a dependency cycle ends
// when the second visit finds the project installed.
#include "content/install_direct.h"

#include "base/fs.h"
#include "base/json.h"
#include "config/settings.h"
#include "content/curseforge.h"
#include "content/search.h"
#include "instances/content.h"
#include "net/endpoints.h"
#include "net/http.h"

#include <algorithm>

namespace {

JsonPtr modrinth_get(const std::string &path, long *status) {
    long st = -1;
    auto body = web_get(endpoint("modrinth_api") + path, {}, &st);
    if (status) *status = body ? st : -1;
    if (!body || st != 200) return JsonPtr();
    return json_parse(*body);
}

std::string json_array_text(const std::string &value) {
    return format_alloc("[\"%s\"]", value.c_str());
}

const cJSON *modrinth_primary_file(const cJSON *version) {
    const cJSON *f;
    cJSON_ArrayForEach(f, json_get(version, "files")) {
        if (cJSON_IsTrue(json_get(f, "primary"))) return f;
    }
    return cJSON_GetArrayItem(json_get(version, "files"), 0);
}

ContentVersion modrinth_version(const cJSON *v) {
    ContentVersion out;
    const cJSON *file = modrinth_primary_file(v);
    out.id = json_str(v, "id");
    out.filename = json_str(file, "filename");
    out.version = json_str(v, "version_number", out.filename);
    out.channel = content_channel_parse(json_str(v, "version_type"));
    out.date = json_str(v, "date_published");
    out.sha1 = json_str(json_get(file, "hashes"), "sha1");
    out.raw = v;
    return out;
}

// The required dependencies of a version; one named only by its version is
// looked up. None from depth 9 on, where they would not be followed.
std::vector<Dependency> modrinth_dependencies(const cJSON *version, int depth) {
    std::vector<Dependency> deps;
    if (depth >= k_install_max_depth) return deps;
    const cJSON *d;
    cJSON_ArrayForEach(d, json_get(version, "dependencies")) {
        if (json_str(d, "dependency_type") != "required") continue;
        std::string project = json_str(d, "project_id");
        std::string vid = json_str(d, "version_id");
        if (project.empty() && !vid.empty()) {
            JsonPtr dv = modrinth_get("/v2/version/" + url_escape(vid), nullptr);
            project = json_str(dv.get(), "project_id");
        }
        if (!project.empty()) deps.push_back({ContentSource::Modrinth, project, vid, true});
    }
    return deps;
}

// The project's type: its kind when it has one, else the request (anything
// but a resource pack or shader pack is a mod).
ContentType modrinth_type(const cJSON *project, ContentType requested) {
    std::optional<std::string> kind = json_str_opt(project, "project_type");
    if (kind)
        return *kind == "resourcepack" ? ContentType::ResourcePack
               : *kind == "shader"     ? ContentType::Shader
                                       : ContentType::Mod;
    if (requested == ContentType::ResourcePack || requested == ContentType::Shader)
        return requested;
    return ContentType::Mod;
}

// "/v2/project/<id>/version?..." for the instance's version and the loaders
// the type needs; none (with msg) for a mod in a Vanilla instance.
std::optional<std::string> modrinth_versions_path(const std::string &id, ContentType type,
                                                  const Instance &inst, std::string *msg) {
    std::string loaders;
    if (type == ContentType::ResourcePack) loaders = "[\"minecraft\"]";
    if (type == ContentType::Mod) {
        if (instance_is_vanilla(inst)) {
            if (msg)
                *msg =
                    format_alloc("Сборка «%s» — Vanilla: моды требуют Fabric/Quilt/Forge/NeoForge",
                                 inst.name.c_str());
            return std::nullopt;
        }
        std::string l = loader_filter_word(inst.loader);
        loaders = l == "quilt" ? "[\"quilt\",\"fabric\"]" : json_array_text(l);
    }
    std::string path =
        format_alloc("/v2/project/%s/version?game_versions=%s", url_escape(id).c_str(),
                     url_escape(json_array_text(inst.mc)).c_str());
    if (!loaders.empty()) path += "&loaders=" + url_escape(loaders);
    return path;
}

std::string modrinth_missing(const std::string &ref, long status) {
    return status == -1
               ? format_alloc("Modrinth недоступен (нет соединения), «%s» не установлен",
                              ref.c_str())
               : format_alloc("Проект «%s» не найден на Modrinth (HTTP %ld)", ref.c_str(), status);
}

// CurseForge files newest first by fileDate.
std::vector<const cJSON *> curseforge_newest_first(const cJSON *files) {
    std::vector<const cJSON *> list;
    const cJSON *f;
    cJSON_ArrayForEach(f, files) list.push_back(f);
    std::stable_sort(list.begin(), list.end(), [](const cJSON *a, const cJSON *b) {
        return json_str(a, "fileDate") > json_str(b, "fileDate");
    });
    return list;
}

std::string curseforge_sha1(const cJSON *file) {
    std::string sha1;
    const cJSON *h;
    cJSON_ArrayForEach(h, json_get(file, "hashes")) {
        if (json_num(h, "algo") == k_cf_hash_sha1) sha1 = json_str(h, "value");
    }
    return sha1;
}

ContentVersion curseforge_version(const cJSON *file) {
    ContentVersion out;
    out.id = json_id_text(json_get(file, "id"));
    out.filename = json_str(file, "fileName");
    out.version = json_str(file, "displayName", out.filename);
    out.channel = content_channel_of_release_type(json_llong(file, "releaseType", k_cf_release));
    out.date = json_str(file, "fileDate");
    out.sha1 = curseforge_sha1(file);
    out.raw = file;
    return out;
}

// The decimal id of a reference: itself, or the slug search's first hit.
std::optional<std::string> curseforge_id(const std::string &ref, std::string *msg) {
    if (is_decimal_id(ref)) return ref;
    long status = 0;
    JsonPtr found = curseforge_request(
        curseforge_api_url("/v1/mods/search?gameId=432&slug=" + url_escape(ref)), &status);
    std::string id =
        json_id_text(json_get(cJSON_GetArrayItem(json_get(found.get(), "data"), 0), "id"));
    if (!id.empty()) return id;
    if (msg)
        *msg = found ? format_alloc("Проект «%s» не найден на CurseForge", ref.c_str())
                     : curseforge_error_text(status);
    return std::nullopt;
}

// "/v1/mods/<id>/files?..." for the instance; none (with msg) for a mod in a
// Vanilla instance.
std::optional<std::string> curseforge_files_path(const std::string &id, ContentType type,
                                                 const Instance &inst, std::string *msg) {
    if (type != ContentType::Mod)
        return format_alloc("/v1/mods/%s/files?gameVersion=%s&pageSize=50", id.c_str(),
                            url_escape(inst.mc).c_str());
    if (instance_is_vanilla(inst)) {
        if (msg)
            *msg = format_alloc("Сборка «%s» — Vanilla: моды требуют загрузчик", inst.name.c_str());
        return std::nullopt;
    }
    return format_alloc("/v1/mods/%s/files?gameVersion=%s&modLoaderType=%d&pageSize=50", id.c_str(),
                        url_escape(inst.mc).c_str(), curseforge_loader_type(inst.loader));
}

std::vector<Dependency> curseforge_dependencies(const cJSON *file) {
    std::vector<Dependency> deps;
    const cJSON *d;
    cJSON_ArrayForEach(d, json_get(file, "dependencies")) {
        if (json_num(d, "relationType") != k_cf_required) continue;
        deps.push_back({ContentSource::CurseForge, json_id_text(json_get(d, "modId")), "", true});
    }
    return deps;
}

// A direct installer's result as a dependency's: anything but success failed.
int dependency_result(int rc) {
    return rc == k_install_ok ? k_install_ok : k_install_failed;
}

// Modrinth's project: id, title and the type it is installed as. 0, or -1 with msg.
int modrinth_lookup(ContentType requested, const std::string &ref, ProjectVersions &out,
                    std::string *msg) {
    long status = 0;
    JsonPtr project = modrinth_get("/v2/project/" + url_escape(ref), &status);
    if (!project) {
        if (msg) *msg = modrinth_missing(ref, status);
        return -1;
    }
    out.source = ContentSource::Modrinth;
    out.id = json_str(project.get(), "id");
    out.title = json_str(project.get(), "title");
    out.type = modrinth_type(project.get(), requested);
    out.project = project.get();
    out.docs.push_back(std::move(project));
    return 0;
}

// 0 when the listing found files, else -1 with msg saying that none fits.
int files_found(const ProjectVersions &pv, const Instance &inst, std::string *msg) {
    if (!pv.versions.empty()) return 0;
    if (msg)
        *msg = format_alloc("У «%s» нет файлов для Minecraft %s + %s", pv.title.c_str(),
                            inst.mc.c_str(), inst.loader.c_str());
    return -1;
}

// The project's versions for the instance, newest first as Modrinth lists
// them. 0, or -1 with msg.
int modrinth_list(const Instance &inst, ProjectVersions &pv, std::string *msg) {
    std::optional<std::string> path = modrinth_versions_path(pv.id, pv.type, inst, msg);
    if (!path) return -1;
    JsonPtr versions = modrinth_get(*path, nullptr);
    const cJSON *v;
    cJSON_ArrayForEach(v, versions.get()) pv.versions.push_back(modrinth_version(v));
    pv.docs.push_back(std::move(versions));
    return files_found(pv, inst, msg);
}

// CurseForge's project: id, name and type. 0, -1 with msg, or
// k_install_needs_service for what only the service installs.
int curseforge_lookup(const std::string &ref, ProjectVersions &out, std::string *msg) {
    if (settings_published().curseforge_api_key.empty()) {
        if (msg) *msg = curseforge_error_text(0);
        return -1;
    }
    std::optional<std::string> id = curseforge_id(ref, msg);
    if (!id) return -1;
    long status = 0;
    JsonPtr mod = curseforge_request(curseforge_api_url("/v1/mods/" + *id), &status);
    const cJSON *data = json_get(mod.get(), "data");
    if (!data) {
        if (msg) *msg = curseforge_error_text(status);
        return -1;
    }
    out.source = ContentSource::CurseForge;
    out.id = *id;
    out.title = json_str(data, "name");
    out.type = curseforge_class_type(json_int(data, "classId"));
    out.project = data;
    out.docs.push_back(std::move(mod));
    // A data pack needs a world and a world needs unpacking: installing either
    // as a mod would put a useless file into mods.
    if (out.type == ContentType::DataPack || out.type == ContentType::World ||
        out.type == ContentType::Modpack)
        return k_install_needs_service;
    return 0;
}

// The project's files for the instance, newest first by fileDate. 0, or -1 with msg.
int curseforge_list(const Instance &inst, ProjectVersions &pv, std::string *msg) {
    std::optional<std::string> path = curseforge_files_path(pv.id, pv.type, inst, msg);
    if (!path) return -1;
    long status = 0;
    JsonPtr files = curseforge_request(curseforge_api_url(*path), &status);
    for (const cJSON *f : curseforge_newest_first(json_get(files.get(), "data")))
        pv.versions.push_back(curseforge_version(f));
    pv.docs.push_back(std::move(files));
    return files_found(pv, inst, msg);
}

// The listed version the install takes; -1 with msg when a picked one is missing.
int direct_pick(const ProjectVersions &pv, const Instance &inst,
                const std::optional<std::string> &version, std::string *msg) {
    int i = version_choose(pv.versions, version);
    if (i < 0 && msg)
        *msg = format_alloc("У «%s» нет совместимой версии «%s» для Minecraft %s", pv.title.c_str(),
                            version.value_or("").c_str(), inst.mc.c_str());
    return i;
}

int curseforge_direct(InstallRun &run, const std::string &ref, int depth, std::string *msg);

// The second half of a CurseForge install: the chosen file, then the shared install.
int install_curseforge_file(const ProjectVersions &pv, const ContentVersion &v, InstallRun &run,
                            int depth, std::string *msg) {
    ChosenFile f = chosen_file_of(ContentSource::CurseForge, pv.id, pv.title, pv.type);
    f.url = json_str(v.raw, "downloadUrl");
    if (f.url.empty()) {
        std::string website = json_str(json_get(pv.project, "links"), "websiteUrl");
        if (msg)
            *msg = format_alloc(
                "Автор «%s» запретил автоматическое скачивание. Скачайте вручную: %s",
                pv.title.c_str(),
                website.empty() ? endpoint("curseforge_web").c_str() : website.c_str());
        return k_install_manual;
    }
    chosen_set_version(f, v);
    if (!fs_filename_safe(f.filename)) {
        if (msg) *msg = "Некорректное имя файла";
        return k_install_failed;
    }
    f.shown = pv.title;
    auto dependency = [](InstallRun &r, const Dependency &d, int at, std::string *e) {
        return dependency_result(curseforge_direct(r, d.project, at, e));
    };
    return install_chosen(run, f, curseforge_dependencies(v.raw), depth, dependency, msg,
                          InstallVoice{false});
}

// The version the player picked applies to the project asked for only.
std::optional<std::string> picked(const InstallRun &run, int depth) {
    return depth == 0 ? run.version : std::nullopt;
}

// One Modrinth project of the walk that run shares with its dependencies.
int modrinth_direct(InstallRun &run, ContentType type, const std::string &ref, int depth,
                    std::string *msg) {
    const Instance &inst = run.inst;
    ProjectVersions pv;
    if (modrinth_lookup(type, ref, pv, msg) != 0) return k_install_failed;
    if (!install_picked_version(run, depth) && content_is_installed(inst, "modrinth", pv.id)) {
        job_message(run.job, "%s%s уже установлен", install_installed_prefix(depth),
                    pv.title.c_str());
        return k_install_ok;
    }
    if (modrinth_list(inst, pv, msg) != 0) return k_install_failed;
    int i = direct_pick(pv, inst, picked(run, depth), msg);
    if (i < 0) return k_install_failed;
    const ContentVersion &v = pv.versions[i];
    ChosenFile f = chosen_file_of(ContentSource::Modrinth, pv.id, pv.title, pv.type);
    chosen_set_version(f, v);
    const cJSON *file = modrinth_primary_file(v.raw);
    if (!file || !fs_filename_safe(f.filename)) {
        if (msg) *msg = format_alloc("У «%s» нет файла для скачивания", pv.title.c_str());
        return k_install_failed;
    }
    f.shown = pv.title + " " + json_str(v.raw, "version_number");
    f.url = json_str(file, "url");
    auto dependency = [](InstallRun &r, const Dependency &d, int at, std::string *e) {
        return dependency_result(modrinth_direct(r, ContentType::Mod, d.project, at, e));
    };
    return install_chosen(run, f, modrinth_dependencies(v.raw, depth), depth, dependency, msg);
}

// One CurseForge project of the walk that run shares with its dependencies.
int curseforge_direct(InstallRun &run, const std::string &ref, int depth, std::string *msg) {
    const Instance &inst = run.inst;
    ProjectVersions pv;
    if (int rc = curseforge_lookup(ref, pv, msg); rc != 0)
        return rc == k_install_needs_service ? rc : k_install_failed;
    if (!install_picked_version(run, depth) && content_is_installed(inst, "curseforge", pv.id)) {
        job_message(run.job, "%s уже установлен", pv.title.c_str());
        return k_install_ok;
    }
    if (curseforge_list(inst, pv, msg) != 0) return k_install_failed;
    int i = direct_pick(pv, inst, picked(run, depth), msg);
    if (i < 0) return k_install_failed;
    return install_curseforge_file(pv, pv.versions[i], run, depth, msg);
}

} // namespace

bool install_direct_covers(std::optional<ContentType> type) {
    return !type || *type == ContentType::Mod || *type == ContentType::ResourcePack ||
           *type == ContentType::Shader;
}

int modrinth_versions(ContentType type, const std::string &ref, const Instance &inst,
                      ProjectVersions &out, std::string *msg) {
    if (modrinth_lookup(type, ref, out, msg) != 0) return -1;
    return modrinth_list(inst, out, msg);
}

int curseforge_versions(const std::string &ref, const Instance &inst, ProjectVersions &out,
                        std::string *msg) {
    if (int rc = curseforge_lookup(ref, out, msg); rc != 0) return rc;
    return curseforge_list(inst, out, msg);
}

int install_modrinth_direct(ContentType type, const std::string &ref, const Instance &inst,
                            int depth, std::string *msg, const Job *job,
                            const std::optional<std::string> &version) {
    InstallRun run{inst, std::nullopt, job, {}, {}, depth == 0 ? version : std::nullopt};
    return modrinth_direct(run, type, ref, depth, msg);
}

int install_curseforge_direct(const std::string &ref, const Instance &inst, int depth,
                              std::string *msg, const Job *job,
                              const std::optional<std::string> &version) {
    InstallRun run{inst, std::nullopt, job, {}, {}, depth == 0 ? version : std::nullopt};
    return curseforge_direct(run, ref, depth, msg);
}
