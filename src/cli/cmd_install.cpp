// Console side of installing a game version (and, later, its loader).
#include "cli/cmd_install.h"

#include "base/amounts.h"
#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"
#include "base/ui.h"
#include "cli/help.h"
#include "game/install.h"
#include "game/versions.h"
#include "net/download.h"

#include <chrono>
#include <cstdio>

std::string install_summary(long files, long long bytes, double seconds) {
    if (files == 0) return "всё на месте, ничего не скачано (" + amount_duration(seconds) + ")";
    return format_alloc("%ld %s, %s за %s", files, plural_word(files, "файл", "файла", "файлов"),
                        amount_bytes(bytes).c_str(), amount_duration(seconds).c_str());
}

std::optional<std::string> cli_install_step(const Options &opts, bool for_launch) {
    const std::string &id = *opts.pos[0];
    std::optional<std::string> loader = opts.loader;
    std::optional<std::string> loader_version = opts.loader_version;
    JsonPtr existing;
    if (for_launch && !loader && version_id_valid(id))
        existing = json_read_file(version_json_path(id));
    // A profile made by a loader install is launched as it is.
    if (existing && json_str_opt(existing.get(), "inheritsFrom")) return id;
    if (existing) loader_version.reset();
    // The launch trusts what the record of verified files vouches for; the
    // install command is the repair path and reads every file.
    DownloadTotals before = download_totals();
    auto started = std::chrono::steady_clock::now();
    std::optional<std::string> result = install_version(
        loader, id, loader_version, for_launch ? VerifyMode::TrustRecord : VerifyMode::HashAll);
    console_progress_end();
    if (!result) {
        console_err("Установка не удалась\n");
        return std::nullopt;
    }
    DownloadTotals after = download_totals();
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    console_out(
        "Установлено: %s — %s\n", result->c_str(),
        install_summary(after.files - before.files, after.bytes - before.bytes, seconds).c_str());
    return result;
}

int cmd_install(const Options &opts) {
    if (!opts.pos[0]) {
        help_print();
        return 2;
    }
    return cli_install_step(opts, false) ? 0 : 1;
}
