// Home page: the instance cards, the side panel with the selected instance's
// details and installed content, the play flow (with the window hidden while
// the game runs, when asked), instance deletion and the buttons of the
// instance's own settings and export (instance_dialogs.h). It also owns the
// instance list that every page reads.
//
// Interface thread only, except the "play" worker, which touches no widget:
// it reports through gui_log / gui_set_status and hands the window changes to
// idle callbacks.
#include "gui/page_home.h"

#include "base/fs.h"
#include "base/proc.h"
#include "base/strings.h"
#include "config/datadir.h"
#include "config/settings.h"
#include "game/gamedir.h"
#include "game/java.h"
#include "game/launch.h"
#include "gui/account_panel.h"
#include "gui/bridge.h"
#include "gui/game_crash_dialog.h"
#include "gui/icons.h"
#include "gui/instance_dialogs.h"
#include "gui/page_content.h"
#include "gui/page_settings.h"
#include "gui/pages.h"
#include "gui/widgets.h"
#include "gui/window.h"
#include "instances/content.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

// Filter chips: 0 shows every instance, the others one loader.
const char *const k_filters[] = {"Все", "Fabric", "Quilt", "Forge", "NeoForge", "Vanilla"};
constexpr int k_filter_count = 6;
const char *const k_sorts[] = {"Недавние", "По имени", "По дате создания", nullptr};
const char *const k_no_instances_hint = "Создайте первую сборку: выберите версию Minecraft и "
                                        "загрузчик модов — всё нужное скачается автоматически.";
// The side panel's width, whatever the selected instance's name.
constexpr int k_side_width = 330;

struct SidePanel {
    GtkWidget *empty = nullptr, *detail = nullptr, *badge = nullptr, *play = nullptr;
    GtkLabel *empty_title = nullptr, *empty_text = nullptr;
    GtkLabel *name = nullptr, *desc = nullptr, *account = nullptr, *heading = nullptr;
    GtkLabel *play_label = nullptr;
    GtkLabel *tile_mods = nullptr, *tile_ram = nullptr, *tile_java = nullptr;
    GtkListBox *installed = nullptr;
};

struct Home {
    std::vector<Instance> instances;
    GtkStringList *model = nullptr;
    GtkDropDown *selection = nullptr; // never shown
    GtkDropDown *content_selection = nullptr;
    std::vector<GtkWidget *> cards; // in instance order
    std::vector<GtkLabel *> card_stats;
    std::vector<GtkWidget *> card_plays; // their play buttons; insensitive while a game runs
    GtkFlowBox *flow = nullptr;
    GtkWidget *chips[k_filter_count] = {};
    int filter = 0;
    GtkEditable *search = nullptr;
    GtkDropDown *sort = nullptr;
    GtkWidget *create = nullptr;
    // Instances appearing or vanishing on disk: the folder watched and what
    // it held at the last reload.
    GFileMonitor *monitor = nullptr;
    std::string watched, listed;
    guint recheck = 0;
    int rechecks_left = 0;
    std::string pending;         // folder id to select at the next refresh
    std::string pending_content; // the same for the content page's drop-down
    bool refreshing = false;     // selection changes during a refresh are not user choices
    GtkLabel *count_line = nullptr, *data_folder = nullptr;
    SidePanel side;
};
Home h;

int selected_in(GtkDropDown *dd) {
    if (!dd) return -1;
    guint s = gtk_drop_down_get_selected(dd);
    return s < h.instances.size() ? static_cast<int>(s) : -1;
}

int index_of_folder(const std::string &folder) {
    for (size_t i = 0; i < h.instances.size(); i++)
        if (!folder.empty() && h.instances[i].folder == folder) return static_cast<int>(i);
    return -1;
}

int count_mods(const std::vector<ContentFile> &files) {
    int n = 0;
    for (const ContentFile &f : files)
        if (f.type == ContentType::Mod) n++;
    return n;
}

} // namespace

// --- pure pieces ------------------------------------------------------------

std::string home_last_played_text(long long last_played, long long created) {
    if (last_played <= created) return "ещё не запускалась";
    time_t t = static_cast<time_t>(last_played);
    struct tm tm;
    char buf[64];
    if (!localtime_r(&t, &tm) || !strftime(buf, sizeof buf, "%d.%m.%Y, %H:%M", &tm)) return "";
    return buf;
}

std::string home_card_stats(long long last_played, long long created, int mods) {
    char buf[160];
    snprintf(buf, sizeof buf, "%s · %d %s", home_last_played_text(last_played, created).c_str(),
             mods, plural_word(mods, "мод", "мода", "модов"));
    return buf;
}

std::string home_count_line(int shown, int count) {
    if (shown == count || count == 0) return home_count_line(count);
    char buf[160];
    if (shown == 0)
        snprintf(buf, sizeof buf, "Ничего не найдено: 0 из %d — измените поиск или фильтр", count);
    else
        snprintf(buf, sizeof buf, "Показано %d из %d · клик — выбрать, двойной клик — играть",
                 shown, count);
    return buf;
}

std::string home_card_name(const Instance &inst) {
    std::string loader = inst.loader;
    if (!inst.loader_version.empty()) loader += " " + inst.loader_version;
    return inst.name + ", " + loader + ", Minecraft " + inst.mc + ", " +
           home_last_played_text(inst.last_played, inst.created);
}

bool home_matches(const Instance &inst, int filter, const std::string &query) {
    if (filter > 0 && filter < k_filter_count && inst.loader != k_filters[filter]) return false;
    if (query.empty()) return true;
    char *name = g_utf8_casefold(inst.name.c_str(), -1);
    char *q = g_utf8_casefold(query.c_str(), -1);
    bool found = strstr(name, q) != nullptr;
    g_free(name);
    g_free(q);
    return found;
}

