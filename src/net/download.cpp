// Download engine: part files, verification, source order and the worker pool.
#include "net/download.h"

#include "base/digest.h"
#include "base/fs.h"
#include "base/ui.h"
#include "net/endpoints.h"
#include "net/http.h"

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// One transfer handle reused for every file a worker fetches: a reset handle
// keeps its open connections, DNS and TLS session caches, so thousands of
// small files do not each pay for a new connection.
struct Transfer {
    CurlPtr handle;

    CURL *prepare(const std::string &url) {
        if (!handle) {
            handle = transfer_handle_new(url);
        } else {
            curl_easy_reset(handle.get());
            transfer_handle_setup(handle.get(), url);
        }
        return handle.get();
    }
};

size_t write_to_file(char *data, size_t size, size_t n, void *user) {
    return fwrite(data, size, n, static_cast<FILE *>(user)) * size;
}

bool sha1_matches(const std::string &path, const std::string &sha1) {
    std::string actual;
    return file_sha1_hex(path, actual) == 0 && str_equal_ci(actual, sha1);
}

// Outcome of one attempt.
enum class Attempt { Done, Retry, Stop };

Attempt attempt_once(Transfer &t, const std::string &url, const std::string &dest,
                     const std::string &part, const std::string &sha1, bool to_service) {
    FilePtr f = fs_open(part, "wb");
    if (!f) return Attempt::Stop;
    CURL *c = t.prepare(url);
    if (!c) return Attempt::Stop;
    // Bytes are stored exactly as sent, so the SHA-1 is that of the file.
    curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, nullptr);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, write_to_file);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, f.get());
    CURLcode rc = curl_easy_perform(c);
    // A failed close (a full disk) makes the file as bad as a failed transfer.
    if (fclose(f.release()) != 0 && rc == CURLE_OK) rc = CURLE_WRITE_ERROR;
    if (rc != CURLE_OK) {
        if (to_service && service_mark_unreachable(rc)) return Attempt::Stop;
        if (rc == CURLE_HTTP_RETURNED_ERROR) return Attempt::Stop;
        return Attempt::Retry;
    }
    if (!sha1.empty() && !sha1_matches(part, sha1)) {
        ui_message("SHA1 не совпал: %s", url.c_str());
        return Attempt::Retry;
    }
    return fs_rename_replace(part, dest) == 0 ? Attempt::Done : Attempt::Retry;
}

int file_from(Transfer &t, const std::string &url, const std::string &dest, const std::string &sha1,
              int part_index, bool quiet) {
    fs_mkdirs_parent(dest);
    bool to_service = is_service_url(url);
    int attempts = to_service ? 3 : 4;
    std::string part = format_alloc("%s.part%d", dest.c_str(), part_index);
    for (int i = 0; i < attempts; i++) {
        Attempt a = attempt_once(t, url, dest, part, sha1, to_service);
        if (a == Attempt::Done) return 0;
        if (a == Attempt::Stop) break;
    }
    fs_delete(part);
    if (!quiet) ui_message("Не удалось скачать %s", url.c_str());
    return -1;
}

bool present_and_correct(const std::string &dest, const std::string &sha1, long long size) {
    FileStat st;
    if (fs_stat(dest, &st) != 0 || st.is_dir) return false;
    if (!sha1.empty()) return sha1_matches(dest, sha1);
    return size <= 0 || st.size == size;
}

int with_fallback(Transfer &t, const std::string &url, const std::string &dest,
                  const std::string &sha1, long long size, int part_index) {
    if (present_and_correct(dest, sha1, size)) return 0;
    if (std::optional<std::string> proxied = service_proxied_url(url)) {
        if (direct_first_allowed() && is_mojang_host(url)) {
            if (file_from(t, url, dest, sha1, part_index, true) == 0) return 0;
            direct_first_failed();
        }
        if (file_from(t, *proxied, dest, sha1, part_index, true) == 0) return 0;
    }
    return file_from(t, url, dest, sha1, part_index, false);
}

struct Batch {
    DownloadList &list;
    const std::string &label;
    std::mutex lock;
    size_t next = 0;
    long finished = 0;
    long failed = 0;
};

