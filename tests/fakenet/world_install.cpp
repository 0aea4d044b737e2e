// Fake world of installable files: Mojang's Java runtime index and component
// manifests, Adoptium's Temurin archives and the content service's Java
// answers. Every runtime's bin/java is a shell script that starts this
// machine's own Java, so launched runtimes really run.
#include "fakenet/fakenet.h"

#include "base/digest.h"
#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <zlib.h>

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
    char type = '0';  // '0' file, '5' directory, '2' symlink
    std::string link;
};

void octal(char *field, size_t len, unsigned long long v) {
    snprintf(field, len, "%0*llo", static_cast<int>(len - 1), v);
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
        for (unsigned char c : h) sum += c;
        snprintf(h + 148, 8, "%06o", sum);
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
        {top + "lib/server/libjvm.so", "fake libjvm " + std::to_string(major) + "\n", 0644, '0', ""},
        {top + "lib/server/libjsig.so", "", 0777, '2', "../libjsig.so"},
        {top + "lib/libjsig.so", "fake libjsig\n", 0644, '0', ""},
        {top + "release", format_alloc("JAVA_VERSION=\"%d.0.1\"\nIMPLEMENTOR=\"Eclipse Adoptium\"\n", major),
         0644, '0', ""},
    };
    return gzip(tar_build(e));
}

// ---- Mojang runtime components ----

struct RuntimeWorld {
    std::string index;                         // all.json
    std::map<std::string, std::string> blobs;  // sha1 -> bytes (manifests and files)
};

// A component manifest in Mojang's shape, built from the real Linux
// jre-legacy manifest: every directory and link of it, the files under bin/
// and a few libraries; one extra link points outside the runtime folder.
std::string component_manifest(FakeNet &net, const std::string &component, RuntimeWorld &w) {
    JsonPtr real = json_read_file(
        fakenet_corpus("java-runtime/mojang/component-manifest.jre-legacy-1.8.0_202-linux-x64.json"));
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
        w.blobs[sha] = data;
        std::string base = path.substr(path.rfind('/') + 1);
        cJSON *entry = cJSON_CreateObject();
        cJSON *raw = cJSON_AddObjectToObject(cJSON_AddObjectToObject(entry, "downloads"), "raw");
        cJSON_AddStringToObject(raw, "sha1", sha.c_str());
        cJSON_AddNumberToObject(raw, "size", static_cast<double>(data.size()));
        cJSON_AddStringToObject(
            raw, "url", (net.url("launcher") + "/v1/objects/" + sha + "/" + base).c_str());
        cJSON_AddBoolToObject(entry, "executable", exec);
        cJSON_AddStringToObject(entry, "type", "file");
        cJSON_AddItemToObject(files.get(), path.c_str(), entry);
    }
    cJSON *escape = cJSON_AddObjectToObject(files.get(), "bin/escape");
    cJSON_AddStringToObject(escape, "target", "../../../outside");
    cJSON_AddStringToObject(escape, "type", "link");
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
        w.blobs[sha] = text;
        cJSON_ReplaceItemInObject(manifest, "sha1", cJSON_CreateString(sha.c_str()));
        cJSON_ReplaceItemInObject(manifest, "size", cJSON_CreateNumber(static_cast<double>(text.size())));
        cJSON_ReplaceItemInObject(
            manifest, "url",
            cJSON_CreateString((net.url("piston_meta") + "/v1/packages/" + sha + "/manifest.json").c_str()));
    }
    w.index = json_print(index.get());
    return w;
}

// Built on first use: addresses need the server's port, known only after binding.
struct LazyRuntimeWorld {
    std::mutex lock;
    std::unique_ptr<RuntimeWorld> world;
    const RuntimeWorld &get(FakeNet &n) {
        std::lock_guard<std::mutex> lk(lock);
        if (!world) world = std::make_unique<RuntimeWorld>(runtime_world(n));
        return *world;
    }
};

}  // namespace

FAKENET_WORLD("java", [](FakeNet &n) {
    auto lazy = std::make_shared<LazyRuntimeWorld>();
    auto blob = [lazy, &n](const httplib::Request &req, httplib::Response &res) {
        const RuntimeWorld &w = lazy->get(n);
        auto it = w.blobs.find(req.matches[1]);
        if (it == w.blobs.end()) {
            res.status = 404;
            return;
        }
        res.set_content(it->second, "application/octet-stream");
    };
    n.server.Get(k_runtime_index, [lazy, &n](const httplib::Request &, httplib::Response &res) {
        res.set_content(lazy->get(n).index, "application/json");
    });
    n.server.Get(R"(/piston_meta/v1/packages/([0-9a-f]{40})/manifest\.json)", blob);
    n.server.Get(R"(/launcher/v1/objects/([0-9a-f]{40})/[^/]+)", blob);

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
        cJSON_AddStringToObject(a.get(), "proxied", format_alloc("/v1/java/%d/archive", major).c_str());
        res.set_content(json_print(a.get()), "application/json");
    });
    n.server.Get(R"(/service/v1/java/(\d+)/archive)",
                 [archive_of](const httplib::Request &req, httplib::Response &res) {
                     res.set_content(archive_of(std::stoi(req.matches[1])), "application/gzip");
                 });
});
