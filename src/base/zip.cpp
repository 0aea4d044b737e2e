// ZIP reader: finds the end-of-central-directory record, walks the central
// directory and writes stored and deflated entries below the target. Every
// size and offset read from the archive is checked against the file before it
// is used, and entries are inflated in blocks, so a lying or truncated archive
// fails without large allocations. ZIP64, encryption and other methods are not
// supported.
#include "base/archive.h"

#include "base/extract_target.h"
#include "base/fs.h"
#include "base/strings.h"

#include <cstdint>
#include <cstring>
#include <vector>
#include <zlib.h>

namespace {

const uint32_t kEndSig = 0x06054b50;
const uint32_t kCentralSig = 0x02014b50;
const uint32_t kLocalSig = 0x04034b50;
const size_t kEndSize = 22;
const size_t kCentralSize = 46;
const size_t kLocalSize = 30;
const size_t kMaxComment = 65535;
const size_t kBlock = 65536;

uint16_t u16(const unsigned char *p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t u32(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

struct ZipFile {
    FilePtr f;
    uint64_t size = 0;

    bool read_at(uint64_t off, void *buf, size_t len) {
        if (off > size || len > size - off) return false;
        if (fseeko(f.get(), static_cast<off_t>(off), SEEK_SET) != 0) return false;
        return fread(buf, 1, len, f.get()) == len;
    }
};

struct CentralDir {
    uint16_t count = 0;
    std::vector<unsigned char> bytes;
};

// The central directory named by the end record in the archive's tail.
bool zip_read_directory(ZipFile &z, CentralDir &cd) {
    size_t tail_len = static_cast<size_t>(std::min<uint64_t>(z.size, kEndSize + kMaxComment));
    if (tail_len < kEndSize) return false;
    std::vector<unsigned char> tail(tail_len);
    uint64_t tail_off = z.size - tail_len;
    if (!z.read_at(tail_off, tail.data(), tail_len)) return false;
    size_t i = tail_len - kEndSize;
    for (;; i--) {
        if (u32(&tail[i]) == kEndSig) break;
        if (i == 0) return false;
    }
    const unsigned char *end = &tail[i];
    uint64_t cd_size = u32(end + 12);
    uint64_t cd_off = u32(end + 16);
    if (cd_off + cd_size > tail_off + i) return false; // the directory precedes its end record
    cd.count = u16(end + 10);
    cd.bytes.resize(static_cast<size_t>(cd_size));
    return z.read_at(cd_off, cd.bytes.data(), cd.bytes.size());
}

// Copies or inflates one entry's data into the open file, checking the
// declared size and CRC-32.
bool zip_write_data(ZipFile &z, uint64_t data_off, int method, uint32_t csize, uint32_t usize,
                    uint32_t crc_expected, ExtractFile &out) {
    if (fseeko(z.f.get(), static_cast<off_t>(data_off), SEEK_SET) != 0) return false;
    std::vector<unsigned char> in(kBlock), buf(kBlock);
    uint64_t in_left = csize;
    uint64_t out_left = usize;
    uLong crc = crc32(0, nullptr, 0);

    z_stream s;
    memset(&s, 0, sizeof s);
    if (method == 8 && inflateInit2(&s, -15) != Z_OK) return false;
    struct InflateEnd {
        z_stream *s;
        bool on;
        ~InflateEnd() {
            if (on) inflateEnd(s);
        }
    } guard{&s, method == 8};

    bool ended = false;
    while (out_left > 0 && !ended) {
        if (s.avail_in == 0 && in_left > 0) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(in_left, kBlock));
            if (fread(in.data(), 1, n, z.f.get()) != n) return false;
            in_left -= n;
            s.next_in = in.data();
            s.avail_in = static_cast<uInt>(n);
        }
        size_t produced;
        if (method == 0) {
            produced = static_cast<size_t>(std::min<uint64_t>(s.avail_in, out_left));
            memcpy(buf.data(), s.next_in, produced);
            s.next_in += produced;
            s.avail_in -= static_cast<uInt>(produced);
        } else {
            s.next_out = buf.data();
            s.avail_out = static_cast<uInt>(std::min<uint64_t>(out_left, kBlock));
            uInt before = s.avail_out;
            int rc = inflate(&s, Z_NO_FLUSH);
            produced = before - s.avail_out;
            if (rc == Z_STREAM_END) {
                ended = true;
            } else if (rc != Z_OK && !(rc == Z_BUF_ERROR && produced > 0)) {
                return false; // corrupt stream, or the data ran out
            }
        }
        if (produced == 0 && s.avail_in == 0 && in_left == 0) return false; // too short
        if (extract_file_write(out, buf.data(), produced) != 0) return false;
        crc = crc32(crc, buf.data(), static_cast<uInt>(produced));
        out_left -= produced;
    }
    return out_left == 0 && crc == crc_expected;
}

struct Entry {
    uint16_t flags;
    uint16_t method;
    uint32_t crc;
    uint32_t csize;
    uint32_t usize;
    uint32_t local_off;
    std::string name;
};

enum class Step { Ok, Failed, Stop };

// Writes one file entry. Stop when its local header is unreadable, as the
// rest of the archive cannot be trusted then.
Step zip_extract_file(ZipFile &z, ExtractTarget &t, const Entry &e, const std::string &rel) {
    unsigned char lh[kLocalSize];
    if (!z.read_at(e.local_off, lh, sizeof lh) || u32(lh) != kLocalSig) return Step::Stop;
    if ((e.flags & 1) || (e.method != 0 && e.method != 8)) return Step::Failed; // encrypted
    uint64_t data_off = uint64_t{e.local_off} + kLocalSize + u16(lh + 26) + u16(lh + 28);
    if (data_off > z.size || e.csize > z.size - data_off) return Step::Failed;
    ExtractFile out;
    if (extract_file_begin(t, rel, out) != 0) return Step::Failed;
    if (!zip_write_data(z, data_off, e.method, e.csize, e.usize, e.crc, out)) return Step::Failed;
    return extract_file_commit(out, -1) == 0 ? Step::Ok : Step::Failed;
}

} // namespace

