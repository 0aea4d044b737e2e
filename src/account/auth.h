// Client of the Yggdrasil-style authentication server: sign in, refresh,
// validate and sign out, with the server's errors turned into Russian texts.
//
// Any thread: each request works from a snapshot of the account, and a new
// session is published through account_update (so a refresh on the launch
// worker and a sign-in on the account page take turns on account.json).
// Refreshes of one process run one at a time, each with the token the one
// before left.
#pragma once

#include <cjson/cJSON.h>
#include <string>

// Signs in and stores the session (the password is sent once, never kept). 0 or -1 with err.
int auth_login(const std::string &login, const std::string &password, std::string *err);
// Exchanges the stored token for a fresh one; 401 and 403 drop the token. 0 or -1 with err.
int auth_refresh(std::string *err);
// True when the server accepts the stored token; unreachable (when given)
// tells a server that could not be asked from one that refused.
bool auth_validate(bool *unreachable = nullptr);
// Forgets the session in account.json, then invalidates its token on the
// server. 0 when signed out (a server that did not take the invalidation is
// told through UiHooks: the token then expires there by itself); -1 when
// account.json could not be written, with err naming the cause, and the
// session kept, here and on the server.
int auth_logout(std::string *err = nullptr);

// The user-facing reason of a failed request: status -1 when no connection
// was made; reply is the parsed answer or null.
std::string auth_error_text(long status, const cJSON *reply);
