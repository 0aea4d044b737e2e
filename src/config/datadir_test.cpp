#include "config/datadir.h"

#include "base/fs.h"
#include "fakenet/run_zyl.h"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

TEST(DatadirIni, ReadingRules) {
    struct Case {
        const char *text;
        const char *want; // nullptr: absent
    } cases[] = {
        {"data_dir=/srv/zyl\n", "/srv/zyl"},
        {"\xEF\xBB\xBF; ZYL Launcher\r\ndata_dir=/srv/zyl\r\n", "/srv/zyl"},
        {"  DATA_DIR \t=  \"D:\\Games\\ZYL\\\"  \r\n", "D:/Games/ZYL"},
        {"data_dir=games\n", "/opt/zyl/games"},
        {"data_dir=\ndata_dir=/second\n", "/second"},
        {"data_dir=   \n", nullptr},
        {"; data_dir=/commented\nother=1\n", nullptr},
        {"data_directory=/x\n", nullptr},
        {"data_dir /x\n", nullptr},
    };
    for (const Case &c : cases) {
        auto got = datadir_ini_parse(c.text, "/opt/zyl");
        if (c.want) {
            ASSERT_TRUE(got) << c.text;
            EXPECT_EQ(*got, c.want) << c.text;
        } else {
            EXPECT_FALSE(got) << c.text;
        }
    }
}

// Each test gets its own executable folder, config home and data folders.
class DatadirTest : public testing::Test {
  protected:
    TempDir t;
    std::string exe, cfg;
    void SetUp() override {
        exe = t.path + "/exe";
        cfg = t.path + "/cfg";
        fs_mkdirs(exe);
        fs_mkdirs(cfg);
        datadir_set_exe_dir_for_tests(exe);
        setenv("XDG_CONFIG_HOME", cfg.c_str(), 1);
        unsetenv("ZYL_HOME");
    }
    void TearDown() override {
        datadir_set_exe_dir_for_tests("");
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("ZYL_HOME");
    }
};

TEST_F(DatadirTest, ResolutionOrder) {
    setenv("ZYL_HOME", (t.path + "/home").c_str(), 1);
    datadir_resolve(t.path + "/cli");
    EXPECT_STREQ(datadir_label(), "--data-dir");
    EXPECT_TRUE(fs_is_dir(t.path + "/cli/instances"));

    datadir_resolve(std::string()); // "--data-dir=" with nothing counts as absent
    EXPECT_STREQ(datadir_label(), "$ZYL_HOME");
    EXPECT_EQ(datapaths().data, t.path + "/home");

    setenv("ZYL_HOME", "", 1); // empty falls through to the ini files
    fs_write_atomic(exe + "/zyl.ini", "data_dir=fromini\n");
    datadir_resolve(std::nullopt);
    EXPECT_STREQ(datadir_label(), "zyl.ini");
    EXPECT_EQ(datapaths().data, exe + "/fromini");

    fs_write_atomic(cfg + "/zyl-launcher-location.ini", "data_dir=" + t.path + "/user\n");
    datadir_resolve(std::nullopt);
    EXPECT_STREQ(datadir_label(), "user zyl.ini");

    fs_delete(cfg + "/zyl-launcher-location.ini");
    fs_write_atomic(exe + "/zyl.ini", "data_dir=\n");
    datadir_resolve(std::nullopt);
    EXPECT_STREQ(datadir_label(), "exe folder");
    EXPECT_EQ(datapaths().data, exe + "/data");
    EXPECT_EQ(datapaths().cache, exe + "/data/cache");
}

