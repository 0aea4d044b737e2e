// What the content page changes in instances: installing a search result
// into the chosen instance (a version the player picks, and which world gets
// a data pack), creating an instance from a modpack (a result or a file),
// updating an installed file or all of them after the update check, removing
// one after a question that names what depends on it, and the dialog for
// files that must be downloaded by hand.
//
// Interface thread only, except the "modinst", "modver", "modupd", "modchk",
// "modupdall" and "modrm" workers: each owns its request while it runs, calls
// the core and touches no widget. A request's
// button reference is taken and dropped on the interface thread. Installs are
// not refused while others run: each disables its own button, and the count
// of operations in flight (gui_content_ops) drives the top-bar spinner.
#include "base/fs.h"
#include "base/strings.h"
#include "config/datadir.h"
#include "content/install.h"
#include "content/modpack.h"
#include "content/update.h"
#include "content/versions.h"
#include "gui/bridge.h"
#include "gui/page_content.h"
#include "gui/page_home.h"
#include "gui/pages.h"
#include "gui/widgets.h"
#include "gui/window.h"
#include "instances/content.h"

#include <cstring>
#include <memory>
#include <optional>

namespace {

constexpr int k_type_datapack = 3;
constexpr int k_type_modpack = 5;
constexpr int k_source_file = -1;

struct InstallRequest {
    int source = 0;       // 0 Modrinth, 1 CurseForge, -1 a local file
    int type = -1;        // content-type chip; -1 when not given
    std::string id;       // project id, or the file of a local modpack
    std::string instance; // target folder; for a modpack, the created one
    std::string message;
    std::string title;
    std::optional<std::string> world;   // for a data pack
    std::optional<std::string> version; // the file the player picked
    int result = -1;
    GtkWidget *button = nullptr; // a reference, dropped by request_release
};

struct UpdateRequest {
    std::string instance, filename, message;
    int result = -1;
};

// The update check and "update all" of one instance.
struct UpdatesRequest {
    std::string instance, message;
    std::vector<OutdatedItem> items;
    int result = -1;
};

struct RemoveRequest {
    std::string instance, filename, world, message;
    int result = -1;
};

// A project's compatible files, listed for the version choice.
struct VersionsRequest {
    ResultAction action;
    std::string instance;
    GtkWidget *main = nullptr; // the result row's main button, a reference
    ProjectVersions versions;
    std::string installed_id; // the project's installed file
    std::string message;
    int result = -1;
};

// The instance with exactly this folder (a name that happens to match does not count).
std::optional<Instance> find_by_folder(const std::string &folder) {
    std::optional<Instance> inst = instance_find(folder);
    if (inst && inst->folder != folder) return std::nullopt;
    return inst;
}

void request_release(InstallRequest &r) {
    if (r.button) g_object_unref(r.button);
    r.button = nullptr;
}

void button_reset(GtkWidget *button, const char *label) {
    if (!button) return;
    gtk_button_set_label(GTK_BUTTON(button), label);
    gtk_widget_set_sensitive(button, TRUE);
}

} // namespace

// --- pure pieces ------------------------------------------------------------

