#include "base/zip_writer.h"

#include "base/archive.h"
#include "base/fs.h"
#include "fakenet/run_zyl.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sys/mount.h>

namespace {

std::string noise(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char &c : s)
        c = static_cast<char>(gen());
    return s;
}

// What Python's own ZIP reader says of an archive: "ok" when every entry's
// CRC checks, then the names; "" when python3 is missing.
std::string python_zip_check(const std::string &archive) {
    std::string cmd = "python3 -c 'import sys, zipfile\n"
                      "z = zipfile.ZipFile(sys.argv[1])\n"
                      "print(\"ok\" if z.testzip() is None else \"bad\")\n"
                      "print(\"\\n\".join(z.namelist()))' '" +
                      archive + "' 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return "";
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    return pclose(p) == 0 ? out : "";
}

} // namespace

// What goes in comes out byte for byte, through the launcher's reader and
// through an independent one; the target appears only when finished.
TEST(ZipWriter, RoundTrip) {
    TempDir t;
    std::string big = noise(300000, 1) + std::string(300000, 'a'); // several blocks, both kinds
    ASSERT_EQ(fs_write_atomic(t.path + "/big.bin", big), 0);
    ASSERT_EQ(fs_write_atomic(t.path + "/empty", ""), 0);
    std::string target = t.path + "/out.mrpack";
    std::string err;
    {
        ZipWriter w;
        ASSERT_EQ(zip_writer_open(w, target, &err), 0) << err;
        ASSERT_EQ(zip_writer_add_data(w, "modrinth.index.json", "{\"a\":1}", &err), 0) << err;
        ASSERT_EQ(zip_writer_add_file(w, "overrides/mods/big.bin", t.path + "/big.bin", &err), 0);
        ASSERT_EQ(zip_writer_add_file(w, "overrides/config/Моя.cfg", t.path + "/empty", &err), 0);
        EXPECT_FALSE(fs_exists(target));
        ASSERT_EQ(zip_writer_finish(w, &err), 0) << err;
    }
    ASSERT_TRUE(fs_exists(target));
    EXPECT_EQ(dir_list(t.path)->size(), 3u) << "temporary archive left behind";

    ASSERT_EQ(zip_extract(target, t.path + "/x", 0, ""), 0);
    EXPECT_EQ(fs_read_all(t.path + "/x/modrinth.index.json"), std::string("{\"a\":1}"));
    EXPECT_EQ(fs_read_all(t.path + "/x/overrides/mods/big.bin"), big);
    EXPECT_EQ(fs_read_all(t.path + "/x/overrides/config/Моя.cfg"), std::string(""));

    std::string py = python_zip_check(target);
    if (py.empty()) GTEST_SKIP() << "python3 is not there to read the archive independently";
    EXPECT_EQ(py, "ok\nmodrinth.index.json\noverrides/mods/big.bin\noverrides/config/Моя.cfg\n");
}

// An archive that is not finished (given up, or the disk filled) is removed,
// and a file already at the target stays as it was.
TEST(ZipWriter, UnfinishedArchiveLeavesNothing) {
    TempDir t;
    std::string target = t.path + "/pack.mrpack";
    ASSERT_EQ(fs_write_atomic(target, "the old pack"), 0);
    std::string err;
    {
        ZipWriter w;
        ASSERT_EQ(zip_writer_open(w, target, &err), 0);
        ASSERT_EQ(zip_writer_add_data(w, "a.txt", "a", &err), 0);
    }
    EXPECT_EQ(fs_read_all(target), std::string("the old pack"));
    EXPECT_EQ(dir_list(t.path)->size(), 1u);

    std::string disk = t.path + "/disk";
    fs_mkdirs(disk);
    if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (not root?)";
    struct Unmount {
        std::string at;
        ~Unmount() { umount(at.c_str()); }
    } unmount{disk};
    target = disk + "/pack.mrpack";
    ASSERT_EQ(fs_write_atomic(target, "the old pack"), 0);
    ASSERT_EQ(fs_write_atomic(t.path + "/big.bin", noise(200000, 2)), 0);
    {
        ZipWriter w;
        ASSERT_EQ(zip_writer_open(w, target, &err), 0);
        EXPECT_EQ(zip_writer_add_file(w, "big.bin", t.path + "/big.bin", &err), -1);
        EXPECT_EQ(err.rfind("Не удалось записать " + target + ": ", 0), 0u) << err;
    }
    EXPECT_EQ(fs_read_all(target), std::string("the old pack"));
    EXPECT_EQ(dir_list(disk)->size(), 1u);
}
