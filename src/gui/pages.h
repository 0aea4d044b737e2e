// The five pages of the window and what the shell asks of each. Every
// function here runs on the interface thread.
//
// Each page lives in page_<name>.cpp: its builder returns the page_header box
// with the page's widgets appended. Background work goes through
// gui_worker_start (bridge.h), progress and messages through gui_progress,
// gui_log and gui_set_status, widgets kept for the whole run in GuiWidgets
// (window.h). What the pages offer each other is in page_home.h,
// page_settings.h and account_panel.h.
#pragma once

#include <string>

typedef struct _GtkWidget GtkWidget;

// Page builders, in page-table order.
GtkWidget *home_page_build();
GtkWidget *create_page_build();
GtkWidget *content_page_build();
GtkWidget *log_page_build();
GtkWidget *settings_page_build();

// show_page calls these for "home" and "mods".
void home_page_shown();
void content_page_shown();
// The keyboard focus on a page's main action when it opens (home and
// content take it in their *_shown).
void create_page_focus_main();
void log_page_focus_main();

// The new-instance page at activation: its summary, and the "versions" worker.
void create_page_summary();
void create_page_load_versions();

// The content page's installed list, after the instance list was reloaded.
void content_page_refresh_installed();

// The 120 ms refresh drives these from the busy state.
void home_page_sync_play(long long game_state);
void create_page_sync_busy(bool busy);
void create_page_show_progress(const char *text, long current, long total);

// Copies every settings control into Settings and saves settings.json.
void collect_settings();

// A loader version as the new-instance page lists it: Forge's promoted
// builds marked "рекомендуемая" and "последняя".
struct LoaderPromos;
std::string create_loader_version_label(const std::string &v, const LoaderPromos &promos);

// Automation hooks acted on by pages (values as read from the environment).
void content_page_hook_source(const char *value);
void content_page_hook_install(const char *value);
void content_page_hook_import(const char *value);
void create_page_hook_loader(const char *value);
void content_page_hook_type(const char *value);
// The content page's search: marking the page as initialised (its first
// visit then starts no search of its own) and starting one search.
void content_page_mark_initialised();
void start_search();
// A search was started and its answer has not arrived yet.
bool content_search_running();

// The log view: appends pending text (trimming old lines) and scrolls to the end.
void logpage_append(const std::string &text);
// The view shows its end again and keeps following new text.
void logpage_follow_end();
// Creates "<data>/logs" when missing and opens it in the file manager.
void open_logs_folder();
