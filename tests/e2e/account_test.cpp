// The account commands as a user runs them: sign in with a password from a
// pipe or a terminal, check the state, sign out; the file left behind.
#include "base/fs.h"
#include "base/json.h"
#include "fakenet/fakenet.h"
#include "fakenet/run_zyl.h"
#include "fakenet/world_auth.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct AccountRun {
    FakeNetPtr net = fakenet_start();
    TempDir tmp;
    std::string data = tmp.path + "/d";
    std::map<std::string, std::string> env = {
        {"ZYL_ENDPOINTS", net->endpoints_env()}, {"ZYL_API", ""}, {"ZYL_AUTH_SERVER", ""}};

    ZylRun zyl(std::vector<std::string> args, const std::string &in = "") {
        args.insert(args.begin(), {"--data-dir", data});
        return run_zyl(args, env, in);
    }
    std::string account_file() { return fs_read_all(data + "/account.json").value_or(""); }
};

const std::string k_signed_in = std::string("Вошли как Alex (UUID ") + k_auth_uuid +
                                "). Игра будет запускаться с этим аккаунтом; офлайн: --offline\n";

TEST(AccountCli, LoginWhoamiLogout) {
    AccountRun a;
    ZylRun r = a.zyl({"login", k_auth_login}, std::string(k_auth_password) + "\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, k_signed_in);
    // From a pipe: the prompt, no newline of its own, never the password.
    EXPECT_EQ(r.err, "Пароль: Вход выполнен: Alex\n");

    std::string file = a.account_file();
    EXPECT_EQ(file.find(k_auth_password), std::string::npos);
    EXPECT_NE(file.find("\"accessToken\""), std::string::npos);
    struct stat st {};
    ASSERT_EQ(stat((a.data + "/account.json").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    r = a.zyl({"whoami"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, std::string("Alex (UUID ") + k_auth_uuid + "), сервер " + a.net->url("auth") +
                         ", токен действителен\n");
    auth_world().expired = 401;
    r = a.zyl({"whoami"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find(", токен истёк — обновится при запуске или войдите заново\n"),
              std::string::npos)
        << r.out;
    auth_world().expired = 0;
    // A server that cannot be reached proves nothing about the token.
    a.env["ZYL_ENDPOINTS"] = a.net->endpoints_env({"auth"});
    r = a.zyl({"whoami"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find(", токен не проверен — Нет связи с сервером "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("(играть без аккаунта: --offline)\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("истёк"), std::string::npos) << r.out;
    a.env["ZYL_ENDPOINTS"] = a.net->endpoints_env();

    r = a.zyl({"logout"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Вышли из аккаунта Alex\n");
    EXPECT_EQ(a.net->hits("/auth/invalidate"), 1);
    file = a.account_file();
    EXPECT_EQ(file.find("accessToken"), std::string::npos);
    EXPECT_NE(file.find("\"username\":\t\"alex\""), std::string::npos) << file;

    r = a.zyl({"whoami"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "Офлайн, ник: Player (войти: zyl login <логин>)\n");
    r = a.zyl({"logout"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Вы и так не вошли\n");
    EXPECT_EQ(a.net->hits("/auth/invalidate"), 1);
}

// account.json that cannot be written (a full disk): the cause is named, and
// the account stays as it was in both places: a sign-in is not kept, and a
// sign-out does not invalidate a token that stays on disk.
TEST(AccountCli, AccountFileThatCannotBeWritten) {
    AccountRun a;
    const std::string cause =
        "Не удалось записать " + a.data + "/account.json: " + fs_error_text(EFBIG);
    ASSERT_EQ(a.zyl({"whoami"}).code, 1); // account.json with this installation's token
    ZylRun r = run_zyl({"--data-dir", a.data, "login", k_auth_login}, a.env,
                       std::string(k_auth_password) + "\n", 64);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Пароль: Вход не удался: " + cause + "\n");
    EXPECT_EQ(a.account_file().find("accessToken"), std::string::npos);

    ASSERT_EQ(a.zyl({"login", k_auth_login}, std::string(k_auth_password) + "\n").code, 0);
    r = run_zyl({"--data-dir", a.data, "logout"}, a.env, "", 64);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, cause + " — вы по-прежнему вошли как Alex\n");
    EXPECT_EQ(a.net->hits("/auth/invalidate"), 0);
    r = a.zyl({"whoami"});
    EXPECT_NE(r.out.find(", токен действителен\n"), std::string::npos) << r.out;

    // A sign-out the server cannot hear still signs out here, and says so.
    a.env["ZYL_ENDPOINTS"] = a.net->endpoints_env({"auth"});
    r = a.zyl({"logout"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Вышли из аккаунта Alex\n");
    EXPECT_NE(r.err.find("Токен не отозван на сервере (Нет связи с сервером "), std::string::npos)
        << r.err;
    EXPECT_EQ(a.account_file().find("accessToken"), std::string::npos);
}

TEST(AccountCli, LoginFailures) {
    AccountRun a;
    ZylRun r = a.zyl({"login"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "zyl login <логин>   (пароль спросит без отображения; регистрация: " +
                         a.net->base() + "/web/registration)\n");

    r = a.zyl({"login", k_auth_login}, "wrong\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Пароль: Вход не удался: Неверный логин или пароль\n");
    EXPECT_EQ(a.account_file().find("accessToken"), std::string::npos);

    // A password line ending in CR LF (a Windows-made file) still signs in.
    r = a.zyl({"login", k_auth_login}, std::string(k_auth_password) + "\r\n");
    EXPECT_EQ(r.code, 0) << r.err;
    a.zyl({"logout"});

    // No input at all is an empty password, refused by the server.
    r = a.zyl({"login", k_auth_login});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Пароль: Вход не удался: Неверный логин или пароль\n");

    a.env["ZYL_ENDPOINTS"] = a.net->endpoints_env({"auth"});
    r = a.zyl({"login", k_auth_login}, "secret\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Вход не удался: Нет связи с сервером http://127.0.0.1:"),
              std::string::npos)
        << r.err;

    // ZYL_AUTH_SERVER wins over the endpoint table and is recorded in the file.
    a.env["ZYL_AUTH_SERVER"] = a.net->url("auth") + "/";
    r = a.zyl({"login", k_auth_login}, "secret\n");
    EXPECT_EQ(r.code, 0) << r.err;
    JsonPtr j = json_parse(a.account_file());
    EXPECT_EQ(json_str(j.get(), "server"), a.net->url("auth"));
}

TEST(AccountCli, OfflineFlagDoesNotSignOut) {
    AccountRun a;
    ASSERT_EQ(a.zyl({"login", k_auth_login}, "secret\n").code, 0);
    ZylRun r = a.zyl({"whoami", "--offline"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(a.account_file().find("accessToken"), std::string::npos);
}

// Reads from the terminal's master side until needle shows up (or, with an
// empty needle, until the child closed the terminal). False when the bound passed.
bool read_until(int fd, const std::string &needle, std::string &seen) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    char buf[4096];
    while (needle.empty() || seen.find(needle) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) return needle.empty();
        seen.append(buf, static_cast<size_t>(n));
    }
    return true;
}

// zyl login running on a fresh pseudo-terminal as its controlling terminal.
struct TerminalLogin {
    int master = -1;
    pid_t pid = -1;
    std::string seen; // everything the terminal showed

    explicit TerminalLogin(AccountRun &a) {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
        std::string slave_name = ptsname(master);
        std::vector<std::string> env_s;
        for (char **e = environ; *e; e++) {
            std::string kv = *e;
            std::string key = kv.substr(0, kv.find('='));
            if (!a.env.count(key)) env_s.push_back(kv);
        }
        for (const auto &[k, v] : a.env)
            if (!v.empty()) env_s.push_back(k + "=" + v);
        // Everything the child needs is built before fork: it may not allocate.
        std::vector<char *> argv = {
            const_cast<char *>(ZYL_BINARY), const_cast<char *>("--data-dir"), a.data.data(),
            const_cast<char *>("login"),    const_cast<char *>(k_auth_login), nullptr};
        std::vector<char *> envp;
        for (auto &e : env_s)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        pid = fork();
        if (pid == 0) {
            setsid();
            int slave = open(slave_name.c_str(), O_RDWR);
            dup2(slave, 0);
            dup2(slave, 1);
            dup2(slave, 2);
            execve(ZYL_BINARY, argv.data(), envp.data());
            _exit(127);
        }
    }
    ~TerminalLogin() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (master >= 0) close(master);
    }
    bool type(const std::string &keys) {
        return write(master, keys.data(), keys.size()) == static_cast<ssize_t>(keys.size());
    }
    // The terminal's local modes as the program on it set them.
    tcflag_t lflag() {
        termios t{};
        return tcgetattr(master, &t) == 0 ? t.c_lflag : 0;
    }
    // Waits for the program to end (bounded) and gives its wait status.
    int finish() {
        bool closed = read_until(master, "", seen);
        if (!closed) kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return status;
    }
};

// The password reaches the launcher whenever it is typed, is never shown once
// the prompt is up, and the terminal gets its echo back however the prompt ends.
TEST(AccountCli, PasswordOnATerminal) {
    enum When { BeforeStart, AfterPrompt };
    struct Case {
        const char *what;
        When when;
        std::string keys;
        int exit_code; // -1: ended by the signal below
        int signal;
    };
    const std::string password = std::string(k_auth_password) + "\n";
    const Case cases[] = {
        // Typed ahead before the launcher even runs: the terminal itself has
        // echoed it by then, but switching echo off must not throw it away.
        {"typed ahead", BeforeStart, password, 0, 0},
        {"typed at the prompt", AfterPrompt, password, 0, 0},
        {"Ctrl-C at the prompt", AfterPrompt, "\x03", -1, SIGINT},
        {"Ctrl-D at the prompt", AfterPrompt, "\x04", 1, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        AccountRun a;
        TerminalLogin t(a);
        ASSERT_GE(t.master, 0);
        ASSERT_GT(t.pid, 0);
        ASSERT_TRUE(t.lflag() & ECHO);
        if (c.when == BeforeStart) {
            ASSERT_TRUE(t.type(c.keys));
        }
        ASSERT_TRUE(read_until(t.master, "Пароль: ", t.seen)) << t.seen;
        if (c.when == AfterPrompt) {
            // Echo was already off when the prompt appeared.
            EXPECT_FALSE(t.lflag() & ECHO);
            ASSERT_TRUE(t.type(c.keys));
        }
        int status = t.finish();
        if (c.exit_code >= 0) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.exit_code) << status << "\n"
                                                                                 << t.seen;
        } else {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << status;
        }
        EXPECT_TRUE(t.lflag() & ECHO) << "echo not restored";
        std::string after_prompt = t.seen.substr(t.seen.find("Пароль: "));
        EXPECT_EQ(after_prompt.find(k_auth_password), std::string::npos) << t.seen;
        if (c.exit_code == 0) {
            // The Enter was not echoed either, so the launcher ends the line itself.
            EXPECT_EQ(after_prompt.rfind("Пароль: \r\n", 0), 0u) << t.seen;
            EXPECT_NE(t.seen.find("Вошли как Alex"), std::string::npos) << t.seen;
        }
    }
}

} // namespace
