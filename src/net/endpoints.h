// The table of outside base addresses. Every host the launcher talks to is a
// named entry with a default; ZYL_ENDPOINTS ("name=url,name=url") repoints any
// of them, so tests and private mirrors can use a local server.
//
// Any thread: the table is read once and never changed afterwards
// (endpoints_reload is for tests, while no other thread runs).
#pragma once

#include "base/strings.h"

#include <string>
#include <vector>

// The base address of a named endpoint, without a trailing slash ("" for an unknown name).
const std::string &endpoint(const char *name);
// Re-reads ZYL_ENDPOINTS (done once automatically on first use; tests call it again).
void endpoints_reload();
// True when url starts with one of the six Mojang bases followed by "/".
bool is_mojang_host(const std::string &url);
// The account server: ZYL_AUTH_SERVER when set and non-empty, else the
// "auth" endpoint; no trailing "/".
std::string auth_server_base();
// Every address of the table (with its override) and the account server:
// the hosts a request may go to even on this machine or a private network.
StrList endpoints_configured();
// True when url (http or https) lies under one of the named endpoints: the
// base followed by "/". The file hosts a pack format allows, for example.
bool endpoint_url_under(const std::string &url, const std::vector<const char *> &names);
// The host (with its port, when given) of an http(s) address, as written
// ("https://host:port/path" gives "host:port"); "" for none.
std::string url_host(const std::string &url);
