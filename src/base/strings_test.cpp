#include "base/strings.h"

#include <gtest/gtest.h>

TEST(VersionOrder, NewestFirst) {
    struct Case {
        const char *a, *b;
        int want;
    } cases[] = {
        {"0.16.10", "0.16.9", -1},
        {"0.16.9", "0.16.10", 1},
        {"1.20.1", "1.20.1", 0},
        {"2", "10", 1},
        {"10", "2", -1},
        {"1.20.1", "1.20", -1},
        {"1.20", "1.20.1", 1},
        {"1.20-pre1", "1.20", -1},
        {"", "", 0},
        {"a", "", -1},
        {"", "a", 1},
        {"1.21", "1.21a", 1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(version_compare_desc(c.a, c.b), c.want) << c.a << " vs " << c.b;
}

TEST(VersionOrder, SortsLoaderLists) {
    StrList v = {"0.14.9", "0.16.10", "0.15.11", "0.16.9", "0.16"};
    versions_sort_desc(v);
    EXPECT_EQ(v, (StrList{"0.16.10", "0.16.9", "0.16", "0.15.11", "0.14.9"}));
}

TEST(FormatAlloc, BuildsPaths) {
    EXPECT_EQ(format_alloc("%s/%s/%s.json", "/d", "versions", "1.20.1"), "/d/versions/1.20.1.json");
    EXPECT_EQ(format_alloc("%s", ""), "");
}

TEST(Utf8, WellFormedOnly) {
    struct Case {
        const char *text;
        bool valid;
    } cases[] = {
        {"", true},
        {"Стив", true},
        {"a\xf0\x9f\x98\x80!", true}, // U+1F600
        {"\xff", false},
        {"\xc3", false},             // cut short
        {"\xc0\xaf", false},         // overlong "/"
        {"\xe0\x80\xaf", false},     // overlong "/"
        {"\xed\xa0\x80", false},     // a surrogate
        {"\xf4\x90\x80\x80", false}, // above U+10FFFF
        {"\xc3\x28", false},         // continuation byte missing
    };
    for (const Case &c : cases)
        EXPECT_EQ(str_utf8_valid(c.text), c.valid) << c.text;
}

TEST(Strings, DisplayWidthPadAndCut) {
    struct Case {
        const char *text;
        int width;
    } cases[] = {
        {"", 0},
        {"Fabric", 6},
        {"Моя сборка", 10},     // Cyrillic: two bytes, one column each
        {"世界", 4},            // wide
        {"e\xcc\x81", 1},       // e + combining acute
        {"a\xf0\x9f\x98\x80", 3}, // emoji is wide
        {"\xff" "a", 2},        // a malformed byte still takes a column
    };
    for (const Case &c : cases)
        EXPECT_EQ(str_display_width(c.text), c.width) << c.text;
    EXPECT_EQ(str_pad_display("Мир", 5), "Мир  ");
    EXPECT_EQ(str_pad_display("世界", 3), "世界");
    EXPECT_EQ(str_cut_display("Привет", 3), "При");
    EXPECT_EQ(str_cut_display("a世界", 2), "a"); // a wide character is not split
    EXPECT_EQ(str_cut_display("ab", 10), "ab");
}

// What a hostile name turns into on a screen: nothing that steers the
// terminal or the text direction is left, everything else stays.
TEST(Strings, DisplayNeutralisesControlsAndBidiOverrides) {
    struct Case {
        const char *text;
        bool multiline;
        const char *shown;
        bool printable; // fit for a file name as it is
    } cases[] = {
        {"Sodium", false, "Sodium", true},
        {"Мир\tигры", false, "Мир\tигры", false},       // tab stays
        {"\033]0;pwned\a", false, "␛]0;pwned␇", false}, // terminal title
        {"a\033[2Jb", false, "a␛[2Jb", false},          // clear screen
        {"over\rwrite", true, "over␍write", false},     // CR even in multi-line text
        {"two\nlines", false, "two␊lines", false},      // one-line fields keep one line
        {"two\nlines", true, "two\nlines", false},      // messages keep their lines
        {"x\x7fy", false, "x␡y", false},                // DEL
        {"\u009b31m", false, "\ufffd31m", false},       // C1 CSI (U+009B)
        {"\x9b"
         "31m",
         false, "\ufffd31m", false},                            // the same as a bare byte
        {"abc\u202etxt.exe", false, "abc\ufffdtxt.exe", false}, // U+202E
        {"\u2066x\u2069", false, "\ufffdx\ufffd", false},       // isolates
        {"e\xcc\x81 世界", false, "e\xcc\x81 世界", true},      // marks and wide characters stay
        {"\xc3", false, "\ufffd", false},                       // cut short
    };
    for (const Case &c : cases) {
        EXPECT_EQ(str_display(c.text, c.multiline), c.shown) << c.text;
        EXPECT_EQ(str_printable(c.text), c.printable) << c.text;
    }
}
