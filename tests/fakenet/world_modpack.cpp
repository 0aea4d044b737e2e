// Modpacks on the fake network: a Modrinth pack built from the real index of
// the corpus, CurseForge packs built from the real pack zip, and the content
// service's pack and CurseForge file routes. See world_modpack.h.
#include "fakenet/world_modpack.h"

#include "base/archive.h"
#include "base/digest.h"
#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"
#include "fakenet/run_zyl.h"
#include "fakenet/world_mojang.h"

#include <map>

namespace {

const char *const k_cdn_prefix = "https://cdn.modrinth.com/";
const char *const k_pack_slug = "zyl-test-pack";
const char *const k_pack_file = "zyl-test-pack-1.0.mrpack";

// The bytes of a pack file: a small jar that names its path.
std::string pack_jar(const std::string &name) {
    return world_zip({{"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n\r\n"},
                      {"fabric.mod.json", "{\"id\":\"" + name + "\"}"}});
}

// The server path of a CDN address: "/modrinth_cdn/<rest>" with %2B decoded
// the way the server decodes request paths.
std::string cdn_server_path(const std::string &cdn_url) {
    std::string rest = cdn_url.substr(std::string(k_cdn_prefix).size());
    std::string decoded;
    for (size_t i = 0; i < rest.size(); i++) {
        if (rest.compare(i, 3, "%2B") == 0) {
            decoded += '+';
            i += 2;
        } else {
            decoded += rest[i];
        }
    }
    return "/modrinth_cdn/" + decoded;
}

JsonPtr corpus_index() {
    return json_read_file(fakenet_corpus("modrinth/mrpack.128mbpack.modrinth.index.json"));
}

cJSON *file_entry(const std::string &path, const std::string &url, const std::string &sha1,
                  const char *client) {
    cJSON *f = cJSON_CreateObject();
    cJSON_AddStringToObject(f, "path", path.c_str());
    cJSON *env = cJSON_AddObjectToObject(f, "env");
    cJSON_AddStringToObject(env, "client", client);
    cJSON_AddStringToObject(env, "server", "required");
    cJSON *dl = cJSON_AddArrayToObject(f, "downloads");
    cJSON_AddItemToArray(dl, cJSON_CreateString(url.c_str()));
    cJSON *h = cJSON_AddObjectToObject(f, "hashes");
    cJSON_AddStringToObject(h, "sha1", sha1.c_str());
    return f;
}

// Files every hostile pack adds: (path, client env). Each URL works.
const std::vector<std::pair<std::string, const char *>> &hostile_files() {
    static const std::vector<std::pair<std::string, const char *>> files = {
        {"mods/server-only-1.0.jar", "unsupported"},
        {"../evil.jar", "required"},
        {"D:/x", "required"},
        {"/tmp/zyl-absolute-evil.jar", "required"},
        {"mods\\..\\..\\evil2.jar", "required"},
        {"\\evil3.jar", "required"},
        {"resourcepacks/pack-textures.zip", "required"},
    };
    return files;
}

std::string hostile_server_path(size_t i) {
    return format_alloc("/modrinth_cdn/extra/%zu/file.jar", i);
}

// The pack the service offers.
MrpackShape service_pack_shape() {
    return MrpackShape();
}

struct CfFile {
    long long id;
    long long project;
    std::string filename;
    int cls; // -1: no "class" member
    bool manual;
};

const std::vector<CfFile> &cf_files() {
    static const std::vector<CfFile> files = [] {
        // The JEI file exactly as CurseForge describes it.
        JsonPtr jei =
            json_read_file(fakenet_corpus("curseforge/api-v1.mods.238222.files.4615177.json"));
        cJSON *d = json_get(jei.get(), "data");
        std::vector<CfFile> v = {
            {static_cast<long long>(json_num(d, "id")),
             static_cast<long long>(json_num(d, "modId")), json_str(d, "fileName"), 6, false},
            {k_cf_manual, 235729, "Bountiful Baubles-1.12.2-2.2.2.jar", 6, true},
            {k_cf_resourcepack, 700001, "Faithful 32x.zip", 12, false},
            {k_cf_classless_zip, 700002, "Sildurs-Shaders.ZIP", -1, false},
            {k_cf_mod_zip, 700003, "legacy-mod.zip", 6, false},
            {k_cf_unsafe, 700004, "../evil.jar", 6, false},
            {k_cf_shader, 700005, "BSL.zip", 6552, false},
        };
        return v;
    }();
    return files;
}

std::string cf_server_path(const CfFile &f) {
    return format_alloc("/curseforge_cdn/files/%lld/%s", f.id, f.filename.c_str());
}

void serve_curseforge_files(FakeNet &n, const httplib::Request &req, httplib::Response &res) {
    JsonPtr body = json_parse(req.body);
    cJSON *ids = json_get(body.get(), "fileIds");
    if (!cJSON_IsArray(ids)) {
        res.status = 400;
        res.set_content("{\"error\":\"fileIds expected\"}", "application/json");
        return;
    }
    n.count(format_alloc("/service/v1/curseforge/files?ids=%d", cJSON_GetArraySize(ids)));
    JsonPtr out(cJSON_CreateObject());
    cJSON *files = cJSON_AddArrayToObject(out.get(), "files");
    cJSON *id;
    cJSON_ArrayForEach(id, ids) {
        for (const CfFile &f : cf_files()) {
            if (!cJSON_IsNumber(id) || static_cast<long long>(id->valuedouble) != f.id) continue;
            cJSON *o = cJSON_CreateObject();
            cJSON_AddNumberToObject(o, "id", static_cast<double>(f.id));
            cJSON_AddNumberToObject(o, "project", static_cast<double>(f.project));
            cJSON_AddStringToObject(o, "filename", f.filename.c_str());
            if (f.cls >= 0) cJSON_AddNumberToObject(o, "class", f.cls);
            std::string page = format_alloc("%s/minecraft/mc-mods/%lld/files/%lld",
                                            n.url("curseforge_web").c_str(), f.project, f.id);
            cJSON_AddStringToObject(o, "manual", page.c_str());
            if (!f.manual) {
                std::string bytes = pack_jar(f.filename);
                cJSON_AddStringToObject(o, "url", (n.base() + cf_server_path(f)).c_str());
                cJSON_AddStringToObject(o, "sha1", sha1_hex(bytes.data(), bytes.size()).c_str());
            }
            cJSON_AddItemToArray(files, o);
        }
    }
    res.set_content(json_print_compact(out.get()), "application/json");
}

std::string pack_files_answer(const FakeNet &n, const std::string &mc) {
    JsonPtr out(cJSON_CreateObject());
    cJSON *files = cJSON_AddArrayToObject(out.get(), "files");
    if (mc.empty() || mc == "1.20.1") {
        std::string pack = world_modpack_mrpack(n, service_pack_shape());
        cJSON *o = cJSON_CreateObject();
        cJSON_AddStringToObject(o, "id", "zYlPaCk1");
        cJSON_AddStringToObject(o, "filename", k_pack_file);
        cJSON_AddStringToObject(o, "url",
                                (n.base() + "/modrinth_cdn/packs/" + k_pack_file).c_str());
        cJSON_AddStringToObject(o, "proxied",
                                format_alloc("/v1/modrinth/%s/archive", k_pack_slug).c_str());
        cJSON_AddStringToObject(o, "sha1", sha1_hex(pack.data(), pack.size()).c_str());
        cJSON *mcs = cJSON_AddArrayToObject(o, "mc");
        cJSON_AddItemToArray(mcs, cJSON_CreateString("1.20.1"));
        cJSON_AddItemToArray(files, o);
    }
    return json_print_compact(out.get());
}

// Every file below dir as (relative name, bytes), sorted by name.
void read_tree(const std::string &dir, const std::string &rel,
               std::map<std::string, std::string> &out) {
    auto names = dir_list(dir);
    if (!names) return;
    for (const std::string &n : *names) {
        std::string path = dir + "/" + n, name = rel.empty() ? n : rel + "/" + n;
        if (fs_is_dir(path))
            read_tree(path, name, out);
        else if (auto bytes = fs_read_all(path))
            out[name] = *bytes;
    }
}

const std::map<std::string, std::string> &corpus_cf_zip_entries() {
    static const std::map<std::string, std::string> entries = [] {
        std::map<std::string, std::string> m;
        TempDir t;
        archive_extract(fakenet_corpus("curseforge/modpack-zip.rlcraft-trimmed.xmcl-mock.zip"),
                        t.path, 0, "");
        read_tree(t.path, "", m);
        return m;
    }();
    return entries;
}

} // namespace

