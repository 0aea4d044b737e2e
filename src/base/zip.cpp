// ZIP reader: finds the end-of-central-directory record, walks the central
// directory and writes stored and deflated entries below the target. Before
// anything is written the directory is checked as a whole: every entry's
// header and data lie before the directory and no two overlap (a directory
// naming one stream many times would unpack it many times), and the sizes
// the entries declare must fit in the target's free space. Entries are
// inflated in blocks and never past their declared size, so a lying or
// truncated archive fails without large allocations or a full disk. ZIP64,
// encryption and other methods are not supported.
#include "base/archive.h"

#include "base/amounts.h"
#include "base/extract_target.h"
#include "base/fs.h"
#include "base/strings.h"

#include <algorithm>
#include <cerrno>
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
    uint64_t offset = 0;
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
    cd.offset = cd_off;
    cd.bytes.resize(static_cast<size_t>(cd_size));
    return z.read_at(cd_off, cd.bytes.data(), cd.bytes.size());
}

// Refills the input of s from the archive when it ran dry; false on a short read.
bool zip_refill(ZipFile &z, z_stream &s, std::vector<unsigned char> &in, uint64_t &in_left) {
    if (s.avail_in > 0 || in_left == 0) return true;
    size_t n = static_cast<size_t>(std::min<uint64_t>(in_left, in.size()));
    if (fread(in.data(), 1, n, z.f.get()) != n) return false;
    in_left -= n;
    s.next_in = in.data();
    s.avail_in = static_cast<uInt>(n);
    return true;
}

// A deflate stream must end where its declared size does: one more byte of
// output means the entry is larger than it says.
bool zip_stream_ends(ZipFile &z, z_stream &s, std::vector<unsigned char> &in, uint64_t &in_left) {
    for (;;) {
        if (!zip_refill(z, s, in, in_left)) return false;
        unsigned char extra;
        s.next_out = &extra;
        s.avail_out = 1;
        int rc = inflate(&s, Z_NO_FLUSH);
        if (s.avail_out == 0) return false;
        if (rc == Z_STREAM_END) return true;
        if (rc != Z_OK) return false; // corrupt, or the data ran out before the end
    }
}

// How one entry's data went.
enum class Data { Ok, Damaged, WriteFailed };

// Copies or inflates one entry's data into the open file, checking the
// declared size and CRC-32.
Data zip_write_data(ZipFile &z, uint64_t data_off, int method, uint32_t csize, uint32_t usize,
                    uint32_t crc_expected, ExtractFile &out) {
    if (fseeko(z.f.get(), static_cast<off_t>(data_off), SEEK_SET) != 0) return Data::Damaged;
    std::vector<unsigned char> in(kBlock), buf(kBlock);
    uint64_t in_left = csize;
    uint64_t out_left = usize;
    uLong crc = crc32(0, nullptr, 0);

    z_stream s;
    memset(&s, 0, sizeof s);
    if (method == 8 && inflateInit2(&s, -15) != Z_OK) return Data::Damaged;
    struct InflateEnd {
        z_stream *s;
        bool on;
        ~InflateEnd() {
            if (on) inflateEnd(s);
        }
    } guard{&s, method == 8};

    bool ended = false;
    while (out_left > 0 && !ended) {
        if (!zip_refill(z, s, in, in_left)) return Data::Damaged;
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
                return Data::Damaged; // corrupt stream, or the data ran out
            }
        }
        if (produced == 0 && s.avail_in == 0 && in_left == 0) return Data::Damaged; // too short
        if (extract_file_write(out, buf.data(), produced) != 0) return Data::WriteFailed;
        crc = crc32(crc, buf.data(), static_cast<uInt>(produced));
        out_left -= produced;
    }
    if (method == 8 && !ended && !zip_stream_ends(z, s, in, in_left)) return Data::Damaged;
    return out_left == 0 && crc == crc_expected ? Data::Ok : Data::Damaged;
}

struct Entry {
    uint16_t flags;
    uint16_t method;
    uint32_t crc;
    uint32_t csize;
    uint32_t usize;
    uint32_t local_off;
    std::string name;
    uint64_t data_off = 0; // from the local header
};

// The central directory's entries; false when it is damaged.
bool zip_entries(const CentralDir &cd, std::vector<Entry> &out) {
    size_t pos = 0;
    const std::vector<unsigned char> &d = cd.bytes;
    for (unsigned i = 0; i < cd.count; i++) {
        if (pos + kCentralSize > d.size()) return false;
        const unsigned char *h = &d[pos];
        size_t name_len = u16(h + 28);
        if (u32(h) != kCentralSig || name_len > d.size() - pos - kCentralSize) return false;
        out.push_back({u16(h + 8), u16(h + 10), u32(h + 16), u32(h + 20), u32(h + 24), u32(h + 42),
                       std::string(reinterpret_cast<const char *>(h + kCentralSize), name_len)});
        pos += kCentralSize + name_len + u16(h + 30) + u16(h + 32);
    }
    return true;
}