void home_sort(std::vector<Instance> &list, int order) {
    auto key = [](const std::string &name) {
        char *folded = g_utf8_casefold(name.c_str(), -1);
        char *k = g_utf8_collate_key(folded, -1);
        std::string out = k;
        g_free(folded);
        g_free(k);
        return out;
    };
    if (order == 1) {
        std::vector<std::pair<std::string, Instance>> keyed;
        for (Instance &inst : list)
            keyed.emplace_back(key(inst.name), std::move(inst));
        std::stable_sort(keyed.begin(), keyed.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        for (size_t i = 0; i < list.size(); i++)
            list[i] = std::move(keyed[i].second);
    } else if (order == 2) {
        std::stable_sort(list.begin(), list.end(), [](const Instance &a, const Instance &b) {
            return a.created > b.created;
        });
    } else {
        std::stable_sort(list.begin(), list.end(), [](const Instance &a, const Instance &b) {
            return a.last_played > b.last_played;
        });
    }
}

std::string home_count_line(int count) {
    if (count == 0)
        return "Сборок пока нет — нажмите «Создать сборку»: выберите версию и загрузчик";
    char buf[160];
    snprintf(buf, sizeof buf, "%d %s · клик — выбрать, двойной клик — играть", count,
             plural_word(count, "сборка", "сборки", "сборок"));
    return buf;
}

// --- the shared list ----------------------------------------------------------

const std::vector<Instance> &home_instances() {
    return h.instances;
}

int home_selected() {
    return selected_in(h.selection);
}

GListModel *home_instance_model() {
    return G_LIST_MODEL(h.model);
}

void home_attach_content_dropdown(GtkDropDown *dropdown) {
    h.content_selection = dropdown;
}

bool home_refreshing() {
    return h.refreshing;
}

void home_select_next(const std::string &folder, bool content_too) {
    h.pending = folder;
    if (content_too) h.pending_content = folder;
}

void home_set_data_folder(const std::string &shown) {
    label_show(h.data_folder, shown);
}

static GtkWidget *card_child(int i) {
    return gtk_widget_get_parent(h.cards[i]);
}

static std::string search_text() {
    return h.search ? gtk_editable_get_text(h.search) : "";
}

// Shows the cards that pass the chip and the search; a selection the filter
// hides is dropped, so that the side panel never shows a hidden instance.
static void apply_filter() {
    std::string query = search_text();
    int shown = 0;
    for (size_t i = 0; i < h.cards.size(); i++) {
        bool visible = home_matches(h.instances[i], h.filter, query);
        gtk_widget_set_visible(card_child(static_cast<int>(i)), visible);
        shown += visible;
    }
    for (int i = 0; i < k_filter_count; i++) {
        if (i == h.filter)
            gtk_widget_add_css_class(h.chips[i], "on");
        else
            gtk_widget_remove_css_class(h.chips[i], "on");
    }
    int count = static_cast<int>(h.instances.size());
    gtk_label_set_text(h.count_line, home_count_line(shown, count).c_str());
    int sel = home_selected();
    if (sel >= 0 && !gtk_widget_get_visible(card_child(sel)))
        gtk_drop_down_set_selected(h.selection, GTK_INVALID_LIST_POSITION);
}

static void select_card(int i) {
    if (i >= 0 && i < static_cast<int>(h.instances.size()))
        gtk_drop_down_set_selected(h.selection, static_cast<guint>(i));
}

static void play_if_idle(int i) {
    if (i >= 0 && i < static_cast<int>(h.instances.size()) && gui_game_state.load() == 0)
        start_play(i);
}

// A press on a card selects it; a double press plays it.
static void on_card_pressed(GtkGestureClick *, int n_press, double, double, gpointer data) {
    int i = GPOINTER_TO_INT(data);
    select_card(i);
    if (n_press == 2) play_if_idle(i);
}

static void on_card_play(GtkButton *, gpointer data) {
    play_if_idle(GPOINTER_TO_INT(data));
}

static int card_index(GtkWidget *child) {
    for (size_t i = 0; i < h.cards.size(); i++)
        if (card_child(static_cast<int>(i)) == child) return static_cast<int>(i);
    return -1;
}

// The cards on screen, in order, and how many make a row.
static std::vector<GtkWidget *> shown_cards(int *per_row) {
    std::vector<GtkWidget *> shown;
    *per_row = 0;
    float first_y = 0;
    for (size_t i = 0; i < h.cards.size(); i++) {
        GtkWidget *child = card_child(static_cast<int>(i));
        if (!gtk_widget_get_visible(child)) continue;
        graphene_rect_t r;
        if (!gtk_widget_compute_bounds(child, GTK_WIDGET(h.flow), &r)) r.origin.y = -1;
        if (shown.empty()) first_y = r.origin.y;
        if (r.origin.y == first_y) ++*per_row;
        shown.push_back(child);
    }
    if (*per_row < 1) *per_row = 1;
    return shown;
}

// The arrows, Home and End move between the cards on screen. (The grid's own
// arrows only follow its cursor, which a card focused by the launcher lacks.)
static bool move_between_cards(guint key, GtkWidget *from) {
    int per_row;
    std::vector<GtkWidget *> shown = shown_cards(&per_row);
    int at = static_cast<int>(std::find(shown.begin(), shown.end(), from) - shown.begin());
    int last = static_cast<int>(shown.size()) - 1;
    int to = key == GDK_KEY_Left    ? at - 1
             : key == GDK_KEY_Right ? at + 1
             : key == GDK_KEY_Up    ? at - per_row
             : key == GDK_KEY_Down  ? at + per_row
             : key == GDK_KEY_Home  ? 0
                                    : last;
    if (at > last || to < 0 || to > last) return at <= last; // at an edge: stay
    gtk_widget_grab_focus(shown[to]);
    return true;
}

// The keyboard on a focused card: Enter selects it, and Enter or Space on
// the selected card plays it; the arrows move between cards.
static gboolean on_cards_key(GtkEventControllerKey *, guint key, guint, GdkModifierType mods,
                             gpointer) {
    if (mods & (GDK_CONTROL_MASK | GDK_ALT_MASK | GDK_SHIFT_MASK)) return FALSE;
    GtkWidget *focus = gtk_root_get_focus(GTK_ROOT(gui.window));
    int i = focus ? card_index(focus) : -1;
    if (i < 0) return FALSE; // the card's play button takes its own keys
    switch (key) {
    case GDK_KEY_Left:
    case GDK_KEY_Right:
    case GDK_KEY_Up:
    case GDK_KEY_Down:
    case GDK_KEY_Home:
    case GDK_KEY_End:
        return move_between_cards(key, focus);
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_space:
    case GDK_KEY_KP_Space:
        break;
    default:
        return FALSE;
    }
    if (home_selected() == i)
        play_if_idle(i);
    else
        select_card(i);
    return TRUE;
}

// The card's small line: when it was played, and how many mods it has.
static void card_stats_set(int i, int mods) {
    const Instance &inst = h.instances[i];
    std::string stats = home_card_stats(inst.last_played, inst.created, mods);
    gtk_label_set_text(h.card_stats[i], stats.c_str());
}

// A line of a card: cut at the end, never widening the card (the grid
// counts cards a row by their natural width).
static GtkWidget *card_line(const std::string &text, const char *css_class, int chars) {
    GtkWidget *l = text_label(text.c_str(), css_class);
    gtk_label_set_ellipsize(GTK_LABEL(l), PANGO_ELLIPSIZE_END);
    gtk_label_set_width_chars(GTK_LABEL(l), 8);
    gtk_label_set_max_width_chars(GTK_LABEL(l), chars);
    return l;
}

static GtkWidget *card_build(int i, const Instance &inst) {
    GtkWidget *card = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    gtk_widget_add_css_class(card, "icard");
    gtk_widget_set_cursor_from_name(card, "pointer");
    gtk_widget_set_size_request(card, 230, -1);
    tooltip_show(card, inst.name);
    gtk_box_append(GTK_BOX(card), letter_badge(inst.name.c_str(), "ic", 52));

    GtkWidget *col = gtk_box_new(GTK_ORIENTATION_VERTICAL, 1);
    gtk_widget_set_hexpand(col, TRUE);
    gtk_widget_set_valign(col, GTK_ALIGN_CENTER);
    gtk_box_append(GTK_BOX(col), card_line(inst.name, "iname", 12));
    gtk_box_append(GTK_BOX(col), card_line(inst.loader + " · " + inst.mc, "isub", 16));
    GtkWidget *small = card_line("", "ismall", 18);
    gtk_box_append(GTK_BOX(col), small);
    gtk_box_append(GTK_BOX(card), col);
    h.card_stats.push_back(GTK_LABEL(small));

    GtkWidget *play = icon_button(ICON_PLAY, 16, "pl", "Играть");
    gtk_widget_set_valign(play, GTK_ALIGN_CENTER);
    g_signal_connect(play, "clicked", G_CALLBACK(on_card_play), GINT_TO_POINTER(i));
    gtk_widget_set_sensitive(play, gui_game_state.load() == 0);
    gtk_box_append(GTK_BOX(card), play);
    h.card_plays.push_back(play);

    GtkGesture *press = gtk_gesture_click_new();
    g_signal_connect(press, "pressed", G_CALLBACK(on_card_pressed), GINT_TO_POINTER(i));
    gtk_widget_add_controller(card, GTK_EVENT_CONTROLLER(press));
    return card;
}

static void cards_rebuild() {
    while (GtkWidget *child = gtk_widget_get_first_child(GTK_WIDGET(h.flow)))
        gtk_flow_box_remove(h.flow, child);
    h.cards.clear();
    h.card_stats.clear();
    h.card_plays.clear();
    for (size_t i = 0; i < h.instances.size(); i++) {
        const Instance &inst = h.instances[i];
        GtkWidget *card = card_build(static_cast<int>(i), inst);
        gtk_flow_box_append(h.flow, card);
        h.cards.push_back(card);
        card_stats_set(static_cast<int>(i), count_mods(content_list_files(inst)));
        // The focusable part is the grid's cell: a screen reader names it.
        widget_set_accessible_label(gtk_widget_get_parent(card),
                                    str_display(home_card_name(inst)).c_str());
    }
}

static void model_refill() {
    std::vector<std::string> rows;
    for (const Instance &inst : h.instances)
        rows.push_back(str_display(inst.name + "  ·  " + inst.mc + "  ·  " + inst.loader));
    std::vector<const char *> strv;
    for (const std::string &r : rows)
        strv.push_back(r.c_str());
    strv.push_back(nullptr);
    gtk_string_list_splice(h.model, 0, g_list_model_get_n_items(G_LIST_MODEL(h.model)),
                           strv.data());
}

static void select_index(GtkDropDown *dd, int i) {
    if (dd) gtk_drop_down_set_selected(dd, i < 0 ? GTK_INVALID_LIST_POSITION : guint(i));
}

static int sort_order() {
    guint s = h.sort ? gtk_drop_down_get_selected(h.sort) : 0;
    return s < 3 ? static_cast<int>(s) : 0;
}

// The folder of the card that has the keyboard focus, if one has.
static std::string focused_card_folder() {
    GtkWidget *focus = gui.window ? gtk_root_get_focus(GTK_ROOT(gui.window)) : nullptr;
    for (GtkWidget *w = focus; w; w = gtk_widget_get_parent(w)) {
        int i = card_index(w);
        if (i >= 0) return h.instances[i].folder;
    }
    return "";
}

// Puts a new list on the page: the shared model, the cards, both
// selections (kept by folder id) and the keyboard focus on a card.
static void instances_show(std::vector<Instance> list, const std::string &want,
                           const std::string &content_want) {
    std::string focused = focused_card_folder();
    home_sort(list, sort_order());
    h.instances = std::move(list);
    h.refreshing = true;
    model_refill();
    cards_rebuild();
    int count = static_cast<int>(h.instances.size());
    int home_i = index_of_folder(want);
    if (home_i < 0 && count > 0) home_i = 0;
    select_index(h.selection, home_i);
    int content_i = index_of_folder(content_want);
    select_index(h.content_selection, content_i >= 0 ? content_i : home_i);
    h.refreshing = false;

    apply_filter();
    update_selection();
    content_page_refresh_installed();
    int f = index_of_folder(focused);
    if (f >= 0) gtk_widget_grab_focus(card_child(f));
}

static std::string selected_folder(GtkDropDown *dd) {
    int i = selected_in(dd);
    return i >= 0 ? h.instances[i].folder : "";
}

static void watch_instances();

void refresh_instances() {
    std::string want;
    if (!h.pending.empty())
        want.swap(h.pending);
    else if (home_selected() >= 0)
        want = selected_folder(h.selection);
    else
        want = g_settings.last_instance;
    std::string content_want = selected_folder(h.content_selection);
    if (!h.pending_content.empty()) content_want.swap(h.pending_content);
    instances_show(instance_list(), want, content_want);
    watch_instances();
}

void home_instance_content_changed(const std::string &folder) {
    int i = index_of_folder(folder);
    if (i < 0) return;
    if (i == home_selected())
        update_selection(); // recounts for the card as well
    else
        card_stats_set(i, count_mods(content_list_files(h.instances[i])));
}

// --- instances appearing and vanishing on disk --------------------------------

// What the instances folder holds: its entries, each marked by whether its
// record is there yet (a folder being copied gets it last).
static std::string instances_listing(bool *incomplete) {
    std::vector<std::string> names;
    *incomplete = false;
    if (GDir *dir = g_dir_open(datapaths().instances.c_str(), 0, nullptr)) {
        while (const char *name = g_dir_read_name(dir)) {
            if (name[0] == '.') continue;
            std::string record = datapaths().instances + "/" + name + "/instance.json";
            bool has = g_file_test(record.c_str(), G_FILE_TEST_IS_REGULAR);
            *incomplete = *incomplete || !has;
            names.push_back(std::string(name) + (has ? "+" : "-"));
        }
        g_dir_close(dir);
    }
    std::sort(names.begin(), names.end());
    std::string out;
    for (const std::string &n : names)
        out += n + "\n";
    return out;
}

static gboolean recheck_instances(gpointer) {
    h.recheck = 0;
    bool incomplete = false;
    std::string now = instances_listing(&incomplete);
    if (now != h.listed) {
        fprintf(stderr, "instances changed on disk, reloading the list\n");
        refresh_instances();
    }
    // A folder without its record yet: look again a little later.
    if (incomplete && h.rechecks_left-- > 0)
        h.recheck = g_timeout_add(1000, recheck_instances, nullptr);
    return G_SOURCE_REMOVE;
}

static void on_instances_changed(GFileMonitor *, GFile *, GFile *, GFileMonitorEvent, gpointer) {
    // Events come in bursts (a copied folder): one look after they settle.
    if (h.recheck) g_source_remove(h.recheck);
    h.rechecks_left = 10;
    h.recheck = g_timeout_add(400, recheck_instances, nullptr);
}

// Watches the instances folder of the data folder in use (it changes with
// the data folder) and notes what it holds now.
static void watch_instances() {
    bool incomplete = false;
    h.listed = instances_listing(&incomplete);
    const std::string &dir = datapaths().instances;
    if (h.monitor && h.watched == dir) return;
    if (h.monitor) {
        g_file_monitor_cancel(h.monitor);
        g_object_unref(h.monitor);
        h.monitor = nullptr;
    }
    fs_mkdirs(dir);
    GFile *f = g_file_new_for_path(dir.c_str());
    h.monitor = g_file_monitor_directory(f, G_FILE_MONITOR_WATCH_MOVES, nullptr, nullptr);
    g_object_unref(f);
    h.watched = dir;
    if (h.monitor)
        g_signal_connect(h.monitor, "changed", G_CALLBACK(on_instances_changed), nullptr);
}

// --- the side panel -------------------------------------------------------------

void home_tiles_refresh() {
    // The selected instance's own memory and Java, else the settings controls'.
    int sel = home_selected();
    const Instance *inst = sel >= 0 ? &h.instances[sel] : nullptr;
    std::string ram = inst && inst->ram_mb > 0
                          ? instance_memory_text(inst->ram_mb)
                          : instance_memory_text(settings_page_ram_gb() * 1024);
    gtk_label_set_text(h.side.tile_ram, ram.c_str());
    std::string java = inst && inst->java_path ? *inst->java_path : settings_page_java_path();
    bool automatic = java.empty() || java == k_java_auto;
    gtk_label_set_text(h.side.tile_java, automatic ? "авто" : "своя");
    gtk_widget_set_tooltip_text(GTK_WIDGET(h.side.tile_java),
                                automatic ? "Нужная версия Java скачивается автоматически"
                                          : java.c_str());
}

static std::string account_line() {
    if (account_mode_on()) {
        if (account_signed_in()) return "Аккаунт " + account_player_name() + " · Brimfell ID";
        return "Аккаунт: вход не выполнен — Настройки";
    }
    std::string nick = account_nick_text();
    return "Офлайн · ник " + (nick.empty() ? std::string("Player") : nick);
}

static GtkWidget *installed_row(const ContentFile &f) {
    GtkWidget *row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 10);
    gtk_widget_add_css_class(row, "mod");
    if (f.disabled) gtk_widget_add_css_class(row, "off");
    gtk_box_append(GTK_BOX(row), letter_badge(f.title.c_str(), "mi", 34));
    GtkWidget *col = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_widget_set_hexpand(col, TRUE);
    gtk_box_append(GTK_BOX(col), content_item_title(f));
    gtk_box_append(GTK_BOX(col), content_item_detail(f));
    gtk_box_append(GTK_BOX(row), col);
    tooltip_show(row, f.filename);
    return row;
}

