#include "base/fs.h"

#include "fakenet/run_zyl.h"

#include <cerrno>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(Fs, MkdirsAndStat) {
    TempDir t;
    std::string deep = t.path + "/a/Мир сборки/b";
    EXPECT_EQ(fs_mkdirs(deep), 0);
    EXPECT_TRUE(fs_is_dir(deep));
    EXPECT_EQ(fs_mkdirs(deep), 0); // already there
    EXPECT_TRUE(fs_is_dir(deep + "/"));
    ASSERT_EQ(fs_write_atomic(t.path + "/file", "x"), 0);
    EXPECT_EQ(fs_mkdirs(t.path + "/file/sub"), -1); // parent is a file
    EXPECT_FALSE(fs_exists(t.path + "/nope"));
}

TEST(Fs, ReadAllAndEmptyFile) {
    TempDir t;
    ASSERT_EQ(fs_write_atomic(t.path + "/e", ""), 0);
    auto e = fs_read_all(t.path + "/e");
    ASSERT_TRUE(e);
    EXPECT_TRUE(e->empty());
    EXPECT_FALSE(fs_read_all(t.path + "/missing"));
}

TEST(Fs, AtomicWriteReplacesWholeFile) {
    TempDir t;
    std::string p = t.path + "/sub/settings.json";
    ASSERT_EQ(fs_write_atomic(p, "old"), 0); // creates the parent folder
    ASSERT_EQ(fs_write_atomic(p, "new content"), 0);
    EXPECT_EQ(*fs_read_all(p), "new content");
    auto names = dir_list(t.path + "/sub");
    ASSERT_TRUE(names);
    EXPECT_EQ(names->size(), 1u); // no temporary file left
}

// A write that fails half-way (the file-size limit is hit) leaves the old file
// and no temporary file behind. Runs in a child so the limit stays there.
TEST(Fs, FailedAtomicWriteKeepsOldFile) {
    TempDir t;
    std::string p = t.path + "/account.json";
    ASSERT_EQ(fs_write_atomic(p, "good"), 0);
    pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit lim = {100, 100};
        setrlimit(RLIMIT_FSIZE, &lim);
        _exit(fs_write_atomic(p, std::string(10000, 'x')) == -1 ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(*fs_read_all(p), "good");
    EXPECT_EQ(dir_list(t.path)->size(), 1u);
}

// A target the user made read-only is kept, content and mode, even for root
// (whom access(2) lets write anything).
TEST(Fs, AtomicWriteOntoReadOnlyTargetFails) {
    TempDir t;
    std::string p = t.path + "/settings.json";
    ASSERT_EQ(fs_write_atomic(p, "mine"), 0);
    ASSERT_EQ(chmod(p.c_str(), 0444), 0);
    errno = 0;
    EXPECT_EQ(fs_write_atomic(p, "overwritten"), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(*fs_read_all(p), "mine");
    struct stat st;
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    EXPECT_EQ(dir_list(t.path)->size(), 1u); // no temporary file left
}

TEST(Fs, AtomicWriteWithSecretMode) {
    TempDir t;
    std::string p = t.path + "/secret";
    ASSERT_EQ(fs_write_atomic_mode(p, "token", 0600), 0);
    struct stat st;
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(Fs, CopyAndRemoveTrees) {
    TempDir t;
    ASSERT_EQ(fs_write_atomic(t.path + "/src/a/1.txt", "one"), 0);
    ASSERT_EQ(fs_write_atomic(t.path + "/src/b.txt", "two"), 0);
    chmod((t.path + "/src/b.txt").c_str(), 0444);
    ASSERT_EQ(fs_copy_tree(t.path + "/src", t.path + "/dst"), 0);
    EXPECT_EQ(*fs_read_all(t.path + "/dst/a/1.txt"), "one");
    EXPECT_EQ(*fs_read_all(t.path + "/dst/b.txt"), "two");
    EXPECT_EQ(fs_remove_tree(t.path + "/src"), 0);
    EXPECT_FALSE(fs_exists(t.path + "/src"));
    EXPECT_EQ(fs_remove_tree(t.path + "/src"), -1);
}

TEST(Fs, LinkOrCopy) {
    TempDir t;
    ASSERT_EQ(fs_write_atomic(t.path + "/obj", "asset"), 0);
    ASSERT_EQ(fs_link_or_copy(t.path + "/obj", t.path + "/virtual"), 0);
    EXPECT_EQ(*fs_read_all(t.path + "/virtual"), "asset");
    // An existing target is replaced.
    ASSERT_EQ(fs_link_or_copy(t.path + "/obj", t.path + "/virtual"), 0);
}

TEST(Fs, EnvPath) {
    setenv("ZYL_TEST_ENV", "C:\\Users\\Иван", 1);
    EXPECT_EQ(env_path("ZYL_TEST_ENV"), "C:/Users/Иван");
    setenv("ZYL_TEST_ENV", "", 1);
    EXPECT_FALSE(env_path("ZYL_TEST_ENV"));
    unsetenv("ZYL_TEST_ENV");
    EXPECT_FALSE(env_path("ZYL_TEST_ENV"));
}
