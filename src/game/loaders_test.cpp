// Loader names and the version order of every loader, from service replies,
// real metadata and the fake network's service and public routes.
#include "game/loaders.h"

#include "base/fs.h"
#include "config/datadir.h"
#include "fakenet/net_test_env.h"

#include <gtest/gtest.h>

namespace {

StrList flat_forge_maven() {
    JsonPtr by_mc = json_read_file(fakenet_corpus("forge/maven-metadata.json"));
    StrList out;
    const cJSON *mc;
    cJSON_ArrayForEach(mc, by_mc.get()) {
        const cJSON *v;
        cJSON_ArrayForEach(v, mc) out.push_back(v->valuestring);
    }
    return out;
}

StrList neoforge_maven() {
    std::string xml =
        *fs_read_all(fakenet_corpus("neoforge/maven-metadata.net.neoforged.neoforge.xml"));
    StrList out;
    size_t at = 0;
    while ((at = xml.find("<version>", at)) != std::string::npos) {
        size_t end = xml.find("</version>", at);
        out.push_back(xml.substr(at + 9, end - at - 9));
        at = end;
    }
    return out;
}

// Every element without one of the words comes before every element with one.
bool stable_first(const StrList &list, std::initializer_list<const char *> words) {
    bool seen_unstable = false;
    for (const std::string &v : list) {
        bool unstable = false;
        for (const char *w : words)
            unstable = unstable || v.find(w) != std::string::npos;
        if (seen_unstable && !unstable) return false;
        seen_unstable = seen_unstable || unstable;
    }
    return true;
}

bool sorted_desc(const StrList &list) {
    for (size_t i = 1; i < list.size(); i++)
        if (version_compare_desc(list[i - 1], list[i]) > 0) return false;
    return true;
}

TEST(Loaders, NormalizeSpellings) {
    const std::pair<std::optional<std::string>, std::optional<std::string>> cases[] = {
        {std::nullopt, "Vanilla"},    {"", "Vanilla"},
        {"None", "Vanilla"},          {"vanilla", "Vanilla"},
        {"FABRIC", "Fabric"},         {"quilt", "Quilt"},
        {"Forge", "Forge"},           {"neoforge", "NeoForge"},
        {"NEO", "NeoForge"},          {"Neo", "NeoForge"},
        {"liteloader", std::nullopt}, {"neoforged", std::nullopt},
        {" fabric", std::nullopt},
    };
    for (const auto &[in, want] : cases)
        EXPECT_EQ(loader_normalize(in), want) << in.value_or("<none>");
    EXPECT_STREQ(loader_lower_name(loader_kind("NeoForge")), "neoforge");
}

TEST(Loaders, ForgeAndNeoForgeVersionShapes) {
    struct Strip {
        const char *version, *mc, *want;
    };
    const Strip strip[] = {
        {"1.7.10-10.13.4.1614-1.7.10", "1.7.10", "10.13.4.1614"},
        {"1.20.1-47.2.0", "1.20.1", "47.2.0"},
        {"47.2.0", "1.20.1", "47.2.0"},
        {"1.20.1-47.2.0-1.20", "1.20.1", "47.2.0-1.20"},
    };
    for (const Strip &c : strip)
        EXPECT_EQ(forge_strip_mc(c.version, c.mc), c.want) << c.version;

    const std::pair<const char *, const char *> prefix[] = {
        {"1.20.4", "20.4."}, {"1.21", "21.0."}, {"1.21.1", "21.1."},
        {"26.2", "26.2."},   {"26", "26.0."},
    };
    for (const auto &[mc, want] : prefix)
        EXPECT_EQ(neoforge_prefix(mc), want) << mc;
}

TEST(Loaders, ServiceReplyOrdering) {
    struct Case {
        LoaderKind kind;
        const char *reply;
        StrList want;
    };
    const Case cases[] = {
        // recommended, then latest, then the rest newest first without repeats
        {LoaderKind::Forge,
         R"({"versions":["1.20.1-47.1.0","1.20.1-47.3.0","47.2.0","1.20.1-47.10.0","1.20.1-47.2.0-1.20.1",7],
             "promos":{"1.20.1-recommended":"47.2.0","1.20.1-latest":"47.3.0","1.19-latest":"45.0.0"}})",
         {"47.2.0", "47.3.0", "47.10.0", "47.1.0"}},
        {LoaderKind::Forge,
         R"({"versions":["1.20.1-47.1.0","1.20.1-47.10.0"]})",
         {"47.10.0", "47.1.0"}},
        {LoaderKind::Forge,
         R"({"versions":["1.20.1-47.1.0"],"promos":{"1.20.1-latest":"47.1.0"}})",
         {"47.1.0"}},
        // Fabric keeps the reply order; unstable markers go last
        {LoaderKind::Fabric,
         R"({"versions":["0.15.0","0.16.0-beta.1","0.14.0","0.15.0-rc.1",null]})",
         {"0.15.0", "0.14.0", "0.16.0-beta.1", "0.15.0-rc.1"}},
        // Quilt and NeoForge are sorted first
        {LoaderKind::Quilt,
         R"({"versions":["0.19.0","0.20.0-beta.1","0.19.2","0.18.1-pre.1"]})",
         {"0.19.2", "0.19.0", "0.20.0-beta.1", "0.18.1-pre.1"}},
        {LoaderKind::NeoForge,
         R"({"versions":["20.4.9","20.4.10-beta","20.4.237","20.4.1-alpha"]})",
         {"20.4.237", "20.4.9", "20.4.10-beta", "20.4.1-alpha"}},
        {LoaderKind::Fabric, R"({"versions":[]})", {}},
    };
    for (const Case &c : cases) {
        JsonPtr reply = json_parse(c.reply);
        ASSERT_TRUE(reply) << c.reply;
        StrList out;
        loader_order_service(c.kind, reply.get(), "1.20.1", out);
        EXPECT_EQ(out, c.want) << c.reply;
    }
    // The promoted builds are named for the version list's labels.
    LoaderPromos promos;
    StrList out;
    loader_order_service(LoaderKind::Forge, json_parse(cases[0].reply).get(), "1.20.1", out,
                         &promos);
    EXPECT_EQ(promos.recommended, "47.2.0");
    EXPECT_EQ(promos.latest, "47.3.0");
}

