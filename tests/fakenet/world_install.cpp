// Fake world of installable files: the files version documents reference
// (served from the file store by fakeinstall_version_files), Mojang's Java
// runtime index and component manifests, Adoptium's Temurin archives and the
// content service's Java answers. Every runtime's bin/java is a shell script
// that starts this machine's own Java, so launched runtimes really run.
#include "fakenet/world_install.h"

#include "fakenet/world_mojang.h"

#include "base/digest.h"
#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <optional>

namespace {

const char *k_runtime_index =
    "/launcher_meta/v1/products/java-runtime/2ec0cc96c44e5a76b9c8b7c39df7210883d12871/all.json";

// The machine's real java binary (readlink -f $(which java)).
std::string machine_java() {
    const char *path = getenv("PATH");
    for (const std::string &dir : str_split(path ? path : "/usr/bin", ':')) {
        std::string cand = (dir.empty() ? "." : dir) + "/java";
        if (access(cand.c_str(), X_OK) != 0) continue;
        char buf[PATH_MAX];
        if (realpath(cand.c_str(), buf)) return buf;
    }
    return "/usr/bin/java";
}

// bin/java of a fake runtime: the real Java, tagged with the runtime's name so
// that a launch test sees which runtime started the game.
std::string java_script(const std::string &runtime) {
    return "#!/bin/sh\nexec '" + machine_java() + "' -Dzyl.runtime=" + runtime + " \"$@\"\n";
}

// ---- tar.gz writer (ustar), enough for a JRE-shaped archive ----

struct TarEntry {
    std::string name;
    std::string data;
    unsigned mode = 0644;
    char type = '0'; // '0' file, '5' directory, '2' symlink
    std::string link;
};

// A zero-padded octal number filling len - 1 characters and a NUL.
void octal(char *field, size_t len, unsigned long long v) {
    for (size_t i = len - 1; i-- > 0; v >>= 3)
        field[i] = static_cast<char>('0' + (v & 7));
    field[len - 1] = '\0';
}

std::string tar_build(const std::vector<TarEntry> &entries) {
    std::string out;
    for (const TarEntry &e : entries) {
        char h[512] = {};
        strncpy(h, e.name.c_str(), 99);
        octal(h + 100, 8, e.mode);
        octal(h + 108, 8, 0);
        octal(h + 116, 8, 0);
        octal(h + 124, 12, e.type == '0' ? e.data.size() : 0);
        octal(h + 136, 12, 1700000000);
        memset(h + 148, ' ', 8);
        h[156] = e.type;
        strncpy(h + 157, e.link.c_str(), 99);
        memcpy(h + 257, "ustar", 6);
        memcpy(h + 263, "00", 2);
        unsigned sum = 0;
        for (unsigned char c : h)
            sum += c;
        octal(h + 148, 7, sum);
        h[155] = ' ';
        out.append(h, 512);
        if (e.type == '0') {
            out += e.data;
            out.append((512 - e.data.size() % 512) % 512, '\0');
        }
    }
    out.append(1024, '\0');
    return out;
}

std::string gzip(const std::string &data) {
    z_stream z{};
    deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string temurin_archive(int major) {
    std::string top = format_alloc("jdk-%d.0.1+12-jre/", major);
    std::vector<TarEntry> e = {
        {top, "", 0755, '5', ""},
        {top + "bin/", "", 0755, '5', ""},
        {top + "bin/java", java_script(format_alloc("temurin-%d", major)), 0755, '0', ""},
        {top + "bin/keytool", "#!/bin/sh\nexit 0\n", 0755, '0', ""},
        {top + "lib/", "", 0755, '5', ""},
        {top + "lib/server/", "", 0755, '5', ""},
        {top + "lib/server/libjvm.so", "fake libjvm " + std::to_string(major) + "\n", 0644, '0',
         ""},
        {top + "lib/server/libjsig.so", "", 0777, '2', "../libjsig.so"},
        {top + "lib/libjsig.so", "fake libjsig\n", 0644, '0', ""},
        {top + "release",
         format_alloc("JAVA_VERSION=\"%d.0.1\"\nIMPLEMENTOR=\"Eclipse Adoptium\"\n", major), 0644,
         '0', ""},
    };
    return gzip(tar_build(e));
}

// ---- Mojang runtime components ----

struct RuntimeWorld {
    std::string index;                        // all.json
    std::map<std::string, std::string> files; // path on the server -> bytes
};

// A component manifest in Mojang's shape, built from the real Linux
// jre-legacy manifest: every directory and link of it, the files under bin/
// and a few libraries; one extra link points outside the runtime folder.
std::string component_manifest(FakeNet &net, const std::string &component, RuntimeWorld &w) {
    JsonPtr real = json_read_file(fakenet_corpus(
        "java-runtime/mojang/component-manifest.jre-legacy-1.8.0_202-linux-x64.json"));
    JsonPtr files(cJSON_CreateObject());
    const cJSON *f = nullptr;
    cJSON_ArrayForEach(f, json_get(real.get(), "files")) {
        std::string path = f->string;
        std::string type = json_str(f, "type");
        bool keep = type != "file" || str_starts_with(path, "bin/") || path == "release" ||
                    path == "lib/amd64/libjsig.so" || path == "COPYRIGHT";
        if (!keep) continue;
        if (type != "file") {
            cJSON_AddItemToObject(files.get(), path.c_str(), cJSON_Duplicate(f, 1));
            continue;
        }
        bool exec = json_bool(f, "executable");
        std::string data = path == "bin/java" ? java_script(component)
                           : exec             ? "#!/bin/sh\nexit 0\n"
                                              : "fake " + component + " " + path + "\n";
        std::string sha = sha1_hex(data.data(), data.size());
        std::string base = path.substr(path.rfind('/') + 1);
        w.files["/launcher/v1/objects/" + sha + "/" + base] = data;
        cJSON *entry = cJSON_CreateObject();
        cJSON *raw = cJSON_AddObjectToObject(cJSON_AddObjectToObject(entry, "downloads"), "raw");
        cJSON_AddStringToObject(raw, "sha1", sha.c_str());
        cJSON_AddNumberToObject(raw, "size", static_cast<double>(data.size()));
        cJSON_AddStringToObject(raw, "url",
                                (net.url("launcher") + "/v1/objects/" + sha + "/" + base).c_str());
        cJSON_AddBoolToObject(entry, "executable", exec);
        cJSON_AddStringToObject(entry, "type", "file");
        cJSON_AddItemToObject(files.get(), path.c_str(), entry);
    }
    // Links a launcher must refuse: one pointing straight out of the runtime,
    // and one that looks inside by its name but escapes through "jump".
    for (auto [path, target] :
         {std::pair<const char *, const char *>{"bin/escape", "../../../outside"},
          {"lib/amd64/jump", "../../bin"},
          {"lib/amd64/jump/flee", "../../../outside"}}) {
        cJSON *link = cJSON_AddObjectToObject(files.get(), path);
        cJSON_AddStringToObject(link, "target", target);
        cJSON_AddStringToObject(link, "type", "link");
    }
    JsonPtr doc(cJSON_CreateObject());
    cJSON_AddItemToObject(doc.get(), "files", files.release());
    return json_print(doc.get());
}

// The real runtime index with every manifest address of the "linux" key
// rewritten to a generated manifest on this server; other platforms keep theirs.
RuntimeWorld runtime_world(FakeNet &net) {
    RuntimeWorld w;
    JsonPtr index = json_read_file(fakenet_corpus("java-runtime/mojang/all.mc-meta.json"));
    cJSON *comp = nullptr;
    cJSON_ArrayForEach(comp, json_get(index.get(), "linux")) {
        cJSON *entry = cJSON_GetArrayItem(comp, 0);
        cJSON *manifest = json_get(entry, "manifest");
        if (!manifest) continue;
        std::string text = component_manifest(net, comp->string, w);
        std::string sha = sha1_hex(text.data(), text.size());
        w.files["/launcher_meta/v1/packages/" + sha + "/manifest.json"] = text;
        cJSON_ReplaceItemInObject(manifest, "sha1", cJSON_CreateString(sha.c_str()));
        cJSON_ReplaceItemInObject(manifest, "size",
                                  cJSON_CreateNumber(static_cast<double>(text.size())));
        cJSON_ReplaceItemInObject(
            manifest, "url",
            cJSON_CreateString(
                (net.url("launcher_meta") + "/v1/packages/" + sha + "/manifest.json").c_str()));
    }
    w.index = json_print(index.get());
    return w;
}

// ---- files of version documents ----

// Replaces the Mojang host of url with the matching endpoint of the fake network.
std::string local_url(FakeNet &n, const std::string &url) {
    static const std::pair<const char *, const char *> hosts[] = {
        {"https://piston-meta.mojang.com", "piston_meta"},
        {"https://piston-data.mojang.com", "piston_data"},
        {"https://launchermeta.mojang.com", "launcher_meta"},
        {"https://launcher.mojang.com", "launcher"},
        {"https://libraries.minecraft.net", "libraries"},
        {"https://resources.download.minecraft.net", "resources"},
    };
    for (const auto &[host, name] : hosts)
        if (str_starts_with(url, host)) return n.url(name) + url.substr(strlen(host));
    return url;
}

// Serves bytes at the (made local) address in obj[url_key] and records their
// SHA-1 and size. Mojang's content-addressed paths ("/objects/<sha1>/",
// "/packages/<sha1>/") get the new hash in place of the old.
void serve_at(FakeNet &n, cJSON *obj, const char *url_key, const std::string &bytes) {
    std::string sha = sha1_hex(bytes.data(), bytes.size());
    std::string url = local_url(n, json_str(obj, url_key));
    std::string old = json_str(obj, "sha1");
    size_t at = old.empty() ? std::string::npos : url.find(old);
    if (at != std::string::npos) url.replace(at, old.size(), sha);
    cJSON_DeleteItemFromObjectCaseSensitive(obj, url_key);
    cJSON_AddStringToObject(obj, url_key, url.c_str());
    cJSON_DeleteItemFromObjectCaseSensitive(obj, "sha1");
    cJSON_AddStringToObject(obj, "sha1", sha.c_str());
    cJSON_DeleteItemFromObjectCaseSensitive(obj, "size");
    cJSON_AddNumberToObject(obj, "size", static_cast<double>(bytes.size()));
    n.serve(url.substr(n.base().size()), bytes);
}

// A real jar: a manifest plus, for natives, a shared-library entry.
std::string library_jar(const std::string &path) {
    std::string base = path.substr(path.rfind('/') + 1);
    std::vector<std::pair<std::string, std::string>> e = {
        {"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\nCreated-By: fakenet\r\n\r\n"}};
    if (path.find("natives") != std::string::npos)
        e.push_back({"lib" + base.substr(0, base.find('-')) + ".so", "\x7f"
                                                                     "ELF fake " +
                                                                         path});
    else
        e.push_back({"fakenet/" + base + ".txt", "library " + path + "\n"});
    return world_zip(e);
}

void library_files(FakeNet &n, cJSON *lib) {
    cJSON *downloads = json_get(lib, "downloads");
    cJSON *artifact = json_get(downloads, "artifact");
    if (artifact && !json_str(artifact, "url").empty())
        serve_at(n, artifact, "url", library_jar(json_str(artifact, "path")));
    cJSON *cls = nullptr;
    cJSON_ArrayForEach(cls, json_get(downloads, "classifiers")) {
        serve_at(n, cls, "url", library_jar(json_str(cls, "path")));
    }
}

std::string log_config(const std::string &id) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Configuration status=\"WARN\">\n  <!-- " +
           id +
           " (fake network) -->\n  <Loggers><Root level=\"info\"/></Loggers>\n</Configuration>\n";
}

std::string object_bytes(const std::string &name, long size) {
    std::string out = "asset " + name + "\n";
    if (size <= 0) return out;
    out.reserve(static_cast<size_t>(size) + 4);
    // Cheap, name-dependent filler: every object gets its own hash.
    uint32_t x = 2166136261u;
    for (char c : name)
        x = (x ^ static_cast<unsigned char>(c)) * 16777619u;
    while (out.size() < static_cast<size_t>(size)) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out.append(reinterpret_cast<const char *>(&x), 4);
    }
    out.resize(static_cast<size_t>(size));
    return out;
}

