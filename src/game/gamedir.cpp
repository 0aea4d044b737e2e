// Game directory preparation for one launch: folders, client jar, classpath,
// natives and assets, each left in place for the next launch to reuse.
#include "game/gamedir.h"

#include "base/archive.h"
#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"
#include "config/datadir.h"
#include "game/libraries.h"

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

std::string launch_client_jar(const std::string &version_id, const std::string &root_id) {
    const std::string folder = datapaths().versions;
    const char *versions = folder.c_str();
    std::string root_jar = format_alloc("%s/%s/%s.jar", versions, root_id.c_str(), root_id.c_str());
    if (root_id == version_id) return root_jar;
    std::string own =
        format_alloc("%s/%s/%s.jar", versions, version_id.c_str(), version_id.c_str());
    FileStat root_st, own_st;
    if (fs_stat(root_jar, &root_st) != 0 || root_st.is_dir) return own;
    if (fs_stat(own, &own_st) == 0 && own_st.size == root_st.size) return own;
    // The loader's profile folder holds no jar of its own: keep a copy there.
    if (std::optional<std::string> bytes = fs_read_all(root_jar)) {
        fs_mkdirs_parent(own);
        fs_write_atomic(own, *bytes);
    }
    return own;
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
    l.client_jar = launch_client_jar(version_id, root_id);

    StrList classpath, natives;
    libraries_collect(json_get(profile, "libraries"), nullptr, &classpath, &natives, p, job);
    l.classpath = classpath_build(classpath, l.client_jar, p).joined;

    write_default_options(l.game_dir);
    l.natives_dir = format_alloc("%s/.natives/%s", l.game_dir.c_str(), version_id.c_str());
    extract_natives(natives, l.natives_dir, job);
    prepare_assets(profile, l);
    return l;
}