static void side_fill(const Instance &inst) {
    SidePanel &s = h.side;
    badge_set_letter(s.badge, inst.name.c_str());
    label_show(s.name, inst.name);
    tooltip_show(GTK_WIDGET(s.name), inst.name); // the whole of a cut name
    std::string loader = inst.loader;
    if (!inst.loader_version.empty()) loader += " " + inst.loader_version;
    std::string desc = loader + " · Minecraft " + inst.mc;
    label_show(s.desc, desc);
    label_show(s.account, account_line());

    list_box_clear(s.installed);
    std::vector<ContentFile> files = content_list_files(inst);
    for (const ContentFile &f : files)
        gtk_list_box_append(s.installed, installed_row(f));
    // One count for the tile and the card, from the same listing.
    int mods = count_mods(files);
    gtk_label_set_text(s.tile_mods, std::to_string(mods).c_str());
    card_stats_set(index_of_folder(inst.folder), mods);
    gtk_label_set_text(s.heading, files.empty()
                                      ? "В сборке пока нет модов — добавьте во вкладке «Моды»"
                                      : "Установлено в сборку");
}

void update_selection() {
    int sel = home_selected();
    for (size_t i = 0; i < h.cards.size(); i++) {
        if (static_cast<int>(i) == sel)
            gtk_widget_add_css_class(h.cards[i], "selected");
        else
            gtk_widget_remove_css_class(h.cards[i], "selected");
    }
    gtk_widget_set_visible(h.side.empty, sel < 0);
    gtk_widget_set_visible(h.side.detail, sel >= 0);
    bool none = h.instances.empty();
    gtk_label_set_text(h.side.empty_title, none ? "Нет сборок" : "Сборка не выбрана");
    gtk_label_set_text(h.side.empty_text,
                       none ? k_no_instances_hint
                            : "Выберите сборку слева: клик или Enter на карточке.");
    home_tiles_refresh();
    if (sel >= 0) side_fill(h.instances[sel]);
}

