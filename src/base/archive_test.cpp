#include "base/archive.h"

#include "base/amounts.h"
#include "base/fs.h"
#include "base/strings.h"
#include "fakenet/run_zyl.h"
#include "fakenet/scratch_fs.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

// ---- a small ZIP writer ----

struct ZipEntry {
    ZipEntry(std::string n, std::string d, int m = 8, long long cs = -1, long long us = -1,
             long long c = -1)
        : name(std::move(n)), data(std::move(d)), method(m), csize(cs), usize(us), crc(c) {}
    std::string name;
    std::string data;
    int method;      // 0 stored, 8 deflate; anything else is written as raw bytes
    long long csize; // forged sizes and CRC for broken archives, -1 for the real ones
    long long usize;
    long long crc;
};

uint32_t crc_of(const std::string &data) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef *>(data.data()), (uInt)data.size()));
}

void put16(std::string &s, unsigned v) {
    s += static_cast<char>(v & 0xff);
    s += static_cast<char>(v >> 8 & 0xff);
}
void put32(std::string &s, uint32_t v) {
    put16(s, v & 0xffff);
    put16(s, v >> 16);
}

std::string raw_deflate(const std::string &in) {
    z_stream s{};
    deflateInit2(&s, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&s, in.size()), '\0');
    s.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.data()));
    s.avail_in = static_cast<uInt>(in.size());
    s.next_out = reinterpret_cast<Bytef *>(out.data());
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

std::string zip_build(const std::vector<ZipEntry> &entries, const std::string &comment = "") {
    std::string body, dir;
    for (const ZipEntry &e : entries) {
        std::string packed = e.method == 8 ? raw_deflate(e.data) : e.data;
        uint32_t crc = e.crc >= 0 ? (uint32_t)e.crc : crc_of(e.data);
        uint32_t cs = e.csize >= 0 ? (uint32_t)e.csize : (uint32_t)packed.size();
        uint32_t us = e.usize >= 0 ? (uint32_t)e.usize : (uint32_t)e.data.size();
        uint32_t offset = (uint32_t)body.size();
        put32(body, 0x04034b50);
        put16(body, 20), put16(body, 0), put16(body, e.method), put32(body, 0);
        put32(body, crc), put32(body, cs), put32(body, us);
        put16(body, (unsigned)e.name.size()), put16(body, 0);
        body += e.name + packed;

        put32(dir, 0x02014b50);
        put16(dir, 20), put16(dir, 20), put16(dir, 0), put16(dir, e.method), put32(dir, 0);
        put32(dir, crc), put32(dir, cs), put32(dir, us);
        put16(dir, (unsigned)e.name.size()), put16(dir, 0), put16(dir, 0);
        put16(dir, 0), put16(dir, 0), put32(dir, 0), put32(dir, offset);
        dir += e.name;
    }
    std::string out = body + dir;
    put32(out, 0x06054b50);
    put16(out, 0), put16(out, 0);
    put16(out, (unsigned)entries.size()), put16(out, (unsigned)entries.size());
    put32(out, (uint32_t)dir.size()), put32(out, (uint32_t)body.size());
    put16(out, (unsigned)comment.size());
    return out + comment;
}

// ---- a small tar.gz writer ----

struct TarEntry {
    std::string name;
    char type = '0';
    std::string data;
    unsigned mode = 0644;
    std::string link;
    bool pax = false; // name in a pax header instead of a GNU long-name entry
};
TarEntry file(const std::string &name, const std::string &data, unsigned mode = 0644) {
    return TarEntry{name, '0', data, mode, "", false};
}
TarEntry pax_file(const std::string &name, const std::string &data, unsigned mode) {
    return TarEntry{name, '0', data, mode, "", true};
}
TarEntry folder(const std::string &name) {
    return TarEntry{name, '5', "", 0755, "", false};
}
TarEntry link(const std::string &name, char type, const std::string &target) {
    return TarEntry{name, type, "", 0777, target, false};
}

std::string octal(unsigned long long v, size_t width) {
    std::string s = format_alloc("%0*llo", (int)width - 1, v);
    return s;
}

