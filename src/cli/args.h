// Command-line arguments: the global options and the command options record.
#pragma once

#include "content/content_type.h"

#include <optional>
#include <string>
#include <vector>

struct Options {
    std::string nick;
    bool nick_given = false;
    int ram_mb = 4096;
    std::optional<std::string> loader;
    std::optional<std::string> loader_version;
    std::optional<std::string> mc;
    std::optional<std::string> server;
    std::optional<std::string> instance;
    std::optional<std::string> world;
    int version_filter = 1; // 1 releases, 2 snapshots, 4 others
    std::optional<std::string> source_text;
    int source_mode = 0; // 0 Modrinth, 1 CurseForge, 2 all
    std::optional<std::string> type_text;
    ContentType type = ContentType::Mod;
    std::optional<std::string> pos[3];
    bool help = false; // "--help" or "-h" after the command word
};

// Removes "--data-dir X", "--data-dir=X", "--move" and "--offline" anywhere
// after the program name, setting the process-wide values they stand for.
void args_remove_globals(std::vector<std::string> &args);

// Parses the arguments after the command word (args[2] on) into opts, which
// holds its defaults already. 0, or -1 with the usage error's text in err
// ("Неизвестный аргумент: %s", or a value an option cannot take).
int options_parse(const std::vector<std::string> &args, Options &opts, std::string &err);

// "--ram" value in megabytes: "4G", "4", "4096", "6M" (below 64 counts as gigabytes).
// 0 for a value that is not a finite amount of at least 1 MB; larger than an
// int holds gives INT_MAX.
int ram_parse_mb(const char *text);
// "--source" value: c... is 1 (CurseForge), a... is 2 (all), else 0 (Modrinth).
int source_mode_parse(const char *text);
