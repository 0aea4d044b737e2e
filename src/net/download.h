// Download engine: files are fetched into a private part file beside their
// destination, verified by SHA-1 and only then moved into place. Each file is
// tried from the best source first (Mojang directly, the content service's
// proxy, the public URL); lists are worked off by a pool of threads.
#pragma once

#include "base/strings.h"

#include <string>

// Part indices of single downloads; batch workers use 0 to 15.
constexpr int k_part_via_service = 97;
constexpr int k_part_loader_installer = 98;
constexpr int k_part_single = 99;

// One source with retries (3 through the service, 4 elsewhere). 0 or -1;
// "Не удалось скачать %s" unless quiet.
int download_file(const std::string &url, const std::string &dest, const std::string &sha1,
                  int part_index, bool quiet);
// Skips a destination that is present and correct (sha1, else size when > 0),
// then tries the sources in order.
int download_with_fallback(const std::string &url, const std::string &dest, const std::string &sha1,
                           long long size, int part_index);
// download_with_fallback with size -1 and part index 99.
int download_one(const std::string &url, const std::string &dest, const std::string &sha1 = "");
// A file the content service names by its own path, with the public URL as fallback.
int download_via_service(const std::string &service_path, const std::string &direct_url,
                         const std::string &dest, const std::string &sha1);
// Sorts and de-duplicates list by destination in place, then downloads every
// item; 0 when all succeeded. Progress every 16 files through UiHooks.
int download_batch(DownloadList &list, const std::string &label);
// A batch built from parallel arrays; entries with an empty URL are skipped,
// sha1s may be null.
int download_arrays(const StrList &urls, const StrList &paths, const StrList *sha1s,
                    const std::string &label);
// Workers for a sorted, de-duplicated list: 16 when the service is down or the
// first file is on a Mojang host (while direct Mojang downloads work), else 6;
// never more than the items.
int download_worker_count(const DownloadList &sorted);
