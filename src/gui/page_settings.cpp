// Settings page: the account panel, every setting control (copied into
// Settings only by collect_settings), the data folder with its change on the
// "datadir" worker, the renderer for the next start and the logs folder.
//
// Interface thread only; the "datadir" worker gets the chosen folder and the
// move flag and touches no widget.
#include "gui/page_settings.h"

#include "base/strings.h"
#include "config/datadir.h"
#include "config/settings.h"
#include "gui/account_panel.h"
#include "gui/bridge.h"
#include "gui/page_home.h"
#include "gui/pages.h"
#include "gui/widgets.h"
#include "gui/window.h"
#include "net/endpoints.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace {

// Renderer drop-down entries, by the index of the setting each stands for
// (k_renderer_values).
const char *const k_renderer_names[4] = {"Авто", "OpenGL", "Vulkan", "Программная (стабильнее)"};

struct SettingsPage {
    GtkRange *ram = nullptr;
    GtkLabel *ram_value = nullptr;
    GtkLabel *ram_warning = nullptr;
    GtkEditable *java = nullptr, *jvm = nullptr, *server = nullptr, *cf_key = nullptr;
    // Their values as loaded, kept whole until edited.
    FilledText java_text, jvm_text, server_text, cf_key_text;
    GtkSpinButton *width = nullptr, *height = nullptr;
    GtkSwitch *close_on_play = nullptr;
    GtkDropDown *renderer = nullptr;
    GtkLabel *data_folder = nullptr, *data_source = nullptr;
    GtkWidget *change = nullptr;
};
SettingsPage p;

// The right column's wrapping texts.
GtkWidget *wrapped(const char *text, const char *css_class) {
    return wrapped_label(text, css_class, 30);
}

} // namespace

static int renderer_index(const std::string &setting) {
    for (int i = 1; i < 4; i++)
        if (setting == k_renderer_values[i]) return i;
    return 0;
}

int settings_page_ram_gb() {
    return static_cast<int>(gtk_range_get_value(p.ram));
}

std::string settings_page_java_path() {
    return filled_text_get(p.java_text);
}

void collect_settings() {
    Settings &s = g_settings;
    // An empty nick is not saved: the last one stays (the hint asks for one).
    if (std::string nick = account_nick_text(); !nick.empty()) s.nick = nick;
    s.ram_gb = settings_page_ram_gb();
    s.java_path = filled_text_get(p.java_text);
    s.jvm_args = filled_text_get(p.jvm_text);
    // A number typed but not yet confirmed counts too.
    gtk_spin_button_update(p.width);
    gtk_spin_button_update(p.height);
    s.width = gtk_spin_button_get_value_as_int(p.width);
    s.height = gtk_spin_button_get_value_as_int(p.height);
    s.close_on_play = gtk_switch_get_active(p.close_on_play);
    s.server = filled_text_get(p.server_text);
    s.curseforge_api_key = str_trim(filled_text_get(p.cf_key_text));
    guint r = gtk_drop_down_get_selected(p.renderer);
    s.renderer = r < 4 ? k_renderer_values[r] : "auto";
    int sel = home_selected();
    if (sel >= 0) s.last_instance = home_instances()[sel].folder;
    settings_save();
}

// --- the data folder ------------------------------------------------------------

static void data_folder_labels() {
    label_show(p.data_folder, datapaths().data);
    std::string source = std::string("Источник: ") + datadir_label() +
                         " · игры, Java, библиотеки, ресурсы и сборки хранятся здесь";
    label_show(p.data_source, source, true);
    home_set_data_folder(datapaths().data);
}

namespace {
struct DatadirRequest {
    std::string folder;
    bool move = false;
    int result = -1;
    std::string error;
};
enum { k_answer_move = 1, k_answer_switch = 2 };
} // namespace

static void datadir_work(DatadirRequest &r) {
    r.result = datadir_relocate(r.folder, r.move, &r.error);
}

