// Authentication requests: compact JSON posted to the server's base address
// plus a path; every outcome becomes either a stored session or an error text.
#include "account/auth.h"

#include "account/account.h"
#include "base/json.h"
#include "base/strings.h"
#include "base/ui.h"
#include "net/http.h"

#include <mutex>

namespace {

struct Reply {
    long status = -1;
    JsonPtr json; // null when the body was empty or not JSON
};

Reply auth_post(const char *path, const cJSON *body) {
    Reply r;
    StrList headers = {"Content-Type: application/json", "Accept: application/json"};
    std::optional<std::string> text =
        web_post(auth_server_base() + path, json_print_compact(body), headers, &r.status);
    if (text && !text->empty()) r.json = json_parse(*text);
    return r;
}

struct ErrorKey {
    const char *key;
    const char *text;
};

const ErrorKey k_error_keys[] = {
    {"Invalid credentials", "Неверный логин или пароль"},
    {"Invalid token", "Сессия истекла"},
    {"Too many requests", "Слишком много попыток, подождите минуту"},
    {"banned", "Аккаунт заблокирован"},
};

// Takes the session (uuid, name, token) out of a 200 reply into s.
int accept_session(const cJSON *reply, Account &s, std::string *err) {
    std::optional<std::string> token = json_str_opt(reply, "accessToken");
    if (!token) {
        if (err) *err = "Сервер не вернул accessToken";
        return -1;
    }
    const cJSON *profile = json_get(reply, "selectedProfile");
    std::optional<std::string> id = json_str_opt(profile, "id");
    std::optional<std::string> name = json_str_opt(profile, "name");
    if (!id || !name) {
        if (err) *err = "У аккаунта нет игрового профиля (создайте игрока на сайте)";
        return -1;
    }
    std::string uuid;
    for (char c : *id) {
        if (c != '-' && uuid.size() < 32) uuid += c;
    }
    s.uuid = uuid;
    s.name = *name;
    s.access_token = *token;
    return 0;
}

// The session fields of s (and the client token it was made with) into a.
void store_session(Account &a, const Account &s) {
    a.uuid = s.uuid;
    a.name = s.name;
    a.access_token = s.access_token;
    a.client_token = s.client_token;
}

JsonPtr token_body(const Account &a) {
    JsonPtr body(cJSON_CreateObject());
    cJSON_AddStringToObject(body.get(), "accessToken", a.access_token.c_str());
    cJSON_AddStringToObject(body.get(), "clientToken", a.client_token.c_str());
    return body;
}

} // namespace

std::string auth_error_text(long status, const cJSON *reply) {
    if (status == -1) return format_alloc("Нет связи с сервером %s", auth_server_base().c_str());
    std::string message = json_str(reply, "errorMessage");
    if (!message.empty()) {
        std::string lower = str_lower(message);
        for (const ErrorKey &k : k_error_keys) {
            if (lower.find(str_lower(k.key)) != std::string::npos) return k.text;
        }
        return message;
    }
    std::string error = json_str(reply, "error");
    if (!error.empty()) return error;
    return format_alloc("Сервер авторизации ответил кодом %ld", status);
}

int auth_login(const std::string &login, const std::string &password, std::string *err) {
    Account before = account_snapshot();
    std::string client_token =
        before.client_token.empty() ? client_token_new() : before.client_token;
    JsonPtr body(cJSON_CreateObject());
    cJSON *agent = cJSON_AddObjectToObject(body.get(), "agent");
    cJSON_AddStringToObject(agent, "name", "Minecraft");
    cJSON_AddNumberToObject(agent, "version", 1);
    cJSON_AddStringToObject(body.get(), "username", login.c_str());
    cJSON_AddStringToObject(body.get(), "password", password.c_str());
    cJSON_AddStringToObject(body.get(), "clientToken", client_token.c_str());
    cJSON_AddTrueToObject(body.get(), "requestUser");
    Reply r = auth_post("/authenticate", body.get());
    if (r.status != 200 || !r.json) {
        if (err) *err = auth_error_text(r.status, r.json.get());
        return -1;
    }
    Account session;
    if (accept_session(r.json.get(), session, err) != 0) return -1;
    session.client_token = client_token;
    // A session that cannot be stored would be gone at the next start while
    // the user was told it worked.
    if (account_update(
            [&](Account &a) {
                store_session(a, session);
                a.username = login;
            },
            err) != 0) {
        account_publish(before);
        return -1;
    }
    ui_message("Вход выполнен: %s", session.name.c_str());
    return 0;
}

int auth_refresh(std::string *err) {
    // Refreshes take turns: two sending the same token at once would have the
    // loser's refusal sign out the account until the winner's answer lands.
    static std::mutex turn;
    std::lock_guard<std::mutex> lk(turn);
    const Account current = account_snapshot();
    if (current.access_token.empty()) {
        if (err) *err = "Вы не вошли в аккаунт";
        return -1;
    }
    const std::string &sent = current.access_token;
    JsonPtr body = token_body(current);
    cJSON_AddTrueToObject(body.get(), "requestUser");
    Reply r = auth_post("/refresh", body.get());
    if (r.status == 200 && r.json) {
        Account session;
        if (accept_session(r.json.get(), session, err) != 0) return -1;
        session.client_token = current.client_token;
        // Stored or not, this process plays with the new session.
        account_update([&](Account &a) { store_session(a, session); });
        return 0;
    }
    if (r.status == -1) {
        if (err) *err = auth_error_text(r.status, nullptr);
        return -1;
    }
    if (err) {
        *err = format_alloc("%s — войдите в аккаунт заново",
                            auth_error_text(r.status, r.json.get()).c_str());
    }
    if (r.status == 401 || r.status == 403) {
        // Only the refused token goes: a newer sign-in made meanwhile stays.
        account_update([&](Account &a) {
            if (a.access_token == sent) a.access_token.clear();
        });
    }
    return -1;
}

bool auth_validate(bool *unreachable) {
    if (unreachable) *unreachable = false;
    const Account current = account_snapshot();
    if (current.access_token.empty()) return false;
    JsonPtr body = token_body(current);
    Reply r = auth_post("/validate", body.get());
    if (unreachable) *unreachable = r.status == -1;
    return r.status == 200 || r.status == 204;
}

int auth_logout(std::string *err) {
    const Account before = account_snapshot();
    // The token leaves the disk first: when it cannot, it stays valid on the
    // server too, and the player is told they are still signed in.
    std::string token;
    if (account_update(
            [&](Account &a) {
                token = a.access_token.empty() ? before.access_token : a.access_token;
                a.access_token.clear();
                a.uuid.clear();
                a.name.clear();
            },
            err) != 0) {
        account_publish(before);
        return -1;
    }
    if (token.empty()) return 0;
    Account gone = before;
    gone.access_token = token;
    JsonPtr body = token_body(gone);
    Reply r = auth_post("/invalidate", body.get());
    if (r.status != 200 && r.status != 204)
        ui_message("Токен не отозван на сервере (%s): он перестанет действовать сам",
                   auth_error_text(r.status, r.json.get()).c_str());
    return 0;
}
