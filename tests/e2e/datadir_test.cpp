// "zyl datadir <folder> --move" killed with SIGKILL at chosen moments (the
// test-only hook ZYL_TEST_MOVE_KILL): the next run finds either the old data
// folder in use and whole, or the new one, and clears what the killed move
// left. The instances live on a file system of their own, so the move both
// copies (instances) and renames (everything else).
#include "base/fs.h"
#include "base/strings.h"
#include "fakenet/fakenet.h"
#include "fakenet/run_zyl.h"
#include "fakenet/tmpfs_mount.h"
#include "fakenet/tree_state.h"

#include <chrono>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace {

struct KillCase {
    const char *point;
    bool new_in_use; // after the next run
};

// Each moment at which a move can be killed: undone unless zyl.ini already
// names the new folder ("placed": every entry is there, zyl.ini not yet
// written).
const KillCase k_kill_cases[] = {
    {"copy", false}, {"rename", false}, {"placed", false}, {"record", true}};

void PrintTo(const KillCase &c, std::ostream *os) {
    *os << c.point;
}

// The message of the next start.
std::string recovered_text(const KillCase &c, const std::string &old_dir,
                           const std::string &new_dir) {
    return "Прерванный перенос данных в " + new_dir +
           (c.new_in_use ? " завершён\n" : " отменён, данные остались в " + old_dir + "\n");
}

// Drops the folders that hold nothing (those a start makes in whichever
// folder it is given).
void drop_empty_folders(std::map<std::string, std::string> &s) {
    for (auto it = s.begin(); it != s.end();) {
        auto next = std::next(it);
        bool holds = next != s.end() && str_starts_with(next->first, it->first + "/");
        it = (str_starts_with(it->second, "d ") && !holds) ? s.erase(it) : next;
    }
}

// A data folder with a world, a library, a version, the settings and an
// account; its instances on a file system of their own.
class DatadirKillFixture : public testing::Test {
  protected:
    TempDir t;
    std::string bin, old_dir, new_dir;
    std::unique_ptr<TmpfsMount> instances;
    std::map<std::string, std::string> env;

    void SetUp() override {
        bin = zyl_own_copy(t.path + "/bin");
        ASSERT_FALSE(bin.empty());
        old_dir = t.path + "/old";
        new_dir = t.path + "/new";
        instances = std::make_unique<TmpfsMount>(old_dir + "/instances", "4m");
        if (!instances->mounted) GTEST_SKIP() << instances->why;
        // The data folder comes from the program's own zyl.ini, as a player's does.
        fs_write_atomic(t.path + "/bin/zyl.ini", "data_dir=" + old_dir + "\n");
        env = {{"XDG_CONFIG_HOME", t.path + "/cfg"},
               {"ZYL_HOME", ""},
               {"ZYL_AUTH_SERVER", "http://127.0.0.1:9"}};
        fs_write_atomic(old_dir + "/libraries/org/lib.jar", "jar");
        fs_write_atomic(old_dir + "/versions/1.20.1/1.20.1.json", "{}");
        for (int i = 0; i < 5; i++)
            fs_write_atomic(old_dir + "/instances/A/saves/W/region/r." + std::to_string(i) + ".mca",
                            std::string(100000, static_cast<char>('a' + i)));
        fs_write_atomic(old_dir + "/settings.json", "{\"nick\": \"Mover\"}");
        fs_write_atomic_mode(old_dir + "/account.json",
                             "{\"type\": \"drasl\", \"username\": \"mover@example.org\", "
                             "\"name\": \"Mover\", \"uuid\": \"0123456789abcdef0123456789abcdef\", "
                             "\"accessToken\": \"t\", \"clientToken\": \"c\"}",
                             0600);
    }
    void TearDown() override { instances.reset(); }

    // The data entries, without the empty folders zyl makes on its own and
    // its lock files. account.json counts by its mode: every start rewrites it.
    std::map<std::string, std::string> data_of(const std::string &dir) {
        auto s = tree_state(dir);
        for (const char *own : {"/java", "/cache", "/assets", "/logs", "/instances"})
            s.erase(own);
        std::erase_if(s, [](const auto &kv) { return str_ends_with(kv.first, ".lock"); });
        if (s.count("/account.json")) s["/account.json"] = s["/account.json"].substr(0, 5);
        drop_empty_folders(s);
        return s;
    }
};

class DatadirKill : public DatadirKillFixture, public testing::WithParamInterface<KillCase> {};

