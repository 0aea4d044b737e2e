// "zyl launch" as a user runs it, against the fake network: the version is
// installed, a real JVM runs the stub game (served as the client jar), its
// output reaches standard output and its exit code is ours. The stub prints
// the arguments, class path and properties it got, which the tests check
// against the installed files.
#include "base/fs.h"
#include "base/json.h"
#include "config/datadir.h"
#include "fakenet/fakenet.h"
#include "fakenet/paths_env.h"
#include "fakenet/run_zyl.h"
#include "fakenet/world_auth.h"
#include "fakenet/world_mojang.h"
#include "game/libraries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <sys/stat.h>

namespace {

// What the stub game printed.
struct StubOutput {
    StrList args;
    StrList classpath;
    std::map<std::string, std::string> props;
};

StubOutput parse_stub(const std::string &out) {
    StubOutput s;
    for (const std::string &line : str_split(out, '\n')) {
        if (str_starts_with(line, "ARG ")) s.args.push_back(line.substr(4));
        if (str_starts_with(line, "CLASSPATH ")) s.classpath = str_split(line.substr(10), ':');
        size_t eq = line.find('=');
        if (str_starts_with(line, "PROP ") && eq != std::string::npos)
            s.props[line.substr(5, eq - 5)] = line.substr(eq + 1);
    }
    return s;
}

// True when `seq` appears in `all` as consecutive elements.
bool has_run(const StrList &all, const StrList &seq) {
    return std::search(all.begin(), all.end(), seq.begin(), seq.end()) != all.end();
}

class LaunchE2E : public ::testing::Test {
  protected:
    ZylRun zyl(const std::vector<std::string> &extra,
               const std::map<std::string, std::string> &env_extra = {},
               const std::string &stdin_text = "") {
        std::vector<std::string> args = {"--data-dir", dir.path};
        args.insert(args.end(), extra.begin(), extra.end());
        std::map<std::string, std::string> env = {{"ZYL_ENDPOINTS", net->endpoints_env()},
                                                  {"ZYL_API", ""},
                                                  {"ZYL_JAVA", ""},
                                                  {"ZYL_AUTH_SERVER", ""},
                                                  {"ZYL_NO_AUTHLIB", ""}};
        for (const auto &[k, v] : env_extra)
            env[k] = v;
        return run_zyl(args, env, stdin_text);
    }

    // The classpath jars of the served document, as installed here.
    StrList library_jars(const std::string &id) {
        JsonPtr doc = json_parse(world_mojang_version(*net, id));
        ScopedDataPath libraries(&DataPaths::libraries, dir.path + "/libraries");
        StrList jars;
        libraries_collect(json_get(doc.get(), "libraries"), nullptr, &jars, nullptr);
        return jars;
    }

    void expect_classpath(const StubOutput &s, const std::string &id,
                          const std::string &client_jar) {
        ASSERT_FALSE(s.classpath.empty());
        EXPECT_EQ(s.classpath.back(), client_jar);
        for (const std::string &jar : library_jars(id)) {
            EXPECT_NE(std::find(s.classpath.begin(), s.classpath.end(), jar), s.classpath.end())
                << jar;
        }
        for (const std::string &entry : s.classpath)
            EXPECT_TRUE(fs_exists(entry)) << entry;
    }