void home_page_shown() {
    update_selection();
    // The keyboard lands on the selected card (Enter plays it), or on the
    // first one shown, or on "Создать сборку" when there is none.
    int sel = home_selected();
    int target = sel;
    for (size_t i = 0; target < 0 && i < h.cards.size(); i++)
        if (gtk_widget_get_visible(card_child(static_cast<int>(i)))) target = static_cast<int>(i);
    gtk_widget_grab_focus(target >= 0 ? card_child(target) : h.create);
}

void home_page_sync_play(long long game_state) {
    bool idle = game_state == 0;
    // While the game runs the side button stops it; while it starts, nothing.
    gtk_widget_set_sensitive(h.side.play, game_state > 0 || (idle && !h.instances.empty()));
    for (GtkWidget *play : h.card_plays)
        if (gtk_widget_get_sensitive(play) != idle) gtk_widget_set_sensitive(play, idle);
    const char *text = idle ? "Играть" : game_state > 0 ? "Остановить" : "В игре";
    if (strcmp(gtk_label_get_text(h.side.play_label), text) != 0) {
        gtk_label_set_text(h.side.play_label, text);
        widget_set_accessible_label(h.side.play, text);
    }
}

// --- playing ----------------------------------------------------------------------

namespace {
struct PlayRequest {
    std::string folder, nick, server;
    int ram_gb = 4;
    bool hide_window = false;
    bool account_mode = false;
    bool java_insist = false; // the player said to go ahead with an old Java
    std::string java_too_old; // why the launch asks first
    bool ran = false;         // the game started (and has ended when done runs)
    int pid = 0;
    bool stopped = false;             // ended by "Остановить", not a crash
    std::unique_ptr<CrashHelp> crash; // why the game crashed
};

// The game the player asked to stop, so that its end is not taken for a crash.
std::atomic<long long> g_stopping{0};
} // namespace

