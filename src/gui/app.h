// The GTK desktop application.
#pragma once

// Runs the interface with the remaining arguments; ends the process itself.
int gui_run(int argc, char **argv);
