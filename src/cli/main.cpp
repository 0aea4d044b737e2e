// zyl: the console tool and, without a command, the desktop application.
#include "cli/commands.h"
#include "diag/crash.h"
#include "gui/app.h"

#include <cstdlib>

int main(int argc, char **argv) {
    // The crash handler of a dead interface process starts us to show its message.
    if (const char *dir = getenv(k_crash_dialog_env)) return gui_crash_dialog(dir);
    return cli_main(argc, argv);
}