static void datadir_done(DatadirRequest &r) {
    gtk_widget_set_sensitive(p.change, TRUE);
    if (r.result != 0) {
        std::string text = "Не удалось сменить папку: " + (r.error.empty() ? "?" : r.error);
        gui_log(text.c_str());
        gui_set_status(text.c_str());
    } else {
        std::string text = "Папка данных: " + datapaths().data;
        gui_log(text.c_str());
        gui_set_status(text.c_str());
        settings_save();
        data_folder_labels();
        refresh_instances();
    }
    gui_busy.store(false);
}

static void on_move_answer(GtkDialog *dialog, int response, gpointer data) {
    std::unique_ptr<std::string> folder(static_cast<std::string *>(data));
    gtk_window_destroy(GTK_WINDOW(dialog));
    if (response != k_answer_move && response != k_answer_switch) return;
    // The game or an installation may have started while the dialogs were open.
    if (gui_busy.load() || gui_game_state.load() != 0) {
        gui_set_status("Дождитесь окончания установки/игры");
        return;
    }
    collect_settings();
    auto req = std::make_unique<DatadirRequest>();
    req->folder = *folder;
    req->move = response == k_answer_move;
    gui_busy.store(true);
    gtk_widget_set_sensitive(p.change, FALSE);
    gui_set_status(req->move ? "Переношу данные в новую папку..." : "Смена папки данных...");
    gui_worker_start("datadir", std::move(req), datadir_work, datadir_done);
}

static void ask_move(const std::string &folder) {
    GtkWidget *dialog = message_dialog(gui.window, GTK_MESSAGE_QUESTION, "Сменить папку данных?",
                                       "Новая папка:\n" + folder +
                                           "\n\nПеренести туда уже скачанные версии, Java, "
                                           "ресурсы и сборки?");
    dialog_button(dialog, "Перенести файлы", k_answer_move);
    dialog_button(dialog, "Только сменить", k_answer_switch);
    dialog_button(dialog, "Отмена", GTK_RESPONSE_CANCEL);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), k_answer_move);
    g_signal_connect(dialog, "response", G_CALLBACK(on_move_answer), new std::string(folder));
    gtk_window_present(GTK_WINDOW(dialog));
}

static void on_folder_chosen(GtkNativeDialog *chooser, int response, gpointer) {
    std::string folder = file_chooser_finish(chooser, response);
    if (!folder.empty()) ask_move(folder);
}

void datadir_change_start() {
    if (gui_busy.load() || gui_game_state.load() != 0) {
        gui_set_status("Дождитесь окончания установки/игры");
        return;
    }
    GtkFileChooserNative *chooser =
        gtk_file_chooser_native_new("Папка для игр и данных ZYL", gui.window,
                                    GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "Выбрать", "Отмена");
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(chooser), TRUE);
    GFile *current = g_file_new_for_path(datapaths().data.c_str());
    gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), current, nullptr);
    g_object_unref(current);
    g_signal_connect(chooser, "response", G_CALLBACK(on_folder_chosen), nullptr);
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
}

// --- building --------------------------------------------------------------------

// The host of an address ("console.curseforge.com"); the address itself when it has none.
static std::string uri_host(const std::string &url) {
    GUri *uri = g_uri_parse(url.c_str(), G_URI_FLAGS_NONE, nullptr);
    std::string host = uri && g_uri_get_host(uri) ? g_uri_get_host(uri) : url;
    if (uri) g_uri_unref(uri);
    return host;
}

static void on_save(GtkButton *, gpointer) {
    collect_settings();
    gui_log("Настройки сохранены");
    gui_set_status("Настройки сохранены");
}

// The machine's memory in MiB (ZYL_TEST_MEMORY_MB stands in for it in tests).
static long long physical_memory_mb() {
    if (const char *test = getenv("ZYL_TEST_MEMORY_MB")) return atoll(test);
    long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && size > 0 ? static_cast<long long>(pages) * size / (1024 * 1024) : 0;
}

std::string settings_ram_warning(long long ram_mb, long long physical_mb) {
    if (physical_mb <= 0 || ram_mb * 4 <= physical_mb * 3) return "";
    char text[160];
    snprintf(text, sizeof text,
             "Больше ¾ памяти компьютера (%.0f ГБ) — системе и лаунчеру может не хватить",
             physical_mb / 1024.0);
    return text;
}

std::string settings_ram_warning_here(long long ram_mb) {
    return settings_ram_warning(ram_mb, physical_memory_mb());
}

