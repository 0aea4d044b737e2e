// Loader installs on the fake network: Fabric and Quilt profiles with their
// library jars, and Forge and NeoForge installer jars built from the stub
// installer programs plus real installer documents from the corpus.
//
//   /fabric_meta/v2/versions/loader/<mc>/<v>/profile/json   Fabric profile: the real
//        0.14.22 profile for 1.20.1, otherwise the real 0.16.9 one retargeted
//        (mixed libraries: name+url only, and with sha1/size)
//   /quilt_meta/v3/versions/loader/<mc>/<v>/profile/json    Quilt profile (Quilt's
//        installer library list around intermediary and quilt-loader)
//   /service/v1/loaders/<loader>/<mc>/<v>   {"profile": ...} for fabric/quilt,
//        {"installer": url} for the Forge and NeoForge builds below, else 404
//   /fabric_maven/..., /quilt_maven/...     any library jar (bytes from its path);
//        fabric-loader and quilt-loader are build/java/knotclient.jar, whose
//        KnotClient classes print "LOADER <class>" and start the stub game
//   Forge 47.4.9 for 1.20.1 (modern, the corpus 1.20.1-47.4.9 documents; its
//        universal jar travels in the installer's maven/ folder only):
//        /forge_maven/net/minecraftforge/forge/1.20.1-47.4.9/forge-1.20.1-47.4.9-installer.jar
//   NeoForge 21.1.248 (the corpus documents; inherits from 1.20.1, the world's
//        modern version): /neoforge_maven/releases/net/neoforged/neoforge/21.1.248/...
//   Forge 9.11.1.1345 for 1.6.4, an old installer published only under the
//        older folder naming:
//        .../forge/1.6.4-9.11.1.1345-1.6.4/forge-1.6.4-9.11.1.1345-1.6.4-installer.jar (its
//        versionInfo has no inheritsFrom; one library names the former file server; the universal
//        jar is not served, only carried)
// Every library the installer documents name is served with matching SHA-1s.
// Installers are built on the first request (their documents hold this
// server's address).
#include "fakenet/world_loader_install.h"

#include "fakenet/world_mojang.h"

#include "base/digest.h"
#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"

#include <mutex>

