// The window and the log view built for real. They need a display: the
// display test binary gives itself one (a private Xvfb) when none works, so
// they skip only where Xvfb cannot start either, and never in CI.
#include "gui/bridge.h"
#include "gui/pages.h"
#include "gui/window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include <string>

static bool have_display() {
    static bool ok = gtk_init_check();
    return ok;
}

static std::string numbered_lines(int from, int to) {
    std::string s;
    for (int i = from; i <= to; i++)
        s += "l" + std::to_string(i) + "\n";
    return s;
}

// The view's text as the user sees it.
static std::string view_text(GtkWidget *page) {
    GtkWidget *w = page;
    // The text view is the last descendant of the page that is one.
    std::vector<GtkWidget *> stack{page};
    GtkTextView *view = nullptr;
    while (!stack.empty()) {
        w = stack.back();
        stack.pop_back();
        if (GTK_IS_TEXT_VIEW(w)) view = GTK_TEXT_VIEW(w);
        for (GtkWidget *c = gtk_widget_get_first_child(w); c; c = gtk_widget_get_next_sibling(c))
            stack.push_back(c);
    }
    GtkTextBuffer *buf = gtk_text_view_get_buffer(view);
    GtkTextIter a, b;
    gtk_text_buffer_get_bounds(buf, &a, &b);
    char *t = gtk_text_buffer_get_text(buf, &a, &b, FALSE);
    std::string out = t;
    g_free(t);
    return out;
}

static int count_lines(const std::string &s) {
    return static_cast<int>(std::count(s.begin(), s.end(), '\n'));
}

TEST(GuiLogPage, ViewIsTrimmedToTheLast2500Lines) {
    if (!have_display()) GTEST_SKIP() << "no display";
    GtkWidget *page = g_object_ref_sink(log_page_build());
    // 3000 lines at once stay; one more line makes 3001 and the last 2500 stay.
    logpage_append(numbered_lines(1, 3000));
    EXPECT_EQ(count_lines(view_text(page)), 3000);
    logpage_append(numbered_lines(3001, 3001));
    std::string text = view_text(page);
    EXPECT_EQ(count_lines(text), 2500);
    EXPECT_EQ(text.rfind("l502\n", 0), 0u) << text.substr(0, 20);
    EXPECT_EQ(text.substr(text.size() - 6), "l3001\n");
    // A burst larger than the view in one tick leaves only its own last lines.
    logpage_append(numbered_lines(1, 100000));
    text = view_text(page);
    EXPECT_EQ(count_lines(text), 2500);
    EXPECT_EQ(text.rfind("l97501\n", 0), 0u);
    g_object_unref(page);
}

// The window is built once per process: its pages keep process-wide state.
static bool window_built() {
    static bool built = [] {
        if (!have_display()) return false;
        gui_shared_init();
        GtkApplication *app = gtk_application_new("ru.ostrel.zyl.test", G_APPLICATION_NON_UNIQUE);
        if (!g_application_register(G_APPLICATION(app), nullptr, nullptr)) return false;
        window_build(app);
        return true;
    }();
    return built;
}

TEST(GuiWindow, UnknownPageShowsHome) {
    if (!window_built()) GTEST_SKIP() << "no display";
    show_page("log");
    EXPECT_STREQ(visible_page(), "log");
    EXPECT_STREQ(gtk_label_get_text(gui.crumb_title), "Журнал");
    show_page("nowhere");
    EXPECT_STREQ(visible_page(), "home");
    EXPECT_STREQ(gtk_label_get_text(gui.crumb_title), "Мои сборки");
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(gtk_widget_has_css_class(gui.rail_buttons[i], "on"), i == 0) << i;
}

// The window works down to 800 x 600 and, at GDK_SCALE=2, on a 1920 x 1080
// screen (960 x 540 logical pixels): no page, with the rail and the top bar,
// asks for more; so switching pages never resizes the window either. The
// height counts both at the narrowest window and at no particular width (as
// GTK first sizes a window: every wrapping row at its narrowest).
TEST(GuiWindow, EveryPageFitsSmallScreens) {
    if (!window_built()) GTEST_SKIP() << "no display";
    GtkWidget *root = gtk_window_get_child(gui.window);
    for (const PageInfo &page : k_pages) {
        show_page(page.name);
        int min_w = 0;
        gtk_widget_measure(root, GTK_ORIENTATION_HORIZONTAL, -1, &min_w, nullptr, nullptr, nullptr);
        EXPECT_LE(min_w, 800) << page.name;
        for (int width : {-1, min_w}) {
            int min_h = 0;
            gtk_widget_measure(root, GTK_ORIENTATION_VERTICAL, width, &min_h, nullptr, nullptr,
                               nullptr);
            EXPECT_LE(min_h, 540) << page.name << " at width " << width;
        }
    }
}

TEST(GuiWindow, FirstSizeFitsTheMonitor) {
    struct Case {
        int monitor_w, monitor_h, width, height;
    } cases[] = {{1920, 1080, 1200, 760}, {960, 540, 920, 460}, {1280, 800, 1200, 720},
                 {0, 0, 1200, 760}};
    for (const Case &c : cases) {
        int w = 1200, h = 760;
        window_first_size(c.monitor_w, c.monitor_h, &w, &h);
        EXPECT_EQ(w, c.width) << c.monitor_w;
        EXPECT_EQ(h, c.height) << c.monitor_h;
    }
}
