// Game directory preparation for one launch: folders, client jar, classpath,
// natives and assets, each left in place for the next launch to reuse.
#include "game/gamedir.h"

#include "base/archive.h"
#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"
#include "config/datadir.h"
#include "game/libraries.h"
#include "net/download.h"

#include <sys/stat.h>

std::string game_folder_name(const std::string &name) {
    std::string out = name;
    bool only_dots = true;
    for (char &c : out) {
        bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '.' || c == '_';
        if (!keep) c = '_';
        only_dots = only_dots && c == '.';
    }
    if (only_dots) out.assign(out.size(), '_');
    return out;
}

std::string game_directory(const std::string &version_id,
                           const std::optional<std::string> &folder) {
    std::string name = folder && !folder->empty() ? *folder : version_id;
    std::string dir =
        format_alloc("%s/%s", datapaths().instances.c_str(), game_folder_name(name).c_str());
    fs_mkdirs(format_alloc("%s/mods", dir.c_str()));
    return dir;
}

namespace {

// Replaces path with a hard link to (or, where links fail, a copy of) from,
// under a temporary name first: no reader ever sees half a jar.
void replace_with_link(const std::string &from, const std::string &path) {
    std::string tmp = fs_unique_name(path + ".tmp");
    fs_mkdirs_parent(path);
    if (fs_link_or_copy(from, tmp) != 0 || fs_rename_replace(tmp, path) != 0) fs_delete(tmp);
}

bool is_file(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool same_file(const std::string &a, const std::string &b) {
    struct stat sa {};
    struct stat sb {};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Fetches the client again into root_jar (the download checks it).
void download_client(const cJSON *client, const std::string &root_jar, VerifiedFiles &vf,
                     const Job *job) {
    std::string url = json_str(client, "url");
    if (url.empty()) return;
    DownloadList list;
    download_list_add(list, url, root_jar, json_str(client, "sha1"),
                      json_llong(client, "size", -1));
    download_batch(list, "Клиент", datapaths().data, 0, &vf, job);
}

} // namespace

std::string launch_client_jar(const cJSON *profile, const std::string &version_id,
                              const std::string &root_id, VerifyMode mode, const Job *job) {
    const std::string folder = datapaths().versions;
    const char *versions = folder.c_str();
    std::string root_jar = format_alloc("%s/%s/%s.jar", versions, root_id.c_str(), root_id.c_str());
    std::string own =
        format_alloc("%s/%s/%s.jar", versions, version_id.c_str(), version_id.c_str());
    bool loader = root_id != version_id;
    const std::string &jar = loader ? own : root_jar;
    const cJSON *client = json_get(json_get(profile, "downloads"), "client");
    std::string sha1 = json_str(client, "sha1");
    if (sha1.empty()) {
        // Nothing to check against: the own jar is the root jar's file.
        if (loader && is_file(root_jar) && !same_file(own, root_jar))
            replace_with_link(root_jar, own);
        return jar;
    }

    DataPaths paths = datapaths();
    VerifiedFiles vf;
    verified_open(vf, paths.data, verified_record_path(paths.cache), mode);
    if (!verified_check(&vf, jar, sha1)) {
        if (!loader || !verified_check(&vf, root_jar, sha1))
            download_client(client, root_jar, vf, job);
        if (loader && is_file(root_jar)) replace_with_link(root_jar, own);
    }
    verified_save(vf);
    return jar;
}

namespace {

void write_default_options(const std::string &game_dir) {
    std::string path = format_alloc("%s/options.txt", game_dir.c_str());
    if (fs_exists(path)) return;
    fs_write_atomic(path, k_default_options, sizeof k_default_options - 1);
}

void extract_natives(const StrList &natives, const std::string &dir, const Job *job) {
    fs_mkdirs(dir);
    for (const std::string &jar : natives) {
        if (zip_extract(jar, dir, 0, "META-INF/") != 0)
            job_message(job, "Не удалось распаковать natives %s", jar.c_str());
    }
}

// Old versions read their sounds and languages from "resources" in the game
// directory: hard links to the objects cost no space.
void map_to_resources(const cJSON *index, const std::string &game_dir) {
    const std::string assets = datapaths().assets;
    const cJSON *obj = nullptr;
    cJSON_ArrayForEach(obj, json_get(index, "objects")) {
        std::string hash = json_str(obj, "hash");
        if (hash.size() < 2 || !library_path_safe(obj->string)) continue;
        std::string dest = format_alloc("%s/resources/%s", game_dir.c_str(), obj->string);
        if (fs_exists(dest)) continue;
        fs_mkdirs_parent(dest);
        fs_link_or_copy(
            format_alloc("%s/objects/%.2s/%s", assets.c_str(), hash.c_str(), hash.c_str()), dest);
    }
}

void prepare_assets(const cJSON *profile, LaunchLayout &l) {
    const cJSON *ai = json_get(profile, "assetIndex");
    l.asset_index = ai ? json_str(ai, "id") : "legacy";
    const std::string assets = datapaths().assets;
    l.assets_root = assets;
    if (!library_path_safe(l.asset_index)) return;
    JsonPtr index =
        json_read_file(format_alloc("%s/indexes/%s.json", assets.c_str(), l.asset_index.c_str()));
    if (!index) return;
    bool to_resources = json_bool(index.get(), "map_to_resources");
    if (json_bool(index.get(), "virtual") || to_resources)
        l.assets_root = format_alloc("%s/virtual/%s", assets.c_str(), l.asset_index.c_str());
    if (to_resources) map_to_resources(index.get(), l.game_dir);
}

} // namespace

LaunchLayout launch_prepare(const cJSON *profile, const std::string &version_id,
                            const std::string &root_id, const std::optional<std::string> &folder,
                            const Platform &p, const Job *job) {
    LaunchLayout l;
    l.game_dir = game_directory(version_id, folder);
    l.client_jar = launch_client_jar(profile, version_id, root_id, VerifyMode::TrustRecord, job);

    StrList classpath, natives;
    libraries_collect(json_get(profile, "libraries"), nullptr, &classpath, &natives, p, job);
    l.classpath = classpath_build(classpath, l.client_jar, p).joined;

    write_default_options(l.game_dir);
    l.natives_dir = format_alloc("%s/.natives/%s", l.game_dir.c_str(), version_id.c_str());
    extract_natives(natives, l.natives_dir, job);
    prepare_assets(profile, l);
    return l;
}