std::string tar_header(const std::string &name, char type, size_t size, unsigned mode,
                       const std::string &link) {
    std::string h(512, '\0');
    memcpy(&h[0], name.data(), std::min<size_t>(name.size(), 100));
    memcpy(&h[100], octal(mode, 8).data(), 7);
    memcpy(&h[108], octal(0, 8).data(), 7);
    memcpy(&h[116], octal(0, 8).data(), 7);
    memcpy(&h[124], octal(size, 12).data(), 11);
    memcpy(&h[136], octal(0, 12).data(), 11);
    h[156] = type;
    memcpy(&h[157], link.data(), std::min<size_t>(link.size(), 100));
    memcpy(&h[257],
           "ustar\0"
           "00",
           8);
    memset(&h[148], ' ', 8);
    unsigned sum = 0;
    for (unsigned char c : h)
        sum += c;
    memcpy(&h[148], octal(sum, 7).data(), 6);
    return h;
}

std::string tar_block(const std::string &data) {
    return data + std::string((512 - data.size() % 512) % 512, '\0');
}

std::string tar_build(const std::vector<TarEntry> &entries) {
    std::string out;
    for (const TarEntry &e : entries) {
        if (e.pax) {
            std::string rec = " path=" + e.name + "\n";
            std::string len = std::to_string(rec.size() + 2);
            rec = std::to_string(rec.size() + len.size()) + rec;
            out += tar_header("PaxHeaders/x", 'x', rec.size(), 0644, "") + tar_block(rec);
        } else if (e.name.size() > 100) {
            std::string n = e.name + '\0';
            out += tar_header("././@LongLink", 'L', n.size(), 0644, "") + tar_block(n);
        }
        out += tar_header(e.name, e.type, e.data.size(), e.mode, e.link) + tar_block(e.data);
    }
    return out + std::string(1024, '\0');
}

std::string gzip(const std::string &in) {
    z_stream s{};
    deflateInit2(&s, 6, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&s, in.size()) + 32, '\0');
    s.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.data()));
    s.avail_in = static_cast<uInt>(in.size());
    s.next_out = reinterpret_cast<Bytef *>(out.data());
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

// ---- the extracted tree: files with their content, "<dir>", "-> link" ----

void walk(const std::string &root, const std::string &rel,
          std::map<std::string, std::string> &out) {
    auto names = dir_list(rel.empty() ? root : root + "/" + rel);
    if (!names) return;
    for (const std::string &n : *names) {
        std::string r = rel.empty() ? n : rel + "/" + n;
        std::string p = root + "/" + r;
        struct stat st;
        lstat(p.c_str(), &st);
        if (S_ISLNK(st.st_mode)) {
            char buf[PATH_MAX];
            ssize_t len = readlink(p.c_str(), buf, sizeof buf);
            out[r] = "-> " + std::string(buf, len > 0 ? (size_t)len : 0);
        } else if (S_ISDIR(st.st_mode)) {
            out[r] = "<dir>";
            walk(root, r, out);
        } else {
            out[r] = fs_read_all(p).value_or("?");
        }
    }
}

std::map<std::string, std::string> tree(const std::string &root) {
    std::map<std::string, std::string> out;
    walk(root, "", out);
    return out;
}

using Tree = std::map<std::string, std::string>;

// A plain write: the loops below write hundreds of archives, no fsync needed.
void put_file(const std::string &path, const std::string &data) {
    FilePtr f = fs_open(path, "wb");
    ASSERT_TRUE(f);
    ASSERT_EQ(fwrite(data.data(), 1, data.size(), f.get()), data.size());
}

} // namespace

// ---- ZIP ----

struct ZipCase {
    const char *what;
    std::vector<ZipEntry> entries;
    int strip;
    const char *skip;
    int rc;
    Tree want;
};

