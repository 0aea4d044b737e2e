// The "config" command: unknown keys, the printout, values that are refused,
// warned about or held to range, and changes other processes made meanwhile.
#include "cli/cmd_settings.h"

#include "base/fs.h"
#include "base/json.h"
#include "config/datadir.h"
#include "config/settings.h"
#include "fakenet/run_zyl.h"

#include <gtest/gtest.h>

class ConfigCommandTest : public testing::Test {
  protected:
    TempDir t;
    void SetUp() override { datapaths_set(t.path); }
    std::string file() { return t.path + "/settings.json"; }
};

TEST_F(ConfigCommandTest, ConfigCommand) {
    settings_load();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(cmd_config(std::string("color"), std::string("red")), 2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Неизвестный ключ color\n");
    testing::internal::GetCapturedStdout();

    testing::internal::CaptureStdout();
    EXPECT_EQ(cmd_config(std::string("ram_gb"), std::string("2")), 0);
    EXPECT_EQ(cmd_config(std::string("curseforge_api_key"), std::string("k")), 0);
    EXPECT_EQ(cmd_config(std::string("api_url"), std::string("default")), 0);
    EXPECT_EQ(cmd_config(std::string("nick"), std::nullopt), 0); // shows, changes nothing
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("ram_gb=2\n"), std::string::npos);
    EXPECT_NE(out.find("curseforge_api_key=(задан)\n"), std::string::npos);
    EXPECT_NE(out.find("данные: " + t.path + "\n"), std::string::npos);

    // Memory is a whole number of gigabytes the machine has; an empty nick is
    // not saved, one servers refuse is saved with the warning.
    struct Refused {
        const char *key, *value, *says;
    } refused[] = {
        {"ram_gb", "0", "Неверное значение ram_gb: 0 (целое число гигабайт"},
        {"ram_gb", "0x10", "Неверное значение ram_gb: 0x10 (целое"},
        {"ram_gb", "99999999", "Неверное значение ram_gb: 99999999 (целое"},
        {"ram_gb", "999999", "Неверное значение ram_gb: 999999 ГБ — в компьютере всего "},
        {"nick", "", "Ник пустой — введите ник — не сохранён\n"},
    };
    for (const Refused &r : refused) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(cmd_config(std::string(r.key), std::string(r.value)), 2) << r.value;
        EXPECT_EQ(testing::internal::GetCapturedStderr().rfind(r.says, 0), 0u) << r.value;
    }
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(cmd_config(std::string("nick"), std::string("Bad Nick!")), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Внимание: " + settings_nick_warning("Bad Nick!") + "\n");
    testing::internal::GetCapturedStdout();
    settings_load();
    EXPECT_EQ(g_settings.ram_gb, 2);
    EXPECT_EQ(g_settings.nick, "Bad Nick!");
    ASSERT_EQ(cmd_config(std::string("nick"), std::string("Player")), 0);

    // Text that is not UTF-8 is refused; numbers past the int range are held there.
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(cmd_config(std::string("nick"), std::string("Bad\xff")), 2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Значение nick не в кодировке UTF-8\n");
    EXPECT_EQ(cmd_config(std::string("width"), std::string("99999999999")), 0);
    testing::internal::GetCapturedStdout();
    JsonPtr j = json_read_file(file());
    EXPECT_EQ(json_str(j.get(), "nick"), "Player");
    EXPECT_EQ(json_num(j.get(), "width"), 2147483647);
}

// A change reads the file again first: what another process saved since this
// one loaded its settings is kept.
TEST_F(ConfigCommandTest, ConfigKeepsChangesOfOtherProcesses) {
    settings_load();
    fs_write_atomic(file(), R"({"nick":"FromElsewhere","jvm_args":"-Dx=1"})");
    testing::internal::CaptureStdout();
    EXPECT_EQ(cmd_config(std::string("width"), std::string("800")), 0);
    testing::internal::GetCapturedStdout();
    JsonPtr j = json_read_file(file());
    EXPECT_EQ(json_str(j.get(), "nick"), "FromElsewhere");
    EXPECT_EQ(json_str(j.get(), "jvm_args"), "-Dx=1");
    EXPECT_EQ(json_num(j.get(), "width"), 800);
}
