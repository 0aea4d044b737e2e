// The account commands as a user runs them: sign in with a password from a
// pipe or a terminal, check the state, sign out; the file left behind.
#include "base/fs.h"
#include "base/json.h"
#include "fakenet/fakenet.h"
#include "fakenet/run_zyl.h"
#include "fakenet/world_auth.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

TEST(AccountCli, PasswordFromATerminalIsNotEchoed) {
    AccountRun a;
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
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
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setsid();
        int slave = open(slave_name.c_str(), O_RDWR);
        dup2(slave, 0);
        dup2(slave, 1);
        dup2(slave, 2);
        execve(ZYL_BINARY, argv.data(), envp.data());
        _exit(127);
    }
    std::string seen;
    read_until(master, "Пароль: ", seen);
    std::string line = std::string(k_auth_password) + "\n";
    ASSERT_EQ(write(master, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    bool closed = read_until(master, "", seen);
    if (!closed) kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    close(master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << seen;
    EXPECT_EQ(seen.find(k_auth_password), std::string::npos) << seen;
    // The typed Enter was not echoed either, so the launcher ends the line itself.
    EXPECT_NE(seen.find("Пароль: \r\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("Вошли как Alex"), std::string::npos) << seen;
}

} // namespace
