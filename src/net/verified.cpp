// Record of verified files: reading, trusting, noting and merging.
//
// The record is text: a header naming the data folder, then one line a file:
//   zyl-verified 2 <folder device> <folder inode>
//   <sha1> <size> <mtime ns> <ctime ns> <inode> <device> <seen ns> <path inside the folder>
// (records of version 1 had no moment of their entries and are not read).
#include "net/verified.h"

#include "base/digest.h"
#include "base/fs.h"
#include "base/strings.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace {

const char k_magic[] = "zyl-verified 2";
// A record beyond this is not read (and gets rewritten from what is checked):
// some 200000 files, far more than every version there is would install.
constexpr long long k_record_max_bytes = 32LL << 20;

long long ns_of(const timespec &t) {
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

VerifiedState state_of(const struct stat &st) {
    return {static_cast<long long>(st.st_size), ns_of(st.st_mtim), ns_of(st.st_ctim),
            static_cast<unsigned long long>(st.st_ino), static_cast<unsigned long long>(st.st_dev)};
}

// The header line for the data folder as it is now; empty when it is gone.
std::string header_for(const std::string &root) {
    struct stat st {};
    if (stat(root.c_str(), &st) != 0) return "";
    return format_alloc("%s %llu %llu", k_magic, static_cast<unsigned long long>(st.st_dev),
                        static_cast<unsigned long long>(st.st_ino));
}

// The path relative to root, or empty when the file lies elsewhere or its
// name cannot be stored on one line.
std::string key_of(const std::string &root, const std::string &path) {
    if (path.size() <= root.size() + 1 || path.compare(0, root.size(), root) != 0 ||
        path[root.size()] != '/' || path.find('\n') != std::string::npos)
        return "";
    return path.substr(root.size() + 1);
}

// Takes the next space-terminated number off the front of rest.
template <class T> bool take_number(std::string_view &rest, T &out) {
    size_t sp = rest.find(' ');
    if (sp == 0 || sp == std::string_view::npos) return false;
    auto [end, ec] = std::from_chars(rest.data(), rest.data() + sp, out);
    if (ec != std::errc() || end != rest.data() + sp) return false;
    rest.remove_prefix(sp + 1);
    return true;
}

bool parse_line(std::string_view line, std::string &key, VerifiedEntry &e) {
    if (line.size() < 42 || line[40] != ' ') return false;
    std::string sha1(line.substr(0, 40));
    if (!sha1_names_path(sha1)) return false;
    std::string_view rest = line.substr(41);
    VerifiedState &s = e.state;
    if (!take_number(rest, s.size) || !take_number(rest, s.mtime_ns) ||
        !take_number(rest, s.ctime_ns) || !take_number(rest, s.ino) || !take_number(rest, s.dev) ||
        !take_number(rest, e.seen_ns))
        return false;
    if (rest.empty() || rest.find('\0') != std::string_view::npos) return false;
    e.sha1 = std::move(sha1);
    key.assign(rest);
    return true;
}

VerifiedTable parse_record(std::string_view text, const std::string &header) {
    VerifiedTable table;
    size_t nl = text.find('\n');
    if (header.empty() || nl == std::string_view::npos || text.substr(0, nl) != header)
        return table;
    text.remove_prefix(nl + 1);
    table.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')));
    std::string key;
    while (!text.empty()) {
        nl = text.find('\n');
        // A last line without its end was cut short: it is left out.
        if (nl == std::string_view::npos) break;
        VerifiedEntry e;
        if (parse_line(text.substr(0, nl), key, e)) table[key] = std::move(e);
        text.remove_prefix(nl + 1);
    }
    return table;
}

std::string format_record(const VerifiedTable &table, const std::string &header) {
    std::vector<const VerifiedTable::value_type *> rows;
    rows.reserve(table.size());
    for (const auto &row : table)
        rows.push_back(&row);
    // Sorted, so that a record's text depends on its entries only.
    std::sort(rows.begin(), rows.end(), [](auto *a, auto *b) { return a->first < b->first; });
    std::string out = header + "\n";
    out.reserve(out.size() + rows.size() * 160);
    for (const auto *row : rows) {
        const VerifiedState &s = row->second.state;
        out += format_alloc("%s %lld %lld %lld %llu %llu %lld ", row->second.sha1.c_str(), s.size,
                            s.mtime_ns, s.ctime_ns, s.ino, s.dev, row->second.seen_ns);
        out += row->first;
        out += '\n';
    }
    return out;
}

long long clock_now_ns() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return ns_of(now);
}

