// Direct installs: Modrinth without credentials, CurseForge with the user's key.
// A project is recorded before its dependencies are followed, so a dependency
// cycle ends when the second visit finds the project installed.
#include "content/install_direct.h"

#include "base/fs.h"
#include "base/json.h"
#include "config/settings.h"
#include "content/curseforge.h"
#include "content/search.h"
#include "instances/content.h"
#include "net/download.h"
#include "net/endpoints.h"
#include "net/http.h"

#include <algorithm>
#include <cmath>

namespace {

JsonPtr modrinth_get(const std::string &path, long *status) {
    long st = -1;
    auto body = web_get(endpoint("modrinth_api") + path, {}, &st);
    if (status) *status = body ? st : -1;
    if (!body || st != 200) return JsonPtr();
    return json_parse(*body);
}

std::string decimal(const cJSON *n) {
    if (cJSON_IsString(n)) return n->valuestring;
    if (!cJSON_IsNumber(n)) return "";
    return format_alloc("%.0f", std::trunc(n->valuedouble));
}

bool is_vanilla(const std::string &loader) {
    return loader.empty() || str_equal_ci(loader, "Vanilla");
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

void modrinth_dependencies(const cJSON *version, const Instance &inst, int depth, const Job *job) {
    if (depth >= k_install_max_depth) return;
    const cJSON *d;
    cJSON_ArrayForEach(d, json_get(version, "dependencies")) {
        if (json_str(d, "dependency_type") != "required") continue;
        std::string project = json_str(d, "project_id");
        if (project.empty()) {
            std::string vid = json_str(d, "version_id");
            if (!vid.empty()) {
                JsonPtr dv = modrinth_get("/v2/version/" + url_escape(vid), nullptr);
                project = json_str(dv.get(), "project_id");
            }
        }
        if (project.empty()) continue;
        std::string msg;
        if (install_modrinth_direct(ContentType::Mod, project, inst, depth + 1, &msg, job) != 0)
            job_message(job, "Зависимость не установлена: %s",
                        msg.empty() ? project.c_str() : msg.c_str());
    }
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

} // namespace

bool content_filename_safe(const std::string &name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

bool is_decimal_id(const std::string &text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

int install_modrinth_direct(ContentType type, const std::string &ref, const Instance &inst,
                            int depth, std::string *msg, const Job *job) {
    const char *prefix = depth > 0 ? "  зависимость: " : "";
    long status = 0;
    JsonPtr project = modrinth_get("/v2/project/" + url_escape(ref), &status);
    if (!project) {
        if (msg)
            *msg = status == -1 ? format_alloc("Modrinth недоступен (нет соединения), «%s» не "
                                               "установлен",
                                               ref.c_str())
                                : format_alloc("Проект «%s» не найден на Modrinth (HTTP %ld)",
                                               ref.c_str(), status);
        return -1;
    }
    std::string id = json_str(project.get(), "id");
    std::string title = json_str(project.get(), "title");
    auto kind = json_str_opt(project.get(), "project_type");
    if (kind) {
        type = *kind == "resourcepack" ? ContentType::ResourcePack
               : *kind == "shader"     ? ContentType::Shader
                                       : ContentType::Mod;
    } else if (type != ContentType::ResourcePack && type != ContentType::Shader) {
        type = ContentType::Mod;
    }
    std::string loaders;
    if (type == ContentType::ResourcePack) loaders = "[\"minecraft\"]";

    if (content_is_installed(inst, "modrinth", id)) {
        job_message(job, "%s%s уже установлен", depth > 0 ? "  зависимость " : "", title.c_str());
        return 0;
    }
    if (type == ContentType::Mod) {
        if (is_vanilla(inst.loader)) {
            if (msg)
                *msg =
                    format_alloc("Сборка «%s» — Vanilla: моды требуют Fabric/Quilt/Forge/NeoForge",
                                 inst.name.c_str());
            return -1;
        }
        std::string l = loader_filter_word(inst.loader);
        loaders = l == "quilt" ? "[\"quilt\",\"fabric\"]" : json_array_text(l);
    }
    std::string path =
        format_alloc("/v2/project/%s/version?game_versions=%s", url_escape(id).c_str(),
                     url_escape(json_array_text(inst.mc)).c_str());
    if (!loaders.empty()) path += "&loaders=" + url_escape(loaders);
    JsonPtr versions = modrinth_get(path, nullptr);
    const cJSON *version = modrinth_pick_version(versions.get());
    if (!version) {
        if (msg)
            *msg = format_alloc("У «%s» нет файлов для Minecraft %s + %s", title.c_str(),
                                inst.mc.c_str(), inst.loader.c_str());
        return -1;
    }
    const cJSON *file = modrinth_pick_file(version);
    std::string filename = json_str(file, "filename");
    if (!file || !content_filename_safe(filename)) {
        if (msg) *msg = format_alloc("У «%s» нет файла для скачивания", title.c_str());
        return -1;
    }
    std::string sha1 = json_str(json_get(file, "hashes"), "sha1");
    job_message(job, "%sСкачиваю %s %s → %s", prefix, title.c_str(),
                json_str(version, "version_number").c_str(), filename.c_str());
    job_progress(job, 0, 0, title.c_str());
    std::string dir = instance_dir(inst) + "/" + content_folder_name(type);
    fs_mkdirs(dir);
    if (download_one(json_str(file, "url"), dir + "/" + filename, sha1, job) != 0) {
        if (msg) *msg = format_alloc("Не удалось скачать %s", filename.c_str());
        return -1;
    }
    content_put(inst, {"modrinth", id, json_str(version, "id"), filename, sha1, title, type});
    modrinth_dependencies(version, inst, depth, job);
    job_message(job, "%s«%s» установлен в «%s»", depth > 0 ? "  " : "", title.c_str(),
                inst.name.c_str());
    return 0;
}

int install_curseforge_direct(const std::string &ref, const Instance &inst, int depth,
                              std::string *msg, const Job *job) {
    const char *prefix = depth > 0 ? "  зависимость: " : "";
    if (settings_published().curseforge_api_key.empty()) {
        if (msg) *msg = curseforge_error_text(0);
        return -1;
    }
    long status = 0;
    std::string id = ref;
    if (!is_decimal_id(ref)) {
        JsonPtr found = curseforge_request(
            curseforge_api_url("/v1/mods/search?gameId=432&slug=" + url_escape(ref)), &status);
        id = decimal(json_get(cJSON_GetArrayItem(json_get(found.get(), "data"), 0), "id"));
        if (id.empty()) {
            if (msg)
                *msg = found ? format_alloc("Проект «%s» не найден на CurseForge", ref.c_str())
                             : curseforge_error_text(status);
            return -1;
        }
    }
    JsonPtr mod = curseforge_request(curseforge_api_url("/v1/mods/" + id), &status);
    const cJSON *data = json_get(mod.get(), "data");
    if (!data) {
        if (msg) *msg = curseforge_error_text(status);
        return -1;
    }
    std::string name = json_str(data, "name");
    std::string website = json_str(json_get(data, "links"), "websiteUrl");
    int cls = json_int(data, "classId");
    // A data pack needs a world and a world needs unpacking: installing either
    // as a mod would put a useless file into mods.
    if (cls == 6945 || cls == 17 || cls == 4471) return k_install_needs_service;
    ContentType type = cls == 12     ? ContentType::ResourcePack
                       : cls == 6552 ? ContentType::Shader
                                     : ContentType::Mod;
    if (content_is_installed(inst, "curseforge", id)) {
        job_message(job, "%s уже установлен", name.c_str());
        return 0;
    }
    std::string path;
    if (type == ContentType::Mod) {
        if (is_vanilla(inst.loader)) {
            if (msg)
                *msg = format_alloc("Сборка «%s» — Vanilla: моды требуют загрузчик",
                                    inst.name.c_str());
            return -1;
        }
        path = format_alloc("/v1/mods/%s/files?gameVersion=%s&modLoaderType=%d&pageSize=50",
                            id.c_str(), url_escape(inst.mc).c_str(),
                            curseforge_loader_type(inst.loader));
    } else {
        path = format_alloc("/v1/mods/%s/files?gameVersion=%s&pageSize=50", id.c_str(),
                            url_escape(inst.mc).c_str());
    }
    JsonPtr files = curseforge_request(curseforge_api_url(path), &status);
    const cJSON *file = curseforge_pick_file(json_get(files.get(), "data"));
    if (!file) {
        if (msg)
            *msg = format_alloc("У «%s» нет файлов для Minecraft %s + %s", name.c_str(),
                                inst.mc.c_str(), inst.loader.c_str());
        return -1;
    }
    std::string url = json_str(file, "downloadUrl");
    if (url.empty()) {
        if (msg)
            *msg = format_alloc(
                "Автор «%s» запретил автоматическое скачивание. Скачайте вручную: %s", name.c_str(),
                website.empty() ? endpoint("curseforge_web").c_str() : website.c_str());
        return -2;
    }
    std::string filename = json_str(file, "fileName");
    if (!content_filename_safe(filename)) {
        if (msg) *msg = "Некорректное имя файла";
        return -1;
    }
    std::string sha1 = curseforge_sha1(file);
    job_message(job, "%sСкачиваю %s → %s", prefix, name.c_str(), filename.c_str());
    job_progress(job, 0, 0, name.c_str());
    std::string dir = instance_dir(inst) + "/" + content_folder_name(type);
    fs_mkdirs(dir);
    if (download_one(url, dir + "/" + filename, sha1, job) != 0) {
        if (msg) *msg = format_alloc("Не удалось скачать %s", filename.c_str());
        return -1;
    }
    content_put(inst,
                {"curseforge", id, decimal(json_get(file, "id")), filename, sha1, name, type});
    if (depth < k_install_max_depth) {
        const cJSON *d;
        cJSON_ArrayForEach(d, json_get(file, "dependencies")) {
            if (json_num(d, "relationType") != k_cf_required) continue;
            std::string dep = decimal(json_get(d, "modId"));
            std::string dmsg;
            if (install_curseforge_direct(dep, inst, depth + 1, &dmsg, job) != 0)
                job_message(job, "Зависимость не установлена: %s",
                            dmsg.empty() ? dep.c_str() : dmsg.c_str());
        }
    }
    job_message(job, "«%s» установлен в «%s»", name.c_str(), inst.name.c_str());
    return 0;
}