// The asset index: object names from the real index of the same kind
// (made-up sound names beyond it), generated contents in the file store.
std::string asset_index(FakeNet &n, const std::string &id, const FakeInstallShape &shape) {
    bool legacy = id == "legacy" || id == "pre-1.6";
    JsonPtr real = json_read_file(fakenet_corpus(legacy ? "mojang/assets/indexes-legacy.json"
                                                        : "mojang/assets/indexes-1.12.json"));
    StrList names;
    const cJSON *o = nullptr;
    cJSON_ArrayForEach(o, json_get(real.get(), "objects")) {
        if (static_cast<int>(names.size()) >= shape.asset_objects) break;
        names.push_back(o->string);
    }
    for (int i = static_cast<int>(names.size()); i < shape.asset_objects; i++)
        names.push_back(format_alloc("minecraft/sounds/generated/%d/sound%d.ogg", i / 100, i));
    JsonPtr index(cJSON_CreateObject());
    cJSON *objects = cJSON_AddObjectToObject(index.get(), "objects");
    // Real sizes: those of the real index's objects, in turn.
    std::vector<long> real_sizes;
    cJSON_ArrayForEach(o, json_get(real.get(), "objects")) {
        real_sizes.push_back(static_cast<long>(json_num(o, "size")));
    }
    size_t i = 0;
    for (const std::string &name : names) {
        long size = shape.object_size >= 0 || real_sizes.empty()
                        ? shape.object_size
                        : real_sizes[i++ % real_sizes.size()];
        std::string bytes = object_bytes(name, size);
        std::string sha = sha1_hex(bytes.data(), bytes.size());
        cJSON *entry = cJSON_AddObjectToObject(objects, name.c_str());
        cJSON_AddStringToObject(entry, "hash", sha.c_str());
        cJSON_AddNumberToObject(entry, "size", static_cast<double>(bytes.size()));
        n.serve("/resources/" + sha.substr(0, 2) + "/" + sha, std::move(bytes));
    }
    if (legacy) cJSON_AddBoolToObject(index.get(), "virtual", true);
    return json_print_compact(index.get());
}

} // namespace

