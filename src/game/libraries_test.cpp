// Maven paths, library collection (artifacts, natives, refused paths) and the
// classpath key, on hand-made entries and on real version documents.
#include "game/libraries.h"

#include "base/fs.h"
#include "game/rules.h"

#include "config/datadir.h"
#include "fakenet/paths_env.h"
#include "net/endpoints.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const char *const k_libs = "/data/libraries";

struct LibrariesTest : ::testing::Test {
    ScopedDataPath libraries{&DataPaths::libraries, k_libs};
};

std::string lib(const std::string &rel) {
    return std::string(k_libs) + "/" + rel;
}

TEST(MavenPath, Coordinates) {
    const std::pair<const char *, const char *> cases[] = {
        {"org.ow2.asm:asm:9.5", "org/ow2/asm/asm/9.5/asm-9.5.jar"},
        {"a:b:c:natives-windows", "a/b/c/b-c-natives-windows.jar"},
        {"a:b:c@zip", "a/b/c/b-c.zip"},
        {"a:b:c:cls@zip", "a/b/c/b-c-cls.zip"},
        {"a::b:c", "a/b/c/b-c.jar"}, // empty parts are dropped
        {"a:b:c:d:e:f:g", "a/b/c/b-c-d.jar"},
        {"net.minecraftforge:forge:1.20.1-47.2.0:universal",
         "net/minecraftforge/forge/1.20.1-47.2.0/forge-1.20.1-47.2.0-universal.jar"},
        {"a:b", nullptr},
        {"a", nullptr},
        {"", nullptr},
        // names that would climb out of the libraries folder
        {"a:..:c", nullptr},
        {"a:b:..", nullptr},
        {"..:b:c", nullptr}, // the group's dots make it "//b/..."
        {"/etc:b:c", nullptr},
        {"a:b:c@../../x", nullptr},
        {"a\\b:c:d", nullptr},
    };
    for (const auto &[coord, want] : cases) {
        auto got = maven_path(coord);
        if (want) {
            ASSERT_TRUE(got) << coord;
            EXPECT_EQ(*got, want) << coord;
        } else {
            EXPECT_FALSE(got) << coord << " -> " << got.value_or("");
        }
    }
}

TEST_F(LibrariesTest, ArtifactsNativesAndRepositoryBases) {
    JsonPtr libs = json_parse(R"([
      {"name":"org.ow2.asm:asm:9.5","downloads":{"artifact":{"path":"org/ow2/asm/asm/9.5/asm-9.5.jar",
        "url":"https://m/asm-9.5.jar","sha1":"aa","size":122.9}}},
      {"name":"a:nopath:1","downloads":{"artifact":{"url":"https://m/np.jar"}}},
      {"name":"a:present:1","downloads":{"artifact":{"path":"a/present/1/present-1.jar","url":""}}},
      {"name":"net.fabricmc:sponge-mixin:0.12","url":"https://maven.fabricmc.net"},
      {"name":"net.fabricmc:tiny:0.8","url":"https://maven.fabricmc.net/","sha1":"bb","size":7},
      {"name":"com.mojang:plain:1"},
      {"name":"tv.twitch:twitch-platform:5.16",
       "natives":{"windows":"natives-windows-${arch}","linux":"natives-linux"},
       "url":"https://repo/"},
      {"name":"org.lwjgl:lwjgl-platform:2.9.1","natives":{"windows":"natives-windows","linux":"natives-linux"},
       "downloads":{"classifiers":{
         "natives-windows":{"path":"org/lwjgl/lwjgl-platform/2.9.1/w.jar","url":"https://m/w.jar","sha1":"cc","size":3},
         "natives-linux":{"path":"org/lwjgl/lwjgl-platform/2.9.1/l.jar","url":"https://m/l.jar","sha1":"dd","size":4}}}},
      {"name":"only:osx:1","rules":[{"action":"allow","os":{"name":"osx"}}]},
      {"name":"x:y"},
      {"noname":true}
    ])");
    DownloadList dl;
    StrList cp, nat;
    libraries_collect(libs.get(), &dl, &cp, &nat, platform_windows());

    EXPECT_EQ(cp, (StrList{lib("org/ow2/asm/asm/9.5/asm-9.5.jar"), lib("a/nopath/1/nopath-1.jar"),
                           lib("a/present/1/present-1.jar"),
                           lib("net/fabricmc/sponge-mixin/0.12/sponge-mixin-0.12.jar"),
                           lib("net/fabricmc/tiny/0.8/tiny-0.8.jar"),
                           lib("com/mojang/plain/1/plain-1.jar"),
                           lib("tv/twitch/twitch-platform/5.16/twitch-platform-5.16.jar")}));
    EXPECT_EQ(
        nat,
        (StrList{lib("tv/twitch/twitch-platform/5.16/twitch-platform-5.16-natives-windows-64.jar"),
                 lib("org/lwjgl/lwjgl-platform/2.9.1/w.jar")}));

    std::string mojang = endpoint("libraries");
    auto find = [&](const std::string &path) -> const DownloadItem * {
        for (const DownloadItem &d : dl)
            if (d.path == path) return &d;
        return nullptr;
    };
    const DownloadItem *asm_ = find(lib("org/ow2/asm/asm/9.5/asm-9.5.jar"));
    ASSERT_TRUE(asm_);
    EXPECT_EQ(asm_->url, "https://m/asm-9.5.jar");
    EXPECT_EQ(asm_->sha1, "aa");
    EXPECT_EQ(asm_->size, 122);
    // an empty url keeps the jar on the classpath but out of the downloads
    EXPECT_FALSE(find(lib("a/present/1/present-1.jar")));
    EXPECT_EQ(find(lib("net/fabricmc/sponge-mixin/0.12/sponge-mixin-0.12.jar"))->url,
              "https://maven.fabricmc.net/net/fabricmc/sponge-mixin/0.12/sponge-mixin-0.12.jar");
    const DownloadItem *tiny = find(lib("net/fabricmc/tiny/0.8/tiny-0.8.jar"));
    EXPECT_EQ(tiny->url, "https://maven.fabricmc.net/net/fabricmc/tiny/0.8/tiny-0.8.jar");
    EXPECT_EQ(tiny->sha1, "bb");
    EXPECT_EQ(tiny->size, 7);
    EXPECT_EQ(find(lib("com/mojang/plain/1/plain-1.jar"))->url,
              mojang + "/com/mojang/plain/1/plain-1.jar");
    EXPECT_EQ(find(lib("com/mojang/plain/1/plain-1.jar"))->size, -1);
    // natives without classifiers: the repository base joined directly, no hash
    const DownloadItem *tw =
        find(lib("tv/twitch/twitch-platform/5.16/twitch-platform-5.16-natives-windows-64.jar"));
    ASSERT_TRUE(tw);
    EXPECT_EQ(tw->url, "https://repo/tv/twitch/twitch-platform/5.16/"
                       "twitch-platform-5.16-natives-windows-64.jar");
    EXPECT_EQ(tw->sha1, "");
    EXPECT_EQ(find(lib("org/lwjgl/lwjgl-platform/2.9.1/w.jar"))->sha1, "cc");

    // the same entries on Linux take the linux natives
    StrList nat_linux;
    libraries_collect(libs.get(), nullptr, nullptr, &nat_linux, platform_linux());
    EXPECT_EQ(nat_linux,
              (StrList{lib("tv/twitch/twitch-platform/5.16/twitch-platform-5.16-natives-linux.jar"),
                       lib("org/lwjgl/lwjgl-platform/2.9.1/l.jar")}));
}

