// The stored sign-in: the account record, "account.json", the client token,
// the authentication server's address and whether launches use the account.
//
// One writer at a time, many readers through snapshots: any thread reads a
// copy (account_snapshot), and a new record is published only by
// account_publish, which account_load and account_update call (the latter
// under account.json's lock, so threads and processes take turns). The
// use-account flag is an atomic value any thread may read or set.
#pragma once

#include "net/endpoints.h" // auth_server_base

#include <functional>
#include <string>

// One signed-in (or signed-out) account. An empty member means "absent".
struct Account {
    std::string username;     // the login the user typed
    std::string name;         // game profile name
    std::string uuid;         // profile id, 32 hex digits without hyphens
    std::string access_token; // session token; empty when signed out
    std::string client_token; // this installation's token, 32 lowercase hex digits
};

// A copy of the record in force.
Account account_snapshot();
// Makes a the record in force (account_load and account_update call it).
void account_publish(const Account &a);

// Whether launches use the account: on at start, cleared by the global option
// "--offline", set or cleared by the interface's account switch.
bool account_use();
void account_use_set(bool use);

// Reads account.json from the data directory; creates and saves a client
// token when the file has none.
void account_load();
// Writes the record in force to account.json (mode 0600: it holds the session
// token). 0 or -1.
int account_save();
// Applies change to the record as account.json holds it now (under the
// file's lock, so a sign-in or sign-out another process made meanwhile is not
// lost), makes the result the process's record and writes it: 0, or -1 with
// err (optional) naming the file and the cause. A file without a client
// token keeps the process's.
int account_update(const std::function<void(Account &)> &change, std::string *err = nullptr);
// "<data>/account.json".
std::string account_path();
// True when the flag is on and token, UUID and profile name are all known.
bool account_active();
// The same for a copy taken earlier.
bool account_active(const Account &a);
// The registration page of the default authentication server.
std::string auth_registration_url();

// 16 random bytes shaped as a version-4 UUID, as 32 lowercase hex digits.
std::string client_token_new();
