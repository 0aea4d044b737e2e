// Skins: the address of a signed-in profile's skin image, read from the
// session profile's Base64 "textures" property.
//
// Any thread.
#pragma once

#include <optional>
#include <string>

// Asks the authentication server for the profile of uuid (32 hex digits).
std::optional<std::string> skin_url(const std::string &uuid);
// The skin address in a session profile document; the last "textures" property wins.
std::optional<std::string> skin_url_from_profile(const std::string &profile_json);
// Standard Base64 through OpenSSL's block decoder; none when it is not Base64.
std::optional<std::string> base64_decode(const std::string &text);
