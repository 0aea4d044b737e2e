// Download engine: part files, verification, source order and the worker pool.
#include "net/download.h"

#include "base/digest.h"
#include "base/fs.h"
#include "base/proc.h"
#include "net/endpoints.h"
#include "net/http.h"
#include "net/service.h"
#include "net/transfer_error.h"
#include "net/verified.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// One transfer handle and one connection cache (the multi handle) reused for
// every file a worker fetches: open connections, DNS and TLS session caches
// stay, so thousands of small files do not each pay for a new connection.
// job is the operation's record (cancel flag, callbacks); bytes_label, for a
// single download, names the file in byte progress reports.
struct Transfer {
    const Job *job = nullptr;
    const char *bytes_label = nullptr;
    CurlPtr handle;
    CurlMultiPtr multi{curl_multi_init()};

    CURL *prepare(const std::string &url) {
        if (!multi) return nullptr;
        if (!handle) {
            handle = transfer_handle_new(url, is_service_url(url));
        } else {
            curl_easy_reset(handle.get());
            transfer_handle_setup(handle.get(), url, is_service_url(url));
        }
        return handle.get();
    }
    // stall_name: the file a silent server keeps waiting, named once.
    CURLcode perform(const char *stall_name) {
        return transfer_perform(handle.get(), multi.get(), job, bytes_label, stall_name);
    }
};

// One file to fetch: where it goes, what it must hash to, how many bytes it
// may have at most, and the record of verified files it goes into (if any).
struct ByteMeter;

struct Target {
    const std::string &dest;
    const std::string &sha1;
    long long limit;
    VerifiedFiles *verified = nullptr;
    ByteMeter *meter = nullptr; // the batch's count of bytes, when in a batch
};

// Bytes of one batch for a live display: received so far, and the known
// total still to fetch (files found in place drop out). Reported through
// the job (none: UiHooks) as they change; atomics, as every worker adds to them.
struct ByteMeter {
    const Job *job = nullptr;
    std::atomic<long long> received{0};
    std::atomic<long long> total{0};
    void add(long long n) { job_batch_bytes(job, received.fetch_add(n) + n, total.load()); }
    void drop_from_total(long long n) {
        job_batch_bytes(job, received.load(), total.fetch_sub(n) - n);
    }
};

// Files and bytes this process has downloaded (not found in place).
std::atomic<long> g_fetched_files{0};
std::atomic<long long> g_fetched_bytes{0};

// The name a user recognises a file by: the last part of its path.
std::string file_label(const std::string &dest) {
    size_t slash = dest.rfind('/');
    return slash == std::string::npos ? dest : dest.substr(slash + 1);
}

// How fetching one file ended. write_errno is set when the file could not be
// written here, which no other source can help with; cancelled when the job
// was cancelled, which ends every source too.
struct Fetch {
    bool ok = false;
    int write_errno = 0;
    bool cancelled = false;

    bool final() const { return ok || write_errno != 0 || cancelled; }
};

// A part file name no other call, in this process or another, uses.
std::string part_name(const std::string &dest) {
    return fs_unique_name(dest + ".part");
}

// The process id in a part file name ("<file>.part<pid>-<n>"); 0 for the
// "<file>.part<index>" names of earlier versions, which carry no owner; -1
// when name is not a part file name.
long part_owner(const std::string &name) {
    size_t at = name.rfind(".part");
    if (at == std::string::npos || at == 0) return -1;
    std::string rest = name.substr(at + 5);
    size_t dash = rest.find('-');
    std::string pid = rest.substr(0, dash);
    std::string serial = dash == std::string::npos ? "0" : rest.substr(dash + 1);
    auto digits = [](const std::string &s) {
        return !s.empty() && s.size() <= 10 &&
               std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!digits(pid) || !digits(serial)) return -1;
    return dash == std::string::npos ? 0 : atol(pid.c_str());
}

// True when the part file name belongs to no running process. This
// process's own part files are in use by some transfer.
bool part_stale(const std::string &name) {
    long pid = part_owner(name);
    if (pid < 0 || pid == getpid()) return false;
    if (pid == 0 || pid > 0x7fffffff) return true;
    return proc_gone(static_cast<int>(pid));
}