// A line of the game's output as the log shows it: valid UTF-8 (the view
// drops invalid text) and without the session token, which must not end up
// in launcher.log when the game prints its arguments.
static std::string game_line_for_log(const char *line, const std::string &token) {
    char *valid = g_utf8_make_valid(line, -1);
    std::string out = valid;
    g_free(valid);
    if (token.size() >= 8) {
        for (size_t at = out.find(token); at != std::string::npos; at = out.find(token, at))
            out.replace(at, token.size(), "***");
    }
    return out;
}

// Copies the game's output into the log line by line until it ends; tail
// keeps its end for the explanation of a crash.
static void pump_game_output(int fd, const std::string &token, std::string &tail) {
    FILE *in = fdopen(fd, "r");
    if (!in) {
        close(fd);
        return;
    }
    char line[4096];
    while (fgets(line, sizeof line, in)) {
        crash_tail_append(tail, line, strlen(line));
        if (char *nl = strchr(line, '\n')) *nl = '\0';
        gui_log(game_line_for_log(line, token).c_str());
    }
    fclose(in);
}

static void play_work(PlayRequest &r) {
    std::optional<Instance> inst = instance_find(r.folder);
    if (!inst) {
        gui_log("Сборка не найдена");
        gui_game_state.store(0);
        return;
    }
    gui_set_status("Подготовка к запуску...");
    std::optional<std::string> server;
    if (!r.server.empty()) server = r.server;
    int pid = 0, fd = -1;
    long long launched_at = time(nullptr);
    std::string err;
    int launched = instance_prepare_launch(*inst, r.nick, r.ram_gb * 1024, server, &pid, &fd,
                                           nullptr, &err, r.java_insist);
    if (launched == k_launch_java_too_old) {
        r.java_too_old = err;
        gui_set_status(err.c_str());
        gui_game_state.store(0);
        return;
    }
    if (launched != 0) {
        gui_log("Не удалось запустить");
        gui_idle(update_account_view);
        bool expired = r.account_mode && !account_signed_in();
        gui_set_status(expired ? "Сессия аккаунта истекла — войдите заново"
                               : "Ошибка запуска — см. Журнал");
        gui_game_state.store(0);
        return;
    }
    r.ran = true;
    r.pid = pid;
    gui_game_state.store(pid);
    std::string started = "Игра запущена: " + inst->name;
    gui_set_status(started.c_str());
    if (r.hide_window) gui_idle([] { gtk_widget_set_visible(GTK_WIDGET(gui.window), FALSE); });
    CrashInput crash;
    pump_game_output(fd, account_session_token(), crash.output);
    int code = proc_wait(pid);
    long long asked = pid;
    r.stopped = g_stopping.compare_exchange_strong(asked, 0);
    char ended[96];
    if (r.stopped)
        snprintf(ended, sizeof ended, "Игра остановлена по просьбе игрока (код %d)", code);
    else
        snprintf(ended, sizeof ended, "Игра завершилась (код %d)", code);
    gui_log(ended);
    gui_set_status(ended);
    if (code != 0 && !r.stopped) {
        crash.ram_mb = inst->ram_mb > 0 ? inst->ram_mb : r.ram_gb * 1024;
        crash.exit_code = code;
        crash_help_collect(game_directory(inst->version_id, inst->folder), launched_at, crash);
        r.crash = std::make_unique<CrashHelp>(crash_explain(crash));
        // In the log as well, for a copy of the whole log sent for help.
        std::string text = crash_help_text(*r.crash);
        text.pop_back();
        gui_log(text.c_str());
    }
    gui_game_state.store(0);
}

