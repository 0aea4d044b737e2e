// Process entry and command dispatch. Each handler lives with the commands of
// its area (cmd_*.cpp); this file only prepares the run and picks one.
#include "cli/commands.h"

#include "account/account.h"
#include "base/ui.h"
#include "base/version.h"
#include "cli/cmd_account.h"
#include "cli/cmd_content.h"
#include "cli/cmd_install.h"
#include "cli/cmd_instances.h"
#include "cli/cmd_launch.h"
#include "cli/cmd_modpack.h"
#include "cli/cmd_settings.h"
#include "cli/cmd_versions.h"
#include "cli/help.h"
#include "cli/suggest.h"
#include "config/datadir.h"
#include "config/settings.h"
#include "gui/app.h"

#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static int cmd_datadir_handler(const Options &o) {
    return cmd_datadir(o.pos[0], o.globals.move);
}
static int cmd_config_handler(const Options &o) {
    return cmd_config(o.pos[0], o.rest);
}

static const Command k_commands[] = {
    {"datadir", cmd_datadir_handler},
    // zyl config <key> <value...>: a JVM argument list begins with "-"
    {"config", cmd_config_handler, 1},
    {"list", cmd_list},
    {"installed", cmd_installed},
    {"loaders", cmd_loaders},
    {"search", cmd_search},
    {"add", cmd_add},
    {"mods", cmd_mods},
    {"install", cmd_install},
    {"launch", cmd_launch},
    {"uuid", cmd_uuid},
    {"instances", cmd_instances},
    {"create", cmd_create},
    {"delete", cmd_delete},
    // zyl instance set <name> <key> <value...>
    {"instance", cmd_instance, 3},
    {"modpack", cmd_modpack},
    {"export", cmd_export},
    {"login", cmd_login},
    {"logout", cmd_logout},
    {"whoami", cmd_whoami},
};

// The data directory and the stored account, before either front end runs.
static void start_up(const GlobalOptions &g) {
    datadir_resolve(g.data_dir);
    account_load();
    if (g.offline) account_use_set(false);
}

// An unknown command word: one line naming it (with the likely meant
// command, when one is close), then the help.
static int unknown_command(const std::string &word) {
    std::vector<std::string> words = {"help"};
    for (const Command &c : k_commands)
        words.push_back(c.word);
    if (std::optional<std::string> near = suggest_closest(word, words))
        console_err("Неизвестная команда «%s» — может быть, %s?\n", word.c_str(), near->c_str());
    else
        console_err("Неизвестная команда «%s»\n", word.c_str());
    help_print();
    return 2;
}

int cli_main(int argc, char **argv) {
    setlocale(LC_CTYPE, "C.UTF-8");
    std::vector<std::string> args(argv, argv + argc);
    if (args.empty()) args.push_back("zyl");
    Options opts;
    args_remove_globals(args, opts.globals);

    if (args.size() < 2 || args[1] == "gui") {
        start_up(opts.globals);
        std::vector<char *> rest;
        for (std::string &a : args)
            rest.push_back(a.data());
        rest.push_back(nullptr);
        return gui_run(static_cast<int>(args.size()), rest.data());
    }
    const std::string &word = args[1];
    if (word == "-h" || word == "--help" || word == "help") {
        help_print();
        return 0;
    }
    if (word == "-V" || word == "--version") {
        console_out("zyl-launcher %s\n", k_version);
        return 0;
    }
    start_up(opts.globals);
    console_hooks_install();
    // The progress line gets its newline however the command ends.
    atexit(console_progress_end);
    settings_load();

    opts.nick = g_settings.nick;
    // ram_gb is positive after loading; a huge one must not overflow.
    opts.ram_mb = g_settings.ram_gb > INT_MAX / 1024 ? INT_MAX : g_settings.ram_gb * 1024;
    const Command *command = nullptr;
    for (const Command &c : k_commands)
        if (word == c.word) command = &c;
    std::string err;
    if (options_parse(args, opts, err, command ? command->rest_after : 0) != 0) {
        console_err("%s\n", err.c_str());
        return 2;
    }
    if (opts.help) {
        help_print();
        return 0;
    }
    return command ? command->handler(opts) : unknown_command(word);
}
