// New-instance page. The shell keeps the page header only; the form, the
// version lists and the "create" worker are added on top of it.
#include "gui/pages.h"
#include "gui/widgets.h"

GtkWidget *create_page_build() {
    return page_header("Новая сборка",
                       "Каждая сборка — отдельная папка со своими модами, мирами и настройками. "
                       "Всё нужное (Java, библиотеки, ресурсы) скачается автоматически");
}

void create_page_sync_busy(bool) {}
void create_page_show_progress(const char *, long, long) {}
void create_page_hook_loader(const char *) {}
