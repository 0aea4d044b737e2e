// ZIP writer. Each entry gets its local header with the sizes left at zero,
// its deflated data, and then the header is patched in place; the central
// directory grows in memory and is written at the end.
#include "base/zip_writer.h"

#include "base/strings.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

const uint32_t kLocalSig = 0x04034b50;
const uint32_t kCentralSig = 0x02014b50;
const uint32_t kEndSig = 0x06054b50;
const uint16_t kUtf8Names = 0x0800;
const uint16_t kVersionNeeded = 20;     // deflate
const uint16_t kVersionMadeBy = 0x031e; // Unix, 3.0: the external attributes hold the mode
// 0xffffffff and 0xffff mean "see the ZIP64 record", which is not written.
const uint64_t kMax32 = 0xfffffffeu;
const uint32_t kMaxEntries = 0xfffe;
const size_t kBlock = 65536;

void le16(std::vector<unsigned char> &b, uint32_t v) {
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}
void le32(std::vector<unsigned char> &b, uint32_t v) {
    le16(b, v & 0xffff);
    le16(b, v >> 16);
}

// MS-DOS time and date of t in local time (1980 at the earliest).
void dos_time(time_t t, uint16_t &time_out, uint16_t &date_out) {
    struct tm tm;
    if (!localtime_r(&t, &tm) || tm.tm_year < 80) {
        time_out = 0;
        date_out = (1 << 5) | 1; // 1980-01-01
        return;
    }
    time_out = static_cast<uint16_t>(tm.tm_hour << 11 | tm.tm_min << 5 | tm.tm_sec / 2);
    date_out = static_cast<uint16_t>((tm.tm_year - 80) << 9 | (tm.tm_mon + 1) << 5 | tm.tm_mday);
}

bool put(ZipWriter &w, const void *data, size_t len) {
    if (len && fwrite(data, 1, len, w.f.get()) != len) return false;
    w.offset += len;
    return true;
}

std::string write_failed(const ZipWriter &w) {
    return format_alloc("Не удалось записать %s: %s", w.target.c_str(),
                        fs_error_text(errno ? errno : EIO).c_str());
}

std::string too_big(const ZipWriter &w) {
    return format_alloc("Не удалось записать %s: архив больше 4 ГБ или в нём больше %u файлов",
                        w.target.c_str(), kMaxEntries);
}

// Reads up to len bytes of an entry's content; -1 on a read error.
using EntrySource = std::function<long long(unsigned char *buf, size_t len)>;

struct EntrySizes {
    uint32_t crc = 0;
    uint64_t csize = 0, usize = 0;
};

// Deflates the source into the archive. false with err.
bool deflate_into(ZipWriter &w, const EntrySource &read, const std::string &what, EntrySizes &out,
                  std::string *err) {
    z_stream s;
    memset(&s, 0, sizeof s);
    if (deflateInit2(&s, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        *err = "zlib: deflateInit2";
        return false;
    }
    struct End {
        z_stream *s;
        ~End() { deflateEnd(s); }
    } end{&s};
    std::vector<unsigned char> in(kBlock), buf(kBlock);
    uLong crc = crc32(0, nullptr, 0);
    uint64_t start = w.offset;
    int flush = Z_NO_FLUSH;
    while (flush != Z_FINISH) {
        errno = 0;
        long long n = read(in.data(), in.size());
        if (n < 0) {
            *err = format_alloc("Не удалось прочитать %s: %s", what.c_str(),
                                fs_error_text(errno ? errno : EIO).c_str());
            return false;
        }
        crc = crc32(crc, in.data(), static_cast<uInt>(n));
        out.usize += static_cast<uint64_t>(n);
        if (out.usize > kMax32) {
            *err = too_big(w);
            return false;
        }
        s.next_in = in.data();
        s.avail_in = static_cast<uInt>(n);
        if (n == 0) flush = Z_FINISH;
        do {
            s.next_out = buf.data();
            s.avail_out = static_cast<uInt>(buf.size());
            deflate(&s, flush);
            errno = 0;
            if (!put(w, buf.data(), buf.size() - s.avail_out)) {
                *err = write_failed(w);
                return false;
            }
        } while (s.avail_out == 0);
    }
    out.crc = static_cast<uint32_t>(crc);
    out.csize = w.offset - start;
    if (out.csize > kMax32) {
        *err = too_big(w);
        return false;
    }
    return true;
}

// One entry: local header, data, the header's sizes patched, the central record.
int add_entry(ZipWriter &w, const std::string &name, time_t mtime, uint32_t mode,
              const EntrySource &read, const std::string &what, std::string *err) {
    if (!w.f) {
        *err = "Архив не открыт";
        return -1;
    }
    if (name.empty() || name.size() > 0xffff || name[0] == '/') {
        *err = format_alloc("Недопустимое имя в архиве: %s", name.c_str());
        return -1;
    }
    if (w.offset > kMax32 || w.count >= kMaxEntries) {
        *err = too_big(w);
        return -1;
    }
    uint16_t t, d;
    dos_time(mtime, t, d);
    uint64_t header_at = w.offset;
    std::vector<unsigned char> h;
    le32(h, kLocalSig);
    le16(h, kVersionNeeded);
    le16(h, kUtf8Names);
    le16(h, 8);
    le16(h, t);
    le16(h, d);
    le32(h, 0); // crc, sizes: patched below
    le32(h, 0);
    le32(h, 0);
    le16(h, static_cast<uint32_t>(name.size()));
    le16(h, 0);
    errno = 0;
    if (!put(w, h.data(), h.size()) || !put(w, name.data(), name.size())) {
        *err = write_failed(w);
        return -1;
    }
    EntrySizes sz;
    if (!deflate_into(w, read, what, sz, err)) return -1;
    std::vector<unsigned char> patch;
    le32(patch, sz.crc);
    le32(patch, static_cast<uint32_t>(sz.csize));
    le32(patch, static_cast<uint32_t>(sz.usize));
    errno = 0;
    if (fseeko(w.f.get(), static_cast<off_t>(header_at + 14), SEEK_SET) != 0 ||
        fwrite(patch.data(), 1, patch.size(), w.f.get()) != patch.size() ||
        fseeko(w.f.get(), 0, SEEK_END) != 0) {
        *err = write_failed(w);
        return -1;
    }
    std::vector<unsigned char> &c = w.central;
    le32(c, kCentralSig);
    le16(c, kVersionMadeBy);
    le16(c, kVersionNeeded);
    le16(c, kUtf8Names);
    le16(c, 8);
    le16(c, t);
    le16(c, d);
    le32(c, sz.crc);
    le32(c, static_cast<uint32_t>(sz.csize));
    le32(c, static_cast<uint32_t>(sz.usize));
    le16(c, static_cast<uint32_t>(name.size()));
    le16(c, 0); // extra
    le16(c, 0); // comment
    le16(c, 0); // disk
    le16(c, 0); // internal attributes
    le32(c, mode << 16);
    le32(c, static_cast<uint32_t>(header_at));
    c.insert(c.end(), name.begin(), name.end());
    w.count++;
    return 0;
}

} // namespace