TEST(Loaders, PublicMetadataOrderingOnRealData) {
    // Fabric: the entry marked stable first, then the others in meta order.
    JsonPtr fabric = json_read_file(fakenet_corpus("fabric/meta-v2.versions.loader.1.19.2.json"));
    StrList f;
    loader_order_meta(fabric.get(), f);
    ASSERT_EQ(f.size(), 2u);
    JsonPtr shaped = json_parse(R"([
        {"loader":{"version":"0.16.0-beta.2","stable":true}},
        {"loader":{"version":"0.15.1","stable":false}},
        {"loader":{"version":"0.15.0"}},
        {"loader":{"version":"0.14.0-pre.1"}},
        {"intermediary":{}}])");
    StrList s;
    loader_order_meta(shaped.get(), s);
    EXPECT_EQ(s, (StrList{"0.15.0", "0.16.0-beta.2", "0.15.1", "0.14.0-pre.1"}));

    StrList maven = flat_forge_maven();
    StrList forge;
    loader_order_forge_maven(maven, "1.7.10", forge);
    ASSERT_FALSE(forge.empty());
    EXPECT_EQ(forge.front(), "10.13.4.1614");
    for (const std::string &v : forge)
        EXPECT_EQ(v.find("1.7.10"), std::string::npos) << v;
    StrList forge20;
    loader_order_forge_maven(maven, "1.20.1", forge20);
    EXPECT_TRUE(sorted_desc(forge20));
    for (const std::string &v : forge20)
        EXPECT_TRUE(str_starts_with(v, "47.")) << v;

    StrList neo = neoforge_maven();
    struct NeoCase {
        const char *mc, *prefix;
    };
    for (const NeoCase &c : {NeoCase{"1.20.4", "20.4."}, NeoCase{"1.21", "21.0."}}) {
        StrList out;
        loader_order_neoforge_maven(neo, c.mc, out);
        ASSERT_FALSE(out.empty()) << c.mc;
        for (const std::string &v : out)
            EXPECT_TRUE(str_starts_with(v, c.prefix)) << v;
        EXPECT_TRUE(stable_first(out, {"beta"})) << c.mc;
    }
    StrList none;
    loader_order_neoforge_maven(neo, "1.20.1", none);
    EXPECT_TRUE(none.empty());
}