std::string manual_page_address(const std::string &detail) {
    size_t at = detail.find("https://");
    if (at == std::string::npos) return "";
    size_t end = detail.find_first_of(" \n", at);
    return detail.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

std::string manual_target_folder(const std::string &detail, const std::string &instances_dir) {
    const std::string key = "в папку: ";
    size_t at = detail.find(key);
    if (at == std::string::npos) return "";
    at += key.size();
    size_t end = detail.find('\n', at);
    std::string folder = detail.substr(at, end == std::string::npos ? std::string::npos : end - at);
    return fs_path_inside(folder, instances_dir) ? folder : "";
}

// --- the manual-download dialog -------------------------------------------------

namespace {
enum { k_open_page = 1, k_open_folder = 2 };
}

static void on_manual_answer(GtkDialog *dialog, int response, gpointer data) {
    std::unique_ptr<std::string> detail(static_cast<std::string *>(data));
    gtk_window_destroy(GTK_WINDOW(dialog));
    if (response == k_open_page) {
        std::string url = manual_page_address(*detail);
        if (!url.empty()) window_open_uri(url.c_str());
    } else if (response == k_open_folder) {
        std::string folder = manual_target_folder(*detail, datapaths().instances);
        if (folder.empty()) return;
        fs_mkdirs(folder);
        window_open_folder(folder);
    }
}

static void manual_dialog(const char *title, const std::string &detail) {
    GtkWidget *dialog = message_dialog(gui.window, GTK_MESSAGE_WARNING, title, detail);
    dialog_button(dialog, "OK", GTK_RESPONSE_OK);
    dialog_button(dialog, "Открыть страницу", k_open_page);
    dialog_button(dialog, "Открыть папку", k_open_folder);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    g_signal_connect(dialog, "response", G_CALLBACK(on_manual_answer), new std::string(detail));
    gtk_window_present(GTK_WINDOW(dialog));
}

// --- installs ------------------------------------------------------------------------

static void install_work(InstallRequest &r) {
    if (r.type == k_type_modpack) {
        std::string ref = r.source == k_source_file ? r.id
                          : r.source == 1           ? "curseforge:" + r.id
                                                    : "modrinth:" + r.id;
        Instance made;
        std::string manual, err;
        r.result = modpack_import(ref, "", &made, &manual, &err);
        r.instance = r.result == 0 ? made.folder : "";
        r.message = r.result == 0 ? manual : err;
    } else if (std::optional<Instance> inst = find_by_folder(r.instance)) {
        ContentSource source = r.source == 1 ? ContentSource::CurseForge : ContentSource::Modrinth;
        std::optional<ContentType> type;
        if (r.type >= 0) type = static_cast<ContentType>(r.type);
        r.result =
            install_content(source, type, r.id, *inst, r.world, &r.message, nullptr, r.version);
    } else {
        r.result = -1;
        r.message = "Сборка не найдена";
    }
    gui_content_ops.fetch_sub(1);
}

static void install_succeeded(InstallRequest &r, bool pack) {
    if (r.button) {
        gtk_button_set_label(GTK_BUTTON(r.button), pack ? "Сборка создана" : "Установлен");
        gtk_widget_remove_css_class(r.button, "accent");
        gtk_widget_add_css_class(r.button, "done");
        gtk_widget_set_sensitive(r.button, FALSE);
    }
    std::string done =
        pack ? "Сборка из модпака «" + r.title + "» создана" : "«" + r.title + "» установлен";
    gui_set_status(done.c_str());
    if (!r.message.empty())
        manual_dialog(pack ? "Модпак установлен, но часть файлов нужно скачать вручную"
                           : "Установлено, но часть файлов нужно скачать вручную",
                      r.message);
    if (pack) {
        home_select_next(r.instance, true); // the content page targets it too
        refresh_instances();
    }
}

static void install_done(InstallRequest &r) {
    bool pack = r.type == k_type_modpack;
    if (r.result == 0) {
        install_succeeded(r, pack);
    } else if (r.result == k_install_manual && !r.message.empty()) {
        button_reset(r.button, "Установить");
        gui_set_status("Нужна ручная загрузка");
        gui_log(r.message.c_str());
        manual_dialog("Автор запретил скачивание сторонними лаунчерами", r.message);
    } else {
        button_reset(r.button, pack ? "Создать сборку" : "Установить");
        content_notice_show(r.message.empty() ? "Ошибка установки" : r.message);
        if (!r.message.empty()) gui_log(r.message.c_str());
        gui_set_status("Ошибка установки мода — см. сообщение");
    }
    content_page_refresh_installed();
    home_instance_content_changed(r.instance);
    request_release(r);
}

static void start_install(std::unique_ptr<InstallRequest> r) {
    if (r->button) {
        gtk_widget_set_sensitive(r->button, FALSE);
        gtk_button_set_label(GTK_BUTTON(r->button), "Установка...");
    }
    content_notice_hide();
    std::string text;
    if (r->type == k_type_modpack) {
        text = "Создаю сборку из модпака «" + r->title + "»...";
    } else {
        const Instance *inst = content_selected_instance();
        text = "Установка «" + r->title + "» в «" + (inst ? inst->name : "?") + "»...";
    }
    gui_set_status(text.c_str());
    gui_log(text.c_str());
    gui_content_ops.fetch_add(1);
    gui_worker_start("modinst", std::move(r), install_work, install_done);
}

// --- the world of a data pack --------------------------------------------------------

namespace {
struct WorldQuestion {
    std::unique_ptr<InstallRequest> request;
    StrList worlds;
};
} // namespace

static void on_world_answer(GtkDialog *dialog, int response, gpointer data) {
    std::unique_ptr<WorldQuestion> q(static_cast<WorldQuestion *>(data));
    gtk_window_destroy(GTK_WINDOW(dialog));
    if (response >= 0 && static_cast<size_t>(response) < q->worlds.size()) {
        q->request->world = q->worlds[response];
        start_install(std::move(q->request));
        return;
    }
    request_release(*q->request); // "Отмена" or the dialog closed
}

static void on_world_row(GtkListBox *, GtkListBoxRow *row, gpointer dialog) {
    gtk_dialog_response(GTK_DIALOG(dialog), gtk_list_box_row_get_index(row));
}

// The worlds as a list that scrolls: an instance may have dozens of them.
static GtkWidget *world_list_box(GtkWidget *dialog, const StrList &worlds) {
    GtkWidget *list = gtk_list_box_new();
    gtk_list_box_set_activate_on_single_click(GTK_LIST_BOX(list), TRUE);
    gtk_widget_add_css_class(list, "worlds");
    for (const std::string &w : worlds) {
        // World names are shown as they are (no mnemonics: "_" stays).
        std::string shown = str_display(w);
        GtkWidget *label = gtk_label_new(shown.c_str());
        gtk_label_set_xalign(GTK_LABEL(label), 0);
        gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
        gtk_widget_set_margin_top(label, 6);
        gtk_widget_set_margin_bottom(label, 6);
        gtk_widget_set_margin_start(label, 10);
        gtk_list_box_append(GTK_LIST_BOX(list), label);
        GtkWidget *row = gtk_widget_get_parent(label);
        widget_set_accessible_label(row, shown.c_str());
        gtk_widget_set_tooltip_text(row, shown.c_str());
    }
    g_signal_connect(list, "row-activated", G_CALLBACK(on_world_row), dialog);
    GtkWidget *scroll = gtk_scrolled_window_new();
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroll), GTK_POLICY_NEVER,
                                   GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_propagate_natural_height(GTK_SCROLLED_WINDOW(scroll), TRUE);
    gtk_scrolled_window_set_max_content_height(GTK_SCROLLED_WINDOW(scroll), 260);
    gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scroll), list);
    return scroll;
}

