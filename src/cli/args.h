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
    std::optional<std::string> include;     // "--include a,b": export these entries too
    int version_filter = 1;                 // 1 releases, 2 snapshots, 4 others
    std::optional<std::string> source_text; // "--source" as given
    SearchSources source = ContentSource::Modrinth;
    std::optional<ContentType> type; // "--type"; none when not given
    std::optional<std::string> pos[3];
    // The rest of the line as one value, for a command that takes one
    // (options_parse, rest_after); none when the line ends before it.
    std::optional<std::string> rest;
    bool help = false; // "--help" or "-h" after the command word
};

// Removes "--data-dir X", "--data-dir=X", "--move" and "--offline" anywhere
// after the program name into out, up to a "--", which ends the options (it
// stays for options_parse).
void args_remove_globals(std::vector<std::string> &args, GlobalOptions &out);

// Parses the arguments after the command word (args[2] on) into opts, which
// holds its defaults already. "--" ends the options: every argument after it
// is positional, whatever it looks like. A command whose last word is free
// text (rest_after > 0: "config <key> <value>", "instance set <name> <key>
// <value>") takes, once rest_after positionals are filled, the rest of the
// line as it stands into opts.rest, its words joined by spaces, even when
// they begin with "-" (JVM options; a "--" right there is dropped). 0, or -1
// with the usage error's text in err ("Неизвестный аргумент: %s", or a value
// an option cannot take).
int options_parse(const std::vector<std::string> &args, Options &opts, std::string &err,
                  int rest_after = 0);

// Memory of this machine in megabytes; 0 when it cannot be told.
long long memory_physical_mb();
// A memory size in megabytes ("--ram", an instance's ram_mb): a decimal
// number (a fraction allowed) with an optional unit M or G in any case: "4G",
// "4", "4096", "1.5G", "6M" (without G, below 64 counts as gigabytes). 0 with
// err for anything else ("0x10G", "2x"), for less than 1 MB, and for more
// than physical_mb (when above 0), the message naming what was set and both
// figures.
int ram_parse_mb(const std::string &text, long long physical_mb, const char *what,
                 std::string *err);
// "config ram_gb" value: a whole number of gigabytes, "G" allowed after it,
// from 1 to physical_mb (when above 0). 0 with err otherwise.
int ram_gb_parse(const std::string &text, long long physical_mb, std::string *err);
// "--source" value: c... is CurseForge, a... is both (none), else Modrinth.
SearchSources source_parse(const std::string &text);
