// The launch command line: offline UUIDs, the exact argument order for modern
// and old versions, memory, server and quick-play arguments, account options,
// the masked support copy, and the two failures of launch_version.
#include "game/launch.h"

#include "base/fs.h"
#include "base/json.h"
#include "base/ui.h"
#include "config/datadir.h"
#include "config/settings.h"
#include "fakenet/net_test_env.h"
#include "fakenet/paths_env.h"
#include "game/versions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

// A modern profile in Mojang's shape, cut down to what the builder reads.
const char *k_modern = R"({
  "id": "1.20.1", "mainClass": "net.minecraft.client.main.Main",
  "logging": {"client": {"argument": "-Dlog4j.configurationFile=${path}",
                         "file": {"id": "client-1.12.xml"}}},
  "arguments": {
    "game": ["--username", "${auth_player_name}", "--uuid", "${auth_uuid}",
             "--accessToken", "${auth_access_token}", "--userType", "${user_type}",
             {"rules": [{"action": "allow", "features": {"is_demo_user": true}}],
              "value": "--demo"},
             {"rules": [{"action": "allow", "features": {"has_custom_resolution": true}}],
              "value": ["--width", "${resolution_width}", "--height", "${resolution_height}"]},
             {"rules": [{"action": "allow", "features": {"is_quick_play_multiplayer": true}}],
              "value": ["--quickPlayMultiplayer", "${quickPlayMultiplayer}"]}],
    "jvm": [{"rules": [{"action": "allow", "os": {"name": "osx"}}],
             "value": ["-XstartOnFirstThread"]},
            "-Djava.library.path=${natives_directory}", "-cp", "${classpath}"]}})";

// An old profile: one template string, no "arguments".
const char *k_legacy = R"({
  "id": "1.6.4", "mainClass": "net.minecraft.client.main.Main",
  "minecraftArguments": "--username ${auth_player_name} --session ${auth_session}  --gameDir ${game_directory} --assetsDir ${game_assets}"})";

LaunchSpec sample_launch(const std::string &game_dir = "/d/instances/1.20.1") {
    LaunchSpec s;
    s.version_id = "1.20.1";
    s.java = "/j/bin/java";
    s.ram_mb = 2048;
    s.who = identity_offline("Player");
    s.layout.game_dir = game_dir;
    s.layout.client_jar = "/d/versions/1.20.1/1.20.1.jar";
    s.layout.classpath = "/d/libraries/a.jar:/d/versions/1.20.1/1.20.1.jar";
    s.layout.natives_dir = game_dir + "/.natives/1.20.1";
    s.layout.assets_root = "/d/assets";
    s.layout.asset_index = "5";
    return s;
}

StrList build(const char *profile, const LaunchSpec &s) {
    JsonPtr doc = json_parse(profile);
    EXPECT_TRUE(doc);
    return launch_command(doc.get(), s);
}

// The arguments from index `from` on.
StrList tail(const StrList &cmd, size_t from) {
    return from <= cmd.size() ? StrList(cmd.begin() + static_cast<long>(from), cmd.end())
                              : StrList();
}

class LaunchCommandTest : public ::testing::Test {
  protected:
    ScopedDataPath assets{&DataPaths::assets, "/d/assets"};
};

} // namespace

