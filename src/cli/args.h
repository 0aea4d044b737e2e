// Command-line arguments: the global options and the command options record.
//
// Pure functions: any thread.
#pragma once

#include "content/search.h"
#include "instances/content_type.h"

#include <optional>
#include <string>
#include <vector>

// The global options, valid for every command and for the interface.
struct GlobalOptions {
    std::optional<std::string> data_dir; // "--data-dir"
    bool move = false;                   // "--move": the datadir command moves the data
    bool offline = false;                // "--offline": launches do not use the account
};

struct Options {
    GlobalOptions globals;
    std::string nick;
    bool nick_given = false;
    int ram_mb = 4096;
    bool ram_given = false; // "--ram" named: this run's memory, over an instance's own
    std::optional<std::string> loader;
    std::optional<std::string> loader_version;
    std::optional<std::string> mc;
    std::optional<std::string> server;
    std::optional<std::string> instance;
    std::optional<std::string> world;
    std::optional<std::string> include; // "--include a,b": export these entries too
    int version_filter = 1;                 // 1 releases, 2 snapshots, 4 others
    std::optional<std::string> source_text; // "--source" as given
    SearchSources source = ContentSource::Modrinth;
    std::optional<ContentType> type; // "--type"; none when not given
    std::optional<std::string> pos[3];
    // The rest of the line as one value, for a command that takes one
    // (Command::rest_at); none when the line ends before it.
    std::optional<std::string> rest;
    bool help = false; // "--help" or "-h" after the command word
};

// Removes "--data-dir X", "--data-dir=X", "--move" and "--offline" anywhere
// after the program name into out.
void args_remove_globals(std::vector<std::string> &args, GlobalOptions &out);

// Takes the words from index `from` on out of args and joins them with
// single spaces: a value read as it stands, even when it begins with "-"
// (JVM options). A leading "--" word is dropped. None when args end before
// from.
std::optional<std::string> args_take_rest(std::vector<std::string> &args, size_t from);

// Parses the arguments after the command word (args[2] on) into opts, which
// holds its defaults already. 0, or -1 with the usage error's text in err
// ("Неизвестный аргумент: %s", or a value an option cannot take).
int options_parse(const std::vector<std::string> &args, Options &opts, std::string &err);

// "--ram" value in megabytes: "4G", "4", "4096", "6M" (below 64 counts as gigabytes).
// 0 for a value that is not a finite amount of at least 1 MB; larger than an
// int holds gives INT_MAX.
int ram_parse_mb(const char *text);
// "--source" value: c... is CurseForge, a... is both (none), else Modrinth.
SearchSources source_parse(const std::string &text);
