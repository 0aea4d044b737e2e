// The content page's two halves and what they offer each other: the page
// itself (search, results, installed list; page_content.cpp) and the changes
// it starts (installs, updates, modpack import; content_actions.cpp).
// Interface thread only.
#pragma once

#include "instances/instance.h"

#include <gtk/gtk.h>
#include <string>

// The instance chosen in the page's drop-down, or none. Valid until the
// instance list is reloaded (refresh_instances).
const Instance *content_selected_instance();
// The notice above the results: shown with a text, or hidden and emptied.
void content_notice_show(const std::string &text);
void content_notice_hide();

// What a result row's main button carries.
struct ResultAction {
    int source = 0; // 0 Modrinth, 1 CurseForge
    int type = 0;   // the content-type chip of the search (5 modpacks)
    std::string id, title;
};
// The result row's main button was clicked.
void content_result_clicked(GtkWidget *button, const ResultAction &action);
// An installed row's update button was clicked.
void content_update_clicked(GtkWidget *button, const std::string &filename);
// "Импорт": a file chooser, then the modpack import.
void content_import_clicked();

// Pure pieces, unit-tested.
// "%s загрузок" with 999, "1,0 тыс." or "1,5 млн"; empty for 0 or less.
std::string content_downloads_text(int count);
// The manual-download text's first https:// address, up to a space or a line
// end; empty when there is none.
std::string manual_page_address(const std::string &detail);
// The folder after the first "в папку: ", up to the line end; empty when the
// text has none, or when the folder is not inside instances_dir (the text
// carries titles from the network, and the folder gets created).
std::string manual_target_folder(const std::string &detail, const std::string &instances_dir);