TEST_P(DatadirKill, NextRunFindsOneWholeFolder) {
    const KillCase &c = GetParam();
    const auto data = data_of(old_dir);
    env["ZYL_TEST_MOVE_KILL"] = c.point;
    ZylRun r = run_zyl_from(bin, {"datadir", new_dir, "--move"}, env);
    ASSERT_EQ(r.code, 128 + 9) << r.err; // SIGKILL
    env.erase("ZYL_TEST_MOVE_KILL");

    r = run_zyl_from(bin, {"datadir"}, env);
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string in_use = c.new_in_use ? new_dir : old_dir;
    const std::string other = c.new_in_use ? old_dir : new_dir;
    EXPECT_EQ(r.out, in_use + "\n(источник: zyl.ini)\n");
    EXPECT_EQ(r.err,
              std::string("Прерванный перенос данных в ") + new_dir +
                  (c.new_in_use ? " завершён\n" : " отменён, данные остались в " + old_dir + "\n"));
    EXPECT_EQ(data_of(in_use), data);
    // Nothing of the move is left in the other folder (the mount point of
    // the old instances stays, empty).
    EXPECT_EQ(data_of(other), (std::map<std::string, std::string>{})) << other;
    if (c.new_in_use) {
        EXPECT_EQ(tree_state(old_dir + "/instances").size(), 0u);
    }

    // Signed in still, in whichever folder is in use.
    r = run_zyl_from(bin, {"whoami"}, env);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind("Mover (UUID 0123456789abcdef0123456789abcdef)", 0), 0u) << r.out;

    if (c.new_in_use) return;
    // The move undone can be made again.
    r = run_zyl_from(bin, {"datadir", new_dir, "--move"}, env);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(data_of(new_dir), data);
}

INSTANTIATE_TEST_SUITE_P(Moments, DatadirKill, testing::ValuesIn(k_kill_cases),
                         [](const testing::TestParamInfo<KillCase> &i) {
                             return std::string(i.param.point);
                         });

// How a later start names one of the two folders.
struct Spelling {
    const char *name;
    bool new_folder;
    std::string (*path)(const std::string &root, const std::string &dir);
};

void PrintTo(const Spelling &s, std::ostream *os) {
    *os << s.name;
}

// dir from the current folder, as a relative path.
std::string relative_path(const std::string &, const std::string &dir) {
    std::string up;
    for (const std::string &seg : str_split(fs_real_path("."), '/'))
        if (!seg.empty()) up += "../";
    return up + dir.substr(1);
}

const Spelling k_spellings[] = {
    {"OldWithoutSlash", false, [](const std::string &, const std::string &d) { return d; }},
    {"OldWithDotDot", false,
     [](const std::string &root, const std::string &) { return root + "/bin/../old"; }},
    {"OldRelative", false, relative_path},
    {"OldSymlink", false,
     [](const std::string &root, const std::string &) { return root + "/to-old"; }},
    {"NewSymlink", true,
     [](const std::string &root, const std::string &) { return root + "/to-new"; }},
    {"NewWithSlash", true, [](const std::string &, const std::string &d) { return d + "/"; }},
};

class DatadirSpelling : public DatadirKillFixture,
                        public testing::WithParamInterface<std::tuple<KillCase, Spelling>> {};

// A move killed at any moment, spelled "old/", then a start in either folder
// spelled another way: the records are found by what the folders are, the
// move is finished or undone, and no record is left.
TEST_P(DatadirSpelling, AnySpellingOfEitherFolderFindsTheMove) {
    const auto &[c, spelling] = GetParam();
    symlink(old_dir.c_str(), (t.path + "/to-old").c_str());
    symlink(new_dir.c_str(), (t.path + "/to-new").c_str());
    const auto data = data_of(old_dir);
    env["ZYL_TEST_MOVE_KILL"] = c.point;
    ZylRun r = run_zyl_from(bin, {"--data-dir", old_dir + "/", "datadir", new_dir, "--move"}, env);
    ASSERT_EQ(r.code, 128 + 9) << r.err;
    env.erase("ZYL_TEST_MOVE_KILL");

    const std::string start = spelling.path(t.path, spelling.new_folder ? new_dir : old_dir);
    r = run_zyl_from(bin, {"--data-dir", start, "datadir"}, env);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, recovered_text(c, old_dir, new_dir)) << start;
    const std::string in_use = c.new_in_use ? new_dir : old_dir;
    const std::string other = c.new_in_use ? old_dir : new_dir;
    EXPECT_EQ(data_of(in_use), data) << start;
    auto rest = data_of(other);
    if (spelling.new_folder != c.new_in_use) {
        // The start made its own account record there, without the player's sign-in.
        EXPECT_EQ(fs_read_all(other + "/account.json").value_or("").find("mover@"),
                  std::string::npos);
        rest.erase("/account.json");
    }
    EXPECT_EQ(rest, (std::map<std::string, std::string>{})) << start;

    // Said once: another start finds nothing left to do.
    r = run_zyl_from(bin, {"--data-dir", old_dir, "datadir"}, env);
    EXPECT_EQ(r.err, "");
    r = run_zyl_from(bin, {"--data-dir", new_dir, "datadir"}, env);
    EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(Starts, DatadirSpelling,
                         testing::Combine(testing::ValuesIn(k_kill_cases),
                                          testing::ValuesIn(k_spellings)),
                         [](const testing::TestParamInfo<std::tuple<KillCase, Spelling>> &i) {
                             return std::string(std::get<0>(i.param).point) + "_" +
                                    std::get<1>(i.param).name;
                         });

