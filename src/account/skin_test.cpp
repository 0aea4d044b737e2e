// Skin lookup: real session profiles, Base64 padding, profiles without a
// skin, and the whole way through the fake server to the image.
#include "account/skin.h"

#include "account/account_test_env.h"
#include "base/fs.h"
#include "net/http.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

namespace {

std::string b64(const std::string &s) {
    std::string out(4 * ((s.size() + 2) / 3) + 1, '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char *>(out.data()),
                            reinterpret_cast<const unsigned char *>(s.data()),
                            static_cast<int>(s.size()));
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string profile_with(const std::vector<std::string> &values) {
    std::string props;
    for (const std::string &v : values) {
        if (!props.empty()) props += ",";
        props += R"({"name":"textures","value":")" + v + R"("})";
    }
    return R"({"id":"x","name":"y","properties":[)" + props + "]}";
}

TEST(Skin, Base64PaddingLeavesNoTrailingBytes) {
    for (std::string text : {"{}", "{\"a\":1}", "{\"ab\":1}", "{\"abc\":1}"}) {
        SCOPED_TRACE(b64(text));
        EXPECT_EQ(base64_decode(b64(text)), text);
    }
    EXPECT_FALSE(base64_decode("not*base64"));
}

TEST(Skin, UrlFromProfile) {
    std::string skin = R"({"textures":{"SKIN":{"url":"http://t.example/s"}}})";
    std::string two_pad = skin + " ";
    while (two_pad.size() % 3 != 1)
        two_pad += " ";
    ASSERT_EQ(b64(two_pad).substr(b64(two_pad).size() - 2), "==");
    struct Case {
        const char *what;
        std::string profile;
        std::optional<std::string> url;
    } cases[] = {
        {"slim skin",
         *fs_read_all(fakenet_corpus("yggdrasil/session-profile.mojang.7mi_chan-slim.json")),
         "http://textures.minecraft.net/texture/"
         "43d5bc101a0bede053bed7ca8f92f66832f92e960331d20ff529cb16dc6669d7"},
        {"skin and cape",
         *fs_read_all(
             fakenet_corpus("yggdrasil/session-profile.mojang.Thinkofdeath-skin+cape.json")),
         "http://textures.minecraft.net/texture/"
         "74d1e08b0bb7e9f590af27758125bbed1778ac6cef729aedfcb9613e9911ae75"},
        {"value padded with ==", profile_with({b64(two_pad)}), "http://t.example/s"},
        {"last textures property wins",
         profile_with({b64(R"({"textures":{"SKIN":{"url":"first"}}})"), b64(skin)}),
         "http://t.example/s"},
        {"cape only", profile_with({b64(R"({"textures":{"CAPE":{"url":"c"}}})")}), std::nullopt},
        {"no properties", R"({"id":"x","name":"y"})", std::nullopt},
        {"value not Base64", profile_with({"%%%%"}), std::nullopt},
        {"other property", R"({"properties":[{"name":"other","value":")" + b64(skin) + "\"}]}",
         std::nullopt},
        {"not JSON", "<html>", std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(skin_url_from_profile(c.profile), c.url);
    }
}

TEST(Skin, UrlFromTheServerLeadsToTheImage) {
    AccountTestEnv env;
    std::optional<std::string> url = skin_url(k_auth_uuid);
    ASSERT_TRUE(url);
    long status = 0;
    std::optional<std::string> png = web_get(*url, {}, &status);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(png, fs_read_all(auth_world_skin_path()));
    // An unknown profile answers 204 without a body.
    EXPECT_FALSE(skin_url("00000000000000000000000000000000"));
    setenv("ZYL_AUTH_SERVER", fakenet_closed_url().c_str(), 1);
    EXPECT_FALSE(skin_url(k_auth_uuid));
    unsetenv("ZYL_AUTH_SERVER");
}

} // namespace
