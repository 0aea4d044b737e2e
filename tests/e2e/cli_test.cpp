// Console entry: help, usage errors, settings and the data folder commands.
#include "base/fs.h"
#include "base/json.h"
#include "fakenet/run_zyl.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

static std::string golden_help() {
    return *fs_read_all(std::string(ZYL_TEST_SOURCE_DIR) + "/tests/e2e/help.txt");
}

// Runs without any endpoint override so the help shows the default service.
static const std::map<std::string, std::string> k_clean_env = {{"ZYL_ENDPOINTS", ""},
                                                               {"ZYL_API", ""}};

TEST(Cli, HelpIsExactAndTouchesNothing) {
    TempDir t;
    for (const char *word : {"help", "--help", "-h"}) {
        ZylRun r = run_zyl({"--data-dir", t.path + "/d", word}, k_clean_env);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out, golden_help());
    }
    EXPECT_FALSE(fs_exists(t.path + "/d"));
}

TEST(Cli, UsageErrors) {
    TempDir t;
    std::string d = t.path + "/d";
    ZylRun r = run_zyl({"frobnicate", "--data-dir", d}, k_clean_env);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, golden_help());
    EXPECT_TRUE(fs_is_dir(d + "/versions")); // created before the word was looked at

    r = run_zyl({"--data-dir", d, "config", "--bogus"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "Неизвестный аргумент: --bogus\n");
    // More words than a command takes (config's value is the rest of its line).
    r = run_zyl({"--data-dir", d, "delete", "a", "b", "c", "d"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "Неизвестный аргумент: d\n");
    for (const char *ram : {"0", "-1", "nan", "1e400"}) {
        r = run_zyl({"--data-dir", d, "config", "--ram", ram});
        EXPECT_EQ(r.code, 2) << ram;
        EXPECT_EQ(r.err, std::string("Неверный объём памяти --ram: ") + ram + "\n");
    }
}

// The version, a command's own --help, and an unknown word with the command
// it most likely meant.
TEST(Cli, VersionHelpAndSuggestion) {
    TempDir t;
    std::string d = t.path + "/d";
    for (const char *word : {"--version", "-V"}) {
        ZylRun r = run_zyl({"--data-dir", d, word}, k_clean_env);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out, "zyl-launcher 1.5.1\n");
    }
    EXPECT_FALSE(fs_exists(d));
    for (std::vector<std::string> args : {std::vector<std::string>{"install", "--help"},
                                          {"mods", "list", "-h", "--instance", "x"}}) {
        args.insert(args.begin(), {"--data-dir", d});
        ZylRun r = run_zyl(args, k_clean_env);
        EXPECT_EQ(r.code, 0) << args[2];
        EXPECT_EQ(r.out, golden_help());
        EXPECT_EQ(r.err, "");
    }
    ZylRun r = run_zyl({"--data-dir", d, "instal", "1.20.1"}, k_clean_env);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "Неизвестная команда «instal» — может быть, install?\n");
    EXPECT_EQ(r.out, golden_help());
    r = run_zyl({"--data-dir", d, "frobnicate"}, k_clean_env);
    EXPECT_EQ(r.err, "Неизвестная команда «frobnicate»\n");
}

// A change that cannot be saved (a full disk: here a file size limit) fails
// with the file and the system's reason, and the old settings stay.
TEST(Cli, ConfigThatCannotBeSavedFails) {
    TempDir t;
    std::string d = t.path + "/d";
    ASSERT_EQ(run_zyl({"--data-dir", d, "config", "nick", "Old"}, k_clean_env).code, 0);
    ZylRun r = run_zyl({"--data-dir", d, "config", "nick", "New"}, k_clean_env, "", 100);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Не удалось записать " + d + "/settings.json: Файл слишком велик\n");
    EXPECT_EQ(json_str(json_read_file(d + "/settings.json").get(), "nick"), "Old");
}

TEST(Cli, ConfigChangesSettings) {
    TempDir t;
    std::string d = t.path + "/d";
    ZylRun r = run_zyl({"--data-dir", d, "config", "nick", "Alex"}, k_clean_env);
    ASSERT_EQ(r.code, 0) << r.err;
    r = run_zyl({"config", "--data-dir=" + d}, k_clean_env);
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "nick=Alex\nram_gb=4\njava_path=\njvm_args=\nwidth=1280\nheight=720\n"
                     "curseforge_api_key=(пусто)\nrenderer=auto\n"
                     "api_url=https://api.brimfell.example\nданные: " +
                         d + "\n");
    JsonPtr j = json_read_file(d + "/settings.json");
    ASSERT_TRUE(j);
    EXPECT_STREQ(j->child->string, "nick");
    EXPECT_EQ(json_str(j.get(), "nick"), "Alex");

    r = run_zyl({"--data-dir", d, "config", "api_url", "http://mirror.local//"}, {{"ZYL_API", ""}});
    EXPECT_NE(r.out.find("api_url=http://mirror.local\n"), std::string::npos);
    r = run_zyl({"--data-dir", d, "config"}, {{"ZYL_API", "http://env.local/"}});
    EXPECT_NE(r.out.find("api_url=http://env.local\n"), std::string::npos);

    // JVM options begin with "-": the rest of the line is the value.
    r = run_zyl({"--data-dir", d, "config", "jvm_args", "-XX:+UseZGC", "-Xss4m"}, k_clean_env);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("jvm_args=-XX:+UseZGC -Xss4m\n"), std::string::npos) << r.out;
}