static void ram_label_update() {
    char text[32];
    snprintf(text, sizeof text, "%d ГБ из 16", settings_page_ram_gb());
    gtk_label_set_text(p.ram_value, text);
    std::string warning = settings_ram_warning_here(settings_page_ram_gb() * 1024LL);
    gtk_label_set_text(p.ram_warning, warning.c_str());
    gtk_widget_set_visible(GTK_WIDGET(p.ram_warning), !warning.empty());
}

static GtkEditable *entry_row(GtkWidget *section, const char *caption, const char *placeholder) {
    GtkWidget *e = gtk_entry_new();
    if (placeholder) gtk_entry_set_placeholder_text(GTK_ENTRY(e), placeholder);
    entry_flexible_width(e, 270);
    widget_set_accessible_label(e, caption);
    gtk_box_append(GTK_BOX(section), list_row(caption, e));
    return GTK_EDITABLE(e);
}

static GtkSpinButton *spin(double lo, double hi, const char *name) {
    GtkWidget *s = gtk_spin_button_new_with_range(lo, hi, 10);
    gtk_widget_set_size_request(s, 110, -1);
    widget_set_accessible_label(s, name);
    widget_ignore_wheel(s);
    return GTK_SPIN_BUTTON(s);
}

static GtkWidget *memory_rows(GtkWidget *section) {
    GtkWidget *value = gtk_label_new("");
    gtk_widget_add_css_class(value, "ram-val");
    gtk_label_set_xalign(GTK_LABEL(value), 1);
    p.ram_value = GTK_LABEL(value);
    GtkWidget *row = list_row("Память для игры", value);
    gtk_widget_remove_css_class(row, "li");
    gtk_box_append(GTK_BOX(section), row);
    GtkWidget *scale = gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, 1, 16, 1);
    gtk_scale_set_draw_value(GTK_SCALE(scale), FALSE);
    gtk_widget_set_hexpand(scale, TRUE);
    gtk_widget_set_valign(scale, GTK_ALIGN_CENTER);
    widget_set_accessible_label(scale, "Память для игры");
    widget_ignore_wheel(scale);
    p.ram = GTK_RANGE(scale);
    GtkWidget *holder = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
    gtk_widget_add_css_class(holder, "li");
    gtk_box_append(GTK_BOX(holder), scale);
    GtkWidget *warning = text_label("", "warn");
    gtk_label_set_wrap(GTK_LABEL(warning), TRUE);
    gtk_widget_set_visible(warning, FALSE);
    gtk_box_append(GTK_BOX(holder), warning);
    p.ram_warning = GTK_LABEL(warning);
    return holder;
}

static GtkWidget *curseforge_row() {
    GtkWidget *row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    gtk_widget_add_css_class(row, "li");
    GtkWidget *col = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
    gtk_widget_set_hexpand(col, TRUE);
    gtk_box_append(GTK_BOX(col), text_label("CurseForge API key", "li-l"));
    GtkWidget *link = gtk_button_new_with_label("Получить ключ (бесплатно)");
    gtk_widget_add_css_class(link, "linkbtn");
    gtk_widget_set_halign(link, GTK_ALIGN_START);
    g_signal_connect(link, "clicked", G_CALLBACK(+[](GtkButton *, gpointer) {
                         window_open_uri(endpoint("curseforge_console").c_str());
                     }),
                     nullptr);
    gtk_box_append(GTK_BOX(col), link);
    gtk_box_append(GTK_BOX(row), col);

    GtkWidget *key = gtk_password_entry_new();
    gtk_password_entry_set_show_peek_icon(GTK_PASSWORD_ENTRY(key), TRUE);
    std::string host = uri_host(endpoint("curseforge_console"));
    std::string hint = "ключ с " + host;
    g_object_set(key, "placeholder-text", hint.c_str(), nullptr);
    gtk_widget_set_valign(key, GTK_ALIGN_CENTER);
    entry_flexible_width(key, 270);
    widget_set_accessible_label(key, "CurseForge API key");
    gtk_box_append(GTK_BOX(row), key);
    p.cf_key = GTK_EDITABLE(key);
    return row;
}