struct LoaderNetTest : ::testing::Test {
    explicit LoaderNetTest(const std::vector<std::string> &down = {}) : env(down) {
        datapaths_set(env.tmp.path);
    }
    int public_hits() {
        return env.net->hits("/fabric_meta/v2/versions/loader/1.20.1") +
               env.net->hits("/quilt_meta/v3/versions/loader/1.20.1") +
               env.net->hits("/forge_maven/net/minecraftforge/forge/maven-metadata.xml") +
               env.net->hits("/neoforge_maven/releases/net/neoforged/neoforge/maven-metadata.xml") +
               env.net->hits("/service/v1/download");
    }
    NetTestEnv env;
};

struct LoaderDirectTest : LoaderNetTest {
    LoaderDirectTest() : LoaderNetTest({"service"}) {}
};

TEST_F(LoaderNetTest, ServiceAnswersFirst) {
    StrList forge, fabric, quilt, neo;
    loader_versions("forge", "1.20.1", forge);
    loader_versions("Fabric", "1.20.1", fabric);
    loader_versions("quilt", "1.20.1", quilt);
    loader_versions("neo", "1.20.4", neo);
    EXPECT_EQ(public_hits(), 0);
    ASSERT_GE(forge.size(), 3u);
    EXPECT_EQ(forge[0], "47.4.10"); // recommended
    EXPECT_EQ(forge[1], "47.4.23"); // latest
    ASSERT_FALSE(fabric.empty());
    EXPECT_EQ(fabric[0], "0.19.3");
    EXPECT_TRUE(stable_first(quilt, {"beta", "alpha", "pre", "rc"}));
    ASSERT_FALSE(neo.empty());
    EXPECT_TRUE(str_starts_with(neo[0], "20.4."));
}

TEST_F(LoaderNetTest, EmptyServiceListDecidesAndNonLoadersAskNobody) {
    env.net->serve("/service/v1/loaders/fabric", R"({"versions":[]})");
    StrList out;
    loader_versions("fabric", "1.20.1", out);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(public_hits(), 0);

    for (const char *name : {"vanilla", "none", "liteloader"})
        loader_versions(name, "1.20.1", out);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(env.net->hits("/service/v1/loaders/vanilla") +
                  env.net->hits("/service/v1/loaders/none") +
                  env.net->hits("/service/v1/loaders/liteloader"),
              0);
}

TEST_F(LoaderNetTest, ReplyWithoutVersionsFallsBackToThePublicSource) {
    env.net->serve("/service/v1/loaders/quilt", R"({"error":"later"})");
    StrList out;
    loader_versions("quilt", "1.20.1", out);
    EXPECT_FALSE(out.empty());
    EXPECT_GT(public_hits(), 0);
}

TEST_F(LoaderDirectTest, PublicSourcesWhenTheServiceIsDown) {
    StrList forge, fabric, quilt, neo, neo121, none;
    loader_versions("forge", "1.20.1", forge);
    loader_versions("fabric", "1.20.1", fabric);
    loader_versions("quilt", "1.20.1", quilt);
    loader_versions("neoforge", "1.20.4", neo);
    loader_versions("neoforge", "1.21", neo121);
    loader_versions("fabric", "1.6.4", none); // no intermediary for it

    ASSERT_FALSE(forge.empty());
    EXPECT_TRUE(sorted_desc(forge)); // no recommended entry on this route
    EXPECT_EQ(forge[0], "47.4.23");
    ASSERT_GT(fabric.size(), 1u);
    EXPECT_EQ(fabric[0], "0.19.3"); // the one marked stable
    EXPECT_EQ(fabric[1], "0.19.2");
    ASSERT_FALSE(quilt.empty());
    EXPECT_TRUE(stable_first(quilt, {"beta", "pre"}));
    EXPECT_NE(quilt.back().find("beta"), std::string::npos);
    for (const std::string &v : neo)
        EXPECT_TRUE(str_starts_with(v, "20.4.")) << v;
    for (const std::string &v : neo121)
        EXPECT_TRUE(str_starts_with(v, "21.0.")) << v;
    EXPECT_FALSE(neo.empty());
    EXPECT_FALSE(neo121.empty());
    EXPECT_TRUE(none.empty());
}

} // namespace