    // The pump's lines around the game's output, and the support copy.
    void expect_pump(const ZylRun &r, int code, const std::string &game_dir) {
        EXPECT_NE(r.err.find("PID игры: "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(format_alloc("Игра завершилась с кодом %d\n", code)),
                  std::string::npos)
            << r.err;
        std::optional<std::string> text = fs_read_all(game_dir + "/launch_command.txt");
        ASSERT_TRUE(text);
        EXPECT_EQ(text->back(), '\n');
    }

    FakeNetPtr net = fakenet_start();
    TempDir dir;
};

} // namespace

TEST_F(LaunchE2E, ModernVersionInstallsAndRunsTheGame) {
    ZylRun r =
        zyl({"launch", "1.20.1", "--name", "Bob", "--ram", "2G", "--server", "example.org:25566"},
            {{"ZYL_STUB_EXIT", "7"}});
    ASSERT_EQ(r.code, 7) << r.err;
    ASSERT_TRUE(str_starts_with(r.out, "Установлено: 1.20.1 — ")) << r.out;
    std::string game_dir = dir.path + "/instances/1.20.1";
    expect_pump(r, 7, game_dir);
    EXPECT_NE(r.err.find("Запуск 1.20.1 как Bob (офлайн, UUID "), std::string::npos) << r.err;

    StubOutput s = parse_stub(r.out);
    expect_classpath(s, "1.20.1", dir.path + "/versions/1.20.1/1.20.1.jar");
    EXPECT_EQ(s.props["zyl.runtime"], "java-runtime-gamma");
    EXPECT_EQ(s.props["user.dir"], game_dir);
    EXPECT_EQ(s.props["java.library.path"], game_dir + "/.natives/1.20.1");
    EXPECT_TRUE(fs_is_dir(game_dir + "/.natives/1.20.1"));
    EXPECT_EQ(s.props["minecraft.launcher.brand"], "zyl-launcher");
    EXPECT_EQ(s.props["log4j.configurationFile"], dir.path + "/assets/log_configs/client-1.12.xml");

    EXPECT_TRUE(has_run(s.args, {"--username", "Bob", "--version", "1.20.1", "--gameDir", game_dir,
                                 "--assetsDir", dir.path + "/assets", "--assetIndex"}));
    std::string uuid = zyl({"uuid", "Bob"}).out;
    uuid.erase(std::remove(uuid.begin(), uuid.end(), '-'), uuid.end());
    uuid.pop_back();
    EXPECT_TRUE(has_run(s.args, {"--uuid", uuid, "--accessToken", "0"}));
    EXPECT_TRUE(has_run(s.args, {"--width", "1280", "--height", "720"}));
    // 1.20.1 knows quick play: the address goes through as it is, last.
    ASSERT_GE(s.args.size(), 2u);
    EXPECT_EQ(StrList(s.args.end() - 2, s.args.end()),
              (StrList{"--quickPlayMultiplayer", "example.org:25566"}));

    std::string text = *fs_read_all(game_dir + "/launch_command.txt");
    StrList lines = str_split(text, '\n');
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], dir.path + "/java/java-runtime-gamma/bin/java");
    EXPECT_EQ(StrList(lines.begin() + 1, lines.begin() + 5),
              (StrList{"-Xmx2048M", "-Xms1024M", "-XX:+UseG1GC",
                       "-Dminecraft.launcher.brand=zyl-launcher"}));
    EXPECT_EQ(fs_read_all(game_dir + "/options.txt"),
              "onboardAccessibility:false\nskipMultiplayerWarning:true\n");
}

