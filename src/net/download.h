// Download engine: files are fetched into a private part file beside their
// destination, verified by SHA-1 and only then moved into place. Each file is
// tried from the best source first (Mojang directly, the content service's
// proxy, the public URL); lists are worked off by a pool of threads.
//
// Any thread may call these; every call names its part files on its own
// ("<destination>.part<pid>-<n>"), so two batches, in one process or in two,
// never write the same part file.
//
// Every function takes the operation's job record (base/job.h; none: UiHooks,
// no cancelling). Messages go to it from the calling thread and from the
// workers; batch progress only from the calling thread, with no lock held.
// A cancelled job stops every transfer within about a tenth of a second,
// leaves no part file behind and makes the call fail.
#pragma once

#include "base/job.h"
#include "base/strings.h"

#include <string>
#include <vector>

// One file to fetch. An empty sha1 or a size of 0 or less means "not checked".
struct DownloadItem {
    std::string url;
    std::string path;
    std::string sha1;
    long long size = 0;
};
using DownloadList = std::vector<DownloadItem>;

// Appends a job; does nothing when url is empty.
void download_list_add(DownloadList &list, const std::string &url, const std::string &path,
                       const std::string &sha1 = "", long long size = 0);

struct VerifiedFiles;

// The most bytes one file may have when its size is not known in advance.
constexpr long long k_download_max_bytes = 2LL << 30;

// Single downloads report the bytes received to the job's own progress
// callback, labelled with the destination's file name.
//
// One source with retries (3 through the service, 4 elsewhere). 0 or -1;
// "Не удалось скачать %s" unless quiet. A file that cannot be written is
// reported as such ("Не удалось записать %s: %s"), whatever quiet says.
int download_file(const std::string &url, const std::string &dest, const std::string &sha1,
                  bool quiet, const Job *job = nullptr);
// Skips a destination that is present and correct (sha1, else size when > 0),
// then tries the sources in order. More bytes than size (when > 0) fail a source.
int download_with_fallback(const std::string &url, const std::string &dest, const std::string &sha1,
                           long long size, const Job *job = nullptr);
// download_with_fallback with size -1.
int download_one(const std::string &url, const std::string &dest, const std::string &sha1 = "",
                 const Job *job = nullptr);
// A file the content service names by its own path, with the public URL as fallback.
int download_via_service(const std::string &service_path, const std::string &direct_url,
                         const std::string &dest, const std::string &sha1,
                         const Job *job = nullptr);
// Sorts and de-duplicates list by destination in place, then downloads every
// item; 0 when all succeeded. Progress every 16 files through UiHooks.
// Every destination must lie inside root (fs_path_inside); others are refused
// and count as failed, as do `skipped` entries the caller already had to
// leave out. A full disk stops the batch: the files not yet started fail too.
// With a record of verified files, present files are checked through it
// (trusted or hashed, per its mode) and every file checked or downloaded is
// noted in it; the caller saves it. On failure err (optional) receives the
// reason also told through the job: "<label>: N файлов не скачано", or
// "<label>: Операция отменена".
int download_batch(DownloadList &list, const std::string &label, const std::string &root,
                   int skipped = 0, VerifiedFiles *verified = nullptr, const Job *job = nullptr,
                   std::string *err = nullptr);
// A batch built from parallel arrays; entries with an empty URL are skipped,
// sha1s may be null.
int download_arrays(const StrList &urls, const StrList &paths, const StrList *sha1s,
                    const std::string &label, const std::string &root, const Job *job = nullptr);
// Workers for a sorted, de-duplicated list: 16 when the service is down or the
// first file is on a Mojang host (while direct Mojang downloads work), else 6;
// never more than the items.
int download_worker_count(const DownloadList &sorted);
// Files and bytes downloaded by this process so far (files found in place
// and intact are not counted); a caller takes the difference around its work.
struct DownloadTotals {
    long files = 0;
    long long bytes = 0;
};
DownloadTotals download_totals();
// Deletes, everywhere below folder, the part files of processes that are gone
// (an install killed midway leaves them); symbolic links are not followed.
void download_remove_stale_parts(const std::string &folder);
