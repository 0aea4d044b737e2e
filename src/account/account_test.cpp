// account.json: what load keeps and drops, the client-token rule, member
// order and the file mode that keeps the token private.
#include "account/account.h"

#include "account/account_test_env.h"
#include "base/fs.h"
#include "base/json.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

bool is_v4_hex(const std::string &t) {
    if (t.size() != 32) return false;
    for (char c : t) {
        if (!isdigit(static_cast<unsigned char>(c)) && (c < 'a' || c > 'f')) return false;
    }
    return t[12] == '4' && std::string("89ab").find(t[16]) != std::string::npos;
}

unsigned file_mode(const std::string &path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 0777;
}

TEST(Account, ClientTokenIsVersion4Hex) {
    std::string a = client_token_new(), b = client_token_new();
    EXPECT_TRUE(is_v4_hex(a)) << a;
    EXPECT_TRUE(is_v4_hex(b)) << b;
    EXPECT_NE(a, b);
}

TEST(Account, LoadKeepsWhatTheFileSays) {
    const std::string tok = "0123456789abcdef0123456789abcdef";
    struct Case {
        const char *what;
        std::string file; // "" for no file at all
        std::string username, name, uuid, access_token;
        bool new_client_token;
    } cases[] = {
        {"signed in",
         R"({"type":"drasl","username":"alex","name":"Alex","uuid":"u1",
          "accessToken":"t1","clientToken":")" +
             tok + R"("})",
         "alex", "Alex", "u1", "t1", false},
        {"name falls back to the login",
         R"({"type":"drasl","username":"alex","uuid":"u1",
          "accessToken":"t1","clientToken":")" +
             tok + R"("})",
         "alex", "alex", "u1", "t1", false},
        {"type none keeps login and client token",
         R"({"type":"none","username":"alex",
          "name":"Alex","uuid":"u1","accessToken":"t1","clientToken":")" +
             tok + R"("})",
         "alex", "", "", "", false},
        {"a token without uuid is no session",
         R"({"type":"drasl","username":"alex",
          "accessToken":"t1","clientToken":")" +
             tok + R"("})",
         "alex", "", "", "", false},
        {"no client token", R"({"type":"none","username":"alex"})", "alex", "", "", "", true},
        {"client token too short", R"({"type":"none","clientToken":"1234567"})", "", "", "", "",
         true},
        {"not JSON", "{broken", "", "", "", "", true},
        {"no file", "", "", "", "", "", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        AccountTestEnv env;
        Account left{};
        left.access_token = "left over from before";
        account_publish(left);
        if (!c.file.empty()) {
            ASSERT_EQ(fs_write_atomic(account_path(), c.file), 0);
        }
        account_load();
        const Account loaded = account_snapshot();
        EXPECT_EQ(loaded.username, c.username);
        EXPECT_EQ(loaded.name, c.name);
        EXPECT_EQ(loaded.uuid, c.uuid);
        EXPECT_EQ(loaded.access_token, c.access_token);
        if (c.new_client_token) {
            EXPECT_TRUE(is_v4_hex(loaded.client_token)) << loaded.client_token;
            // Written back at once, so the token survives the run.
            JsonPtr j = json_read_file(account_path());
            ASSERT_TRUE(j);
            EXPECT_EQ(json_str(j.get(), "clientToken"), loaded.client_token);
            EXPECT_EQ(file_mode(account_path()), 0600u);
        } else {
            EXPECT_EQ(loaded.client_token, tok);
        }
    }
}

TEST(Account, SaveWritesMembersInOrderAndPrivately) {
    AccountTestEnv env;
    // A world-readable file from an older version must not stay that way.
    ASSERT_EQ(fs_write_atomic(account_path(), std::string("{}")), 0);
    mode_t old = umask(0);
    account_publish({"alex", "Alex", "u1", "t1", "c1c1c1c1c1c1c1c1"});
    int rc = account_save();
    umask(old);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(file_mode(account_path()), 0600u);
    JsonPtr j = json_read_file(account_path());
    ASSERT_TRUE(j);
    std::vector<std::string> keys;
    for (cJSON *m = j->child; m; m = m->next)
        keys.push_back(m->string);
    EXPECT_EQ(keys, (std::vector<std::string>{"type", "username", "name", "uuid", "accessToken",
                                              "clientToken", "server"}));
    EXPECT_EQ(json_str(j.get(), "type"), "drasl");
    EXPECT_EQ(json_str(j.get(), "server"), env.url("auth"));
    EXPECT_NE(fs_read_all(account_path())->find("\n\t"), std::string::npos); // indented

    account_publish({"alex", "", "", "", "c1c1c1c1c1c1c1c1"});
    ASSERT_EQ(account_save(), 0);
    j = json_read_file(account_path());
    keys.clear();
    for (cJSON *m = j->child; m; m = m->next)
        keys.push_back(m->string);
    EXPECT_EQ(keys, (std::vector<std::string>{"type", "username", "clientToken", "server"}));
    EXPECT_EQ(json_str(j.get(), "type"), "none");
}

TEST(Account, ActiveNeedsTheFlagAndTheWholeSession) {
    AccountTestEnv env;
    const Account whole = {"alex", "Alex", "u1", "t1", "c"};
    account_publish(whole);
    EXPECT_TRUE(account_active());
    account_use_set(false);
    EXPECT_FALSE(account_active());
    account_use_set(true);
    for (std::string Account::*m : {&Account::name, &Account::uuid, &Account::access_token}) {
        Account part = whole;
        part.*m = "";
        EXPECT_FALSE(account_active(part));
    }
}

TEST(Account, ServerBaseFromEnvironmentOrEndpoint) {
    AccountTestEnv env;
    EXPECT_EQ(auth_server_base(), env.url("auth"));
    setenv("ZYL_AUTH_SERVER", "", 1);
    EXPECT_EQ(auth_server_base(), env.url("auth"));
    setenv("ZYL_AUTH_SERVER", "https://auth.example/api/", 1);
    EXPECT_EQ(auth_server_base(), "https://auth.example/api");
    unsetenv("ZYL_AUTH_SERVER");
    EXPECT_EQ(auth_registration_url(), env.net->base() + "/web/registration");
}

} // namespace