void fakeinstall_version_files(FakeNet &n, cJSON *doc, const FakeInstallShape &shape) {
    cJSON *client = json_get(json_get(doc, "downloads"), "client");
    if (client) {
        std::optional<std::string> jar = fs_read_all(fakenet_java_jar("stubgame"));
        serve_at(n, client, "url", jar ? *jar : std::string("stub game jar not built"));
    }
    cJSON *lib = nullptr;
    cJSON_ArrayForEach(lib, json_get(doc, "libraries")) library_files(n, lib);
    cJSON *file = json_get(json_get(json_get(doc, "logging"), "client"), "file");
    if (file) serve_at(n, file, "url", log_config(json_str(file, "id")));
    cJSON *ai = json_get(doc, "assetIndex");
    if (ai) {
        // piston_meta's package paths belong to the Mojang world's documents;
        // generated indexes live on the older metadata host, as legacy ones do.
        std::string url = json_str(ai, "url");
        if (str_starts_with(url, "https://piston-meta.mojang.com")) {
            url.replace(0, strlen("https://piston-meta.mojang.com"),
                        "https://launchermeta.mojang.com");
            cJSON_DeleteItemFromObjectCaseSensitive(ai, "url");
            cJSON_AddStringToObject(ai, "url", url.c_str());
        }
        serve_at(n, ai, "url", asset_index(n, json_str(ai, "id"), shape));
        cJSON_DeleteItemFromObjectCaseSensitive(ai, "totalSize");
    }
}

