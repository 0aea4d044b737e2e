// Java runtime provisioning: the user's choice, Temurin, Mojang's runtime
// components and the system java, tried in that order.
#include "game/java.h"

#include "base/archive.h"
#include "base/digest.h"
#include "base/extract_target.h"
#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"
#include "config/datadir.h"
#include "config/settings.h"
#include "game/platform.h"
#include "net/download.h"
#include "net/endpoints.h"
#include "net/fetch.h"
#include "net/service.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *k_runtime_index_path =
    "/v1/products/java-runtime/2ec0cc96c44e5a76b9c8b7c39df7210883d12871/all.json";

std::string java_exe_in(const std::string &folder) {
    return folder + "/" + platform_host().java_exe;
}

// A manifest path must name something inside the runtime folder.
bool relpath_safe(const std::string &rel) {
    if (rel.empty() || rel[0] == '/') return false;
    for (const std::string &seg : str_split(rel, '/'))
        if (seg == ".." || seg.empty()) return false;
    return true;
}

} // namespace

std::string java_component_for_major(int major) {
    switch (major) {
    case 8:
        return "jre-legacy";
    case 16:
        return "java-runtime-alpha";
    case 17:
        return "java-runtime-gamma";
    case 21:
        return "java-runtime-delta";
    case 25:
        return "java-runtime-epsilon";
    default:
        return "";
    }
}

JavaRequirement java_requirement(const cJSON *doc) {
    JavaRequirement r;
    const cJSON *jv = json_get(doc, "javaVersion");
    if (!cJSON_IsObject(jv)) {
        r.component = "jre-legacy";
        return r;
    }
    int major = json_int(jv, "majorVersion", 0);
    std::optional<std::string> comp = json_str_opt(jv, "component");
    if (major <= 0) {
        r.major = 8;
        r.component = comp ? *comp : "jre-legacy";
        return r;
    }
    r.major = major;
    r.component = comp ? *comp : java_component_for_major(major);
    return r;
}

// Marks the files flagged "executable" as runnable; a link standing at such a
// name is left alone, so that nothing outside the runtime changes mode.
static void component_modes(const std::string &folder, const cJSON *files) {
    const cJSON *f = nullptr;
    cJSON_ArrayForEach(f, files) {
        if (json_str(f, "type") != "file" || !json_bool(f, "executable")) continue;
        std::string path = folder + "/" + f->string;
        struct stat st {};
        if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) chmod(path.c_str(), 0755);
    }
}

// The folder that holds rel exists and, following the links already there,
// lies inside the runtime.
static bool parent_inside(ExtractTarget &t, const std::string &rel) {
    size_t slash = rel.rfind('/');
    return slash == std::string::npos || extract_mkdir(t, rel.substr(0, slash)) == 0;
}

std::optional<std::string> java_mojang_component(const std::string &component, int major,
                                                 const Job *job) {
    std::string folder = format_alloc("%s/%s", datapaths().java.c_str(), component.c_str());
    std::string exe = java_exe_in(folder);
    if (fs_exists(exe)) return exe;

    JsonPtr index =
        fetch_json_cached(endpoint("launcher_meta") + k_runtime_index_path, nullptr, true, job);
    const cJSON *entries =
        json_get(json_get(index.get(), platform_host().runtime_key.c_str()), component.c_str());
    const cJSON *first = cJSON_IsArray(entries) ? cJSON_GetArrayItem(entries, 0) : nullptr;
    std::string manifest_url = json_str(json_get(first, "manifest"), "url");
    if (manifest_url.empty()) return std::nullopt;

    job_message(job, "Скачиваю Java %d (%s) от Mojang...", major, component.c_str());
    JsonPtr manifest = fetch_json_cached(manifest_url, nullptr, true, job);
    const cJSON *files = json_get(manifest.get(), "files");
    if (!cJSON_IsObject(files)) return std::nullopt;

    // Directories, files and links are checked against the real runtime
    // folder, links on disk followed, so no entry lands outside it.
    ExtractTarget target;
    if (extract_target_open(target, folder) != 0) return std::nullopt;
    // The executable is fetched only after everything else is in place: its
    // presence is what marks the runtime as installed.
    DownloadList rest, last;
    const cJSON *f = nullptr;
    cJSON_ArrayForEach(f, files) {
        std::string rel = f->string;
        if (!relpath_safe(rel)) continue;
        std::string type = json_str(f, "type");
        if (type == "directory") {
            extract_mkdir(target, rel);
        } else if (type == "file" && parent_inside(target, rel)) {
            const cJSON *raw = json_get(json_get(f, "downloads"), "raw");
            DownloadItem item{json_str(raw, "url"), folder + "/" + rel, json_str(raw, "sha1"),
                              json_llong(raw, "size", -1)};
            if (item.url.empty()) continue;
            (item.path == exe ? last : rest).push_back(item);
        }
    }
    if (download_batch(rest, "Java", folder, 0, nullptr, job) != 0) return std::nullopt;
    cJSON_ArrayForEach(f, files) {
        if (json_str(f, "type") == "link" && relpath_safe(f->string))
            extract_symlink(target, f->string, json_str(f, "target"));
    }
    extract_check_links(target);
    // Links may have changed where the executable's folder leads.
    if (!last.empty() && !parent_inside(target, platform_host().java_exe)) return std::nullopt;
    // Its own label: one phase, one label.
    if (download_batch(last, "Java (исполняемый файл)", folder, 0, nullptr, job) != 0)
        return std::nullopt;
    component_modes(folder, files);
    if (access(exe.c_str(), X_OK) != 0) return std::nullopt;
    return exe;
}

