// tar.gz reader for the Linux Java runtimes: ustar and GNU headers, GNU long
// names ("././@LongLink") and pax "path", "linkpath" and "size" records.
// Regular files keep their permission bits, folders are created, symbolic
// links are kept when they stay inside the target and hard links become
// copies. The stream is read once, block by block.
#include "base/archive.h"

#include "base/extract_target.h"
#include "base/fs.h"
#include "base/strings.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <zlib.h>

namespace {

const size_t kBlock = 512;
const uint64_t kMaxMeta = 1 << 20; // long names and pax headers are small

struct GzCloser {
    void operator()(gzFile_s *g) const { gzclose(g); }
};
using GzPtr = std::unique_ptr<gzFile_s, GzCloser>;

enum class Read { Ok, End, Bad };

// Exactly len bytes; End when the stream ended cleanly before the first byte.
Read gz_read(gzFile g, void *buf, size_t len) {
    size_t got = 0;
    while (got < len) {
        int n = gzread(g, static_cast<char *>(buf) + got, static_cast<unsigned>(len - got));
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    int errnum = Z_OK;
    gzerror(g, &errnum);
    if (got == len) return Read::Ok;
    return got == 0 && errnum == Z_OK ? Read::End : Read::Bad;
}

bool gz_skip(gzFile g, uint64_t len) {
    char buf[65536];
    while (len > 0) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(len, sizeof buf));
        if (gz_read(g, buf, n) != Read::Ok) return false;
        len -= n;
    }
    return true;
}

uint64_t padded(uint64_t size) {
    return (size + kBlock - 1) / kBlock * kBlock;
}

// A numeric header field: octal digits (spaces and NULs around them), or
// GNU base-256 when the first byte has its high bit set.
std::optional<uint64_t> tar_number(const unsigned char *p, size_t len) {
    uint64_t v = 0;
    if (p[0] & 0x80) {
        if (p[0] & 0x40) return std::nullopt; // negative
        v = p[0] & 0x3f;
        for (size_t i = 1; i < len; i++) {
            if (v >> 55) return std::nullopt;
            v = v << 8 | p[i];
        }
        return v;
    }
    size_t i = 0;
    while (i < len && p[i] == ' ')
        i++;
    for (; i < len && p[i] >= '0' && p[i] <= '7'; i++) {
        if (v >> 60) return std::nullopt;
        v = v * 8 + (p[i] - '0');
    }
    for (; i < len; i++) {
        if (p[i] != ' ' && p[i] != 0) return std::nullopt;
    }
    return v;
}

std::string tar_string(const unsigned char *p, size_t len) {
    const char *s = reinterpret_cast<const char *>(p);
    return std::string(s, strnlen(s, len));
}

bool tar_checksum_ok(const unsigned char *h) {
    std::optional<uint64_t> want = tar_number(h + 148, 8);
    if (!want) return false;
    uint64_t sum = 0;
    int64_t ssum = 0; // some old writers summed signed chars
    for (size_t i = 0; i < kBlock; i++) {
        unsigned char c = (i >= 148 && i < 156) ? ' ' : h[i];
        sum += c;
        ssum += static_cast<signed char>(c);
    }
    return *want == sum || static_cast<int64_t>(*want) == ssum;
}

// Names and sizes set by the meta entries before a real entry.
struct Pending {
    std::optional<std::string> path, linkpath;
    std::optional<uint64_t> size;
};

// pax extended header records: "<len> <key>=<value>\n".
void tar_parse_pax(const std::string &data, Pending &p) {
    size_t pos = 0;
    while (pos < data.size()) {
        size_t sp = data.find(' ', pos);
        if (sp == std::string::npos) return;
        uint64_t len = strtoull(data.substr(pos, sp - pos).c_str(), nullptr, 10);
        if (len <= sp - pos || len > data.size() - pos) return;
        std::string rec = data.substr(sp + 1, pos + len - sp - 1);
        pos += len;
        if (!rec.empty() && rec.back() == '\n') rec.pop_back();
        size_t eq = rec.find('=');
        if (eq == std::string::npos) continue;
        std::string key = rec.substr(0, eq), value = rec.substr(eq + 1);
        if (key == "path") p.path = value;
        if (key == "linkpath") p.linkpath = value;
        if (key == "size") p.size = strtoull(value.c_str(), nullptr, 10);
    }
}

struct TarRun {
    gzFile g;
    ExtractTarget t;
    int strip;
    const std::string &skip_prefix;
    std::string first_failed; // "<entry>: <why>"
    bool failed = false;
    bool stop = false; // the target cannot take more: the rest is not read

    void fail(const std::string &name, const std::string &why) {
        failed = true;
        if (first_failed.empty()) first_failed = name + ": " + why;
    }
    // A write that failed: why, and whether any other could still succeed.
    // Without errno it was refused as leading outside.
    void write_failed(const std::string &name) {
        int e = errno;
        fail(name, e ? fs_error_text(e) : "путь ведёт за пределы папки");
        stop = e == ENOSPC || e == EDQUOT || e == EFBIG || e == EROFS || e == EIO;
    }
};

