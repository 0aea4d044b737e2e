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

const cJSON *modrinth_pick_version(const cJSON *versions) {
    const cJSON *v;
    cJSON_ArrayForEach(v, versions) {
        if (json_str(v, "version_type") == "release") return v;
    }
    return cJSON_GetArrayItem(versions, 0);
}

const cJSON *modrinth_pick_file(const cJSON *version) {
    const cJSON *f;
    cJSON_ArrayForEach(f, json_get(version, "files")) {
        if (cJSON_IsTrue(json_get(f, "primary"))) return f;
    }
    return cJSON_GetArrayItem(json_get(version, "files"), 0);
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

// CurseForge files newest first by fileDate; a release when there is one.
const cJSON *curseforge_pick_file(const cJSON *files) {
    std::vector<const cJSON *> list;
    const cJSON *f;
    cJSON_ArrayForEach(f, files) list.push_back(f);
    std::stable_sort(list.begin(), list.end(), [](const cJSON *a, const cJSON *b) {
        return json_str(a, "fileDate") > json_str(b, "fileDate");
    });
    for (const cJSON *x : list)
        if (json_num(x, "releaseType") == k_cf_release) return x;
    return list.empty() ? nullptr : list[0];
}

std::string curseforge_sha1(const cJSON *file) {
    std::string sha1;
    const cJSON *h;
    cJSON_ArrayForEach(h, json_get(file, "hashes")) {
        if (json_num(h, "algo") == k_cf_hash_sha1) sha1 = json_str(h, "value");
    }
    return sha1;
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

int curseforge_direct(InstallRun &run, const std::string &ref, int depth, std::string *msg);

// The second half of a CurseForge install: the file for the instance, then
// the shared install.
int install_curseforge_file(InstallRun &run, const std::string &id, const std::string &name,
                            ContentType type, const cJSON *data, int depth, std::string *msg) {
    const Instance &inst = run.inst;
    std::optional<std::string> path = curseforge_files_path(id, type, inst, msg);
    if (!path) return k_install_failed;
    long status = 0;
    JsonPtr files = curseforge_request(curseforge_api_url(*path), &status);
    const cJSON *file = curseforge_pick_file(json_get(files.get(), "data"));
    if (!file) {
        if (msg)
            *msg = format_alloc("У «%s» нет файлов для Minecraft %s + %s", name.c_str(),
                                inst.mc.c_str(), inst.loader.c_str());
        return k_install_failed;
    }
    ChosenFile f = chosen_file_of(ContentSource::CurseForge, id, name, type);
    f.url = json_str(file, "downloadUrl");
    if (f.url.empty()) {
        std::string website = json_str(json_get(data, "links"), "websiteUrl");
        if (msg)
            *msg = format_alloc(
                "Автор «%s» запретил автоматическое скачивание. Скачайте вручную: %s", name.c_str(),
                website.empty() ? endpoint("curseforge_web").c_str() : website.c_str());
        return k_install_manual;
    }
    f.filename = json_str(file, "fileName");
    if (!fs_filename_safe(f.filename)) {
        if (msg) *msg = "Некорректное имя файла";
        return k_install_failed;
    }
    f.shown = name;
    f.file_id = json_id_text(json_get(file, "id"));
    f.sha1 = curseforge_sha1(file);
    auto dependency = [](InstallRun &r, const Dependency &d, int at, std::string *e) {
        return dependency_result(curseforge_direct(r, d.project, at, e));
    };
    return install_chosen(run, f, curseforge_dependencies(file), depth, dependency, msg,
                          InstallVoice{false});
}

// One Modrinth project of the walk that run shares with its dependencies.
int modrinth_direct(InstallRun &run, ContentType type, const std::string &ref, int depth,
                    std::string *msg) {
    const Instance &inst = run.inst;
    const Job *job = run.job;
    long status = 0;
    JsonPtr project = modrinth_get("/v2/project/" + url_escape(ref), &status);
    if (!project) {
        if (msg) *msg = modrinth_missing(ref, status);
        return k_install_failed;
    }
    std::string id = json_str(project.get(), "id");
    std::string title = json_str(project.get(), "title");
    type = modrinth_type(project.get(), type);
    if (content_is_installed(inst, "modrinth", id)) {
        job_message(job, "%s%s уже установлен", install_installed_prefix(depth), title.c_str());
        return k_install_ok;
    }
    std::optional<std::string> path = modrinth_versions_path(id, type, inst, msg);
    if (!path) return k_install_failed;
    JsonPtr versions = modrinth_get(*path, nullptr);
    const cJSON *version = modrinth_pick_version(versions.get());
    if (!version) {
        if (msg)
            *msg = format_alloc("У «%s» нет файлов для Minecraft %s + %s", title.c_str(),
                                inst.mc.c_str(), inst.loader.c_str());
        return k_install_failed;
    }
    const cJSON *file = modrinth_pick_file(version);
    ChosenFile f = chosen_file_of(ContentSource::Modrinth, id, title, type);
    f.filename = json_str(file, "filename");
    if (!file || !fs_filename_safe(f.filename)) {
        if (msg) *msg = format_alloc("У «%s» нет файла для скачивания", title.c_str());
        return k_install_failed;
    }
    f.shown = title + " " + json_str(version, "version_number");
    f.file_id = json_str(version, "id");
    f.url = json_str(file, "url");
    f.sha1 = json_str(json_get(file, "hashes"), "sha1");
    auto dependency = [](InstallRun &r, const Dependency &d, int at, std::string *e) {
        return dependency_result(modrinth_direct(r, ContentType::Mod, d.project, at, e));
    };
    return install_chosen(run, f, modrinth_dependencies(version, depth), depth, dependency, msg);
}

// One CurseForge project of the walk that run shares with its dependencies.
int curseforge_direct(InstallRun &run, const std::string &ref, int depth, std::string *msg) {
    const Instance &inst = run.inst;
    const Job *job = run.job;
    if (settings_published().curseforge_api_key.empty()) {
        if (msg) *msg = curseforge_error_text(0);
        return k_install_failed;
    }
    std::optional<std::string> id = curseforge_id(ref, msg);
    if (!id) return k_install_failed;
    long status = 0;
    JsonPtr mod = curseforge_request(curseforge_api_url("/v1/mods/" + *id), &status);
    const cJSON *data = json_get(mod.get(), "data");
    if (!data) {
        if (msg) *msg = curseforge_error_text(status);
        return k_install_failed;
    }
    std::string name = json_str(data, "name");
    ContentType type = curseforge_class_type(json_int(data, "classId"));
    // A data pack needs a world and a world needs unpacking: installing either
    // as a mod would put a useless file into mods.
    if (type == ContentType::DataPack || type == ContentType::World || type == ContentType::Modpack)
        return k_install_needs_service;
    if (content_is_installed(inst, "curseforge", *id)) {
        job_message(job, "%s уже установлен", name.c_str());
        return k_install_ok;
    }
    return install_curseforge_file(run, *id, name, type, data, depth, msg);
}

} // namespace

int install_modrinth_direct(ContentType type, const std::string &ref, const Instance &inst,
                            int depth, std::string *msg, const Job *job) {
    InstallRun run{inst, std::nullopt, job, {}, {}};
    return modrinth_direct(run, type, ref, depth, msg);
}

int install_curseforge_direct(const std::string &ref, const Instance &inst, int depth,
                              std::string *msg, const Job *job) {
    InstallRun run{inst, std::nullopt, job, {}, {}};
    return curseforge_direct(run, ref, depth, msg);
}
