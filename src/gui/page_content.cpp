// Content page. The shell keeps the page header only; search, results,
// installs and the installed list are added on top of it.
#include "gui/pages.h"
#include "gui/widgets.h"

GtkWidget *content_page_build() {
    return page_header("Контент", "Сначала создайте сборку во вкладке «Новая сборка»");
}

void content_page_shown() {}
void content_page_refresh_installed() {}
void content_page_mark_initialised() {}
void start_search() {}
void content_page_hook_source(const char *) {}
void content_page_hook_install(const char *) {}
void content_page_hook_import(const char *) {}
void content_page_hook_type(const char *) {}