TEST_F(LaunchE2E, LegacyVersionGetsLibraryPathAndAppendedResolution) {
    ZylRun r = zyl(
        {"launch", "1.6.4", "--name", "Steve", "--ram", "512", "--server", "example.org:25566"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::string game_dir = dir.path + "/instances/1.6.4";
    expect_pump(r, 0, game_dir);
    StubOutput s = parse_stub(r.out);
    expect_classpath(s, "1.6.4", dir.path + "/versions/1.6.4/1.6.4.jar");
    EXPECT_EQ(s.props["zyl.runtime"], "temurin-8");

    std::string natives = game_dir + "/.natives/1.6.4";
    EXPECT_EQ(s.props["java.library.path"], natives);
    std::optional<std::vector<std::string>> unpacked = dir_list(natives);
    ASSERT_TRUE(unpacked);
    EXPECT_FALSE(unpacked->empty());
    for (const std::string &name : *unpacked)
        EXPECT_TRUE(str_ends_with(name, ".so")) << name;

    EXPECT_TRUE(has_run(s.args, {"--username", "Steve", "--session", "0"}));
    EXPECT_TRUE(has_run(s.args, {"--gameDir", game_dir}));
    // The legacy index is virtual: assets come from the virtual tree.
    EXPECT_TRUE(has_run(s.args, {"--assetsDir", dir.path + "/assets/virtual/legacy"}));
    ASSERT_GE(s.args.size(), 8u);
    EXPECT_EQ(StrList(s.args.end() - 8, s.args.end()),
              (StrList{"--width", "1280", "--height", "720", "--server", "example.org", "--port",
                       "25566"}));

    StrList lines = str_split(*fs_read_all(game_dir + "/launch_command.txt"), '\n');
    EXPECT_TRUE(has_run(lines, {"-Xmx512M", "-Xms512M"}));
    EXPECT_TRUE(has_run(lines, {"-Djava.library.path=" + natives, "-cp"}));
}

TEST_F(LaunchE2E, LoaderProfileSkipsTheInstallAndGetsItsOwnJar) {
    ASSERT_EQ(zyl({"install", "1.20.1"}).code, 0);
    const std::string id = "fabric-loader-0.15.11-1.20.1";
    ASSERT_EQ(fs_mkdirs(dir.path + "/versions/" + id), 0);
    ASSERT_EQ(fs_write_atomic(dir.path + "/versions/" + id + "/" + id + ".json",
                              std::string(R"({"id":")" + id + R"(","inheritsFrom":"1.20.1",
                                  "mainClass":"net.minecraft.client.main.Main","libraries":[]})")),
              0);
    net->reset_counters();
    ZylRun r = zyl({"launch", id, "--instance", "Моя сборка"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.find("Установлено:"), std::string::npos) << r.out;
    StubOutput s = parse_stub(r.out);
    std::string own = dir.path + "/versions/" + id + "/" + id + ".jar";
    expect_classpath(s, "1.20.1", own);
    EXPECT_EQ(fs_read_all(own), fs_read_all(dir.path + "/versions/1.20.1/1.20.1.jar"));
    EXPECT_TRUE(has_run(s.args, {"--gameDir", dir.path + "/instances/___________________"}));
}

TEST_F(LaunchE2E, LoaderCopyOfTheClientIsCheckedBySha1AndRepaired) {
    ZylRun r = zyl({"install", "1.20.1", "--loader", "fabric"});
    ASSERT_EQ(r.code, 0) << r.err;
    size_t at = r.out.find("Установлено: ");
    ASSERT_NE(at, std::string::npos) << r.out;
    std::string id = r.out.substr(at + strlen("Установлено: "));
    id = id.substr(0, id.find(' '));
    const std::string vanilla = dir.path + "/versions/1.20.1/1.20.1.jar";
    const std::string own = dir.path + "/versions/" + id + "/" + id + ".jar";
    std::optional<std::string> good = fs_read_all(vanilla);
    ASSERT_TRUE(good);
    // Compared by hand: a jar's bytes make a poor failure message.
    auto intact = [&](const std::string &path) { return fs_read_all(path) == good; };
    EXPECT_TRUE(intact(own)) << "the install leaves the loader its copy";

    // 64 bytes flipped in the middle, size kept: in place (the same file as
    // the vanilla jar), then as a copy of its own.
    std::string damaged = *good;
    for (size_t i = damaged.size() / 2; i < damaged.size() / 2 + 64; i++)
        damaged[i] = static_cast<char>(damaged[i] ^ 0xff);
    auto flip_in_place = [&] {
        FILE *f = fopen(own.c_str(), "r+b");
        ASSERT_TRUE(f);
        fwrite(damaged.data(), 1, damaged.size(), f);
        fclose(f);
    };
    flip_in_place();
    r = zyl({"launch", id});
    EXPECT_EQ(r.code, 0) << r.err << r.out;
    EXPECT_NE(r.out.find("LOADER "), std::string::npos) << r.out;
    EXPECT_TRUE(intact(own));
    EXPECT_TRUE(intact(vanilla));

    ASSERT_EQ(fs_write_atomic(own, damaged), 0);
    r = zyl({"install", "1.20.1", "--loader", "fabric"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(intact(own));
    ASSERT_EQ(fs_write_atomic(own, damaged), 0);
    r = zyl({"launch", id});
    EXPECT_EQ(r.code, 0) << r.err << r.out;
    EXPECT_TRUE(intact(own));
}

TEST_F(LaunchE2E, FailuresAndUuid) {
    // A loader profile whose parent is nowhere.
    ASSERT_EQ(fs_mkdirs(dir.path + "/versions/orphan"), 0);
    ASSERT_EQ(fs_write_atomic(dir.path + "/versions/orphan/orphan.json",
                              std::string(R"({"id":"orphan","inheritsFrom":"0.0.1"})")),
              0);
    ZylRun r = zyl({"launch", "orphan"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Версия orphan не установлена\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");

    r = zyl({"launch", "1.20.1"}, {{"ZYL_JAVA", dir.path + "/no/java"}});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Не удалось запустить " + dir.path + "/no/java\n"), std::string::npos)
        << r.err;

    EXPECT_EQ(zyl({"launch"}).code, 2);
    EXPECT_EQ(zyl({"launch", "--name", "Bob"}).code, 2);

    struct Case {
        std::vector<std::string> args;
        const char *out;
    } cases[] = {
        {{"uuid", "Player"}, "a01e3843-e521-3998-958a-f459800e4d11\n"},
        {{"uuid"}, "a01e3843-e521-3998-958a-f459800e4d11\n"},
        {{"uuid", "--name", "Notch"}, "b50ad385-829d-3141-a216-7e7d7539ba7f\n"},
        {{"uuid", "Игрок", "--name", "Notch"}, "770c6db4-4435-39fa-8907-9b7f4fb309b1\n"},
    };
    for (const Case &c : cases) {
        r = zyl(c.args);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out, c.out) << c.args.size();
    }
}

// A game that crashes: after its exit code the console says why, from its
// output or from the crash report it wrote in this run.
TEST_F(LaunchE2E, CrashIsExplainedAfterTheExitCode) {
    std::string crash = std::string(ZYL_TEST_CORPUS_DIR) + "/crash/";
    std::string scenario = dir.path + "/scenario.properties";
    struct Case {
        std::string plan;
        std::vector<std::string> args;
        const char *explained;
    } cases[] = {
        {"output=" + crash + "fabric_missing.log\nexit=1\n",
         {"launch", "1.20.1"},
         "Почему игра упала: Не хватает мода sodium\nМод «Sodium Extra» требует any version "
         "мода sodium, а его нет в сборке."},
        {"crash_report=" + crash + "crash-2026-12-11_14.30.12-client.txt\nexit=255\n",
         {"launch", "1.20.1", "--ram", "3G"},
         "Почему игра упала: Игре не хватило памяти\nИгре было выделено 3 ГБ."},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(fs_write_atomic(scenario, c.plan), 0);
        ZylRun r = zyl(c.args, {{"ZYL_STUB_SCENARIO", scenario}});
        EXPECT_NE(r.code, 0);
        size_t ended = r.err.find("Игра завершилась с кодом");
        size_t at = r.err.find(c.explained);
        EXPECT_TRUE(ended != std::string::npos && at != std::string::npos && at > ended) << r.err;
    }
    // The report named is this run's.
    std::optional<std::vector<std::string>> reports =
        dir_list(dir.path + "/instances/1.20.1/crash-reports");
    ASSERT_TRUE(reports && reports->size() == 1);
    ASSERT_EQ(fs_write_atomic(scenario, std::string("exit=0\n")), 0);
    ZylRun r = zyl({"launch", "1.20.1"}, {{"ZYL_STUB_SCENARIO", scenario}});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err.find("Почему игра упала"), std::string::npos) << r.err;
}

// A Java chosen by hand that is older than the version needs is named before
// the game starts; naming it with --java starts the game with it anyway.
TEST_F(LaunchE2E, HandChosenJavaTooOldIsRefusedUnlessNamedOnTheLine) {
    std::string old_java = dir.path + "/old-java/bin/java";
    ASSERT_EQ(fs_mkdirs_parent(old_java), 0);
    ASSERT_EQ(fs_write_atomic(old_java, std::string("#!/bin/sh\n"
                                                    "if [ \"$1\" = -version ]; then\n"
                                                    "  echo 'java version \"1.8.0_392\"' >&2\n"
                                                    "  exit 0\n"
                                                    "fi\n"
                                                    "exec java \"$@\"\n")),
              0);
    ASSERT_EQ(chmod(old_java.c_str(), 0755), 0);
    ASSERT_EQ(zyl({"create", "Old", "1.20.1"}).code, 0);
    ASSERT_EQ(zyl({"instance", "set", "Old", "java_path", old_java}).code, 0);
    const char *refused = "Для 1.18+ нужна Java 17, выбрана Java 8\n";
    struct Case {
        std::vector<std::string> args;
        std::map<std::string, std::string> env;
        int code;
    } cases[] = {
        {{"launch", "1.20.1"}, {{"ZYL_JAVA", old_java}}, 1},
        {{"launch", "--instance", "Old"}, {}, 1},
        {{"launch", "1.20.1", "--java", old_java}, {}, 0},
        {{"launch", "--instance", "Old", "--java", old_java}, {}, 0},
    };
    for (const Case &c : cases) {
        ZylRun r = zyl(c.args, c.env);
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(r.code, c.code) << r.err;
        bool started = r.err.find("PID игры") != std::string::npos;
        EXPECT_EQ(started, c.code == 0) << r.err;
        EXPECT_EQ(r.err.find(refused) != std::string::npos, c.code != 0) << r.err;
    }
}

TEST_F(LaunchE2E, SignedInAccountPlaysAsItsProfileAndTheTokenStaysOutOfTheFile) {
    ASSERT_EQ(zyl({"login", k_auth_login}, {}, std::string(k_auth_password) + "\n").code, 0);
    std::string login_token =
        json_str(json_read_file(dir.path + "/account.json").get(), "accessToken");
    const std::string game_dir = dir.path + "/instances/1.20.1";
    const std::string auth = net->url("auth");

    ZylRun r = zyl({"launch", "1.20.1", "--name", "Bob"}, {{"ZYL_NO_AUTHLIB", "1"}});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("Запуск 1.20.1 как Alex (аккаунт Brimfell ID, UUID "
                         "0c3b8a6e-5d2f-4f1a-9e7b-2a4c6d8e0f12), папка "),
              std::string::npos)
        << r.err;
    // The session was refreshed before the start: the game gets the new token.
    JsonPtr account = json_read_file(dir.path + "/account.json");
    std::string token = json_str(account.get(), "accessToken");
    ASSERT_FALSE(token.empty());
    EXPECT_NE(token, login_token);
    StubOutput s = parse_stub(r.out);
    EXPECT_TRUE(has_run(s.args, {"--username", "Alex", "--version", "1.20.1"}));
    EXPECT_TRUE(has_run(s.args, {"--uuid", k_auth_uuid, "--accessToken", token}));
    EXPECT_TRUE(has_run(s.args, {"--userType", "mojang"}));

    std::string text = *fs_read_all(game_dir + "/launch_command.txt");
    EXPECT_EQ(text.find(token), std::string::npos);
    StrList lines = str_split(text, '\n');
    EXPECT_TRUE(has_run(lines, {"--accessToken", "<accessToken>"}));
    EXPECT_TRUE(has_run(lines, {"-Dminecraft.launcher.brand=zyl-launcher",
                                "-Dminecraft.api.auth.host=" + auth + "/auth",
                                "-Dminecraft.api.account.host=" + auth + "/account",
                                "-Dminecraft.api.session.host=" + auth + "/session",
                                "-Dminecraft.api.services.host=" + auth + "/services"}));

    EXPECT_EQ(s.props.count("zyl.authlib_injector"), 0u) << "agent loaded with ZYL_NO_AUTHLIB=1";

    // ZYL_NO_AUTHLIB=0 does not skip the agent: the game starts with it,
    // pointed at the authentication server.
    r = zyl({"launch", "1.20.1"}, {{"ZYL_NO_AUTHLIB", "0"}});
    ASSERT_EQ(r.code, 0) << r.err;
    s = parse_stub(r.out);
    EXPECT_EQ(s.props["zyl.authlib_injector"], auth + "/authlib-injector");
    lines = str_split(*fs_read_all(game_dir + "/launch_command.txt"), '\n');
    EXPECT_TRUE(has_run(
        lines, {"-Dminecraft.launcher.brand=zyl-launcher",
                "-javaagent:" + dir.path + "/authlib-injector.jar=" + auth + "/authlib-injector"}));

    // --offline plays as the nick given.
    r = zyl({"launch", "1.20.1", "--name", "Bob", "--offline"});
    ASSERT_EQ(r.code, 0) << r.err;
    s = parse_stub(r.out);
    EXPECT_TRUE(has_run(s.args, {"--username", "Bob"}));
    EXPECT_TRUE(has_run(
        s.args, {"--accessToken", "0", "--clientId", "0", "--xuid", "0", "--userType", "legacy"}));

    // The server down: the launch says so and how to play anyway.
    r = zyl({"launch", "1.20.1"},
            {{"ZYL_NO_AUTHLIB", "1"}, {"ZYL_ENDPOINTS", net->endpoints_env({"auth"})}});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Аккаунт: Нет связи с сервером "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Можно играть без аккаунта: --offline"), std::string::npos) << r.err;

    // An expired session stops the launch before anything starts.
    auth_world().expired = 401;
    fs_delete(game_dir + "/launch_command.txt");
    r = zyl({"launch", "1.20.1"}, {{"ZYL_NO_AUTHLIB", "1"}});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Аккаунт: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("— войдите в аккаунт заново\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("PID игры"), std::string::npos);
    EXPECT_FALSE(fs_exists(game_dir + "/launch_command.txt"));
}
