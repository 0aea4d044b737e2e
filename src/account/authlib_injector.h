// authlib-injector: the Java agent that points the game's authentication and
// skin lookups at our account server. A verified copy lives in the data folder.
#pragma once

#include <optional>
#include <string>

// "<data>/authlib-injector.jar".
std::string authlib_injector_path();
// The agent jar's path, downloading the latest release when it is missing;
// none (after a message) when it cannot be had.
std::optional<std::string> authlib_injector_ensure();
