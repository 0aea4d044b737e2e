// The record of verified files as a user meets it: "zyl launch" of an
// installed version trusts what the record vouches for and reads the rest,
// a file changed behind the record's back is read and replaced, "zyl
// install" reads every file, and a damaged record costs only time.
#include "base/fs.h"
#include "fakenet/fakenet.h"
#include "fakenet/file_change.h"
#include "fakenet/run_zyl.h"
#include "net/verified.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

class VerifiedE2E : public ::testing::Test {
  protected:
    // Java is /bin/true: it exits at once, the launch is what is tested.
    ZylRun zyl(const std::vector<std::string> &extra) {
        std::vector<std::string> args = {"--data-dir", dir.path};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_zyl(
            args,
            {{"ZYL_ENDPOINTS", net->endpoints_env()}, {"ZYL_API", ""}, {"ZYL_JAVA", "/bin/true"}});
    }

    std::string record() const { return verified_record_path(dir.path + "/cache"); }

    FakeNetPtr net = fakenet_start();
    TempDir dir;
    const std::string lib = dir.path + "/libraries/com/mojang/logging/1.1.1/logging-1.1.1.jar";
};

} // namespace

TEST_F(VerifiedE2E, LaunchReplacesAFileChangedAfterItWasRecorded) {
    ASSERT_EQ(zyl({"install", "1.20.1"}).code, 0);
    ASSERT_TRUE(verified_read(record(), dir.path)
                    .count("libraries/com/mojang/logging/1.1.1/logging-1.1.1.jar"));
    std::optional<std::string> good = fs_read_all(lib);
    ASSERT_TRUE(wait_past_change_of(lib));
    ASSERT_EQ(change_keeping_size_and_mtime(lib), 0);
    ASSERT_NE(fs_read_all(lib), good);

    ZylRun r = zyl({"launch", "1.20.1"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(fs_read_all(lib), good);
}

// A damaged file the record still vouches for (its entry made to match, as
// no real change can) shows which path reads what: the launch takes the
// record's word, the install reads the file and repairs it. A garbled
// record is no error: the launch reads everything.
TEST_F(VerifiedE2E, LaunchTrustsTheRecordInstallReadsEveryFile) {
    ASSERT_EQ(zyl({"install", "1.20.1"}).code, 0);
    std::optional<std::string> good = fs_read_all(lib);
    std::string sha1 =
        verified_read(record(), dir.path)["libraries/com/mojang/logging/1.1.1/logging-1.1.1.jar"]
            .sha1;
    ASSERT_FALSE(sha1.empty());
    ASSERT_EQ(change_keeping_size_and_mtime(lib), 0);
    ASSERT_TRUE(wait_past_change_of(lib)); // so that the entry made next is not racy
    VerifiedFiles vf;
    verified_open(vf, dir.path, record(), VerifyMode::HashAll);
    verified_note_written(&vf, lib, sha1);
    ASSERT_EQ(verified_save(vf), 0);

    ASSERT_EQ(zyl({"launch", "1.20.1"}).code, 0);
    EXPECT_NE(fs_read_all(lib), good);
    ZylRun r = zyl({"install", "1.20.1"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(fs_read_all(lib), good);

    ASSERT_EQ(fs_write_atomic(record(), std::string("zyl-verified 2 1 1\n\x01\x02 junk\n")), 0);
    ASSERT_EQ(fs_write_atomic(lib, std::string("damaged")), 0);
    r = zyl({"launch", "1.20.1"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(fs_read_all(lib), good);
}

// A record that is a FIFO or a device (here through a symlink) neither
// blocks the launch nor fills its memory: it reads as damaged, everything is
// read, and the launch leaves a real record behind.
TEST_F(VerifiedE2E, RecordThatIsNotAFileCostsOnlyTime) {
    ASSERT_EQ(zyl({"install", "1.20.1"}).code, 0);
    for (bool fifo : {true, false}) {
        SCOPED_TRACE(fifo ? "fifo" : "/dev/zero");
        ASSERT_EQ(fs_delete(record()), 0);
        ASSERT_EQ(fifo ? mkfifo(record().c_str(), 0644) : symlink("/dev/zero", record().c_str()),
                  0);
        ZylRun r = zyl({"launch", "1.20.1"});
        EXPECT_EQ(r.code, 0) << r.err;
        struct stat st {};
        ASSERT_EQ(lstat(record().c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
    }
}
