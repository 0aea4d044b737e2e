// Vanilla phase of an installation: one download batch for the client,
// libraries, natives and logging configuration, one for the asset objects,
// the virtual asset tree of legacy versions, then the Java runtime.
#include "game/install.h"

#include "base/digest.h"
#include "base/fs.h"
#include "base/strings.h"
#include "base/ui.h"
#include "config/datadir.h"
#include "game/java.h"
#include "game/libraries.h"
#include "game/loader_install.h"
#include "game/loaders.h"
#include "game/versions.h"
#include "net/download.h"
#include "net/endpoints.h"
#include "net/http.h"

namespace {

long long json_size(const cJSON *obj) {
    const cJSON *size = json_get(obj, "size");
    return cJSON_IsNumber(size) ? static_cast<long long>(size->valuedouble) : -1;
}

// An asset name must stay inside the virtual folder it is copied into.
bool asset_name_safe(const std::string &name) {
    if (name.empty() || name[0] == '/') return false;
    for (const std::string &seg : str_split(name, '/'))
        if (seg.empty() || seg == "." || seg == "..") return false;
    return true;
}

// Client jar, libraries with natives, and the logging configuration.
DownloadList client_downloads(const cJSON *doc, const std::string &mc) {
    DownloadList list;
    const cJSON *client = json_get(json_get(doc, "downloads"), "client");
    if (client) {
        download_list_add(
            list, json_str(client, "url"),
            format_alloc("%s/%s/%s.jar", g_paths.versions.c_str(), mc.c_str(), mc.c_str()),
            json_str(client, "sha1"), json_size(client));
    }
    libraries_collect(json_get(doc, "libraries"), &list, nullptr, nullptr);
    const cJSON *logging = json_get(json_get(doc, "logging"), "client");
    if (logging) {
        const cJSON *file = json_get(logging, "file");
        std::string id = json_str(file, "id");
        if (asset_name_safe(id)) {
            download_list_add(list, json_str(file, "url"),
                              format_alloc("%s/log_configs/%s", g_paths.assets.c_str(), id.c_str()),
                              json_str(file, "sha1"), json_size(file));
        }
    }
    return list;
}

DownloadList asset_downloads(const cJSON *index) {
    DownloadList list;
    const std::string &base = endpoint("resources");
    const cJSON *obj = nullptr;
    cJSON_ArrayForEach(obj, json_get(index, "objects")) {
        std::string hash = json_str(obj, "hash");
        if (hash.size() < 2) continue;
        download_list_add(
            list, format_alloc("%s/%.2s/%s", base.c_str(), hash.c_str(), hash.c_str()),
            format_alloc("%s/objects/%.2s/%s", g_paths.assets.c_str(), hash.c_str(), hash.c_str()),
            hash, json_size(obj));
    }
    return list;
}

// The assets half: index, objects, virtual tree. False when it failed.
bool install_assets(const cJSON *doc) {
    JsonPtr index = install_asset_index(doc);
    if (!index) return false;
    DownloadList objects = asset_downloads(index.get());
    bool ok = download_batch(objects, "Ресурсы (звуки, языки)") == 0;
    if (json_bool(index.get(), "virtual") || json_bool(index.get(), "map_to_resources"))
        install_virtual_tree(index.get(), json_str(json_get(doc, "assetIndex"), "id"));
    return ok;
}

} // namespace

JsonPtr install_asset_index(const cJSON *doc) {
    const cJSON *ai = json_get(doc, "assetIndex");
    std::string id = json_str(ai, "id");
    if (!asset_name_safe(id)) return nullptr;
    std::string path = format_alloc("%s/indexes/%s.json", g_paths.assets.c_str(), id.c_str());
    std::string want = json_str(ai, "sha1");
    std::string have;
    if (!want.empty() && file_sha1_hex(path, have) == 0 && have == want) {
        if (JsonPtr cached = json_read_file(path)) return cached;
    }
    return fetch_json_cached(json_str(ai, "url"), &path, true);
}

void install_virtual_tree(const cJSON *index, const std::string &index_id) {
    if (!asset_name_safe(index_id)) return;
    const cJSON *obj = nullptr;
    cJSON_ArrayForEach(obj, json_get(index, "objects")) {
        std::string hash = json_str(obj, "hash");
        if (hash.size() < 2 || !asset_name_safe(obj->string)) continue;
        std::string dest =
            format_alloc("%s/virtual/%s/%s", g_paths.assets.c_str(), index_id.c_str(), obj->string);
        if (fs_exists(dest)) continue;
        fs_mkdirs_parent(dest);
        fs_link_or_copy(
            format_alloc("%s/objects/%.2s/%s", g_paths.assets.c_str(), hash.c_str(), hash.c_str()),
            dest);
    }
}

std::optional<std::string> install_version(const std::optional<std::string> &loader,
                                           const std::string &mc,
                                           const std::optional<std::string> &loader_version) {
    std::optional<std::string> kind = loader_normalize(loader);
    if (!kind) {
        ui_message("Неизвестный загрузчик");
        return std::nullopt;
    }
    JsonPtr doc = version_load(mc);
    if (!doc) {
        ui_message("Ошибка установки Minecraft %s", mc.c_str());
        return std::nullopt;
    }
    ui_message("Minecraft %s: клиент, библиотеки, ресурсы", mc.c_str());

    DownloadList files = client_downloads(doc.get(), mc);
    bool ok = download_batch(files, "Клиент и библиотеки") == 0;
    if (ok && json_get(doc.get(), "assetIndex")) ok = install_assets(doc.get());
    // Java is provisioned even after a failure, so the runtime is ready for the retry.
    java_for_version(doc.get());
    if (!ok) {
        ui_message("Ошибка установки Minecraft %s", mc.c_str());
        return std::nullopt;
    }
    if (*kind == "Vanilla") return mc;
    return loader_install(*kind, mc, loader_version);
}