void batch_worker(Batch &b, int part_index) {
    Transfer t;
    const long total = static_cast<long>(b.list.size());
    while (true) {
        size_t i;
        {
            std::lock_guard<std::mutex> lk(b.lock);
            if (b.next >= b.list.size()) return;
            i = b.next++;
        }
        const DownloadItem &item = b.list[i];
        int rc = with_fallback(t, item.url, item.path, item.sha1, item.size, part_index);
        std::lock_guard<std::mutex> lk(b.lock);
        b.finished++;
        if (rc != 0) b.failed++;
        if (b.finished % 16 == 0 || b.finished == total)
            ui_progress(b.finished, total, b.label.c_str());
    }
}

} // namespace

int download_file(const std::string &url, const std::string &dest, const std::string &sha1,
                  int part_index, bool quiet) {
    Transfer t;
    return file_from(t, url, dest, sha1, part_index, quiet);
}

int download_with_fallback(const std::string &url, const std::string &dest, const std::string &sha1,
                           long long size, int part_index) {
    Transfer t;
    return with_fallback(t, url, dest, sha1, size, part_index);
}

int download_one(const std::string &url, const std::string &dest, const std::string &sha1) {
    return download_with_fallback(url, dest, sha1, -1, k_part_single);
}

int download_via_service(const std::string &service_path, const std::string &direct_url,
                         const std::string &dest, const std::string &sha1) {
    if (!service_path.empty()) {
        if (!service_is_down()) {
            if (!sha1.empty() && present_and_correct(dest, sha1, 0)) return 0;
            std::string url =
                format_alloc("%s%s", service_base_url().c_str(), service_path.c_str());
            if (download_file(url, dest, sha1, k_part_via_service, !direct_url.empty()) == 0)
                return 0;
            if (direct_url.empty()) return -1;
        } else if (direct_url.empty()) {
            return -1;
        }
        ui_message("Через API не скачалось, пробую напрямую: %s", direct_url.c_str());
    }
    if (direct_url.empty()) return -1;
    return download_file(direct_url, dest, sha1, k_part_via_service, false);
}

int download_worker_count(const DownloadList &sorted) {
    if (sorted.empty()) return 0;
    bool wide = service_is_down() || (direct_first_allowed() && is_mojang_host(sorted[0].url));
    return static_cast<int>(std::min<size_t>(wide ? 16 : 6, sorted.size()));
}

int download_batch(DownloadList &list, const std::string &label) {
    if (list.empty()) return 0;
    // Sorted by destination, one item per destination: no file is fetched
    // twice and no two workers ever write the same part file.
    std::stable_sort(list.begin(), list.end(),
                     [](const DownloadItem &a, const DownloadItem &b) { return a.path < b.path; });
    list.erase(
        std::unique(list.begin(), list.end(),
                    [](const DownloadItem &a, const DownloadItem &b) { return a.path == b.path; }),
        list.end());
    const long total = static_cast<long>(list.size());
    ui_progress(0, total, label.c_str());

    Batch b{list, label, {}, 0, 0, 0};
    int workers = download_worker_count(list);
    std::vector<std::thread> threads;
    for (int i = 0; i < workers; i++) {
        try {
            threads.emplace_back(batch_worker, std::ref(b), i);
        } catch (const std::system_error &) {
            break; // out of threads: the ones started do the work
        }
    }
    if (threads.empty()) batch_worker(b, 0);
    for (std::thread &t : threads)
        t.join();

    if (b.failed > 0) {
        ui_message("%s: %ld файлов не скачано", label.c_str(), b.failed);
        return -1;
    }
    return 0;
}

int download_arrays(const StrList &urls, const StrList &paths, const StrList *sha1s,
                    const std::string &label) {
    DownloadList list;
    for (size_t i = 0; i < urls.size() && i < paths.size(); i++) {
        if (urls[i].empty()) continue;
        std::string sha1 = sha1s && i < sha1s->size() ? (*sha1s)[i] : "";
        list.push_back({urls[i], paths[i], sha1, -1});
    }
    return download_batch(list, label);
}
