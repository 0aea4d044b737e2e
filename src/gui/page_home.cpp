// Home page: the instance cards and the side panel. The shell keeps the page
// header only; the cards, selection and play flow are added on top of it.
#include "gui/pages.h"
#include "gui/widgets.h"

GtkWidget *home_page_build() {
    return page_header("Мои сборки", "Сборки, их моды и запуск игры");
}

void home_page_shown() {}
void home_page_sync_play(long long) {}
