// authlib-injector: the Java agent that points the game's authentication and
// skin lookups at our account server. A verified copy lives in the data folder.
//
// Any thread; two launches fetching it at once each download to a name of
// their own and the last rename wins.
#pragma once

#include "base/job.h"

#include <optional>
#include <string>

// "<data>/authlib-injector.jar".
std::string authlib_injector_path();
// The agent jar's path, downloading the latest release when it is missing;
// none (after a message) when it cannot be had.
std::optional<std::string> authlib_injector_ensure(const Job *job = nullptr);
