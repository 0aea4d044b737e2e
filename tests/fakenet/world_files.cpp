// Generic routes for the network module's own tests: an echo of what the
// client sent, canned service answers with a chosen status, and redirects.
#include "fakenet/fakenet.h"

#include <cjson/cJSON.h>

static std::string echo_json(const httplib::Request &req) {
    cJSON *o = cJSON_CreateObject();
    cJSON_AddStringToObject(o, "method", req.method.c_str());
    cJSON_AddStringToObject(o, "body", req.body.c_str());
    cJSON_AddStringToObject(o, "user_agent", req.get_header_value("User-Agent").c_str());
    cJSON_AddStringToObject(o, "content_type", req.get_header_value("Content-Type").c_str());
    cJSON_AddStringToObject(o, "x_test", req.get_header_value("X-Test").c_str());
    char *text = cJSON_PrintUnformatted(o);
    std::string out = text;
    cJSON_free(text);
    cJSON_Delete(o);
    return out;
}

FAKENET_WORLD("files", [](FakeNet &n) {
    // "/<endpoint>/echo": the request as JSON, for any endpoint.
    auto echo = [](const httplib::Request &req, httplib::Response &res) {
        res.set_content(echo_json(req), "application/json");
    };
    n.server.Get(R"(/[a-z_]+/echo)", echo);
    n.server.Post(R"(/[a-z_]+/echo)", echo);
    // "/<endpoint>/status/<code>?body=...": that status with that body.
    auto status = [](const httplib::Request &req, httplib::Response &res) {
        res.status = std::stoi(req.matches[1]);
        res.set_content(req.get_param_value("body"), "application/json");
    };
    n.server.Get(R"(/[a-z_]+/status/(\d+))", status);
    n.server.Post(R"(/[a-z_]+/status/(\d+))", status);
    // The CurseForge batch lookup of a content service mounted at
    // "/service/netcheck" (tests point api_url there): one file per id asked.
    n.server.Post("/service/netcheck/v1/curseforge/files",
                  [](const httplib::Request &req, httplib::Response &res) {
                      cJSON *body = cJSON_Parse(req.body.c_str());
                      cJSON *files = cJSON_CreateArray();
                      cJSON *id;
                      cJSON_ArrayForEach(id, cJSON_GetObjectItem(body, "fileIds")) {
                          cJSON *f = cJSON_CreateObject();
                          cJSON_AddNumberToObject(f, "id", id->valuedouble);
                          cJSON_AddItemToArray(files, f);
                      }
                      cJSON_Delete(body);
                      cJSON *answer = cJSON_CreateObject();
                      cJSON_AddItemToObject(answer, "files", files);
                      char *text = cJSON_PrintUnformatted(answer);
                      res.set_content(text, "application/json");
                      cJSON_free(text);
                      cJSON_Delete(answer);
                  });
    // "/<endpoint>/redirect?to=...": a 302 to any address.
    n.server.Get(R"(/[a-z_]+/redirect)", [](const httplib::Request &req, httplib::Response &res) {
        res.set_redirect(req.get_param_value("to"));
    });
});