// Readers on other threads always get one whole record while the paths are
// published again and again: never the data folder of one and the
// libraries of another.
TEST_F(DatadirTest, ReadersSeeWholeSnapshotsWhilePathsChange) {
    const std::string a = t.path + "/a", b = t.path + "/b";
    datapaths_set(a);
    std::atomic<bool> done{false};
    std::atomic<int> mixed{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; i++)
        readers.emplace_back([&] {
            while (!done) {
                DataPaths p = datapaths();
                if ((p.data != a && p.data != b) || p.libraries != p.data + "/libraries" ||
                    p.cache != p.data + "/cache")
                    mixed++;
            }
        });
    for (int i = 0; i < 300; i++)
        datapaths_set(i % 2 ? a : b);
    done = true;
    for (std::thread &r : readers)
        r.join();
    EXPECT_EQ(mixed.load(), 0);
}

TEST_F(DatadirTest, InstalledExecutableUsesXdgDataHome) {
    datadir_set_exe_dir_for_tests("/usr/bin");
    setenv("XDG_DATA_HOME", (t.path + "/share").c_str(), 1);
    datadir_resolve(std::nullopt);
    unsetenv("XDG_DATA_HOME");
    EXPECT_STREQ(datadir_label(), "$XDG_DATA_HOME");
    EXPECT_EQ(datapaths().data, t.path + "/share/zyl-launcher");
    // "/usrlocal" is not under "/usr".
    datadir_set_exe_dir_for_tests(t.path + "/usrlocal");
    datadir_resolve(std::nullopt);
    EXPECT_STREQ(datadir_label(), "exe folder");
}

TEST_F(DatadirTest, RelocateRules) {
    datapaths_set(t.path + "/cur");
    std::string err;
    EXPECT_EQ(datadir_relocate(t.path + "/cur/", false, &err), 0); // same folder: nothing written
    EXPECT_FALSE(fs_exists(exe + "/zyl.ini"));

    EXPECT_EQ(datadir_relocate(t.path + "/cur/inner", false, &err), -1);
    EXPECT_EQ(err, "Новая папка не может быть внутри текущей");

    fs_write_atomic(t.path + "/blocker", "file");
    EXPECT_EQ(datadir_relocate(t.path + "/blocker/x", false, &err), -1);
    EXPECT_EQ(err, "Не удалось создать " + t.path + "/blocker/x");

    // A sibling that only shares the name's beginning is fine.
    ASSERT_EQ(datadir_relocate(t.path + "/cur2", false, &err), 0);
    EXPECT_EQ(datapaths().data, t.path + "/cur2");
    EXPECT_STREQ(datadir_label(), "zyl.ini");
    EXPECT_EQ(*fs_read_all(exe + "/zyl.ini"), "; ZYL Launcher\r\ndata_dir=" + t.path + "/cur2\r\n");
}

TEST_F(DatadirTest, RelocateMovesData) {
    datapaths_set(t.path + "/old");
    fs_write_atomic(t.path + "/old/settings.json", "{}");
    fs_write_atomic(t.path + "/old/instances/A/instance.json", "{}");
    fs_write_atomic(t.path + "/old/versions/1.20.1/1.20.1.json", "{}");
    fs_mkdirs(t.path + "/new/instances");                       // empty: replaced
    fs_write_atomic(t.path + "/new/versions/keep.txt", "mine"); // not empty: skipped
    fs_write_atomic(cfg + "/zyl-launcher-location.ini", "data_dir=/elsewhere\n");
    std::string err;
    ASSERT_EQ(datadir_relocate(t.path + "/new", true, &err), 0);
    EXPECT_TRUE(fs_exists(t.path + "/new/instances/A/instance.json"));
    EXPECT_TRUE(fs_exists(t.path + "/new/settings.json"));
    EXPECT_FALSE(fs_exists(t.path + "/old/instances"));
    EXPECT_TRUE(fs_exists(t.path + "/old/versions/1.20.1/1.20.1.json"));
    EXPECT_FALSE(fs_exists(t.path + "/new/versions/1.20.1"));
    // The per-user ini would override zyl.ini at the next start: it is gone.
    EXPECT_FALSE(fs_exists(cfg + "/zyl-launcher-location.ini"));
}
