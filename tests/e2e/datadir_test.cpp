// "zyl datadir <folder> --move" killed with SIGKILL at chosen moments (the
// test-only hook ZYL_TEST_MOVE_KILL): the next run finds either the old data
// folder in use and whole, or the new one, and clears what the killed move
// left. The instances live on a file system of their own, so the move both
// copies (instances) and renames (everything else).
#include "base/fs.h"
#include "base/strings.h"
#include "fakenet/run_zyl.h"
#include "fakenet/tmpfs_mount.h"
#include "fakenet/tree_state.h"

#include <gtest/gtest.h>
#include <map>
#include <memory>

namespace {

struct KillCase {
    const char *point;
    bool new_in_use; // after the next run
};

class DatadirKill : public testing::TestWithParam<KillCase> {
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
        return s;
    }
};

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

INSTANTIATE_TEST_SUITE_P(Moments, DatadirKill,
                         testing::Values(KillCase{"copy", false}, KillCase{"rename", false},
                                         KillCase{"record", true}),
                         [](const testing::TestParamInfo<KillCase> &i) {
                             return std::string(i.param.point);
                         });

} // namespace
