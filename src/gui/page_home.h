// The home page's side that other pages use: the instance list every page
// reads (loaded records, the selection, the shared drop-down model), its
// reload, the side panel refresh and the play flow. Interface thread only.
#pragma once

#include "instances/instance.h"

#include <gtk/gtk.h>
#include <string>
#include <vector>

// The loaded instances, in listing order (newest last_played first).
const std::vector<Instance> &home_instances();
// The selected instance's index, or -1 when the selection is not valid.
int home_selected();
// One entry per instance ("name  ·  mc  ·  loader"); the content page's
// drop-down shares it. Owned by the home page.
GListModel *home_instance_model();
// The content page's instance drop-down: refresh_instances keeps its choice
// by folder id (or gives it the home selection).
void home_attach_content_dropdown(GtkDropDown *dropdown);
// The folder id to select at the next refresh_instances (a new instance).
void home_select_next(const std::string &folder);

// Reloads the instance list, rebuilds the cards and keeps the selection.
void refresh_instances();
// True while refresh_instances replaces the list: selection changes then are
// not the user's.
bool home_refreshing();
// Marks the selected card and fills the side panel for the selection.
void update_selection();
// The Память and Java tiles: the selected instance's own values, else the
// settings controls'.
void home_tiles_refresh();
// The data folder shown in the tip under the cards.
void home_set_data_folder(const std::string &shown);
// Starts the game of instance index (after the account check).
void start_play(int index);

// Pure pieces, unit-tested.
// "%d.%m.%Y, %H:%M" of last_played in local time, or "ещё не запускалась"
// when it is not later than created.
std::string home_last_played_text(long long last_played, long long created);
// The card's small line: last-played text, the number of mods and its word.
std::string home_card_stats(long long last_played, long long created, int mods);
// The count line above the cards.
std::string home_count_line(int count);