void delete_if_regular(const std::string &path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) fs_delete(path);
}

// Part files of dest left behind by processes that are gone.
void remove_stale_parts_of(const std::string &dest) {
    size_t slash = dest.rfind('/');
    if (slash == std::string::npos) return;
    std::string folder = dest.substr(0, slash);
    std::string prefix = dest.substr(slash + 1) + ".part";
    for (const std::string &n : dir_list(folder).value_or(std::vector<std::string>{})) {
        if (str_starts_with(n, prefix) && n.find('.', prefix.size()) == std::string::npos &&
            part_stale(n))
            delete_if_regular(folder + "/" + n);
    }
}

// The file's bytes go into the part file, never more than limit of them.
struct PartSink {
    FILE *file;
    long long limit;
    ByteMeter *meter;
    long long written = 0;
    bool over_limit = false;
    int write_errno = 0;
};

size_t write_to_part(char *data, size_t size, size_t n, void *user) {
    PartSink *s = static_cast<PartSink *>(user);
    size_t len = size * n;
    if (s->written + static_cast<long long>(len) > s->limit) {
        s->over_limit = true;
        return 0; // aborts the transfer
    }
    errno = 0;
    if (fwrite(data, 1, len, s->file) != len) {
        s->write_errno = errno ? errno : EIO;
        return 0;
    }
    s->written += static_cast<long long>(len);
    if (s->meter) s->meter->add(static_cast<long long>(len));
    return len;
}

bool sha1_matches(const std::string &path, const std::string &sha1) {
    std::string actual;
    return file_sha1_hex(path, actual) == 0 && str_equal_ci(actual, sha1);
}

// Outcome of one attempt.
enum class Attempt { Done, Retry, Stop, WriteFailed, Cancelled };

// why: the reason of a failed attempt, in Russian; written: the bytes it received.
Attempt attempt_once(Transfer &t, const std::string &url, const Target &tg, const std::string &part,
                     bool to_service, int *write_errno, std::string *why, long long *written) {
    errno = 0;
    FilePtr f = fs_open(part, "wb");
    if (!f) {
        *write_errno = errno ? errno : EIO;
        return Attempt::WriteFailed;
    }
    CURL *c = t.prepare(url);
    if (!c) return Attempt::Stop;
    PartSink sink{f.get(), tg.limit, tg.meter};
    std::string name = file_label(tg.dest);
    // Bytes are stored exactly as sent, so the SHA-1 is that of the file.
    curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, nullptr);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, write_to_part);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
    // A longer announced length fails before the first byte.
    curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(tg.limit));
    CURLcode rc = t.perform(name.c_str());
    *written = sink.written;
    // A full disk often shows only when the buffered rest is written out.
    errno = 0;
    if (fclose(f.release()) != 0 && sink.write_errno == 0) sink.write_errno = errno ? errno : EIO;
    if (sink.write_errno != 0) {
        *write_errno = sink.write_errno;
        return Attempt::WriteFailed;
    }
    if (job_cancelled(t.job)) return Attempt::Cancelled;
    if (rc != CURLE_OK) {
        long status = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
        *why = sink.over_limit ? "файл больше ожидаемого" : transfer_error_text(rc, status);
        if (to_service && service_mark_unreachable(rc)) return Attempt::Stop;
        // An error status, a redirect loop, or more bytes than the file has:
        // asking this source again would get the same.
        if (rc == CURLE_HTTP_RETURNED_ERROR || rc == CURLE_TOO_MANY_REDIRECTS ||
            rc == CURLE_FILESIZE_EXCEEDED || sink.over_limit)
            return Attempt::Stop;
        return Attempt::Retry;
    }
    if (!tg.sha1.empty() && !sha1_matches(part, tg.sha1)) {
        job_message(t.job, "SHA1 не совпал: %s", url.c_str());
        *why = "содержимое не совпало с SHA-1";
        return Attempt::Retry;
    }
    return fs_rename_replace(part, tg.dest) == 0 ? Attempt::Done : Attempt::Retry;
}

