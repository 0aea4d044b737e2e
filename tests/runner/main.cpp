// The main of the unit and end-to-end test binaries.
#include "runner/runner.h"

int main(int argc, char **argv) {
    return runner_run(argc, argv);
}