namespace {

const char *k_old_forge_mc = "1.6.4";
const char *k_old_forge = "9.11.1.1345";

std::string text_replace(std::string s, const std::string &from, const std::string &to) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

// The real hosts' addresses pointed at this server.
std::string to_fake(std::string url, const std::string &base) {
    static const std::pair<const char *, const char *> hosts[] = {
        {"https://maven.minecraftforge.net/", "/forge_maven/"},
        {"https://libraries.minecraft.net/", "/libraries/"},
        {"https://maven.neoforged.net/", "/neoforge_maven/"},
        {"https://maven.fabricmc.net/", "/fabric_maven/"},
        {"https://maven.quiltmc.org/repository/release/", "/quilt_maven/"},
    };
    for (const auto &[real, fake] : hosts)
        url = text_replace(url, real, base + fake);
    return url;
}

// Path of a Maven coordinate g:a:v[:c][@ext].
std::string coord_path(const std::string &coord) {
    std::string c = coord, ext = "jar";
    size_t at = c.find('@');
    if (at != std::string::npos) {
        ext = c.substr(at + 1);
        c.resize(at);
    }
    StrList p = str_split(c, ':');
    if (p.size() < 3) return "";
    std::string group = text_replace(p[0], ".", "/");
    std::string file = p[1] + "-" + p[2] + (p.size() > 3 ? "-" + p[3] : "") + "." + ext;
    return group + "/" + p[1] + "/" + p[2] + "/" + file;
}

std::string jar_of(const std::string &which, const std::string &name) {
    return world_zip({{"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n\r\n"},
                      {"zyl/" + which + ".txt", which + " " + name}});
}

void set_str(cJSON *obj, const char *key, const std::string &v) {
    cJSON_DeleteItemFromObjectCaseSensitive(obj, key);
    cJSON_AddStringToObject(obj, key, v.c_str());
}

void set_num(cJSON *obj, const char *key, double v) {
    cJSON_DeleteItemFromObjectCaseSensitive(obj, key);
    cJSON_AddNumberToObject(obj, key, v);
}

bool in_list(const char *corpus_list, const std::string &v) {
    static std::map<std::string, StrList> lists;
    static std::mutex lock;
    std::lock_guard<std::mutex> lk(lock);
    StrList &l = lists[corpus_list];
    if (l.empty()) {
        JsonPtr doc = json_read_file(fakenet_corpus(corpus_list));
        const cJSON *e;
        cJSON_ArrayForEach(e, doc.get()) l.push_back(json_str(e, "version"));
    }
    for (const std::string &s : l)
        if (s == v) return true;
    return false;
}

bool world_has_version(const std::string &mc) {
    for (const std::string &id : world_mojang_ids())
        if (id == mc) return true;
    return false;
}

// The class files of a compiled stub program, by their name inside the jar.
void add_classes(const std::string &program, std::vector<std::pair<std::string, std::string>> &out,
                 const std::string &dir = "", const std::string &prefix = "") {
    std::string root = fakenet_java_jar(program);
    root = root.substr(0, root.size() - 4) + ".classes";
    std::string folder = dir.empty() ? root : dir;
    for (const std::string &name : dir_list(folder).value_or(std::vector<std::string>{})) {
        std::string path = folder + "/" + name;
        if (fs_is_dir(path))
            add_classes(program, out, path, prefix + name + "/");
        else if (str_ends_with(name, ".class"))
            out.push_back({prefix + name, fs_read_all(path).value_or("")});
    }
}

struct Built {
    std::once_flag once;
    std::string service_installer_forge, service_installer_neoforge, service_installer_old;
};

// Points every downloadable library of an installer document at this server,
// with bytes served there. Libraries whose path is one of the Mojang world's
// keep its bytes, so both documents agree on the file.
void serve_installer_libraries(FakeNet &n, cJSON *doc, const std::string &base) {
    const auto &mojang = world_mojang_files();
    cJSON *lib;
    cJSON_ArrayForEach(lib, json_get(doc, "libraries")) {
        cJSON *art = json_get(json_get(lib, "downloads"), "artifact");
        std::string url = json_str(art, "url"), path = json_str(art, "path");
        if (url.empty() || path.empty()) continue;
        url = to_fake(url, base);
        std::string server_path = url.substr(base.size());
        auto m = mojang.find("/libraries/" + path);
        std::string bytes = m != mojang.end() ? m->second : world_loader_library_jar(path);
        n.serve(server_path, bytes);
        set_str(art, "url", url);
        set_str(art, "sha1", sha1_hex(bytes.data(), bytes.size()));
        set_num(art, "size", static_cast<double>(bytes.size()));
    }
}

// A modern installer: the stub program, its two documents and a maven/ folder
// holding the universal jar (whose download address is blanked, as installers
// that carry it do).
std::string modern_installer(FakeNet &n, const std::string &base, const char *profile_file,
                             const char *version_file, const std::string &universal_name,
                             const std::string &inherits) {
    JsonPtr profile = json_read_file(fakenet_corpus(profile_file));
    JsonPtr version = json_read_file(fakenet_corpus(version_file));
    std::string universal_path;
    for (cJSON *doc : {profile.get(), version.get()}) {
        cJSON *lib;
        cJSON_ArrayForEach(lib, json_get(doc, "libraries")) {
            if (json_str(lib, "name") != universal_name) continue;
            cJSON *art = json_get(json_get(lib, "downloads"), "artifact");
            universal_path = json_str(art, "path");
            set_str(art, "url", "");
        }
        serve_installer_libraries(n, doc, base);
    }
    set_str(version.get(), "inheritsFrom", inherits);
    std::vector<std::pair<std::string, std::string>> entries = {
        {"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\nMain-Class: ZylForgeInstaller\r\n\r\n"}};
    add_classes("forgeinstaller", entries);
    entries.push_back({"install_profile.json", json_print(profile.get())});
    entries.push_back({"version.json", json_print(version.get())});
    if (!universal_path.empty())
        entries.push_back({"maven/" + universal_path, jar_of("universal", universal_name)});
    return world_zip(entries);
}

// An old installer, shaped after the real 1.7.10 one, for 1.6.4.
std::string old_installer(FakeNet &n, const std::string &base) {
    std::string text =
        fs_read_all(fakenet_corpus("forge/install_profile.1.7.10-10.13.4.1614-1.7.10.json"))
            .value_or("");
    std::string full = std::string(k_old_forge_mc) + "-" + k_old_forge + "-" + k_old_forge_mc;
    text = text_replace(text, "1.7.10-10.13.4.1614-1.7.10", full);
    text = text_replace(text, "10.13.4.1614", k_old_forge);
    text = text_replace(text, "1.7.10", k_old_forge_mc);
    JsonPtr doc = json_parse(text);
    cJSON *info = json_get(doc.get(), "versionInfo");
    // Installers of that era wrote complete documents without inheritsFrom.
    cJSON_DeleteItemFromObjectCaseSensitive(info, "inheritsFrom");
    // A few libraries: the universal jar, two from Mojang's host (no url) and
    // one still naming the former file server.
    JsonPtr libs(cJSON_CreateArray());
    cJSON *lib;
    int i = 0;
    cJSON_ArrayForEach(lib, json_get(info, "libraries")) {
        std::string name = json_str(lib, "name");
        bool keep = i < 3 || name == "org.scala-lang:scala-library:2.11.1";
        i++;
        if (!keep) continue;
        cJSON *copy = cJSON_Duplicate(lib, 1);
        if (json_get(copy, "url")) {
            bool old_host = name.rfind("org.scala-lang:", 0) == 0;
            set_str(copy, "url", old_host ? base + "/forge_files/maven/" : base + "/forge_maven/");
        }
        cJSON_DeleteItemFromObjectCaseSensitive(copy, "checksums");
        cJSON_AddItemToArray(libs.get(), copy);
        std::string path = coord_path(name);
        std::string bytes = world_loader_library_jar(path);
        if (name.rfind("net.minecraftforge:forge:", 0) == 0) continue; // carried, not served
        n.serve((json_get(copy, "url") ? "/forge_maven/" : "/libraries/") + path, bytes);
    }
    cJSON_ReplaceItemInObjectCaseSensitive(info, "libraries", libs.release());
    std::string universal = json_str(json_get(doc.get(), "install"), "filePath");
    std::vector<std::pair<std::string, std::string>> entries = {
        {"META-INF/MANIFEST.MF",
         "Manifest-Version: 1.0\r\nMain-Class: ZylOldForgeInstaller\r\n\r\n"}};
    add_classes("oldforgeinstaller", entries);
    entries.push_back({"install_profile.json", json_print(doc.get())});
    entries.push_back({universal, jar_of("universal", full)});
    return world_zip(entries);
}

void build(FakeNet &n, Built &b) {
    std::call_once(b.once, [&] {
        std::string base = n.base();
        std::string forge = "/forge_maven/net/minecraftforge/forge/1.20.1-47.4.9/"
                            "forge-1.20.1-47.4.9-installer.jar";
        n.serve(forge,
                modern_installer(n, base, "forge/install_profile.1.20.1-47.4.9.json",
                                 "forge/version.1.20.1-47.4.9.json",
                                 "net.minecraftforge:forge:1.20.1-47.4.9:universal", "1.20.1"));
        std::string neo = "/neoforge_maven/releases/net/neoforged/neoforge/21.1.248/"
                          "neoforge-21.1.248-installer.jar";
        n.serve(neo, modern_installer(n, base, "neoforge/install_profile.21.1.248.json",
                                      "neoforge/version.21.1.248.json",
                                      "net.neoforged:neoforge:21.1.248:universal", "1.20.1"));
        std::string full = std::string(k_old_forge_mc) + "-" + k_old_forge + "-" + k_old_forge_mc;
        std::string old =
            "/forge_maven/net/minecraftforge/forge/" + full + "/forge-" + full + "-installer.jar";
        n.serve(old, old_installer(n, base));
        b.service_installer_forge = base + forge;
        b.service_installer_neoforge = base + neo;
        b.service_installer_old = base + old;
    });
}

JsonPtr fabric_profile(const std::string &base, const std::string &mc, const std::string &v) {
    if (mc == "1.20.1" && v == "0.14.22") {
        std::string text =
            fs_read_all(fakenet_corpus("fabric/profile.fabric-loader-0.14.22-1.20.1.json"))
                .value_or("");
        return json_parse(to_fake(text, base));
    }
    JsonPtr p = json_read_file(fakenet_corpus("fabric/profile.fabric-loader-0.16.9-1.21.1.json"));
    set_str(p.get(), "id", "fabric-loader-" + v + "-" + mc);
    set_str(p.get(), "inheritsFrom", mc);
    cJSON *lib;
    cJSON_ArrayForEach(lib, json_get(p.get(), "libraries")) {
        std::string name = json_str(lib, "name");
        if (name.rfind("net.fabricmc:intermediary:", 0) == 0)
            set_str(lib, "name", "net.fabricmc:intermediary:" + mc);
        if (name.rfind("net.fabricmc:fabric-loader:", 0) == 0)
            set_str(lib, "name", "net.fabricmc:fabric-loader:" + v);
        set_str(lib, "url", to_fake(json_str(lib, "url"), base));
        if (json_get(lib, "sha1")) {
            std::string bytes = world_loader_library_jar(coord_path(json_str(lib, "name")));
            set_str(lib, "sha1", sha1_hex(bytes.data(), bytes.size()));
            set_str(lib, "sha256", sha256_hex(bytes.data(), bytes.size()));
            set_num(lib, "size", static_cast<double>(bytes.size()));
            cJSON_DeleteItemFromObjectCaseSensitive(lib, "md5");
            cJSON_DeleteItemFromObjectCaseSensitive(lib, "sha512");
        }
    }
    return p;
}

JsonPtr quilt_profile(const std::string &base, const std::string &mc, const std::string &v) {
    JsonPtr meta = json_read_file(fakenet_corpus("quilt/loader-installer-json.0.29.2.json"));
    JsonPtr p(cJSON_CreateObject());
    set_str(p.get(), "id", "quilt-loader-" + v + "-" + mc);
    set_str(p.get(), "inheritsFrom", mc);
    set_str(p.get(), "type", "release");
    set_str(p.get(), "mainClass", json_str(json_get(meta.get(), "mainClass"), "client"));
    cJSON *args = cJSON_AddObjectToObject(p.get(), "arguments");
    cJSON_AddArrayToObject(args, "game");
    cJSON *libs = cJSON_AddArrayToObject(p.get(), "libraries");
    auto add = [&](const std::string &name, const std::string &url) {
        cJSON *l = cJSON_CreateObject();
        cJSON_AddStringToObject(l, "name", name.c_str());
        cJSON_AddStringToObject(l, "url", to_fake(url, base).c_str());
        cJSON_AddItemToArray(libs, l);
    };
    add("net.fabricmc:intermediary:" + mc, "https://maven.fabricmc.net/");
    add("org.quiltmc:quilt-loader:" + v, "https://maven.quiltmc.org/repository/release/");
    const cJSON *l;
    cJSON_ArrayForEach(l, json_get(json_get(meta.get(), "libraries"), "common"))
        add(json_str(l, "name"), json_str(l, "url"));
    return p;
}

// The profile of a loader build, or none when the loader has no such build
// for that game version.
JsonPtr published_profile(const std::string &base, const std::string &loader, const std::string &mc,
                          const std::string &v) {
    if (!world_has_version(mc)) return nullptr;
    if (loader == "fabric" && in_list("fabric/meta-v2-versions-loader.json", v))
        return fabric_profile(base, mc, v);
    if (loader == "quilt" && in_list("quilt/meta-v3-versions-loader.json", v))
        return quilt_profile(base, mc, v);
    return nullptr;
}

bool answer_override(FakeNet &n, const httplib::Request &req, httplib::Response &res) {
    std::lock_guard<std::mutex> lk(n.lock);
    auto it = n.files.find(req.path);
    if (it == n.files.end()) return false;
    res.set_content(it->second, "application/json");
    return true;
}

void serve_file(FakeNet &n, const httplib::Request &req, httplib::Response &res) {
    std::lock_guard<std::mutex> lk(n.lock);
    auto it = n.files.find(req.path);
    if (it == n.files.end()) {
        res.status = 404;
        res.set_content("not found", "text/plain");
        return;
    }
    res.set_content(it->second, "application/java-archive");
}

} // namespace

