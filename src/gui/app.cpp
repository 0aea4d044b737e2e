// GTK application start-up.
#include "gui/app.h"

#include <cstdio>

int gui_run(int, char **) {
    fprintf(stderr, "Графический интерфейс пока не собран: используйте команды (zyl --help)\n");
    return 1;
}
