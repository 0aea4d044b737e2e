// The help text of the console tool.
//
// Pure functions: any thread.
#pragma once

#include <string>

std::string help_text();
// Prints the help text and a newline to standard output.
void help_print();