ZipWriter::~ZipWriter() {
    zip_writer_discard(*this);
}

void zip_writer_discard(ZipWriter &w) {
    w.f.reset();
    if (!w.temp.empty()) unlink(w.temp.c_str());
    w.temp.clear();
}

int zip_writer_open(ZipWriter &w, const std::string &target, std::string *err) {
    zip_writer_discard(w);
    w.offset = 0;
    w.central.clear();
    w.count = 0;
    w.target = target;
    w.temp = fs_unique_name(target + ".tmp");
    errno = 0;
    w.f = fs_open(w.temp, "wb");
    if (!w.f) {
        *err = write_failed(w);
        w.temp.clear();
        return -1;
    }
    return 0;
}

int zip_writer_add_file(ZipWriter &w, const std::string &name, const std::string &path,
                        std::string *err) {
    FilePtr in = fs_open(path, "rb");
    struct stat st;
    if (!in || fstat(fileno(in.get()), &st) != 0) {
        *err =
            format_alloc("Не удалось прочитать %s: %s", path.c_str(), fs_error_text(errno).c_str());
        return -1;
    }
    FILE *f = in.get();
    EntrySource read = [f](unsigned char *buf, size_t len) -> long long {
        size_t n = fread(buf, 1, len, f);
        return n == 0 && ferror(f) ? -1 : static_cast<long long>(n);
    };
    return add_entry(w, name, st.st_mtime, (st.st_mode & 0777) | S_IFREG, read, path, err);
}

int zip_writer_add_data(ZipWriter &w, const std::string &name, const std::string &data,
                        std::string *err) {
    size_t at = 0;
    EntrySource read = [&](unsigned char *buf, size_t len) -> long long {
        size_t n = std::min(len, data.size() - at);
        memcpy(buf, data.data() + at, n);
        at += n;
        return static_cast<long long>(n);
    };
    return add_entry(w, name, time(nullptr), 0644 | S_IFREG, read, name, err);
}

int zip_writer_finish(ZipWriter &w, std::string *err) {
    if (!w.f) {
        *err = "Архив не открыт";
        return -1;
    }
    uint64_t dir_at = w.offset;
    if (dir_at > kMax32 || w.central.size() > kMax32 - dir_at) {
        *err = too_big(w);
        return -1;
    }
    std::vector<unsigned char> e;
    le32(e, kEndSig);
    le16(e, 0);
    le16(e, 0);
    le16(e, w.count);
    le16(e, w.count);
    le32(e, static_cast<uint32_t>(w.central.size()));
    le32(e, static_cast<uint32_t>(dir_at));
    le16(e, 0);
    errno = 0;
    bool ok = put(w, w.central.data(), w.central.size()) && put(w, e.data(), e.size()) &&
              fflush(w.f.get()) == 0 && fsync(fileno(w.f.get())) == 0;
    int why = ok ? 0 : errno;
    if (fclose(w.f.release()) != 0 && ok) {
        ok = false;
        why = errno;
    }
    if (ok && rename(w.temp.c_str(), w.target.c_str()) != 0) {
        ok = false;
        why = errno;
    }
    if (!ok) {
        errno = why;
        *err = write_failed(w);
        return -1;
    }
    w.temp.clear();
    return 0;
}
