#include "base/fs.h"

#include "fakenet/run_zyl.h"
#include "fakenet/scratch_fs.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
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

// Writers in several threads of this process and in a second process replace
// one file over and over. Every read, during and after, sees one writer's
// whole content, every write succeeds, and no temporary file stays behind.
TEST(Fs, ConcurrentAtomicWritersEachLeaveTheirWholeContent) {
    TempDir t;
    std::string p = t.path + "/instance.json";
    const int rounds = 150;
    auto content = [](char c) { return std::string(20000, c); };
    ASSERT_EQ(fs_write_atomic(p, content('a')), 0);

    pid_t child = fork(); // before any thread starts, so the child has just one
    if (child == 0) {
        int failed = 0;
        for (int i = 0; i < rounds; i++)
            failed += fs_write_atomic(p, content('z')) != 0;
        _exit(failed == 0 ? 0 : 1);
    }
    std::atomic<int> failed{0};
    std::atomic<bool> writing{true};
    std::vector<std::thread> writers;
    for (char c = 'b'; c <= 'e'; c++)
        writers.emplace_back([&, c] {
            for (int i = 0; i < rounds; i++)
                failed += fs_write_atomic(p, content(c)) != 0;
        });
    int torn = 0, reads = 0;
    std::thread reader([&] {
        while (writing) {
            std::optional<std::string> got = fs_read_all(p);
            reads++;
            if (!got || got->size() != 20000 ||
                got->find_first_not_of((*got)[0]) != std::string::npos)
                torn++;
        }
    });
    for (std::thread &w : writers)
        w.join();
    int status = 0;
    waitpid(child, &status, 0);
    writing = false;
    reader.join();

    EXPECT_EQ(failed.load(), 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0); // the other process's writes all succeeded too
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    std::string last = *fs_read_all(p);
    EXPECT_EQ(last, content(last[0]));
    EXPECT_EQ(dir_list(t.path)->size(), 1u); // no temporary file left
}

// Descriptors the file layer opens do not survive into a child program.
TEST(Fs, DescriptorsAreCloseOnExec) {
    TempDir t;
    ASSERT_EQ(fs_write_atomic(t.path + "/f", "x"), 0);
    FilePtr f = fs_open(t.path + "/f", "rb");
    ASSERT_TRUE(f);
    EXPECT_TRUE(fcntl(fileno(f.get()), F_GETFD) & FD_CLOEXEC);
    FileLock lock = fs_lock(t.path + "/f");
    ASSERT_GE(lock.fd, 0);
    EXPECT_TRUE(fcntl(lock.fd, F_GETFD) & FD_CLOEXEC);
}

TEST(Fs, StatTellsMissingFromUnreachable) {
    TempDir t;
    EXPECT_EQ(fs_stat(t.path + "/missing", nullptr), ENOENT);
    ASSERT_EQ(fs_write_atomic(t.path + "/file", "x"), 0);
    EXPECT_EQ(fs_stat(t.path + "/file/below", nullptr), ENOTDIR);
    EXPECT_EQ(fs_stat(t.path + "/file", nullptr), 0);
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

// What is not a regular file, or is larger than its reader allows, never
// blocks or fills memory: it reads as nothing, with errno saying why.
TEST(Fs, ReadAllTakesRegularFilesWithinTheirLimit) {
    TempDir t;
    ASSERT_EQ(mkfifo((t.path + "/fifo").c_str(), 0644), 0);
    ASSERT_EQ(symlink("/dev/zero", (t.path + "/zero").c_str()), 0);
    ASSERT_EQ(fs_write_atomic(t.path + "/ten", "0123456789"), 0);
    ASSERT_EQ(symlink("ten", (t.path + "/link").c_str()), 0);
    ASSERT_EQ(fs_mkdirs(t.path + "/dir"), 0);
    struct Case {
        const char *name;
        long long limit;
        const char *want; // nullptr: none
        int err;
    } cases[] = {
        {"fifo", 1 << 20, nullptr, EINVAL}, {"zero", 1 << 20, nullptr, EINVAL},
        {"dir", 1 << 20, nullptr, EINVAL},  {"ten", 9, nullptr, EFBIG},
        {"ten", 10, "0123456789", 0},       {"link", 10, "0123456789", 0},
        {"missing", 10, nullptr, ENOENT},
    };
    for (const Case &c : cases) {
        errno = 0;
        std::optional<std::string> got = fs_read_all(t.path + "/" + c.name, c.limit);
        if (c.want) {
            EXPECT_EQ(got, std::string(c.want)) << c.name;
        } else {
            EXPECT_FALSE(got) << c.name;
            EXPECT_EQ(errno, c.err) << c.name;
        }
    }
}

TEST(Fs, FilenameSafe) {
    for (const char *ok : {"fabric-api-0.92.2+1.20.1.jar", "Мир 2 [ru].zip", "a..b", ".hidden"})
        EXPECT_TRUE(fs_filename_safe(ok)) << ok;
    for (std::string bad : {std::string(""), std::string("."), std::string(".."),
                            std::string("a/b"), std::string("../x"), std::string("a\\b"),
                            std::string("a\0b", 3), std::string("a\x1b[2Jb"), std::string("a\nb")})
        EXPECT_FALSE(fs_filename_safe(bad)) << bad;
}

// A copy that runs out of room leaves the target as it was and no
// temporary file; a whole copy replaces the target with the source's mode.
TEST(Fs, CopyFileIsWholeOrNothing) {
    TempDir t;
    ScratchFs small(t.path + "/small", ScratchKind::Tmpfs, "size=64k");
    if (!small.mounted) GTEST_SKIP() << small.why;
    std::string big = t.path + "/big", target = small.dir + "/copy";
    ASSERT_EQ(fs_write_atomic(big, std::string(200000, 'b')), 0);
    ASSERT_EQ(fs_write_atomic(target, "old"), 0);
    errno = 0;
    EXPECT_EQ(fs_copy_file(big, target), -1);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(fs_read_all(target), "old");
    EXPECT_EQ(dir_list(small.dir)->size(), 1u); // no temporary file left

    ASSERT_EQ(fs_write_atomic(t.path + "/script", "#!/bin/sh\n"), 0);
    ASSERT_EQ(chmod((t.path + "/script").c_str(), 0750), 0);
    ASSERT_EQ(fs_copy_file(t.path + "/script", target), 0);
    EXPECT_EQ(fs_read_all(target), "#!/bin/sh\n");
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0750u);
    ASSERT_EQ(mkfifo((t.path + "/fifo").c_str(), 0644), 0);
    EXPECT_EQ(fs_copy_file(t.path + "/fifo", target), -1); // no wait for a writer
    EXPECT_EQ(dir_list(small.dir)->size(), 1u);
}

