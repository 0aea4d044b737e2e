// Console side of the account: signing in with a password that is read
// without echo and never kept, signing out, and the account state.
#include "cli/cmd_account.h"

#include "account/account.h"
#include "account/auth.h"
#include "config/settings.h"

#include <cstdio>
#include <cstring>
#include <openssl/crypto.h>
#include <termios.h>
#include <unistd.h>

// One line from standard input; echo is off while a terminal is read.
static std::string password_read() {
    fprintf(stderr, "Пароль: ");
    fflush(stderr);
    char buf[512] = {0};
    termios saved;
    bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    if (!fgets(buf, sizeof buf, stdin)) buf[0] = '\0';
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        fprintf(stderr, "\n");
    }
    buf[strcspn(buf, "\r\n")] = '\0';
    std::string password = buf;
    OPENSSL_cleanse(buf, sizeof buf);
    return password;
}

int cmd_login(const Options &opts) {
    if (!opts.pos[0]) {
        printf("zyl login <логин>   (пароль спросит без отображения; регистрация: %s)\n",
               auth_registration_url().c_str());
        return 2;
    }
    std::string password = password_read();
    std::string err;
    int rc = auth_login(*opts.pos[0], password, &err);
    OPENSSL_cleanse(password.data(), password.size());
    if (rc != 0) {
        fprintf(stderr, "Вход не удался: %s\n", err.empty() ? "?" : err.c_str());
        return 1;
    }
    printf("Вошли как %s (UUID %s). Игра будет запускаться с этим аккаунтом; офлайн: --offline\n",
           g_account.name.c_str(), g_account.uuid.c_str());
    return 0;
}

int cmd_logout(const Options &) {
    if (g_account.access_token.empty()) {
        printf("Вы и так не вошли\n");
        return 0;
    }
    std::string name = g_account.name.empty() ? "?" : g_account.name;
    if (auth_logout() != 0) {
        // The token would still be on disk while the user believes it gone.
        fprintf(stderr, "Не удалось записать %s\n", account_path().c_str());
        return 1;
    }
    printf("Вышли из аккаунта %s\n", name.c_str());
    return 0;
}

int cmd_whoami(const Options &) {
    if (g_account.access_token.empty()) {
        printf("Офлайн, ник: %s (войти: zyl login <логин>)\n", g_settings.nick.c_str());
        return 1;
    }
    bool valid = auth_validate();
    printf("%s (UUID %s), сервер %s, токен %s\n", g_account.name.c_str(), g_account.uuid.c_str(),
           auth_server_base().c_str(),
           valid ? "действителен" : "истёк — обновится при запуске или войдите заново");
    return 0;
}
