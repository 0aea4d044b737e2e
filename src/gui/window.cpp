// The main window skeleton and navigation (interface thread only).
#include "gui/window.h"

#include "base/version.h"
#include "gui/account_panel.h"
#include "gui/bridge.h"
#include "gui/icons.h"
#include "gui/logo.h"
#include "gui/pages.h"
#include "gui/theme.h"
#include "gui/widgets.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

GuiWidgets gui;

const PageInfo k_pages[5] = {
    {"home", "Главная", ICON_HOME, "Мои сборки"},
    {"create", "Новая сборка", ICON_PLUS, "Новая сборка"},
    {"mods", "Моды", ICON_CUBE, "Контент"},
    {"log", "Журнал", ICON_TERMINAL, "Журнал"},
    {"settings", "Настройки", ICON_GEAR, "Настройки"},
};

int page_index(const char *name) {
    for (int i = 0; i < 5; i++)
        if (name && strcmp(name, k_pages[i].name) == 0) return i;
    return 0;
}

void show_page(const char *name) {
    char activity[64];
    snprintf(activity, sizeof activity, "page %s", name ? name : "");
    gui_set_activity(activity);
    int idx = page_index(name);
    gtk_stack_set_visible_child_name(gui.stack, k_pages[idx].name);
    for (int i = 0; i < 5; i++) {
        if (i == idx)
            gtk_widget_add_css_class(gui.rail_buttons[i], "on");
        else
            gtk_widget_remove_css_class(gui.rail_buttons[i], "on");
    }
    gtk_label_set_text(gui.crumb_title, k_pages[idx].title);
    if (idx == 2) content_page_shown();
    if (idx == 0) home_page_shown();
    // The page's main action takes the keyboard: a short way from the rail.
    if (idx == 1) create_page_focus_main();
    if (idx == 2) gtk_widget_grab_focus(gui.search);
    if (idx == 3) log_page_focus_main();
    if (idx == 4) account_focus_main();
}

const char *visible_page() {
    return gtk_stack_get_visible_child_name(gui.stack);
}

static void on_show_uri(GObject *source, GAsyncResult *res, gpointer) {
    GError *err = nullptr;
    if (!gtk_show_uri_full_finish(GTK_WINDOW(source), res, &err)) {
        fprintf(stderr, "cannot open: %s\n", err ? err->message : "?");
        g_clear_error(&err);
    }
}

void window_open_uri(const char *uri) {
    gtk_show_uri_full(gui.window, uri, GDK_CURRENT_TIME, nullptr, on_show_uri, nullptr);
}

void window_open_folder(const std::string &path) {
    char *uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    if (uri) window_open_uri(uri);
    g_free(uri);
}

static GtkWidget *logo_image() {
    GBytes *bytes = g_bytes_new_static(k_logo_png, k_logo_png_size);
    GdkTexture *tex = gdk_texture_new_from_bytes(bytes, nullptr);
    g_bytes_unref(bytes);
    GtkWidget *img = tex ? gtk_image_new_from_paintable(GDK_PAINTABLE(tex)) : gtk_image_new();
    if (tex) g_object_unref(tex);
    gtk_image_set_pixel_size(GTK_IMAGE(img), 36);
    gtk_widget_add_css_class(img, "logo");
    gtk_widget_set_tooltip_text(img, "ZYL Launcher " ZYL_VERSION);
    return img;
}

static void on_rail_clicked(GtkButton *, gpointer data) {
    show_page(k_pages[GPOINTER_TO_INT(data)].name);
}

static void on_show_settings(GtkButton *, gpointer) {
    show_page("settings");
}