TEST_F(LibrariesTest, PathsLeavingTheLibrariesFolderAreRefused) {
    JsonPtr libs = json_parse(R"([
      {"name":"a:b:1","downloads":{"artifact":{"path":"../../.bashrc","url":"https://m/x"}}},
      {"name":"a:c:1","downloads":{"artifact":{"path":"/etc/passwd","url":"https://m/x"}}},
      {"name":"a:..:1","url":"https://m/"},
      {"name":"a:d:1","natives":{"linux":"natives-linux"},"url":"https://m/",
       "downloads":{"classifiers":{"natives-linux":{"path":"a/../../../n.so","url":"https://m/n"}}}},
      {"name":"a:ok:1","url":"https://m/"}
    ])");
    DownloadList dl;
    StrList cp, nat;
    libraries_collect(libs.get(), &dl, &cp, &nat, platform_linux());
    // a:d:1 has only natives ("downloads" without "artifact"), and those are refused
    EXPECT_EQ(cp, (StrList{lib("a/ok/1/ok-1.jar")}));
    EXPECT_TRUE(nat.empty());
    for (const DownloadItem &d : dl)
        EXPECT_EQ(d.path.find(".."), std::string::npos) << d.path;
    EXPECT_EQ(dl.size(), 1u);
}

TEST_F(LibrariesTest, ClasspathKeyKeepsTheFirstVersionOfEachLibrary) {
    const std::pair<std::string, std::string> keys[] = {
        {lib("org/ow2/asm/asm/9.5/asm-9.5.jar"), "org/ow2/asm/asm/|.jar"},
        {lib("org/lwjgl/lwjgl/3.3.1/lwjgl-3.3.1-natives-linux.jar"),
         "org/lwjgl/lwjgl/|-natives-linux.jar"},
        {lib("a/b/c.jar"), lib("a/b/c.jar")}, // too few segments
        {"/elsewhere/org/x/y/1/y-1.jar", "/elsewhere/org/x/y/1/y-1.jar"},
        {lib("a/b/1/other-name.jar"), lib("a/b/1/other-name.jar")},
    };
    for (const auto &[path, key] : keys)
        EXPECT_EQ(classpath_key(path, k_libs), key) << path;

    StrList cp = {lib("org/ow2/asm/asm/9.5/asm-9.5.jar"), // the loader's copy
                  lib("org/lwjgl/lwjgl/3.3.1/lwjgl-3.3.1.jar"),
                  lib("org/ow2/asm/asm/9.3/asm-9.3.jar"), // the game's copy
                  lib("org/lwjgl/lwjgl/3.3.1/lwjgl-3.3.1-natives-linux.jar"),
                  lib("org/lwjgl/lwjgl/3.3.1/lwjgl-3.3.1.jar")};
    Classpath w = classpath_build(cp, "/data/versions/1.20.1/1.20.1.jar", platform_windows());
    StrList want = {lib("org/ow2/asm/asm/9.5/asm-9.5.jar"),
                    lib("org/lwjgl/lwjgl/3.3.1/lwjgl-3.3.1.jar"),
                    lib("org/lwjgl/lwjgl/3.3.1/lwjgl-3.3.1-natives-linux.jar"),
                    "/data/versions/1.20.1/1.20.1.jar"};
    EXPECT_EQ(w.entries, want);
    std::string joined;
    for (const std::string &e : want)
        joined += (joined.empty() ? "" : ";") + e;
    EXPECT_EQ(w.joined, joined);
    Classpath l = classpath_build(cp, "/data/versions/1.20.1/1.20.1.jar", platform_linux());
    std::replace(joined.begin(), joined.end(), ';', ':');
    EXPECT_EQ(l.joined, joined);

    // a client jar already on the list is not added twice
    Classpath again = classpath_build({"/data/versions/x/x.jar"}, "/data/versions/x/x.jar");
    EXPECT_EQ(again.entries, StrList{"/data/versions/x/x.jar"});
}