int zip_extract(const std::string &archive, const std::string &target, int strip,
                const std::string &skip_prefix, std::string *err) {
    ZipFile z;
    z.f = fs_open(archive, "rb");
    if (!z.f || fseeko(z.f.get(), 0, SEEK_END) != 0) {
        if (err) *err = format_alloc("Не удалось открыть архив %s", archive.c_str());
        return -1;
    }
    off_t size = ftello(z.f.get());
    z.size = size > 0 ? static_cast<uint64_t>(size) : 0;
    CentralDir cd;
    if (!zip_read_directory(z, cd)) {
        if (err) *err = format_alloc("Архив повреждён: %s", archive.c_str());
        return -1;
    }
    ExtractTarget t;
    if (extract_target_open(t, target) != 0) {
        if (err) *err = format_alloc("Не удалось создать %s", target.c_str());
        return -1;
    }

    int result = 0;
    std::string first_failed;
    size_t pos = 0;
    const std::vector<unsigned char> &d = cd.bytes;
    for (unsigned i = 0; i < cd.count && pos + kCentralSize <= d.size(); i++) {
        const unsigned char *h = &d[pos];
        size_t name_len = u16(h + 28);
        if (u32(h) != kCentralSig || name_len > d.size() - pos - kCentralSize) {
            result = -1;
            break;
        }
        Entry e{u16(h + 8),
                u16(h + 10),
                u32(h + 16),
                u32(h + 20),
                u32(h + 24),
                u32(h + 42),
                std::string(reinterpret_cast<const char *>(h + kCentralSize), name_len)};
        pos += kCentralSize + name_len + u16(h + 30) + u16(h + 32);

        bool is_dir = false;
        std::optional<std::string> rel = extract_entry_name(e.name, strip, skip_prefix, &is_dir);
        if (!rel) continue;
        if (is_dir) {
            extract_mkdir(t, *rel);
            continue;
        }
        Step step = zip_extract_file(z, t, e, *rel);
        if (step == Step::Ok) continue;
        result = -1;
        if (first_failed.empty()) first_failed = e.name;
        if (step == Step::Stop) break;
    }
    if (result != 0 && err) {
        *err = first_failed.empty() ? format_alloc("Архив повреждён: %s", archive.c_str())
                                    : format_alloc("Не удалось распаковать %s из %s",
                                                   first_failed.c_str(), archive.c_str());
    }
    return result;
}
