// The table of outside base addresses. Every host the launcher talks to is a
// named entry with a default; ZYL_ENDPOINTS ("name=url,name=url") repoints any
// of them, so tests and private mirrors can use a local server.
//
// Any thread: the table is read once and never changed afterwards
// (endpoints_reload is for tests, while no other thread runs).
#pragma once

#include <string>

// The base address of a named endpoint, without a trailing slash ("" for an unknown name).
const std::string &endpoint(const char *name);
// Re-reads ZYL_ENDPOINTS (done once automatically on first use; tests call it again).
void endpoints_reload();
// True when url starts with one of the six Mojang bases followed by "/".
bool is_mojang_host(const std::string &url);