static GtkWidget *build_rail() {
    GtkWidget *rail = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    gtk_widget_add_css_class(rail, "rail");
    gtk_widget_set_size_request(rail, 64, -1);
    gtk_box_append(GTK_BOX(rail), logo_image());
    for (int i = 0; i < 5; i++) {
        GtkWidget *b = icon_button(k_pages[i].icon, 22, "nav", k_pages[i].tooltip);
        gtk_widget_set_halign(b, GTK_ALIGN_CENTER);
        g_signal_connect(b, "clicked", G_CALLBACK(on_rail_clicked), GINT_TO_POINTER(i));
        gtk_box_append(GTK_BOX(rail), b);
        gui.rail_buttons[i] = b;
    }
    gtk_widget_add_css_class(gui.rail_buttons[0], "on");
    GtkWidget *spacer = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_widget_set_vexpand(spacer, TRUE);
    gtk_box_append(GTK_BOX(rail), spacer);

    GtkWidget *acc = gtk_button_new();
    gtk_widget_add_css_class(acc, "avbtn");
    gtk_widget_set_halign(acc, GTK_ALIGN_CENTER);
    const char *tip = "Аккаунт и ник — Настройки";
    gtk_widget_set_tooltip_text(acc, tip);
    widget_set_accessible_label(acc, tip);
    GtkWidget *inner = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    GtkWidget *letter = gtk_label_new("P");
    gtk_widget_add_css_class(letter, "avatar");
    gtk_widget_add_css_class(letter, "small");
    gtk_label_set_justify(GTK_LABEL(letter), GTK_JUSTIFY_CENTER);
    gtk_widget_set_size_request(letter, 32, 32);
    GtkWidget *skin = gtk_image_new();
    gtk_image_set_pixel_size(GTK_IMAGE(skin), 32);
    gtk_widget_add_css_class(skin, "skinface");
    gtk_widget_set_visible(skin, FALSE);
    gtk_widget_set_overflow(skin, GTK_OVERFLOW_HIDDEN);
    widget_set_accessible_label(skin, "Скин");
    gtk_box_append(GTK_BOX(inner), letter);
    gtk_box_append(GTK_BOX(inner), skin);
    gtk_button_set_child(GTK_BUTTON(acc), inner);
    g_signal_connect(acc, "clicked", G_CALLBACK(on_show_settings), nullptr);
    gtk_box_append(GTK_BOX(rail), acc);
    gui.rail_avatar = GTK_LABEL(letter);
    gui.rail_skin = GTK_IMAGE(skin);
    return rail;
}

static GtkWidget *crumb_label(const char *text, const char *css_class) {
    GtkWidget *l = gtk_label_new(text);
    gtk_widget_add_css_class(l, css_class);
    return l;
}

void top_search_run() {
    gui_set_activity("mods: search");
    if (strcmp(visible_page(), "mods") != 0) {
        content_page_mark_initialised();
        show_page("mods");
    }
    start_search();
}

static void on_search_activate(GtkWidget *, gpointer) {
    top_search_run();
}