static GtkWidget *game_section() {
    GtkWidget *s = section_box("Игра");
    gtk_box_append(GTK_BOX(s), memory_rows(s));
    p.java = entry_row(s, "Путь к Java", "Автоматически (рекомендуется)");
    // The placeholder goes once something is typed; how to get back to the
    // automatic Java must stay in sight.
    GtkWidget *java_hint =
        text_label("Оставьте пустым — нужная версия Java скачается автоматически", "hint");
    gtk_label_set_wrap(GTK_LABEL(java_hint), TRUE);
    gtk_box_append(GTK_BOX(s), java_hint);
    p.jvm = entry_row(s, "Аргументы JVM", "-XX:+UseZGC …");

    GtkWidget *size = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    p.width = spin(320, 7680, "Ширина окна игры");
    p.height = spin(240, 4320, "Высота окна игры");
    GtkWidget *times = gtk_label_new("×");
    gtk_widget_add_css_class(times, "ram-val");
    gtk_widget_set_valign(times, GTK_ALIGN_CENTER);
    gtk_box_append(GTK_BOX(size), GTK_WIDGET(p.width));
    gtk_box_append(GTK_BOX(size), times);
    gtk_box_append(GTK_BOX(size), GTK_WIDGET(p.height));
    gtk_box_append(GTK_BOX(s), list_row("Размер окна игры", size));

    const char *hide = "Скрывать лаунчер во время игры (вернётся после выхода)";
    GtkWidget *sw = gtk_switch_new();
    widget_set_accessible_label(sw, hide);
    p.close_on_play = GTK_SWITCH(sw);
    gtk_box_append(GTK_BOX(s), list_row(hide, sw));
    p.server = entry_row(s, "Сразу на сервер", "host:port — необязательно");
    gtk_box_append(GTK_BOX(s), curseforge_row());

    GtkWidget *save_row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 10);
    GtkWidget *hint =
        text_label("Изменения также сохраняются при запуске игры и закрытии лаунчера", "hint");
    gtk_label_set_wrap(GTK_LABEL(hint), TRUE);
    gtk_widget_set_hexpand(hint, TRUE);
    gtk_box_append(GTK_BOX(save_row), hint);
    GtkWidget *save = gtk_button_new_with_label("Сохранить");
    gtk_widget_add_css_class(save, "accent");
    gtk_widget_set_valign(save, GTK_ALIGN_CENTER);
    g_signal_connect(save, "clicked", G_CALLBACK(on_save), nullptr);
    gtk_box_append(GTK_BOX(save_row), save);
    gtk_box_append(GTK_BOX(s), save_row);
    return s;
}

static GtkWidget *data_section() {
    GtkWidget *s = section_box("Папка игр и данных");
    GtkWidget *tile = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
    gtk_widget_add_css_class(tile, "tile");
    GtkWidget *path = text_label("", "kv-v");
    gtk_label_set_selectable(GTK_LABEL(path), TRUE);
    gtk_label_set_wrap(GTK_LABEL(path), TRUE);
    gtk_label_set_wrap_mode(GTK_LABEL(path), PANGO_WRAP_CHAR);
    gtk_label_set_max_width_chars(GTK_LABEL(path), 30);
    gtk_box_append(GTK_BOX(tile), path);
    gtk_box_append(GTK_BOX(s), tile);
    p.data_folder = GTK_LABEL(path);
    GtkWidget *source = wrapped("", "sub2");
    gtk_box_append(GTK_BOX(s), source);
    p.data_source = GTK_LABEL(source);

    GtkWidget *row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    GtkWidget *change = gtk_button_new_with_label("Изменить…");
    gtk_widget_add_css_class(change, "btn");
    g_signal_connect(change, "clicked",
                     G_CALLBACK(+[](GtkButton *, gpointer) { datadir_change_start(); }), nullptr);
    GtkWidget *open = gtk_button_new_with_label("Открыть");
    gtk_widget_add_css_class(open, "btn");
    g_signal_connect(
        open, "clicked",
        G_CALLBACK(+[](GtkButton *, gpointer) { window_open_folder(datapaths().data); }), nullptr);
    gtk_box_append(GTK_BOX(row), change);
    gtk_box_append(GTK_BOX(row), open);
    gtk_box_append(GTK_BOX(s), row);
    p.change = change;
    return s;
}

