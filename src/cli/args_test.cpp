#include "cli/args.h"

#include <gtest/gtest.h>

TEST(Args, GlobalOptionsRemovedAnywhere) {
    GlobalOptions g;
    std::vector<std::string> a = {"zyl", "launch",    "1.20.1", "--data-dir",
                                  "/d",  "--offline", "--move"};
    args_remove_globals(a, g);
    EXPECT_EQ(a, (std::vector<std::string>{"zyl", "launch", "1.20.1"}));
    EXPECT_EQ(g.data_dir, "/d");
    EXPECT_TRUE(g.offline);
    EXPECT_TRUE(g.move);

    GlobalOptions h;
    a = {"zyl", "--data-dir=", "list", "--data-dir"}; // last one has no folder: stays
    args_remove_globals(a, h);
    EXPECT_EQ(a, (std::vector<std::string>{"zyl", "list", "--data-dir"}));
    EXPECT_EQ(h.data_dir, "");
    EXPECT_FALSE(h.offline);
    EXPECT_FALSE(h.move);
}

TEST(Args, RamUnits) {
    // Nothing, less than a megabyte, or no finite number is refused (0); more
    // than an int holds is held there.
    struct Case {
        const char *text;
        int mb;
    } cases[] = {{"4G", 4096},          {"4", 4096},  {"4096", 4096},
                 {"6M", 6144},          {"8", 8192},  {"8g", 8192},
                 {"100", 100},          {"512", 512}, {"2x", 4096},
                 {"1.5G", 1536},        {"0", 0},     {"-1", 0},
                 {"0.0001", 0},         {"nan", 0},   {"inf", 0},
                 {"-inf", 0},           {"1e400", 0}, {"99999999G", 2147483647},
                 {"1e300M", 2147483647}};
    for (const Case &c : cases)
        EXPECT_EQ(ram_parse_mb(c.text), c.mb) << c.text;
}

static int parse(std::vector<std::string> rest, Options &o, std::string &bad) {
    std::vector<std::string> a = {"zyl", "cmd"};
    a.insert(a.end(), rest.begin(), rest.end());
    return options_parse(a, o, bad);
}

TEST(Args, OptionsRecord) {
    Options o;
    std::string bad;
    ASSERT_EQ(parse({"--name", "-Bob", "x", "--source", "Curse", "--type", "shaderpacks", "y",
                     "--snapshots", "--all", "--old"},
                    o, bad),
              0);
    EXPECT_EQ(o.nick, "-Bob"); // a value may begin with "-"
    EXPECT_TRUE(o.nick_given);
    EXPECT_EQ(o.source, ContentSource::CurseForge);
    EXPECT_EQ(o.type, ContentType::Shader);
    EXPECT_EQ(o.version_filter, 7);
    EXPECT_EQ(o.pos[0], "x");
    EXPECT_EQ(o.pos[1], "y");

    Options s;
    ASSERT_EQ(parse({"--all", "--snapshots", "--source", "all"}, s, bad), 0);
    EXPECT_EQ(s.version_filter, 7);
    EXPECT_EQ(s.source, std::nullopt);
    Options m;
    ASSERT_EQ(parse({"--source", "modrinth", "--ram", "2G"}, m, bad), 0);
    EXPECT_EQ(m.source, ContentSource::Modrinth);
    EXPECT_EQ(m.type, std::nullopt);
    EXPECT_EQ(m.ram_mb, 2048);
}

TEST(Args, Rejections) {
    struct Case {
        std::vector<std::string> args;
        const char *err;
    } cases[] = {
        {{"a", "b", "c", "d"}, "Неизвестный аргумент: d"}, // a fourth positional
        {{"--frobnicate"}, "Неизвестный аргумент: --frobnicate"},
        // value-taking option in last position
        {{"a", "--loader"}, "Неизвестный аргумент: --loader"},
        {{"-x", "a"}, "Неизвестный аргумент: -x"},
        {{"--ram", "nan"}, "Неверный объём памяти --ram: nan"},
        {{"--ram", "-1", "a"}, "Неверный объём памяти --ram: -1"},
    };
    for (const Case &c : cases) {
        Options o;
        std::string err;
        EXPECT_EQ(parse(c.args, o, err), -1);
        EXPECT_EQ(err, c.err);
    }
}

// The rest of a line as one value: options and "--" included, a leading
// "--" dropped, the words taken out of the line.
TEST(Args, RestOfTheLine) {
    using Words = std::vector<std::string>;
    struct Case {
        Words line;
        std::optional<std::string> value;
        Words left;
    } cases[] = {
        {{"zyl", "instance", "set", "x", "jvm_args", "-Xss2M", "-XX:+UseZGC"},
         "-Xss2M -XX:+UseZGC",
         {"zyl", "instance", "set", "x", "jvm_args"}},
        {{"zyl", "instance", "set", "x", "jvm_args", "--", "--help"},
         "--help",
         {"zyl", "instance", "set", "x", "jvm_args"}},
        {{"zyl", "instance", "set", "x", "server", ""},
         "",
         {"zyl", "instance", "set", "x", "server"}},
        {{"zyl", "instance", "show", "x"}, std::nullopt, {"zyl", "instance", "show", "x"}},
    };
    for (Case &c : cases) {
        EXPECT_EQ(args_take_rest(c.line, 5), c.value);
        EXPECT_EQ(c.line, c.left);
    }
}