Fetch file_from(Transfer &t, const std::string &url, const Target &tg, bool quiet) {
    Fetch r;
    errno = 0;
    if (fs_mkdirs_parent(tg.dest) != 0) {
        r.write_errno = errno ? errno : EIO;
        return r;
    }
    bool to_service = is_service_url(url);
    int attempts = to_service ? 3 : 4;
    std::string part = part_name(tg.dest);
    std::string why;
    for (int i = 0; i < attempts; i++) {
        long long written = 0;
        Attempt a = attempt_once(t, url, tg, part, to_service, &r.write_errno, &why, &written);
        if (a != Attempt::Done && tg.meter) tg.meter->add(-written); // those bytes start over
        if (a == Attempt::Done) {
            g_fetched_files.fetch_add(1);
            g_fetched_bytes.fetch_add(written);
            verified_note_written(tg.verified, tg.dest, tg.sha1);
            remove_stale_parts_of(tg.dest);
            r.ok = true;
            return r;
        }
        if (a == Attempt::WriteFailed || a == Attempt::Cancelled) {
            fs_delete(part);
            r.cancelled = a == Attempt::Cancelled;
            return r;
        }
        if (a == Attempt::Stop) break;
        if (i + 1 < attempts)
            job_note(t.job, "повтор %d/%d: %s (%s)", i + 2, attempts, file_label(tg.dest).c_str(),
                     why.c_str());
    }
    fs_delete(part);
    if (!quiet) {
        if (why.empty())
            job_message(t.job, "Не удалось скачать %s", url.c_str());
        else
            job_message(t.job, "Не удалось скачать %s: %s", url.c_str(), why.c_str());
    }
    return r;
}

bool present_and_correct(const std::string &dest, const std::string &sha1, long long size,
                         VerifiedFiles *verified = nullptr) {
    if (!sha1.empty()) return verified_check(verified, dest, sha1);
    FileStat st;
    if (fs_stat(dest, &st) != 0 || st.is_dir) return false;
    return size <= 0 || st.size == size;
}

long long byte_limit(long long size) {
    return size > 0 && size < k_download_max_bytes ? size : k_download_max_bytes;
}

Fetch with_fallback(Transfer &t, const std::string &url, const std::string &dest,
                    const std::string &sha1, long long size, VerifiedFiles *verified = nullptr,
                    ByteMeter *meter = nullptr) {
    if (present_and_correct(dest, sha1, size, verified)) {
        if (meter && size > 0) meter->drop_from_total(size);
        return Fetch{true, 0};
    }
    Target tg{dest, sha1, byte_limit(size), verified, meter};
    if (std::optional<std::string> proxied = service_proxied_url(url)) {
        if (direct_first_allowed() && is_mojang_host(url)) {
            Fetch f = file_from(t, url, tg, true);
            if (f.final()) return f;
            direct_first_failed();
        }
        Fetch f = file_from(t, *proxied, tg, true);
        if (f.final()) return f;
    }
    return file_from(t, url, tg, false);
}

void report_write_error(const Job *job, const std::string &dest, int write_errno) {
    job_message(job, "Не удалось записать %s: %s", dest.c_str(),
                fs_error_text(write_errno).c_str());
}

// The last path segment: what a single download's byte progress is labelled.
std::string file_name_of(const std::string &path) {
    return path.substr(path.rfind('/') + 1);
}

// Single downloads report a file that could not be written themselves.
int single_result(const Fetch &f, const std::string &dest, const Job *job) {
    if (f.write_errno) report_write_error(job, dest, f.write_errno);
    return f.ok ? 0 : -1;
}

// Errors after which no further file of the batch can be written either.
bool disk_unusable(int write_errno) {
    return write_errno == ENOSPC || write_errno == EDQUOT || write_errno == EFBIG ||
           write_errno == EROFS;
}

