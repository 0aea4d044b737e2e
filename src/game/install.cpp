// Vanilla phase of an installation: one download batch for the client,
// libraries, natives and logging configuration, one for the asset objects,
// the virtual asset tree of legacy versions, then the Java runtime.
#include "game/install.h"

#include "base/digest.h"
#include "base/fs.h"
#include "base/strings.h"
#include "config/datadir.h"
#include "game/java.h"
#include "game/libraries.h"
#include "game/loader_install.h"
#include "game/loaders.h"
#include "game/versions.h"
#include "net/download.h"
#include "net/endpoints.h"
#include "net/fetch.h"

namespace {

// An asset name must stay inside the virtual folder it is copied into.
bool asset_name_safe(const std::string &name) {
    if (name.empty() || name[0] == '/') return false;
    for (const std::string &seg : str_split(name, '/'))
        if (seg.empty() || seg == "." || seg == "..") return false;
    return true;
}

// Client jar, libraries with natives, and the logging configuration. skipped
// receives how many of them had to be left out for an unsafe path.
DownloadList client_downloads(const cJSON *doc, const std::string &mc, int &skipped,
                              const Job *job) {
    DownloadList list;
    const cJSON *client = json_get(json_get(doc, "downloads"), "client");
    if (client) {
        download_list_add(
            list, json_str(client, "url"),
            format_alloc("%s/%s/%s.jar", datapaths().versions.c_str(), mc.c_str(), mc.c_str()),
            json_str(client, "sha1"), json_llong(client, "size", -1));
    }
    skipped = libraries_collect(json_get(doc, "libraries"), &list, nullptr, nullptr,
                                platform_host(), job);
    const cJSON *logging = json_get(json_get(doc, "logging"), "client");
    if (logging) {
        const cJSON *file = json_get(logging, "file");
        std::string id = json_str(file, "id");
        if (asset_name_safe(id)) {
            download_list_add(
                list, json_str(file, "url"),
                format_alloc("%s/log_configs/%s", datapaths().assets.c_str(), id.c_str()),
                json_str(file, "sha1"), json_llong(file, "size", -1));
        } else if (!json_str(file, "url").empty()) {
            job_message(job, "Настройка журнала %s пропущена: имя выходит за папку", id.c_str());
            skipped++;
        }
    }
    return list;
}

std::string object_path(const std::string &assets, const std::string &hash) {
    return format_alloc("%s/objects/%.2s/%s", assets.c_str(), hash.c_str(), hash.c_str());
}

// Turns the index's objects into downloads (and, for a virtual index, links),
// freeing each object as it is taken: the tree and the list never both hold
// the whole of a large index. Objects whose hash cannot name a file are left
// out after one message; their number is returned.
int asset_downloads(cJSON *index, DownloadList &list, std::vector<AssetLink> *links,
                    const Job *job) {
    cJSON *objects = json_get(index, "objects");
    if (!cJSON_IsObject(objects)) return 0;
    list.reserve(static_cast<size_t>(cJSON_GetArraySize(objects)));
    const std::string &base = endpoint("resources");
    const std::string assets = datapaths().assets;
    int skipped = 0;
    std::string first_bad;
    while (cJSON *first = objects->child) {
        JsonPtr obj(cJSON_DetachItemViaPointer(objects, first));
        const cJSON *hash_item = json_get(obj.get(), "hash");
        if (!cJSON_IsString(hash_item)) continue;
        std::string hash = hash_item->valuestring;
        if (!sha1_names_path(hash)) {
            if (skipped++ == 0) first_bad = hash;
            continue;
        }
        download_list_add(list,
                          format_alloc("%s/%.2s/%s", base.c_str(), hash.c_str(), hash.c_str()),
                          object_path(assets, hash), hash, json_llong(obj.get(), "size", -1));
        if (links && obj->string) links->push_back({obj->string, hash});
    }
    if (skipped > 0)
        job_message(job, "Индекс ресурсов: %d объектов пропущено, хеш не SHA-1 (например «%s»)",
                    skipped, first_bad.c_str());
    return skipped;
}

// The assets half: index, objects, virtual tree. False when it failed.
bool install_assets(const cJSON *doc, VerifiedFiles &verified, const Job *job, std::string *cause) {
    JsonPtr index = install_asset_index(doc, job);
    if (!index) return false;
    bool virt = json_bool(index.get(), "virtual") || json_bool(index.get(), "map_to_resources");
    DownloadList objects;
    std::vector<AssetLink> links;
    int skipped = asset_downloads(index.get(), objects, virt ? &links : nullptr, job);
    index.reset();
    bool ok = download_batch(objects, "Ресурсы (звуки, языки)", datapaths().assets + "/objects",
                             skipped, &verified, job, cause) == 0;
    DownloadList().swap(objects);
    if (virt) install_virtual_tree(links, json_str(json_get(doc, "assetIndex"), "id"));
    return ok;
}

// Part files of earlier runs that were killed midway, in the folders an
// install fills. (The cache also holds unpacked modpacks, whose files may
// have any name; its own part files go when their download next succeeds.)
void remove_stale_parts() {
    const DataPaths p = datapaths();
    for (const std::string *folder : {&p.versions, &p.libraries, &p.assets, &p.java})
        download_remove_stale_parts(*folder);
}

} // namespace

