// The main window: rail, top bar and the stack of five pages, the navigation
// between them, and opening folders and web pages. Interface thread only.
#pragma once

#include <gtk/gtk.h>
#include <string>

// Widgets kept for the whole run.
struct GuiWidgets {
    GtkApplication *app = nullptr;
    GtkWindow *window = nullptr;
    GtkStack *stack = nullptr;
    GtkWidget *rail_buttons[5] = {};
    GtkLabel *crumb_title = nullptr;
    GtkLabel *status = nullptr;
    GtkSpinner *spinner = nullptr;
    GtkWidget *search = nullptr;
    GtkLabel *nick_label = nullptr;
    GtkWidget *top_account = nullptr;
    GtkLabel *rail_avatar = nullptr;
    GtkImage *rail_skin = nullptr;
};
extern GuiWidgets gui;

// One row of the page table.
struct PageInfo {
    const char *name, *tooltip;
    int icon;
    const char *title;
};
extern const PageInfo k_pages[5];
// Index of a page name; 0 (home) for a name not in the table.
int page_index(const char *name);

// The first window size: wanted, cut to fit a monitor of that logical size.
void window_first_size(int monitor_w, int monitor_h, int *width, int *height);
// Builds the window, its rail, top bar and pages (the theme is loaded first).
void window_build(GtkApplication *app);
// Shows a page by name (unknown names show home) and updates rail and top bar.
void show_page(const char *name);
// The top-bar search (Enter in its entry, or "Найти"): shows the content
// page and starts one search there.
void top_search_run();
// The stack name of the visible page.
const char *visible_page();

// Hands a folder or a web address to the desktop; errors go to the launcher log only.
void window_open_folder(const std::string &path);
void window_open_uri(const char *uri);
