#include "cli/suggest.h"

#include <gtest/gtest.h>

TEST(Suggest, ClosestCommandOnlyWhenClose) {
    const std::vector<std::string> words = {"list", "install", "installed", "instances",
                                            "launch", "login", "logout", "mods", "modpack"};
    struct Case {
        const char *typed;
        const char *want; // nullptr: no suggestion
    } cases[] = {
        {"instal", "install"},   {"isntall", "install"}, // a swap is one edit
        {"INSTALL", "install"},  {"lst", "list"},
        {"lanch", "launch"},     {"instancse", "instances"},
        {"lsit", "list"},        {"lxxt", nullptr}, // a short word: one edit, a swap too
        {"ls", nullptr},         {"frobnicate", nullptr},
        {"установить", nullptr}, {"", nullptr},
    };
    for (const Case &c : cases) {
        std::optional<std::string> got = suggest_closest(c.typed, words);
        if (c.want)
            EXPECT_EQ(got, c.want) << c.typed;
        else
            EXPECT_FALSE(got) << c.typed << " -> " << *got;
    }
    EXPECT_EQ(suggest_distance("сборка", "сборки"), 1);
}
