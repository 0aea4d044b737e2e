// The user's preferences, persisted as "settings.json" in the data directory.
//
// The record (g_settings) belongs to the front end's thread: the console's
// main thread or the interface thread. Any other thread reads the published
// copy (settings_published), which only settings_load and settings_save
// replace.
#pragma once

#include <optional>
#include <string>

struct Settings {
    std::string nick = "Player";
    std::string server;
    std::string java_path;
    std::string jvm_args;
    std::string curseforge_api_key;
    std::string last_instance;
    std::string renderer = "auto";
    std::string auth_mode;
    std::string api_url;
    int ram_gb = 4;
    int width = 1280;
    int height = 720;
    bool close_on_play = false;
};

// The values the renderer setting takes, in the order the interface offers them.
inline constexpr const char *k_renderer_values[4] = {"auto", "gl", "vulkan", "cairo"};
bool settings_renderer_known(const std::string &value);

// The one record of the process; read and changed by the front-end thread.
extern Settings g_settings;

// Values other subsystems read without the record, changed only on load and save.
struct PublishedSettings {
    std::string java_path;
    std::string jvm_args;
    std::string api_url;
    std::string curseforge_api_key;
    int width = 1280;
    int height = 720;
};
// A copy of the published values, safe from any thread.
PublishedSettings settings_published();

// Defaults, then settings.json, or a one-time conversion of settings.txt. A
// value of the wrong kind keeps its default (a renderer not in the list too).
void settings_load();
// Writes settings.json atomically and publishes. 0, or -1 with errno set;
// the in-memory record stays as changed either way.
int settings_save();
// "<data>/settings.json".
std::string settings_path();
// The settings.json text of the record, keys in their fixed order.
std::string settings_to_json(const Settings &s);

// What a player should know about a nick before playing on servers, or ""
// when servers take it: empty, longer than 16 characters, or holding more
// than Latin letters, digits and "_" (Cyrillic gets its own words). Any nick
// still plays offline; only an empty one is not saved.
std::string settings_nick_warning(const std::string &nick);
