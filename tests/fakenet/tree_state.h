// Test support: what a folder tree holds, to compare a tree before and after
// an operation that must keep it whole (or reproduce it elsewhere).
#pragma once

#include <map>
#include <string>

// Each entry below root by its relative path: "d 755" for a folder,
// "f 600 <bytes>" for a file (a digest of more than 64 bytes), "l <target>" for a symlink. Missing: empty.
std::map<std::string, std::string> tree_state(const std::string &root);