void note(VerifiedFiles &vf, std::string key, const std::string &sha1, const VerifiedState &st,
          long long seen_ns) {
    VerifiedEntry e{str_lower(sha1), st, seen_ns};
    std::lock_guard<std::mutex> lk(vf.lock);
    vf.fresh[std::move(key)] = std::move(e);
}

bool trusted(const VerifiedFiles &vf, const std::string &key, const VerifiedState &st,
             const std::string &sha1) {
    auto it = vf.known.find(key);
    return it != vf.known.end() && it->second.state == st && str_equal_ci(it->second.sha1, sha1) &&
           verified_entry_clean(it->second);
}

// The entry a save keeps for a key: a clean one stays as long as the file's
// state and SHA-1 are the same (the record is not rewritten for nothing);
// anything else takes the newer note.
bool keeps(const VerifiedEntry &slot, const VerifiedEntry &noted) {
    return slot.sha1 == noted.sha1 && slot.state == noted.state && verified_entry_clean(slot);
}

} // namespace

long long verified_time_step(long long time_ns) {
    const long long second = 1000000000LL;
    long long frac = (time_ns % second + second) % second;
    if (frac == 0) return 2 * second;
    long long step = 1;
    while (frac % (step * 10) == 0)
        step *= 10;
    return step;
}

bool verified_entry_clean(const VerifiedEntry &e) {
    const VerifiedState &s = e.state;
    return s.ctime_ns <= e.seen_ns - verified_time_step(s.ctime_ns);
}

std::string verified_record_path(const std::string &cache_folder) {
    return cache_folder + "/verified-files.txt";
}

VerifiedTable verified_read(const std::string &record, const std::string &root) {
    std::optional<std::string> text = fs_read_all(record, k_record_max_bytes);
    if (!text) return {};
    return parse_record(*text, header_for(root));
}

void verified_open(VerifiedFiles &vf, const std::string &root, const std::string &record,
                   VerifyMode mode) {
    vf.root = root;
    vf.record = record;
    vf.mode = mode;
    vf.known.clear();
    vf.fresh.clear();
    if (mode == VerifyMode::TrustRecord) vf.known = verified_read(record, root);
}

bool verified_check(VerifiedFiles *vf, const std::string &path, const std::string &sha1) {
    // Read before the first look at the file: a change made from now on gets
    // a change time at or after it (file times come from this clock).
    long long seen = clock_now_ns();
    struct stat before {};
    if (stat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode)) return false;
    VerifiedState st = state_of(before);
    std::string key = vf ? key_of(vf->root, path) : "";
    if (!key.empty() && vf->mode == VerifyMode::TrustRecord && trusted(*vf, key, st, sha1))
        return true;

    std::string actual;
    if (file_sha1_hex(path, actual) != 0 || !str_equal_ci(actual, sha1)) return false;
    // Recorded only when nothing changed while it was read; still racy when
    // its last change is that fresh, which the next check sees.
    struct stat after {};
    if (!key.empty() && stat(path.c_str(), &after) == 0 && state_of(after) == st)
        note(*vf, std::move(key), sha1, st, seen);
    return true;
}

void verified_note_written(VerifiedFiles *vf, const std::string &path, const std::string &sha1) {
    if (!vf || sha1.empty()) return;
    std::string key = key_of(vf->root, path);
    long long seen = clock_now_ns();
    struct stat st {};
    // The bytes were checked under a name private to this process and have
    // just been moved here, so the state seen now is that of those bytes.
    if (key.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    note(*vf, std::move(key), sha1, state_of(st), seen);
}

int verified_save(VerifiedFiles &vf) {
    VerifiedTable fresh;
    {
        std::lock_guard<std::mutex> lk(vf.lock);
        fresh.swap(vf.fresh);
    }
    if (fresh.empty()) return 0;
    std::string header = header_for(vf.root);
    if (header.empty()) return -1;
    // The folder first: without it there is nothing to lock.
    fs_mkdirs_parent(vf.record);
    // Under the lock only one writer at a time uses the temporary name
    // "<record>.tmp<pid>", and each merges into what the last one wrote.
    FileLock lock = fs_lock(vf.record);
    VerifiedTable merged = verified_read(vf.record, vf.root);
    bool changed = false;
    for (const auto &[key, e] : fresh) {
        VerifiedEntry &slot = merged[key];
        if (slot == e || keeps(slot, e)) continue;
        slot = e;
        changed = true;
    }
    if (!changed) return 0;
    return fs_write_atomic(vf.record, format_record(merged, header));
}
