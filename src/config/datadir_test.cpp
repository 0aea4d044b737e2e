#include "config/datadir.h"

#include "base/fs.h"
#include "fakenet/run_zyl.h"
#include "fakenet/tmpfs_mount.h"
#include "fakenet/tree_state.h"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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

// A small data folder: a library, an asset object with a hard link to it in
// an instance (as old versions' resources are), a world, the settings and a
// signed-in account.
static void put_data(const std::string &d, size_t world_bytes = 3000) {
    fs_write_atomic(d + "/libraries/org/lib.jar", "jar");
    fs_write_atomic(d + "/assets/objects/ab/abcd", "sound");
    fs_write_atomic(d + "/versions/1.20.1/1.20.1.json", "{}");
    fs_write_atomic(d + "/instances/A/instance.json", "{}");
    std::string region;
    for (size_t i = 0; i < world_bytes; i++)
        region += static_cast<char>('a' + i * 7919 % 26);
    fs_write_atomic(d + "/instances/A/saves/W/region/r.0.0.mca", region);
    fs_mkdirs(d + "/instances/A/resources");
    link((d + "/assets/objects/ab/abcd").c_str(), (d + "/instances/A/resources/a.ogg").c_str());
    symlink("../saves", (d + "/instances/A/worlds").c_str());
    fs_write_atomic(d + "/settings.json", "{\"nick\": \"Mover\"}");
    fs_write_atomic_mode(d + "/account.json", "{\"type\": \"drasl\"}", 0600);
}

// What a move leaves in the old folder: logs/ and the empty folders that had
// nothing to move.
static std::map<std::string, std::string> stayed(const std::map<std::string, std::string> &before) {
    std::map<std::string, std::string> out;
    for (const char *k : {"/logs", "/logs/launcher.log", "/java", "/cache"})
        if (before.count(k)) out[k] = before.at(k);
    return out;
}