static void ask_world(std::unique_ptr<InstallRequest> r, StrList worlds) {
    GtkWidget *dialog = message_dialog(gui.window, GTK_MESSAGE_QUESTION,
                                       "В какой мир установить датапак «" + r->title + "»?", "");
    GtkWidget *area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog));
    gtk_box_append(GTK_BOX(area), world_list_box(dialog, worlds));
    dialog_button(dialog, "Отмена", GTK_RESPONSE_CANCEL);
    auto *q = new WorldQuestion{std::move(r), std::move(worlds)};
    g_signal_connect(dialog, "response", G_CALLBACK(on_world_answer), q);
    gtk_window_present(GTK_WINDOW(dialog));
}

// Installs a result (the version given, else the newest compatible file);
// a data pack asks for its world first.
static void begin_install(GtkWidget *button, const ResultAction &a,
                          const std::optional<std::string> &version) {
    const Instance *inst = content_selected_instance();
    if (a.type != k_type_modpack && !inst) return;
    auto r = std::make_unique<InstallRequest>();
    r->source = a.source;
    r->type = a.type;
    r->id = a.id;
    r->title = a.title;
    r->version = version;
    if (inst) r->instance = inst->folder;
    r->button = GTK_WIDGET(g_object_ref(button));
    if (a.type == k_type_datapack) {
        StrList worlds = world_list(*inst);
        if (worlds.empty()) {
            content_notice_show(
                "В этой сборке ещё нет миров: создайте мир в игре, затем ставьте датапак");
            request_release(*r);
            return;
        }
        if (worlds.size() > 1) return ask_world(std::move(r), std::move(worlds));
        r->world = worlds[0];
    }
    start_install(std::move(r));
}

