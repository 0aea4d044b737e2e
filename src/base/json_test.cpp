#include "base/json.h"

#include <gtest/gtest.h>

// A document packed with values (empty arrays cost cJSON some thirty times
// their text) is refused before parsing; real shapes, dense or not, are not.
TEST(JsonParse, RefusesDocumentsThatWouldDwarfTheirText) {
    auto repeat = [](const std::string &item, int n, const char *open, const char *close) {
        std::string out = open;
        for (int i = 0; i < n; i++)
            out += (i ? "," : "") + item;
        return out + close;
    };
    struct Case {
        const char *what;
        std::string text;
        bool parses;
    } cases[] = {
        {"empty arrays", repeat("[]", 200000, "[", "]"), false},
        {"small numbers", repeat("1", 300000, "[", "]"), false},
        {"a value per 6 bytes", repeat("12345", 300000, "[", "]"), false},
        {"a small dense document", repeat("[]", 1000, "[", "]"), true},
        // Game version lists are the densest real documents.
        {"version strings", repeat("\"1.20.1\"", 300000, "[", "]"), true},
        {"commas inside strings", repeat("\",,,,,,,,,,,,,,\"", 300000, "[", "]"), true},
        {"asset index",
         repeat("\"minecraft/sounds/x.ogg\":{\"hash\":\"0123456789abcdef0123456789abcdef01234567\","
                "\"size\":1234}",
                50000, "{\"objects\":{", "}}"),
         true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(json_parse(c.text) != nullptr, c.parses) << c.what;
}

// Numbers from outside become integers without an undefined cast.
TEST(JsonNumbers, HeldToTheirRange) {
    JsonPtr j = json_parse(R"({"big":1e300,"small":-1e300,"frac":6.7,"neg":-2.5,"s":"5"})");
    struct Case {
        const char *key;
        int as_int;
        long long as_llong;
    } cases[] = {
        {"big", 2147483647, 4611686018427387904LL},
        {"small", -2147483647 - 1, -4611686018427387904LL},
        {"frac", 6, 6},
        {"neg", -2, -2},
        {"s", -7, -7}, // not a number: the fallback
        {"missing", -7, -7},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(json_int(j.get(), c.key, -7), c.as_int) << c.key;
        EXPECT_EQ(json_llong(j.get(), c.key, -7), c.as_llong) << c.key;
    }
}

TEST(JsonIdText, StringsAndNumbersAlike) {
    JsonPtr j = json_parse(R"({"a":"x-1","b":600001,"c":12.9,"d":true,"e":1e15})");
    EXPECT_EQ(json_id_text(json_get(j.get(), "a")), "x-1");
    EXPECT_EQ(json_id_text(json_get(j.get(), "b")), "600001");
    EXPECT_EQ(json_id_text(json_get(j.get(), "c")), "12");
    EXPECT_EQ(json_id_text(json_get(j.get(), "d")), "");
    EXPECT_EQ(json_id_text(json_get(j.get(), "e")), "1000000000000000");
    EXPECT_EQ(json_id_text(nullptr), "");
}