static unsigned long long inode_of(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Within one file system every entry is renamed (the same inodes), logs/
// stays, an empty folder in the way is replaced, and no record of the move
// is left behind.
TEST_F(DatadirTest, RelocateMovesDataByRenames) {
    const std::string old_dir = t.path + "/old", new_dir = t.path + "/new";
    datapaths_set(old_dir);
    put_data(old_dir);
    fs_write_atomic(old_dir + "/logs/launcher.log", "log");
    fs_mkdirs(new_dir + "/instances");               // empty: replaced
    fs_write_atomic(new_dir + "/notes.txt", "mine"); // not ours: stays
    fs_write_atomic(cfg + "/zyl-launcher-location.ini", "data_dir=/elsewhere\n");
    const auto before = tree_state(old_dir);
    const unsigned long long world = inode_of(old_dir + "/instances/A/saves/W/region/r.0.0.mca");
    std::string err;
    ASSERT_EQ(datadir_relocate(new_dir, true, &err), 0) << err;

    auto after = tree_state(new_dir);
    EXPECT_EQ(after.erase("/notes.txt"), 1u);
    auto moved = before;
    moved.erase("/logs");
    moved.erase("/logs/launcher.log");
    EXPECT_EQ(after, moved);
    EXPECT_EQ(inode_of(new_dir + "/instances/A/saves/W/region/r.0.0.mca"), world);
    EXPECT_EQ(tree_state(old_dir), stayed(before));
    EXPECT_EQ(datapaths().data, new_dir);
    EXPECT_EQ(*fs_read_all(exe + "/zyl.ini"), "; ZYL Launcher\r\ndata_dir=" + new_dir + "\r\n");
    // The per-user ini would override zyl.ini at the next start: it is gone.
    EXPECT_FALSE(fs_exists(cfg + "/zyl-launcher-location.ini"));
}

// Entries already in the target are never taken for moved ones: the move is
// refused before anything changes, naming them.
TEST_F(DatadirTest, RelocateRefusesEntriesInTheWay) {
    const std::string old_dir = t.path + "/old", new_dir = t.path + "/new";
    datapaths_set(old_dir);
    put_data(old_dir);
    fs_write_atomic(new_dir + "/versions/keep.txt", "mine");
    fs_write_atomic(new_dir + "/settings.json", "{}");
    fs_mkdirs(new_dir + "/instances");
    const auto old_before = tree_state(old_dir), new_before = tree_state(new_dir);
    std::string err;
    EXPECT_EQ(datadir_relocate(new_dir, true, &err), -1);
    EXPECT_EQ(err, "Перенос отменён: в новой папке уже есть versions, settings.json");
    EXPECT_EQ(tree_state(old_dir), old_before);
    EXPECT_EQ(tree_state(new_dir), new_before);
    EXPECT_EQ(datapaths().data, old_dir);
    EXPECT_FALSE(fs_exists(exe + "/zyl.ini"));
}

// Targets are compared with the data folder by real paths, both ways, before
// anything is created or moved.
TEST_F(DatadirTest, RelocateComparesRealPaths) {
    const std::string cur = t.path + "/cur";
    datapaths_set(cur);
    put_data(cur);
    symlink((cur + "/instances").c_str(), (t.path + "/to-instances").c_str());
    symlink(cur.c_str(), (t.path + "/to-cur").c_str());
    symlink(t.path.c_str(), (t.path + "/to-parent").c_str());
    const auto before = tree_state(cur);
    struct Case {
        std::string target;
        bool move;
        const char *error;
    } cases[] = {
        {cur + "/../cur/instances/x", true, "Новая папка не может быть внутри текущей"},
        {cur + "/../cur/instances/x", false, "Новая папка не может быть внутри текущей"},
        {t.path + "/to-instances/x", true, "Новая папка не может быть внутри текущей"},
        // ".." after a folder not made yet: resolved as mkdir will resolve it.
        {t.path + "/missing/../cur/instances/x", true, "Новая папка не может быть внутри текущей"},
        {t.path + "/missing/../to-cur/instances/x", true,
         "Новая папка не может быть внутри текущей"},
        {t.path + "/to-cur", true, "Новая папка совпадает с текущей"},
        {t.path + "/to-cur/./", true, "Новая папка совпадает с текущей"},
        {t.path, true, "Текущая папка не может быть внутри новой"},
        {t.path + "/to-parent", true, "Текущая папка не может быть внутри новой"},
    };
    for (const Case &c : cases) {
        std::string err;
        EXPECT_EQ(datadir_relocate(c.target, c.move, &err), -1) << c.target;
        EXPECT_EQ(err, c.error) << c.target;
    }
    EXPECT_FALSE(fs_exists(cur + "/instances/x"));
    EXPECT_FALSE(fs_exists(t.path + "/missing"));
    EXPECT_EQ(tree_state(cur), before);
    EXPECT_FALSE(fs_exists(exe + "/zyl.ini"));
    EXPECT_EQ(datapaths().data, cur);

    // A name that zyl.ini would read back as another folder is refused too.
    std::string err;
    EXPECT_EQ(datadir_relocate(t.path + "/\"quoted\"", false, &err), -1);
    EXPECT_EQ(err, "Путь «" + t.path + "/\"quoted\"» нельзя записать в zyl.ini");
    // Without moving, the folder above the data folder is a folder like any other.
    ASSERT_EQ(datadir_relocate(t.path + "/to-parent", false, &err), 0) << err;
    EXPECT_EQ(datapaths().data, t.path + "/to-parent");
}

// When the new place cannot be recorded, the renamed entries go back: the
// old folder stays whole and in use.
TEST_F(DatadirTest, RelocateThatCannotBeRecordedPutsEverythingBack) {
    const std::string old_dir = t.path + "/old", new_dir = t.path + "/new";
    datapaths_set(old_dir);
    put_data(old_dir);
    // Neither ini can be written: each would go below a file.
    fs_write_atomic(t.path + "/file", "x");
    datadir_set_exe_dir_for_tests(t.path + "/file/exe");
    setenv("XDG_CONFIG_HOME", (t.path + "/file/cfg").c_str(), 1);
    const auto before = tree_state(old_dir);
    std::string err;
    EXPECT_EQ(datadir_relocate(new_dir, true, &err), -1);
    EXPECT_EQ(err, "Не удалось сохранить zyl.ini: " + fs_error_text(ENOTDIR));
    EXPECT_EQ(tree_state(old_dir), before);
    EXPECT_EQ(tree_state(new_dir), (std::map<std::string, std::string>{}));
    EXPECT_EQ(datapaths().data, old_dir);
}

// The move onto a file system too small for it fails at the world's copy:
// the old folder stays whole and in use, the target holds nothing, and the
// cause is named. With room made, the same move succeeds and the copy is
// exact (modes, a symlink, the hard link, the secret's mode).
TEST_F(DatadirTest, MoveOntoFullDiskThenRetry) {
    const std::string old_dir = t.path + "/old", new_dir = t.path + "/new";
    TmpfsMount disk(new_dir, "256k");
    if (!disk.mounted) GTEST_SKIP() << disk.why;
    datapaths_set(old_dir);
    put_data(old_dir, 600 * 1024);
    fs_write_atomic(old_dir + "/logs/launcher.log", "log");
    auto before = tree_state(old_dir);
    std::string err;
    EXPECT_EQ(datadir_relocate(new_dir, true, &err), -1);
    EXPECT_EQ(err, "Ошибка копирования instances: Нет места на диске");
    EXPECT_EQ(tree_state(old_dir), before);
    EXPECT_EQ(tree_state(new_dir), (std::map<std::string, std::string>{}));
    EXPECT_EQ(datapaths().data, old_dir);
    EXPECT_FALSE(fs_exists(exe + "/zyl.ini"));

    ASSERT_EQ(disk.resize("4m"), 0);
    ASSERT_EQ(datadir_relocate(new_dir, true, &err), 0) << err;
    const auto old_before = before;
    before.erase("/logs");
    before.erase("/logs/launcher.log");
    EXPECT_EQ(tree_state(new_dir), before);
    EXPECT_EQ(inode_of(new_dir + "/instances/A/resources/a.ogg"),
              inode_of(new_dir + "/assets/objects/ab/abcd"));
    EXPECT_EQ(tree_state(old_dir), stayed(old_before));
    EXPECT_EQ(datapaths().data, new_dir);
}

// A folder on a read-only file system is refused, switching or moving,
// whether it is there already or would be made, before anything is written.
TEST_F(DatadirTest, ReadOnlyFolderIsRefused) {
    TmpfsMount disk(t.path + "/ro", "1m");
    if (!disk.mounted) GTEST_SKIP() << disk.why;
    fs_mkdirs(t.path + "/ro/games");
    ASSERT_EQ(disk.read_only(), 0);
    const std::string cur = t.path + "/cur";
    datapaths_set(cur);
    put_data(cur);
    const auto before = tree_state(cur);
    for (const std::string &target : {t.path + "/ro/games", t.path + "/ro/new/games"}) {
        for (bool move : {false, true}) {
            std::string err;
            EXPECT_EQ(datadir_relocate(target, move, &err), -1) << target << " " << move;
            EXPECT_EQ(err, "Папка только для чтения: " + target);
        }
    }
    EXPECT_FALSE(fs_exists(exe + "/zyl.ini"));
    EXPECT_EQ(tree_state(cur), before);
    EXPECT_EQ(datapaths().data, cur);
}
