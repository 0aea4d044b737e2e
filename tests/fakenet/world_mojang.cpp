// Mojang's hosts on the fake network; see world_mojang.h for what is served.
#include "fakenet/world_mojang.h"

#include "base/digest.h"
#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"

#include <cstring>
#include <zlib.h>

namespace {

// Stands for the server's base address inside stored documents; replaced when served.
const char *const k_base = "@FAKENET@";

struct VersionSpec {
    const char *id;
    std::vector<const char *> keep; // library names kept from the real document
    std::vector<const char *> assets;
};

const VersionSpec k_versions[] = {
    {"1.20.1",
     {"com.google.code.gson:gson:2.10", "com.mojang:logging:1.1.1", "org.lwjgl:lwjgl:3.3.1",
      "org.lwjgl:lwjgl:3.3.1:natives-linux", "org.lwjgl:lwjgl:3.3.1:natives-windows",
      "org.lwjgl:lwjgl:3.3.1:natives-windows-x86", "org.lwjgl:lwjgl:3.3.1:natives-macos",
      "ca.weblite:java-objc-bridge:1.1"},
     {"icons/icon_16x16.png", "minecraft/lang/ru_ru.json",
      "minecraft/sounds/ambient/cave/cave1.ogg"}},
    {"1.14 Pre-Release 1",
     {"com.mojang:patchy:1.3.9", "org.lwjgl:lwjgl:3.2.1"},
     {"minecraft/lang/en_us.json"}},
    {"1.6.4",
     {"net.sf.jopt-simple:jopt-simple:4.5", "org.lwjgl.lwjgl:lwjgl:2.9.0",
      "org.lwjgl.lwjgl:lwjgl-platform:2.9.0"},
     {"lang/en_US.lang", "sound/step/grass1.ogg", "music/calm1.ogg"}},
    {"b1.7.3",
     {"net.minecraft:launchwrapper:1.5", "org.lwjgl.lwjgl:lwjgl:2.9.0",
      "org.lwjgl.lwjgl:lwjgl-platform:2.9.0"},
     {"sound/step/grass1.ogg", "music/calm1.ogg"}},
};

struct World {
    std::vector<std::string> ids;
    std::map<std::string, std::string> docs; // id -> document text with k_base
    std::string manifest;
    std::map<std::string, std::string> files;
};

void put_u16(std::string &s, unsigned v) {
    s += static_cast<char>(v & 0xff);
    s += static_cast<char>((v >> 8) & 0xff);
}
void put_u32(std::string &s, unsigned long v) {
    put_u16(s, v & 0xffff);
    put_u16(s, (v >> 16) & 0xffff);
}

std::string last_segment(const std::string &path) {
    return path.substr(path.rfind('/') + 1);
}

std::string library_jar(const std::string &path) {
    std::string file = last_segment(path);
    std::string stem = file.substr(0, file.rfind('.'));
    std::vector<std::pair<std::string, std::string>> entries = {
        {"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n\r\n"}};
    if (path.find("natives-") != std::string::npos) {
        bool windows = path.find("windows") != std::string::npos;
        entries.push_back({windows ? stem + ".dll" : "lib" + stem + ".so", "native code " + path});
    } else {
        entries.push_back({stem + ".txt", "library " + path});
    }
    return world_zip(entries);
}

std::string client_jar() {
    if (auto jar = fs_read_all(fakenet_java_jar(WORLD_CLIENT_JAR))) return *jar;
    return world_zip({{"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n\r\n"},
                      {"net/minecraft/client/main/Main.txt", "no stub game was built"}});
}

// Points a download object ({"path"?, "url", "sha1", "size"}) at bytes served at path.
void set_download(World &w, cJSON *obj, const std::string &path, const std::string &bytes) {
    w.files[path] = bytes;
    cJSON_DeleteItemFromObjectCaseSensitive(obj, "url");
    cJSON_AddStringToObject(obj, "url", (k_base + path).c_str());
    cJSON_DeleteItemFromObjectCaseSensitive(obj, "sha1");
    cJSON_AddStringToObject(obj, "sha1", sha1_hex(bytes.data(), bytes.size()).c_str());
    cJSON_DeleteItemFromObjectCaseSensitive(obj, "size");
    cJSON_AddNumberToObject(obj, "size", static_cast<double>(bytes.size()));
}

void rewrite_library(World &w, cJSON *lib) {
    cJSON *dl = json_get(lib, "downloads");
    cJSON *art = json_get(dl, "artifact");
    if (auto p = json_str_opt(art, "path"))
        set_download(w, art, "/libraries/" + *p, library_jar(*p));
    cJSON *c;
    cJSON_ArrayForEach(c, json_get(dl, "classifiers")) {
        if (auto p = json_str_opt(c, "path"))
            set_download(w, c, "/libraries/" + *p, library_jar(*p));
    }
}

// tv.twitch:twitch-platform from 1.7.10, adapted: its Linux classifier uses
// ${arch} and comes from the repository base, as some old documents do.
cJSON *twitch_library(World &w) {
    JsonPtr doc = json_read_file(fakenet_corpus("mojang/versions/1.7.10.json"));
    cJSON *lib = nullptr;
    cJSON *l;
    cJSON_ArrayForEach(l, json_get(doc.get(), "libraries")) {
        if (json_str(l, "name") == "tv.twitch:twitch-platform:5.16") lib = cJSON_Duplicate(l, 1);
    }
    if (!lib) return nullptr;
    cJSON_DeleteItemFromObjectCaseSensitive(lib, "rules");
    cJSON *natives = json_get(lib, "natives");
    cJSON_ReplaceItemInObjectCaseSensitive(natives, "linux",
                                           cJSON_CreateString("natives-linux-${arch}"));
    cJSON_AddStringToObject(lib, "url", (std::string(k_base) + "/libraries/").c_str());
    rewrite_library(w, lib);
    std::string rel = "tv/twitch/twitch-platform/5.16/twitch-platform-5.16-natives-linux-64.jar";
    w.files["/libraries/" + rel] = library_jar(rel);
    return lib;
}

// An asset index over generated objects; returns its bytes.
std::string asset_index(World &w, const VersionSpec &version, const std::string &kind) {
    JsonPtr index(cJSON_CreateObject());
    if (kind == "legacy") cJSON_AddTrueToObject(index.get(), "virtual");
    if (kind == "pre-1.6") cJSON_AddTrueToObject(index.get(), "map_to_resources");
    cJSON *objects = cJSON_AddObjectToObject(index.get(), "objects");
    for (const char *name : version.assets) {
        std::string bytes = std::string("asset ") + name;
        std::string hash = sha1_hex(bytes.data(), bytes.size());
        cJSON *o = cJSON_AddObjectToObject(objects, name);
        cJSON_AddStringToObject(o, "hash", hash.c_str());
        cJSON_AddNumberToObject(o, "size", static_cast<double>(bytes.size()));
        w.files["/resources/" + hash.substr(0, 2) + "/" + hash] = bytes;
    }
    return json_print_compact(index.get());
}

void rewrite_downloads(World &w, cJSON *doc) {
    cJSON *downloads = json_get(doc, "downloads");
    if (cJSON *client = json_get(downloads, "client")) {
        std::string jar = client_jar();
        std::string path =
            "/piston_data/v1/objects/" + sha1_hex(jar.data(), jar.size()) + "/client.jar";
        set_download(w, client, path, jar);
        cJSON_DetachItemViaPointer(downloads, client);
        cJSON_DeleteItemFromObjectCaseSensitive(doc, "downloads");
        cJSON_AddItemToObject(cJSON_AddObjectToObject(doc, "downloads"), "client", client);
    }
    cJSON *file = json_get(json_get(json_get(doc, "logging"), "client"), "file");
    if (file) {
        std::string id = json_str(file, "id");
        std::string xml =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Configuration status=\"WARN\">"
            "<!-- " +
            id + " --></Configuration>\n";
        set_download(w, file,
                     "/piston_data/v1/objects/" + sha1_hex(xml.data(), xml.size()) + "/" + id, xml);
    }
}

void rewrite_asset_index(World &w, cJSON *doc, const VersionSpec &version) {
    cJSON *ai = json_get(doc, "assetIndex");
    if (!ai) return;
    std::string id = json_str(ai, "id");
    std::string bytes = asset_index(w, version, id);
    set_download(w, ai,
                 "/piston_meta/v1/packages/" + sha1_hex(bytes.data(), bytes.size()) + "/" + id +
                     ".json",
                 bytes);
    long long total = 0;
    for (const char *name : version.assets)
        total += 6 + static_cast<long long>(strlen(name));
    cJSON_DeleteItemFromObjectCaseSensitive(ai, "totalSize");
    cJSON_AddNumberToObject(ai, "totalSize", static_cast<double>(total));
}

std::string build_version(World &w, const VersionSpec &version) {
    JsonPtr doc =
        json_read_file(fakenet_corpus(std::string("mojang/versions/") + version.id + ".json"));
    if (!doc) return "";
    cJSON *libs = cJSON_CreateArray();
    cJSON *l;
    cJSON_ArrayForEach(l, json_get(doc.get(), "libraries")) {
        std::string name = json_str(l, "name");
        for (const char *k : version.keep) {
            if (name != k) continue;
            cJSON *copy = cJSON_Duplicate(l, 1);
            rewrite_library(w, copy);
            cJSON_AddItemToArray(libs, copy);
            break;
        }
    }
    if (std::string(version.id) == "1.6.4") {
        if (cJSON *twitch = twitch_library(w)) cJSON_AddItemToArray(libs, twitch);
    }
    cJSON_ReplaceItemInObjectCaseSensitive(doc.get(), "libraries", libs);
    rewrite_downloads(w, doc.get());
    rewrite_asset_index(w, doc.get(), version);
    return json_print(doc.get());
}

std::string manifest_url(const std::string &id) {
    std::string path = world_mojang_version_path(id);
    std::string out;
    for (char c : path)
        out += c == ' ' ? std::string("%20") : std::string(1, c);
    return k_base + out;
}

std::string build_manifest(const World &w) {
    JsonPtr real = json_read_file(fakenet_corpus("mojang/manifest/version_manifest_v2.json"));
    JsonPtr m(cJSON_CreateObject());
    cJSON *latest = cJSON_AddObjectToObject(m.get(), "latest");
    cJSON_AddStringToObject(latest, "release", "1.20.1");
    cJSON_AddStringToObject(latest, "snapshot", "1.14 Pre-Release 1");
    cJSON *versions = cJSON_AddArrayToObject(m.get(), "versions");
    for (const std::string &id : w.ids) {
        cJSON *v;
        cJSON_ArrayForEach(v, json_get(real.get(), "versions")) {
            if (json_str(v, "id") != id) continue;
            cJSON *e = cJSON_Duplicate(v, 1);
            cJSON_ReplaceItemInObjectCaseSensitive(e, "url",
                                                   cJSON_CreateString(manifest_url(id).c_str()));
            cJSON_AddItemToArray(versions, e);
        }
    }
    return json_print(m.get());
}

const World &world() {
    static const World w = [] {
        World w;
        for (const VersionSpec &version : k_versions) {
            std::string text = build_version(w, version);
            if (text.empty()) continue;
            w.ids.push_back(version.id);
            w.docs[version.id] = text;
        }
        w.manifest = build_manifest(w);
        return w;
    }();
    return w;
}

std::string with_base(std::string text, const FakeNet &n) {
    std::string base = n.base();
    size_t at = 0;
    while ((at = text.find(k_base, at)) != std::string::npos) {
        text.replace(at, strlen(k_base), base);
        at += base.size();
    }
    return text;
}

} // namespace

