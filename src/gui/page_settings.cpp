// Settings page. The shell keeps the page header only; the controls, the
// account panel and the data-folder change are added on top of it.
#include "config/settings.h"
#include "gui/pages.h"
#include "gui/widgets.h"

GtkWidget *settings_page_build() {
    return page_header("Настройки", "Сохраняются в settings.json в папке данных лаунчера");
}

// Without controls there is nothing to copy; the record is saved as it stands.
void collect_settings() {
    settings_save();
}
