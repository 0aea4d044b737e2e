// Switches of the fake authentication server (under net.url("auth")) and the
// fake authlib-injector host (under net.url("authlib_injector")). The state is
// process-wide and reset by every fakenet_start(). An unreachable server is a
// closed port: net.endpoints_env({"auth"}) or fakenet_closed_url().
#pragma once

#include <atomic>
#include <string>

// The one account the server knows.
constexpr const char *k_auth_login = "alex";
constexpr const char *k_auth_password = "secret";
constexpr const char *k_auth_name = "Alex";
// The name a hostile server gives the same profile: terminal controls, a
// carriage return and a direction override around "Alex".
constexpr const char *k_auth_hostile_name = "\033]0;pwned\aAl\033[2J\rex\u202e\u009b31m";
// Sent with hyphens, as some servers do; the launcher stores it without.
constexpr const char *k_auth_id = "0c3b8a6e-5d2f-4f1a-9e7b-2a4c6d8e0f12";
constexpr const char *k_auth_uuid = "0c3b8a6e5d2f4f1a9e7b2a4c6d8e0f12";

struct AuthWorld {
    std::atomic<bool> wrong_password{false};     // every password is refused
    std::atomic<int> expired{0};                 // 401 or 403: every token is refused
    std::atomic<bool> banned{false};             // sign-in answers "banned"
    std::atomic<bool> too_many_requests{false};  // sign-in answers 429
    std::atomic<bool> no_profile{false};         // a token but no game profile
    std::atomic<bool> no_token{false};           // a profile but no token
    std::atomic<bool> jar_no_checksums{false};   // release metadata without "checksums"
    std::atomic<bool> jar_wrong_checksum{false}; // metadata names another SHA-256
    std::atomic<int> passwords_seen{0};          // sign-in requests that carried a password
    std::atomic<bool> hostile_name{false};       // the profile is named k_auth_hostile_name
};

AuthWorld &auth_world();

// The bytes of the agent jar the fake host serves, and the skin image.
const std::string &auth_world_jar();
std::string auth_world_skin_path();
