// The interface's pure pieces; the window itself is tested end to end (tests/gui).
#include "diag/report.h"
#include "game/loaders.h"
#include "gui/app.h"
#include "gui/bridge.h"
#include "gui/icons.h"
#include "gui/logwriter.h"
#include "gui/page_log.h"
#include "gui/page_settings.h"
#include "gui/pages.h"
#include "gui/testhooks.h"
#include "gui/widgets.h"

#include <gtest/gtest.h>

TEST(GuiStartup, RendererFromSetting) {
    EXPECT_EQ(gui_renderer_env("auto"), std::nullopt);
    struct Case {
        const char *setting, *env;
    } cases[] = {
        {"cairo", "cairo"}, {"vulkan", "vulkan"}, {"gl", "gl"}, {"metal", "gl"}, {"", "gl"}};
    for (const Case &c : cases)
        EXPECT_EQ(gui_renderer_env(c.setting), std::optional<std::string>(c.env)) << c.setting;
}

TEST(GuiStartup, CrashNoticeNamesTheReport) {
    std::string long_notice = gui_crash_notice(true, "/d/logs");
    EXPECT_EQ(
        long_notice.rfind("Прошлый запуск лаунчера завершился сбоем (отчёт: /d/logs/crash.txt). "
                          "Включена программная отрисовка",
                          0),
        0u);
    EXPECT_EQ(gui_crash_notice(false, "/d/logs"),
              "Прошлый запуск лаунчера завершился сбоем, отчёт: /d/logs/crash.txt");
}

TEST(GuiStartup, HookNumbers) {
    struct Case {
        const char *value;
        long n;
    } cases[] = {{"5", 5}, {"12s", 12}, {"", 0}, {"x3", 0}, {"-2", 0}, {" 4", 0}};
    for (const Case &c : cases)
        EXPECT_EQ(gui_hook_number(c.value), c.n) << c.value;
}

TEST(GuiBridge, StatusText) {
    EXPECT_EQ(gui_status_text("Ресурсы", 3, 10), "Ресурсы: 3/10");
    EXPECT_EQ(gui_status_text("Готово", 0, 0), "Готово");
    EXPECT_EQ(gui_status_text("Поиск", -1, -1), "Поиск");
    // A long label is cut, never inside a letter, so that the counters still
    // fit the 319-byte line.
    std::string longer;
    for (int i = 0; i < 200; i++)
        longer += "ж";
    std::string shown = gui_status_text(longer.c_str(), 1, 2);
    EXPECT_LE(shown.size(), 319u);
    EXPECT_TRUE(g_utf8_validate(shown.c_str(), -1, nullptr));
    EXPECT_EQ(shown.substr(shown.size() - 5), ": 1/2");
}

TEST(GuiBridge, PendingLogDropsWholeOldLinesBeyondItsCap) {
    std::string pending;
    for (int i = 0; i < 10; i++)
        gui_pending_append(pending, ("line " + std::to_string(i)).c_str(), 30);
    EXPECT_LE(pending.size(), 30u);
    EXPECT_EQ(pending.back(), '\n');
    EXPECT_EQ(pending.rfind("line 9\n"), pending.size() - 7);
    EXPECT_EQ(pending.compare(0, 5, "line "), 0); // starts at a line boundary
}

TEST(GuiLogWriter, RepeatsAreFoldedIntoOneNotice) {
    LogFold f;
    std::string out;
    for (int i = 0; i < 3; i++)
        out += logfold_feed(f, "same", "(zyl): Gtk-WARNING: same");
    out += logfold_feed(f, "other", "(zyl): Gtk-WARNING: other");
    EXPECT_EQ(out, "(zyl): Gtk-WARNING: same\n"
                   "  (предыдущее сообщение повторилось ещё 2 раз)\n"
                   "(zyl): Gtk-WARNING: other\n");
}

TEST(GuiLogWriter, StopsWritingLinesAfterTheCapButKeepsNotices) {
    LogFold f;
    std::string line(1024 * 1024, 'w');
    size_t printed = 0;
    for (int i = 0; i < 10; i++)
        printed += logfold_feed(f, std::to_string(i), line).size();
    EXPECT_EQ(printed, 8 * (line.size() + 1));
    logfold_feed(f, "9", line);
    EXPECT_EQ(logfold_feed(f, "10", line), "  (предыдущее сообщение повторилось ещё 1 раз)\n");
}

TEST(GuiLogView, TrimKeepsTheLast2500Lines) {
    struct Case {
        int lines, drop;
    } cases[] = {{0, 0}, {3000, 0}, {3001, 501}, {5000, 2500}};
    for (const Case &c : cases)
        EXPECT_EQ(logview_lines_to_drop(c.lines), c.drop) << c.lines;

    std::string text;
    for (int i = 1; i <= 5; i++)
        text += "l" + std::to_string(i) + "\n";
    EXPECT_EQ(text_last_lines(text, 2), "l4\nl5\n");
    EXPECT_EQ(text_last_lines(text, 5), text);
    EXPECT_EQ(text_last_lines(text, 9), text);
}