// A file put in place by a rename is flushed to disk first: after a crash
// the new name holds the whole content, never an empty file.
std::vector<std::pair<std::string, std::string>> g_fs_trace;

TEST(Fs, TemporaryFileIsFlushedBeforeItsRename) {
    TempDir t;
    std::string source = t.path + "/source", target = t.path + "/target";
    ASSERT_EQ(fs_write_atomic(source, "content"), 0);
    const std::pair<const char *, std::function<int()>> writes[] = {
        {"fs_copy_file", [&] { return fs_copy_file(source, target); }},
        {"fs_write_atomic", [&] { return fs_write_atomic(target, "content"); }},
    };
    for (const auto &[name, write] : writes) {
        g_fs_trace.clear();
        fs_trace_hook = [](const char *op, const std::string &path) {
            g_fs_trace.emplace_back(op, path);
        };
        int rc = write();
        fs_trace_hook = nullptr;
        ASSERT_EQ(rc, 0) << name;
        ASSERT_EQ(g_fs_trace.size(), 2u) << name;
        EXPECT_EQ(g_fs_trace[0].first, "fsync") << name;
        EXPECT_EQ(g_fs_trace[1].first, "rename") << name;
        EXPECT_EQ(g_fs_trace[0].second, g_fs_trace[1].second) << name; // the same file
        EXPECT_TRUE(fs_is_unique_name(g_fs_trace[1].second, "/target.tmp")) << name;
        EXPECT_EQ(fs_read_all(target), "content") << name;
    }
}

// Scratch folders named after processes: those of gone processes go, the
// others (and names of another shape) stay.
TEST(Fs, RemoveStaleUniqueKeepsLiveOnes) {
    TempDir t;
    std::string gone = std::to_string(ended_process_id()), live = std::to_string(getppid());
    const std::pair<std::string, bool> entries[] = {
        {"modpack-" + gone + "-3", false}, {"modpack-" + live + "-1", true},
        {"modpack-" + gone, true},         {"modpack-x-1", true},
        {"world-" + gone + "-1", true},    {"modpack-" + gone + "-1-2", true},
    };
    for (const auto &[name, stays] : entries)
        ASSERT_EQ(fs_write_atomic(t.path + "/" + name + "/f", "x"), 0);
    fs_remove_stale_unique(t.path, "modpack-");
    for (const auto &[name, stays] : entries)
        EXPECT_EQ(fs_exists(t.path + "/" + name), stays) << name;
}

TEST(Fs, UniqueNamesAreRecognised) {
    EXPECT_TRUE(fs_is_unique_name(fs_unique_name("mods/a.jar.part"), ".part"));
    EXPECT_TRUE(fs_is_unique_name(fs_unique_name("pack.mrpack.tmp"), ".tmp"));
    for (const char *name :
         {"a.jar", "a.part", "a.part12", "a.part-3", "a.partx-1", "a.tmp1-2b", "my.tmp.jar"})
        EXPECT_FALSE(fs_is_unique_name(name, ".part") || fs_is_unique_name(name, ".tmp")) << name;
}
