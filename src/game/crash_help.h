// What went wrong when the game ended with an error: the end of its output,
// the crash report it wrote during this run (crash-reports/crash-*.txt) and
// any JVM fatal error log (hs_err_pid*.log) are matched against a table of
// rules, each a pattern and a Russian explanation with what to do. The first
// rule that matches, in table order, explains the crash.
//
// Pure over its inputs except crash_help_collect, which reads the game
// directory; any thread.
#pragma once

#include <string>
#include <vector>

// A game's output is kept from its end: at most this many bytes.
inline constexpr size_t k_crash_output_tail = 256 * 1024;

// What the explanation is built from.
struct CrashInput {
    std::string output;      // the end of the game's output
    std::string report;      // the crash report's text ("" none)
    std::string report_path; // where it is
    std::string hs_err;      // the JVM's fatal error log ("" none)
    std::string hs_err_path;
    int ram_mb = 0; // the memory the game was given
    int exit_code = 0;
};

// What the player can do about it.
enum class CrashAction {
    None,
    InstallMod, // find CrashHelp::mod on the content page
    Memory,     // change the memory setting
    Java,       // let the launcher pick Java
};

struct CrashHelp {
    std::string rule;   // the rule's id; "" when nothing matched
    std::string title;  // the cause, one line
    std::string advice; // what to do
    std::string mod;    // the mod (or file) at fault, when the text names it
    std::string report; // the file to open: crash report, else hs_err log ("" none)
    CrashAction action = CrashAction::None;
};

// One rule of the table. pattern (ECMAScript) is tried on each line that
// contains needle; also, when not empty, must match some line too. Texts may
// use {N} (group N; {N|M}: the first of them that is not empty), {aN} (group
// N of also), {java:N} (the Java version of class file version N), {ram},
// {ram_more}, {ram_less} (memory in GB) and {report}.
struct CrashRule {
    const char *id;
    const char *needle;
    const char *pattern;
    const char *also;
    const char *title;
    const char *advice;
    const char *mod; // a text naming the mod at fault; "" none
    CrashAction action;
};

const std::vector<CrashRule> &crash_rules();

// The explanation of a crash; never empty: without a matching rule it names
// the first exception line (or the exit code) and the report.
CrashHelp crash_explain(const CrashInput &in);

// Fills report and hs_err of in from game_dir: the newest crash report and
// hs_err log modified at or after started (seconds since 1970).
void crash_help_collect(const std::string &game_dir, long long started, CrashInput &in);

// Appends data to a tail kept at most k_crash_output_tail bytes long (whole
// lines dropped from its start).
void crash_tail_append(std::string &tail, const char *data, size_t len);

// The explanation as the console prints it (several lines, ending in "\n").
std::string crash_help_text(const CrashHelp &h);