TEST(Zip, ExtractsTrees) {
    const std::string text = "the same text, stored and deflated; the same text again\n";
    const ZipCase cases[] = {
        {"top folder stripped, root file and a..b skipped, backslashes are folders",
         {{"pack/", "", 0},
          {"pack/stored.txt", text, 0},
          {"pack/deflated.txt", text, 8},
          {"pack\\sub\\win.txt", "w"},
          {"root.txt", "r"},
          {"pack/x/a..b", "dots"},
          {"pack/empty.txt", "", 8}},
         1,
         "",
         0,
         {{"stored.txt", text},
          {"deflated.txt", text},
          {"sub", "<dir>"},
          {"sub/win.txt", "w"},
          {"empty.txt", ""}}},
        {"native jar: META-INF skipped",
         {{"META-INF/", "", 0},
          {"META-INF/MANIFEST.MF", "m"},
          {"META-INF/CERT.SF", "s"},
          {"liblwjgl.so", std::string(5000, 'x')}},
         0,
         "META-INF/",
         0,
         {{"liblwjgl.so", std::string(5000, 'x')}}},
        {"an LZMA entry fails alone",
         {{"a.txt", "a", 0}, {"lz.bin", "not really lzma", 14}, {"c.txt", "c"}},
         0,
         "",
         -1,
         {{"a.txt", "a"}, {"c.txt", "c"}}},
        {"absolute and dotted names are skipped",
         {{"/etc/zyl-escape", "x"},
          {"C:/Windows/x", "x"},
          {"c:\\x", "x"},
          {"../up", "x"},
          {"ok/../../up", "x"},
          {"ok.txt", "ok"}},
         0,
         "",
         0,
         {{"ok.txt", "ok"}}},
        {"data running past the directory refuses the archive",
         {{"big.bin", "abc", 0, 0x7ffffff0, 0x7ffffff0}, {"good.txt", "g"}},
         0,
         "",
         -1,
         {}},
        {"data ending before the declared size fails the entry only",
         {{"early.bin", "abc", 8, -1, 100000}, {"short.bin", "abcdef", 0, 3, 6}, {"good.txt", "g"}},
         0,
         "",
         -1,
         {{"good.txt", "g"}}},
        {"a stream going on past the declared size fails the entry only",
         {{"long.bin", std::string(10000, 'x'), 8, -1, 100, crc_of(std::string(100, 'x'))},
          {"good.txt", "g"}},
         0,
         "",
         -1,
         {{"good.txt", "g"}}},
    };
    for (const ZipCase &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir t;
        std::string zip = t.path + "/a.zip";
        // the end record sits behind a 1000-byte comment
        ASSERT_EQ(fs_write_atomic(zip, zip_build(c.entries, std::string(1000, 'c'))), 0);
        std::string err;
        EXPECT_EQ(zip_extract(zip, t.path + "/out", c.strip, c.skip, &err), c.rc);
        EXPECT_EQ(c.rc == 0, err.empty()) << err;
        EXPECT_EQ(tree(t.path + "/out"), c.want);
    }
}

// Existing files are replaced, but an entry that fails keeps the old file.
TEST(Zip, OverwritesOnlyWithGoodEntries) {
    TempDir t;
    std::string out = t.path + "/out";
    ASSERT_EQ(fs_write_atomic(out + "/new.txt", "old"), 0);
    ASSERT_EQ(fs_write_atomic(out + "/lz.bin", "good"), 0);
    ASSERT_EQ(fs_write_atomic(out + "/crc.bin", "good"), 0);
    ZipEntry bad_crc{"crc.bin", "payload"};
    std::string zip = zip_build({{"new.txt", "new"}, {"lz.bin", "x", 14}, bad_crc});
    // flip one byte of crc.bin's deflated data: the CRC no longer matches
    size_t at = zip.find("crc.bin") + 7;
    zip[at + 1] ^= 0x01;
    ASSERT_EQ(fs_write_atomic(t.path + "/a.zip", zip), 0);
    EXPECT_EQ(zip_extract(t.path + "/a.zip", out, 0, ""), -1);
    EXPECT_EQ(tree(out), (Tree{{"new.txt", "new"}, {"lz.bin", "good"}, {"crc.bin", "good"}}));
}

// A link already in the target must not carry an entry outside it.
TEST(Zip, DoesNotWriteThroughLinksLeavingTheTarget) {
    TempDir t;
    std::string out = t.path + "/out";
    ASSERT_EQ(fs_mkdirs(out), 0);
    ASSERT_EQ(fs_mkdirs(t.path + "/outside"), 0);
    ASSERT_EQ(symlink("../outside", (out + "/link").c_str()), 0);
    ASSERT_EQ(fs_write_atomic(t.path + "/a.zip",
                              zip_build({{"link/evil.txt", "x"}, {"link/", "", 0}, {"ok", "1"}})),
              0);
    EXPECT_EQ(zip_extract(t.path + "/a.zip", out, 0, ""), -1);
    EXPECT_EQ(tree(t.path + "/outside"), Tree{});
    EXPECT_EQ(*fs_read_all(out + "/ok"), "1");
}

