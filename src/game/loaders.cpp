// Loader kinds and loader version lists from the content service or the
// loaders' public metadata.
#include "game/loaders.h"

#include "net/endpoints.h"
#include "net/fetch.h"
#include "net/service.h"

#include <cstring>
#include <set>

namespace {

struct LoaderName {
    LoaderKind kind;
    const char *display;
    const char *lower;
};

const LoaderName k_loaders[] = {
    {LoaderKind::Vanilla, "Vanilla", "vanilla"},    {LoaderKind::Fabric, "Fabric", "fabric"},
    {LoaderKind::Quilt, "Quilt", "quilt"},          {LoaderKind::Forge, "Forge", "forge"},
    {LoaderKind::NeoForge, "NeoForge", "neoforge"},
};

bool contains_any(const std::string &s, std::initializer_list<const char *> words) {
    for (const char *w : words)
        if (s.find(w) != std::string::npos) return true;
    return false;
}

// Stable versions first, then the rest, each group in list order.
void append_stable_first(const StrList &list, std::initializer_list<const char *> unstable,
                         StrList &out) {
    for (const std::string &v : list)
        if (!contains_any(v, unstable)) out.push_back(v);
    for (const std::string &v : list)
        if (contains_any(v, unstable)) out.push_back(v);
}

void order_forge_service(const cJSON *reply, const std::string &mc, StrList &out,
                         LoaderPromos *promos_out) {
    StrList versions;
    std::set<std::string> seen;
    const cJSON *v;
    cJSON_ArrayForEach(v, json_get(reply, "versions")) {
        if (!cJSON_IsString(v)) continue;
        std::string s = forge_strip_mc(v->valuestring, mc);
        if (seen.insert(s).second) versions.push_back(s);
    }
    versions_sort_desc(versions);
    std::set<std::string> taken;
    const cJSON *promos = json_get(reply, "promos");
    for (const char *which : {"recommended", "latest"}) {
        std::string key = format_alloc("%s-%s", mc.c_str(), which);
        auto promo = json_str_opt(promos, key.c_str());
        if (promo && promos_out)
            (strcmp(which, "latest") == 0 ? promos_out->latest : promos_out->recommended) = *promo;
        if (promo && taken.insert(*promo).second) out.push_back(*promo);
    }
    for (const std::string &s : versions)
        if (taken.insert(s).second) out.push_back(s);
}

} // namespace

std::optional<std::string> loader_normalize(const std::optional<std::string> &name) {
    if (!name) return std::string("Vanilla");
    std::string n = str_lower(*name);
    if (n.empty() || n == "none") return std::string("Vanilla");
    if (n == "neo") return std::string("NeoForge");
    for (const LoaderName &l : k_loaders)
        if (n == l.lower) return std::string(l.display);
    return std::nullopt;
}

LoaderKind loader_kind(const std::string &display) {
    for (const LoaderName &l : k_loaders)
        if (display == l.display) return l.kind;
    return LoaderKind::Vanilla;
}

const char *loader_lower_name(LoaderKind kind) {
    for (const LoaderName &l : k_loaders)
        if (l.kind == kind) return l.lower;
    return "vanilla";
}

std::string forge_strip_mc(const std::string &v, const std::string &mc) {
    std::string s = v;
    if (str_starts_with(s, mc + "-")) s = s.substr(mc.size() + 1);
    size_t dash = s.rfind('-');
    if (dash != std::string::npos && s.compare(dash + 1, std::string::npos, mc) == 0)
        s.resize(dash);
    return s;
}

std::string neoforge_prefix(const std::string &mc) {
    if (str_starts_with(mc, "1.")) {
        std::string rest = mc.substr(2);
        size_t dot = rest.find('.');
        if (dot == std::string::npos) return rest + ".0.";
        return rest.substr(0, dot) + "." + rest.substr(dot + 1) + ".";
    }
    if (mc.find('.') != std::string::npos) return mc + ".";
    return mc + ".0.";
}

void loader_order_service(LoaderKind kind, const cJSON *reply, const std::string &mc, StrList &out,
                          LoaderPromos *promos) {
    if (kind == LoaderKind::Forge) {
        order_forge_service(reply, mc, out, promos);
        return;
    }
    StrList list;
    const cJSON *v;
    cJSON_ArrayForEach(v, json_get(reply, "versions")) {
        if (cJSON_IsString(v)) list.push_back(v->valuestring);
    }
    if (kind != LoaderKind::Fabric) versions_sort_desc(list);
    append_stable_first(list, {"beta", "alpha", "pre", "rc"}, out);
}

void loader_order_meta(const cJSON *entries, StrList &out) {
    StrList stable, rest;
    const cJSON *e;
    cJSON_ArrayForEach(e, entries) {
        const cJSON *loader = json_get(e, "loader");
        auto version = json_str_opt(loader, "version");
        if (!version) continue;
        bool unstable =
            cJSON_IsFalse(json_get(loader, "stable")) || contains_any(*version, {"beta", "pre"});
        (unstable ? rest : stable).push_back(*version);
    }
    out.insert(out.end(), stable.begin(), stable.end());
    out.insert(out.end(), rest.begin(), rest.end());
}

void loader_order_forge_maven(const StrList &maven, const std::string &mc, StrList &out) {
    StrList list;
    for (const std::string &v : maven)
        if (str_starts_with(v, mc + "-")) list.push_back(forge_strip_mc(v, mc));
    versions_sort_desc(list);
    out.insert(out.end(), list.begin(), list.end());
}

void loader_order_neoforge_maven(const StrList &maven, const std::string &mc, StrList &out) {
    std::string prefix = neoforge_prefix(mc);
    StrList list;
    for (const std::string &v : maven)
        if (str_starts_with(v, prefix)) list.push_back(v);
    versions_sort_desc(list);
    append_stable_first(list, {"beta"}, out);
}

void loader_versions(const std::string &loader, const std::string &mc, StrList &out, const Job *job,
                     LoaderPromos *promos) {
    auto display = loader_normalize(loader);
    if (!display) return;
    LoaderKind kind = loader_kind(*display);
    if (kind == LoaderKind::Vanilla) return;

    JsonPtr reply;
    if (service_loader_versions(loader_lower_name(kind), mc, reply, nullptr) == 0 &&
        cJSON_IsArray(json_get(reply.get(), "versions"))) {
        loader_order_service(kind, reply.get(), mc, out, promos);
        return;
    }

    switch (kind) {
    case LoaderKind::Fabric:
    case LoaderKind::Quilt: {
        std::string base = kind == LoaderKind::Fabric ? endpoint("fabric_meta") + "/v2"
                                                      : endpoint("quilt_meta") + "/v3";
        JsonPtr entries = fetch_json_cached(base + "/versions/loader/" + mc, nullptr, true, job);
        loader_order_meta(entries.get(), out);
        break;
    }
    case LoaderKind::Forge: {
        StrList maven;
        maven_versions(endpoint("forge_maven") + "/net/minecraftforge/forge/maven-metadata.xml",
                       maven, job);
        loader_order_forge_maven(maven, mc, out);
        if (promos && !out.empty()) promos->latest = out[0]; // newest first
        break;
    }
    case LoaderKind::NeoForge: {
        StrList maven;
        maven_versions(endpoint("neoforge_maven") +
                           "/releases/net/neoforged/neoforge/maven-metadata.xml",
                       maven, job);
        loader_order_neoforge_maven(maven, mc, out);
        break;
    }
    case LoaderKind::Vanilla:
        break;
    }
}