// One batch, shared by its workers. The lock guards the counters and is never
// held while a hook runs: workers only count and signal, and the thread that
// called download_batch reports the progress.
struct Batch {
    DownloadList &list;
    const std::string &label;
    const std::string &root;
    VerifiedFiles *verified;
    const Job *job;
    ByteMeter meter;
    std::mutex lock;
    std::condition_variable changed;
    size_t next = 0;
    long finished = 0;
    long failed = 0;
    int running = 0;
    bool stopped = false; // the disk is full: no further file is started
    std::atomic<bool> write_reported{false};
};

// One download of the batch; a destination outside the root is refused.
Fetch batch_fetch(Batch &b, Transfer &t, const DownloadItem &item) {
    if (!fs_path_inside(item.path, b.root)) {
        job_message(b.job, "Файл вне папки %s не скачан: %s", b.root.c_str(), item.path.c_str());
        return Fetch{};
    }
    Fetch f = with_fallback(t, item.url, item.path, item.sha1, item.size, b.verified, &b.meter);
    // The disk's trouble is told once; the batch's count says the rest.
    if (f.write_errno && !b.write_reported.exchange(true))
        report_write_error(b.job, item.path, f.write_errno);
    return f;
}

void batch_worker(Batch &b) {
    Transfer t;
    t.job = b.job;
    while (true) {
        size_t i;
        {
            std::lock_guard<std::mutex> lk(b.lock);
            if (b.stopped || b.next >= b.list.size() || job_cancelled(b.job)) break;
            i = b.next++;
        }
        Fetch f = batch_fetch(b, t, b.list[i]);
        {
            std::lock_guard<std::mutex> lk(b.lock);
            b.finished++;
            if (!f.ok) b.failed++;
            if (disk_unusable(f.write_errno)) b.stopped = true;
        }
        b.changed.notify_one();
    }
    {
        std::lock_guard<std::mutex> lk(b.lock);
        b.running--;
    }
    b.changed.notify_one();
}

// On the calling thread until every worker has ended: progress at every
// multiple of 16 the finished count reaches, and at the end.
void batch_report(Batch &b) {
    const long total = static_cast<long>(b.list.size());
    long seen = 0;
    std::unique_lock<std::mutex> lk(b.lock);
    while (true) {
        b.changed.wait(lk, [&] { return b.finished != seen || b.running == 0; });
        long finished = b.finished;
        bool over = b.running == 0;
        lk.unlock();
        for (long m = (seen / 16 + 1) * 16; m <= finished; m += 16)
            job_progress(b.job, m, total, b.label.c_str());
        if (finished == total && finished != seen && finished % 16 != 0)
            job_progress(b.job, finished, total, b.label.c_str());
        seen = finished;
        if (over) return;
        lk.lock();
    }
}

// Starts the workers; without any thread the calling one does the work.
void batch_run(Batch &b) {
    int workers = download_worker_count(b.list);
    std::vector<std::thread> threads;
    b.running = workers;
    for (int i = 0; i < workers; i++) {
        try {
            threads.emplace_back(batch_worker, std::ref(b));
        } catch (const std::system_error &) {
            std::lock_guard<std::mutex> lk(b.lock);
            b.running -= workers - i; // out of threads: the ones started do the work
            break;
        }
    }
    if (threads.empty()) {
        b.running = 1;
        batch_worker(b);
    }
    batch_report(b);
    for (std::thread &t : threads)
        t.join();
}

// The reason a batch failed, told through the job and returned in err.
int batch_failed(const Job *job, std::string *err, const std::string &text) {
    job_message(job, "%s", text.c_str());
    if (err) *err = text;
    return -1;
}

} // namespace

void download_list_add(DownloadList &list, const std::string &url, const std::string &path,
                       const std::string &sha1, long long size) {
    if (url.empty()) return;
    list.push_back(DownloadItem{url, path, sha1, size});
}

int download_file(const std::string &url, const std::string &dest, const std::string &sha1,
                  bool quiet, const Job *job) {
    Transfer t;
    t.job = job;
    std::string name = file_name_of(dest);
    t.bytes_label = name.c_str();
    return single_result(file_from(t, url, Target{dest, sha1, k_download_max_bytes}, quiet), dest,
                         job);
}

