// Content-service client: the "/v1/" paths and the fields the callers rely on.
#include "net/service.h"

#include "base/strings.h"
#include "net/http.h"

std::string service_path_version(const std::string &id) {
    // Version ids may hold spaces ("1.14 Pre-Release 1").
    return "/v1/minecraft/version/" + url_escape(id);
}

std::string service_path_loader_versions(const std::string &loader, const std::string &mc) {
    return format_alloc("/v1/loaders/%s?mc=%s", url_escape(str_lower(loader)).c_str(),
                        url_escape(mc).c_str());
}

std::string service_path_loader_build(const std::string &loader, const std::string &mc,
                                      const std::string &loader_version) {
    return format_alloc("/v1/loaders/%s/%s/%s", url_escape(str_lower(loader)).c_str(),
                        url_escape(mc).c_str(), url_escape(loader_version).c_str());
}

std::string service_path_java(int major, const std::string &os, const std::string &arch) {
    return format_alloc("/v1/java/%d?os=%s&arch=%s", major, url_escape(os).c_str(),
                        url_escape(arch).c_str());
}

std::string service_path_search(const std::string &query, const std::string &type,
                                const std::string &mc, const std::string &loader,
                                const std::string &source) {
    return format_alloc("/v1/search?q=%s&type=%s&mc=%s&loader=%s&source=%s&limit=20&offset=0",
                        url_escape(query).c_str(), url_escape(type).c_str(), url_escape(mc).c_str(),
                        url_escape(loader).c_str(), url_escape(source).c_str());
}

std::string service_path_project(const std::string &source, const std::string &id) {
    return format_alloc("/v1/%s/%s", url_escape(source).c_str(), url_escape(id).c_str());
}

std::string service_path_files(const std::string &source, const std::string &id,
                               const std::string &mc, const std::string &loader) {
    std::string path = format_alloc("%s/files?mc=%s", service_path_project(source, id).c_str(),
                                    url_escape(mc).c_str());
    if (!loader.empty()) path += "&loader=" + url_escape(loader);
    return path;
}

int service_minecraft_versions(JsonPtr &out, std::string *err) {
    return service_get("/v1/minecraft/versions", out, err);
}

int service_minecraft_version(const std::string &id, JsonPtr &out, std::string *err) {
    JsonPtr doc;
    if (service_get(service_path_version(id), doc, err) != 0) return -1;
    if (!cJSON_IsArray(json_get(doc.get(), "libraries"))) {
        if (err) *err = format_alloc("API: неполный документ версии %s", id.c_str());
        return -1;
    }
    out = std::move(doc);
    return 0;
}

int service_loader_versions(const std::string &loader, const std::string &mc, JsonPtr &out,
                            std::string *err) {
    return service_get(service_path_loader_versions(loader, mc), out, err);
}

int service_loader_build(const std::string &loader, const std::string &mc,
                         const std::string &loader_version, JsonPtr &out, std::string *err) {
    return service_get(service_path_loader_build(loader, mc, loader_version), out, err);
}

int service_java(int major, const std::string &os, const std::string &arch, JsonPtr &out,
                 std::string *err) {
    return service_get(service_path_java(major, os, arch), out, err);
}

int service_search(const std::string &query, const std::string &type, const std::string &mc,
                   const std::string &loader, const std::string &source, JsonPtr &out,
                   std::string *err) {
    return service_get(service_path_search(query, type, mc, loader, source), out, err);
}

int service_project(const std::string &source, const std::string &id, JsonPtr &out,
                    std::string *err) {
    return service_get(service_path_project(source, id), out, err);
}

int service_project_files(const std::string &source, const std::string &id, const std::string &mc,
                          const std::string &loader, JsonPtr &out, std::string *err) {
    return service_get(service_path_files(source, id, mc, loader), out, err);
}

int service_curseforge_files(const std::vector<long long> &file_ids, JsonPtr &out,
                             std::string *err) {
    const size_t k_chunk = 1000;
    JsonPtr merged(cJSON_CreateObject());
    cJSON *all = cJSON_AddArrayToObject(merged.get(), "files");
    for (size_t start = 0; start < file_ids.size(); start += k_chunk) {
        JsonPtr body(cJSON_CreateObject());
        cJSON *ids = cJSON_AddArrayToObject(body.get(), "fileIds");
        for (size_t i = start; i < file_ids.size() && i < start + k_chunk; i++)
            cJSON_AddItemToArray(ids, cJSON_CreateNumber(static_cast<double>(file_ids[i])));
        std::string text = json_print_compact(body.get());
        JsonPtr answer;
        if (service_post("/v1/curseforge/files", &text, answer, err) != 0) return -1;
        cJSON *files = json_get(answer.get(), "files");
        if (!cJSON_IsArray(files)) continue;
        // Move the items over instead of copying them.
        while (cJSON *item = cJSON_DetachItemFromArray(files, 0))
            cJSON_AddItemToArray(all, item);
    }
    out = std::move(merged);
    return 0;
}
