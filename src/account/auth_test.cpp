// The authentication client against the fake Yggdrasil server: the error
// table, sign-in outcomes, refresh (and the token it drops), validate and
// sign-out.
#include "account/auth.h"

#include "account/account_test_env.h"
#include "base/fs.h"
#include "base/json.h"

#include <atomic>
#include <cerrno>
#include <gtest/gtest.h>
#include <thread>

namespace {

TEST(AuthErrorText, Table) {
    AccountTestEnv env;
    struct Case {
        long status;
        const char *reply; // null: no body
        std::string text;
    } cases[] = {
        {-1, nullptr, "Нет связи с сервером " + env.url("auth")},
        {403, R"({"errorMessage":"Invalid credentials. Invalid username or password."})",
         "Неверный логин или пароль"},
        {403, R"({"errorMessage":"INVALID CREDENTIALS"})", "Неверный логин или пароль"},
        {403, R"({"errorMessage":"Invalid token."})", "Сессия истекла"},
        {429, R"({"errorMessage":"Too many requests, slow down"})",
         "Слишком много попыток, подождите минуту"},
        {403, R"({"errorMessage":"This user is BANNED forever"})", "Аккаунт заблокирован"},
        // First key of the table wins when several occur.
        {403, R"({"errorMessage":"banned: Invalid token"})", "Сессия истекла"},
        {403, R"({"errorMessage":"Something else","error":"E"})", "Something else"},
        {400, R"({"errorMessage":"","error":"IllegalArgumentException"})",
         "IllegalArgumentException"},
        {403, R"({"error":"ForbiddenOperationException"})", "ForbiddenOperationException"},
        {403, nullptr, "Сервер авторизации ответил кодом 403"},
        {500, R"({"errorMessage":42})", "Сервер авторизации ответил кодом 500"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.reply ? c.reply : "(no body)");
        JsonPtr reply = c.reply ? json_parse(c.reply) : nullptr;
        EXPECT_EQ(auth_error_text(c.status, reply.get()), c.text);
    }
}

TEST(AuthLogin, StoresTheProfileAndNeverThePassword) {
    AccountTestEnv env;
    account_load();
    std::string client = account_snapshot().client_token;
    std::string err;
    ASSERT_EQ(auth_login(k_auth_login, k_auth_password, &err), 0) << err;
    EXPECT_EQ(account_snapshot().uuid, k_auth_uuid); // hyphens removed
    EXPECT_EQ(account_snapshot().name, k_auth_name);
    EXPECT_EQ(account_snapshot().username, k_auth_login);
    EXPECT_EQ(account_snapshot().client_token, client);
    EXPECT_FALSE(account_snapshot().access_token.empty());
    EXPECT_TRUE(account_active());
    EXPECT_EQ(env.count_messages("Вход выполнен: Alex"), 1);

    std::string text = *fs_read_all(account_path());
    EXPECT_EQ(text.find(k_auth_password), std::string::npos);
    JsonPtr j = json_parse(text);
    EXPECT_EQ(json_str(j.get(), "accessToken"), account_snapshot().access_token);
    EXPECT_EQ(json_str(j.get(), "uuid"), k_auth_uuid);

    // What was stored is what the next start sees.
    Account signed_in = account_snapshot();
    account_load();
    EXPECT_EQ(account_snapshot().access_token, signed_in.access_token);
    EXPECT_EQ(account_snapshot().name, signed_in.name);
}

TEST(AuthLogin, FailuresLeaveTheAccountAlone) {
    struct Case {
        const char *what;
        std::atomic<bool> AuthWorld::*flag; // null: none
        const char *password;
        bool unreachable;
        std::string text;
    } cases[] = {
        {"wrong password", nullptr, "nope", false, "Неверный логин или пароль"},
        {"wrong password switch", &AuthWorld::wrong_password, k_auth_password, false,
         "Неверный логин или пароль"},
        {"banned", &AuthWorld::banned, k_auth_password, false, "Аккаунт заблокирован"},
        {"too many requests", &AuthWorld::too_many_requests, k_auth_password, false,
         "Слишком много попыток, подождите минуту"},
        {"no profile", &AuthWorld::no_profile, k_auth_password, false,
         "У аккаунта нет игрового профиля (создайте игрока на сайте)"},
        {"no token", &AuthWorld::no_token, k_auth_password, false, "Сервер не вернул accessToken"},
        {"unreachable", nullptr, k_auth_password, true, "Нет связи с сервером "},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        AccountTestEnv env(c.unreachable ? std::vector<std::string>{"auth"}
                                         : std::vector<std::string>{});
        if (c.flag) (auth_world().*c.flag) = true;
        account_load();
        std::string before = *fs_read_all(account_path());
        std::string err;
        EXPECT_EQ(auth_login(k_auth_login, c.password, &err), -1);
        EXPECT_EQ(err.rfind(c.text, 0), 0u) << err;
        EXPECT_FALSE(account_active());
        EXPECT_TRUE(account_snapshot().access_token.empty());
        EXPECT_EQ(*fs_read_all(account_path()), before);
    }
}

TEST(AuthRefresh, NewTokenOnSuccess) {
    AccountTestEnv env;
    std::string err;
    EXPECT_EQ(auth_refresh(&err), -1);
    EXPECT_EQ(err, "Вы не вошли в аккаунт");

    ASSERT_EQ(auth_login(k_auth_login, k_auth_password, &err), 0) << err;
    std::string old = account_snapshot().access_token;
    ASSERT_EQ(auth_refresh(&err), 0) << err;
    EXPECT_NE(account_snapshot().access_token, old);
    EXPECT_EQ(json_str(json_read_file(account_path()).get(), "accessToken"),
              account_snapshot().access_token);
    EXPECT_TRUE(auth_validate());
}

// Launch workers refresh at the same time while the interface reads the
// account: every read is one whole, signed-in session, and the account ends
// with a token the server honours. (Two refreshes sending the same token
// would have the server refuse one, signing the account out meanwhile.)
TEST(AuthRefresh, RefreshesOnSeveralWorkersLeaveOneValidSession) {
    AccountTestEnv env;
    std::string err;
    ASSERT_EQ(auth_login(k_auth_login, k_auth_password, &err), 0) << err;
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!done) {
            Account a = account_snapshot();
            if (a.name != k_auth_name || a.uuid != k_auth_uuid ||
                a.access_token.rfind("fake-access-token-", 0) != 0)
                torn++;
        }
    });
    std::vector<std::thread> workers;
    std::atomic<int> refreshed{0};
    for (int i = 0; i < 4; i++)
        workers.emplace_back([&] { refreshed += auth_refresh(nullptr) == 0; });
    for (std::thread &w : workers)
        w.join();
    done = true;
    reader.join();
    EXPECT_EQ(refreshed.load(), 4); // each refreshed the token the one before left
    EXPECT_EQ(torn.load(), 0);
    EXPECT_TRUE(account_active());
    EXPECT_TRUE(auth_validate());
    EXPECT_EQ(json_str(json_read_file(account_path()).get(), "accessToken"),
              account_snapshot().access_token);
}

