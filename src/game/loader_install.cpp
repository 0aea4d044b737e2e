// Loader phase: picks the loader version, gets the loader profile (published
// profile, headless installer run or an old installer unpacked by hand) and
// downloads the libraries of the resulting profile.
#include "game/loader_install.h"

#include "base/archive.h"
#include "base/fs.h"
#include "base/proc.h"
#include "config/datadir.h"
#include "game/gamedir.h"
#include "game/java.h"
#include "game/libraries.h"
#include "game/versions.h"
#include "net/download.h"
#include "net/endpoints.h"
#include "net/fetch.h"
#include "net/http.h"
#include "net/service.h"

#include <algorithm>
#include <unistd.h>

namespace {

std::optional<std::string> choose_version(const std::string &loader, const std::string &mc,
                                          const std::optional<std::string> &given, const Job *job,
                                          std::string *err) {
    if (given && !given->empty()) return *given;
    StrList versions;
    loader_versions(loader, mc, versions, job);
    if (versions.empty()) {
        if (job_cancelled(job)) {
            if (err) *err = k_job_cancelled_text;
        } else if (service_is_down()) {
            job_fail(job, err,
                     format_alloc("Не удалось получить версии %s для Minecraft %s: API %s "
                                  "недоступен, сайт %s напрямую не ответил",
                                  loader.c_str(), mc.c_str(), service_base_url().c_str(),
                                  loader.c_str()));
        } else {
            job_fail(job, err,
                     format_alloc("%s не поддерживает Minecraft %s", loader.c_str(), mc.c_str()));
        }
        return std::nullopt;
    }
    job_message(job, "Версия %s: %s", loader.c_str(), versions[0].c_str());
    return versions[0];
}

// Resolves the profile against its parents, checks the profile's copy of the
// client (repairing it) and downloads every library of it.
std::optional<std::string> finish(const std::string &id, const Job *job, std::string *err) {
    std::string root_id;
    JsonPtr profile = version_resolve(id, &root_id, job, err);
    if (!profile) return std::nullopt;
    launch_client_jar(profile.get(), id, root_id, VerifyMode::HashAll, job);
    DownloadList list;
    int skipped = libraries_collect(json_get(profile.get(), "libraries"), &list, nullptr, nullptr,
                                    platform_host(), job);
    if (download_batch(list, "Библиотеки загрузчика", datapaths().libraries, skipped, nullptr, job,
                       err) != 0)
        return std::nullopt;
    return id;
}

std::optional<std::string> install_published(LoaderKind kind, const std::string &display,
                                             const std::string &mc, const std::string &v,
                                             const Job *job, std::string *err) {
    JsonPtr profile;
    JsonPtr reply;
    if (service_loader_build(loader_lower_name(kind), mc, v, reply, nullptr) == 0 &&
        cJSON_IsObject(json_get(reply.get(), "profile")))
        profile.reset(cJSON_Duplicate(json_get(reply.get(), "profile"), 1));
    if (!profile) {
        std::string base = kind == LoaderKind::Fabric ? endpoint("fabric_meta") + "/v2"
                                                      : endpoint("quilt_meta") + "/v3";
        profile =
            fetch_json_cached(format_alloc("%s/versions/loader/%s/%s/profile/json", base.c_str(),
                                           url_escape(mc).c_str(), url_escape(v).c_str()),
                              nullptr, true, job);
    }
    if (job_cancelled(job)) {
        if (err) *err = k_job_cancelled_text;
        return std::nullopt;
    }
    std::optional<std::string> id = json_str_opt(profile.get(), "id");
    // The id names a folder under versions/: one that could leave it is refused.
    if (!id || !version_id_valid(*id) || version_save(*id, profile.get()) != 0) {
        job_fail(job, err,
                 format_alloc("Не удалось получить профиль %s %s", display.c_str(), v.c_str()));
        return std::nullopt;
    }
    return finish(*id, job, err);
}

// The installer's file name in the cache: the address's last path segment.
std::string installer_file(const std::string &url, LoaderKind kind, const std::string &v) {
    std::string path = url.substr(0, url.find_first_of("?#"));
    std::string name = path.substr(path.rfind('/') + 1);
    if (name.empty() || name == "." || name == "..")
        name = format_alloc("%s-%s-installer.jar", loader_lower_name(kind), v.c_str());
    return format_alloc("%s/%s", datapaths().cache.c_str(), name.c_str());
}

// A folder of the cache for this call alone ("forge-pre-<pid>-<n>").
std::string scratch_folder(const char *what) {
    return fs_unique_name(format_alloc("%s/%s-", datapaths().cache.c_str(), what));
}

// Libraries the installer needs before it runs: those its documents name and
// the ones it carries in its "maven" folder.
void prefetch_libraries(const std::string &installer, const Job *job) {
    std::string dir = scratch_folder("forge-pre");
    if (zip_extract(installer, dir, 0, "", nullptr) == 0) {
        DownloadList list;
        for (const char *name : {"install_profile.json", "version.json"}) {
            JsonPtr doc = json_read_file(dir + "/" + name);
            loader_installer_libraries(doc.get(), list);
        }
        if (fs_is_dir(dir + "/maven")) fs_copy_tree(dir + "/maven", datapaths().libraries);
        if (!list.empty()) {
            job_message(job, "Библиотеки установщика: %d файлов", static_cast<int>(list.size()));
            download_batch(list, "Библиотеки загрузчика", datapaths().libraries, 0, nullptr, job);
        }
    }
    fs_remove_tree(dir);
}

// Old installers cannot run headless: their profile and universal jar are
// unpacked here. The profile id, or none.
std::optional<std::string> install_legacy(const std::string &installer, const std::string &mc) {
    std::string dir = scratch_folder("forge-legacy");
    zip_extract(installer, dir, 0, "", nullptr);
    std::optional<std::string> id;
    JsonPtr install_profile = json_read_file(dir + "/install_profile.json");
    JsonPtr profile = loader_legacy_profile(install_profile.get(), mc);
    std::string pid = json_str(profile.get(), "id");
    if (profile && version_save(pid, profile.get()) == 0) {
        id = pid;
        const cJSON *install = json_get(install_profile.get(), "install");
        std::string file = json_str(install, "filePath");
        std::optional<std::string> rel = maven_path(json_str(install, "path"));
        std::optional<std::string> bytes;
        if (rel && !file.empty() && library_path_safe(file)) bytes = fs_read_all(dir + "/" + file);
        if (bytes) fs_write_atomic(datapaths().libraries + "/" + *rel, *bytes);
    }
    fs_remove_tree(dir);
    return id;
}

bool contains(const StrList &list, const std::string &s) {
    return std::find(list.begin(), list.end(), s) != list.end();
}

// The installer jar in the cache (the content service may name its address);
// none when neither address form could be downloaded.
std::optional<std::string> fetch_installer(LoaderKind kind, const std::string &display,
                                           const std::string &mc, const std::string &v,
                                           const Job *job) {
    std::string url = loader_installer_url(kind, mc, v, false);
    JsonPtr reply;
    if (service_loader_build(loader_lower_name(kind), mc, v, reply, nullptr) == 0) {
        std::string named = json_str(reply.get(), "installer");
        if (!named.empty()) url = named;
    }
    job_message(job, "Скачиваю установщик %s %s", display.c_str(), v.c_str());
    std::string installer = installer_file(url, kind, v);
    int rc = download_with_fallback(url, installer, "", -1, job);
    if (rc != 0 && kind == LoaderKind::Forge && !job_cancelled(job)) {
        url = loader_installer_url(kind, mc, v, true);
        installer = installer_file(url, kind, v);
        rc = download_with_fallback(url, installer, "", -1, job);
    }
    if (rc != 0) return std::nullopt;
    return installer;
}

// Runs the installer headless (legacy unpacking when it fails) and finds the
// profile it left: the expected id, else the first profile that is new.
std::optional<std::string> run_installer(LoaderKind kind, const std::string &display,
                                         const std::string &mc, const std::string &v,
                                         const std::string &installer, const Job *job) {
    std::string expected = loader_profile_id(kind, mc, v);
    bool expected_valid = version_id_valid(expected);
    StrList before;
    versions_installed(before);
    JsonPtr game = version_load(mc, job);
    std::string java = java_for_version(game.get(), job);

    job_message(job, "Запускаю установщик %s (может занять пару минут)...", display.c_str());
    job_progress(job, 0, 0, "Установка загрузчика");
    std::string log =
        format_alloc("%s/%s-installer.log", datapaths().cache.c_str(), display.c_str());
    int code = proc_run_logged({java, "-jar", installer, "--installClient", datapaths().data},
                               datapaths().cache, log);
    std::optional<std::string> id;
    if (code != 0) {
        job_message(job, "Установщик вернул код %d (лог: %s), пробую legacy-режим", code,
                    log.c_str());
        id = install_legacy(installer, mc);
    }
    if (!id && expected_valid && fs_exists(version_json_path(expected))) id = expected;
    if (id) return id;
    StrList after;
    versions_installed(after);
    for (const std::string &a : after) {
        if (before.empty() || !contains(before, a)) return a;
    }
    return std::nullopt;
}

std::optional<std::string> install_with_installer(LoaderKind kind, const std::string &display,
                                                  const std::string &mc, const std::string &v,
                                                  const Job *job, std::string *err) {
    std::string expected = loader_profile_id(kind, mc, v);
    if (version_id_valid(expected) && fs_exists(version_json_path(expected))) {
        job_message(job, "%s %s уже установлен", display.c_str(), v.c_str());
        return finish(expected, job, err);
    }
    std::optional<std::string> installer = fetch_installer(kind, display, mc, v, job);
    if (!installer) {
        if (err)
            *err = job_cancelled(job) ? k_job_cancelled_text
                                      : format_alloc("Не удалось скачать установщик %s %s",
                                                     display.c_str(), v.c_str());
        return std::nullopt;
    }
    std::string profiles = format_alloc("%s/launcher_profiles.json", datapaths().data.c_str());
    if (!fs_exists(profiles)) fs_write_atomic(profiles, std::string("{\"profiles\":{}}"));
    prefetch_libraries(*installer, job);
    if (job_cancelled(job)) {
        if (err) *err = k_job_cancelled_text;
        return std::nullopt;
    }
    std::optional<std::string> id = run_installer(kind, display, mc, v, *installer, job);
    if (!id) {
        job_fail(job, err, format_alloc("Не найден установленный профиль %s", display.c_str()));
        return std::nullopt;
    }
    return finish(*id, job, err);
}

// "https://files.minecraftforge.net" -> "files.minecraftforge.net".
std::string without_scheme(const std::string &url) {
    size_t at = url.find("://");
    return at == std::string::npos ? url : url.substr(at + 3);
}

} // namespace

