// Versions of a project: the service's file descriptions, the compatible
// files for an instance, the choice among them, and the listing with its
// direct fallbacks.
#include "content/versions.h"

#include "base/strings.h"
#include "content/curseforge.h"
#include "content/install_direct.h"
#include "content/install_file.h"
#include "content/search.h"
#include "net/service.h"

namespace {

bool array_has(const cJSON *arr, const std::string &value, bool ignore_case) {
    const cJSON *e;
    cJSON_ArrayForEach(e, arr) {
        if (!cJSON_IsString(e)) continue;
        if (ignore_case ? str_equal_ci(e->valuestring, value) : value == e->valuestring)
            return true;
    }
    return false;
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

bool version_matches(const ContentVersion &v, const std::string &selector) {
    return !selector.empty() &&
           (v.id == selector || v.version == selector || v.filename == selector);
}

} // namespace

int version_choose(const std::vector<ContentVersion> &list,
                   const std::optional<std::string> &selector) {
    int n = static_cast<int>(list.size());
    if (selector) {
        for (int i = 0; i < n; i++)
            if (version_matches(list[i], *selector)) return i;
        return -1;
    }
    bool any_exact = false;
    for (const ContentVersion &v : list)
        any_exact = any_exact || v.exact;
    int first = -1;
    for (int i = 0; i < n; i++) {
        if (any_exact && !list[i].exact) continue;
        if (list[i].channel == ContentChannel::Release) return i;
        if (first < 0) first = i;
    }
    return first;
}

bool version_replaces(const std::vector<ContentVersion> &list, int chosen,
                      const std::string &installed_id, const std::string &installed_sha1) {
    if (chosen < 0 || chosen >= static_cast<int>(list.size())) return false;
    for (int i = 0; i < static_cast<int>(list.size()); i++) {
        const ContentVersion &v = list[i];
        bool same = (!installed_id.empty() && v.id == installed_id) ||
                    (!installed_sha1.empty() && str_equal_ci(v.sha1, installed_sha1));
        if (same) return chosen < i;
    }
    return true; // the installed file is not offered any more
}

std::string version_label(const std::string &version, ContentChannel channel) {
    if (channel == ContentChannel::Release) return version;
    return format_alloc("%s (%s)", version.c_str(), content_channel_name(channel));
}

std::string content_loader_filter(ContentType type, const Instance &inst) {
    return type == ContentType::Mod ? loader_filter_word(inst.loader) : "";
}

ContentVersion version_of_service_file(const cJSON *file, bool exact) {
    ContentVersion v;
    v.id = json_id_text(json_get(file, "id"));
    v.filename = json_str(file, "filename");
    v.version = json_str(file, "version", v.filename);
    v.channel = content_channel_parse(json_str(file, "channel"));
    v.date = json_str(file, "date");
    v.sha1 = json_str(file, "sha1");
    v.exact = exact;
    v.raw = file;
    return v;
}

std::vector<ContentVersion> service_compatible_files(const cJSON *files, const std::string &filter,
                                                     const std::string &mc) {
    auto loader_ok = [&](const cJSON *f) {
        return filter.empty() || filter == "quilt" ||
               array_has(json_get(f, "loaders"), filter, true);
    };
    std::vector<ContentVersion> exact, versionless;
    const cJSON *f;
    cJSON_ArrayForEach(f, files) {
        if (!loader_ok(f)) continue;
        const cJSON *versions = json_get(f, "mc");
        if (array_has(versions, mc, false))
            exact.push_back(version_of_service_file(f, true));
        else if (!cJSON_IsArray(versions) || cJSON_GetArraySize(versions) == 0)
            versionless.push_back(version_of_service_file(f, false));
    }
    exact.insert(exact.end(), versionless.begin(), versionless.end());
    return exact;
}

int service_project_lookup(ContentSource source, const std::string &ref,
                           std::optional<ContentType> type, int depth, ProjectVersions &out,
                           std::string *err) {
    JsonPtr project;
    std::string req_err;
    if (service_project(content_source_word(source), ref, project, &req_err) != 0) {
        if (err)
            *err = format_alloc("%s:%s — %s", content_source_word(source), ref.c_str(),
                                req_err.empty() ? "ошибка" : req_err.c_str());
        return -1;
    }
    out.source = source;
    out.id = json_id_text(json_get(project.get(), "id"));
    if (out.id.empty()) out.id = ref;
    out.title = json_str(project.get(), "name", ref);
    out.type = type_for(project.get(), type, depth);
    out.project = project.get();
    out.docs.push_back(std::move(project));
    return 0;
}

int service_project_versions(const Instance &inst, ProjectVersions &out, std::string *err) {
    if (out.type == ContentType::Mod && instance_is_vanilla(inst)) {
        if (err)
            *err = format_alloc("Сборка «%s» — Vanilla: моды требуют Fabric/Quilt/Forge/NeoForge",
                                inst.name.c_str());
        return -1;
    }
    std::string filter = content_loader_filter(out.type, inst);
    JsonPtr answer;
    if (service_project_files(content_source_word(out.source), out.id, inst.mc, filter, answer,
                              err) != 0)
        return -1;
    out.versions = service_compatible_files(json_get(answer.get(), "files"), filter, inst.mc);
    out.docs.push_back(std::move(answer));
    if (out.versions.empty()) {
        if (err)
            *err = format_alloc("У «%s» нет файлов для Minecraft %s%s%s", out.title.c_str(),
                                inst.mc.c_str(), filter.empty() ? "" : " + ",
                                filter.empty() ? "" : inst.loader.c_str());
        return -1;
    }
    return 0;
}

// The listing through the content service.
static int versions_via_service(ContentSource source, std::optional<ContentType> type,
                                const std::string &ref, const Instance &inst,
                                ProjectVersions &out, std::string *err) {
    std::string id = ref;
    if (source == ContentSource::CurseForge && !is_decimal_id(ref)) {
        std::optional<std::string> found = search_curseforge_slug(ref, type, err);
        if (!found) return -1;
        id = *found;
    }
    if (service_project_lookup(source, id, type, 0, out, err) != 0) return -1;
    if (out.type == ContentType::Modpack) {
        if (err)
            *err = format_alloc("«%s» — модпак: используйте «zyl modpack %s:%s» / кнопку «Создать "
                                "сборку»",
                                out.title.c_str(), content_source_word(source), out.id.c_str());
        return -1;
    }
    return service_project_versions(inst, out, err);
}

int content_versions(ContentSource source, std::optional<ContentType> type, const std::string &ref,
                     const Instance &inst, ProjectVersions &out, std::string *err) {
    std::string service_err;
    if (versions_via_service(source, type, ref, inst, out, &service_err) == 0) return 0;
    if (!service_is_down() || !install_direct_covers(type)) {
        if (err) *err = service_err;
        return -1;
    }
    out = ProjectVersions();
    std::string why;
    int rc = source == ContentSource::CurseForge
                 ? curseforge_versions(ref, inst, out, &why)
                 : modrinth_versions(type.value_or(ContentType::Mod), ref, inst, out, &why);
    if (rc == 0) return 0;
    if (err)
        *err = rc == k_install_needs_service
                   ? service_err
                   : format_alloc("API %s недоступен, прямой доступ тоже не удался:\n%s",
                                  service_base_url().c_str(), why.c_str());
    return -1;
}
