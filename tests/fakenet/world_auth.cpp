// A Yggdrasil-style authentication server and authlib-injector's release
// host: sign-in, refresh, validate, invalidate, session profiles with a
// textures property, and the agent jar with its metadata (taken from the
// real release document, addresses rewritten to this server).
#include "fakenet/world_auth.h"

#include "base/digest.h"
#include "base/fs.h"
#include "fakenet/fakenet.h"

#include <cjson/cJSON.h>
#include <map>
#include <mutex>
#include <openssl/evp.h>
#include <vector>
#include <zlib.h>

namespace {

AuthWorld g_world_state;
AuthWorld *g_world = &g_world_state;

struct Tokens {
    std::mutex lock;
    std::map<std::string, std::string> client_of; // access token -> client token
    int issued = 0;
};
Tokens g_tokens;

std::string print(cJSON *o) {
    char *text = cJSON_PrintUnformatted(o);
    std::string out = text;
    cJSON_free(text);
    cJSON_Delete(o);
    return out;
}

void reply_json(httplib::Response &res, int status, cJSON *o) {
    res.status = status;
    res.set_content(print(o), "application/json");
}

void reply_error(httplib::Response &res, int status, const char *error, const char *message) {
    cJSON *o = cJSON_CreateObject();
    cJSON_AddStringToObject(o, "error", error);
    cJSON_AddStringToObject(o, "errorMessage", message);
    reply_json(res, status, o);
}

std::string str_of(const cJSON *o, const char *key) {
    const cJSON *v = cJSON_GetObjectItemCaseSensitive(o, key);
    return cJSON_IsString(v) ? v->valuestring : "";
}

std::string issue_token(const std::string &client) {
    std::lock_guard<std::mutex> lk(g_tokens.lock);
    std::string token = "fake-access-token-" + std::to_string(++g_tokens.issued);
    g_tokens.client_of[token] = client;
    return token;
}

// A token the server still honours for this client.
bool token_valid(const std::string &token, const std::string &client) {
    if (g_world->expired.load()) return false;
    std::lock_guard<std::mutex> lk(g_tokens.lock);
    auto it = g_tokens.client_of.find(token);
    return it != g_tokens.client_of.end() && (client.empty() || it->second == client);
}

void drop_token(const std::string &token) {
    std::lock_guard<std::mutex> lk(g_tokens.lock);
    g_tokens.client_of.erase(token);
}

const char *profile_name() {
    return g_world->hostile_name.load() ? k_auth_hostile_name : k_auth_name;
}

cJSON *profile_object() {
    cJSON *p = cJSON_CreateObject();
    cJSON_AddStringToObject(p, "id", k_auth_id);
    cJSON_AddStringToObject(p, "name", profile_name());
    return p;
}

// A session answer: token, client token and (unless switched off) the profile.
cJSON *session_answer(const std::string &token, const std::string &client) {
    cJSON *o = cJSON_CreateObject();
    if (!g_world->no_token.load()) cJSON_AddStringToObject(o, "accessToken", token.c_str());
    cJSON_AddStringToObject(o, "clientToken", client.c_str());
    cJSON *available = cJSON_AddArrayToObject(o, "availableProfiles");
    if (!g_world->no_profile.load()) {
        cJSON_AddItemToArray(available, profile_object());
        cJSON_AddItemToObject(o, "selectedProfile", profile_object());
    }
    cJSON *user = cJSON_AddObjectToObject(o, "user");
    cJSON_AddStringToObject(user, "id", k_auth_uuid);
    cJSON_AddItemToObject(user, "properties", cJSON_CreateArray());
    return o;
}

void authenticate(const httplib::Request &req, httplib::Response &res) {
    cJSON *body = cJSON_Parse(req.body.c_str());
    std::string login = str_of(body, "username"), password = str_of(body, "password");
    std::string client = str_of(body, "clientToken");
    cJSON *agent = cJSON_GetObjectItemCaseSensitive(body, "agent");
    bool well_formed = req.get_header_value("Content-Type") == "application/json" &&
                       str_of(agent, "name") == "Minecraft" && !client.empty();
    cJSON_Delete(body);
    if (!password.empty()) g_world->passwords_seen++;
    if (!well_formed)
        return reply_error(res, 400, "IllegalArgumentException", "Malformed request.");
    if (g_world->too_many_requests.load())
        return reply_error(res, 429, "TooManyRequestsException",
                           "Too many requests. Try again later.");
    if (g_world->wrong_password.load() || login != k_auth_login || password != k_auth_password)
        return reply_error(res, 403, "ForbiddenOperationException",
                           "Invalid credentials. Invalid username or password.");
    if (g_world->banned.load())
        return reply_error(res, 403, "ForbiddenOperationException",
                           "This account has been Banned from the server.");
    reply_json(res, 200, session_answer(issue_token(client), client));
}

void refuse_token(httplib::Response &res) {
    int status = g_world->expired.load() ? g_world->expired.load() : 403;
    reply_error(res, status, "ForbiddenOperationException", "Invalid token.");
}

void refresh(const httplib::Request &req, httplib::Response &res) {
    cJSON *body = cJSON_Parse(req.body.c_str());
    std::string token = str_of(body, "accessToken"), client = str_of(body, "clientToken");
    cJSON_Delete(body);
    if (!token_valid(token, client)) return refuse_token(res);
    drop_token(token);
    reply_json(res, 200, session_answer(issue_token(client), client));
}

void validate(const httplib::Request &req, httplib::Response &res) {
    cJSON *body = cJSON_Parse(req.body.c_str());
    std::string token = str_of(body, "accessToken"), client = str_of(body, "clientToken");
    cJSON_Delete(body);
    if (!token_valid(token, client)) return refuse_token(res);
    res.status = 204;
}

void invalidate(const httplib::Request &req, httplib::Response &res) {
    cJSON *body = cJSON_Parse(req.body.c_str());
    drop_token(str_of(body, "accessToken"));
    cJSON_Delete(body);
    res.status = 204;
}

std::string base64(const std::string &data) {
    std::vector<unsigned char> out(4 * ((data.size() + 2) / 3) + 1);
    int n = EVP_EncodeBlock(out.data(), reinterpret_cast<const unsigned char *>(data.data()),
                            static_cast<int>(data.size()));
    return std::string(reinterpret_cast<char *>(out.data()), static_cast<size_t>(n));
}

std::string skin_bytes() {
    return fs_read_all(auth_world_skin_path()).value_or("");
}

// The session profile, shaped like the real one: unsigned textures property
// whose Base64 value holds the skin address.
void session_profile(FakeNet &n, const httplib::Request &req, httplib::Response &res) {
    if (req.matches[1] != k_auth_uuid) {
        res.status = 204;
        return;
    }
    cJSON *textures = cJSON_CreateObject();
    cJSON_AddNumberToObject(textures, "timestamp", 1676608548589.0);
    cJSON_AddStringToObject(textures, "profileId", k_auth_uuid);
    cJSON_AddStringToObject(textures, "profileName", profile_name());
    cJSON *skin = cJSON_AddObjectToObject(cJSON_AddObjectToObject(textures, "textures"), "SKIN");
    std::string png = skin_bytes();
    std::string hash = sha256_hex(png.data(), png.size());
    cJSON_AddStringToObject(skin, "url", (n.url("auth") + "/textures/" + hash).c_str());
    cJSON *o = cJSON_CreateObject();
    cJSON_AddStringToObject(o, "id", k_auth_uuid);
    cJSON_AddStringToObject(o, "name", profile_name());
    cJSON *prop = cJSON_CreateObject();
    cJSON_AddStringToObject(prop, "name", "textures");
    cJSON_AddStringToObject(prop, "value", base64(print(textures)).c_str());
    cJSON_AddItemToArray(cJSON_AddArrayToObject(o, "properties"), prop);
    cJSON_AddItemToObject(o, "profileActions", cJSON_CreateArray());
    reply_json(res, 200, o);
}

const char *k_jar_path = "/artifact/55/authlib-injector-1.2.7.jar";

// The real release document with this server's jar address and checksum.
void release_metadata(FakeNet &n, httplib::Response &res) {
    std::string text =
        fs_read_all(fakenet_corpus("authlib-injector/artifact-latest.json")).value_or("{}");
    cJSON *o = cJSON_Parse(text.c_str());
    std::string url = n.url("authlib_injector") + k_jar_path;
    cJSON_ReplaceItemInObjectCaseSensitive(o, "download_url", cJSON_CreateString(url.c_str()));
    const std::string &jar = auth_world_jar();
    std::string sha = sha256_hex(jar.data(), jar.size());
    if (g_world->jar_wrong_checksum.load()) sha = sha256_hex("other", 5);
    cJSON *sums = cJSON_GetObjectItemCaseSensitive(o, "checksums");
    cJSON_ReplaceItemInObjectCaseSensitive(sums, "sha256", cJSON_CreateString(sha.c_str()));
    if (g_world->jar_no_checksums.load()) cJSON_DeleteItemFromObjectCaseSensitive(o, "checksums");
    res.set_content(print(o), "application/json");
}

} // namespace

