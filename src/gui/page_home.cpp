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

#include "base/proc.h"
#include "base/strings.h"
#include "config/datadir.h"
#include "config/settings.h"
#include "game/java.h"
#include "gui/account_panel.h"
#include "gui/bridge.h"
#include "gui/icons.h"
#include "gui/instance_dialogs.h"
#include "gui/page_settings.h"
#include "gui/pages.h"
#include "gui/widgets.h"
#include "gui/window.h"
#include "instances/content.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

// Filter chips: 0 shows every instance, the others one loader.
const char *const k_filters[5] = {"Все", "Fabric", "Forge", "NeoForge", "Vanilla"};

struct SidePanel {
    GtkWidget *empty = nullptr, *detail = nullptr, *badge = nullptr, *play = nullptr;
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
    GtkFlowBox *flow = nullptr;
    GtkWidget *chips[5] = {};
    int filter = 0;
    std::string pending;     // folder id to select at the next refresh
    bool refreshing = false; // selection changes during a refresh are not user choices
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

void home_select_next(const std::string &folder) {
    h.pending = folder;
}

void home_set_data_folder(const std::string &shown) {
    label_show(h.data_folder, shown);
}

static void apply_filter() {
    for (size_t i = 0; i < h.cards.size(); i++) {
        bool shown = h.filter == 0 || h.instances[i].loader == k_filters[h.filter];
        gtk_widget_set_visible(gtk_widget_get_parent(h.cards[i]), shown);
    }
    for (int i = 0; i < 5; i++) {
        if (i == h.filter)
            gtk_widget_add_css_class(h.chips[i], "on");
        else
            gtk_widget_remove_css_class(h.chips[i], "on");
    }
}

// A press on a card selects it; a double press plays it.
static void on_card_pressed(GtkGestureClick *, int n_press, double, double, gpointer data) {
    int i = GPOINTER_TO_INT(data);
    if (i >= static_cast<int>(h.instances.size())) return;
    gtk_drop_down_set_selected(h.selection, static_cast<guint>(i));
    if (n_press == 2 && gui_game_state.load() == 0) start_play(i);
}

static void on_card_play(GtkButton *, gpointer data) {
    int i = GPOINTER_TO_INT(data);
    if (i < static_cast<int>(h.instances.size()) && gui_game_state.load() == 0) start_play(i);
}

static GtkWidget *card_build(int i, const Instance &inst) {
    GtkWidget *card = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    gtk_widget_add_css_class(card, "icard");
    gtk_widget_set_cursor_from_name(card, "pointer");
    gtk_widget_set_size_request(card, 230, -1);
    gtk_box_append(GTK_BOX(card), letter_badge(inst.name.c_str(), "ic", 52));

    GtkWidget *col = gtk_box_new(GTK_ORIENTATION_VERTICAL, 1);
    gtk_widget_set_hexpand(col, TRUE);
    gtk_widget_set_valign(col, GTK_ALIGN_CENTER);
    GtkWidget *name = text_label(inst.name.c_str(), "iname");
    gtk_label_set_ellipsize(GTK_LABEL(name), PANGO_ELLIPSIZE_END);
    gtk_label_set_width_chars(GTK_LABEL(name), 8);
    gtk_box_append(GTK_BOX(col), name);
    std::string sub = inst.loader + " · " + inst.mc;
    GtkWidget *isub = text_label(sub.c_str(), "isub");
    gtk_label_set_ellipsize(GTK_LABEL(isub), PANGO_ELLIPSIZE_END);
    gtk_box_append(GTK_BOX(col), isub);
    int mods = count_mods(content_list_files(inst));
    std::string stats = home_card_stats(inst.last_played, inst.created, mods);
    GtkWidget *small = text_label(stats.c_str(), "ismall");
    gtk_label_set_ellipsize(GTK_LABEL(small), PANGO_ELLIPSIZE_END);
    gtk_box_append(GTK_BOX(col), small);
    gtk_box_append(GTK_BOX(card), col);

    GtkWidget *play = icon_button(ICON_PLAY, 16, "pl", "Играть");
    gtk_widget_set_valign(play, GTK_ALIGN_CENTER);
    g_signal_connect(play, "clicked", G_CALLBACK(on_card_play), GINT_TO_POINTER(i));
    gtk_box_append(GTK_BOX(card), play);

    GtkGesture *press = gtk_gesture_click_new();
    g_signal_connect(press, "pressed", G_CALLBACK(on_card_pressed), GINT_TO_POINTER(i));
    gtk_widget_add_controller(card, GTK_EVENT_CONTROLLER(press));
    return card;
}

static void cards_rebuild() {
    while (GtkWidget *child = gtk_widget_get_first_child(GTK_WIDGET(h.flow)))
        gtk_flow_box_remove(h.flow, child);
    h.cards.clear();
    for (size_t i = 0; i < h.instances.size(); i++) {
        GtkWidget *card = card_build(static_cast<int>(i), h.instances[i]);
        gtk_flow_box_append(h.flow, card);
        h.cards.push_back(card);
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

void refresh_instances() {
    std::string want;
    int sel = home_selected();
    if (!h.pending.empty())
        want.swap(h.pending);
    else if (sel >= 0)
        want = h.instances[sel].folder;
    else
        want = g_settings.last_instance;
    int content_sel = selected_in(h.content_selection);
    std::string content_want = content_sel >= 0 ? h.instances[content_sel].folder : "";

    h.instances = instance_list();
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

    gtk_label_set_text(h.count_line, home_count_line(count).c_str());
    apply_filter();
    update_selection();
    content_page_refresh_installed();
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
    gtk_box_append(GTK_BOX(row), letter_badge(f.title.c_str(), "mi", 34));
    GtkWidget *col = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_widget_set_hexpand(col, TRUE);
    GtkWidget *title = text_label(f.title.c_str(), "mod-t");
    gtk_label_set_ellipsize(GTK_LABEL(title), PANGO_ELLIPSIZE_END);
    gtk_box_append(GTK_BOX(col), title);
    std::string sub = f.source + " · " + content_folder_name(f.type);
    GtkWidget *s = text_label(sub.c_str(), "mod-s");
    gtk_label_set_ellipsize(GTK_LABEL(s), PANGO_ELLIPSIZE_END);
    gtk_box_append(GTK_BOX(col), s);
    gtk_box_append(GTK_BOX(row), col);
    tooltip_show(row, f.filename);
    return row;
}

static void side_fill(const Instance &inst) {
    SidePanel &s = h.side;
    badge_set_letter(s.badge, inst.name.c_str());
    label_show(s.name, inst.name);
    std::string loader = inst.loader;
    if (!inst.loader_version.empty()) loader += " " + inst.loader_version;
    std::string desc = loader + " · Minecraft " + inst.mc;
    label_show(s.desc, desc);
    label_show(s.account, account_line());

    list_box_clear(s.installed);
    std::vector<ContentFile> files = content_list_files(inst);
    for (const ContentFile &f : files)
        gtk_list_box_append(s.installed, installed_row(f));
    gtk_label_set_text(s.tile_mods, std::to_string(count_mods(files)).c_str());
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
    home_tiles_refresh();
    if (sel >= 0) side_fill(h.instances[sel]);
}

void home_page_shown() {
    update_selection();
}

void home_page_sync_play(long long game_state) {
    bool idle = game_state == 0;
    gtk_widget_set_sensitive(h.side.play, idle && !h.instances.empty());
    const char *text = idle ? "Играть" : "В игре";
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
    bool ran = false; // the game started (and has ended when done runs)
};
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

// Copies the game's output into the log line by line until it ends.
static void pump_game_output(int fd, const std::string &token) {
    FILE *in = fdopen(fd, "r");
    if (!in) {
        close(fd);
        return;
    }
    char line[4096];
    while (fgets(line, sizeof line, in)) {
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
    if (instance_prepare_launch(*inst, r.nick, r.ram_gb * 1024, server, &pid, &fd) != 0) {
        gui_log("Не удалось запустить");
        gui_idle(update_account_view);
        bool expired = r.account_mode && !account_signed_in();
        gui_set_status(expired ? "Сессия аккаунта истекла — войдите заново"
                               : "Ошибка запуска — см. Журнал");
        gui_game_state.store(0);
        return;
    }
    r.ran = true;
    gui_game_state.store(pid);
    std::string started = "Игра запущена: " + inst->name;
    gui_set_status(started.c_str());
    if (r.hide_window) gui_idle([] { gtk_widget_set_visible(GTK_WIDGET(gui.window), FALSE); });
    pump_game_output(fd, account_session_token());
    int code = proc_wait(pid);
    char ended[64];
    snprintf(ended, sizeof ended, "Игра завершилась (код %d)", code);
    gui_log(ended);
    gui_set_status(ended);
    gui_game_state.store(0);
}

static void play_done(PlayRequest &r) {
    if (!r.ran) return;
    if (!gtk_widget_get_visible(GTK_WIDGET(gui.window))) gtk_window_present(gui.window);
    refresh_instances();
}

void start_play(int index) {
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
    GtkWidget *dialog = gtk_message_dialog_new(
        gui.window, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE, "Удалить сборку «%s»?",
        str_display(inst.name).c_str());
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog),
                                             "Будет удалена папка сборки со всеми модами, мирами и "
                                             "настройками. Файлы версии Minecraft останутся.");
    gtk_dialog_add_button(GTK_DIALOG(dialog), "Отмена", GTK_RESPONSE_CANCEL);
    gtk_dialog_add_button(GTK_DIALOG(dialog), "Удалить", GTK_RESPONSE_ACCEPT);
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
}

static void on_show_create(GtkButton *, gpointer) {
    show_page("create");
}

static void on_selection_changed(GObject *, GParamSpec *, gpointer) {
    if (!h.refreshing) update_selection();
}

static void on_side_play(GtkButton *, gpointer) {
    int sel = home_selected();
    if (sel >= 0 && gui_game_state.load() == 0) start_play(sel);
}

static GtkWidget *filter_row() {
    GtkWidget *row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_widget_set_margin_top(row, 16);
    gtk_widget_set_margin_bottom(row, 14);
    for (int i = 0; i < 5; i++) {
        GtkWidget *chip = gtk_button_new_with_label(k_filters[i]);
        gtk_widget_add_css_class(chip, "chip");
        gtk_widget_set_valign(chip, GTK_ALIGN_CENTER);
        g_signal_connect(chip, "clicked", G_CALLBACK(on_chip), GINT_TO_POINTER(i));
        gtk_box_append(GTK_BOX(row), chip);
        h.chips[i] = chip;
    }
    GtkWidget *spacer = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_widget_set_hexpand(spacer, TRUE);
    gtk_box_append(GTK_BOX(row), spacer);
    GtkWidget *create = icon_label_button(ICON_PLUS, 16, "Создать сборку", "newb");
    g_signal_connect(create, "clicked", G_CALLBACK(on_show_create), nullptr);
    gtk_box_append(GTK_BOX(row), create);
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
    GtkWidget *title = text_label("Мои сборки", "h1");
    gtk_box_append(GTK_BOX(col), title);
    GtkWidget *count = text_label("", "sub");
    gtk_label_set_ellipsize(GTK_LABEL(count), PANGO_ELLIPSIZE_END);
    gtk_widget_set_margin_top(count, 4);
    gtk_box_append(GTK_BOX(col), count);
    h.count_line = GTK_LABEL(count);
    gtk_box_append(GTK_BOX(col), filter_row());

    GtkWidget *flow = tile_flow(1, 2, 12);
    gtk_widget_set_valign(flow, GTK_ALIGN_START);
    h.flow = GTK_FLOW_BOX(flow);
    gtk_box_append(GTK_BOX(col), vertical_scroller(flow));
    gtk_box_append(GTK_BOX(col), data_tip());
    return col;
}

static GtkWidget *empty_box() {
    GtkWidget *box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 10);
    gtk_widget_set_vexpand(box, TRUE);
    gtk_box_append(GTK_BOX(box), text_label("Нет сборок", "side-name"));
    GtkWidget *text = text_label("Создайте первую сборку: выберите версию Minecraft и загрузчик "
                                 "модов — всё нужное скачается автоматически.",
                                 "sub");
    gtk_label_set_wrap(GTK_LABEL(text), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(text), 30);
    gtk_box_append(GTK_BOX(box), text);
    GtkWidget *create = gtk_button_new_with_label("Создать сборку");
    gtk_widget_add_css_class(create, "accent");
    g_signal_connect(create, "clicked", G_CALLBACK(on_show_create), nullptr);
    gtk_box_append(GTK_BOX(box), create);
    return box;
}

static GtkWidget *detail_header() {
    SidePanel &s = h.side;
    GtkWidget *row = badge_title_row("", &s.badge, &s.name, &s.desc);
    // A long name takes a second line before it is cut.
    gtk_label_set_wrap(s.name, TRUE);
    gtk_label_set_wrap_mode(s.name, PANGO_WRAP_WORD_CHAR);
    gtk_label_set_lines(s.name, 2);
    return row;
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
    gtk_widget_set_size_request(side, 330, -1);
    gtk_widget_set_hexpand(side, FALSE);
    h.side.empty = empty_box();
    h.side.detail = detail_box();
    gtk_widget_set_visible(h.side.detail, FALSE);
    gtk_box_append(GTK_BOX(side), h.side.empty);
    gtk_box_append(GTK_BOX(side), h.side.detail);
    return side;
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
