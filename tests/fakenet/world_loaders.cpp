// Loader metadata and the content service's catalogue routes on the fake network.
//
// Public sources, from the real-data corpus:
//   /fabric_meta/v2/versions/loader                 Fabric's loader list
//   /fabric_meta/v2/versions/loader/<mc>            [{loader, intermediary}] for game
//                                                   versions with intermediary, else []
//   /quilt_meta/v3/versions/loader/<mc>             the same shape for Quilt
//   /forge_maven/net/minecraftforge/forge/maven-metadata.xml   built from Forge's
//                                                   maven-metadata.json, in its order
//   /forge_files/net/minecraftforge/forge/promotions_slim.json
//   /neoforge_maven/releases/net/neoforged/neoforge/maven-metadata.xml   (exact copy)
//   /neoforge_maven/releases/net/neoforged/forge/maven-metadata.xml      (1.20.1 line)
// Content service:
//   /service/v1/minecraft/versions                  the Mojang world's manifest
//   /service/v1/minecraft/version/<id>              its version documents (404 + "error")
//   /service/v1/loaders/<loader>?mc=<mc>            {"versions": [...]} as the public
//                                                   source lists them (Forge with "promos")
// A file put with FakeNet::serve at the exact path of a service route replaces
// its answer, so a test can make the service say something odd.
#include "fakenet/world_mojang.h"

#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"

namespace {

struct LoaderData {
    JsonPtr fabric_loaders; // /v2/versions/loader
    JsonPtr quilt_loaders;  // Quilt's list, without the extra hash fields
    JsonPtr intermediary;   // game versions Fabric and Quilt support
    JsonPtr forge_by_mc;    // mc -> ["<mc>-<v>", ...]
    JsonPtr forge_promos;
    std::string forge_xml;
    std::string neoforge_xml;
    std::string neoforge_forge_xml;
};

std::string corpus_text(const char *rel) {
    return fs_read_all(fakenet_corpus(rel)).value_or("");
}

std::string forge_maven_xml(const cJSON *by_mc) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<metadata>\n"
                      "  <groupId>net.minecraftforge</groupId>\n  <artifactId>forge</artifactId>\n"
                      "  <versioning>\n    <versions>\n";
    const cJSON *mc;
    cJSON_ArrayForEach(mc, by_mc) {
        const cJSON *v;
        cJSON_ArrayForEach(v, mc) {
            if (cJSON_IsString(v))
                xml += std::string("      <version>") + v->valuestring + "</version>\n";
        }
    }
    return xml + "    </versions>\n  </versioning>\n</metadata>\n";
}

const LoaderData &data() {
    static const LoaderData d = [] {
        LoaderData d;
        d.fabric_loaders = json_read_file(fakenet_corpus("fabric/meta-v2-versions-loader.json"));
        d.quilt_loaders = json_read_file(fakenet_corpus("quilt/meta-v3-versions-loader.json"));
        cJSON *q;
        cJSON_ArrayForEach(q, d.quilt_loaders.get()) {
            cJSON_DeleteItemFromObjectCaseSensitive(q, "file_size");
            cJSON_DeleteItemFromObjectCaseSensitive(q, "hashes");
        }
        d.intermediary =
            json_read_file(fakenet_corpus("fabric/meta-v2-versions-intermediary.json"));
        d.forge_by_mc = json_read_file(fakenet_corpus("forge/maven-metadata.json"));
        d.forge_promos = json_read_file(fakenet_corpus("forge/promotions_slim.json"));
        d.forge_xml = forge_maven_xml(d.forge_by_mc.get());
        d.neoforge_xml = corpus_text("neoforge/maven-metadata.net.neoforged.neoforge.xml");
        d.neoforge_forge_xml = corpus_text("neoforge/maven-metadata.net.neoforged.forge.xml");
        return d;
    }();
    return d;
}

const cJSON *intermediary_of(const std::string &mc) {
    const cJSON *i;
    cJSON_ArrayForEach(i, data().intermediary.get()) {
        if (json_str(i, "version") == mc) return i;
    }
    return nullptr;
}

// The /versions/loader/<mc> answer of Fabric or Quilt.
std::string meta_for_mc(const cJSON *loaders, const std::string &mc) {
    JsonPtr out(cJSON_CreateArray());
    if (const cJSON *inter = intermediary_of(mc)) {
        const cJSON *l;
        cJSON_ArrayForEach(l, loaders) {
            cJSON *e = cJSON_CreateObject();
            cJSON_AddItemToObject(e, "loader", cJSON_Duplicate(l, 1));
            cJSON_AddItemToObject(e, "intermediary", cJSON_Duplicate(inter, 1));
            cJSON_AddItemToArray(out.get(), e);
        }
    }
    return json_print_compact(out.get());
}

