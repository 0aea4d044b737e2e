// What a player sees in a terminal: a throttled install shows bytes, speed
// and time left on one rewritten line, a stalled file is named on a line of
// its own, the closing line sums up; a re-run that fetches nothing says so in
// one line instead of replaying every counter.
#include "base/json.h"
#include "base/strings.h"
#include "fakenet/e2e_env.h"
#include "fakenet/world_mojang.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

// The lines as they stay on screen: what follows the last carriage return of
// each line, without the erase-to-end-of-line sequence.
StrList visible_lines(const std::string &screen) {
    StrList out;
    for (std::string line : str_split(screen, '\n')) {
        if (!line.empty() && line.back() == '\r') line.pop_back(); // the terminal's own CR LF
        size_t cr = line.rfind('\r');
        if (cr != std::string::npos) line = line.substr(cr + 1);
        for (size_t at; (at = line.find("\033[K")) != std::string::npos;)
            line.erase(at, 3);
        out.push_back(line);
    }
    return out;
}

class TerminalE2E : public ZylE2E {
  protected:
    TermRun install() {
        return run_zyl_terminal({"--data-dir", data.path, "install", "1.20.1"},
                                {{"ZYL_ENDPOINTS", net->endpoints_env()},
                                 {"ZYL_API", ""},
                                 {"ZYL_JAVA", ""}});
    }
};

TEST_F(TerminalE2E, ThrottledInstallShowsBytesSpeedAStalledFileAndTheSum) {
    JsonPtr doc = json_parse(world_mojang_version(*net, "1.20.1"));
    std::string stalled = json_str(json_get(json_get(doc.get(), "downloads"), "client"), "url");
    stalled = stalled.substr(stalled.find("/piston_data"));
    net->set_fault(stalled, Fault::Stall);
    net->throttle_bytes_per_s = 1024; // the fake game is a few kilobytes

    TermRun r = install();
    ASSERT_EQ(r.code, 0) << r.screen;
    StrList lines = visible_lines(r.screen);
    std::string all;
    for (const std::string &l : lines)
        all += l + "\n";

    // Somewhere the rewritten line carried bytes of the known total and a speed.
    std::regex counted(R"(\[[^\]]+\] \d+/\d+ · [\d,]+ из [\d,]+ (КБ|МБ|Б) · [\d,]+ (КБ|МБ|Б)/с · ~\d+ (с|мин))");
    EXPECT_TRUE(std::regex_search(r.screen, counted)) << all;
    // The stalled client jar is named on a line of its own, not glued to the counter.
    std::regex stall_line(R"(^нет ответа \d+ с: 1\.20\.1\.jar$)");
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const std::string &l) { return std::regex_search(l, stall_line); }),
              1)
        << all;
    std::regex closing(R"(^Установлено: 1\.20\.1 — \d+ файл(а|ов)?, [\d,]+ (КБ|МБ|Б) за [\d,]+ с$)");
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [&](const std::string &l) { return std::regex_search(l, closing); }))
        << all;

    // Installed already: no counters replayed, one line says nothing was fetched.
    net->clear_faults();
    net->throttle_bytes_per_s = 0;
    r = install();
    ASSERT_EQ(r.code, 0) << r.screen;
    lines = visible_lines(r.screen);
    all.clear();
    for (const std::string &l : lines)
        all += l + "\n";
    for (const std::string &l : lines)
        EXPECT_FALSE(std::regex_search(l, std::regex(R"(^\[[^\]]+\] \d+/\d+)"))) << all;
    EXPECT_NE(all.find("Установлено: 1.20.1 — всё на месте, ничего не скачано ("),
              std::string::npos)
        << all;
}

} // namespace