static void start_play_as(int index, bool java_insist);

// The Java chosen by hand is too old: the player decides.
static void ask_java(const PlayRequest &r) {
    std::string folder = r.folder;
    message_dialog(gui.window, GTK_MESSAGE_WARNING, r.java_too_old,
                   "Java выбрана вручную (в настройках или в настройках сборки). С ней игра, "
                   "скорее всего, не запустится; с Java «авто» лаунчер сам скачает нужную.",
                   {"Отмена", "Запустить всё равно"}, [folder](int answer) {
                       int i = index_of_folder(folder);
                       if (answer == 1 && i >= 0 && gui_game_state.load() == 0)
                           start_play_as(i, true);
                       return false;
                   });
}

static void play_done(PlayRequest &r) {
    if (!r.java_too_old.empty()) return ask_java(r);
    if (!r.ran) return;
    if (!gtk_widget_get_visible(GTK_WIDGET(gui.window))) gtk_window_present(gui.window);
    refresh_instances();
    if (r.crash) {
        logpage_follow_end();
        game_crash_dialog(*r.crash);
    }
}

void start_play(int index) {
    start_play_as(index, false);
}

static void start_play_as(int index, bool java_insist) {
    if (account_mode_on() && !account_signed_in()) {
        gui_set_status("Войдите в аккаунт Brimfell ID или переключитесь на «Офлайн»");
        show_page("settings");
        account_focus_login();
        return;
    }
    if (index < 0 || index >= static_cast<int>(h.instances.size())) return;
    gtk_drop_down_set_selected(h.selection, static_cast<guint>(index));
    std::string nick = account_nick_text();
    if (nick.empty()) nick = "Player";
    if (std::string why = settings_nick_warning(nick); !why.empty())
        gui_log(("Внимание: " + why).c_str());
    collect_settings();
    auto req = std::make_unique<PlayRequest>();
    req->folder = h.instances[index].folder;
    req->nick = nick;
    req->server = g_settings.server;
    req->ram_gb = g_settings.ram_gb;
    req->hide_window = g_settings.close_on_play;
    req->account_mode = account_mode_on();
    req->java_insist = java_insist;
    gui_game_state.store(-1);
    gui_worker_start("play", std::move(req), play_work, play_done);
}

// --- the instance's folder and deletion ---------------------------------------------

static void on_open_folder(GtkButton *, gpointer) {
    int sel = home_selected();
    if (sel < 0) return;
    std::string dir = instance_dir(h.instances[sel]);
    gui_log(dir.c_str());
    window_open_folder(dir);
}

static void on_delete_answer(GtkDialog *dialog, int response, gpointer data) {
    std::unique_ptr<Instance> target(static_cast<Instance *>(data));
    gtk_window_destroy(GTK_WINDOW(dialog));
    if (response != GTK_RESPONSE_ACCEPT) return;
    std::optional<Instance> inst = instance_find(target->folder);
    if (inst && inst->folder == target->folder && instance_delete(*inst) == 0) {
        std::string done = "Сборка «" + inst->name + "» удалена";
        gui_log(done.c_str());
        gui_set_status(done.c_str());
    }
    refresh_instances();
}

static void on_delete(GtkButton *, gpointer) {
    int sel = home_selected();
    if (sel < 0) return;
    const Instance &inst = h.instances[sel];
    GtkWidget *dialog =
        message_dialog(gui.window, GTK_MESSAGE_QUESTION, "Удалить сборку «" + inst.name + "»?",
                       "Будет удалена папка сборки со всеми модами, мирами и "
                       "настройками. Файлы версии Minecraft останутся.");
    dialog_button(dialog, "Отмена", GTK_RESPONSE_CANCEL);
    gtk_widget_add_css_class(dialog_button(dialog, "Удалить", GTK_RESPONSE_ACCEPT),
                             "destructive-action");
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    g_signal_connect(dialog, "response", G_CALLBACK(on_delete_answer), new Instance(inst));
    gtk_window_present(GTK_WINDOW(dialog));
}

static void on_instance_settings(GtkButton *, gpointer) {
    int sel = home_selected();
    if (sel >= 0) instance_settings_dialog(h.instances[sel]);
}

static void on_export(GtkButton *, gpointer) {
    int sel = home_selected();
    if (sel >= 0) instance_export_dialog(h.instances[sel]);
}

// --- building the page -------------------------------------------------------------

static void on_chip(GtkButton *, gpointer data) {
    h.filter = GPOINTER_TO_INT(data);
    apply_filter();
    update_selection();
}

static void on_search_changed(GtkSearchEntry *, gpointer) {
    apply_filter();
    update_selection();
}

static void on_sort_changed(GObject *, GParamSpec *, gpointer) {
    std::vector<Instance> list = h.instances;
    instances_show(std::move(list), selected_folder(h.selection),
                   selected_folder(h.content_selection));
}

static void on_show_create(GtkButton *, gpointer) {
    show_page("create");
}

static void on_selection_changed(GObject *, GParamSpec *, gpointer) {
    if (!h.refreshing) update_selection();
}

// SIGTERM to the game's process group, SIGKILL to what is left after a few
// seconds (a stuck game, or a helper process it started).
static void ask_stop() {
    long long pid = gui_game_state.load();
    if (pid <= 0) return;
    message_dialog(gui.window, GTK_MESSAGE_QUESTION, "Остановить игру?",
                   "Игра будет закрыта, а если она не ответит за 5 секунд — завершена "
                   "принудительно. Несохранённое в мире может пропасть.",
                   {"Отмена", "Остановить"}, [pid](int answer) {
                       if (answer != 1 || gui_game_state.load() != pid) return false;
                       g_stopping.store(pid);
                       gui_log("Останавливаю игру...");
                       gui_worker_start(
                           "stop", [pid] { proc_stop_group(static_cast<int>(pid), 5000); }, [] {});
                       return false;
                   });
}