std::vector<std::string> world_modpack_client_mods() {
    std::vector<std::string> out;
    JsonPtr index = corpus_index();
    cJSON *f;
    cJSON_ArrayForEach(f, json_get(index.get(), "files")) {
        if (json_str(json_get(f, "env"), "client") != "unsupported")
            out.push_back(json_str(f, "path"));
    }
    return out;
}

std::string world_modpack_index(const FakeNet &n, const MrpackShape &shape) {
    JsonPtr index = corpus_index();
    cJSON *deps = json_get(index.get(), "dependencies");
    cJSON_DeleteItemFromObjectCaseSensitive(deps, "fabric-loader");
    cJSON_ReplaceItemInObjectCaseSensitive(deps, "minecraft", cJSON_CreateString("1.20.1"));
    if (!shape.loader_key.empty())
        cJSON_AddStringToObject(deps, shape.loader_key.c_str(), shape.loader_version.c_str());
    cJSON_ReplaceItemInObjectCaseSensitive(index.get(), "name",
                                           cJSON_CreateString(shape.name.c_str()));
    cJSON *files = json_get(index.get(), "files");
    cJSON *f;
    cJSON_ArrayForEach(f, files) {
        cJSON *dl = json_get(f, "downloads");
        std::string url = cJSON_GetArrayItem(dl, 0)->valuestring;
        std::string path = cdn_server_path(url);
        cJSON_ReplaceItemInArray(dl, 0, cJSON_CreateString((n.base() + path).c_str()));
        std::string bytes = pack_jar(json_str(f, "path"));
        cJSON *h = json_get(f, "hashes");
        cJSON_ReplaceItemInObjectCaseSensitive(
            h, "sha1", cJSON_CreateString(sha1_hex(bytes.data(), bytes.size()).c_str()));
        cJSON_DeleteItemFromObjectCaseSensitive(h, "sha512");
        cJSON_DeleteItemFromObjectCaseSensitive(f, "fileSize");
    }
    if (shape.hostile) {
        const auto &extra = hostile_files();
        for (size_t i = 0; i < extra.size(); i++) {
            std::string bytes = pack_jar(extra[i].first);
            cJSON_AddItemToArray(files,
                                 file_entry(extra[i].first, n.base() + hostile_server_path(i),
                                            sha1_hex(bytes.data(), bytes.size()), extra[i].second));
        }
        // An entry without downloads is skipped silently.
        cJSON *bare = cJSON_CreateObject();
        cJSON_AddStringToObject(bare, "path", "mods/no-downloads.jar");
        cJSON_AddItemToArray(files, bare);
    }
    return json_print(index.get());
}