TEST(AuthRefresh, RejectedTokenIsDroppedOnlyFor401And403) {
    struct Case {
        const char *what;
        int expired;      // switch of the fake server
        Fault fault;      // on /auth/refresh
        bool unreachable; // the server goes away after sign-in
        bool dropped;
        std::string text;
    } cases[] = {
        {"401", 401, Fault::None, false, true, "Сессия истекла — войдите в аккаунт заново"},
        {"403", 403, Fault::None, false, true, "Сессия истекла — войдите в аккаунт заново"},
        {"500", 0, Fault::ServerError, false, false,
         "Сервер авторизации ответил кодом 500 — войдите в аккаунт заново"},
        {"unreachable", 0, Fault::None, true, false, "Нет связи с сервером "},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        AccountTestEnv env;
        std::string err;
        ASSERT_EQ(auth_login(k_auth_login, k_auth_password, &err), 0) << err;
        std::string token = account_snapshot().access_token;
        auth_world().expired = c.expired;
        env.net->set_fault("/auth/refresh", c.fault);
        if (c.unreachable) setenv("ZYL_AUTH_SERVER", fakenet_closed_url().c_str(), 1);
        EXPECT_EQ(auth_refresh(&err), -1);
        unsetenv("ZYL_AUTH_SERVER");
        EXPECT_EQ(err.rfind(c.text, 0), 0u) << err;
        EXPECT_EQ(account_active(), !c.dropped);
        account_load(); // what the next start sees
        EXPECT_EQ(account_snapshot().access_token, c.dropped ? "" : token);
        EXPECT_EQ(account_snapshot().username, k_auth_login);
    }
}