static void on_side_play(GtkButton *, gpointer) {
    int sel = home_selected();
    long long state = gui_game_state.load();
    if (state > 0)
        ask_stop();
    else if (sel >= 0 && state == 0)
        start_play(sel);
}

// The loader chips wrap onto a second line in a narrow window, never more:
// a column of chips would make the window taller than a small screen.
static GtkWidget *filter_chips() {
    GtkWidget *flow = gtk_flow_box_new();
    gtk_flow_box_set_selection_mode(GTK_FLOW_BOX(flow), GTK_SELECTION_NONE);
    gtk_flow_box_set_min_children_per_line(GTK_FLOW_BOX(flow), (k_filter_count + 1) / 2);
    gtk_flow_box_set_max_children_per_line(GTK_FLOW_BOX(flow), k_filter_count);
    gtk_flow_box_set_column_spacing(GTK_FLOW_BOX(flow), 8);
    gtk_flow_box_set_row_spacing(GTK_FLOW_BOX(flow), 8);
    gtk_widget_set_margin_bottom(flow, 14);
    for (int i = 0; i < k_filter_count; i++) {
        GtkWidget *chip = gtk_button_new_with_label(k_filters[i]);
        gtk_widget_add_css_class(chip, "chip");
        gtk_widget_set_valign(chip, GTK_ALIGN_CENTER);
        g_signal_connect(chip, "clicked", G_CALLBACK(on_chip), GINT_TO_POINTER(i));
        gtk_flow_box_append(GTK_FLOW_BOX(flow), chip);
        gtk_widget_set_focusable(gtk_widget_get_parent(chip), FALSE); // Tab stops on the chip
        h.chips[i] = chip;
    }
    return flow;
}

// The search over the names and the order of the cards.
static GtkWidget *tools_row() {
    GtkWidget *row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_widget_set_margin_top(row, 16);
    gtk_widget_set_margin_bottom(row, 10);
    GtkWidget *search = gtk_search_entry_new();
    const char *hint = "Найти сборку";
    g_object_set(search, "placeholder-text", hint, nullptr);
    widget_set_accessible_label(search, hint);
    gtk_editable_set_width_chars(GTK_EDITABLE(search), 8);
    gtk_widget_set_hexpand(search, TRUE);
    g_signal_connect(search, "search-changed", G_CALLBACK(on_search_changed), nullptr);
    gtk_box_append(GTK_BOX(row), search);
    h.search = GTK_EDITABLE(search);
    GtkWidget *sort = gtk_drop_down_new_from_strings(k_sorts);
    gtk_widget_set_tooltip_text(sort, "Порядок сборок");
    widget_set_accessible_label(sort, "Порядок сборок");
    g_signal_connect(sort, "notify::selected", G_CALLBACK(on_sort_changed), nullptr);
    gtk_box_append(GTK_BOX(row), sort);
    h.sort = GTK_DROP_DOWN(sort);
    return row;
}

static GtkWidget *data_tip() {
    GtkWidget *tip = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    gtk_widget_add_css_class(tip, "tip");
    gtk_widget_set_margin_top(tip, 14);
    gtk_box_append(GTK_BOX(tip), gtk_label_new("Папка игр:"));
    GtkWidget *path = text_label(datapaths().data.c_str(), "tip-b");
    gtk_label_set_ellipsize(GTK_LABEL(path), PANGO_ELLIPSIZE_MIDDLE);
    gtk_widget_set_hexpand(path, TRUE);
    gtk_box_append(GTK_BOX(tip), path);
    h.data_folder = GTK_LABEL(path);
    GtkWidget *change = gtk_button_new_with_label("Изменить");
    gtk_widget_add_css_class(change, "linkacc");
    g_signal_connect(change, "clicked",
                     G_CALLBACK(+[](GtkButton *, gpointer) { datadir_change_start(); }), nullptr);
    gtk_box_append(GTK_BOX(tip), change);
    return tip;
}

static GtkWidget *left_column() {
    GtkWidget *col = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_widget_set_hexpand(col, TRUE);
    GtkWidget *head = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    GtkWidget *title = text_label("Мои сборки", "h1");
    gtk_widget_set_hexpand(title, TRUE);
    gtk_box_append(GTK_BOX(head), title);
    GtkWidget *create = icon_label_button(ICON_PLUS, 16, "Создать сборку", "newb");
    gtk_widget_set_valign(create, GTK_ALIGN_CENTER);
    g_signal_connect(create, "clicked", G_CALLBACK(on_show_create), nullptr);
    gtk_box_append(GTK_BOX(head), create);
    h.create = create;
    gtk_box_append(GTK_BOX(col), head);
    GtkWidget *count = text_label("", "sub");
    gtk_label_set_ellipsize(GTK_LABEL(count), PANGO_ELLIPSIZE_END);
    gtk_widget_set_margin_top(count, 4);
    gtk_box_append(GTK_BOX(col), count);
    h.count_line = GTK_LABEL(count);
    gtk_box_append(GTK_BOX(col), tools_row());
    gtk_box_append(GTK_BOX(col), filter_chips());

    GtkWidget *flow = tile_flow(1, 2, 12);
    gtk_widget_set_valign(flow, GTK_ALIGN_START);
    gtk_flow_box_set_activate_on_single_click(GTK_FLOW_BOX(flow), FALSE);
    GtkEventController *keys = gtk_event_controller_key_new();
    gtk_event_controller_set_propagation_phase(keys, GTK_PHASE_CAPTURE);
    g_signal_connect(keys, "key-pressed", G_CALLBACK(on_cards_key), nullptr);
    gtk_widget_add_controller(flow, keys);
    h.flow = GTK_FLOW_BOX(flow);
    gtk_box_append(GTK_BOX(col), vertical_scroller(flow));
    gtk_box_append(GTK_BOX(col), data_tip());
    return col;
}