void content_result_clicked(GtkWidget *button, const ResultAction &a) {
    begin_install(button, a, std::nullopt);
}

// --- the version choice ---------------------------------------------------------------

namespace {
// What the choice window keeps: the result, its main button (a reference)
// and the id of each offered file, by button index.
struct VersionChoice {
    ResultAction action;
    GtkWidget *main = nullptr;
    StrList ids;
    ~VersionChoice() {
        if (main) g_object_unref(main);
    }
};
} // namespace

static void on_version_picked(GtkButton *b, gpointer window) {
    auto *choice = static_cast<VersionChoice *>(g_object_get_data(G_OBJECT(window), "zyl-choice"));
    size_t i = GPOINTER_TO_SIZE(g_object_get_data(G_OBJECT(b), "zyl-index"));
    if (choice && i < choice->ids.size()) {
        GtkWidget *main = GTK_WIDGET(g_object_ref(choice->main));
        ResultAction action = choice->action;
        std::string id = choice->ids[i];
        gtk_window_destroy(GTK_WINDOW(window));
        begin_install(main, action, id);
        g_object_unref(main);
        return;
    }
    gtk_window_destroy(GTK_WINDOW(window));
}

// A window with one button per compatible file, newest first, and "Отмена".
static void versions_window(VersionsRequest &r) {
    GtkWidget *w = gtk_window_new();
    std::string title = "Версии «" + str_display(r.versions.title) + "»";
    gtk_window_set_title(GTK_WINDOW(w), title.c_str());
    gtk_window_set_transient_for(GTK_WINDOW(w), gui.window);
    gtk_window_set_modal(GTK_WINDOW(w), TRUE);
    gtk_window_set_destroy_with_parent(GTK_WINDOW(w), TRUE);
    gtk_window_set_default_size(GTK_WINDOW(w), 460, 420);
    auto *choice = new VersionChoice{r.action, GTK_WIDGET(g_object_ref(r.main)), {}};
    g_object_set_data_full(G_OBJECT(w), "zyl-choice", choice,
                           [](gpointer c) { delete static_cast<VersionChoice *>(c); });

    GtkWidget *box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 10);
    gtk_widget_add_css_class(box, "box");
    const Instance *inst = content_selected_instance();
    std::string head = "Совместимые файлы для Minecraft " + (inst ? inst->mc : std::string("?")) +
                       " — выберите, какой установить";
    GtkWidget *label = text_label(head.c_str(), "sub2");
    gtk_label_set_wrap(GTK_LABEL(label), TRUE);
    gtk_box_append(GTK_BOX(box), label);
    GtkWidget *list = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    for (const ContentVersion &v : r.versions.versions) {
        std::string text =
            content_version_choice(v.version, v.channel, v.date, v.id == r.installed_id);
        GtkWidget *b = gtk_button_new_with_label(str_display(text).c_str());
        gtk_widget_add_css_class(b, "btn");
        tooltip_show(b, v.filename);
        g_object_set_data(G_OBJECT(b), "zyl-index", GSIZE_TO_POINTER(choice->ids.size()));
        choice->ids.push_back(v.id);
        g_signal_connect(b, "clicked", G_CALLBACK(on_version_picked), w);
        gtk_box_append(GTK_BOX(list), b);
    }
    gtk_box_append(GTK_BOX(box), vertical_scroller(list));
    GtkWidget *cancel = gtk_button_new_with_label("Отмена");
    gtk_widget_set_halign(cancel, GTK_ALIGN_END);
    g_signal_connect_swapped(cancel, "clicked", G_CALLBACK(gtk_window_destroy), w);
    gtk_box_append(GTK_BOX(box), cancel);
    gtk_window_set_child(GTK_WINDOW(w), box);
    gtk_window_present(GTK_WINDOW(w));
}