std::string world_loader_library_jar(const std::string &path) {
    // The loaders' own jars hold a launch class that starts the stub game.
    bool loader = path.rfind("net/fabricmc/fabric-loader/", 0) == 0 ||
                  path.rfind("org/quiltmc/quilt-loader/", 0) == 0;
    if (loader)
        if (std::optional<std::string> jar = fs_read_all(fakenet_java_jar("knotclient")))
            return *jar;
    return jar_of("library", path);
}

FAKENET_WORLD("loader_install", [](FakeNet &n) {
    auto built = std::make_shared<Built>();
    for (const char *meta : {"fabric_meta/v2", "quilt_meta/v3"}) {
        std::string loader = meta[0] == 'f' ? "fabric" : "quilt";
        n.server.Get("/" + std::string(meta) + R"(/versions/loader/([^/]+)/([^/]+)/profile/json)",
                     [&n, loader](const httplib::Request &req, httplib::Response &res) {
                         JsonPtr p =
                             published_profile(n.base(), loader, req.matches[1], req.matches[2]);
                         if (!p) {
                             res.status = 400;
                             res.set_content("no such loader build", "text/plain");
                             return;
                         }
                         res.set_content(json_print(p.get()), "application/json");
                     });
    }
    n.server.Get(R"(/service/v1/loaders/([a-z]+)/([^/]+)/([^/]+))",
                 [&n, built](const httplib::Request &req, httplib::Response &res) {
                     if (answer_override(n, req, res)) return;
                     std::string loader = req.matches[1], mc = req.matches[2], v = req.matches[3];
                     JsonPtr reply(cJSON_CreateObject());
                     build(n, *built);
                     std::string installer;
                     if (loader == "forge" && mc == "1.20.1" && v == "47.4.9")
                         installer = built->service_installer_forge;
                     if (loader == "forge" && mc == k_old_forge_mc && v == k_old_forge)
                         installer = built->service_installer_old;
                     if (loader == "neoforge" && v == "21.1.248")
                         installer = built->service_installer_neoforge;
                     if (!installer.empty()) {
                         cJSON_AddStringToObject(reply.get(), "installer", installer.c_str());
                     } else if (JsonPtr p = published_profile(n.base(), loader, mc, v)) {
                         cJSON_AddItemToObject(reply.get(), "profile", p.release());
                     } else {
                         res.status = 404;
                         res.set_content("{\"error\":\"loader build not found\"}",
                                         "application/json");
                         return;
                     }
                     res.set_content(json_print_compact(reply.get()), "application/json");
                 });
    // Library jars of the published profiles: any path, bytes from the path.
    n.server.Get(R"(/(fabric_maven|quilt_maven)/(.+\.jar))", [](const httplib::Request &req,
                                                                httplib::Response &res) {
        res.set_content(world_loader_library_jar(req.matches[2]), "application/java-archive");
    });
    // Installers and their libraries, built on first use.
    n.server.Get(R"(/(forge_maven|neoforge_maven)/.+\.jar)",
                 [&n, built](const httplib::Request &req, httplib::Response &res) {
                     build(n, *built);
                     serve_file(n, req, res);
                 });
});
