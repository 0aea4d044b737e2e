// An instance's own launch settings as a player sets them from the console:
// stored in instance.json, shown beside what the launcher's settings give,
// and used by every launch of that instance.
#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"
#include "fakenet/e2e_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

namespace {

std::string joined(const std::vector<std::string> &args) {
    std::string out;
    for (const std::string &a : args)
        out += (out.empty() ? "" : " ") + a;
    return out;
}

class InstanceSettingsE2E : public ZylE2E {
  protected:
    std::string inst() { return data.path + "/instances/instance"; }
    void SetUp() override {
        unsetenv("ZYL_JAVA"); // the launches pick their Java here
        ASSERT_EQ(zyl({"create", "Моя сборка", "1.20.1"}).code, 0);
    }
    // The lines of launch_command.txt after a launch of the instance.
    StrList launched(const std::vector<std::string> &extra = {}) {
        std::vector<std::string> args = {"launch", "--instance", "Моя сборка"};
        args.insert(args.end(), extra.begin(), extra.end());
        last = zyl(args);
        EXPECT_EQ(last.code, 0) << last.err;
        return str_split(fs_read_all(inst() + "/launch_command.txt").value_or(""), '\n');
    }
    static bool has(const StrList &all, const StrList &seq) {
        return std::search(all.begin(), all.end(), seq.begin(), seq.end()) != all.end();
    }
    ZylRun last;
};

TEST_F(InstanceSettingsE2E, StoredShownAndUsedByEveryLaunch) {
    std::string runtime = data.path + "/java/java-runtime-gamma/bin/java";
    ASSERT_EQ(fs_write_atomic(data.path + "/settings.json", R"({"jvm_args":"-Dfrom.settings=1"})"),
              0);
    ZylRun r = zyl({"instance", "show", "Моя сборка"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Сборка «Моя сборка» (папка instances/instance)\n"
                     "Minecraft 1.20.1 · Vanilla · профиль 1.20.1\n"
                     "ram_mb=как в настройках (4096)\n"
                     "java_path=как в настройках (авто)\n"
                     "jvm_args=как в настройках (-Dfrom.settings=1)\n"
                     "width=как в настройках (1280)\n"
                     "height=как в настройках (720)\n"
                     "server=как в настройках (нет)\n");

    // A Java of the instance's own: a wrapper that says it ran.
    std::string wrapper = data.path + "/my-java";
    fs_write_atomic(wrapper, "#!/bin/sh\necho OWN-JAVA\nexec " + runtime + " \"$@\"\n");
    chmod(wrapper.c_str(), 0755);
    const std::vector<std::vector<std::string>> sets = {
        {"ram_mb", "3G"},
        // The value is the rest of the line, options and all.
        {"jvm_args", "-Dzyl.own=yes", "-Xss2M"},
        {"width", "1600"},
        {"height", "900"},
        {"server", "play.example.org:25570"},
        {"java_path", wrapper},
    };
    for (const auto &s : sets) {
        std::vector<std::string> args = {"instance", "set", "instance"};
        args.insert(args.end(), s.begin(), s.end());
        r = zyl(args);
        ASSERT_EQ(r.code, 0) << s[0] << ": " << r.err;
    }
    EXPECT_NE(r.out.find("ram_mb=3072\njava_path=" + wrapper +
                         "\njvm_args=-Dzyl.own=yes -Xss2M\nwidth=1600\nheight=900\n"
                         "server=play.example.org:25570\n"),
              std::string::npos)
        << r.out;
    JsonPtr j = json_read_file(inst() + "/instance.json");
    EXPECT_EQ(json_int(j.get(), "ram_mb"), 3072);
    EXPECT_EQ(json_str(j.get(), "jvm_args"), "-Dzyl.own=yes -Xss2M");

    StrList cmd = launched();
    EXPECT_NE(last.out.find("OWN-JAVA"), std::string::npos);
    ASSERT_FALSE(cmd.empty());
    EXPECT_EQ(cmd[0], wrapper);
    EXPECT_TRUE(has(cmd, {"-Xmx3072M", "-Xms1024M"}));
    EXPECT_TRUE(has(cmd, {"-Dzyl.own=yes", "-Xss2M"}));
    EXPECT_FALSE(has(cmd, {"-Dfrom.settings=1"}));
    EXPECT_TRUE(has(cmd, {"--width", "1600", "--height", "900"}));
    EXPECT_TRUE(has(cmd, {"--quickPlayMultiplayer", "play.example.org:25570"}));
    EXPECT_GT(json_num(json_read_file(inst() + "/instance.json").get(), "last_played"), 1e9);

    // What the command line names wins for that run only.
    cmd = launched({"--ram", "1G", "--server", "other.example.org"});
    EXPECT_TRUE(has(cmd, {"-Xmx1024M"}));
    EXPECT_TRUE(has(cmd, {"--quickPlayMultiplayer", "other.example.org"}));
    j = json_read_file(inst() + "/instance.json");
    EXPECT_EQ(json_int(j.get(), "ram_mb"), 3072);
    EXPECT_EQ(json_str(j.get(), "server"), "play.example.org:25570");

    // "auto" picks the launcher's Java even when the settings name a broken one;
    // "default" goes back to the settings, and to the broken Java with them.
    ASSERT_EQ(zyl({"config", "java_path", "/nonexistent/java"}).code, 0);
    ASSERT_EQ(zyl({"instance", "set", "Моя сборка", "java_path", "auto"}).code, 0);
    cmd = launched();
    ASSERT_FALSE(cmd.empty());
    EXPECT_EQ(cmd[0], runtime);
    for (const char *key : {"java_path", "jvm_args", "ram_mb", "width", "height", "server"})
        ASSERT_EQ(zyl({"instance", "set", "Моя сборка", key, "default"}).code, 0) << key;
    r = zyl({"launch", "--instance", "Моя сборка"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Не удалось запустить /nonexistent/java"), std::string::npos) << r.err;
    cmd = str_split(fs_read_all(inst() + "/launch_command.txt").value_or(""), '\n');
    EXPECT_TRUE(has(cmd, {"-Xmx4096M"}));
    EXPECT_TRUE(has(cmd, {"-Dfrom.settings=1"}));
    EXPECT_TRUE(has(cmd, {"--width", "1280", "--height", "720"}));
    EXPECT_EQ(std::find(cmd.begin(), cmd.end(), "--quickPlayMultiplayer"), cmd.end());
    j = json_read_file(inst() + "/instance.json");
    for (const char *key : {"java_path", "jvm_args", "width", "height", "server"})
        EXPECT_FALSE(json_get(j.get(), key)) << key;
}

// Wrong use changes nothing: the usage, an unknown instance or key, and values
// a key cannot take are refused before instance.json is touched.
TEST_F(InstanceSettingsE2E, RefusalsLeaveTheRecordAlone) {
    std::string before = fs_read_all(inst() + "/instance.json").value_or("");
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string err;
    } cases[] = {
        {{"instance"}, 2, "zyl instance show <имя>\n"},
        {{"instance", "show"}, 2, "zyl instance show <имя>\n"},
        {{"instance", "set", "instance", "ram_mb"}, 2, "zyl instance show <имя>\n"},
        {{"instance", "rename", "instance", "x"}, 2, "zyl instance show <имя>\n"},
        {{"instance", "show", "Нет такой"}, 1, "Сборка «Нет такой» не найдена (zyl instances)\n"},
        {{"instance", "set", "Нет такой", "ram_mb", "4G"},
         1,
         "Сборка «Нет такой» не найдена (zyl instances)\n"},
        {{"instance", "set", "instance", "colour", "red"}, 2, "Неизвестный ключ colour\n"},
        {{"instance", "set", "instance", "ram_mb", "0"}, 2, "Неверный объём памяти ram_mb: 0\n"},
        {{"instance", "set", "instance", "ram_mb", "0x10G"},
         2,
         "Неверный объём памяти ram_mb: 0x10G\n"},
        {{"instance", "set", "instance", "ram_mb", "99999999G"},
         2,
         "Неверный объём памяти ram_mb: 99999999G — в компьютере всего "},
        {{"instance", "set", "instance", "width", "99"}, 2, "width: целое число от 320 до 7680\n"},
        {{"instance", "set", "instance", "height", "9x"},
         2,
         "height: целое число от 240 до 4320\n"},
        {{"instance", "set", "instance", "java_path", ""},
         2,
         "Укажите путь к java, auto или default\n"},
        {{"instance", "set", "instance", "server", "\xff"},
         2,
         "Значение server не в кодировке UTF-8\n"},
    };
    for (const Case &c : cases) {
        ZylRun r = zyl(c.args);
        EXPECT_EQ(r.code, c.code) << joined(c.args);
        EXPECT_EQ(r.err.substr(0, c.err.size()), c.err) << joined(c.args);
        EXPECT_EQ(fs_read_all(inst() + "/instance.json").value_or(""), before);
    }
}

// A record that cannot be written says so with the file and the reason, and
// the one on disk stays whole.
TEST_F(InstanceSettingsE2E, UnwritableRecordIsReported) {
    std::string before = fs_read_all(inst() + "/instance.json").value_or("");
    ZylRun r = run_zyl({"--data-dir", data.path, "instance", "set", "instance", "jvm_args",
                        "-Dbig=" + std::string(400, 'x')},
                       {{"ZYL_ENDPOINTS", net->endpoints_env()}, {"ZYL_API", ""}}, "",
                       static_cast<long long>(before.size()));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Не удалось записать " + inst() + "/instance.json: "), std::string::npos)
        << r.err;
    EXPECT_EQ(fs_read_all(inst() + "/instance.json").value_or(""), before);
}

} // namespace