std::string world_modpack_mrpack(const FakeNet &n, const MrpackShape &shape) {
    return world_zip({
        {"modrinth.index.json", world_modpack_index(n, shape)},
        {"overrides/config/zyl-pack.txt", "from overrides"},
        {"overrides/options.txt", "lang:en_us"},
        {"overrides/../../escape.txt", "climbed out"},
        {"client-overrides/options.txt", "lang:ru_ru"},
    });
}

void world_modpack_publish(FakeNet &n) {
    n.serve(format_alloc("/service/v1/modrinth/%s/files", k_pack_slug), pack_files_answer(n, ""));
    std::string page = n.url("curseforge_web") + "/minecraft/modpacks/locked";
    n.serve("/service/v1/curseforge/900001/files",
            "{\"files\":[{\"id\":\"5000001\",\"filename\":\"Locked Pack 1.0.zip\",\"manual\":\"" +
                page + "\"}]}");
}

std::string world_modpack_cf_filename(long long id) {
    for (const CfFile &f : cf_files())
        if (f.id == id) return f.filename;
    return "";
}

std::string world_modpack_cf_manifest() {
    return corpus_cf_zip_entries().at("manifest.json");
}

std::string world_modpack_cf_zip(const std::string &manifest_text) {
    std::vector<std::pair<std::string, std::string>> entries;
    for (const auto &[name, bytes] : corpus_cf_zip_entries())
        entries.push_back({name, name == "manifest.json" ? manifest_text : bytes});
    return world_zip(entries);
}

FAKENET_WORLD("modpack", [](FakeNet &n) {
    JsonPtr index = corpus_index();
    cJSON *f;
    cJSON_ArrayForEach(f, json_get(index.get(), "files")) {
        std::string url = cJSON_GetArrayItem(json_get(f, "downloads"), 0)->valuestring;
        n.serve(cdn_server_path(url), pack_jar(json_str(f, "path")));
    }
    const auto &extra = hostile_files();
    for (size_t i = 0; i < extra.size(); i++)
        n.serve(hostile_server_path(i), pack_jar(extra[i].first));
    for (const CfFile &cf : cf_files())
        if (!cf.manual) n.serve(cf_server_path(cf), pack_jar(cf.filename));

    FakeNet *np = &n;
    auto pack = [np](const httplib::Request &, httplib::Response &res) {
        res.set_content(world_modpack_mrpack(*np, service_pack_shape()),
                        "application/octet-stream");
    };
    n.server.Get(std::string("/modrinth_cdn/packs/") + k_pack_file, pack);
    n.server.Get(format_alloc(R"(/service(/packs)?/v1/modrinth/%s/archive)", k_pack_slug), pack);
    n.server.Get(format_alloc("/service/packs/v1/modrinth/%s/files", k_pack_slug),
                 [np](const httplib::Request &req, httplib::Response &res) {
                     res.set_content(pack_files_answer(*np, req.get_param_value("mc")),
                                     "application/json");
                 });
    n.server.Post("/service/v1/curseforge/files",
                  [np](const httplib::Request &req, httplib::Response &res) {
                      serve_curseforge_files(*np, req, res);
                  });
});