AuthWorld &auth_world() {
    return *g_world;
}

std::string auth_world_skin_path() {
    return fakenet_corpus("skins/haka.png");
}

// A stored (uncompressed) ZIP of the given entries.
static std::string zip_stored(const std::vector<std::pair<std::string, std::string>> &entries) {
    auto u16 = [](std::string &o, unsigned v) {
        o += static_cast<char>(v & 0xff);
        o += static_cast<char>((v >> 8) & 0xff);
    };
    auto u32 = [&](std::string &o, unsigned long v) {
        u16(o, v & 0xffff);
        u16(o, (v >> 16) & 0xffff);
    };
    std::string out, central;
    for (const auto &[name, data] : entries) {
        unsigned long crc =
            crc32(0, reinterpret_cast<const Bytef *>(data.data()), static_cast<uInt>(data.size()));
        unsigned long offset = out.size();
        u32(out, 0x04034b50);
        for (unsigned v : {20u, 0u, 0u, 0u, 0x21u})
            u16(out, v); // version .. date (1980-01-01)
        u32(out, crc);
        u32(out, data.size());
        u32(out, data.size());
        u16(out, static_cast<unsigned>(name.size()));
        u16(out, 0);
        out += name + data;
        u32(central, 0x02014b50);
        for (unsigned v : {20u, 20u, 0u, 0u, 0u, 0x21u})
            u16(central, v);
        u32(central, crc);
        u32(central, data.size());
        u32(central, data.size());
        u16(central, static_cast<unsigned>(name.size()));
        for (int i = 0; i < 4; i++)
            u16(central, 0); // extra, comment, disk, internal attributes
        u32(central, 0);
        u32(central, offset);
        central += name;
    }
    unsigned long cd_offset = out.size();
    out += central;
    u32(out, 0x06054b50);
    u16(out, 0);
    u16(out, 0);
    u16(out, static_cast<unsigned>(entries.size()));
    u16(out, static_cast<unsigned>(entries.size()));
    u32(out, central.size());
    u32(out, cd_offset);
    u16(out, 0);
    return out;
}