// Finds every entry's data through its local header and checks that header
// and data lie before the central directory and overlap no other entry's.
// Empty when all is well, else what is wrong.
std::string zip_check_layout(ZipFile &z, const CentralDir &cd, std::vector<Entry> &entries) {
    std::vector<std::pair<uint64_t, uint64_t>> spans; // [start, end) of header and data
    spans.reserve(entries.size());
    for (Entry &e : entries) {
        unsigned char lh[kLocalSize];
        if (!z.read_at(e.local_off, lh, sizeof lh) || u32(lh) != kLocalSig)
            return "запись за пределами архива";
        e.data_off = uint64_t{e.local_off} + kLocalSize + u16(lh + 26) + u16(lh + 28);
        uint64_t end = e.data_off + e.csize;
        if (end > cd.offset) return "запись за пределами архива";
        spans.emplace_back(e.local_off, end);
    }
    std::sort(spans.begin(), spans.end());
    for (size_t i = 1; i < spans.size(); i++)
        if (spans[i].first < spans[i - 1].second) return "записи перекрываются";
    return "";
}

// What one entry's extraction ended with, and why it failed.
struct Outcome {
    bool ok = false;
    bool stop = false;  // the target is unusable: no further entry can be written
    std::string reason; // of a failure
};

// Errors after which no other entry can be written either.
bool target_unusable(int errnum) {
    return errnum == ENOSPC || errnum == EDQUOT || errnum == EFBIG || errnum == EROFS ||
           errnum == EIO;
}

// A write that failed; without errno it was refused as leading outside.
Outcome write_failed() {
    if (errno == 0) return {false, false, "путь ведёт за пределы папки"};
    return {false, target_unusable(errno), fs_error_text(errno)};
}

Outcome zip_extract_file(ZipFile &z, ExtractTarget &t, const Entry &e, const std::string &rel) {
    if (e.flags & 1) return {false, false, "зашифровано"};
    if (e.method != 0 && e.method != 8) return {false, false, "неподдерживаемое сжатие"};
    ExtractFile out;
    errno = 0;
    if (extract_file_begin(t, rel, out) != 0) return write_failed();
    errno = 0;
    switch (zip_write_data(z, e.data_off, e.method, e.csize, e.usize, e.crc, out)) {
    case Data::Ok:
        break;
    case Data::Damaged:
        return {false, false, "данные повреждены"};
    case Data::WriteFailed:
        return write_failed();
    }
    errno = 0;
    if (extract_file_commit(out, -1) != 0) return write_failed();
    return {true, false, ""};
}

// The entries to write, with their stripped names (folders flagged).
struct Planned {
    const Entry *entry;
    std::string rel;
    bool is_dir;
};

} // namespace

std::string archive_space_check(const std::string &target, unsigned long long needed) {
    std::optional<long long> free = fs_free_bytes(target);
    if (!free || needed <= static_cast<unsigned long long>(*free)) return "";
    return format_alloc(
        "Недостаточно места: нужно %s, свободно %s",
        amount_bytes(static_cast<long long>(std::min<unsigned long long>(needed, 1ULL << 62)))
            .c_str(),
        amount_bytes(*free).c_str());
}

int zip_extract(const std::string &archive, const std::string &target, int strip,
                const std::string &skip_prefix, std::string *err) {
    std::string local_err;
    if (!err) err = &local_err;
    ZipFile z;
    z.f = fs_open(archive, "rb");
    if (!z.f || fseeko(z.f.get(), 0, SEEK_END) != 0) {
        *err = "Не удалось открыть архив: " + fs_error_text(errno ? errno : EIO);
        return -1;
    }
    off_t size = ftello(z.f.get());
    z.size = size > 0 ? static_cast<uint64_t>(size) : 0;
    CentralDir cd;
    std::vector<Entry> entries;
    if (!zip_read_directory(z, cd) || !zip_entries(cd, entries)) {
        *err = "Архив повреждён";
        return -1;
    }
    if (std::string bad = zip_check_layout(z, cd, entries); !bad.empty()) {
        *err = "Архив повреждён: " + bad;
        return -1;
    }
    std::vector<Planned> plan;
    unsigned long long needed = 0;
    for (const Entry &e : entries) {
        bool is_dir = false;
        std::optional<std::string> rel = extract_entry_name(e.name, strip, skip_prefix, &is_dir);
        if (!rel) continue;
        plan.push_back({&e, *rel, is_dir});
        if (!is_dir) needed += e.usize;
    }
    ExtractTarget t;
    if (extract_target_open(t, target) != 0) {
        *err = format_alloc("Не удалось создать %s: %s", target.c_str(),
                            fs_error_text(errno ? errno : EIO).c_str());
        return -1;
    }
    if (std::string full = archive_space_check(t.root, needed); !full.empty()) {
        *err = full;
        return -1;
    }

    int result = 0;
    for (const Planned &p : plan) {
        if (p.is_dir) {
            extract_mkdir(t, p.rel);
            continue;
        }
        Outcome o = zip_extract_file(z, t, *p.entry, p.rel);
        if (o.ok) continue;
        if (result == 0) *err = p.entry->name + ": " + o.reason;
        result = -1;
        if (o.stop) break;
    }
    return result;
}
