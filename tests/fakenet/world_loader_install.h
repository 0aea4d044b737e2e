// Fake-network loader builds (see world_loader_install.cpp for what is served).
#pragma once

#include <string>

// Bytes served for a loader library at a Maven path (a small jar naming the path).
std::string world_loader_library_jar(const std::string &path);