std::string loader_profile_id(LoaderKind kind, const std::string &mc, const std::string &v) {
    if (kind == LoaderKind::NeoForge) return format_alloc("neoforge-%s", v.c_str());
    return format_alloc("%s-forge-%s", mc.c_str(), v.c_str());
}

std::string loader_installer_url(LoaderKind kind, const std::string &mc, const std::string &v,
                                 bool older_naming) {
    if (kind == LoaderKind::NeoForge) {
        std::string prefix = endpoint("neoforge_maven") + "/releases/net/neoforged/neoforge";
        return format_alloc("%s/%s/neoforge-%s-installer.jar", prefix.c_str(), v.c_str(),
                            v.c_str());
    }
    std::string prefix = endpoint("forge_maven") + "/net/minecraftforge/forge";
    const char *p = prefix.c_str(), *m = mc.c_str(), *f = v.c_str();
    if (older_naming)
        return format_alloc("%s/%s-%s-%s/forge-%s-%s-%s-installer.jar", p, m, f, m, m, f, m);
    return format_alloc("%s/%s-%s/forge-%s-%s-installer.jar", p, m, f, m, f);
}

void loader_installer_libraries(const cJSON *doc, DownloadList &list) {
    if (!doc || json_get(doc, "versionInfo")) return;
    const cJSON *lib;
    cJSON_ArrayForEach(lib, json_get(doc, "libraries")) {
        const cJSON *art = json_get(json_get(lib, "downloads"), "artifact");
        std::string url = json_str(art, "url");
        std::string path = json_str(art, "path");
        // The path comes from a downloaded archive: it must stay in the libraries folder.
        if (url.empty() || path.empty() || !library_path_safe(path)) continue;
        download_list_add(list, url, datapaths().libraries + "/" + path, json_str(art, "sha1"),
                          json_llong(art, "size", -1));
    }
}

