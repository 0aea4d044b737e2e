// Newer versions of content-world projects for update tests. See world_update.h.
#include "fakenet/world_update.h"

#include "base/digest.h"
#include "base/json.h"
#include "base/strings.h"
#include "fakenet/world_mojang.h"
#include "net/http.h"

std::string world_update_offer(FakeNet &n, const std::string &source, const std::string &project,
                               const UpdateOffer &offer) {
    std::string bytes =
        world_zip({{"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n\r\n"},
                   {"fabric.mod.json",
                    "{\"id\":\"" + project + "\",\"version\":\"" + offer.version + "\"}"}});
    std::string path = "/cdn/updates/" + project + "/" + offer.version + "/" + offer.filename;
    std::string url = n.base() + "/cdn/updates/" + project + "/" + offer.version + "/" +
                      url_escape(offer.filename);
    n.serve(path, bytes);

    JsonPtr answer(cJSON_CreateObject());
    cJSON *files = cJSON_AddArrayToObject(answer.get(), "files");
    cJSON *f = cJSON_CreateObject();
    cJSON_AddStringToObject(f, "id", ("upd-" + offer.version).c_str());
    cJSON_AddStringToObject(f, "filename", offer.filename.c_str());
    if (offer.forbidden) {
        cJSON_AddStringToObject(f, "manual", (n.url("modrinth_web") + "/mod/" + project).c_str());
    } else {
        cJSON_AddStringToObject(f, "url", url.c_str());
        cJSON_AddStringToObject(f, "proxied", ("/v1/download?url=" + url_escape(url)).c_str());
        cJSON_AddStringToObject(f, "sha1", sha1_hex(bytes.data(), bytes.size()).c_str());
    }
    cJSON_AddStringToObject(f, "version", offer.version.c_str());
    cJSON_AddStringToObject(f, "channel", offer.channel.c_str());
    cJSON *mc = cJSON_AddArrayToObject(f, "mc");
    cJSON_AddItemToArray(mc, cJSON_CreateString(offer.mc.c_str()));
    cJSON *loaders = cJSON_AddArrayToObject(f, "loaders");
    cJSON_AddItemToArray(loaders, cJSON_CreateString(offer.loader.c_str()));
    cJSON *deps = cJSON_AddArrayToObject(f, "dependencies");
    for (const std::string &r : offer.required) {
        cJSON *d = cJSON_CreateObject();
        cJSON_AddStringToObject(d, "type", "required");
        cJSON_AddStringToObject(d, "source", r.substr(0, r.find(':')).c_str());
        cJSON_AddStringToObject(d, "id", r.substr(r.find(':') + 1).c_str());
        cJSON_AddItemToArray(deps, d);
    }
    cJSON_AddItemToArray(files, f);
    n.serve("/service/v1/" + source + "/" + project + "/files", json_print_compact(answer.get()));
    return bytes;
}

// The same from another process (the interface tests):
//   GET /fakenet/offer?source=<source>&project=<id>&filename=<name>[&version=<v>]
//       [&channel=<release|beta|alpha>][&required=<source>:<id>,...]
FAKENET_WORLD("update offers", [](FakeNet &n) {
    n.server.Get("/fakenet/offer", [&n](const httplib::Request &req, httplib::Response &res) {
        UpdateOffer offer;
        offer.filename = req.get_param_value("filename");
        if (req.has_param("version")) offer.version = req.get_param_value("version");
        if (req.has_param("channel")) offer.channel = req.get_param_value("channel");
        if (req.has_param("required"))
            offer.required = str_split(req.get_param_value("required"), ',');
        std::string source = req.get_param_value("source");
        std::string project = req.get_param_value("project");
        if (offer.filename.empty() || project.empty() ||
            (source != "modrinth" && source != "curseforge")) {
            res.status = 400;
            res.set_content("source=modrinth|curseforge, project and filename\n", "text/plain");
            return;
        }
        world_update_offer(n, source, project, offer);
        res.set_content("ok\n", "text/plain");
    });
});
