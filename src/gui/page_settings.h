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

// The warning beside a memory control set to ram_mb MiB on this machine
// (see settings_ram_warning); empty when there is none.
std::string settings_ram_warning_here(long long ram_mb);

// Pure piece: the warning beside a memory control when ram_mb is above three
// quarters of the machine's physical memory; empty otherwise.
std::string settings_ram_warning(long long ram_mb, long long physical_mb);