static void versions_work(VersionsRequest &r) {
    std::optional<Instance> inst = find_by_folder(r.instance);
    if (!inst) {
        r.message = "Сборка не найдена";
        return;
    }
    ContentSource source =
        r.action.source == 1 ? ContentSource::CurseForge : ContentSource::Modrinth;
    std::optional<ContentType> type;
    if (r.action.type >= 0) type = static_cast<ContentType>(r.action.type);
    r.result = content_versions(source, type, r.action.id, *inst, r.versions, &r.message);
    if (r.result != 0) return;
    JsonPtr arr = content_load(*inst);
    const cJSON *e;
    cJSON_ArrayForEach(e, arr.get()) {
        ContentRecord rec = content_record_of(e);
        if (rec.source == content_source_word(source) && rec.project == r.versions.id &&
            content_is_installed(*inst, rec.source, rec.project))
            r.installed_id = rec.file;
    }
}

static void versions_done(VersionsRequest &r) {
    if (r.result == 0) {
        gui_set_status("");
        versions_window(r);
    } else {
        content_notice_show(r.message.empty() ? "Не удалось получить список версий" : r.message);
        gui_set_status("Версии: ошибка");
    }
    g_object_unref(r.main);
}

void content_versions_clicked(GtkWidget *main, const ResultAction &a) {
    const Instance *inst = content_selected_instance();
    if (!inst || !main) return;
    content_notice_hide();
    std::string text = "Версии «" + a.title + "»...";
    gui_set_status(text.c_str());
    auto r = std::make_unique<VersionsRequest>();
    r->action = a;
    r->instance = inst->folder;
    r->main = GTK_WIDGET(g_object_ref(main));
    gui_worker_start("modver", std::move(r), versions_work, versions_done);
}

// --- modpack files ----------------------------------------------------------------------

static void start_import(const std::string &path) {
    auto r = std::make_unique<InstallRequest>();
    r->source = k_source_file;
    r->type = k_type_modpack;
    r->id = path;
    char *base = g_path_get_basename(path.c_str());
    r->title = base;
    g_free(base);
    start_install(std::move(r));
}

static void on_pack_chosen(GtkNativeDialog *chooser, int response, gpointer) {
    std::string path = file_chooser_finish(chooser, response);
    if (!path.empty()) start_import(path);
}

void content_import_clicked() {
    GtkFileChooserNative *chooser =
        gtk_file_chooser_native_new("Модпак: .mrpack (Modrinth) или .zip (CurseForge)", gui.window,
                                    GTK_FILE_CHOOSER_ACTION_OPEN, "Открыть", "Отмена");
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(chooser), TRUE);
    GtkFileFilter *filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, "Модпаки (*.mrpack, *.zip)");
    gtk_file_filter_add_pattern(filter, "*.mrpack");
    gtk_file_filter_add_pattern(filter, "*.zip");
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
    g_object_unref(filter);
    g_signal_connect(chooser, "response", G_CALLBACK(on_pack_chosen), nullptr);
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
}

// --- updates ---------------------------------------------------------------------------

static void update_work(UpdateRequest &r) {
    if (std::optional<Instance> inst = find_by_folder(r.instance)) {
        r.result = content_update(*inst, r.filename, std::nullopt, &r.message);
    } else {
        r.result = -1;
        r.message = "Сборка не найдена";
    }
    gui_content_ops.fetch_sub(1);
}

