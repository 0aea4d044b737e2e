// zyl: the console tool and, without a command, the desktop application.
#include "cli/commands.h"

int main(int argc, char **argv) {
    return cli_main(argc, argv);
}
