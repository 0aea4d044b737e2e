// What the content page changes in instances: installing a search result
// into the chosen instance (asking which world gets a data pack), creating an
// instance from a modpack (a result or a file), updating an installed file,
// and the dialog for files that must be downloaded by hand.
//
// Interface thread only, except the "modinst" and "modupd" workers: each owns
// its request while it runs, calls the core and touches no widget. A request's
// button reference is taken and dropped on the interface thread. Installs are
// not refused while others run: each disables its own button, and the count
// of operations in flight (gui_content_ops) drives the top-bar spinner.
#include "base/fs.h"
#include "base/strings.h"
#include "config/datadir.h"
#include "content/install.h"
#include "content/modpack.h"
#include "content/update.h"
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
// The world question offers at most this many worlds.
constexpr size_t k_world_buttons = 8;

struct InstallRequest {
    int source = 0;       // 0 Modrinth, 1 CurseForge, -1 a local file
    int type = -1;        // content-type chip; -1 when not given
    std::string id;       // project id, or the file of a local modpack
    std::string instance; // target folder; for a modpack, the created one
    std::string message;
    std::string title;
    std::optional<std::string> world; // for a data pack
    int result = -1;
    GtkWidget *button = nullptr; // a reference, dropped by request_release
};

struct UpdateRequest {
    std::string instance, filename, message;
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
    GtkWidget *dialog = gtk_message_dialog_new(
        gui.window, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        GTK_MESSAGE_WARNING, GTK_BUTTONS_NONE, "%s", title);
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                             str_display(detail, true).c_str());
    gtk_dialog_add_button(GTK_DIALOG(dialog), "OK", GTK_RESPONSE_OK);
    gtk_dialog_add_button(GTK_DIALOG(dialog), "Открыть страницу", k_open_page);
    gtk_dialog_add_button(GTK_DIALOG(dialog), "Открыть папку", k_open_folder);
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
        r.result = install_content(source, type, r.id, *inst, r.world, &r.message);
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
        home_select_next(r.instance);
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
    update_selection();
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

static void ask_world(std::unique_ptr<InstallRequest> r, StrList worlds) {
    if (worlds.size() > k_world_buttons) worlds.resize(k_world_buttons);
    GtkWidget *dialog = gtk_message_dialog_new(
        gui.window, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE, "В какой мир установить датапак «%s»?",
        str_display(r->title).c_str());
    // World names are shown as they are (no mnemonics: "_" stays).
    for (size_t i = 0; i < worlds.size(); i++)
        gtk_dialog_add_action_widget(GTK_DIALOG(dialog),
                                     gtk_button_new_with_label(str_display(worlds[i]).c_str()),
                                     static_cast<int>(i));
    gtk_dialog_add_button(GTK_DIALOG(dialog), "Отмена", GTK_RESPONSE_CANCEL);
    auto *q = new WorldQuestion{std::move(r), std::move(worlds)};
    g_signal_connect(dialog, "response", G_CALLBACK(on_world_answer), q);
    gtk_window_present(GTK_WINDOW(dialog));
}

void content_result_clicked(GtkWidget *button, const ResultAction &a) {
    const Instance *inst = content_selected_instance();
    if (a.type != k_type_modpack && !inst) return;
    auto r = std::make_unique<InstallRequest>();
    r->source = a.source;
    r->type = a.type;
    r->id = a.id;
    r->title = a.title;
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

static void update_done(UpdateRequest &r) {
    if (r.result == 0) {
        std::string done = "Обновлено: " + r.filename;
        gui_set_status(done.c_str());
    } else if (r.result == k_install_manual && !r.message.empty()) {
        manual_dialog("Нужна ручная загрузка", r.message);
    } else {
        content_notice_show(r.message.empty() ? "Ошибка обновления" : r.message);
    }
    content_page_refresh_installed();
    update_selection();
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