static GtkWidget *interface_section() {
    GtkWidget *s = section_box("Интерфейс");
    GtkWidget *dd = gtk_drop_down_new_from_strings(k_renderer_names);
    gtk_widget_set_size_request(dd, 150, -1);
    widget_set_accessible_label(dd, "Отрисовка");
    p.renderer = GTK_DROP_DOWN(dd);
    gtk_box_append(GTK_BOX(s), list_row("Отрисовка", dd));
    gtk_box_append(GTK_BOX(s), wrapped("Если лаунчер зависает или вылетает — выберите "
                                       "«Программная». Применяется после перезапуска",
                                       "hint"));
    return s;
}

static GtkWidget *diagnostics_section() {
    GtkWidget *s = section_box("Диагностика");
    gtk_box_append(GTK_BOX(s), wrapped("launcher.log, crash.txt, hang.txt — пришлите их, если "
                                       "что-то не так",
                                       "sub2"));
    GtkWidget *logs = gtk_button_new_with_label("Папка журналов");
    gtk_widget_add_css_class(logs, "btn");
    gtk_widget_set_halign(logs, GTK_ALIGN_START);
    g_signal_connect(logs, "clicked",
                     G_CALLBACK(+[](GtkButton *, gpointer) { open_logs_folder(); }), nullptr);
    gtk_box_append(GTK_BOX(s), logs);
    return s;
}

// Every control gets its Settings value; the handlers come after, so that
// filling is not taken for an edit.
static void controls_fill() {
    const Settings &s = g_settings;
    gtk_range_set_value(p.ram, s.ram_gb);
    p.java_text.editable = p.java;
    p.jvm_text.editable = p.jvm;
    p.server_text.editable = p.server;
    p.cf_key_text.editable = p.cf_key;
    filled_text_set(p.java_text, s.java_path);
    filled_text_set(p.jvm_text, s.jvm_args);
    gtk_spin_button_set_value(p.width, s.width);
    gtk_spin_button_set_value(p.height, s.height);
    gtk_switch_set_active(p.close_on_play, s.close_on_play);
    filled_text_set(p.server_text, s.server);
    filled_text_set(p.cf_key_text, s.curseforge_api_key);
    gtk_drop_down_set_selected(p.renderer, static_cast<guint>(renderer_index(s.renderer)));
    ram_label_update();
    data_folder_labels();
    g_signal_connect(p.ram, "value-changed", G_CALLBACK(+[](GtkRange *, gpointer) {
                         ram_label_update();
                         home_tiles_refresh();
                     }),
                     nullptr);
    g_signal_connect(p.java, "changed",
                     G_CALLBACK(+[](GtkEditable *, gpointer) { home_tiles_refresh(); }), nullptr);
}

GtkWidget *settings_page_build() {
    GtkWidget *page =
        page_header("Настройки", "Сохраняются в settings.json в папке данных лаунчера");
    GtkWidget *columns = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 22);
    gtk_widget_set_valign(columns, GTK_ALIGN_START);
    gtk_widget_set_margin_end(columns, 4);
    GtkWidget *left = gtk_box_new(GTK_ORIENTATION_VERTICAL, 14);
    gtk_widget_set_hexpand(left, TRUE);
    gtk_box_append(GTK_BOX(left), account_panel_build());
    gtk_box_append(GTK_BOX(left), game_section());
    GtkWidget *right = gtk_box_new(GTK_ORIENTATION_VERTICAL, 14);
    gtk_widget_set_size_request(right, 250, -1); // 300 when there is room
    gtk_widget_set_hexpand(right, FALSE);
    gtk_box_append(GTK_BOX(right), data_section());
    gtk_box_append(GTK_BOX(right), interface_section());
    gtk_box_append(GTK_BOX(right), diagnostics_section());
    gtk_box_append(GTK_BOX(columns), left);
    gtk_box_append(GTK_BOX(columns), right);

    gtk_box_append(GTK_BOX(page), vertical_scroller(columns));
    controls_fill();
    return page;
}
