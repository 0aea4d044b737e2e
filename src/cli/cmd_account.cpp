// Console side of the account: signing in with a password that is read
// without echo and never kept, signing out, and the account state.
#include "cli/cmd_account.h"

#include "account/account.h"
#include "account/auth.h"
#include "base/ui.h"
#include "config/settings.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <openssl/crypto.h>
#include <termios.h>
#include <unistd.h>

// The terminal's mode while the password is typed. Echo goes off before the
// prompt appears, so nothing typed after the prompt is ever shown, and the mode
// changes with TCSANOW: a password typed or pasted early stays in the input
// queue instead of being thrown away. The previous mode comes back on every
// way out, Ctrl-C and termination signals included (the signal handler
// restores it, then the signal ends the process as it would have).
static termios g_tty_saved;
static volatile sig_atomic_t g_tty_quiet = 0;

static const int k_tty_signals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};

static void tty_restore_and_die(int sig) {
    if (g_tty_quiet) {
        tcsetattr(STDIN_FILENO, TCSANOW, &g_tty_saved);
        ssize_t ignored = write(STDERR_FILENO, "\n", 1);
        (void)ignored;
    }
    signal(sig, SIG_DFL);
    raise(sig);
}

struct QuietTerminal {
    bool active = false;
    struct sigaction previous[std::size(k_tty_signals)];

    QuietTerminal() {
        if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &g_tty_saved) != 0) return;
        active = true;
        struct sigaction sa {};
        sa.sa_handler = tty_restore_and_die;
        sigemptyset(&sa.sa_mask);
        for (size_t i = 0; i < std::size(k_tty_signals); i++)
            sigaction(k_tty_signals[i], &sa, &previous[i]);
        g_tty_quiet = 1;
        termios quiet = g_tty_saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    ~QuietTerminal() {
        if (!active) return;
        tcsetattr(STDIN_FILENO, TCSANOW, &g_tty_saved);
        g_tty_quiet = 0;
        for (size_t i = 0; i < std::size(k_tty_signals); i++)
            sigaction(k_tty_signals[i], &previous[i], nullptr);
        console_err("\n"); // the user's Enter was not echoed
    }
    QuietTerminal(const QuietTerminal &) = delete;
    QuietTerminal &operator=(const QuietTerminal &) = delete;
};

// One line from standard input, at most 511 bytes, cut at CR or LF; a failed
// read is an empty password.
static std::string password_read() {
    char buf[512] = {0};
    {
        QuietTerminal quiet;
        console_err("Пароль: ");
        fflush(stderr);
        if (!fgets(buf, sizeof buf, stdin)) buf[0] = '\0';
    }
    buf[strcspn(buf, "\r\n")] = '\0';
    std::string password = buf;
    OPENSSL_cleanse(buf, sizeof buf);
    return password;
}

int cmd_login(const Options &opts) {
    if (!opts.pos[0]) {
        console_out("zyl login <логин>   (пароль спросит без отображения; регистрация: %s)\n",
                    auth_registration_url().c_str());
        return 2;
    }
    std::string password = password_read();
    std::string err;
    int rc = auth_login(*opts.pos[0], password, &err);
    OPENSSL_cleanse(password.data(), password.size());
    if (rc != 0) {
        console_err("Вход не удался: %s\n", err.empty() ? "?" : err.c_str());
        return 1;
    }
    const Account a = account_snapshot();
    console_out(
        "Вошли как %s (UUID %s). Игра будет запускаться с этим аккаунтом; офлайн: --offline\n",
        a.name.c_str(), a.uuid.c_str());
    return 0;
}

int cmd_logout(const Options &) {
    const Account a = account_snapshot();
    if (a.access_token.empty()) {
        console_out("Вы и так не вошли\n");
        return 0;
    }
    std::string name = a.name.empty() ? "?" : a.name;
    std::string err;
    if (auth_logout(&err) != 0) {
        console_err("%s — вы по-прежнему вошли как %s\n", err.c_str(), name.c_str());
        return 1;
    }
    console_out("Вышли из аккаунта %s\n", name.c_str());
    return 0;
}

int cmd_whoami(const Options &) {
    const Account a = account_snapshot();
    if (a.access_token.empty()) {
        console_out("Офлайн, ник: %s (войти: zyl login <логин>)\n", g_settings.nick.c_str());
        return 1;
    }
    bool unreachable = false;
    bool valid = auth_validate(&unreachable);
    // A server that cannot be reached says nothing about the token.
    std::string state = valid         ? "действителен"
                        : unreachable ? "не проверен — " + auth_error_text(-1, nullptr) +
                                            " (играть без аккаунта: --offline)"
                                      : "истёк — обновится при запуске или войдите заново";
    console_out("%s (UUID %s), сервер %s, токен %s\n", a.name.c_str(), a.uuid.c_str(),
                auth_server_base().c_str(), state.c_str());
    return 0;
}
