// Fetching authlib-injector: release metadata, download into "<jar>.part",
// SHA-256 check, then one rename. An unverified or partial download never
// takes the jar's name.
#include "account/authlib_injector.h"

#include "base/digest.h"
#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"
#include "base/ui.h"
#include "config/datadir.h"
#include "net/download.h"
#include "net/endpoints.h"
#include "net/http.h"

std::string authlib_injector_path() {
    return format_alloc("%s/authlib-injector.jar", g_paths.data.c_str());
}

static JsonPtr release_metadata() {
    long status = 0;
    std::optional<std::string> body =
        web_get(endpoint("authlib_injector") + "/artifact/latest.json", {}, &status);
    if (status != 200 || !body) return nullptr;
    return json_parse(*body);
}

// Downloads and verifies into part; 0 when part holds the right bytes.
static int fetch_verified(const cJSON *meta, const std::string &part) {
    std::optional<std::string> url = json_str_opt(meta, "download_url");
    if (!url) return -1;
    ui_message("Скачиваю authlib-injector %s (скины и вход на серверы)",
               json_str(meta, "version").c_str());
    // A part file left by an interrupted run would pass for the download.
    fs_delete(part);
    if (download_one(*url, part) != 0) return -1;
    std::optional<std::string> expected = json_str_opt(json_get(meta, "checksums"), "sha256");
    if (expected) {
        std::string actual;
        if (file_sha256_hex(part, actual) != 0 || !str_equal_ci(actual, *expected)) {
            ui_message("authlib-injector: контрольная сумма не совпала");
            return -1;
        }
    }
    return 0;
}

std::optional<std::string> authlib_injector_ensure() {
    std::string jar = authlib_injector_path();
    if (fs_exists(jar)) return jar;
    std::string part = format_alloc("%s.part", jar.c_str());
    if (JsonPtr meta = release_metadata()) {
        if (fetch_verified(meta.get(), part) == 0 && fs_rename_replace(part, jar) == 0) return jar;
        fs_delete(part);
    }
    ui_message("Не удалось скачать authlib-injector: скины могут не отображаться");
    return std::nullopt;
}