// Every prefix of an archive, and forged directory fields, fail cleanly.
TEST(Zip, TruncatedAndForgedArchivesFailCleanly) {
    TempDir t;
    std::string full = zip_build(
        {{"dir/", "", 0}, {"dir/a.txt", std::string(3000, 'a'), 8}, {"dir/b.txt", "bbbb", 0}});
    std::string zip = t.path + "/a.zip";
    for (size_t len = 0; len < full.size(); len++) {
        put_file(zip, full.substr(0, len));
        std::string out = t.path + "/cut" + std::to_string(len);
        EXPECT_EQ(zip_extract(zip, out, 0, ""), -1) << len;
        // whatever got written is whole
        for (const auto &[name, content] : tree(out)) {
            if (content != "<dir>") {
                EXPECT_TRUE(content == std::string(3000, 'a') || content == "bbbb");
            }
        }
    }

    size_t end = full.size() - 22;
    auto forged = [&](size_t field, uint32_t v) {
        std::string z = full;
        for (int i = 0; i < 4; i++)
            z[field + i] = static_cast<char>(v >> (8 * i));
        return z;
    };
    size_t cd = full.find("PK\x01\x02");
    size_t cd_file = full.find("PK\x01\x02", cd + 1); // dir/a.txt
    const std::pair<const char *, std::string> broken[] = {
        {"directory offset past the end", forged(end + 16, 0xfffffff0)},
        {"directory size past the end", forged(end + 12, 0x7ffffff0)},
        {"local header offset past the end", forged(cd_file + 42, 0xfffffff0)},
        {"not a zip", std::string(100, 'x')},
    };
    for (const auto &[what, bytes] : broken) {
        SCOPED_TRACE(what);
        ASSERT_EQ(fs_write_atomic(zip, bytes), 0);
        std::string err;
        EXPECT_EQ(zip_extract(zip, t.path + "/forged", 0, "", &err), -1);
        EXPECT_FALSE(err.empty());
    }
    EXPECT_EQ(zip_extract(t.path + "/missing.zip", t.path + "/m", 0, ""), -1);
}

// One stream named by many entries of the directory unpacks to many times
// its size: such an archive is refused before anything is written.
TEST(Zip, OverlappingEntriesAreRefused) {
    TempDir t;
    std::string one = zip_build({{"0000.bin", std::string(1 << 20, '\0')}});
    size_t cd = one.find("PK\x01\x02");
    size_t end = one.find("PK\x05\x06");
    std::string entry = one.substr(cd, end - cd), dir;
    const int copies = 200;
    for (int i = 0; i < copies; i++) {
        std::string e = entry;
        e.replace(46, 4, format_alloc("%04d", i)); // the name's first four characters
        dir += e;
    }
    std::string bomb = one.substr(0, cd) + dir;
    put32(bomb, 0x06054b50);
    put16(bomb, 0), put16(bomb, 0), put16(bomb, copies), put16(bomb, copies);
    put32(bomb, (uint32_t)dir.size()), put32(bomb, (uint32_t)cd), put16(bomb, 0);
    ASSERT_EQ(fs_write_atomic(t.path + "/bomb.zip", bomb), 0);
    std::string err;
    EXPECT_EQ(zip_extract(t.path + "/bomb.zip", t.path + "/out", 0, "", &err), -1);
    EXPECT_EQ(err, "Архив повреждён: записи перекрываются");
    EXPECT_EQ(tree(t.path + "/out"), Tree{});
}

// The sizes an archive declares, all its entries together, must fit in the
// target's free space before anything is written; a disk that fills up
// anyway names the cause.
TEST(Zip, FullDiskIsToldBeforeAndDuring) {
    TempDir t;
    ScratchFs small(t.path + "/small", ScratchKind::Tmpfs, "size=1m,nr_inodes=5");
    if (!small.mounted) GTEST_SKIP() << small.why;
    std::string out = small.dir + "/out";
    const int k_part = 600 << 10; // fits in 1 MiB alone, not twice
    const struct {
        const char *name;
        std::vector<ZipEntry> entries;
        long long needed;
    } too_big[] = {
        {"one entry", {{"big.bin", std::string(2 << 20, 'z')}, {"b", "b"}}, (2 << 20) + 1},
        {"two entries",
         {{"one.bin", std::string(k_part, 'o')}, {"two.bin", std::string(k_part, 't')}},
         2LL * k_part},
    };
    std::string err;
    for (const auto &c : too_big) {
        ASSERT_EQ(fs_write_atomic(t.path + "/big.zip", zip_build(c.entries)), 0);
        EXPECT_EQ(zip_extract(t.path + "/big.zip", out, 0, "", &err), -1) << c.name;
        EXPECT_EQ(err, "Недостаточно места: нужно " + amount_bytes(c.needed) + ", свободно " +
                           amount_bytes(*fs_free_bytes(out)))
            << c.name;
        Tree written = tree(out); // names only: the contents are large
        EXPECT_TRUE(written.empty()) << c.name << " wrote " << written.begin()->first;
    }

    // Small files, but too few inodes for them all: the first that fails
    // names the full disk, and what was written is whole.
    std::vector<ZipEntry> many;
    for (int i = 0; i < 8; i++)
        many.push_back({format_alloc("f%d", i), std::string(1000, 'a' + i)});
    ASSERT_EQ(fs_write_atomic(t.path + "/many.zip", zip_build(many)), 0);
    EXPECT_EQ(zip_extract(t.path + "/many.zip", out, 0, "", &err), -1);
    EXPECT_EQ(err.substr(err.find(':')), ": " + fs_error_text(ENOSPC)) << err;
    Tree got = tree(out);
    EXPECT_LT(got.size(), many.size());
    for (const auto &[name, content] : got)
        EXPECT_EQ(content, std::string(1000, name[1] - '0' + 'a')) << name;
}

