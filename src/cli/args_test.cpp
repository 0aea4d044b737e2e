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

    GlobalOptions after_end;
    a = {"zyl", "config", "jvm_args", "--", "--offline"}; // "--" ends the options
    args_remove_globals(a, after_end);
    EXPECT_EQ(a, (std::vector<std::string>{"zyl", "config", "jvm_args", "--", "--offline"}));
    EXPECT_FALSE(after_end.offline);

    GlobalOptions h;
    a = {"zyl", "--data-dir=", "list", "--data-dir"}; // last one has no folder: stays
    args_remove_globals(a, h);
    EXPECT_EQ(a, (std::vector<std::string>{"zyl", "list", "--data-dir"}));
    EXPECT_EQ(h.data_dir, "");
    EXPECT_FALSE(h.offline);
    EXPECT_FALSE(h.move);
}

// Memory sizes: decimal numbers with an optional M or G only, at least a
// megabyte, at most the machine's memory (16 GB here; 0 means unknown).
TEST(Args, RamUnits) {
    struct Case {
        const char *text;
        long long physical_mb;
        int mb;
    } cases[] = {
        {"4G", 16384, 4096},
        {"4", 16384, 4096},
        {"4096", 16384, 4096},
        {"6M", 16384, 6144},
        {"8g", 16384, 8192},
        {"100", 16384, 100},
        {"1.5G", 16384, 1536},
        {"16G", 16384, 16384},
        {"16385", 16384, 0},
        {"17G", 16384, 0},
        {"99999999999999G", 16384, 0},
        {"99999999G", 0, 2147483647},
        {"0x10G", 16384, 0},
        {"2x", 16384, 0},
        {"1e3", 16384, 0},
        {"-1", 16384, 0},
        {"+4G", 16384, 0},
        {" 4G", 16384, 0},
        {"4 G", 16384, 0},
        {"4GB", 16384, 0},
        {"0", 16384, 0},
        {"0.0001", 16384, 0},
        {"nan", 16384, 0},
        {"inf", 16384, 0},
        {"", 16384, 0},
        {"G", 16384, 0},
        {"٤G", 16384, 0}, // Arabic-Indic four
    };
    for (const Case &c : cases) {
        std::string err;
        EXPECT_EQ(ram_parse_mb(c.text, c.physical_mb, "--ram", &err), c.mb) << c.text;
        EXPECT_EQ(err.empty(), c.mb != 0) << c.text << ": " << err;
    }
    std::string err;
    ram_parse_mb("99999999999999G", 16384, "--ram", &err);
    EXPECT_EQ(err, "Неверный объём памяти --ram: 99999999999999G — в компьютере всего 16,0 ГБ");

    struct GbCase {
        const char *text;
        int gb;
    } gb_cases[] = {{"8", 8},   {"8G", 8},  {"16", 16}, {"17", 0}, {"0", 0},
                    {"6.5", 0}, {"0x8", 0}, {"8M", 0},  {"", 0},   {"99999999999999", 0}};
    for (const GbCase &c : gb_cases)
        EXPECT_EQ(ram_gb_parse(c.text, 16384, &err), c.gb) << c.text;
    ram_gb_parse("64", 16384, &err);
    EXPECT_EQ(err, "Неверное значение ram_gb: 64 ГБ — в компьютере всего 16,0 ГБ");
}

static int parse(std::vector<std::string> rest, Options &o, std::string &bad, int rest_after = 0) {
    std::vector<std::string> a = {"zyl", "cmd"};
    a.insert(a.end(), rest.begin(), rest.end());
    return options_parse(a, o, bad, rest_after);
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
        {{"--ram", "0x10G"}, "Неверный объём памяти --ram: 0x10G"},
    };
    for (const Case &c : cases) {
        Options o;
        std::string err;
        EXPECT_EQ(parse(c.args, o, err), -1);
        EXPECT_EQ(err, c.err);
    }
}

// "--" ends the options; a free-text value ("config <key> <value>",
// "instance set <name> <key> <value>") is the rest of the line as it stands,
// so JVM arguments, which begin with "-", can be set at all.
TEST(Args, EndOfOptionsAndFreeTextValues) {
    using Pos = std::vector<std::optional<std::string>>;
    const auto none = std::nullopt;
    struct Case {
        std::vector<std::string> args;
        int rest_after;
        Pos pos;
        std::optional<std::string> rest;
    } cases[] = {
        {{"--", "-weird"}, 0, {"-weird", none, none}, none},
        {{"a", "--", "--name", "b"}, 0, {"a", "--name", "b"}, none},
        {{"jvm_args", "-XX:+UseZGC"}, 1, {"jvm_args", none, none}, "-XX:+UseZGC"},
        {{"jvm_args", "-XX:+UseZGC", "-Xmx4G", "--name", "x"},
         1,
         {"jvm_args", none, none},
         "-XX:+UseZGC -Xmx4G --name x"},
        {{"jvm_args", "--", "-Xss4m"}, 1, {"jvm_args", none, none}, "-Xss4m"},
        {{"jvm_args", "--", "--"}, 1, {"jvm_args", none, none}, "--"},
        {{"--", "jvm_args", "--", "-X"}, 1, {"jvm_args", none, none}, "-- -X"},
        {{"jvm_args", ""}, 1, {"jvm_args", none, none}, ""},
        {{"jvm_args"}, 1, {"jvm_args", none, none}, none},
        {{"jvm_args", "--"}, 1, {"jvm_args", none, none}, none},
        {{"nick", "Мой", "ник"}, 1, {"nick", none, none}, "Мой ник"},
        {{"set", "x", "jvm_args", "-Xss2M", "--help"},
         3,
         {"set", "x", "jvm_args"},
         "-Xss2M --help"},
        {{"set", "--instance", "i", "x", "server", ""}, 3, {"set", "x", "server"}, ""},
        {{"show", "x"}, 3, {"show", "x", none}, none},
    };
    for (const Case &c : cases) {
        Options o;
        std::string err;
        ASSERT_EQ(parse(c.args, o, err, c.rest_after), 0) << err;
        EXPECT_EQ((Pos{o.pos[0], o.pos[1], o.pos[2]}), c.pos) << c.args[0] << " " << c.args.size();
        EXPECT_EQ(o.rest, c.rest) << c.args[0] << " " << c.args.size();
        EXPECT_FALSE(o.help) << c.args[0] << " " << c.args.size();
    }
}