// Streams a regular file's data into place. False when the stream itself
// broke, which ends the archive.
bool tar_file(TarRun &r, const std::string &name, const std::string &rel, uint64_t size, int mode) {
    // The stream's sizes are only known entry by entry: each must fit.
    if (std::string full = archive_space_check(r.t.root, size); !full.empty()) {
        r.fail(name, full);
        r.stop = true;
        return true;
    }
    ExtractFile out;
    errno = 0;
    if (extract_file_begin(r.t, rel, out) != 0) {
        r.write_failed(name);
        return r.stop || gz_skip(r.g, padded(size));
    }
    char buf[65536];
    for (uint64_t left = size; left > 0;) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(left, sizeof buf));
        if (gz_read(r.g, buf, n) != Read::Ok) return false;
        errno = 0;
        if (extract_file_write(out, buf, n) != 0) {
            r.write_failed(name);
            return r.stop || gz_skip(r.g, padded(size) - (size - left));
        }
        left -= n;
    }
    errno = 0;
    if (extract_file_commit(out, mode) != 0) r.write_failed(name);
    return r.stop || gz_skip(r.g, padded(size) - size);
}

// One entry after its header; false when the stream broke.
bool tar_entry(TarRun &r, const unsigned char *h, Pending &pend) {
    std::optional<uint64_t> hsize = tar_number(h + 124, 12);
    std::optional<uint64_t> hmode = tar_number(h + 100, 8);
    if (!hsize || !hmode) return false;
    uint64_t size = pend.size.value_or(*hsize);
    char type = static_cast<char>(h[156]);

    if (type == 'L' || type == 'K' || type == 'x') {
        if (size > kMaxMeta) return false;
        std::string data(static_cast<size_t>(size), '\0');
        if (gz_read(r.g, data.data(), data.size()) != Read::Ok) return false;
        if (!gz_skip(r.g, padded(size) - size)) return false;
        if (type == 'x') {
            tar_parse_pax(data, pend);
        } else {
            data.resize(strnlen(data.c_str(), data.size()));
            (type == 'L' ? pend.path : pend.linkpath) = data;
        }
        return true;
    }

    std::string name = pend.path.value_or("");
    if (!pend.path) {
        name = tar_string(h, 100);
        std::string prefix = tar_string(h + 345, 155);
        if (memcmp(h + 257, "ustar", 5) == 0 && !prefix.empty()) name = prefix + "/" + name;
    }
    std::string link = pend.linkpath.value_or(tar_string(h + 157, 100));
    pend = Pending{};
    // links, folders and devices carry no data whatever their size field says
    uint64_t data = type >= '1' && type <= '6' ? 0 : size;

    bool is_dir = false;
    std::optional<std::string> rel = extract_entry_name(name, r.strip, r.skip_prefix, &is_dir);
    if (!rel) return gz_skip(r.g, padded(data));
    switch (type) {
    case '0':
    case '\0':
    case '7':
        if (is_dir) break; // old tars mark folders with a trailing "/" only
        return tar_file(r, name, *rel, size, static_cast<int>(*hmode & 0777));
    case '5':
        break;
    case '2':
        if (extract_symlink(r.t, *rel, link) != 0) r.fail(name, "ссылка ведёт за пределы папки");
        return true;
    case '1': {
        std::optional<std::string> src = extract_entry_name(link, r.strip, "", nullptr);
        errno = 0;
        if (!src || extract_hardlink(r.t, *rel, *src) != 0) r.write_failed(name);
        return true;
    }
    default: // devices, fifos, global pax headers: nothing to write
        return gz_skip(r.g, padded(data));
    }
    errno = 0;
    if (extract_mkdir(r.t, *rel) != 0) r.write_failed(name);
    return gz_skip(r.g, padded(data));
}

} // namespace

int tar_gz_extract(const std::string &archive, const std::string &target, int strip,
                   const std::string &skip_prefix, std::string *err) {
    GzPtr g(gzopen(archive.c_str(), "rbe"));
    if (!g) {
        if (err) *err = "Не удалось открыть архив: " + fs_error_text(errno ? errno : EIO);
        return -1;
    }
    gzbuffer(g.get(), 1 << 17);
    TarRun r{g.get(), {}, strip, skip_prefix, {}, false, false};
    if (extract_target_open(r.t, target) != 0) {
        if (err)
            *err = format_alloc("Не удалось создать %s: %s", target.c_str(),
                                fs_error_text(errno ? errno : EIO).c_str());
        return -1;
    }

    bool broken = false;
    Pending pend;
    unsigned char h[kBlock];
    while (!r.stop) {
        Read rd = gz_read(r.g, h, kBlock);
        if (rd == Read::End) break;
        bool zero =
            rd == Read::Ok && std::all_of(h, h + kBlock, [](unsigned char c) { return !c; });
        if (zero) {
            // the end marker; read on so that zlib checks the gzip trailer
            char rest[65536];
            while (gzread(r.g, rest, sizeof rest) > 0) {
            }
            int errnum = Z_OK;
            gzerror(r.g, &errnum);
            broken = errnum != Z_OK;
            break;
        }
        if (rd != Read::Ok || !tar_checksum_ok(h) || !tar_entry(r, h, pend)) {
            broken = true;
            break;
        }
    }
    if (r.t.links.size() && extract_check_links(r.t) != 0)
        r.fail("(symlink)", "ссылка ведёт за пределы папки");
    if (broken && !r.failed) {
        if (err) *err = "Архив повреждён";
        return -1;
    }
    if (r.failed) {
        if (err) *err = r.first_failed;
        return -1;
    }
    return 0;
}
