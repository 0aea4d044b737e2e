// Modrinth, CurseForge and the content service's catalogue routes on the fake
// network: one small catalogue served in the three shapes.
//
// Catalogue (game version 1.20.1):
//   modrinth  AANobbMI sodium           mod, Fabric, requires P7dR8mSH
//   modrinth  P7dR8mSH fabric-api       mod, Fabric
//   modrinth  PtjYWJkn sodium-extra     mod, Fabric; public API names its sodium
//                                       dependency by version id only
//   modrinth  CycA0001 cycle-a / CycB0002 cycle-b   mods that require each other
//   modrinth  FaiTh32x faithful-32x     resource pack
//   modrinth  HVnmMxH1 complementary-reimagined   shader
//   curseforge 521001 sodium-dynamic-lights mod, Fabric, requires 306612
//   curseforge 306612 fabric-api-cf     mod, Fabric
//   curseforge 238222 jei               mod whose author forbids other launchers
//   curseforge 600001 terralith-datapack  data pack (class 6945)
//   curseforge 600002 skyblock-classic  world archive (corpus sample-map zip)
//   modrinth  zyl-test-pack / curseforge 900001  modpacks (search only; their
//                                       files come from world_modpack_publish)
// Files are real zips (jars with fabric.mod.json, packs with pack.mcmeta).
// Icons are 64 x 64 squares of one colour: PNG, WebP for fabric-api, and for
// jei bytes that are no picture at all (see icon_bytes).
//
// Content service: /service/v1/search, /service/v1/<source>/<id|slug>,
//   /service/v1/<source>/<id>/files (every file, in order of preference).
//   A fault set on "/service/upstream/<source>" makes the service's search
//   report that source as failed ("errors") and leave its results out.
// Modrinth: /modrinth_api/v2/project/<id|slug>, .../version, /v2/version/<id>,
//   /v2/search, POST /v2/version_files (versions by SHA-1). CurseForge (x-api-key "test-key", else
//   403): /curseforge_api/v1/mods/search, /v1/mods/<id>, /v1/mods/<id>/files.
// A file put with FakeNet::serve at the exact path of any of these routes
// replaces its answer, so a test can serve a catalogue of its own.
#include "fakenet/world_mojang.h"

#include "base/digest.h"
#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"

#include <cjson/cJSON.h>
#include <gdk/gdk.h>
#include <webp/encode.h>

#include <algorithm>
#include <cctype>