StrList xml_versions(const std::string &xml) {
    StrList out;
    size_t at = 0;
    while ((at = xml.find("<version>", at)) != std::string::npos) {
        size_t end = xml.find("</version>", at);
        if (end == std::string::npos) break;
        out.push_back(xml.substr(at + 9, end - at - 9));
        at = end;
    }
    return out;
}

// What the service answers for one loader and game version.
std::string service_loader_versions(const std::string &loader, const std::string &mc) {
    JsonPtr reply(cJSON_CreateObject());
    cJSON *versions = cJSON_AddArrayToObject(reply.get(), "versions");
    auto add = [&](const std::string &v) {
        cJSON_AddItemToArray(versions, cJSON_CreateString(v.c_str()));
    };
    if (loader == "fabric" || loader == "quilt") {
        const cJSON *list =
            loader == "fabric" ? data().fabric_loaders.get() : data().quilt_loaders.get();
        if (intermediary_of(mc)) {
            const cJSON *l;
            cJSON_ArrayForEach(l, list) add(json_str(l, "version"));
        }
    } else if (loader == "forge") {
        const cJSON *v;
        cJSON_ArrayForEach(v, json_get(data().forge_by_mc.get(), mc.c_str())) {
            if (cJSON_IsString(v)) add(v->valuestring);
        }
        cJSON *promos = cJSON_AddObjectToObject(reply.get(), "promos");
        const cJSON *p;
        cJSON_ArrayForEach(p, json_get(data().forge_promos.get(), "promos")) {
            if (p->string && str_starts_with(p->string, mc + "-"))
                cJSON_AddItemToObject(promos, p->string, cJSON_Duplicate(p, 1));
        }
    } else if (loader == "neoforge") {
        // The service filters by the game version the same way the launcher does.
        std::string prefix = str_starts_with(mc, "1.") ? mc.substr(2) : mc;
        if (prefix.find('.') == std::string::npos) prefix += ".0";
        prefix += ".";
        for (const std::string &v : xml_versions(data().neoforge_xml))
            if (str_starts_with(v, prefix)) add(v);
    } else {
        return "";
    }
    return json_print_compact(reply.get());
}

void not_found(httplib::Response &res, const char *what) {
    res.status = 404;
    res.set_content(std::string("{\"error\":\"") + what + "\"}", "application/json");
}

} // namespace

FAKENET_WORLD("loaders", [](FakeNet &n) {
    data();
    n.serve("/fabric_meta/v2/versions/loader", json_print_compact(data().fabric_loaders.get()));
    n.server.Get(R"(/fabric_meta/v2/versions/loader/([^/]+))",
                 [](const httplib::Request &req, httplib::Response &res) {
                     res.set_content(meta_for_mc(data().fabric_loaders.get(), req.matches[1]),
                                     "application/json");
                 });
    n.server.Get(R"(/quilt_meta/v3/versions/loader/([^/]+))",
                 [](const httplib::Request &req, httplib::Response &res) {
                     res.set_content(meta_for_mc(data().quilt_loaders.get(), req.matches[1]),
                                     "application/json");
                 });
    n.serve("/forge_maven/net/minecraftforge/forge/maven-metadata.xml", data().forge_xml);
    n.serve("/forge_files/net/minecraftforge/forge/promotions_slim.json",
            json_print(data().forge_promos.get()));
    n.serve("/neoforge_maven/releases/net/neoforged/neoforge/maven-metadata.xml",
            data().neoforge_xml);
    n.serve("/neoforge_maven/releases/net/neoforged/forge/maven-metadata.xml",
            data().neoforge_forge_xml);

    n.server.Get("/service/v1/minecraft/versions",
                 [&n](const httplib::Request &req, httplib::Response &res) {
                     if (n.answer_override(req, res)) return;
                     res.set_content(world_mojang_manifest(n), "application/json");
                 });
    n.server.Get(R"(/service/v1/minecraft/version/(.+))",
                 [&n](const httplib::Request &req, httplib::Response &res) {
                     if (n.answer_override(req, res)) return;
                     std::string doc = world_mojang_version(n, req.matches[1]);
                     if (doc.empty()) return not_found(res, "version not found");
                     res.set_content(doc, "application/json");
                 });
    n.server.Get(R"(/service/v1/loaders/([a-z]+))", [&n](const httplib::Request &req,
                                                         httplib::Response &res) {
        if (n.answer_override(req, res)) return;
        std::string reply = service_loader_versions(req.matches[1], req.get_param_value("mc"));
        if (reply.empty()) return not_found(res, "unknown loader");
        res.set_content(reply, "application/json");
    });
});
