// The home page's texts.
#include "gui/page_home.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

TEST(HomePage, LastPlayedAndModCount) {
    const char *tz = getenv("TZ");
    std::string saved = tz ? tz : "";
    setenv("TZ", "UTC", 1);
    tzset();
    const long long created = 1700000000; // 2023-11-14 22:13:20 UTC
    EXPECT_EQ(home_last_played_text(created, created), "ещё не запускалась");
    EXPECT_EQ(home_last_played_text(created - 5, created), "ещё не запускалась");
    EXPECT_EQ(home_last_played_text(created + 3600, created), "14.11.2023, 23:13");
    EXPECT_EQ(home_card_stats(created, created, 0), "ещё не запускалась · 0 модов");
    EXPECT_EQ(home_card_stats(created + 60, created, 21), "14.11.2023, 22:14 · 21 мод");
    EXPECT_EQ(home_card_stats(created, created, 3), "ещё не запускалась · 3 мода");
    if (tz)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}