// The renderer is one of the four the interface knows: another is refused by
// "config" and read as "auto" from settings.json.
TEST(Cli, RendererTakesOnlyKnownValues) {
    TempDir t;
    std::string d = t.path + "/d";
    ASSERT_EQ(run_zyl({"--data-dir", d, "config", "renderer", "cairo"}, k_clean_env).code, 0);
    ZylRun r = run_zyl({"--data-dir", d, "config", "renderer", "metal"}, k_clean_env);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err,
              "Недопустимое значение renderer: metal (допустимо: auto, gl, vulkan, cairo)\n");
    EXPECT_EQ(json_str(json_read_file(d + "/settings.json").get(), "renderer"), "cairo");
    ASSERT_EQ(fs_write_atomic(d + "/settings.json", R"({"renderer":"metal","nick":"Alex"})"), 0);
    r = run_zyl({"--data-dir", d, "config"}, k_clean_env);
    EXPECT_NE(r.out.find("nick=Alex\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("renderer=auto\n"), std::string::npos) << r.out;
}

// A state file that is a FIFO or a device (here through a symlink) never
// blocks a command or fills its memory: it counts as damaged, and the rule
// for a damaged file of its kind applies.
TEST(Cli, StateFilesThatAreNotFilesReadAsDamaged) {
    struct Case {
        const char *file;
        bool fifo; // else a symlink to /dev/zero
        std::vector<std::string> args;
        int code;
        const char *out_has;
    } cases[] = {
        {"settings.json", false, {"config"}, 0, "nick=Player\n"},
        {"settings.json", true, {"config"}, 0, "nick=Player\n"},
        {"account.json", true, {"whoami"}, 1, "Офлайн, ник: Player"},
        {"account.json", false, {"whoami"}, 1, "Офлайн, ник: Player"},
        {"instances/Mir/instance.json", true, {"instances"}, 0, ""},
        {"instances/Mir/instance.json", false, {"instances"}, 0, ""},
        {"instances/Mir/zyl-content.json",
         true,
         {"mods", "list", "--instance", "Mir"},
         0,
         "Сборка Mir"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        TempDir t;
        std::string d = t.path + "/d", path = d + "/" + c.file;
        ASSERT_EQ(fs_mkdirs_parent(path), 0);
        if (std::string(c.file).find("zyl-content") != std::string::npos) {
            ASSERT_EQ(fs_write_atomic(d + "/instances/Mir/instance.json", R"({"name":"Mir"})"), 0);
        }
        ASSERT_EQ(c.fifo ? mkfifo(path.c_str(), 0644) : symlink("/dev/zero", path.c_str()), 0);
        std::vector<std::string> args = {"--data-dir", d};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ZylRun r = run_zyl(args, k_clean_env);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.out.find(c.out_has), std::string::npos) << r.out;
    }
}

TEST(Cli, DatadirMoveRecordsNewPlace) {
    TempDir t;
    std::string d = t.path + "/d", n = t.path + "/new";
    // XDG_CONFIG_HOME keeps the per-user ini inside the test folder.
    std::map<std::string, std::string> env = {{"XDG_CONFIG_HOME", t.path + "/cfg"},
                                              {"ZYL_HOME", ""}};
    ASSERT_EQ(run_zyl({"--data-dir", d, "config", "nick", "Mover"}, env).code, 0);
    ZylRun r = run_zyl({"--data-dir", d, "datadir"}, env);
    EXPECT_EQ(r.out, d + "\n(источник: --data-dir)\n");

    r = run_zyl({"--data-dir", d, "datadir", n, "--move"}, env);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, n + "\n(источник: zyl.ini)\n");
    EXPECT_TRUE(fs_exists(n + "/settings.json"));
    EXPECT_FALSE(fs_exists(d + "/settings.json"));
    // The exe folder (build/) may not be writable everywhere; one of the two inis holds it.
    std::string exe_ini =
        std::string(ZYL_BINARY).substr(0, std::string(ZYL_BINARY).rfind('/')) + "/zyl.ini";
    auto ini = fs_read_all(exe_ini);
    if (!ini) ini = fs_read_all(t.path + "/cfg/zyl-launcher-location.ini");
    ASSERT_TRUE(ini);
    EXPECT_EQ(*ini, "; ZYL Launcher\r\ndata_dir=" + n + "\r\n");
    fs_delete(exe_ini);

    r = run_zyl({"--data-dir", d, "datadir", d + "/inner"}, env);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Ошибка: Новая папка не может быть внутри текущей\n");
}
