// The settings page's side that other pages use. Interface thread only.
#pragma once

#include <string>

// The memory scale's value in whole gibibytes.
int settings_page_ram_gb();
// The Java path entry's text.
std::string settings_page_java_path();
// The data-folder change: refused while busy or a game runs, else a folder
// chooser, a question, and the "datadir" worker.
void datadir_change_start();

// Pure piece: the warning beside the memory control when ram_gb is above
// three quarters of the machine's physical memory; empty otherwise.
std::string settings_ram_warning(int ram_gb, long long physical_mb);