JsonPtr install_asset_index(const cJSON *doc, const Job *job) {
    const cJSON *ai = json_get(doc, "assetIndex");
    std::string id = json_str(ai, "id");
    if (!asset_name_safe(id)) return nullptr;
    std::string path = format_alloc("%s/indexes/%s.json", datapaths().assets.c_str(), id.c_str());
    std::string want = json_str(ai, "sha1");
    std::string have;
    if (!want.empty() && file_sha1_hex(path, have) == 0 && have == want) {
        if (JsonPtr cached = json_read_file(path)) return cached;
    }
    job_phase(job, "Индекс ресурсов");
    return fetch_json_cached(json_str(ai, "url"), &path, true, job);
}

void install_virtual_tree(const std::vector<AssetLink> &links, const std::string &index_id) {
    if (!asset_name_safe(index_id)) return;
    const std::string assets = datapaths().assets;
    for (const AssetLink &l : links) {
        if (!sha1_names_path(l.hash) || !asset_name_safe(l.name)) continue;
        std::string dest =
            format_alloc("%s/virtual/%s/%s", assets.c_str(), index_id.c_str(), l.name.c_str());
        if (fs_exists(dest)) continue;
        fs_mkdirs_parent(dest);
        fs_link_or_copy(object_path(assets, l.hash), dest);
    }
}

std::optional<std::string> install_version(const std::optional<std::string> &loader,
                                           const std::string &mc,
                                           const std::optional<std::string> &loader_version,
                                           VerifyMode verify, const Job *job, std::string *err) {
    std::optional<std::string> kind = loader_normalize(loader);
    if (!kind) {
        job_fail(job, err, "Неизвестный загрузчик");
        return std::nullopt;
    }
    std::string failed = format_alloc("Ошибка установки Minecraft %s", mc.c_str());
    std::string cause;
    job_phase(job, "Версия и список версий");
    JsonPtr doc = version_load(mc, job, &cause);
    if (!doc) {
        job_fail(job, err, failed, cause);
        return std::nullopt;
    }
    job_message(job, "Minecraft %s: клиент, библиотеки, ресурсы", mc.c_str());
    // The sweep reads every folder of the game; a launch leaves it to the
    // next install (a file downloaded again removes its own leftovers).
    if (verify == VerifyMode::HashAll) remove_stale_parts();

    DataPaths paths = datapaths();
    VerifiedFiles verified;
    verified_open(verified, paths.data, verified_record_path(paths.cache), verify);
    int skipped = 0;
    DownloadList files = client_downloads(doc.get(), mc, skipped, job);
    bool ok = download_batch(files, "Клиент и библиотеки", paths.data, skipped, &verified, job,
                             &cause) == 0;
    if (ok && json_get(doc.get(), "assetIndex"))
        ok = install_assets(doc.get(), verified, job, &cause);
    verified_save(verified);
    // Java is provisioned even after a failure, so the runtime is ready for the retry.
    if (!job_cancelled(job)) java_for_version(doc.get(), job);
    if (!ok) {
        job_fail(job, err, failed, job_cancelled(job) ? k_job_cancelled_text : cause);
        return std::nullopt;
    }
    if (*kind == "Vanilla") return mc;
    return loader_install(*kind, mc, loader_version, job, err);
}
