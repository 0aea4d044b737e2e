// Record of verified files: when a record is trusted and when it is not,
// a file changed behind the record's back, and several processes saving at
// once.
#include "net/verified.h"

#include "base/digest.h"
#include "base/fs.h"
#include "base/strings.h"
#include "fakenet/file_change.h"
#include "fakenet/run_zyl.h"
#include "fakenet/scratch_fs.h"

#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string k_content = "library bytes";
// A SHA-1 the file does not have: a check that answers yes for it took the
// record's word and did not read the file.
const std::string k_claimed = std::string(40, 'a');

long long ns(const timespec &t) {
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

// A record line for the file in state st; its state was taken seen_delta
// after its last change (by default long enough for any file system's step).
std::string line_for(const std::string &sha1, const struct stat &st, const std::string &key,
                     long long size_delta = 0, long long mtime_delta = 0, long long ctime_delta = 0,
                     long long ino_delta = 0, long long dev_delta = 0,
                     long long seen_delta = 3000000000LL) {
    return format_alloc("%s %lld %lld %lld %llu %llu %lld %s\n", sha1.c_str(),
                        static_cast<long long>(st.st_size) + size_delta,
                        ns(st.st_mtim) + mtime_delta, ns(st.st_ctim) + ctime_delta,
                        static_cast<unsigned long long>(st.st_ino + ino_delta),
                        static_cast<unsigned long long>(st.st_dev + dev_delta),
                        ns(st.st_ctim) + seen_delta, key.c_str());
}

std::string header_for(const std::string &folder, long long ino_delta = 0) {
    struct stat st {};
    stat(folder.c_str(), &st);
    return format_alloc("zyl-verified 2 %llu %llu\n", static_cast<unsigned long long>(st.st_dev),
                        static_cast<unsigned long long>(st.st_ino + ino_delta));
}

struct RecordFixture : ::testing::Test {
    TempDir tmp;
    std::string root = tmp.path + "/data";
    std::string record = verified_record_path(root + "/cache");
    std::string file = root + "/libraries/a/b.jar";
    std::string key = "libraries/a/b.jar";
    struct stat st {};

    void SetUp() override {
        ASSERT_EQ(fs_mkdirs(root + "/cache"), 0);
        ASSERT_EQ(fs_write_atomic(file, k_content), 0);
        ASSERT_EQ(stat(file.c_str(), &st), 0);
    }
    bool check(VerifyMode mode, const std::string &sha1) {
        VerifiedFiles vf;
        verified_open(vf, root, record, mode);
        return verified_check(&vf, file, sha1);
    }
};

} // namespace

