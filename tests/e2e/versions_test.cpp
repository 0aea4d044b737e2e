// "zyl list", "zyl installed" and "zyl loaders" against the fake network, with
// the content service up and unreachable.
#include "base/fs.h"
#include "base/strings.h"
#include "fakenet/fakenet.h"
#include "fakenet/run_zyl.h"

#include <gtest/gtest.h>

namespace {

struct VersionsCli : ::testing::Test {
    FakeNetPtr net = fakenet_start();
    TempDir data;

    ZylRun zyl(std::vector<std::string> args, const std::vector<std::string> &down = {}) {
        args.insert(args.begin(), {"--data-dir", data.path});
        return run_zyl(args, {{"ZYL_ENDPOINTS", net->endpoints_env(down)}, {"ZYL_API", ""}});
    }
};

StrList lines(const std::string &text) {
    StrList out = str_split(text, '\n');
    if (!out.empty() && out.back().empty()) out.pop_back();
    return out;
}

// "Name (N): v1 v2 ..." split into name, count, versions and whether it ends in "...".
struct LoaderLine {
    std::string name;
    int count = -1;
    StrList versions;
    bool more = false;
};

LoaderLine parse_line(const std::string &line) {
    LoaderLine l;
    size_t open = line.find(" (");
    size_t close = line.find("):");
    if (open == std::string::npos || close == std::string::npos) return l;
    l.name = line.substr(0, open);
    l.count = std::stoi(line.substr(open + 2, close - open - 2));
    for (const std::string &w : str_split(line.substr(close + 2), ' ')) {
        if (w.empty()) continue;
        if (w == "...")
            l.more = true;
        else
            l.versions.push_back(w);
    }
    return l;
}

TEST_F(VersionsCli, ListByFilterWithAndWithoutTheService) {
    struct Case {
        std::vector<std::string> args;
        const char *out;
    };
    const Case cases[] = {
        {{"list"}, "1.20.1\n1.6.4\n"},
        {{"list", "--snapshots"}, "1.20.1\n1.14 Pre-Release 1\n1.6.4\n"},
        {{"list", "--old"}, "1.20.1\n1.6.4\nb1.7.3\n"},
        {{"list", "--all"}, "1.20.1\n1.14 Pre-Release 1\n1.6.4\nb1.7.3\n"},
    };
    for (const auto &down : {std::vector<std::string>{}, std::vector<std::string>{"service"}}) {
        for (const Case &c : cases) {
            ZylRun r = zyl(c.args, down);
            EXPECT_EQ(r.code, 0) << r.err;
            EXPECT_EQ(r.out, c.out) << c.args.back() << (down.empty() ? "" : " (service down)");
        }
    }
}

TEST_F(VersionsCli, ListWithNothingReachableFailsQuietlyOnStandardOutput) {
    ZylRun r = zyl({"list", "--all"}, {"service", "piston_meta"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    // a cached manifest keeps it working offline
    ASSERT_EQ(zyl({"list"}).code, 0);
    r = zyl({"list", "--all"}, {"service", "piston_meta"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(lines(r.out).size(), 4u);
}

TEST_F(VersionsCli, InstalledProfiles) {
    ZylRun r = zyl({"installed"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
    std::string versions = data.path + "/versions";
    fs_write_atomic(versions + "/1.20.1/1.20.1.json", "{}");
    fs_write_atomic(versions + "/.partial/.partial.json", "{}");
    fs_mkdirs(versions + "/no-document");
    r = zyl({"installed"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "1.20.1\n");
}

TEST_F(VersionsCli, LoadersForOneLoaderListEveryVersion) {
    for (const auto &down : {std::vector<std::string>{}, std::vector<std::string>{"service"}}) {
        ZylRun r = zyl({"loaders", "fabric", "1.20.1"}, down);
        EXPECT_EQ(r.code, 0) << r.err;
        StrList out = lines(r.out);
        ASSERT_EQ(out.size(), 1u) << r.out;
        LoaderLine l = parse_line(out[0]);
        EXPECT_EQ(l.name, "Fabric");
        EXPECT_GT(l.count, 8);
        EXPECT_EQ(static_cast<int>(l.versions.size()), l.count);
        EXPECT_FALSE(l.more);
        EXPECT_EQ(l.versions[0], "0.19.3");
    }
    // the loader may also come from --loader
    ZylRun r = zyl({"loaders", "1.20.4", "--loader", "NeoForge"});
    LoaderLine l = parse_line(lines(r.out).at(0));
    EXPECT_EQ(l.name, "NeoForge");
    EXPECT_EQ(static_cast<int>(l.versions.size()), l.count);
    EXPECT_TRUE(str_starts_with(l.versions.at(0), "20.4."));
}

TEST_F(VersionsCli, LoadersForAGameVersionShowEightOfEach) {
    for (const auto &down : {std::vector<std::string>{}, std::vector<std::string>{"service"}}) {
        ZylRun r = zyl({"loaders", "1.20.1"}, down);
        EXPECT_EQ(r.code, 0);
        StrList out = lines(r.out);
        ASSERT_EQ(out.size(), 4u) << r.out;
        const char *names[] = {"Fabric", "Quilt", "Forge", "NeoForge"};
        for (int i = 0; i < 4; i++) {
            LoaderLine l = parse_line(out[i]);
            EXPECT_EQ(l.name, names[i]);
            EXPECT_EQ(l.versions.size(), std::min<size_t>(8, l.count)) << out[i];
            EXPECT_EQ(l.more, l.count > 8) << out[i];
        }
        EXPECT_EQ(out[3], "NeoForge (0):");
        LoaderLine forge = parse_line(out[2]);
        if (down.empty()) {
            EXPECT_EQ(forge.versions.at(0), "47.4.10"); // recommended
            EXPECT_EQ(forge.versions.at(1), "47.4.23"); // latest
        } else {
            EXPECT_EQ(forge.versions.at(0), "47.4.23"); // Maven has no recommendation
        }
    }
}

TEST_F(VersionsCli, LoadersUsage) {
    ZylRun r = zyl({"loaders"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.out.find("Использование:"), std::string::npos);
    // "neo" is a loader word, but the filter compares it with the display names
    r = zyl({"loaders", "neo", "1.20.4"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
    // a word that is no loader is taken as the game version
    r = zyl({"loaders", "1.6.4", "extra"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(lines(r.out).size(), 4u);
}

} // namespace