std::string world_zip(const std::vector<std::pair<std::string, std::string>> &entries) {
    std::string out, central;
    for (const auto &[name, data] : entries) {
        unsigned long crc =
            crc32(0, reinterpret_cast<const Bytef *>(data.data()), static_cast<uInt>(data.size()));
        size_t offset = out.size();
        put_u32(out, 0x04034b50);
        put_u16(out, 10);   // version needed
        put_u16(out, 0);    // flags
        put_u16(out, 0);    // stored
        put_u16(out, 0);    // time
        put_u16(out, 0x21); // date (1980-01-01)
        put_u32(out, crc);
        put_u32(out, data.size());
        put_u32(out, data.size());
        put_u16(out, static_cast<unsigned>(name.size()));
        put_u16(out, 0);
        out += name;
        out += data;

        put_u32(central, 0x02014b50);
        put_u16(central, 20);
        put_u16(central, 10);
        put_u16(central, 0);
        put_u16(central, 0);
        put_u16(central, 0);
        put_u16(central, 0x21);
        put_u32(central, crc);
        put_u32(central, data.size());
        put_u32(central, data.size());
        put_u16(central, static_cast<unsigned>(name.size()));
        put_u16(central, 0); // extra
        put_u16(central, 0); // comment
        put_u16(central, 0); // disk
        put_u16(central, 0); // internal attributes
        put_u32(central, 0); // external attributes
        put_u32(central, offset);
        central += name;
    }
    size_t central_at = out.size();
    out += central;
    put_u32(out, 0x06054b50);
    put_u16(out, 0);
    put_u16(out, 0);
    put_u16(out, static_cast<unsigned>(entries.size()));
    put_u16(out, static_cast<unsigned>(entries.size()));
    put_u32(out, central.size());
    put_u32(out, central_at);
    put_u16(out, 0);
    return out;
}