// ---- tar.gz ----

TEST(TarGz, ExtractsRuntimeTree) {
    TempDir t;
    std::string long_dir = "jdk/" + std::string(120, 'L');
    std::string pax_name = "jdk/" + std::string(150, 'P') + "/pax.txt";
    std::vector<TarEntry> entries = {
        folder("jdk/"),
        file("jdk/bin/java", "#!/bin/sh\necho java\n", 0755),
        file("jdk/lib/libjli.so", "elf"),
        link("jdk/lib/link.so", '2', "libjli.so"),
        link("jdk/legal/java.base/LICENSE", '2', "../../lib/libjli.so"),
        link("jdk/lib/hard.so", '1', "jdk/lib/libjli.so"),
        file(long_dir + "/long.txt", "long name"),
        pax_file(pax_name, "pax name", 0600),
        link("jdk/escape", '2', "../../outside"),
        link("jdk/absolute", '2', "/etc/passwd"),
        file("jdk/../up.txt", "up"),
        file("/abs.txt", "abs"),
        link("jdk/fifo", '6', ""),
        file("./jdk/release", "JAVA_VERSION=\"17\""),
    };
    ASSERT_EQ(fs_write_atomic(t.path + "/jre.tar.gz", gzip(tar_build(entries))), 0);
    std::string out = t.path + "/runtime";
    std::string err;
    // the picker recognises gzip; the two escaping links fail
    EXPECT_EQ(archive_extract(t.path + "/jre.tar.gz", out, 1, "", &err), -1);
    EXPECT_NE(err.find("jdk/escape"), std::string::npos) << err;
    Tree want = {
        {"bin", "<dir>"},
        {"bin/java", "#!/bin/sh\necho java\n"},
        {"lib", "<dir>"},
        {"lib/libjli.so", "elf"},
        {"lib/link.so", "-> libjli.so"},
        {"lib/hard.so", "elf"},
        {"legal", "<dir>"},
        {"legal/java.base", "<dir>"},
        {"legal/java.base/LICENSE", "-> ../../lib/libjli.so"},
        {std::string(120, 'L'), "<dir>"},
        {std::string(120, 'L') + "/long.txt", "long name"},
        {std::string(150, 'P'), "<dir>"},
        {std::string(150, 'P') + "/pax.txt", "pax name"},
        {"release", "JAVA_VERSION=\"17\""},
    };
    EXPECT_EQ(tree(out), want);
    EXPECT_FALSE(fs_exists(t.path + "/outside"));
    struct stat st;
    ASSERT_EQ(stat((out + "/bin/java").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    ASSERT_EQ(stat((out + "/lib/libjli.so").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    ASSERT_EQ(stat((out + "/" + std::string(150, 'P') + "/pax.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // a clean archive gives 0
    entries.resize(8);
    ASSERT_EQ(fs_write_atomic(t.path + "/ok.tar.gz", gzip(tar_build(entries))), 0);
    EXPECT_EQ(archive_extract(t.path + "/ok.tar.gz", t.path + "/ok", 1, "", &err), 0) << err;
}

// Links that stay inside one by one but leave the target together.
TEST(TarGz, RefusesLinkChainsLeavingTheTarget) {
    struct Case {
        const char *what;
        std::vector<TarEntry> entries;
        Tree want;
    };
    const Case cases[] = {
        {"a link through an earlier link",
         {link("here", '2', "."), link("up", '2', "here/..")},
         {{"here", "-> ."}}},
        {"an earlier link through a later one",
         {link("up", '2', "here/.."), link("here", '2', ".")},
         {{"here", "-> ."}}},
        {"a file written through a link to the parent",
         {folder("d"), link("d/p", '2', ".."), file("d/p/ok.txt", "inside")},
         {{"d", "<dir>"}, {"d/p", "-> .."}, {"ok.txt", "inside"}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir t;
        std::string out = t.path + "/out";
        ASSERT_EQ(fs_write_atomic(t.path + "/a.tar.gz", gzip(tar_build(c.entries))), 0);
        int rc = tar_gz_extract(t.path + "/a.tar.gz", out, 0, "");
        EXPECT_EQ(tree(out), c.want);
        EXPECT_EQ(rc, c.want.count("ok.txt") ? 0 : -1);
        auto names = dir_list(t.path);
        EXPECT_EQ(names->size(), 2u); // nothing appeared beside the target
    }
}

TEST(TarGz, TruncatedArchivesFailCleanly) {
    TempDir t;
    std::string full =
        gzip(tar_build({file("bin/java", std::string(20000, 'j'), 0755), file("lib/a.so", "so")}));
    for (size_t len = 2; len < full.size(); len += 7) {
        put_file(t.path + "/a.tar.gz", full.substr(0, len));
        std::string out = t.path + "/cut";
        EXPECT_EQ(tar_gz_extract(t.path + "/a.tar.gz", out, 0, ""), -1) << len;
        for (const auto &[name, content] : tree(out)) {
            if (content != "<dir>") {
                EXPECT_TRUE(content == std::string(20000, 'j') || content == "so");
            }
        }
        fs_remove_tree(out);
    }
    // a header claiming a huge file: the stream runs out, nothing is allocated for it
    std::string huge = tar_header("big", '0', 0, 0644, "");
    memcpy(&huge[124], octal(077777777777ULL, 12).data(), 11);
    memset(&huge[148], ' ', 8);
    unsigned sum = 0;
    for (unsigned char c : huge)
        sum += c;
    memcpy(&huge[148], octal(sum, 7).data(), 6);
    ASSERT_EQ(fs_write_atomic(t.path + "/huge.tar.gz", gzip(huge + tar_block("small"))), 0);
    EXPECT_EQ(tar_gz_extract(t.path + "/huge.tar.gz", t.path + "/huge", 0, ""), -1);
    EXPECT_FALSE(fs_exists(t.path + "/huge/big"));
}

// A tar's sizes are known entry by entry: one that does not fit in the free
// space stops the extraction before it is written.
TEST(TarGz, EntryLargerThanTheFreeSpaceStopsIt) {
    TempDir t;
    ScratchFs small(t.path + "/small", ScratchKind::Tmpfs, "size=1m");
    if (!small.mounted) GTEST_SKIP() << small.why;
    std::string out = small.dir + "/out";
    ASSERT_EQ(fs_write_atomic(t.path + "/a.tar.gz",
                              gzip(tar_build({file("first.txt", "1"),
                                              file("big.bin", std::string(2 << 20, 'b')),
                                              file("after.txt", "2")}))),
              0);
    std::string err;
    EXPECT_EQ(tar_gz_extract(t.path + "/a.tar.gz", out, 0, "", &err), -1);
    EXPECT_EQ(err, "big.bin: Недостаточно места: нужно " + amount_bytes(2 << 20) + ", свободно " +
                       amount_bytes(*fs_free_bytes(out)));
    EXPECT_EQ(tree(out), (Tree{{"first.txt", "1"}}));
}

TEST(Archive, PicksReaderByFirstBytes) {
    TempDir t;
    ASSERT_EQ(fs_write_atomic(t.path + "/a.bin", zip_build({{"z.txt", "zip"}})), 0);
    ASSERT_EQ(fs_write_atomic(t.path + "/b.bin", gzip(tar_build({file("t.txt", "tar")}))), 0);
    ASSERT_EQ(fs_write_atomic(t.path + "/c.bin", "plain text"), 0);
    EXPECT_EQ(archive_extract(t.path + "/a.bin", t.path + "/out", 0, ""), 0);
    EXPECT_EQ(archive_extract(t.path + "/b.bin", t.path + "/out", 0, ""), 0);
    std::string err;
    EXPECT_EQ(archive_extract(t.path + "/c.bin", t.path + "/out", 0, "", &err), -1);
    EXPECT_EQ(err, "Неизвестный формат архива");
    EXPECT_EQ(tree(t.path + "/out"), (Tree{{"z.txt", "zip"}, {"t.txt", "tar"}}));
}
