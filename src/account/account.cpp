// Account record and account.json. The password never reaches this file:
// only the session token the server hands out is kept, and the file is
// readable by its owner alone.
#include "account/account.h"

#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"
#include "config/datadir.h"
#include "net/endpoints.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <openssl/rand.h>
#include <random>

namespace {
// account.json beyond this is damaged: it reads as signed out.
constexpr long long k_account_max_bytes = 1LL << 20;
std::mutex g_lock; // guards g_account, only while copying
Account g_account;
std::atomic<bool> g_use_account{true};
} // namespace

Account account_snapshot() {
    std::lock_guard<std::mutex> lk(g_lock);
    return g_account;
}

void account_publish(const Account &a) {
    std::lock_guard<std::mutex> lk(g_lock);
    g_account = a;
}

bool account_use() {
    return g_use_account.load();
}

void account_use_set(bool use) {
    g_use_account.store(use);
}

std::string account_path() {
    return format_alloc("%s/account.json", datapaths().data.c_str());
}

std::string client_token_new() {
    unsigned char b[16];
    if (RAND_bytes(b, sizeof b) != 1) {
        // No entropy source: a token only has to be distinct, not secret.
        std::random_device rd;
        std::mt19937 gen(rd());
        for (unsigned char &c : b)
            c = static_cast<unsigned char>(gen() & 0xff);
    }
    b[6] = static_cast<unsigned char>((b[6] & 0x0f) | 0x40);
    b[8] = static_cast<unsigned char>((b[8] & 0x3f) | 0x80);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : b) {
        out += hex[c >> 4];
        out += hex[c & 0x0f];
    }
    return out;
}

// The record as account.json holds it now; empty when missing or broken.
static Account account_read() {
    Account a;
    if (JsonPtr j = json_read_file(account_path(), k_account_max_bytes)) {
        a.client_token = json_str(j.get(), "clientToken");
        a.username = json_str(j.get(), "username");
        std::string token = json_str(j.get(), "accessToken");
        std::string uuid = json_str(j.get(), "uuid");
        if (json_str(j.get(), "type") == "drasl" && !token.empty() && !uuid.empty()) {
            a.access_token = token;
            a.uuid = uuid;
            a.name = json_str(j.get(), "name", a.username);
        }
    }
    return a;
}

static void add_if_known(cJSON *o, const char *key, const std::string &value) {
    if (!value.empty()) cJSON_AddStringToObject(o, key, value.c_str());
}

static int account_write(const Account &a) {
    JsonPtr o(cJSON_CreateObject());
    cJSON_AddStringToObject(o.get(), "type", a.access_token.empty() ? "none" : "drasl");
    add_if_known(o.get(), "username", a.username);
    add_if_known(o.get(), "name", a.name);
    add_if_known(o.get(), "uuid", a.uuid);
    add_if_known(o.get(), "accessToken", a.access_token);
    cJSON_AddStringToObject(o.get(), "clientToken", a.client_token.c_str());
    cJSON_AddStringToObject(o.get(), "server", auth_server_base().c_str());
    return fs_write_atomic_mode(account_path(), json_print(o.get()), 0600);
}

int account_save() {
    return account_write(account_snapshot());
}

void account_load() {
    Account a = account_read();
    account_publish(a);
    if (a.client_token.size() <= 7) {
        // Two first starts at once must end with one token, not one each.
        account_update([](Account &rec) {
            if (rec.client_token.size() <= 7) rec.client_token = client_token_new();
        });
    }
}

int account_update(const std::function<void(Account &)> &change, std::string *err) {
    FileLock lock = fs_lock(account_path());
    Account a = account_read();
    if (a.client_token.size() <= 7) a.client_token = account_snapshot().client_token;
    change(a);
    account_publish(a);
    if (account_write(a) == 0) return 0;
    if (err)
        *err = format_alloc("Не удалось записать %s: %s", account_path().c_str(),
                            fs_error_text(errno).c_str());
    return -1;
}

bool account_active(const Account &a) {
    return account_use() && !a.access_token.empty() && !a.uuid.empty() && !a.name.empty();
}

bool account_active() {
    return account_active(account_snapshot());
}

std::string auth_registration_url() {
    const std::string &url = endpoint("auth");
    size_t scheme = url.find("://");
    size_t host_end = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    return url.substr(0, host_end) + "/web/registration";
}