static GtkWidget *build_topbar() {
    GtkWidget *bar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 10);
    gtk_widget_add_css_class(bar, "topbar");
    gtk_box_append(GTK_BOX(bar), crumb_label("Главная", "crumb"));
    gtk_box_append(GTK_BOX(bar), crumb_label("›", "crumb-sep"));
    GtkWidget *title = crumb_label("Мои сборки", "crumb-b");
    gtk_box_append(GTK_BOX(bar), title);
    gui.crumb_title = GTK_LABEL(title);

    GtkWidget *status_box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_widget_set_hexpand(status_box, TRUE);
    gtk_widget_set_margin_start(status_box, 14);
    GtkWidget *status = gtk_label_new("Готово");
    gtk_widget_add_css_class(status, "status");
    gtk_label_set_xalign(GTK_LABEL(status), 1);
    gtk_label_set_ellipsize(GTK_LABEL(status), PANGO_ELLIPSIZE_END);
    gtk_label_set_width_chars(GTK_LABEL(status), 4);
    gtk_widget_set_hexpand(status, TRUE);
    GtkWidget *spinner = gtk_spinner_new();
    gtk_widget_set_visible(spinner, FALSE);
    gtk_box_append(GTK_BOX(status_box), status);
    gtk_box_append(GTK_BOX(status_box), spinner);
    gtk_box_append(GTK_BOX(bar), status_box);
    gui.status = GTK_LABEL(status);
    gui.spinner = GTK_SPINNER(spinner);

    GtkWidget *search = gtk_search_entry_new();
    gtk_widget_add_css_class(search, "srch");
    const char *hint = "Искать моды, ресурспаки, модпаки…";
    g_object_set(search, "placeholder-text", hint, nullptr);
    widget_set_accessible_label(search, hint);
    gtk_widget_set_size_request(search, 260, -1);
    gtk_widget_set_valign(search, GTK_ALIGN_CENTER);
    g_signal_connect(search, "activate", G_CALLBACK(on_search_activate), nullptr);
    gtk_box_append(GTK_BOX(bar), search);
    gui.search = search;

    GtkWidget *acc = gtk_button_new();
    gtk_widget_add_css_class(acc, "run");
    gtk_widget_set_valign(acc, GTK_ALIGN_CENTER);
    GtkWidget *inner = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    GtkWidget *dot = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_widget_add_css_class(dot, "dot");
    gtk_widget_set_valign(dot, GTK_ALIGN_CENTER);
    GtkWidget *nick = gtk_label_new("Player");
    gtk_label_set_ellipsize(GTK_LABEL(nick), PANGO_ELLIPSIZE_END);
    gtk_label_set_max_width_chars(GTK_LABEL(nick), 16);
    gtk_box_append(GTK_BOX(inner), dot);
    gtk_box_append(GTK_BOX(inner), nick);
    gtk_button_set_child(GTK_BUTTON(acc), inner);
    g_signal_connect(acc, "clicked", G_CALLBACK(on_show_settings), nullptr);
    gtk_box_append(GTK_BOX(bar), acc);
    gui.nick_label = GTK_LABEL(nick);
    gui.top_account = acc;
    return bar;
}

static GtkWidget *build_stack() {
    GtkWidget *stack = gtk_stack_new();
    gtk_stack_set_transition_type(GTK_STACK(stack), GTK_STACK_TRANSITION_TYPE_CROSSFADE);
    gtk_widget_set_vexpand(stack, TRUE);
    // Every page asks for the same size: switching pages never resizes the window.
    gtk_stack_set_hhomogeneous(GTK_STACK(stack), TRUE);
    gui.stack = GTK_STACK(stack);
    GtkWidget *(*builders[5])() = {home_page_build, create_page_build, content_page_build,
                                   log_page_build, settings_page_build};
    for (int i = 0; i < 5; i++)
        gtk_stack_add_named(gui.stack, builders[i](), k_pages[i].name);
    return stack;
}

void window_first_size(int monitor_w, int monitor_h, int *width, int *height) {
    // Room for the desktop's panels and the title bar.
    if (monitor_w > 0) *width = std::min(*width, monitor_w - 40);
    if (monitor_h > 0) *height = std::min(*height, monitor_h - 80);
}

// The first size fits the monitor (in its logical pixels: at GDK_SCALE=2 a
// 1920 x 1080 screen has room for 960 x 540).
static void window_fit_monitor(int *width, int *height) {
    GListModel *monitors = gdk_display_get_monitors(gdk_display_get_default());
    auto *first = static_cast<GdkMonitor *>(g_list_model_get_item(monitors, 0));
    if (!first) return;
    GdkRectangle area;
    gdk_monitor_get_geometry(first, &area);
    g_object_unref(first);
    window_first_size(area.width, area.height, width, height);
}

void window_build(GtkApplication *app) {
    theme_load();
    gui.app = app;
    GtkWidget *win = gtk_application_window_new(app);
    gui.window = GTK_WINDOW(win);
    gtk_widget_add_css_class(win, "zyl");
    gtk_window_set_title(gui.window, "ZYL Launcher");
    int width = 1200, height = 760;
    window_fit_monitor(&width, &height);
    gtk_window_set_default_size(gui.window, width, height);

    GtkWidget *root = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_box_append(GTK_BOX(root), build_rail());
    GtkWidget *column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_widget_set_hexpand(column, TRUE);
    gtk_box_append(GTK_BOX(column), build_topbar());
    gtk_box_append(GTK_BOX(column), build_stack());
    gtk_box_append(GTK_BOX(root), column);
    gtk_window_set_child(gui.window, root);
}
