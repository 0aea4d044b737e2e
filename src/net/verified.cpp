// Record of verified files: reading, trusting, noting and merging.
//
// The record is text: a header naming the data folder, then one line a file:
//   zyl-verified 1 <folder device> <folder inode>
//   <sha1> <size> <mtime ns> <ctime ns> <inode> <device> <path inside the folder>
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

const char k_magic[] = "zyl-verified 1";
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
        !take_number(rest, s.ctime_ns) || !take_number(rest, s.ino) || !take_number(rest, s.dev))
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
        out += format_alloc("%s %lld %lld %lld %llu %llu ", row->second.sha1.c_str(), s.size,
                            s.mtime_ns, s.ctime_ns, s.ino, s.dev);
        out += row->first;
        out += '\n';
    }
    return out;
}

void note(VerifiedFiles &vf, std::string key, const std::string &sha1, const VerifiedState &st) {
    VerifiedEntry e{str_lower(sha1), st};
    std::lock_guard<std::mutex> lk(vf.lock);
    vf.fresh[std::move(key)] = std::move(e);
}

bool trusted(const VerifiedFiles &vf, const std::string &key, const VerifiedState &st,
             const std::string &sha1) {
    auto it = vf.known.find(key);
    return it != vf.known.end() && it->second.state == st && str_equal_ci(it->second.sha1, sha1);
}

} // namespace

std::string verified_record_path(const std::string &cache_folder) {
    return cache_folder + "/verified-files.txt";
}

VerifiedTable verified_read(const std::string &record, const std::string &root) {
    FileStat st;
    if (fs_stat(record, &st) != 0 || st.is_dir || st.size > k_record_max_bytes) return {};
    std::optional<std::string> text = fs_read_all(record);
    if (!text || static_cast<long long>(text->size()) > k_record_max_bytes) return {};
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
    timespec now{};
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    struct stat before {};
    if (stat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode)) return false;
    VerifiedState st = state_of(before);
    std::string key = vf ? key_of(vf->root, path) : "";
    if (!key.empty() && vf->mode == VerifyMode::TrustRecord && trusted(*vf, key, st, sha1))
        return true;

    std::string actual;
    if (file_sha1_hex(path, actual) != 0 || !str_equal_ci(actual, sha1)) return false;
    // Recorded only when nothing changed while it was read, and when its last
    // change is older than the clock tick of our first look: a change within
    // that same tick would leave the times as they are.
    struct stat after {};
    if (!key.empty() && stat(path.c_str(), &after) == 0 && state_of(after) == st &&
        st.ctime_ns < ns_of(now))
        note(*vf, std::move(key), sha1, st);
    return true;
}

void verified_note_written(VerifiedFiles *vf, const std::string &path, const std::string &sha1) {
    if (!vf || sha1.empty()) return;
    std::string key = key_of(vf->root, path);
    struct stat st {};
    // The bytes were checked under a name private to this process and have
    // just been moved here, so the state seen now is that of those bytes.
    if (key.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    note(*vf, std::move(key), sha1, state_of(st));
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
        if (slot == e) continue;
        slot = e;
        changed = true;
    }
    if (!changed) return 0;
    return fs_write_atomic(vf.record, format_record(merged, header));
}