TEST(OfflineUuid, NameBytesMadeAVersion3Uuid) {
    struct Case {
        const char *name, *uuid;
    } cases[] = {
        {"Player", "a01e3843-e521-3998-958a-f459800e4d11"},
        {"Notch", "b50ad385-829d-3141-a216-7e7d7539ba7f"},
        {"Игрок", "770c6db4-4435-39fa-8907-9b7f4fb309b1"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(offline_uuid(c.name), c.uuid) << c.name;
        LaunchIdentity who = identity_offline(c.name);
        EXPECT_EQ(who.uuid_dashed, c.uuid);
        EXPECT_EQ(uuid_dashed(who.uuid), c.uuid);
        EXPECT_EQ(who.uuid.size(), 32u);
    }
    EXPECT_EQ(identity_offline("Player").uuid, "a01e3843e5213998958af459800e4d11");
}

TEST_F(LaunchCommandTest, ModernVersionInOrder) {
    LaunchSpec s = sample_launch();
    s.jvm_args = " -Dzyl.a=1\t\t-XX:+AlwaysPreTouch  ";
    StrList expected = {
        "/j/bin/java",
        "-Xmx2048M",
        "-Xms1024M",
        "-XX:+UseG1GC",
        "-Dminecraft.launcher.brand=zyl-launcher",
        "-Dzyl.a=1",
        "-XX:+AlwaysPreTouch",
        "-Dlog4j.configurationFile=/d/assets/log_configs/client-1.12.xml",
        "-Djava.library.path=/d/instances/1.20.1/.natives/1.20.1",
        "-cp",
        "/d/libraries/a.jar:/d/versions/1.20.1/1.20.1.jar",
        "net.minecraft.client.main.Main",
        "--username",
        "Player",
        "--uuid",
        "a01e3843e5213998958af459800e4d11",
        "--accessToken",
        "0",
        "--userType",
        "legacy",
        "--width",
        "1280",
        "--height",
        "720",
    };
    EXPECT_EQ(build(k_modern, s), expected);

    s.width = 1920;
    s.height = 1080;
    StrList cmd = build(k_modern, s);
    EXPECT_EQ(tail(cmd, cmd.size() - 4), (StrList{"--width", "1920", "--height", "1080"}));
}

TEST_F(LaunchCommandTest, LegacyVersionGetsLibraryPathClasspathAndResolution) {
    // A game directory under a folder with a space stays one argument.
    LaunchSpec s = sample_launch("/home/John Smith/zyl/instances/1.6.4");
    s.version_id = "1.6.4";
    StrList expected = {
        "-Djava.library.path=/home/John Smith/zyl/instances/1.6.4/.natives/1.20.1",
        "-cp",
        "/d/libraries/a.jar:/d/versions/1.20.1/1.20.1.jar",
        "net.minecraft.client.main.Main",
        "--username",
        "Player",
        "--session",
        "0",
        "--gameDir",
        "/home/John Smith/zyl/instances/1.6.4",
        "--assetsDir",
        "/d/assets",
        "--width",
        "1280",
        "--height",
        "720",
    };
    EXPECT_EQ(tail(build(k_legacy, s), 5), expected);
    // No template at all: just the resolution.
    EXPECT_EQ(tail(build(R"({"mainClass":"M"})", s), 8),
              (StrList{"M", "--width", "1280", "--height", "720"}));
}

TEST_F(LaunchCommandTest, LoaderArgumentsOverAnOldParentKeepTheOldForm) {
    // The shape of the community loaders' profiles for 1.8.9-1.12.2: an
    // "arguments" block with a JVM option over Mojang's 1.8.9 in the old form.
    JsonPtr parent =
        json_read_file(std::string(ZYL_TEST_CORPUS_DIR) + "/mojang/versions/1.8.9.json");
    ASSERT_TRUE(parent);
    struct Case {
        const char *arguments;
        StrList jvm_tail, game_tail;
    } cases[] = {
        {R"({"game":[],"jvm":["-DFabricMcEmu= net.minecraft.client.main.Main "]})",
         {"-DFabricMcEmu= net.minecraft.client.main.Main "},
         {"--width", "1280", "--height", "720"}},
        {R"({"game":["--loaderFlag","${version_name}"],"jvm":[]})",
         {},
         {"--height", "720", "--loaderFlag", "1.8.9-loader"}},
    };
    for (const Case &c : cases) {
        JsonPtr child = json_parse(std::string(R"({"id":"1.8.9-loader","inheritsFrom":"1.8.9",
            "mainClass":"net.fabricmc.loader.impl.launch.knot.KnotClient","arguments":)") +
                                   c.arguments + "}");
        ASSERT_TRUE(child);
        JsonPtr merged = version_merge(child.get(), parent.get());
        LaunchSpec s = sample_launch();
        s.version_id = "1.8.9-loader";
        StrList cmd = launch_command(merged.get(), s);

        StrList jvm = {"-Djava.library.path=/d/instances/1.20.1/.natives/1.20.1", "-cp",
                       "/d/libraries/a.jar:/d/versions/1.20.1/1.20.1.jar"};
        jvm.insert(jvm.end(), c.jvm_tail.begin(), c.jvm_tail.end());
        jvm.push_back("net.fabricmc.loader.impl.launch.knot.KnotClient");
        auto at = std::find(cmd.begin(), cmd.end(), jvm.front());
        ASSERT_NE(at, cmd.end()) << c.arguments;
        EXPECT_EQ(StrList(at, at + static_cast<long>(jvm.size())), jvm) << c.arguments;
        // The old template's arguments, with the loader's after them.
        StrList user = {"--username", "Player", "--version", "1.8.9-loader"};
        EXPECT_NE(std::search(at, cmd.end(), user.begin(), user.end()), cmd.end());
        EXPECT_EQ(tail(cmd, cmd.size() - c.game_tail.size()), c.game_tail) << c.arguments;
    }
}

TEST_F(LaunchCommandTest, MemoryOptions) {
    struct Case {
        int ram;
        const char *xmx, *xms;
    } cases[] = {{4096, "-Xmx4096M", "-Xms1024M"},
                 {1024, "-Xmx1024M", "-Xms1024M"},
                 {512, "-Xmx512M", "-Xms512M"}};
    for (const Case &c : cases) {
        LaunchSpec s = sample_launch();
        s.ram_mb = c.ram;
        StrList cmd = build(k_legacy, s);
        EXPECT_EQ(cmd[1], c.xmx);
        EXPECT_EQ(cmd[2], c.xms);
    }
}

TEST_F(LaunchCommandTest, ServerArguments) {
    const char *quick = R"({"mainClass":"M","arguments":{"game":[{"rules":[{"action":"allow",
        "features":{"is_quick_play_multiplayer":true}}],"value":["--quickPlayMultiplayer",
        "${quickPlayMultiplayer}"]}]}})";
    struct Case {
        const char *profile;
        const char *server;
        StrList args;
    } cases[] = {
        {k_legacy, "example.org", {"--server", "example.org", "--port", "25565"}},
        {k_legacy, "example.org:25566", {"--server", "example.org", "--port", "25566"}},
        {k_legacy, "[::1]:25570", {"--server", "[::1]", "--port", "25570"}},
        {k_legacy, "example.org:", {"--server", "example.org", "--port", "25565"}},
        {quick, "example.org:25566", {"--quickPlayMultiplayer", "example.org:25566"}},
        {quick, "example.org", {"--quickPlayMultiplayer", "example.org"}},
        {k_legacy, "", {"720"}},
    };
    for (const Case &c : cases) {
        LaunchSpec s = sample_launch();
        s.server = c.server;
        StrList cmd = build(c.profile, s);
        EXPECT_EQ(tail(cmd, cmd.size() - c.args.size()), c.args) << c.server;
    }
}

