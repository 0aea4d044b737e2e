// Standalone fake network, for pointing a real zyl at it by hand:
//   fakenet_server   then   export ZYL_ENDPOINTS=<printed value>
#include "fakenet/fakenet.h"
#include "fakenet/world_modpack.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

int main() {
    FakeNetPtr net = fakenet_start();
    world_modpack_publish(*net); // the catalogue's modpacks can be installed
    printf("ZYL_ENDPOINTS=%s\n", net->endpoints_env().c_str());
    fflush(stdout);
    pause();
    return 0;
}
