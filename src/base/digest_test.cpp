#include "base/digest.h"

#include "base/fs.h"
#include "fakenet/run_zyl.h"

#include <gtest/gtest.h>

TEST(Digest, FilesAndMissingFile) {
    TempDir t;
    std::string empty = t.path + "/empty", abc = t.path + "/abc";
    ASSERT_EQ(fs_write_atomic(empty, ""), 0);
    ASSERT_EQ(fs_write_atomic(abc, "abc"), 0);
    std::string out;
    ASSERT_EQ(file_sha1_hex(empty, out), 0);
    EXPECT_EQ(out, "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    ASSERT_EQ(file_sha1_hex(abc, out), 0);
    EXPECT_EQ(out, "a9993e364706816aba3e25717850c26c9cd0d89d");
    ASSERT_EQ(file_sha256_hex(abc, out), 0);
    EXPECT_EQ(out, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    ASSERT_EQ(file_sha512_hex(abc, out), 0);
    EXPECT_EQ(out, "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
                   "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f");
    out = "untouched";
    EXPECT_EQ(file_sha1_hex(t.path + "/missing", out), -1);
    EXPECT_EQ(out, "untouched");
}

TEST(Digest, LargerThanOneReadBlock) {
    TempDir t;
    std::string data(200000, 'z');
    ASSERT_EQ(fs_write_atomic(t.path + "/big", data), 0);
    std::string out;
    ASSERT_EQ(file_sha1_hex(t.path + "/big", out), 0);
    EXPECT_EQ(out, sha1_hex(data.data(), data.size()));
}
