#include "diag/hang.h"
#include "diag/report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <dlfcn.h>

static std::string text_of(RepBuf &b) {
    return std::string(b.data, b.len);
}

TEST(DiagReport, TimeMatchesTheCalendar) {
    // Leap days, year ends and dates before 1970 are where a hand-made
    // calendar goes wrong.
    for (long long t : {0LL, 951782400LL, 946684799LL, 1709251199LL, 4107542400LL, -86401LL}) {
        RepBuf b;
        rep_time(b, t);
        time_t tt = static_cast<time_t>(t);
        struct tm tm;
        gmtime_r(&tt, &tm);
        char want[32];
        strftime(want, sizeof want, "%Y-%m-%d %H:%M:%S", &tm);
        EXPECT_EQ(text_of(b), want) << t;
    }
}

TEST(DiagReport, NumbersAndFullBuffer) {
    RepBuf b;
    rep_dec(b, -42);
    rep_str(b, " ");
    rep_hex(b, 0x1f);
    rep_str(b, " ");
    rep_dec(b, 0);
    EXPECT_EQ(text_of(b), "-42 0x1f 0");

    // Without a file the text is cut at the buffer's end, never past it.
    RepBuf full;
    std::string big(5000, 'x');
    rep_str(full, big.c_str());
    EXPECT_EQ(full.len, sizeof full.data);
}

TEST(DiagReport, ActivityIsCutOnACharacterBoundary) {
    std::string text(157, 'a');
    text += "жж"; // the second letter would straddle byte 159
    diag_set_activity(text.c_str());
    EXPECT_EQ(std::string(ui_activity), std::string(157, 'a') + "ж");
    diag_set_activity("page home");
    EXPECT_STREQ(ui_activity, "page home");
}

TEST(DiagReport, Utf8Fit) {
    struct Case {
        const char *s;
        size_t max, fit;
    } cases[] = {{"abc", 10, 3}, {"abc", 2, 2}, {"жж", 3, 2},
                 {"жж", 4, 4},   {"aж", 2, 1},  {"", 5, 0}};
    for (const Case &c : cases)
        EXPECT_EQ(utf8_fit(c.s, c.max), c.fit) << c.s << " " << c.max;
}

TEST(DiagReport, CodeLocationsNameTheModule) {
    diag_modules_refresh();
    uintptr_t in_libc = reinterpret_cast<uintptr_t>(dlsym(RTLD_DEFAULT, "strlen"));
    ASSERT_TRUE(diag_addr_is_code(in_libc));
    EXPECT_TRUE(strncmp(diag_module_name(in_libc), "libc.so", 7) == 0);
    RepBuf b;
    rep_code_location(b, in_libc);
    EXPECT_TRUE(text_of(b).rfind("  libc.so", 0) == 0) << text_of(b);
    EXPECT_TRUE(text_of(b).find("+0x") != std::string::npos);

    RepBuf outside;
    rep_code_location(outside, 0x10);
    EXPECT_EQ(text_of(outside), "  +0x10\n");
    EXPECT_FALSE(diag_addr_is_code(reinterpret_cast<uintptr_t>(&outside)));

    RepBuf mods;
    rep_modules(mods);
    EXPECT_TRUE(text_of(mods).rfind("modules:\n  0x", 0) == 0);
    EXPECT_NE(text_of(mods).find("libc.so"), std::string::npos);
}

TEST(DiagReport, GraphicsDriverModules) {
    struct Case {
        const char *name;
        bool driver;
    } cases[] = {
        {"nvoglv64.dll", true},
        {"D3D11.dll", true},
        {"libnvidia-glcore.so.535", true},
        {"libGLX_mesa.so.0", true},
        {"libGL.so.1", true},
        {"libEGL_mesa.so.0", true},
        {"iris_dri.so", true},
        {"libvulkan.so.1", true},
        {"libepoxy.so.0", true},
        {"libglib-2.0.so.0", false},
        {"libgtk-4.so.1", false},
        {"libc.so.6", false},
        {"zyl", false},
        {"", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(diag_is_graphics_module(c.name), c.driver) << c.name;
}

TEST(DiagHang, OneReportPerHangAndTheRecoveryTime) {
    HangState s;
    int seconds = -1;
    // Before the interface beats, nothing counts.
    for (int i = 0; i < 20; i++)
        EXPECT_EQ(hang_step(s, 0, &seconds), HangEvent::None);
    EXPECT_EQ(hang_step(s, 1, &seconds), HangEvent::None);
    int frozen = 0;
    for (int i = 0; i < 12; i++)
        if (hang_step(s, 1, &seconds) == HangEvent::Frozen) frozen++;
    EXPECT_EQ(frozen, 1);
    EXPECT_EQ(hang_step(s, 2, &seconds), HangEvent::Recovered);
    EXPECT_EQ(seconds, 12);
    // A short stall is no hang; a later, separate hang is reported again.
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(hang_step(s, 2, &seconds), HangEvent::None);
    EXPECT_EQ(hang_step(s, 3, &seconds), HangEvent::None);
    for (int i = 0; i < 7; i++)
        hang_step(s, 3, &seconds);
    EXPECT_EQ(hang_step(s, 3, &seconds), HangEvent::Frozen);
}