static void java_world(FakeNet &n) {
    // Built on the first request for the index (addresses need the port, known
    // only after binding); manifests and files then live in the file store.
    auto index = std::make_shared<std::pair<std::mutex, std::string>>();
    n.server.Get(k_runtime_index, [index, &n](const httplib::Request &, httplib::Response &res) {
        std::lock_guard<std::mutex> lk(index->first);
        if (index->second.empty()) {
            RuntimeWorld w = runtime_world(n);
            for (const auto &[path, bytes] : w.files)
                n.serve(path, bytes);
            index->second = w.index;
        }
        res.set_content(index->second, "application/json");
    });
    // Adoptium answers the binary address with a redirect to the archive, as
    // the real API does.
    auto archives = std::make_shared<std::map<int, std::string>>();
    auto archive_of = [archives](int major) -> const std::string & {
        static std::mutex lock;
        std::lock_guard<std::mutex> lk(lock);
        auto it = archives->find(major);
        if (it == archives->end()) it = archives->emplace(major, temurin_archive(major)).first;
        return it->second;
    };
    n.server.Get(R"(/adoptium/v3/binary/latest/(\d+)/ga/linux/x64/jre/hotspot/normal/eclipse)",
                 [&n](const httplib::Request &req, httplib::Response &res) {
                     std::string major = req.matches[1];
                     res.set_redirect(n.url("adoptium") + "/download/OpenJDK" + major +
                                      "U-jre_x64_linux_hotspot.tar.gz");
                 });
    n.server.Get(R"(/adoptium/download/OpenJDK(\d+)U-jre_x64_linux_hotspot\.tar\.gz)",
                 [archive_of](const httplib::Request &req, httplib::Response &res) {
                     res.set_content(archive_of(std::stoi(req.matches[1])), "application/gzip");
                 });

    // The content service names the same archive, its SHA-256 and its own copy.
    n.server.Get(R"(/service/v1/java/(\d+))", [&n, archive_of](const httplib::Request &req,
                                                               httplib::Response &res) {
        int major = std::stoi(req.matches[1]);
        if (req.get_param_value("os") != "linux" || req.get_param_value("arch") != "x64") {
            res.status = 404;
            res.set_content(R"({"error":"no build for this platform"})", "application/json");
            return;
        }
        const std::string &bytes = archive_of(major);
        JsonPtr a(cJSON_CreateObject());
        cJSON_AddStringToObject(
            a.get(), "url",
            format_alloc("%s/v3/binary/latest/%d/ga/linux/x64/jre/hotspot/normal/eclipse",
                         n.url("adoptium").c_str(), major)
                .c_str());
        cJSON_AddStringToObject(a.get(), "sha256", sha256_hex(bytes.data(), bytes.size()).c_str());
        cJSON_AddStringToObject(a.get(), "proxied",
                                format_alloc("/v1/java/%d/archive", major).c_str());
        res.set_content(json_print(a.get()), "application/json");
    });
    n.server.Get(R"(/service/v1/java/(\d+)/archive)",
                 [archive_of](const httplib::Request &req, httplib::Response &res) {
                     res.set_content(archive_of(std::stoi(req.matches[1])), "application/gzip");
                 });
}

FAKENET_WORLD("java", java_world);