TEST_F(LaunchCommandTest, AccountAddsAgentAndHostsAndTheFileHidesTheToken) {
    LaunchSpec s = sample_launch();
    s.who = identity_account("Steve", "0123456789abcdef0123456789abcdef", "tok3n");
    s.auth_base = "http://auth.example/api";
    s.agent_jar = "/d/cache/authlib-injector.jar";
    s.jvm_args = "-Dzyl.x=tok3n";
    StrList expected = {
        "-Dminecraft.launcher.brand=zyl-launcher",
        "-javaagent:/d/cache/authlib-injector.jar=http://auth.example/api/authlib-injector",
        "-Dminecraft.api.auth.host=http://auth.example/api/auth",
        "-Dminecraft.api.account.host=http://auth.example/api/account",
        "-Dminecraft.api.session.host=http://auth.example/api/session",
        "-Dminecraft.api.services.host=http://auth.example/api/services",
        "-Dzyl.x=tok3n",
    };
    StrList cmd = build(k_legacy, s);
    EXPECT_EQ(StrList(cmd.begin() + 4, cmd.begin() + 11), expected);
    EXPECT_EQ(s.who.uuid_dashed, "01234567-89ab-cdef-0123-456789abcdef");

    std::string text = launch_command_text(cmd, s.who);
    EXPECT_EQ(text.find("tok3n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n--session\ntoken:<accessToken>:0123456789abcdef0123456789abcdef\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\n-Dzyl.x=<accessToken>\n"), std::string::npos);
    EXPECT_NE(text.find("\n--username\nSteve\n"), std::string::npos);
    EXPECT_EQ(launch_command_text({"tok3n:tok3n"}, s.who), "<accessToken>:<accessToken>\n");

    // Without the jar the hosts are still set.
    s.agent_jar.clear();
    cmd = build(k_legacy, s);
    EXPECT_EQ(cmd[5], "-Dminecraft.api.auth.host=http://auth.example/api/auth");

    // Offline: one argument a line, "0" left as it is.
    s = sample_launch();
    EXPECT_EQ(launch_command_text({"java", "-Xmx1M", "0"}, s.who), "java\n-Xmx1M\n0\n");
}