namespace {

const char *const k_cf_key = "test-key";

struct CFile {
    std::string id;
    std::string filename;
    std::vector<std::string> mc;
    std::vector<std::string> loaders;
    std::string kind; // "jar", "pack", "shader", "datapack", "world"
    StrList required; // project ids of the same source
    bool forbidden = false;
    std::string version_number = "1.0.0";
    std::string date = "2023-06-01T00:00:00Z";
};

struct CProject {
    std::string source;
    std::string id;
    std::string slug;
    std::string name;
    std::string author;
    std::string summary;
    int cls = 6;       // CurseForge class
    std::string mtype; // Modrinth project_type
    int downloads = 0;
    std::vector<CFile> files;
};

// Files leave their trailing members at the defaults.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
const std::vector<CProject> &catalogue() {
    static const std::vector<CProject> c = {
        {"modrinth",
         "AANobbMI",
         "sodium",
         "Sodium",
         "jellysquid3",
         "Modern rendering engine and client-side optimization mod for Minecraft",
         6,
         "mod",
         354677,
         {{"Yp8wLY1P",
           "sodium-fabric-mc1.20.1-0.5.3+build.16.jar",
           {"1.20.1"},
           {"fabric", "quilt"},
           "jar",
           {"P7dR8mSH"},
           false,
           "mc1.20.1-0.5.3"}}},
        {"modrinth",
         "P7dR8mSH",
         "fabric-api",
         "Fabric API",
         "modmuss50",
         "Lightweight and modular API providing common hooks and intercompatibility measures",
         6,
         "mod",
         9000000,
         {{"P7uGFii0",
           "fabric-api-0.92.2+1.20.1.jar",
           {"1.20.1"},
           {"fabric"},
           "jar",
           {},
           false,
           "0.92.2+1.20.1"}}},
        {"modrinth",
         "PtjYWJkn",
         "sodium-extra",
         "Sodium Extra",
         "FlashyReese",
         "A Sodium addon that adds features that shouldn't be in Sodium.",
         6,
         "mod",
         120000,
         {{"Ex7rA001",
           "sodium-extra-0.5.1+mc1.20.1.jar",
           {"1.20.1"},
           {"fabric"},
           "jar",
           {"AANobbMI"},
           false,
           "0.5.1"}}},
        {"modrinth",
         "CycA0001",
         "cycle-a",
         "Cycle A",
         "tester",
         "Requires Cycle B",
         6,
         "mod",
         10,
         {{"CycAv001", "cycle-a-1.0.jar", {"1.20.1"}, {"fabric"}, "jar", {"CycB0002"}}}},
        {"modrinth",
         "CycB0002",
         "cycle-b",
         "Cycle B",
         "tester",
         "Requires Cycle A",
         6,
         "mod",
         10,
         {{"CycBv001", "cycle-b-1.0.jar", {"1.20.1"}, {"fabric"}, "jar", {"CycA0001"}}}},
        {"modrinth",
         "FaiTh32x",
         "faithful-32x",
         "Faithful 32x",
         "Faithful Resource Pack",
         "The classic look, twice the resolution",
         12,
         "resourcepack",
         500000,
         {{"FaiTv120", "Faithful-32x-1.20.1.zip", {"1.20.1"}, {"minecraft"}, "pack"}}},
        {"modrinth",
         "HVnmMxH1",
         "complementary-reimagined",
         "Complementary Shaders - Reimagined",
         "EminGT",
         "Complementary Reimagined is a shaderpack for Iris and OptiFine",
         6552,
         "shader",
         800000,
         {{"CmpRr5v1",
           "ComplementaryReimagined_r5.1.1.zip",
           {"1.20.1"},
           {"iris", "optifine"},
           "shader"}}},
        {"curseforge",
         "521001",
         "sodium-dynamic-lights",
         "Sodium Dynamic Lights",
         "Toni",
         "Dynamic lights for Sodium",
         6,
         "",
         40000,
         {{"4700001",
           "sodiumdynamiclights-fabric-1.0.9-1.20.1.jar",
           {"1.20.1"},
           {"fabric"},
           "jar",
           {"306612"}}}},
        {"curseforge",
         "306612",
         "fabric-api-cf",
         "Fabric API (CurseForge)",
         "modmuss50",
         "Core API library for the Fabric toolchain",
         6,
         "",
         90000000,
         {{"4700002", "fabric-api-0.92.2+1.20.1-cf.jar", {"1.20.1"}, {"fabric"}, "jar"}}},
        {"curseforge",
         "238222",
         "jei",
         "Just Enough Items (JEI)",
         "mezz",
         "View Items and Recipes",
         6,
         "",
         300000000,
         {{"4615177",
           "jei-1.20.1-fabric-15.2.0.27.jar",
           {"1.20.1"},
           {"fabric", "forge"},
           "jar",
           {},
           true}}},
        {"curseforge",
         "600001",
         "terralith-datapack",
         "Terralith Datapack",
         "Stardust Labs",
         "Overworld evolved",
         6945,
         "",
         2000000,
         {{"4700010", "Terralith_1.20.1_v2.4.5.zip", {"1.20.1"}, {}, "datapack"}}},
        {"curseforge",
         "600002",
         "skyblock-classic",
         "Skyblock Classic",
         "Noobcrew",
         "The classic skyblock map",
         17,
         "",
         700000,
         {{"4700020", "skyblock-classic.zip", {}, {}, "world"}}},
        {"modrinth",
         "zYlPaCk0",
         "zyl-test-pack",
         "The 128MB Pack",
         "zyl",
         "Eight Fabric mods for 1.20.1",
         4471,
         "modpack",
         25000,
         {{"zYlPaCk1", "zyl-test-pack-1.0.mrpack", {"1.20.1"}, {"fabric"}, "modpack"}}},
        {"curseforge",
         "900001",
         "locked-pack",
         "Locked Pack",
         "someone",
         "A pack whose author forbids other launchers",
         4471,
         "",
         1500000,
         {{"5000001", "Locked Pack 1.0.zip", {"1.20.1"}, {"forge"}, "modpack", {}, true}}},
    };
    return c;
}

#pragma GCC diagnostic pop

const CProject *find_project(const std::string &source, const std::string &ref) {
    for (const CProject &p : catalogue())
        if (p.source == source && (p.id == ref || p.slug == ref)) return &p;
    return nullptr;
}

std::string file_bytes(const CProject &p, const CFile &f) {
    if (f.kind == "world")
        return fs_read_all(fakenet_corpus("worlds/sample-map.xmcl-mock.zip")).value_or("");
    if (f.kind == "jar")
        return world_zip(
            {{"fabric.mod.json", "{\"schemaVersion\":1,\"id\":\"" + p.slug + "\",\"version\":\"" +
                                     f.version_number + "\",\"name\":\"" + p.name + "\"}"},
             {"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n\r\n"}});
    if (f.kind == "shader") return world_zip({{"shaders/composite.fsh", "void main() {}\n"}});
    std::string mcmeta = "{\"pack\":{\"pack_format\":15,\"description\":\"" + p.name + "\"}}";
    if (f.kind == "datapack")
        return world_zip({{"pack.mcmeta", mcmeta}, {"data/terralith/worldgen/noise/x.json", "{}"}});
    return world_zip({{"pack.mcmeta", mcmeta}, {"pack.png", "png"}});
}

// Result icons. The interface tests look for these colours on screen.
std::string icon_path(const CProject &p) {
    return "/cdn/icons/" + p.slug + (p.slug == "fabric-api" ? ".webp" : ".png");
}

uint32_t icon_colour(const CProject &p) {
    if (p.slug == "sodium") return 0x2ecc71;
    if (p.slug == "fabric-api") return 0x3498db;
    return 0xc8783c;
}

std::string icon_bytes(const CProject &p) {
    if (p.slug == "jei") return "not a picture of " + p.slug;
    const int side = 64;
    uint32_t c = icon_colour(p);
    std::string rgba;
    for (int i = 0; i < side * side; i++)
        rgba += {char(c >> 16), char(c >> 8 & 0xff), char(c & 0xff), char(0xff)};
    const auto *pixels = reinterpret_cast<const uint8_t *>(rgba.data());
    if (p.slug == "fabric-api") {
        uint8_t *out = nullptr;
        size_t n = WebPEncodeLosslessRGBA(pixels, side, side, side * 4, &out);
        std::string webp(reinterpret_cast<const char *>(out), n);
        WebPFree(out);
        return webp;
    }
    GBytes *b = g_bytes_new(rgba.data(), rgba.size());
    GdkTexture *t = gdk_memory_texture_new(side, side, GDK_MEMORY_R8G8B8A8, b, side * 4);
    g_bytes_unref(b);
    GBytes *png = gdk_texture_save_to_png_bytes(t);
    g_object_unref(t);
    gsize size = 0;
    const char *data = static_cast<const char *>(g_bytes_get_data(png, &size));
    std::string out(data, size);
    g_bytes_unref(png);
    return out;
}

std::string escape_path(const std::string &s) {
    std::string out;
    for (unsigned char c : s) {
        if (isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~')
            out += static_cast<char>(c);
        else
            out += format_alloc("%%%02X", c);
    }
    return out;
}

// Where a file lives on the fake CDN (decoded path, as the server sees it).
// Modrinth's files are under the modrinth_cdn endpoint, as cdn.modrinth.com
// is a host a pack may download from.
std::string cdn_path(const CProject &p, const CFile &f) {
    if (p.source == "modrinth")
        return "/modrinth_cdn/data/" + p.id + "/versions/" + f.id + "/" + f.filename;
    return "/cdn/curseforge/files/" + f.id + "/" + f.filename;
}

std::string cdn_url(const FakeNet &n, const CProject &p, const CFile &f) {
    std::string path = cdn_path(p, f);
    size_t slash = path.rfind('/');
    return n.base() + path.substr(0, slash + 1) + escape_path(f.filename);
}

std::string file_sha1(const CProject &p, const CFile &f) {
    std::string b = file_bytes(p, f);
    return sha1_hex(b.data(), b.size());
}

cJSON *strings(const std::vector<std::string> &v) {
    cJSON *a = cJSON_CreateArray();
    for (const std::string &s : v)
        cJSON_AddItemToArray(a, cJSON_CreateString(s.c_str()));
    return a;
}

void send(httplib::Response &res, cJSON *doc) {
    res.set_content(json_print_compact(doc), "application/json");
    cJSON_Delete(doc);
}

void send_error(httplib::Response &res, int status, const char *text) {
    res.status = status;
    cJSON *o = cJSON_CreateObject();
    cJSON_AddStringToObject(o, "error", text);
    send(res, o);
}

// A served file at the route's exact path answers instead of the catalogue.
bool served_instead(FakeNet &n, const httplib::Request &req, httplib::Response &res) {
    std::lock_guard<std::mutex> lk(n.lock);
    auto it = n.files.find(req.path);
    if (it == n.files.end()) return false;
    res.set_content(it->second, "application/json");
    return true;
}

int type_class(const std::string &type) {
    if (type == "resourcepack") return 12;
    if (type == "shader") return 6552;
    if (type == "datapack") return 6945;
    if (type == "world") return 17;
    if (type == "modpack") return 4471;
    return 6;
}

bool contains_ci(const std::string &hay, const std::string &needle) {
    return str_lower(hay).find(str_lower(needle)) != std::string::npos;
}

bool has(const std::vector<std::string> &v, const std::string &x) {
    return std::find(v.begin(), v.end(), x) != v.end();
}

bool fits(const CProject &p, const std::string &mc, const std::string &loader) {
    for (const CFile &f : p.files) {
        if (!mc.empty() && !f.mc.empty() && !has(f.mc, mc)) continue;
        if (!loader.empty() && !has(f.loaders, loader)) continue;
        return true;
    }
    return false;
}

// ---- content service ----

void service_search(FakeNet &n, const httplib::Request &req, httplib::Response &res) {
    if (served_instead(n, req, res)) return;
    std::string q = req.get_param_value("q"), type = req.get_param_value("type");
    std::string mc = req.get_param_value("mc"), loader = req.get_param_value("loader");
    std::string source = req.get_param_value("source");
    cJSON *out = cJSON_CreateObject();
    cJSON *m = cJSON_AddArrayToObject(out, "modrinth");
    cJSON *c = cJSON_AddArrayToObject(out, "curseforge");
    // A source the service cannot reach behind it is reported, not searched.
    std::set<std::string> failed;
    for (const char *src : {"modrinth", "curseforge"}) {
        if ((source == "all" || source == src) &&
            n.fault_for(std::string("/service/upstream/") + src) != Fault::None) {
            failed.insert(src);
            cJSON *errors = cJSON_GetObjectItem(out, "errors");
            if (!errors) errors = cJSON_AddObjectToObject(out, "errors");
            cJSON_AddStringToObject(errors, src, "HTTP 500");
        }
    }
    for (const CProject &p : catalogue()) {
        if (source != "all" && source != p.source) continue;
        if (failed.count(p.source)) continue;
        if (p.cls != type_class(type)) continue;
        if (!q.empty() && !contains_ci(p.slug, q) && !contains_ci(p.name, q)) continue;
        if (!fits(p, mc, loader)) continue;
        cJSON *h = cJSON_CreateObject();
        cJSON_AddStringToObject(h, "id", p.id.c_str());
        cJSON_AddStringToObject(h, "slug", p.slug.c_str());
        cJSON_AddStringToObject(h, "name", p.name.c_str());
        cJSON_AddItemToObject(h, "authors", strings({p.author}));
        cJSON_AddStringToObject(h, "summary", p.summary.c_str());
        cJSON_AddStringToObject(h, "icon", (n.base() + icon_path(p)).c_str());
        std::string page = p.source == "modrinth"
                               ? n.url("modrinth_web") + "/mod/" + p.slug
                               : n.url("curseforge_web") + "/minecraft/mc-mods/" + p.slug;
        cJSON_AddStringToObject(h, "url", page.c_str());
        cJSON_AddNumberToObject(h, "downloads", p.downloads);
        cJSON_AddItemToArray(p.source == "modrinth" ? m : c, h);
    }
    send(res, out);
}

void service_project(FakeNet &n, const httplib::Request &req, httplib::Response &res) {
    if (served_instead(n, req, res)) return;
    const CProject *p = find_project(req.matches[1], req.matches[2]);
    if (!p) return send_error(res, 404, "project not found");
    cJSON *o = cJSON_CreateObject();
    cJSON_AddStringToObject(o, "id", p->id.c_str());
    cJSON_AddStringToObject(o, "slug", p->slug.c_str());
    cJSON_AddStringToObject(o, "name", p->name.c_str());
    if (p->source == "curseforge")
        cJSON_AddNumberToObject(o, "class", p->cls);
    else
        cJSON_AddStringToObject(o, "class", p->mtype.c_str());
    send(res, o);
}

void service_files(FakeNet &n, const httplib::Request &req, httplib::Response &res) {
    if (served_instead(n, req, res)) return;
    const CProject *p = find_project(req.matches[1], req.matches[2]);
    if (!p) return send_error(res, 404, "project not found");
    cJSON *out = cJSON_CreateObject();
    cJSON *files = cJSON_AddArrayToObject(out, "files");
    for (const CFile &f : p->files) {
        cJSON *o = cJSON_CreateObject();
        cJSON_AddStringToObject(o, "id", f.id.c_str());
        cJSON_AddStringToObject(o, "filename", f.filename.c_str());
        std::string page = p->source == "curseforge"
                               ? n.url("curseforge_web") + "/minecraft/mc-mods/" + p->slug
                               : n.url("modrinth_web") + "/mod/" + p->slug;
        if (f.forbidden) {
            cJSON_AddStringToObject(o, "manual", page.c_str());
        } else {
            std::string url = cdn_url(n, *p, f);
            cJSON_AddStringToObject(o, "url", url.c_str());
            cJSON_AddStringToObject(o, "proxied", ("/v1/download?url=" + escape_path(url)).c_str());
            cJSON_AddStringToObject(o, "sha1", file_sha1(*p, f).c_str());
        }
        cJSON_AddItemToObject(o, "mc", strings(f.mc));
        cJSON_AddItemToObject(o, "loaders", strings(f.loaders));
        cJSON *deps = cJSON_AddArrayToObject(o, "dependencies");
        for (const std::string &d : f.required) {
            cJSON *x = cJSON_CreateObject();
            cJSON_AddStringToObject(x, "type", "required");
            cJSON_AddStringToObject(x, "source", p->source.c_str());
            cJSON_AddStringToObject(x, "id", d.c_str());
            cJSON_AddItemToArray(deps, x);
        }
        cJSON_AddItemToArray(files, o);
    }
    send(res, out);
}

// ---- Modrinth ----

cJSON *modrinth_version(const FakeNet &n, const CProject &p, const CFile &f) {
    cJSON *v = cJSON_CreateObject();
    cJSON_AddStringToObject(v, "id", f.id.c_str());
    cJSON_AddStringToObject(v, "project_id", p.id.c_str());
    cJSON_AddStringToObject(v, "name", (p.name + " " + f.version_number).c_str());
    cJSON_AddStringToObject(v, "version_number", f.version_number.c_str());
    cJSON_AddStringToObject(v, "date_published", f.date.c_str());
    cJSON_AddStringToObject(v, "version_type", "release");
    cJSON *files = cJSON_AddArrayToObject(v, "files");
    cJSON *file = cJSON_CreateObject();
    cJSON *hashes = cJSON_AddObjectToObject(file, "hashes");
    cJSON_AddStringToObject(hashes, "sha1", file_sha1(p, f).c_str());
    std::string bytes = file_bytes(p, f);
    cJSON_AddStringToObject(hashes, "sha512", sha512_hex(bytes.data(), bytes.size()).c_str());
    cJSON_AddStringToObject(file, "url", cdn_url(n, p, f).c_str());
    cJSON_AddStringToObject(file, "filename", f.filename.c_str());
    cJSON_AddBoolToObject(file, "primary", true);
    cJSON_AddNumberToObject(file, "size", static_cast<double>(file_bytes(p, f).size()));
    cJSON_AddItemToArray(files, file);
    cJSON *deps = cJSON_AddArrayToObject(v, "dependencies");
    for (const std::string &d : f.required) {
        cJSON *x = cJSON_CreateObject();
        const CProject *dp = find_project("modrinth", d);
        // sodium-extra names its dependency the old way, by version only.
        if (p.slug == "sodium-extra" && dp) {
            cJSON_AddStringToObject(x, "version_id", dp->files[0].id.c_str());
            cJSON_AddNullToObject(x, "project_id");
        } else {
            cJSON_AddNullToObject(x, "version_id");
            cJSON_AddStringToObject(x, "project_id", d.c_str());
        }
        cJSON_AddNullToObject(x, "file_name");
        cJSON_AddStringToObject(x, "dependency_type", "required");
        cJSON_AddItemToArray(deps, x);
    }
    cJSON_AddItemToObject(v, "game_versions", strings(f.mc));
    cJSON_AddItemToObject(v, "loaders", strings(f.loaders));
    return v;
}

// The strings of a JSON array parameter (["1.20.1"]); empty when absent.
std::vector<std::string> param_list(const httplib::Request &req, const char *name) {
    std::vector<std::string> out;
    JsonPtr j = json_parse(req.get_param_value(name));
    const cJSON *e;
    cJSON_ArrayForEach(e, j.get()) {
        if (cJSON_IsString(e)) out.push_back(e->valuestring);
    }
    return out;
}

void modrinth_routes(FakeNet &n) {
    n.server.Get(R"(/modrinth_api/v2/project/([^/]+))",
                 [&n](const httplib::Request &req, httplib::Response &res) {
                     if (served_instead(n, req, res)) return;
                     const CProject *p = find_project("modrinth", req.matches[1]);
                     if (!p) return send_error(res, 404, "not found");
                     cJSON *o = cJSON_CreateObject();
                     cJSON_AddStringToObject(o, "id", p->id.c_str());
                     cJSON_AddStringToObject(o, "slug", p->slug.c_str());
                     cJSON_AddStringToObject(o, "title", p->name.c_str());
                     cJSON_AddStringToObject(o, "description", p->summary.c_str());
                     cJSON_AddStringToObject(o, "project_type", p->mtype.c_str());
                     cJSON_AddNumberToObject(o, "downloads", p->downloads);
                     send(res, o);
                 });
    n.server.Get(R"(/modrinth_api/v2/project/([^/]+)/version)",
                 [&n](const httplib::Request &req, httplib::Response &res) {
                     if (served_instead(n, req, res)) return;
                     const CProject *p = find_project("modrinth", req.matches[1]);
                     if (!p) return send_error(res, 404, "not found");
                     auto mcs = param_list(req, "game_versions");
                     auto loaders = param_list(req, "loaders");
                     cJSON *arr = cJSON_CreateArray();
                     for (const CFile &f : p->files) {
                         bool mc_ok = mcs.empty(), loader_ok = loaders.empty();
                         for (const auto &m : mcs)
                             mc_ok = mc_ok || has(f.mc, m);
                         for (const auto &l : loaders)
                             loader_ok = loader_ok || has(f.loaders, l);
                         if (mc_ok && loader_ok)
                             cJSON_AddItemToArray(arr, modrinth_version(n, *p, f));
                     }
                     send(res, arr);
                 });
    n.server.Get(R"(/modrinth_api/v2/version/([^/]+))",
                 [&n](const httplib::Request &req, httplib::Response &res) {
                     if (served_instead(n, req, res)) return;
                     for (const CProject &p : catalogue())
                         for (const CFile &f : p.files)
                             if (p.source == "modrinth" && f.id == req.matches[1].str())
                                 return send(res, modrinth_version(n, p, f));
                     send_error(res, 404, "not found");
                 });
    // Versions by file hash: {"hashes":[...],"algorithm":"sha1"} gives an
    // object of hash to version, unknown hashes left out.
    n.server.Post("/modrinth_api/v2/version_files", [&n](const httplib::Request &req,
                                                         httplib::Response &res) {
        JsonPtr body = json_parse(req.body);
        if (!body || json_str(body.get(), "algorithm") != "sha1")
            return send_error(res, 400, "sha1 hashes expected");
        cJSON *out = cJSON_CreateObject();
        const cJSON *h;
        cJSON_ArrayForEach(h, json_get(body.get(), "hashes")) {
            if (!cJSON_IsString(h) || json_get(out, h->valuestring)) continue;
            for (const CProject &p : catalogue())
                for (const CFile &f : p.files)
                    if (p.source == "modrinth" && file_sha1(p, f) == h->valuestring)
                        cJSON_AddItemToObject(out, h->valuestring, modrinth_version(n, p, f));
        }
        send(res, out);
    });
    n.server.Get("/modrinth_api/v2/search", [&n](const httplib::Request &req,
                                                 httplib::Response &res) {
        if (served_instead(n, req, res)) return;
        std::string q = req.get_param_value("query"), facets = req.get_param_value("facets");
        cJSON *out = cJSON_CreateObject();
        cJSON *hits = cJSON_AddArrayToObject(out, "hits");
        for (const CProject &p : catalogue()) {
            if (p.source != "modrinth") continue;
            if (facets.find("project_type:" + p.mtype + "\"") == std::string::npos) continue;
            if (!q.empty() && !contains_ci(p.slug, q) && !contains_ci(p.name, q)) continue;
            bool loader_ok = facets.find("categories:") == std::string::npos;
            for (const std::string &l : p.files[0].loaders)
                loader_ok = loader_ok || facets.find("categories:" + l + "\"") != std::string::npos;
            if (!loader_ok) continue;
            cJSON *h = cJSON_CreateObject();
            cJSON_AddStringToObject(h, "project_id", p.id.c_str());
            cJSON_AddStringToObject(h, "project_type", p.mtype.c_str());
            cJSON_AddStringToObject(h, "slug", p.slug.c_str());
            cJSON_AddStringToObject(h, "author", p.author.c_str());
            cJSON_AddStringToObject(h, "title", p.name.c_str());
            cJSON_AddStringToObject(h, "description", p.summary.c_str());
            cJSON_AddNumberToObject(h, "downloads", p.downloads);
            cJSON_AddStringToObject(h, "icon_url", (n.base() + icon_path(p)).c_str());
            cJSON_AddItemToArray(hits, h);
        }
        cJSON_AddNumberToObject(out, "offset", 0);
        cJSON_AddNumberToObject(out, "limit", 30);
        cJSON_AddNumberToObject(out, "total_hits", cJSON_GetArraySize(hits));
        send(res, out);
    });
}

// ---- CurseForge ----

cJSON *curseforge_mod(const FakeNet &n, const CProject &p) {
    cJSON *o = cJSON_CreateObject();
    cJSON_AddNumberToObject(o, "id", std::stod(p.id));
    cJSON_AddNumberToObject(o, "gameId", 432);
    cJSON_AddStringToObject(o, "name", p.name.c_str());
    cJSON_AddStringToObject(o, "slug", p.slug.c_str());
    cJSON *links = cJSON_AddObjectToObject(o, "links");
    cJSON_AddStringToObject(links, "websiteUrl",
                            (n.url("curseforge_web") + "/minecraft/mc-mods/" + p.slug).c_str());
    cJSON_AddStringToObject(o, "summary", p.summary.c_str());
    cJSON_AddNumberToObject(o, "downloadCount", p.downloads);
    cJSON_AddNumberToObject(o, "classId", p.cls);
    cJSON *authors = cJSON_AddArrayToObject(o, "authors");
    cJSON *a = cJSON_CreateObject();
    cJSON_AddStringToObject(a, "name", p.author.c_str());
    cJSON_AddItemToArray(authors, a);
    cJSON *logo = cJSON_AddObjectToObject(o, "logo");
    cJSON_AddStringToObject(logo, "thumbnailUrl", (n.base() + icon_path(p)).c_str());
    return o;
}

cJSON *curseforge_file(const FakeNet &n, const CProject &p, const CFile &f) {
    cJSON *o = cJSON_CreateObject();
    cJSON_AddNumberToObject(o, "id", std::stod(f.id));
    cJSON_AddNumberToObject(o, "gameId", 432);
    cJSON_AddNumberToObject(o, "modId", std::stod(p.id));
    cJSON_AddStringToObject(o, "displayName", f.filename.c_str());
    cJSON_AddStringToObject(o, "fileName", f.filename.c_str());
    cJSON_AddNumberToObject(o, "releaseType", 1);
    cJSON *hashes = cJSON_AddArrayToObject(o, "hashes");
    cJSON *h = cJSON_CreateObject();
    cJSON_AddStringToObject(h, "value", file_sha1(p, f).c_str());
    cJSON_AddNumberToObject(h, "algo", 1);
    cJSON_AddItemToArray(hashes, h);
    cJSON_AddStringToObject(o, "fileDate", f.date.c_str());
    if (f.forbidden)
        cJSON_AddNullToObject(o, "downloadUrl");
    else
        cJSON_AddStringToObject(o, "downloadUrl", cdn_url(n, p, f).c_str());
    std::vector<std::string> gv = f.mc;
    for (const std::string &l : f.loaders)
        gv.push_back(l == "neoforge" ? "NeoForge" : std::string(1, toupper(l[0])) + l.substr(1));
    cJSON_AddItemToObject(o, "gameVersions", strings(gv));
    cJSON *deps = cJSON_AddArrayToObject(o, "dependencies");
    for (const std::string &d : f.required) {
        cJSON *x = cJSON_CreateObject();
        cJSON_AddNumberToObject(x, "modId", std::stod(d));
        cJSON_AddNumberToObject(x, "relationType", 3);
        cJSON_AddItemToArray(deps, x);
    }
    return o;
}

bool curseforge_key_ok(const httplib::Request &req, httplib::Response &res) {
    if (req.get_header_value("x-api-key") == k_cf_key) return true;
    send_error(res, 403, "Forbidden");
    return false;
}

const char *const k_cf_loaders[] = {"", "forge", "", "", "fabric", "quilt", "neoforge"};

void curseforge_routes(FakeNet &n) {
    n.server.Get("/curseforge_api/v1/mods/search", [&n](const httplib::Request &req,
                                                        httplib::Response &res) {
        if (!curseforge_key_ok(req, res) || served_instead(n, req, res)) return;
        std::string slug = req.get_param_value("slug");
        std::string filter = req.get_param_value("searchFilter");
        std::string cls = req.get_param_value("classId");
        std::string mc = req.get_param_value("gameVersion");
        int lt =
            req.has_param("modLoaderType") ? std::stoi(req.get_param_value("modLoaderType")) : 0;
        cJSON *out = cJSON_CreateObject();
        cJSON *data = cJSON_AddArrayToObject(out, "data");
        for (const CProject &p : catalogue()) {
            if (p.source != "curseforge") continue;
            if (!slug.empty() && p.slug != slug) continue;
            if (!cls.empty() && std::to_string(p.cls) != cls) continue;
            if (!filter.empty() && !contains_ci(p.slug, filter) && !contains_ci(p.name, filter))
                continue;
            if (!fits(p, mc, lt > 0 && lt < 7 ? k_cf_loaders[lt] : "")) continue;
            cJSON_AddItemToArray(data, curseforge_mod(n, p));
        }
        cJSON *pg = cJSON_AddObjectToObject(out, "pagination");
        cJSON_AddNumberToObject(pg, "index", 0);
        cJSON_AddNumberToObject(pg, "resultCount", cJSON_GetArraySize(data));
        send(res, out);
    });
    n.server.Get(R"(/curseforge_api/v1/mods/(\d+))",
                 [&n](const httplib::Request &req, httplib::Response &res) {
                     if (!curseforge_key_ok(req, res) || served_instead(n, req, res)) return;
                     const CProject *p = find_project("curseforge", req.matches[1]);
                     if (!p) return send_error(res, 404, "Not Found");
                     cJSON *o = cJSON_CreateObject();
                     cJSON_AddItemToObject(o, "data", curseforge_mod(n, *p));
                     send(res, o);
                 });
    n.server.Get(R"(/curseforge_api/v1/mods/(\d+)/files)", [&n](const httplib::Request &req,
                                                                httplib::Response &res) {
        if (!curseforge_key_ok(req, res) || served_instead(n, req, res)) return;
        const CProject *p = find_project("curseforge", req.matches[1]);
        if (!p) return send_error(res, 404, "Not Found");
        std::string mc = req.get_param_value("gameVersion");
        int lt =
            req.has_param("modLoaderType") ? std::stoi(req.get_param_value("modLoaderType")) : 0;
        cJSON *out = cJSON_CreateObject();
        cJSON *data = cJSON_AddArrayToObject(out, "data");
        for (const CFile &f : p->files) {
            if (!mc.empty() && !f.mc.empty() && !has(f.mc, mc)) continue;
            if (lt > 0 && lt < 7 && !has(f.loaders, k_cf_loaders[lt])) continue;
            cJSON_AddItemToArray(data, curseforge_file(n, *p, f));
        }
        send(res, out);
    });
}

} // namespace

FAKENET_WORLD("content", [](FakeNet &n) {
    n.server.Get("/service/v1/search", [&n](const httplib::Request &req, httplib::Response &res) {
        service_search(n, req, res);
    });
    n.server.Get(
        R"(/service/v1/(modrinth|curseforge)/([^/]+)/files)",
        [&n](const httplib::Request &req, httplib::Response &res) { service_files(n, req, res); });
    n.server.Get(R"(/service/v1/(modrinth|curseforge)/([^/]+))",
                 [&n](const httplib::Request &req, httplib::Response &res) {
                     service_project(n, req, res);
                 });
    modrinth_routes(n);
    curseforge_routes(n);
    for (const CProject &p : catalogue())
        for (const CFile &f : p.files)
            if (!f.forbidden) n.serve(cdn_path(p, f), file_bytes(p, f));
    for (const CProject &p : catalogue())
        n.serve(icon_path(p), icon_bytes(p));
});