// What the old folder gains between a killed move and the next start.
struct Meanwhile {
    const char *name;
    const char *point;
    const char *instance; // made in the old instances folder; nullptr: an empty folder
    const char *content;  // its instance.json
    bool clash;           // the name is one the move took
};

void PrintTo(const Meanwhile &m, std::ostream *os) {
    *os << m.name;
}

const Meanwhile k_meanwhile[] = {
    {"EmptyFolderAfterRename", "rename", nullptr, nullptr, false},
    {"NewInstanceAfterRename", "rename", "C", "{\"name\": \"C\"}", false},
    {"ClashingInstanceAfterRename", "rename", "A", "{\"name\": \"new A\"}", true},
    {"NewInstanceAfterRecord", "record", "C", "{\"name\": \"C\"}", false},
    {"ClashingInstanceAfterRecord", "record", "A", "{\"name\": \"new A\"}", true},
};

// A data folder within one file system (every entry renamed), recorded in
// the program's own zyl.ini, and a move of it killed at a chosen moment.
class DatadirMeanwhileFixture : public testing::Test {
  protected:
    TempDir t;
    std::string bin, old_dir = t.path + "/old", new_dir = t.path + "/new";
    std::map<std::string, std::string> env = {{"XDG_CONFIG_HOME", t.path + "/cfg"},
                                              {"ZYL_HOME", ""},
                                              {"ZYL_AUTH_SERVER", "http://127.0.0.1:9"}};
    time_t killed_at = 0;

    void SetUp() override {
        bin = zyl_own_copy(t.path + "/bin");
        ASSERT_FALSE(bin.empty());
        fs_write_atomic(t.path + "/bin/zyl.ini", "data_dir=" + old_dir + "\n");
    }

    void kill_move_at(const char *point) {
        killed_at = time(nullptr);
        env["ZYL_TEST_MOVE_KILL"] = point;
        ZylRun r = run_zyl_from(bin, {"datadir", new_dir, "--move"}, env);
        ASSERT_EQ(r.code, 128 + 9) << r.err;
        env.erase("ZYL_TEST_MOVE_KILL");
    }

    // "<name> (из переноса <date>)" as found in folder, dated the day of the
    // move (or the next one, past midnight); empty when there is none.
    std::string beside_name(const std::string &folder, const std::string &name) {
        for (time_t when : {killed_at, time(nullptr)}) {
            struct tm tm {};
            char date[32];
            localtime_r(&when, &tm);
            strftime(date, sizeof date, "%d.%m.%Y", &tm);
            std::string beside = name + " (из переноса " + date + ")";
            if (fs_exists(folder + "/" + beside)) return beside;
        }
        return "";
    }

    // Nothing of the move is left in folder.
    void expect_nothing_left(const std::string &folder) {
        auto rest = tree_state(folder);
        std::erase_if(rest, [](const auto &kv) { return str_ends_with(kv.first, ".lock"); });
        drop_empty_folders(rest);
        EXPECT_EQ(rest, (std::map<std::string, std::string>{})) << folder;
    }

    std::string recovered(bool undo, const std::string &beside) {
        std::string text = "Прерванный перенос данных в " + new_dir +
                           (undo ? " отменён, данные остались в " + old_dir : " завершён");
        if (!beside.empty())
            text +=
                "; в обеих папках были одни и те же имена, перенесённое сохранено рядом: " + beside;
        return text + "\n";
    }
};

// The instances are the first entry to move. The old folder gains an
// instances folder before the next start, as a window still open on it or a
// backup copied in would make: the recovery merges the two, keeps a
// clashing instance beside the other under a name of its own and names it,
// and loses nothing.
class DatadirMeanwhile : public DatadirMeanwhileFixture,
                         public testing::WithParamInterface<Meanwhile> {};