// Another process signed in again after this one read the account: the
// refusal of this process's old token must not sign that newer session out.
TEST(AuthRefresh, RefusedOldTokenLeavesANewerSignInAlone) {
    AccountTestEnv env;
    std::string err;
    ASSERT_EQ(auth_login(k_auth_login, k_auth_password, &err), 0) << err;
    Account mine = account_snapshot();
    ASSERT_EQ(auth_login(k_auth_login, k_auth_password, &err), 0) << err; // the other process
    std::string newer = account_snapshot().access_token;
    ASSERT_NE(newer, mine.access_token);
    account_publish(mine);
    auth_world().expired = 401;
    EXPECT_EQ(auth_refresh(&err), -1);
    account_load();
    EXPECT_EQ(account_snapshot().access_token, newer);
}

TEST(AuthLogout, InvalidatesAndKeepsLoginAndClientToken) {
    AccountTestEnv env;
    std::string err;
    ASSERT_EQ(auth_login(k_auth_login, k_auth_password, &err), 0) << err;
    std::string client = account_snapshot().client_token;
    Account signed_in = account_snapshot();
    ASSERT_TRUE(auth_validate());
    ASSERT_EQ(auth_logout(), 0);
    EXPECT_EQ(env.net->hits("/auth/invalidate"), 1);
    EXPECT_FALSE(auth_validate());
    // The server forgot the token as well.
    account_publish(signed_in);
    EXPECT_FALSE(auth_validate());

    account_load();
    EXPECT_EQ(account_snapshot().username, k_auth_login);
    EXPECT_EQ(account_snapshot().client_token, client);
    EXPECT_TRUE(account_snapshot().access_token.empty());
    EXPECT_TRUE(account_snapshot().uuid.empty());
    EXPECT_EQ(json_str(json_read_file(account_path()).get(), "type"), "none");

    // Signed out already: nothing is sent.
    ASSERT_EQ(auth_logout(), 0);
    EXPECT_EQ(env.net->hits("/auth/invalidate"), 1);
}

// A session that cannot be written would be gone at the next start (or, on
// sign-out, a token would stay on disk): both report failure.
TEST(AuthLogin, UnwritableAccountFileIsAFailure) {
    AccountTestEnv env;
    account_load();
    ASSERT_EQ(fs_delete(account_path()), 0);
    ASSERT_EQ(fs_mkdirs(account_path() + "/blocker"), 0); // rename cannot replace it
    std::string err;
    EXPECT_EQ(auth_login(k_auth_login, k_auth_password, &err), -1);
    const std::string cause =
        "Не удалось записать " + account_path() + ": " + fs_error_text(EISDIR);
    EXPECT_EQ(err, cause);
    EXPECT_FALSE(account_active());
    EXPECT_EQ(env.count_messages("Вход выполнен"), 0);

    Account with_token = account_snapshot();
    with_token.access_token = "t";
    account_publish(with_token);
    // The token stays, here and on the server: nothing was invalidated.
    EXPECT_EQ(auth_logout(&err), -1);
    EXPECT_EQ(err, cause);
    EXPECT_EQ(account_snapshot().access_token, "t");
    EXPECT_EQ(env.net->hits("/auth/invalidate"), 0);
}

} // namespace