TEST(GuiWidgets, BadgeLetterAndColour) {
    EXPECT_EQ(badge_letter("fabric pack"), "F");
    EXPECT_EQ(badge_letter("ёлка"), "Ё");
    EXPECT_EQ(badge_letter(""), "?");
    EXPECT_EQ(badge_letter(nullptr), "?");
    EXPECT_EQ(badge_color_index(""), 0);
    EXPECT_EQ(badge_color_index(nullptr), 0);
    // The colour follows the whole name, the same name always the same colour.
    EXPECT_EQ(badge_color_index("Forge 1.20.1"), static_cast<int>(g_str_hash("Forge 1.20.1") & 7));
    EXPECT_EQ(badge_letter("alpha"), badge_letter("Alpha"));
}

TEST(GuiWidgets, RussianPlural) {
    struct Case {
        long n;
        const char *word;
    } cases[] = {{1, "сборка"},   {3, "сборки"}, {5, "сборок"},  {11, "сборок"}, {21, "сборка"},
                 {112, "сборок"}, {0, "сборок"}, {22, "сборки"}, {14, "сборок"}, {101, "сборка"}};
    for (const Case &c : cases)
        EXPECT_STREQ(plural_word(c.n, "сборка", "сборки", "сборок"), c.word) << c.n;
}

TEST(GuiIcons, GridIsScaledAndCentred) {
    IconTransform a = icon_transform(22, 22);
    EXPECT_DOUBLE_EQ(a.scale, 22 / 24.0);
    EXPECT_DOUBLE_EQ(a.dx, 0);
    EXPECT_DOUBLE_EQ(a.dy, 0);
    IconTransform b = icon_transform(30, 20);
    EXPECT_DOUBLE_EQ(b.scale, 20 / 24.0);
    EXPECT_DOUBLE_EQ(b.dx, 5);
    EXPECT_DOUBLE_EQ(b.dy, 0);
}

// Paints icon n on a 24 x 24 surface; the number of pixels it touched and
// the alpha at the centre (12, 12).
static int painted_pixels(int n, int *centre_alpha = nullptr) {
    cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 24, 24);
    cairo_t *cr = cairo_create(s);
    cairo_set_source_rgb(cr, 1, 1, 1);
    icon_paint(cr, n);
    cairo_destroy(cr);
    cairo_surface_flush(s);
    int count = 0, stride = cairo_image_surface_get_stride(s);
    unsigned char *data = cairo_image_surface_get_data(s);
    for (int y = 0; y < 24; y++)
        for (int x = 0; x < 24; x++)
            if (data[y * stride + x * 4 + 3]) count++;
    if (centre_alpha) *centre_alpha = data[12 * stride + 12 * 4 + 3];
    cairo_surface_destroy(s);
    return count;
}

TEST(GuiIcons, EveryIconDrawsAndOthersDrawNothing) {
    for (int n = 0; n <= 9; n++)
        EXPECT_GT(painted_pixels(n), 20) << n;
    EXPECT_EQ(painted_pixels(10), 0);
    EXPECT_EQ(painted_pixels(-1), 0);
    // Play is filled; the folder is an outline with nothing inside.
    int play_centre = 0, folder_centre = 0;
    painted_pixels(ICON_PLAY, &play_centre);
    painted_pixels(ICON_FOLDER, &folder_centre);
    EXPECT_EQ(play_centre, 255);
    EXPECT_EQ(folder_centre, 0);
}

TEST(GuiTestHooks, LogFloodValues) {
    LogFlood f;
    ASSERT_TRUE(test_log_flood_parse("100000", &f));
    EXPECT_EQ(f.lines, 100000);
    EXPECT_EQ(f.per_second, 0);
    ASSERT_TRUE(test_log_flood_parse("5000x20", &f));
    EXPECT_EQ(f.lines, 100000);
    EXPECT_EQ(f.per_second, 5000);
    for (const char *bad : {"", "x", "0", "10x", "10x0", "10y5", "-3"})
        EXPECT_FALSE(test_log_flood_parse(bad, &f)) << bad;
}

TEST(GuiSettings, MemoryWarningAboveThreeQuartersOfTheMachine) {
    struct Case {
        long long ram_mb, physical_mb;
        bool warned;
    } cases[] = {{16384, 24576, false}, {12288, 16384, false}, {12800, 16384, true},
                 {13312, 16384, true},  {16384, 16384, true},  {4096, 4096, true},
                 {16384, 0, false}};
    for (const Case &c : cases)
        EXPECT_EQ(!settings_ram_warning(c.ram_mb, c.physical_mb).empty(), c.warned)
            << c.ram_mb << " of " << c.physical_mb;
    EXPECT_EQ(settings_ram_warning(16384, 16 * 1024),
              "Больше ¾ памяти компьютера (16 ГБ) — системе и лаунчеру может не хватить");
}

TEST(GuiCreatePage, ForgePromotedBuildsAreLabelled) {
    LoaderPromos promos{"47.2.0", "47.3.0"};
    EXPECT_EQ(create_loader_version_label("47.2.0", promos), "47.2.0 (рекомендуемая)");
    EXPECT_EQ(create_loader_version_label("47.3.0", promos), "47.3.0 (последняя)");
    EXPECT_EQ(create_loader_version_label("47.1.0", promos), "47.1.0");
    EXPECT_EQ(create_loader_version_label("47.3.0", LoaderPromos{"47.3.0", "47.3.0"}),
              "47.3.0 (рекомендуемая, последняя)");
    EXPECT_EQ(create_loader_version_label("0.15.11", LoaderPromos{}), "0.15.11");
}