// Only a record of this data folder whose entry matches the file in every
// respect, for the same expected SHA-1, spares the read.
TEST_F(RecordFixture, TrustedOnlyWhenFolderStateAndSha1AllMatch) {
    const std::string real = sha1_hex(k_content.data(), k_content.size());
    const std::string good = header_for(root) + line_for(k_claimed, st, key);
    struct Case {
        const char *name;
        std::function<void()> setup;
        VerifyMode mode;
        std::string expected_sha1;
        bool want;
    } cases[] = {
        {"matching record, launch", [&] { fs_write_atomic(record, good); }, VerifyMode::TrustRecord,
         k_claimed, true},
        {"the same in upper case", [&] { fs_write_atomic(record, good); }, VerifyMode::TrustRecord,
         std::string(40, 'A'), true},
        {"matching record, install reads the file", [&] { fs_write_atomic(record, good); },
         VerifyMode::HashAll, k_claimed, false},
        {"another expected SHA-1", [&] { fs_write_atomic(record, good); }, VerifyMode::TrustRecord,
         std::string(40, 'b'), false},
        {"another data folder",
         [&] { fs_write_atomic(record, header_for(root, 1) + line_for(k_claimed, st, key)); },
         VerifyMode::TrustRecord, k_claimed, false},
        {"size",
         [&] { fs_write_atomic(record, header_for(root) + line_for(k_claimed, st, key, 1)); },
         VerifyMode::TrustRecord, k_claimed, false},
        {"mtime",
         [&] { fs_write_atomic(record, header_for(root) + line_for(k_claimed, st, key, 0, 1)); },
         VerifyMode::TrustRecord, k_claimed, false},
        {"ctime",
         [&] { fs_write_atomic(record, header_for(root) + line_for(k_claimed, st, key, 0, 0, 1)); },
         VerifyMode::TrustRecord, k_claimed, false},
        {"inode",
         [&] {
             fs_write_atomic(record, header_for(root) + line_for(k_claimed, st, key, 0, 0, 0, 1));
         },
         VerifyMode::TrustRecord, k_claimed, false},
        {"device",
         [&] {
             fs_write_atomic(record,
                             header_for(root) + line_for(k_claimed, st, key, 0, 0, 0, 0, 1));
         },
         VerifyMode::TrustRecord, k_claimed, false},
        {"another path",
         [&] { fs_write_atomic(record, header_for(root) + line_for(k_claimed, st, "b.jar")); },
         VerifyMode::TrustRecord, k_claimed, false},
        {"racy: taken in the tick of its last change",
         [&] {
             fs_write_atomic(record,
                             header_for(root) + line_for(k_claimed, st, key, 0, 0, 0, 0, 0, 0));
         },
         VerifyMode::TrustRecord, k_claimed, false},
        {"a record of version 1, without the moments",
         [&] {
             std::string header = header_for(root), line = line_for(k_claimed, st, key);
             header.replace(header.find(" 2 "), 3, " 1 ");
             size_t seen = 0;
             for (int field = 0; field < 6; field++)
                 seen = line.find(' ', seen) + 1;
             line.erase(seen, line.find(' ', seen) + 1 - seen);
             fs_write_atomic(record, header + line);
         },
         VerifyMode::TrustRecord, k_claimed, false},
        {"line cut short", [&] { fs_write_atomic(record, good.substr(0, good.size() - 1)); },
         VerifyMode::TrustRecord, k_claimed, false},
        {"record cut in its header", [&] { fs_write_atomic(record, good.substr(0, 10)); },
         VerifyMode::TrustRecord, k_claimed, false},
        {"garbled numbers",
         [&] {
             std::string bad = good;
             bad[bad.find(' ', 60) + 1] = 'x';
             fs_write_atomic(record, bad);
         },
         VerifyMode::TrustRecord, k_claimed, false},
        {"binary junk", [&] { fs_write_atomic(record, std::string("\0\xff\n\x01 zz\n", 8)); },
         VerifyMode::TrustRecord, k_claimed, false},
        {"empty record", [&] { fs_write_atomic(record, std::string()); }, VerifyMode::TrustRecord,
         k_claimed, false},
        {"no record", [&] { fs_delete(record); }, VerifyMode::TrustRecord, k_claimed, false},
        {"no record, right SHA-1 hashed", [&] { fs_delete(record); }, VerifyMode::TrustRecord, real,
         true},
    };
    for (const Case &c : cases) {
        c.setup();
        EXPECT_EQ(check(c.mode, c.expected_sha1), c.want) << c.name;
    }
}

// The launch after a same-size change with the modification time put back:
// the change time gives it away, the file is read and found wrong.
TEST_F(RecordFixture, ChangedFileIsHashedAgain) {
    const std::string real = sha1_hex(k_content.data(), k_content.size());
    VerifiedFiles vf;
    verified_open(vf, root, record, VerifyMode::HashAll);
    verified_note_written(&vf, file, real);
    ASSERT_EQ(verified_save(vf), 0);
    ASSERT_TRUE(verified_read(record, root).count(key));

    ASSERT_TRUE(wait_past_change_of(file));
    ASSERT_EQ(change_keeping_size_and_mtime(file), 0);
    struct stat now {};
    ASSERT_EQ(stat(file.c_str(), &now), 0);
    ASSERT_EQ(now.st_size, st.st_size);
    ASSERT_EQ(ns(now.st_mtim), ns(st.st_mtim));
    ASSERT_NE(fs_read_all(file), k_content);

    EXPECT_FALSE(check(VerifyMode::TrustRecord, real));
}