// The first line of a text (the update's own, before any note of the install).
static std::string first_line(const std::string &text) {
    return text.substr(0, text.find('\n'));
}

static void update_done(UpdateRequest &r) {
    if (r.result == 0) {
        gui_set_status(first_line(r.message).c_str());
        gui_log(r.message.c_str());
        content_unmark_outdated(r.filename);
    } else if (r.result == k_install_manual && !r.message.empty()) {
        gui_set_status("Нужна ручная загрузка");
        manual_dialog("Нужна ручная загрузка", r.message);
    } else {
        content_notice_show(r.message.empty() ? "Ошибка обновления" : r.message);
        gui_set_status("Ошибка обновления — см. сообщение");
    }
    content_page_refresh_installed();
    home_instance_content_changed(r.instance);
}

void content_update_clicked(GtkWidget *button, const std::string &filename) {
    const Instance *inst = content_selected_instance();
    if (!inst) return;
    gtk_widget_set_sensitive(button, FALSE);
    content_notice_hide();
    std::string text = "Обновление " + filename + "...";
    gui_set_status(text.c_str());
    auto r = std::make_unique<UpdateRequest>();
    r->instance = inst->folder;
    r->filename = filename;
    gui_content_ops.fetch_add(1);
    gui_worker_start("modupd", std::move(r), update_work, update_done);
}

// --- the update check and "update all" -----------------------------------------------------

static void check_work(UpdatesRequest &r) {
    if (std::optional<Instance> inst = find_by_folder(r.instance))
        r.result = content_outdated(*inst, r.items, &r.message);
    else
        r.message = "Сборка не найдена";
    gui_content_ops.fetch_sub(1);
}

static void check_done(UpdatesRequest &r) {
    content_update_buttons_sensitive(true);
    if (r.result != 0) {
        content_notice_show(r.message.empty() ? "Ошибка проверки обновлений" : r.message);
        gui_set_status("Проверка обновлений: ошибка");
        return;
    }
    std::vector<std::pair<std::string, std::string>> newer;
    for (const OutdatedItem &i : r.items)
        newer.push_back({i.filename, version_label(i.latest.version, i.latest.channel)});
    content_mark_outdated(r.instance, newer);
    std::string status = r.items.empty() ? std::string("Обновлений нет — всё последних версий")
                                         : "Есть обновления: " + std::to_string(r.items.size());
    gui_set_status(status.c_str());
}

static void update_all_work(UpdatesRequest &r) {
    if (std::optional<Instance> inst = find_by_folder(r.instance))
        r.result = content_update_all(*inst, &r.message);
    else
        r.message = "Сборка не найдена";
    gui_content_ops.fetch_sub(1);
}

static void update_all_done(UpdatesRequest &r) {
    content_update_buttons_sensitive(true);
    content_mark_outdated(r.instance, {});
    gui_log(r.message.c_str());
    std::string last = r.message.substr(r.message.rfind('\n') + 1);
    if (r.result == 0) {
        gui_set_status(last.c_str());
    } else {
        content_notice_show(r.message.empty() ? "Ошибка обновления" : r.message);
        gui_set_status("Обновление: не всё получилось — см. сообщение");
    }
    update_selection();
}

static void start_updates(bool update_all) {
    const Instance *inst = content_selected_instance();
    if (!inst) return;
    content_notice_hide();
    content_update_buttons_sensitive(false);
    gui_set_status(update_all ? "Обновляю всё..." : "Проверяю обновления...");
    auto r = std::make_unique<UpdatesRequest>();
    r->instance = inst->folder;
    gui_content_ops.fetch_add(1);
    if (update_all)
        gui_worker_start("modupdall", std::move(r), update_all_work, update_all_done);
    else
        gui_worker_start("modchk", std::move(r), check_work, check_done);
}

void content_check_updates_clicked() {
    start_updates(false);
}

void content_update_all_clicked() {
    start_updates(true);
}

// --- removal ---------------------------------------------------------------------------------

