// Fetching authlib-injector: release metadata, download into "<jar>.part",
// SHA-256 check, then one rename. An unverified or partial download never
// takes the jar's name.
#include "account/authlib_injector.h"

#include "base/digest.h"
#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"
#include "config/datadir.h"
#include "net/download.h"
#include "net/endpoints.h"
#include "net/http.h"

std::string authlib_injector_path() {
    return format_alloc("%s/authlib-injector.jar", datapaths().data.c_str());
}

static JsonPtr release_metadata() {
    long status = 0;
    std::optional<std::string> body =
        web_get(endpoint("authlib_injector") + "/artifact/latest.json", {}, &status);
    if (status != 200 || !body) return nullptr;
    return json_parse(*body);
}

// Downloads and verifies into part; 0 when part holds the right bytes.
static int fetch_verified(const cJSON *meta, const std::string &part, const Job *job) {
    std::optional<std::string> url = json_str_opt(meta, "download_url");
    if (!url) return -1;
    job_message(job, "Скачиваю authlib-injector %s (скины и вход на серверы)",
                json_str(meta, "version").c_str());
    if (download_one(*url, part, "", job) != 0) return -1;
    std::optional<std::string> expected = json_str_opt(json_get(meta, "checksums"), "sha256");
    if (expected) {
        std::string actual;
        if (file_sha256_hex(part, actual) != 0 || !str_equal_ci(actual, *expected)) {
            job_message(job, "authlib-injector: контрольная сумма не совпала");
            return -1;
        }
    }
    return 0;
}

std::optional<std::string> authlib_injector_ensure(const Job *job) {
    std::string jar = authlib_injector_path();
    if (fs_exists(jar)) return jar;
    // A name of this call alone: two launches at once never share it. The
    // fixed "<jar>.part" of earlier versions is a leftover.
    fs_delete(jar + ".part");
    std::string part = fs_unique_name(jar + ".part");
    if (JsonPtr meta = release_metadata()) {
        if (fetch_verified(meta.get(), part, job) == 0 && fs_rename_replace(part, jar) == 0)
            return jar;
        fs_delete(part);
    }
    job_message(job, "Не удалось скачать authlib-injector: скины могут не отображаться");
    return std::nullopt;
}