TEST_F(LibrariesTest, RealVersionDocuments) {
    struct Case {
        const char *file;
        const Platform *p;
        size_t natives;
        const char *native_suffix;
    };
    // 1.20.1: natives are separate libraries guarded by os rules (none in "natives").
    // 1.7.10: a "natives" map, twitch's windows classifier with ${arch}.
    const Case cases[] = {
        {"mojang/versions/1.20.1.json", &platform_windows(), 0, nullptr},
        {"mojang/versions/1.20.1.json", &platform_linux(), 0, nullptr},
        {"mojang/versions/1.7.10.json", &platform_windows(), 4, "natives-windows-64.jar"},
        {"mojang/versions/1.7.10.json", &platform_linux(), 2, "natives-linux.jar"},
    };
    for (const Case &c : cases) {
        JsonPtr doc = json_read_file(std::string(ZYL_TEST_CORPUS_DIR) + "/" + c.file);
        ASSERT_TRUE(doc) << c.file;
        DownloadList dl;
        StrList cp, nat;
        libraries_collect(json_get(doc.get(), "libraries"), &dl, &cp, &nat, *c.p);
        EXPECT_FALSE(cp.empty()) << c.file;
        EXPECT_EQ(nat.size(), c.natives) << c.file << " " << c.p->os_name;
        if (c.native_suffix) {
            bool found = false;
            for (const std::string &n : nat)
                found = found || str_ends_with(n, c.native_suffix);
            EXPECT_TRUE(found) << c.file;
        }
        for (const DownloadItem &d : dl) {
            EXPECT_FALSE(d.sha1.empty()) << d.url; // Mojang documents hash every file
            EXPECT_TRUE(str_starts_with(d.path, k_libs)) << d.path;
        }
        for (const std::string &e : cp) {
            // another system's natives jars never reach the classpath
            const char *other = c.p->os_name == "linux" ? "natives-windows" : "natives-linux";
            EXPECT_EQ(e.find(other), std::string::npos) << e;
        }
    }
}

} // namespace

namespace {

// Every real version document, rd-era to the newest scheme, yields sane lists
// on both systems: paths inside the libraries folder, ${arch} filled in.
TEST_F(LibrariesTest, EveryCorpusVersionDocument) {
    std::string dir = std::string(ZYL_TEST_CORPUS_DIR) + "/mojang/versions";
    auto files = dir_list(dir);
    ASSERT_TRUE(files);
    ASSERT_GT(files->size(), 20u);
    for (const std::string &file : *files) {
        JsonPtr doc = json_read_file(dir + "/" + file);
        ASSERT_TRUE(doc) << file;
        for (const Platform *p : {&platform_linux(), &platform_windows()}) {
            DownloadList dl;
            StrList cp, nat;
            libraries_collect(json_get(doc.get(), "libraries"), &dl, &cp, &nat, *p);
            EXPECT_EQ(dl.size(), cp.size() + nat.size()) << file; // every jar has a source
            for (const DownloadItem &d : dl) {
                EXPECT_TRUE(str_starts_with(d.path, std::string(k_libs) + "/")) << d.path;
                EXPECT_EQ(d.path.find("${"), std::string::npos) << d.path;
                EXPECT_EQ(d.path.find("/../"), std::string::npos) << d.path;
            }
            StrList args;
            const cJSON *arguments = json_get(doc.get(), "arguments");
            arguments_expand(json_get(arguments, "game"), {}, args, *p);
            arguments_expand(json_get(arguments, "jvm"), {}, args, *p);
            if (arguments) {
                EXPECT_FALSE(args.empty()) << file;
            }
        }
    }
}

} // namespace