int download_with_fallback(const std::string &url, const std::string &dest, const std::string &sha1,
                           long long size, const Job *job) {
    Transfer t;
    t.job = job;
    std::string name = file_name_of(dest);
    t.bytes_label = name.c_str();
    return single_result(with_fallback(t, url, dest, sha1, size), dest, job);
}

int download_one(const std::string &url, const std::string &dest, const std::string &sha1,
                 const Job *job) {
    return download_with_fallback(url, dest, sha1, -1, job);
}

int download_via_service(const std::string &service_path, const std::string &direct_url,
                         const std::string &dest, const std::string &sha1, const Job *job) {
    if (!service_path.empty()) {
        if (!service_is_down()) {
            if (!sha1.empty() && present_and_correct(dest, sha1, 0)) return 0;
            std::string url =
                format_alloc("%s%s", service_base_url().c_str(), service_path.c_str());
            Transfer t;
            t.job = job;
            std::string name = file_name_of(dest);
            t.bytes_label = name.c_str();
            Fetch f =
                file_from(t, url, Target{dest, sha1, k_download_max_bytes}, !direct_url.empty());
            if (f.final()) return single_result(f, dest, job);
            if (direct_url.empty()) return -1;
        } else if (direct_url.empty()) {
            return -1;
        }
        job_message(job, "Через API не скачалось, пробую напрямую: %s", direct_url.c_str());
    }
    if (direct_url.empty()) return -1;
    return download_file(direct_url, dest, sha1, false, job);
}

DownloadTotals download_totals() {
    return {g_fetched_files.load(), g_fetched_bytes.load()};
}

int download_worker_count(const DownloadList &sorted) {
    if (sorted.empty()) return 0;
    bool wide = service_is_down() || (direct_first_allowed() && is_mojang_host(sorted[0].url));
    return static_cast<int>(std::min<size_t>(wide ? 16 : 6, sorted.size()));
}

int download_batch(DownloadList &list, const std::string &label, const std::string &root,
                   int skipped, VerifiedFiles *verified, const Job *job, std::string *err) {
    if (list.empty() && skipped == 0) return 0;
    // Sorted by destination, one item per destination: no file is fetched twice.
    std::stable_sort(list.begin(), list.end(),
                     [](const DownloadItem &a, const DownloadItem &b) { return a.path < b.path; });
    list.erase(
        std::unique(list.begin(), list.end(),
                    [](const DownloadItem &a, const DownloadItem &b) { return a.path == b.path; }),
        list.end());
    job_progress(job, 0, static_cast<long>(list.size()), label.c_str());

    Batch b{list, label, root, verified, job, {job}, {}, {}};
    long long known = 0;
    for (const DownloadItem &item : list)
        known += item.size > 0 ? item.size : 0;
    b.meter.total = known;
    job_batch_bytes(job, 0, known);
    if (!list.empty()) batch_run(b);

    if (job_cancelled(job))
        return batch_failed(job, err, format_alloc("%s: %s", label.c_str(), k_job_cancelled_text));
    // Files never started after the disk filled up failed as well.
    long failed = b.failed + static_cast<long>(list.size() - b.next) + skipped;
    if (failed > 0)
        return batch_failed(job, err,
                            format_alloc("%s: %ld файлов не скачано", label.c_str(), failed));
    return 0;
}

int download_arrays(const StrList &urls, const StrList &paths, const StrList *sha1s,
                    const std::string &label, const std::string &root, const Job *job) {
    DownloadList list;
    for (size_t i = 0; i < urls.size() && i < paths.size(); i++) {
        if (urls[i].empty()) continue;
        std::string sha1 = sha1s && i < sha1s->size() ? (*sha1s)[i] : "";
        list.push_back({urls[i], paths[i], sha1, -1});
    }
    return download_batch(list, label, root, 0, nullptr, job);
}

void download_remove_stale_parts(const std::string &folder) {
    for (const std::string &n : dir_list(folder).value_or(std::vector<std::string>{})) {
        std::string path = folder + "/" + n;
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode))
            download_remove_stale_parts(path);
        else if (S_ISREG(st.st_mode) && part_stale(n))
            fs_delete(path);
    }
}