// A working Java agent: the class compiled from tests/java/authagent with a
// manifest that names it (the build's own jar has none).
const std::string &auth_world_jar() {
    static const std::string jar = [] {
        std::string manifest = "Manifest-Version: 1.0\r\nPremain-Class: zyltest.AuthAgent\r\n"
                               "Main-Class: zyltest.AuthAgent\r\n\r\n";
        std::string cls = fs_read_all(std::string(ZYL_TEST_JAVA_DIR) +
                                      "/authagent.classes/zyltest/AuthAgent.class")
                              .value_or("");
        return zip_stored({{"META-INF/MANIFEST.MF", manifest}, {"zyltest/AuthAgent.class", cls}});
    }();
    return jar;
}

FAKENET_WORLD("auth", [](FakeNet &n) {
    // A fresh server starts with default switches and no sessions.
    g_world->wrong_password = false;
    g_world->expired = 0;
    g_world->banned = false;
    g_world->too_many_requests = false;
    g_world->no_profile = false;
    g_world->no_token = false;
    g_world->jar_no_checksums = false;
    g_world->jar_wrong_checksum = false;
    g_world->passwords_seen = 0;
    g_world->hostile_name = false;
    {
        std::lock_guard<std::mutex> lk(g_tokens.lock);
        g_tokens.client_of.clear();
    }
    n.server.Post("/auth/authenticate", authenticate);
    n.server.Post("/auth/refresh", refresh);
    n.server.Post("/auth/validate", validate);
    n.server.Post("/auth/invalidate", invalidate);
    n.server.Get(R"(/auth/session/minecraft/profile/([0-9a-fA-F-]+))",
                 [&n](const httplib::Request &req, httplib::Response &res) {
                     session_profile(n, req, res);
                 });
    n.server.Get(R"(/auth/textures/[0-9a-f]+)",
                 [](const httplib::Request &, httplib::Response &res) {
                     res.set_content(skin_bytes(), "image/png");
                 });
    n.server.Get(
        "/authlib_injector/artifact/latest.json",
        [&n](const httplib::Request &, httplib::Response &res) { release_metadata(n, res); });
    n.server.Get(std::string("/authlib_injector") + k_jar_path,
                 [](const httplib::Request &, httplib::Response &res) {
                     res.set_content(auth_world_jar(), "application/java-archive");
                 });
});
