#include "config/settings.h"

#include "base/fs.h"
#include "base/json.h"
#include "config/datadir.h"
#include "fakenet/run_zyl.h"

#include <gtest/gtest.h>

class SettingsTest : public testing::Test {
  protected:
    TempDir t;
    void SetUp() override { datapaths_set(t.path); }
    std::string file() { return t.path + "/settings.json"; }
};

TEST_F(SettingsTest, DefaultsWithoutFilesWriteNothing) {
    settings_load();
    EXPECT_EQ(g_settings.nick, "Player");
    EXPECT_EQ(g_settings.ram_gb, 4);
    EXPECT_EQ(g_settings.renderer, "auto");
    EXPECT_FALSE(fs_exists(file()));
    fs_write_atomic(file(), "not json");
    settings_load();
    EXPECT_EQ(g_settings.width, 1280);
}

TEST_F(SettingsTest, TypeRules) {
    fs_write_atomic(file(), R"({"nick":"Alex","ram_gb":6.7,"width":"1920","height":0,
        "close_on_play":1,"java_path":5,"renderer":"cairo"})");
    settings_load();
    EXPECT_EQ(g_settings.nick, "Alex");
    EXPECT_EQ(g_settings.ram_gb, 6);
    EXPECT_EQ(g_settings.width, 1280);      // a string keeps the default
    EXPECT_EQ(g_settings.height, 720);      // not positive keeps the default
    EXPECT_FALSE(g_settings.close_on_play); // only JSON true counts
    EXPECT_EQ(g_settings.java_path, "");
    EXPECT_EQ(g_settings.renderer, "cairo");
    fs_write_atomic(file(), R"({"ram_gb":"8"})");
    settings_load();
    EXPECT_EQ(g_settings.ram_gb, 4);
    // Text that is not UTF-8 keeps the default, so the next save is valid again.
    fs_write_atomic(file(), "{\"nick\":\"A\xff\xfe\",\"server\":\"h\xc3\"}");
    settings_load();
    EXPECT_EQ(g_settings.nick, "Player");
    EXPECT_EQ(g_settings.server, "");
}

TEST_F(SettingsTest, SavedKeyOrder) {
    settings_load();
    g_settings.api_url = "http://mirror";
    settings_save();
    JsonPtr j = json_read_file(file());
    ASSERT_TRUE(j);
    std::string keys;
    for (cJSON *c = j->child; c; c = c->next)
        keys += std::string(c->string) + " ";
    EXPECT_EQ(keys, "nick ram_gb server java_path jvm_args width height close_on_play "
                    "curseforge_api_key last_instance renderer auth_mode api_url ");
    g_settings.api_url = "";
    settings_save();
    EXPECT_EQ(fs_read_all(file())->find("api_url"), std::string::npos);
}

TEST_F(SettingsTest, LegacyTextConvertedOnce) {
    fs_write_atomic(t.path + "/settings.txt", "nick=Стив\nram=8\nserver=mc.example:25565\nx=y\n");
    settings_load();
    EXPECT_EQ(g_settings.nick, "Стив");
    EXPECT_EQ(g_settings.ram_gb, 8);
    EXPECT_EQ(g_settings.server, "mc.example:25565");
    ASSERT_TRUE(fs_exists(file()));
    fs_write_atomic(t.path + "/settings.txt", "nick=Other\n");
    settings_load();
    EXPECT_EQ(g_settings.nick, "Стив");
}

// Servers take 3 to 16 Latin letters, digits and "_"; the warning says which
// rule a nick breaks, and Cyrillic gets its own words.
TEST(NickWarning, SaysWhyServersRefuse) {
    struct Case {
        const char *nick;
        const char *starts; // "" when servers take it
    } cases[] = {
        {"Steve_2011", ""},
        {"ABCDEFGHIJKLMNOP", ""}, // 16
        {"", "Ник пустой"},
        {"ABCDEFGHIJKLMNOPQ", "Ник длиннее 16 символов"},
        {"СтивСтивСтивСтив", "Ник на кириллице"}, // 16 letters, 32 bytes: not too long
        {"Стив2", "Ник на кириллице"},
        {"Bad Nick", "В нике только латинские буквы"},
        {"Hi!", "В нике только латинские буквы"},
        {"Стив!", "В нике только латинские буквы"},
    };
    for (const Case &c : cases) {
        std::string w = settings_nick_warning(c.nick);
        if (!*c.starts)
            EXPECT_EQ(w, "") << c.nick;
        else
            EXPECT_EQ(w.rfind(c.starts, 0), 0u) << c.nick << ": " << w;
    }
}