const std::vector<std::string> &world_mojang_ids() {
    return world().ids;
}

const std::map<std::string, std::string> &world_mojang_files() {
    return world().files;
}

std::string world_mojang_version_path(const std::string &id) {
    return "/piston_meta/v1/packages/" + sha1_hex(id.data(), id.size()) + "/" + id + ".json";
}

std::string world_mojang_manifest(const FakeNet &n) {
    return with_base(world().manifest, n);
}

std::string world_mojang_version(const FakeNet &n, const std::string &id) {
    auto it = world().docs.find(id);
    return it == world().docs.end() ? "" : with_base(it->second, n);
}

FAKENET_WORLD("mojang", [](FakeNet &n) {
    for (const auto &[path, bytes] : world_mojang_files())
        n.serve(path, bytes);
    n.server.Get("/piston_meta/mc/game/version_manifest_v2.json",
                 [&n](const httplib::Request &, httplib::Response &res) {
                     res.set_content(world_mojang_manifest(n), "application/json");
                 });
    // Version documents hold the port, so they are made per request.
    n.server.Get(R"(/piston_meta/v1/packages/([0-9a-f]{40})/(.+)\.json)",
                 [&n](const httplib::Request &req, httplib::Response &res) {
                     std::string id = req.matches[2];
                     if (world_mojang_version_path(id) == req.path) {
                         res.set_content(world_mojang_version(n, id), "application/json");
                         return;
                     }
                     auto it = world_mojang_files().find(req.path);
                     if (it == world_mojang_files().end()) {
                         res.status = 404;
                         res.set_content("not found", "text/plain");
                         return;
                     }
                     res.set_content(it->second, "application/json");
                 });
});