TEST_P(DatadirMeanwhile, RecoveryMergesAndLosesNothing) {
    const Meanwhile &m = GetParam();
    fs_write_atomic(old_dir + "/instances/A/instance.json", "{\"name\": \"A\"}");
    fs_write_atomic(old_dir + "/instances/A/saves/W/level.dat", "world A");
    fs_write_atomic(old_dir + "/instances/B/instance.json", "{\"name\": \"B\"}");
    fs_write_atomic(old_dir + "/settings.json", "{\"nick\": \"Mover\"}");
    const auto moved = tree_state(old_dir + "/instances");
    kill_move_at(m.point);
    if (HasFatalFailure()) return;
    const bool undo = std::string(m.point) != "record";
    ASSERT_FALSE(fs_exists(old_dir + "/instances")) << "the instances move first";

    fs_mkdirs(old_dir + "/instances");
    if (m.instance)
        fs_write_atomic(old_dir + "/instances/" + m.instance + "/instance.json", m.content);
    const auto newcomer = tree_state(old_dir + "/instances");
    ZylRun r = run_zyl_from(bin, {"datadir"}, env);
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string in_use = undo ? old_dir : new_dir;
    EXPECT_EQ(r.out, in_use + "\n(источник: zyl.ini)\n");

    // Both, whole: what came from the other folder kept beside under the
    // move's date where its name was taken.
    std::string beside;
    if (m.clash) {
        beside = beside_name(in_use + "/instances", "A");
        ASSERT_FALSE(beside.empty());
    }
    std::map<std::string, std::string> want;
    auto put = [&](const std::map<std::string, std::string> &part, bool came_over) {
        for (const auto &[k, v] : part) {
            bool named_away = m.clash && came_over && (k == "/A" || str_starts_with(k, "/A/"));
            want[named_away ? "/" + beside + k.substr(2) : k] = v;
        }
    };
    put(moved, undo);
    put(newcomer, !undo);
    EXPECT_EQ(tree_state(in_use + "/instances"), want);
    EXPECT_EQ(fs_read_all(in_use + "/settings.json"), "{\"nick\": \"Mover\"}");
    EXPECT_EQ(r.err, recovered(undo, beside.empty() ? "" : "instances/" + beside));
    expect_nothing_left(undo ? new_dir : old_dir);
}

// Other folders merge file by file: a file downloaded again meanwhile (the
// same bytes) is kept once, one with other bytes is kept beside the moved one.
TEST_F(DatadirMeanwhileFixture, LibrariesMergeFileByFile) {
    fs_write_atomic(old_dir + "/libraries/a/x.jar", "x");
    fs_write_atomic(old_dir + "/libraries/a/y.jar", "y");
    kill_move_at("rename");
    if (HasFatalFailure()) return;
    ASSERT_FALSE(fs_exists(old_dir + "/libraries")) << "the libraries move first";
    fs_write_atomic(old_dir + "/libraries/a/x.jar", "x");
    fs_write_atomic(old_dir + "/libraries/a/y.jar", "other y");
    fs_write_atomic(old_dir + "/libraries/b/z.jar", "z");

    ZylRun r = run_zyl_from(bin, {"datadir"}, env);
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string beside = beside_name(old_dir + "/libraries/a", "y.jar");
    ASSERT_FALSE(beside.empty());
    EXPECT_EQ(r.err, recovered(true, "libraries/a/" + beside));
    EXPECT_EQ(tree_state(old_dir + "/libraries"), (std::map<std::string, std::string>{
                                                      {"/a", "d 755"},
                                                      {"/a/x.jar", "f 644 x"},
                                                      {"/a/y.jar", "f 644 other y"},
                                                      {"/a/" + beside, "f 644 y"},
                                                      {"/b", "d 755"},
                                                      {"/b/z.jar", "f 644 z"},
                                                  }));
    expect_nothing_left(new_dir);
}

INSTANTIATE_TEST_SUITE_P(Cases, DatadirMeanwhile, testing::ValuesIn(k_meanwhile),
                         [](const testing::TestParamInfo<Meanwhile> &i) {
                             return std::string(i.param.name);
                         });

// Waits, bounded, until the file path holds something.
bool wait_for_content(const std::string &path, int seconds) {
    int fd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (fd < 0) return false;
    inotify_add_watch(fd, path.substr(0, path.rfind('/')).c_str(), IN_CLOSE_WRITE | IN_MOVED_TO);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    bool there = false;
    while (!(there = !fs_read_all(path).value_or("").empty())) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        end - std::chrono::steady_clock::now())
                        .count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
        char buf[4096];
        while (read(fd, buf, sizeof buf) > 0) {
        }
    }
    close(fd);
    return there;
}