JsonPtr loader_legacy_profile(const cJSON *install_profile, const std::string &mc) {
    const cJSON *info = json_get(install_profile, "versionInfo");
    if (!cJSON_IsObject(info) || !cJSON_IsObject(json_get(install_profile, "install")))
        return nullptr;
    if (!version_id_valid(json_str(info, "id"))) return nullptr;
    JsonPtr profile(cJSON_Duplicate(info, 1));
    if (!json_get(profile.get(), "inheritsFrom"))
        cJSON_AddStringToObject(profile.get(), "inheritsFrom", mc.c_str());
    cJSON_DeleteItemFromObjectCaseSensitive(profile.get(), "jar");
    std::string old_host = without_scheme(endpoint("forge_files"));
    std::string maven = endpoint("forge_maven") + "/";
    cJSON *lib;
    cJSON_ArrayForEach(lib, json_get(profile.get(), "libraries")) {
        const cJSON *url = json_get(lib, "url");
        if (cJSON_IsString(url) &&
            std::string(url->valuestring).find(old_host) != std::string::npos)
            cJSON_ReplaceItemInObjectCaseSensitive(lib, "url", cJSON_CreateString(maven.c_str()));
    }
    return profile;
}

std::optional<std::string> loader_install(const std::string &loader, const std::string &mc,
                                          const std::optional<std::string> &loader_version,
                                          const Job *job, std::string *err) {
    LoaderKind kind = loader_kind(loader);
    if (kind == LoaderKind::Vanilla) return mc;
    std::optional<std::string> v = choose_version(loader, mc, loader_version, job, err);
    if (!v) return std::nullopt;
    if (kind == LoaderKind::Fabric || kind == LoaderKind::Quilt)
        return install_published(kind, loader, mc, *v, job, err);
    return install_with_installer(kind, loader, mc, *v, job, err);
}
