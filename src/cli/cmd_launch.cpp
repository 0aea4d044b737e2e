// Console side of starting the game from a version or profile id, and of
// printing an offline UUID.
#include "cli/cmd_launch.h"

#include "base/proc.h"
#include "base/ui.h"
#include "cli/cmd_install.h"
#include "cli/help.h"
#include "game/launch.h"
#include "instances/instance.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

int launch_output_pump(int pid, int read_fd) {
    console_progress_end();
    console_err("PID игры: %d\n", pid);
    char buf[8192];
    std::string carry;
    for (;;) {
        ssize_t n = read(read_fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        bool end = n <= 0;
        // A chat line from a server reaches the player's terminal shown, not obeyed.
        std::string shown = console_stream_text(carry, buf, end ? 0 : static_cast<size_t>(n), end);
        fwrite(shown.data(), 1, shown.size(), stdout);
        fflush(stdout);
        if (end) break;
    }
    close(read_fd);
    // The game may close its output and go on running: wait for the real end.
    int code = proc_wait(pid);
    console_err("Игра завершилась с кодом %d\n", code);
    return code;
}

// "launch --instance <name>" without a version.
static int launch_instance(const Options &opts) {
    std::optional<Instance> inst = instance_find(*opts.instance);
    if (!inst) {
        console_err("Сборка «%s» не найдена (zyl instances)\n", opts.instance->c_str());
        return 1;
    }
    // What the command line names for this run wins over the instance's own
    // settings (and is not saved as them).
    if (opts.ram_given) inst->ram_mb = opts.ram_mb;
    if (opts.server) inst->server = opts.server;
    int pid = 0, fd = -1;
    if (instance_prepare_launch(*inst, opts.nick, opts.ram_mb, opts.server, &pid, &fd) != 0)
        return 1;
    return launch_output_pump(pid, fd);
}

int cmd_launch(const Options &opts) {
    if (!opts.pos[0]) {
        if (opts.instance) return launch_instance(opts);
        help_print();
        return 2;
    }
    std::optional<std::string> id = cli_install_step(opts, true);
    if (!id) return 1;
    int pid = 0, fd = -1;
    if (launch_version(*id, opts.nick, opts.ram_mb, opts.server, opts.instance, &pid, &fd) != 0)
        return 1;
    return launch_output_pump(pid, fd);
}

int cmd_uuid(const Options &opts) {
    console_out("%s\n", offline_uuid(opts.pos[0] ? *opts.pos[0] : opts.nick).c_str());
    return 0;
}
