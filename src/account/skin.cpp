// Skin lookup through the session profile of the authentication server.
#include "account/skin.h"

#include "account/account.h"
#include "base/json.h"
#include "base/strings.h"
#include "net/http.h"

#include <openssl/evp.h>
#include <vector>

std::optional<std::string> base64_decode(const std::string &text) {
    if (text.empty()) return std::string();
    std::vector<unsigned char> out(text.size() / 4 * 3 + 3);
    int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char *>(text.data()),
                            static_cast<int>(text.size()));
    if (n < 0) return std::nullopt;
    // The block decoder counts padding as zero bytes.
    for (size_t i = text.size(); i > 0 && text[i - 1] == '=' && n > 0; i--)
        n--;
    return std::string(reinterpret_cast<const char *>(out.data()), static_cast<size_t>(n));
}

std::optional<std::string> skin_url_from_profile(const std::string &profile_json) {
    JsonPtr profile = json_parse(profile_json);
    std::optional<std::string> found;
    const cJSON *prop;
    cJSON_ArrayForEach(prop, json_get(profile.get(), "properties")) {
        if (json_str(prop, "name") != "textures") continue;
        std::optional<std::string> value = json_str_opt(prop, "value");
        if (!value) continue;
        std::optional<std::string> decoded = base64_decode(*value);
        if (!decoded) continue;
        JsonPtr textures = json_parse(*decoded);
        const cJSON *skin = json_get(json_get(textures.get(), "textures"), "SKIN");
        if (std::optional<std::string> url = json_str_opt(skin, "url")) found = url;
    }
    return found;
}

std::optional<std::string> skin_url(const std::string &uuid) {
    long status = 0;
    std::optional<std::string> body = web_get(
        format_alloc("%s/session/minecraft/profile/%s", auth_server_base().c_str(), uuid.c_str()),
        {}, &status);
    if (status != 200 || !body || body->empty()) return std::nullopt;
    return skin_url_from_profile(*body);
}