TEST(LaunchVersion, MissingProfileAndJavaThatCannotStart) {
    // A profile that is not on disk is looked up on the (fake) network.
    NetTestEnv env;
    const TempDir &tmp = env.tmp;
    datapaths_set(tmp.path);
    int pid = 0, fd = -1;
    // A profile that parses but has no main class (nor a parent to give one),
    // or whose merged profile has none, is not launched: no Java is fetched.
    ASSERT_EQ(fs_write_atomic(version_json_path("broken"), std::string(R"({"a":1})")), 0);
    ASSERT_EQ(fs_write_atomic(version_json_path("child"),
                              std::string(R"({"inheritsFrom":"1.6.4","mainClass":7})")),
              0);
    for (const char *id : {"9.9.9", "../x", "broken", "child"}) {
        std::string err;
        EXPECT_EQ(
            launch_version(id, "Bob", 1024, std::nullopt, std::nullopt, &pid, &fd, nullptr, &err),
            -1);
        ASSERT_FALSE(env.messages().empty());
        EXPECT_EQ(env.messages().back(), format_alloc("Версия %s не установлена", id));
        EXPECT_EQ(err, env.messages().back());
    }
    EXPECT_EQ(dir_list(datapaths().java).value_or(std::vector<std::string>{"?"}),
              std::vector<std::string>{});

    captured_ui().messages.clear();
    ASSERT_EQ(fs_mkdirs(datapaths().versions + "/old"), 0);
    ASSERT_EQ(fs_write_atomic(datapaths().versions + "/old/old.json",
                              std::string(R"({"id":"old","mainClass":"M"})")),
              0);
    setenv("ZYL_JAVA", (tmp.path + "/no/java").c_str(), 1);
    std::string err;
    EXPECT_EQ(launch_version("old", "Bob", 1024, std::string("h:1"), std::string("My pack"), &pid,
                             &fd, nullptr, &err),
              -1);
    EXPECT_EQ(err, "Не удалось запустить " + tmp.path + "/no/java");
    unsetenv("ZYL_JAVA");
    StrList messages = env.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "Запуск old как Bob (офлайн, UUID " + offline_uuid("Bob") + "), папка " +
                               datapaths().instances + "/My_pack");
    EXPECT_EQ(messages[1], "Не удалось запустить " + tmp.path + "/no/java");
    // The support copy is written before the start.
    std::optional<std::string> text =
        fs_read_all(datapaths().instances + "/My_pack/launch_command.txt");
    ASSERT_TRUE(text);
    EXPECT_EQ(text->substr(0, text->find('\n')), tmp.path + "/no/java");
    EXPECT_NE(text->find("\nM\n--width\n"), std::string::npos);
    EXPECT_NE(text->find("\n--server\nh\n--port\n1\n"), std::string::npos);
}
