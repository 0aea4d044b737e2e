// The content page's two halves and what they offer each other: the page
// itself (search, results, installed list; page_content.cpp) and the changes
// it starts (installs, updates, modpack import; content_actions.cpp).
// Interface thread only.
#pragma once

#include "instances/content.h"
#include "instances/instance.h"

#include <gtk/gtk.h>
#include <string>
#include <utility>
#include <vector>

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
// "Версия…" of a result row: the project's compatible files to pick one
// from; main is the row's main button, which shows the install.
void content_versions_clicked(GtkWidget *main, const ResultAction &action);
// An installed row's update button was clicked.
void content_update_clicked(GtkWidget *button, const std::string &filename);
// "Проверить обновления" and "Обновить всё" of the installed list.
void content_check_updates_clicked();
void content_update_all_clicked();
// An installed row's remove button: the question naming what depends on
// the item, then the removal (world: a data pack's world, else empty).
void content_remove_clicked(GtkWidget *button, const std::string &filename,
                            const std::string &world);
// "Импорт": a file chooser, then the modpack import.
void content_import_clicked();

// The update check's findings for the instance folder: file name → the
// newer version's label. Rows of those files say so until the list changes.
void content_mark_outdated(const std::string &folder,
                           const std::vector<std::pair<std::string, std::string>> &newer);
// An updated file is no longer marked.
void content_unmark_outdated(const std::string &filename);
// While a removal runs its row stays where it is, greyed out.
void content_removal_started(const std::string &filename, const std::string &world);
void content_removal_ended(const std::string &filename, const std::string &world);
// The update buttons under the installed list are sensitive when nothing of
// theirs runs.
void content_update_buttons_sensitive(bool sensitive);

// An installed item's title with its channel badge (not for a release), as
// both installed lists show it.
GtkWidget *content_item_title(const ContentFile &f);
// The line under it: content_item_line, wrapped to at most two lines.
GtkWidget *content_item_detail(const ContentFile &f);

// Pure pieces, unit-tested.
// "modrinth · mods · 0.5.3 · отключён", "curseforge · в мире «Мой мир»":
// where an installed item comes from and lies, its version and state.
std::string content_item_line(const ContentFile &f);
// "01.07.2023" of an ISO 8601 date ("2023-07-01T..."); empty when it is none.
std::string content_date_text(const std::string &iso);
// A compatible file as the version choice lists it: "0.5.3 · релиз · 01.06.2023".
std::string content_version_choice(const std::string &version, ContentChannel channel,
                                   const std::string &date, bool installed);
// "%s загрузок" with 999, "1,0 тыс." or "1,5 млн"; empty for 0 or less.
std::string content_downloads_text(int count);
// The manual-download text's first https:// address, up to a space or a line
// end; empty when there is none.
std::string manual_page_address(const std::string &detail);
// The folder after the first "в папку: ", up to the line end; empty when the
// text has none, or when the folder is not inside instances_dir (the text
// carries titles from the network, and the folder gets created).
std::string manual_target_folder(const std::string &detail, const std::string &instances_dir);