// How coarse a file time may be, told by its nanoseconds, and when an entry
// is clean: its change time at least one such step before its state was taken.
TEST(VerifiedRule, EntriesWithinOneStepOfTheirChangeAreRacy) {
    const long long s = 1000000000LL;
    struct Case {
        long long ctime, seen_after, step;
        bool clean;
    } cases[] = {
        {5 * s + 123, 0, 1, false},                   // nanosecond times: the same tick
        {5 * s + 123, 1, 1, true},                    // ... and the next one
        {5 * s, s, 2 * s, false},                     // whole seconds (FAT: two), a second later
        {5 * s, 2 * s, 2 * s, true},                  // ... two seconds later
        {5 * s + 10000000, 9999999, 10000000, false}, // exFAT's 10 ms
        {5 * s + 10000000, 10000000, 10000000, true},
        {5 * s + 500000000, 0, 100000000, false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(verified_time_step(c.ctime), c.step) << c.ctime;
        VerifiedEntry e;
        e.state.ctime_ns = c.ctime;
        e.seen_ns = c.ctime + c.seen_after;
        EXPECT_EQ(verified_entry_clean(e), c.clean) << c.ctime << " +" << c.seen_after;
    }
}

namespace {

// Checks a freshly written file and changes it right after, keeping its size
// and modification time, until a change lands in the same step of the file
// system's clock as the check and so keeps the change time too (the check
// and the change race the clock); each time that happens, the launch after
// must read the file. False when the race was never seen.
bool change_within_the_step_is_read(const std::string &root) {
    const std::string real = sha1_hex(k_content.data(), k_content.size());
    const std::string record = verified_record_path(root + "/cache");
    const std::string file = root + "/libraries/r.jar", key = "libraries/r.jar";
    EXPECT_EQ(fs_mkdirs(root + "/libraries"), 0);
    int same_step = 0;
    for (int i = 0; i < 100 && same_step < 3; i++) {
        {
            FilePtr f = fs_open(file, "wb"); // a change of its own, just now
            EXPECT_TRUE(f &&
                        fwrite(k_content.data(), 1, k_content.size(), f.get()) == k_content.size());
        }
        VerifiedFiles install;
        verified_open(install, root, record, VerifyMode::HashAll);
        EXPECT_TRUE(verified_check(&install, file, real));
        EXPECT_EQ(change_keeping_size_and_mtime(file), 0);
        struct stat after {};
        EXPECT_EQ(stat(file.c_str(), &after), 0);
        if (install.fresh.count(key) == 0) continue;
        bool kept = install.fresh[key].state.ctime_ns == ns(after.st_ctim);
        EXPECT_EQ(verified_save(install), 0);
        if (!kept) continue; // the clock moved on: the change shows
        same_step++;
        VerifiedFiles launch;
        verified_open(launch, root, record, VerifyMode::TrustRecord);
        EXPECT_FALSE(verified_check(&launch, file, real))
            << "trusted a file changed within the step of its record";
    }
    return same_step > 0;
}

} // namespace

// A check whose clock had not yet moved past the file's last change (the
// file is written again until a check lands so) records the entry racy: a
// change right after it could keep every time, so the launch reads the file
// again. Whether such a change keeps the change time is up to the kernel
// (newer ones stamp a change after a look at the file with a time of its
// own), so what is asserted is the read, every time.
TEST(VerifiedRace, CheckWithinTheTickOfTheChangeIsNotTrusted) {
    TempDir t;
    const std::string root = t.path, record = verified_record_path(root + "/cache");
    const std::string file = root + "/libraries/r.jar", key = "libraries/r.jar";
    const std::string real = sha1_hex(k_content.data(), k_content.size());
    bool landed = false;
    for (int i = 0; i < 1000 && !landed; i++) {
        ASSERT_EQ(fs_write_atomic(file, k_content), 0); // changed just now
        VerifiedFiles install;
        verified_open(install, root, record, VerifyMode::HashAll);
        ASSERT_TRUE(verified_check(&install, file, real));
        ASSERT_EQ(install.fresh.count(key), 1u);
        const VerifiedEntry &e = install.fresh[key];
        landed = e.seen_ns <= e.state.ctime_ns;
        if (landed) {
            ASSERT_EQ(verified_save(install), 0);
        }
    }
    ASSERT_TRUE(landed) << "no check landed within the clock tick of the file's change";
    VerifiedFiles launch;
    verified_open(launch, root, record, VerifyMode::TrustRecord);
    EXPECT_TRUE(verified_check(&launch, file, real));
    EXPECT_EQ(launch.fresh.count(key), 1u)
        << "trusted a file checked within the clock tick of its last change";
}

// ext4 with 128-byte inodes keeps whole seconds: a change within the second
// of the record keeps every time.
TEST(VerifiedRace, ChangeWithinTheRecordedSecondIsRead) {
    TempDir t;
    ScratchFs coarse(t.path + "/data", ScratchKind::CoarseTimes, "16");
    if (!coarse.mounted) GTEST_SKIP() << coarse.why;
    EXPECT_TRUE(change_within_the_step_is_read(coarse.dir))
        << "no change landed within the second of its record";
}

// A racy entry is hashed before it is trusted, and recorded anew: clean, once
// the clock has moved past the file's change.
TEST_F(RecordFixture, RacyEntryIsHashedAgainThenRecordedClean) {
    const std::string real = sha1_hex(k_content.data(), k_content.size());
    ASSERT_TRUE(wait_past_change_of(file));
    ASSERT_EQ(fs_write_atomic(record, header_for(root) + line_for(real, st, key, 0, 0, 0, 0, 0, 0)),
              0);
    ASSERT_FALSE(verified_entry_clean(verified_read(record, root)[key]));
    VerifiedFiles vf;
    verified_open(vf, root, record, VerifyMode::TrustRecord);
    EXPECT_TRUE(verified_check(&vf, file, real));
    ASSERT_EQ(vf.fresh.count(key), 1u); // read, not taken on the record's word
    ASSERT_EQ(verified_save(vf), 0);
    VerifiedEntry e = verified_read(record, root)[key];
    EXPECT_EQ(e.sha1, real);
    EXPECT_TRUE(verified_entry_clean(e));
}

// Processes saving at once merge under the lock: every entry of every one of
// them is there afterwards, and the record reads.
TEST_F(RecordFixture, ProcessesSavingAtOnceKeepEachOthersEntries) {
    const int processes = 4, rounds = 15;
    for (int p = 0; p < processes; p++)
        for (int r = 0; r < rounds; r++)
            ASSERT_EQ(fs_write_atomic(format_alloc("%s/libraries/p%d/f%d.jar", root.c_str(), p, r),
                                      format_alloc("%d-%d", p, r)),
                      0);
    std::vector<pid_t> children;
    for (int p = 0; p < processes; p++) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int r = 0; r < rounds; r++) {
                VerifiedFiles vf;
                verified_open(vf, root, record, VerifyMode::HashAll);
                verified_note_written(
                    &vf, format_alloc("%s/libraries/p%d/f%d.jar", root.c_str(), p, r), k_claimed);
                if (verified_save(vf) != 0) _exit(1);
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    VerifiedTable t = verified_read(record, root);
    EXPECT_EQ(t.size(), static_cast<size_t>(processes * rounds));
    for (int p = 0; p < processes; p++)
        for (int r = 0; r < rounds; r++)
            EXPECT_TRUE(t.count(format_alloc("libraries/p%d/f%d.jar", p, r))) << p << " " << r;
    std::vector<std::string> names = dir_list(root + "/cache").value_or(std::vector<std::string>{});
    for (const std::string &name : names)
        EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
}
