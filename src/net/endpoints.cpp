// Outside base addresses with their defaults and the ZYL_ENDPOINTS override.
#include "net/endpoints.h"

#include "base/strings.h"
#include "base/ui.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

struct Endpoint {
    const char *name;
    const char *default_url;
    std::string url;
};

Endpoint g_endpoints[] = {
    {"piston_meta", "https://piston-meta.mojang.com", {}},
    {"piston_data", "https://piston-data.mojang.com", {}},
    {"launcher_meta", "https://launchermeta.mojang.com", {}},
    {"launcher", "https://launcher.mojang.com", {}},
    {"libraries", "https://libraries.minecraft.net", {}},
    {"resources", "https://resources.download.minecraft.net", {}},
    {"fabric_meta", "https://meta.fabricmc.net", {}},
    {"quilt_meta", "https://meta.quiltmc.org", {}},
    {"forge_maven", "https://maven.minecraftforge.net", {}},
    {"forge_files", "https://files.minecraftforge.net", {}},
    {"neoforge_maven", "https://maven.neoforged.net", {}},
    {"adoptium", "https://api.adoptium.net", {}},
    {"modrinth_api", "https://api.modrinth.com", {}},
    {"modrinth_web", "https://modrinth.com", {}},
    {"curseforge_api", "https://api.curseforge.com", {}},
    {"curseforge_web", "https://www.curseforge.com", {}},
    {"curseforge_console", "https://console.curseforge.com", {}},
    // The file hosts a Modrinth pack may name for its downloads.
    {"modrinth_cdn", "https://cdn.modrinth.com", {}},
    {"github", "https://github.com", {}},
    {"github_raw", "https://raw.githubusercontent.com", {}},
    {"gitlab", "https://gitlab.com", {}},
    {"authlib_injector", "https://authlib-injector.yushi.moe", {}},
    // The maker's own services are not deployed: reserved-domain defaults make a
    // default start fall back to the public sources at once.
    {"service", "https://api.brimfell.example", {}},
    {"auth", "https://id.brimfell.example/api/yggdrasil/authserver", {}},
    {"web", "brimfell.example", {}},
};

const char *g_mojang[] = {"piston_meta", "piston_data", "launcher_meta",
                          "launcher",    "libraries",   "resources"};

std::once_flag g_once;
std::mutex g_lock;

Endpoint *find(const char *name) {
    for (Endpoint &e : g_endpoints)
        if (strcmp(e.name, name) == 0) return &e;
    return nullptr;
}

void load_locked() {
    for (Endpoint &e : g_endpoints)
        e.url = e.default_url;
    const char *env = getenv("ZYL_ENDPOINTS");
    if (!env || !*env) return;
    for (const std::string &pair : str_split(env, ',')) {
        std::string item = str_trim(pair);
        if (item.empty()) continue;
        size_t eq = item.find('=');
        std::string name = str_trim(item.substr(0, eq));
        Endpoint *e = eq == std::string::npos ? nullptr : find(name.c_str());
        if (!e) {
            ui_message("ZYL_ENDPOINTS: неизвестное имя %s — пропущено", name.c_str());
            continue;
        }
        std::string url = str_trim(item.substr(eq + 1));
        while (!url.empty() && url.back() == '/')
            url.pop_back();
        e->url = url;
    }
}

} // namespace

void endpoints_reload() {
    std::lock_guard<std::mutex> lk(g_lock);
    load_locked();
}

const std::string &endpoint(const char *name) {
    std::call_once(g_once, [] {
        std::lock_guard<std::mutex> lk(g_lock);
        load_locked();
    });
    static const std::string empty;
    Endpoint *e = find(name);
    return e ? e->url : empty;
}

// The text after the first "://" (the whole text when there is none).
static std::string after_scheme(const std::string &url) {
    size_t p = url.find("://");
    return p == std::string::npos ? url : url.substr(p + 3);
}

std::string auth_server_base() {
    const char *env = getenv("ZYL_AUTH_SERVER");
    std::string base = env && *env ? env : endpoint("auth");
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base;
}

StrList endpoints_configured() {
    endpoint("web"); // loads the table once
    StrList out;
    {
        std::lock_guard<std::mutex> lk(g_lock);
        for (const Endpoint &e : g_endpoints)
            out.push_back(e.url);
    }
    out.push_back(auth_server_base());
    return out;
}

std::string url_host(const std::string &url) {
    size_t p = url.find("://");
    if (p == std::string::npos) return "";
    std::string scheme = str_lower(url.substr(0, p));
    if (scheme != "http" && scheme != "https") return "";
    size_t end = url.find_first_of("/?#", p + 3);
    return url.substr(p + 3, end == std::string::npos ? std::string::npos : end - p - 3);
}

bool endpoint_url_under(const std::string &url, const std::vector<const char *> &names) {
    if (url_host(url).empty()) return false;
    std::string rest = after_scheme(url);
    for (const char *name : names) {
        const std::string &base = endpoint(name);
        if (!base.empty() && str_starts_with(rest, after_scheme(base) + "/")) return true;
    }
    return false;
}

bool is_mojang_host(const std::string &url) {
    // The scheme does not matter: an http link to a Mojang host is still Mojang's.
    std::string rest = after_scheme(url);
    for (const char *name : g_mojang) {
        if (str_starts_with(rest, after_scheme(endpoint(name)) + "/")) return true;
    }
    return false;
}
