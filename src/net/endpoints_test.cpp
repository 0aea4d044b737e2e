// Endpoint table: defaults, the ZYL_ENDPOINTS override and the Mojang host test.
#include "net/endpoints.h"

#include "base/ui.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_seen;

// Sets ZYL_ENDPOINTS (or clears it), reloads and returns the messages shown.
std::vector<std::string> reload_with(const char *value) {
    UiHooks saved = ui_hooks;
    g_seen.clear();
    ui_hooks.message = [](const char *t) { g_seen.push_back(t); };
    if (value)
        setenv("ZYL_ENDPOINTS", value, 1);
    else
        unsetenv("ZYL_ENDPOINTS");
    endpoints_reload();
    ui_hooks = saved;
    return g_seen;
}

const char *k_names[] = {"piston_meta",
                         "piston_data",
                         "launcher_meta",
                         "launcher",
                         "libraries",
                         "resources",
                         "fabric_meta",
                         "quilt_meta",
                         "forge_maven",
                         "forge_files",
                         "neoforge_maven",
                         "adoptium",
                         "modrinth_api",
                         "modrinth_web",
                         "curseforge_api",
                         "curseforge_web",
                         "curseforge_console",
                         "authlib_injector",
                         "modrinth_cdn",
                         "github",
                         "github_raw",
                         "gitlab",
                         "service",
                         "auth",
                         "web"};

TEST(Endpoints, EveryNameHasADefault) {
    reload_with(nullptr);
    for (const char *n : k_names) {
        EXPECT_FALSE(endpoint(n).empty()) << n;
        EXPECT_NE(endpoint(n).back(), '/') << n;
    }
    EXPECT_EQ(endpoint("nonexistent"), "");
    // The maker's own services default to a reserved domain.
    EXPECT_NE(endpoint("service").find(".example"), std::string::npos);
    EXPECT_NE(endpoint("auth").find(".example"), std::string::npos);
}

TEST(Endpoints, OverrideTrimsAndReportsUnknownNamesOnce) {
    auto msgs =
        reload_with(" libraries = http://127.0.0.1:9/lib// ,bogus=http://x,,service=http://s");
    EXPECT_EQ(endpoint("libraries"), "http://127.0.0.1:9/lib");
    EXPECT_EQ(endpoint("service"), "http://s");
    EXPECT_EQ(endpoint("resources"), "https://resources.download.minecraft.net");
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_NE(msgs[0].find("bogus"), std::string::npos);
    // An item without "=" is not a name either.
    msgs = reload_with("libraries");
    EXPECT_EQ(msgs.size(), 1u);
    EXPECT_EQ(endpoint("libraries"), "https://libraries.minecraft.net");
    reload_with(nullptr);
}

TEST(Endpoints, MojangHostIsOneOfTheSixBasesFollowedBySlash) {
    reload_with("resources=http://127.0.0.1:5/resources");
    struct Case {
        std::string url;
        bool want;
    } cases[] = {
        {"https://piston-meta.mojang.com/mc/game/version_manifest_v2.json", true},
        {"https://piston-data.mojang.com/v1/objects/abc/client.jar", true},
        {"https://launchermeta.mojang.com/v1/packages/x.json", true},
        {"https://launcher.mojang.com/v1/objects/x/client.jar", true},
        {"https://libraries.minecraft.net/org/lwjgl/lwjgl.jar", true},
        {"http://127.0.0.1:5/resources/ab/abcdef", true},
        {"http://libraries.minecraft.net/org/x.jar", true},
        // The default is replaced by the override.
        {"https://resources.download.minecraft.net/ab/abcdef", false},
        // A longer host or a bare base is not the host.
        {"https://libraries.minecraft.net.evil.test/x.jar", false},
        {"https://libraries.minecraft.net", false},
        {"http://127.0.0.1:5/resourcesX/ab", false},
        {"https://maven.fabricmc.net/net/fabricmc/x.jar", false},
        {"", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(is_mojang_host(c.url), c.want) << c.url;
    reload_with(nullptr);
}

// The file hosts of a pack: an address under one of the named bases, over
// http or https; another host, port, path or a user name in front is not.
TEST(Endpoints, UrlUnderNamedBases) {
    reload_with("github=http://127.0.0.1:5/github");
    const std::vector<const char *> names = {"modrinth_cdn", "github"};
    struct Case {
        std::string url;
        bool want;
    } cases[] = {
        {"https://cdn.modrinth.com/data/AANobbMI/versions/x/sodium.jar", true},
        {"http://cdn.modrinth.com/data/x.jar", true},
        {"http://127.0.0.1:5/github/o/r/releases/download/x.jar", true},
        {"https://cdn.modrinth.com", false},
        {"https://cdn.modrinth.com.evil.test/x.jar", false},
        {"https://cdn.modrinth.com@127.0.0.1:22/x.jar", false},
        {"https://cdn.modrinth.com:8443/x.jar", false},
        {"http://127.0.0.1:6/github/x.jar", false},
        {"http://127.0.0.1:5/service/x.jar", false},
        {"https://github.com/o/r/x.jar", false}, // replaced by the override
        {"ftp://cdn.modrinth.com/x.jar", false},
        {"", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(endpoint_url_under(c.url, names), c.want) << c.url;
    EXPECT_EQ(url_host("https://user@host.example:8080/p?q"), "user@host.example:8080");
    EXPECT_EQ(url_host("file:///etc/passwd"), "");
    reload_with(nullptr);
}

} // namespace