// Waits, bounded, until process pid (not ours to collect) has ended.
bool wait_for_end(int pid, int seconds) {
    int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0) return errno == ESRCH;
    pollfd p{fd, POLLIN, 0};
    bool ended = poll(&p, 1, seconds * 1000) == 1;
    close(fd);
    return ended;
}

// The first of pid and its ancestors that runs program; 0 when none does.
int ancestor_running(int pid, const std::string &program) {
    for (int depth = 0; pid > 1 && depth < 5; depth++) {
        std::string dir = "/proc/" + std::to_string(pid);
        std::string cmdline = fs_read_all(dir + "/cmdline").value_or("");
        if (cmdline.c_str() == program) return pid;
        std::string stat = fs_read_all(dir + "/stat").value_or("");
        size_t close = stat.rfind(')');
        if (close == std::string::npos || close + 4 > stat.size()) return 0;
        pid = atoi(stat.c_str() + close + 4);
    }
    return 0;
}

// A game of the data folder holds it for as long as it runs, also after the
// launcher that started it is gone: a move is refused meanwhile, with
// nothing changed, and goes through once the game has exited.
TEST(DatadirGame, MoveWaitsForTheRunningGame) {
    FakeNetPtr net = fakenet_start();
    TempDir t;
    const std::string bin = zyl_own_copy(t.path + "/bin");
    ASSERT_FALSE(bin.empty());
    const std::string data = t.path + "/data", moved = t.path + "/moved";
    const std::string hold = t.path + "/hold", ready = t.path + "/ready";
    std::map<std::string, std::string> env = {{"ZYL_ENDPOINTS", net->endpoints_env()},
                                              {"ZYL_API", ""},
                                              {"ZYL_JAVA", ""},
                                              {"ZYL_AUTH_SERVER", ""},
                                              {"ZYL_NO_AUTHLIB", ""},
                                              {"ZYL_HOME", ""},
                                              {"XDG_CONFIG_HOME", t.path + "/cfg"}};
    const std::vector<std::string> move = {"--data-dir", data, "datadir", moved, "--move"};
    ASSERT_EQ(run_zyl_from(bin, {"--data-dir", data, "install", "1.20.1"}, env).code, 0);
    {
        // While a move holds the folder, a game does not start in it.
        bool busy = false;
        FileLock moving = fs_lock_try(data + "/zyl-game.lock", false, &busy);
        ASSERT_GE(moving.fd, 0);
        ZylRun r = run_zyl_from(bin, {"--data-dir", data, "launch", "1.20.1"}, env);
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find("Папку данных сейчас переносит другой процесс — запустите игру "
                             "после переноса"),
                  std::string::npos)
            << r.err;
    }

    auto game_env = env;
    game_env["ZYL_STUB_HOLD"] = hold;
    game_env["ZYL_STUB_READY"] = ready;
    ZylRun launched;
    std::thread launcher([&] {
        launched = run_zyl_from(bin, {"--data-dir", data, "launch", "1.20.1"}, game_env);
    });
    struct Release { // the game ends however the test does
        std::string hold;
        std::thread &launcher;
        ~Release() {
            fs_write_atomic(hold, "go");
            if (launcher.joinable()) launcher.join();
        }
    } release{hold, launcher};
    ASSERT_TRUE(wait_for_content(ready, 300)) << "the game did not start";
    const int game = atoi(fs_read_all(ready)->c_str());
    const auto before = tree_state(data);

    const std::string refused =
        "Ошибка: Игра из этой папки запущена — закройте её, затем переносите данные\n";
    ZylRun r = run_zyl_from(bin, move, env);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, refused);
    EXPECT_EQ(tree_state(data), before);
    EXPECT_FALSE(fs_exists(moved + "/versions"));

    // The launcher ends; its game plays on and keeps the folder.
    const int zyl = ancestor_running(game, bin);
    ASSERT_GT(zyl, 0);
    kill(zyl, SIGKILL);
    launcher.join();
    EXPECT_EQ(launched.code, 128 + 9);
    r = run_zyl_from(bin, move, env);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, refused);

    fs_write_atomic(hold, "go");
    ASSERT_TRUE(wait_for_end(game, 60));
    r = run_zyl_from(bin, move, env);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(fs_exists(moved + "/versions/1.20.1/1.20.1.json"));
    EXPECT_FALSE(fs_exists(data + "/versions"));
}

} // namespace