// Where the Temurin archive of a major comes from: the content service's
// answer when it has one, Adoptium's API otherwise.
struct TemurinSource {
    std::string url;
    std::string proxied;
    std::string sha256;
};

static TemurinSource temurin_source(int major) {
    const Platform &p = platform_host();
    TemurinSource s;
    s.url = format_alloc("%s/v3/binary/latest/%d/ga/%s/%s/jre/hotspot/normal/eclipse",
                         endpoint("adoptium").c_str(), major, p.adoptium_os.c_str(),
                         p.adoptium_arch.c_str());
    JsonPtr answer;
    std::string path = format_alloc("/v1/java/%d?os=%s&arch=%s", major, p.adoptium_os.c_str(),
                                    p.adoptium_arch.c_str());
    if (service_get(path, answer, nullptr) == 0) {
        std::optional<std::string> url = json_str_opt(answer.get(), "url");
        if (url) {
            s.url = *url;
            s.proxied = json_str(answer.get(), "proxied");
            s.sha256 = json_str(answer.get(), "sha256");
        }
    }
    return s;
}

std::optional<std::string> java_temurin(int major, const Job *job) {
    std::string target = format_alloc("%s/temurin-%d", datapaths().java.c_str(), major);
    std::string exe = java_exe_in(target);
    if (fs_exists(exe)) return exe;

    TemurinSource src = temurin_source(major);
    job_message(job, "Скачиваю Java %d (Adoptium)...", major);
    std::string archive = format_alloc("%s/temurin-%d.%s", datapaths().cache.c_str(), major,
                                       platform_host().archive_type.c_str());
    int rc = src.proxied.empty() ? download_with_fallback(src.url, archive, "", -1, job)
                                 : download_via_service(src.proxied, src.url, archive, "", job);
    if (rc != 0) {
        fs_delete(archive);
        return std::nullopt;
    }
    if (!src.sha256.empty()) {
        std::string got;
        if (file_sha256_hex(archive, got) != 0 || !str_equal_ci(got, src.sha256)) {
            job_message(job, "SHA256 Java не совпал");
            fs_delete(archive);
            return std::nullopt;
        }
    }
    // Extract beside the target and move it into place only when complete, so
    // a broken archive never leaves a runtime that looks installed.
    std::string staging = fs_unique_name(target + ".tmp");
    fs_mkdirs(staging);
    bool ok =
        archive_extract(archive, staging, 1, "", nullptr) == 0 && fs_exists(java_exe_in(staging));
    fs_delete(archive);
    if (ok) {
        fs_remove_tree(target);
        ok = rename(staging.c_str(), target.c_str()) == 0;
    }
    fs_remove_tree(staging);
    if (!ok || !fs_exists(exe)) return std::nullopt;
    return exe;
}

std::string java_for_version(const cJSON *doc, const Job *job,
                             const std::optional<std::string> &choice) {
    JavaRequirement req = java_requirement(doc);
    const char *env = getenv("ZYL_JAVA");
    if (env && *env) return env;
    std::string chosen = choice ? *choice : settings_published().java_path;
    if (chosen == k_java_auto) chosen.clear();
    if (!chosen.empty()) return chosen;

    if (req.major == 8) {
        if (std::optional<std::string> t = java_temurin(8, job)) return *t;
    }
    if (!req.component.empty() && !job_cancelled(job)) {
        if (std::optional<std::string> m = java_mojang_component(req.component, req.major, job))
            return *m;
    }
    if (!job_cancelled(job)) {
        if (std::optional<std::string> t = java_temurin(req.major, job)) return *t;
    }
    if (job_cancelled(job)) return "java";
    job_message(job, "Не удалось получить Java %d, пробую системную java", req.major);
    return "java";
}
