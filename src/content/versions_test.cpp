#include "content/versions.h"

#include <gtest/gtest.h>

namespace {

ContentVersion v(const char *id, ContentChannel c = ContentChannel::Release, bool exact = true,
                 const char *sha1 = "") {
    ContentVersion out;
    out.id = id;
    out.version = std::string("v") + id;
    out.filename = std::string(id) + ".jar";
    out.channel = c;
    out.exact = exact;
    out.sha1 = sha1;
    return out;
}

const ContentChannel B = ContentChannel::Beta, A = ContentChannel::Alpha;

} // namespace

TEST(Versions, ChooseTakesThePickedFileElseTheNewestRelease) {
    struct Case {
        const char *what;
        std::vector<ContentVersion> list; // newest first
        std::optional<std::string> selector;
        int chosen;
    } cases[] = {
        {"a newer beta gives way to the release", {v("b", B), v("r")}, {}, 1},
        {"only betas and alphas: the newest", {v("a", A), v("b", B)}, {}, 0},
        {"a release naming no version waits behind an exact beta",
         {v("r", ContentChannel::Release, false), v("b", B)},
         {},
         1},
        {"no file", {}, {}, -1},
        {"picked by id", {v("b", B), v("r")}, "b", 0},
        {"picked by version", {v("b", B), v("r")}, "vr", 1},
        {"picked by file name", {v("b", B), v("r")}, "b.jar", 0},
        {"a picked file that is not offered", {v("r")}, "zzz", -1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(version_choose(c.list, c.selector), c.chosen) << c.what;
}

TEST(Versions, ReplacesOnlyWithWhatIsListedBeforeTheInstalledFile) {
    std::vector<ContentVersion> list = {v("new", B), v("rel", ContentChannel::Release, true, "AB"),
                                        v("old")};
    struct Case {
        const char *what;
        int chosen;
        const char *id, *sha1;
        bool replaces;
    } cases[] = {
        {"the installed file itself", 1, "rel", "", false},
        {"known by its SHA-1 only", 1, "", "ab", false},
        {"an older file installed", 1, "old", "", true},
        {"a newer beta the player chose stays", 1, "new", "", false},
        {"a file the source no longer offers", 1, "gone", "", true},
        {"nothing chosen", -1, "old", "", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(version_replaces(list, c.chosen, c.id, c.sha1), c.replaces) << c.what;
}