static GtkWidget *empty_box() {
    GtkWidget *box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 10);
    gtk_widget_set_vexpand(box, TRUE);
    GtkWidget *title = text_label("Нет сборок", "side-name");
    gtk_box_append(GTK_BOX(box), title);
    GtkWidget *text = text_label(k_no_instances_hint, "sub");
    gtk_label_set_wrap(GTK_LABEL(text), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(text), 30);
    gtk_box_append(GTK_BOX(box), text);
    h.side.empty_title = GTK_LABEL(title);
    h.side.empty_text = GTK_LABEL(text);
    GtkWidget *create = gtk_button_new_with_label("Создать сборку");
    gtk_widget_add_css_class(create, "accent");
    g_signal_connect(create, "clicked", G_CALLBACK(on_show_create), nullptr);
    gtk_box_append(GTK_BOX(box), create);
    return box;
}

static GtkWidget *detail_header() {
    SidePanel &s = h.side;
    // A long name is cut at the end; the whole of it is in the tooltip.
    return badge_title_row("", &s.badge, &s.name, &s.desc);
}

static GtkWidget *play_button() {
    GtkWidget *b = gtk_button_new();
    gtk_widget_add_css_class(b, "big");
    GtkWidget *row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_widget_set_halign(row, GTK_ALIGN_CENTER);
    gtk_box_append(GTK_BOX(row), icon_new(ICON_PLAY, 16));
    GtkWidget *label = gtk_label_new("Играть");
    gtk_box_append(GTK_BOX(row), label);
    gtk_button_set_child(GTK_BUTTON(b), row);
    widget_set_accessible_label(b, "Играть");
    g_signal_connect(b, "clicked", G_CALLBACK(on_side_play), nullptr);
    h.side.play = b;
    h.side.play_label = GTK_LABEL(label);
    return b;
}

// A button of the side panel's action rows.
static GtkWidget *side_action(GtkWidget *row, int icon, const char *label, const char *tooltip,
                              GCallback clicked, bool expand) {
    GtkWidget *b = icon_label_button(icon, 16, label, "btn");
    gtk_widget_set_hexpand(b, expand);
    if (tooltip) gtk_widget_set_tooltip_text(b, tooltip);
    g_signal_connect(b, "clicked", clicked, nullptr);
    gtk_box_append(GTK_BOX(row), b);
    return b;
}

static GtkWidget *detail_box() {
    SidePanel &s = h.side;
    GtkWidget *box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    gtk_widget_set_vexpand(box, TRUE);
    gtk_box_append(GTK_BOX(box), detail_header());
    // The account line sits closer under the play button than the panel's
    // spacing (GTK has no negative margins).
    GtkWidget *play = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
    gtk_box_append(GTK_BOX(play), play_button());
    GtkWidget *account = text_label("", "sub2");
    gtk_label_set_ellipsize(GTK_LABEL(account), PANGO_ELLIPSIZE_END);
    gtk_box_append(GTK_BOX(play), account);
    gtk_box_append(GTK_BOX(box), play);
    s.account = GTK_LABEL(account);

    GtkWidget *tiles = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_box_set_homogeneous(GTK_BOX(tiles), TRUE);
    gtk_box_append(GTK_BOX(tiles), stat_tile("Моды", &s.tile_mods));
    gtk_box_append(GTK_BOX(tiles), stat_tile("Память", &s.tile_ram));
    gtk_box_append(GTK_BOX(tiles), stat_tile("Java", &s.tile_java));
    gtk_box_append(GTK_BOX(box), tiles);

    GtkWidget *actions = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    side_action(actions, ICON_FOLDER, "Папка сборки", nullptr, G_CALLBACK(on_open_folder), true);
    GtkWidget *del =
        side_action(actions, ICON_CROSS, "Удалить", "Удалить сборку", G_CALLBACK(on_delete), false);
    gtk_widget_add_css_class(del, "danger");
    gtk_box_append(GTK_BOX(box), actions);
    GtkWidget *more = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    side_action(more, ICON_GEAR, "Настройки сборки", nullptr, G_CALLBACK(on_instance_settings),
                true);
    side_action(more, ICON_DOWNLOAD, "Экспорт…", "Сохранить сборку как модпак .mrpack",
                G_CALLBACK(on_export), false);
    gtk_box_append(GTK_BOX(box), more);

    GtkWidget *heading = text_label("Установлено в сборку", "h3");
    gtk_label_set_wrap(GTK_LABEL(heading), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(heading), 30);
    gtk_widget_set_margin_top(heading, 4);
    gtk_box_append(GTK_BOX(box), heading);
    s.heading = GTK_LABEL(heading);

    GtkWidget *list = plain_list();
    s.installed = GTK_LIST_BOX(list);
    gtk_box_append(GTK_BOX(box), vertical_scroller(list));
    return box;
}

static GtkWidget *side_panel() {
    GtkWidget *side = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    gtk_widget_add_css_class(side, "side");
    h.side.empty = empty_box();
    h.side.detail = detail_box();
    gtk_widget_set_visible(h.side.detail, FALSE);
    gtk_box_append(GTK_BOX(side), h.side.empty);
    gtk_box_append(GTK_BOX(side), h.side.detail);
    return fixed_width(side, k_side_width);
}

GtkWidget *home_page_build() {
    h.model = gtk_string_list_new(nullptr);
    // The selection drop-down is never shown; the page keeps it alive.
    GtkWidget *dd = gtk_drop_down_new(G_LIST_MODEL(g_object_ref(h.model)), nullptr);
    g_object_ref_sink(dd);
    h.selection = GTK_DROP_DOWN(dd);
    g_signal_connect(dd, "notify::selected", G_CALLBACK(on_selection_changed), nullptr);

    GtkWidget *page = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 22);
    gtk_widget_set_margin_start(page, 24);
    gtk_widget_set_margin_end(page, 24);
    gtk_widget_set_margin_top(page, 22);
    gtk_widget_set_margin_bottom(page, 22);
    gtk_box_append(GTK_BOX(page), left_column());
    gtk_box_append(GTK_BOX(page), side_panel());
    gtk_label_set_text(h.count_line, home_count_line(0).c_str());
    return page;
}