static void remove_work(RemoveRequest &r) {
    if (std::optional<Instance> inst = find_by_folder(r.instance)) {
        std::optional<std::string> world;
        if (!r.world.empty()) world = r.world;
        r.result = content_remove_file(*inst, r.filename, world);
    } else {
        r.message = "Сборка не найдена";
    }
}

static void remove_done(RemoveRequest &r) {
    content_removal_ended(r.filename, r.world);
    if (r.result == 0) {
        std::string done = "Удалено из сборки: " + r.filename;
        gui_set_status(done.c_str());
        home_instance_content_changed(r.instance);
    } else {
        content_notice_show(r.message.empty() ? "Не удалось удалить " + r.filename : r.message);
    }
    content_page_refresh_installed();
    update_selection();
}

namespace {
struct RemoveQuestion {
    std::string instance, filename, world;
    GtkWidget *row = nullptr; // a reference
};
} // namespace

static void on_remove_answer(GtkDialog *dialog, int response, gpointer data) {
    std::unique_ptr<RemoveQuestion> q(static_cast<RemoveQuestion *>(data));
    gtk_window_destroy(GTK_WINDOW(dialog));
    if (response == GTK_RESPONSE_ACCEPT) {
        // The row stays where it is, greyed, until the removal ends.
        content_removal_started(q->filename, q->world);
        if (q->row) gtk_widget_set_sensitive(q->row, FALSE);
        auto r = std::make_unique<RemoveRequest>();
        r->instance = q->instance;
        r->filename = q->filename;
        r->world = q->world;
        gui_worker_start("modrm", std::move(r), remove_work, remove_done);
    }
    if (q->row) g_object_unref(q->row);
}

void content_remove_clicked(GtkWidget *button, const std::string &filename,
                            const std::string &world) {
    const Instance *inst = content_selected_instance();
    if (!inst) return;
    std::string title = filename;
    for (const ContentFile &f : content_list_files(*inst))
        if (f.filename == filename && f.world == world) title = f.title;
    StrList dependents = world.empty() ? content_dependents(*inst, filename) : StrList{};
    std::string detail;
    for (const std::string &line : dependents)
        detail += line + ".\n";
    if (!detail.empty()) detail += "Без него они не запустятся.\n";
    detail += world.empty() ? "Файл " + filename + " будет удалён из сборки."
                            : "Датапак " + filename + " будет удалён из мира «" + world + "».";
    GtkWidget *dialog =
        message_dialog(gui.window, GTK_MESSAGE_QUESTION, "Удалить «" + title + "»?", detail);
    dialog_button(dialog, "Отмена", GTK_RESPONSE_CANCEL);
    gtk_widget_add_css_class(dialog_button(dialog, "Удалить", GTK_RESPONSE_ACCEPT),
                             "destructive-action");
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    GtkWidget *row = gtk_widget_get_ancestor(button, GTK_TYPE_LIST_BOX_ROW);
    auto *q = new RemoveQuestion{inst->folder, filename, world,
                                 row ? GTK_WIDGET(g_object_ref(row)) : nullptr};
    g_signal_connect(dialog, "response", G_CALLBACK(on_remove_answer), q);
    gtk_window_present(GTK_WINDOW(dialog));
}

// --- hooks --------------------------------------------------------------------------------

void content_page_hook_install(const char *value) {
    const char *colon = strchr(value, ':');
    const Instance *inst = content_selected_instance();
    if (!colon || !inst) return;
    auto r = std::make_unique<InstallRequest>();
    r->source = strncmp(value, "curseforge", 10) == 0 ? 1 : 0;
    r->type = -1;
    r->id = colon + 1;
    r->title = value;
    r->instance = inst->folder;
    start_install(std::move(r));
}

void content_page_hook_import(const char *value) {
    auto r = std::make_unique<InstallRequest>();
    r->source = k_source_file;
    r->type = k_type_modpack;
    r->id = value;
    r->title = value;
    start_install(std::move(r));
}
