// Rules, argument templates and placeholders on both platform records.
#include "game/rules.h"

#include <gtest/gtest.h>

namespace {

struct RuleCase {
    const char *rules;
    int windows;
    int linux_;
};

TEST(Rules, LastMatchingRuleDecidesPerPlatform) {
    const RuleCase cases[] = {
        {"[]", 0, 0},
        {R"([{"action":"allow"}])", 1, 1},
        // unconditional allow, then a disallow for another system
        {R"([{"action":"allow"},{"action":"disallow","os":{"name":"osx"}}])", 1, 1},
        {R"([{"action":"allow"},{"action":"disallow","os":{"name":"linux"}}])", 1, 0},
        {R"([{"action":"allow","os":{"name":"osx"}}])", 0, 0},
        {R"([{"action":"allow","os":{"name":"windows"}}])", 1, 0},
        {R"([{"action":"allow","os":{"name":"linux"}}])", 0, 1},
        {R"([{"os":{"name":"linux"}}])", 0, 1}, // no action means allow
        {R"([{"action":"maybe"}])", 0, 0},
        // arch: x86 and arm64 never match, x86_64/other values do
        {R"([{"action":"allow","os":{"arch":"x86"}}])", 0, 0},
        {R"([{"action":"allow","os":{"name":"windows","arch":"arm64"}}])", 0, 0},
        {R"([{"action":"allow","os":{"arch":"x86_64"}}])", 1, 1},
        // os.version is ignored
        {R"([{"action":"allow","os":{"name":"windows","version":"^10\\."}}])", 1, 0},
        // features: only has_custom_resolution is present
        {R"([{"action":"allow","features":{"has_custom_resolution":true}}])", 1, 1},
        {R"([{"action":"allow","features":{"has_custom_resolution":false}}])", 0, 0},
        {R"([{"action":"allow","features":{"is_demo_user":true}}])", 0, 0},
        {R"([{"action":"allow","features":{"is_quick_play_multiplayer":true}}])", 0, 0},
        {R"([{"action":"allow","features":{"is_demo_user":false}}])", 1, 1},
        {R"([{"action":"allow","features":{"has_custom_resolution":true,"is_demo_user":true}}])", 0,
         0},
    };
    for (const RuleCase &c : cases) {
        JsonPtr rules = json_parse(c.rules);
        ASSERT_TRUE(rules) << c.rules;
        EXPECT_EQ(rules_allow(rules.get(), platform_windows()), c.windows) << c.rules;
        EXPECT_EQ(rules_allow(rules.get(), platform_linux()), c.linux_) << c.rules;
    }
    EXPECT_EQ(&platform_host(), &platform_linux());
}

TEST(Rules, EntryWithoutOrWithEmptyRulesIsAllowed) {
    JsonPtr none = json_parse(R"({"name":"a:b:c"})");
    JsonPtr empty = json_parse(R"({"name":"a:b:c","rules":[]})");
    EXPECT_TRUE(rules_entry_allowed(none.get()));
    EXPECT_TRUE(rules_entry_allowed(empty.get()));
}

TEST(Placeholders, ExpandsKnownNamesAndKeepsTheRest) {
    PlaceholderTable t = {{"auth_player_name", "Steve"},
                          {"version_name", "1.20.1"},
                          {"path", "/x/client.xml"},
                          {"empty", ""}};
    const std::pair<const char *, const char *> cases[] = {
        {"${auth_player_name}", "Steve"},
        {"--username=${auth_player_name}!", "--username=Steve!"},
        {"${version_name}${auth_player_name}", "1.20.1Steve"},
        {"-Dlog4j.configurationFile=${path}", "-Dlog4j.configurationFile=/x/client.xml"},
        {"${unknown}", "${unknown}"},
        {"a ${unclosed", "a ${unclosed"},
        {"$${version_name}", "$1.20.1"},
        {"${${version_name}}", "${1.20.1}"},
        {"${empty}x", "x"},
        {"$", "$"},
        {"", ""},
    };
    for (const auto &[in, want] : cases)
        EXPECT_EQ(placeholders_expand(in, t), want) << in;
}

TEST(Arguments, RuleGuardedEntriesOfARealVersionDocument) {
    // Shapes taken from the game arguments of 1.20.1.
    JsonPtr args = json_parse(R"([
        "--username", "${auth_player_name}",
        {"rules":[{"action":"allow","features":{"is_demo_user":true}}],"value":"--demo"},
        {"rules":[{"action":"allow","features":{"has_custom_resolution":true}}],
         "value":["--width","${resolution_width}","--height","${resolution_height}"]},
        {"rules":[{"action":"allow","features":{"has_quick_plays_support":true}}],
         "value":["--quickPlayPath","${quickPlayPath}"]},
        {"rules":[{"action":"allow","os":{"name":"windows"}}],"value":"-Dwin"},
        {"rules":[{"action":"allow","os":{"name":"linux"}}],"value":"-Dlinux"},
        {"rules":[{"action":"allow","os":{"arch":"x86"}}],"value":"-Xss1M"},
        {"value": 5}, 17, null,
        {"rules":[], "value":["a", 3, "b"]}
    ])");
    PlaceholderTable t = {
        {"auth_player_name", "Steve"}, {"resolution_width", "854"}, {"resolution_height", "480"}};
    StrList win, lin;
    arguments_expand(args.get(), t, win, platform_windows());
    arguments_expand(args.get(), t, lin, platform_linux());
    EXPECT_EQ(win, (StrList{"--username", "Steve", "--width", "854", "--height", "480", "-Dwin",
                            "a", "b"}));
    EXPECT_EQ(lin, (StrList{"--username", "Steve", "--width", "854", "--height", "480", "-Dlinux",
                            "a", "b"}));
}

} // namespace
