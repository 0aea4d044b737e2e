// The instance's own settings and its export, opened from the home side
// panel. Both are small windows of the launcher's look over the main window;
// the settings are written at once (instance.json under its lock), the
// export runs on the "export" worker with the top bar's spinner.
//
// Interface thread only; the "export" worker gets the instance, the target
// and the chosen names and touches no widget.
#include "gui/instance_dialogs.h"

#include "base/fs.h"
#include "base/strings.h"
#include "config/settings.h"
#include "content/mrpack_export.h"
#include "game/java.h"
#include "gui/bridge.h"
#include "gui/page_home.h"
#include "gui/widgets.h"
#include "gui/window.h"

#include <cerrno>
#include <cmath>
#include <memory>

std::string instance_memory_text(int mb) {
    if (mb % 1024 == 0) return format_alloc("%d ГБ", mb / 1024);
    return format_alloc("%d МБ", mb);
}

std::string instance_export_target(const std::string &chosen) {
    if (chosen.empty() || str_ends_with(str_lower(chosen), ".mrpack")) return chosen;
    return chosen + ".mrpack";
}

namespace {

const char *const k_same = "как в настройках";
const char *const k_java_modes[] = {"как в настройках", "автоматически", "свой путь", nullptr};
enum { k_java_same = 0, k_java_auto_mode = 1, k_java_path_mode = 2 };

// A small window of the launcher's look over the main window, holding state
// (deleted with the window, which goes with its parent) and a column with a
// heading and a hint, for the rest of its content.
template <class State>
GtkWidget *dialog_window(const char *title, State *state, const std::string &heading,
                         const char *hint, GtkWidget **column) {
    GtkWidget *win = gtk_window_new();
    gtk_window_set_title(GTK_WINDOW(win), title);
    gtk_window_set_transient_for(GTK_WINDOW(win), gui.window);
    gtk_window_set_modal(GTK_WINDOW(win), TRUE);
    gtk_window_set_destroy_with_parent(GTK_WINDOW(win), TRUE);
    gtk_window_set_resizable(GTK_WINDOW(win), FALSE);
    gtk_widget_add_css_class(win, "zyl");
    *column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    gtk_widget_set_margin_start(*column, 22);
    gtk_widget_set_margin_end(*column, 22);
    gtk_widget_set_margin_top(*column, 18);
    gtk_widget_set_margin_bottom(*column, 18);
    gtk_window_set_child(GTK_WINDOW(win), *column);
    g_object_set_data_full(G_OBJECT(win), "zyl-dialog", state,
                           [](gpointer p) { delete static_cast<State *>(p); });
    gtk_box_append(GTK_BOX(*column), text_label(heading.c_str(), "side-name"));
    gtk_box_append(GTK_BOX(*column), wrapped_label(hint, "sub", 52));
    return win;
}

// "Отмена" and the main button at the end of a dialog.
GtkWidget *button_row(GtkWidget *column, const char *main_label, GCallback on_main,
                      GCallback on_cancel, gpointer data) {
    GtkWidget *row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_widget_set_halign(row, GTK_ALIGN_END);
    gtk_widget_set_margin_top(row, 6);
    GtkWidget *cancel = gtk_button_new_with_label("Отмена");
    gtk_widget_add_css_class(cancel, "btn");
    g_signal_connect(cancel, "clicked", on_cancel, data);
    GtkWidget *main = gtk_button_new_with_label(main_label);
    gtk_widget_add_css_class(main, "accent");
    g_signal_connect(main, "clicked", on_main, data);
    gtk_box_append(GTK_BOX(row), cancel);
    gtk_box_append(GTK_BOX(row), main);
    gtk_box_append(GTK_BOX(column), row);
    return main;
}

// --- the instance's own settings ---------------------------------------------------

struct SettingsDialog {
    std::string folder, name;
    GtkWindow *win = nullptr;
    GtkCheckButton *ram_same = nullptr, *jvm_same = nullptr, *size_same = nullptr,
                   *server_same = nullptr;
    GtkSpinButton *ram = nullptr, *width = nullptr, *height = nullptr;
    GtkDropDown *java_mode = nullptr;
    GtkEditable *java_path = nullptr, *jvm = nullptr, *server = nullptr;
    GtkLabel *error = nullptr;
};

void on_same_toggled(GtkCheckButton *check, gpointer control) {
    gtk_widget_set_sensitive(GTK_WIDGET(control), !gtk_check_button_get_active(check));
}

// A row: the caption, then "как в настройках" that switches the control off.
GtkCheckButton *same_row(GtkWidget *column, const char *caption, GtkWidget *control, bool same) {
    GtkWidget *box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 10);
    GtkWidget *check = gtk_check_button_new_with_label(k_same);
    std::string name = std::string(caption) + ": " + k_same;
    widget_set_accessible_label(check, name.c_str());
    gtk_check_button_set_active(GTK_CHECK_BUTTON(check), same);
    gtk_widget_set_sensitive(control, !same);
    g_signal_connect(check, "toggled", G_CALLBACK(on_same_toggled), control);
    gtk_box_append(GTK_BOX(box), check);
    gtk_box_append(GTK_BOX(box), control);
    gtk_box_append(GTK_BOX(column), list_row(caption, box));
    return GTK_CHECK_BUTTON(check);
}

GtkEditable *entry(const char *name, const std::string &text, const char *placeholder) {
    GtkWidget *e = gtk_entry_new();
    gtk_editable_set_text(GTK_EDITABLE(e), text.c_str());
    if (placeholder) gtk_entry_set_placeholder_text(GTK_ENTRY(e), placeholder);
    gtk_widget_set_size_request(e, 240, -1);
    widget_set_accessible_label(e, name);
    return GTK_EDITABLE(e);
}

GtkSpinButton *spin(double lo, double hi, double step, double value, const char *name) {
    GtkWidget *s = gtk_spin_button_new_with_range(lo, hi, step);
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(s), value);
    gtk_widget_set_size_request(s, 110, -1);
    widget_set_accessible_label(s, name);
    return GTK_SPIN_BUTTON(s);
}

void java_mode_changed(GtkDropDown *dd, GParamSpec *, gpointer data) {
    auto *d = static_cast<SettingsDialog *>(data);
    gtk_widget_set_sensitive(GTK_WIDGET(d->java_path),
                             gtk_drop_down_get_selected(dd) == k_java_path_mode);
}

GtkWidget *java_row(SettingsDialog &d, const Instance &inst) {
    GtkWidget *box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 10);
    GtkWidget *dd = gtk_drop_down_new_from_strings(k_java_modes);
    widget_set_accessible_label(dd, "Java сборки");
    guint mode = !inst.java_path                  ? k_java_same
                 : *inst.java_path == k_java_auto ? k_java_auto_mode
                                                  : k_java_path_mode;
    gtk_drop_down_set_selected(GTK_DROP_DOWN(dd), mode);
    std::string path = mode == k_java_path_mode ? *inst.java_path : g_settings.java_path;
    d.java_mode = GTK_DROP_DOWN(dd);
    d.java_path = entry("Путь к Java сборки", path, "/usr/lib/jvm/java-17/bin/java");
    gtk_widget_set_sensitive(GTK_WIDGET(d.java_path), mode == k_java_path_mode);
    g_signal_connect(dd, "notify::selected", G_CALLBACK(java_mode_changed), &d);
    gtk_box_append(GTK_BOX(box), dd);
    gtk_box_append(GTK_BOX(box), GTK_WIDGET(d.java_path));
    return list_row("Java", box);
}

GtkWidget *size_box(SettingsDialog &d, const Instance &inst) {
    GtkWidget *box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    const Settings &s = g_settings;
    d.width = spin(320, 7680, 10, inst.width > 0 ? inst.width : s.width, "Ширина окна сборки");
    d.height = spin(240, 4320, 10, inst.height > 0 ? inst.height : s.height, "Высота окна сборки");
    GtkWidget *times = gtk_label_new("×");
    gtk_widget_add_css_class(times, "ram-val");
    gtk_box_append(GTK_BOX(box), GTK_WIDGET(d.width));
    gtk_box_append(GTK_BOX(box), times);
    gtk_box_append(GTK_BOX(box), GTK_WIDGET(d.height));
    return box;
}

// The dialog's choices over the record; false (the dialog says why) when a
// choice is incomplete.
bool settings_take(SettingsDialog &d, Instance &i) {
    for (GtkSpinButton *s : {d.ram, d.width, d.height})
        gtk_spin_button_update(s); // a number typed but not confirmed counts too
    std::optional<std::string> java;
    guint mode = gtk_drop_down_get_selected(d.java_mode);
    if (mode == k_java_auto_mode) java = k_java_auto;
    if (mode == k_java_path_mode) {
        java = str_trim(gtk_editable_get_text(d.java_path));
        if (java->empty()) {
            label_show(d.error, "Укажите путь к Java");
            gtk_widget_set_visible(GTK_WIDGET(d.error), TRUE);
            return false;
        }
    }
    i.java_path = java;
    i.ram_mb = gtk_check_button_get_active(d.ram_same)
                   ? 0
                   : static_cast<int>(std::lround(gtk_spin_button_get_value(d.ram) * 1024));
    bool size_same = gtk_check_button_get_active(d.size_same);
    i.width = size_same ? 0 : gtk_spin_button_get_value_as_int(d.width);
    i.height = size_same ? 0 : gtk_spin_button_get_value_as_int(d.height);
    i.jvm_args.reset();
    if (!gtk_check_button_get_active(d.jvm_same)) i.jvm_args = gtk_editable_get_text(d.jvm);
    i.server.reset();
    if (!gtk_check_button_get_active(d.server_same))
        i.server = str_trim(gtk_editable_get_text(d.server));
    return true;
}

void on_settings_save(GtkButton *, gpointer data) {
    auto *d = static_cast<SettingsDialog *>(data);
    Instance chosen;
    if (!settings_take(*d, chosen)) return;
    int rc = instance_update(d->folder, [&](Instance &on_disk) {
        on_disk.ram_mb = chosen.ram_mb;
        on_disk.java_path = chosen.java_path;
        on_disk.jvm_args = chosen.jvm_args;
        on_disk.width = chosen.width;
        on_disk.height = chosen.height;
        on_disk.server = chosen.server;
    });
    if (rc != 0) {
        std::string why = "Не удалось сохранить: " + fs_error_text(errno);
        label_show(d->error, why, true);
        gtk_widget_set_visible(GTK_WIDGET(d->error), TRUE);
        return;
    }
    std::string done = "Настройки сборки «" + d->name + "» сохранены";
    gui_log(done.c_str());
    gui_set_status(done.c_str());
    gtk_window_destroy(d->win);
    refresh_instances();
}

} // namespace

void instance_settings_dialog(const Instance &inst) {
    auto *d = new SettingsDialog;
    d->folder = inst.folder;
    d->name = inst.name;
    GtkWidget *col;
    GtkWidget *win = dialog_window("Настройки сборки", d, "Настройки сборки «" + inst.name + "»",
                                   "Отмеченное «как в настройках» берётся из Настроек лаунчера; "
                                   "остальное действует только в этой сборке при каждом запуске.",
                                   &col);
    d->win = GTK_WINDOW(win);
    const Settings &s = g_settings;
    d->ram =
        spin(0.5, 64, 0.5, inst.ram_mb > 0 ? inst.ram_mb / 1024.0 : s.ram_gb, "Память сборки, ГБ");
    gtk_spin_button_set_digits(d->ram, 1);
    d->ram_same = same_row(col, "Память, ГБ", GTK_WIDGET(d->ram), inst.ram_mb <= 0);
    gtk_box_append(GTK_BOX(col), java_row(*d, inst));
    d->jvm = entry("Аргументы JVM сборки", inst.jvm_args.value_or(s.jvm_args), "-XX:+UseZGC …");
    d->jvm_same = same_row(col, "Аргументы JVM", GTK_WIDGET(d->jvm), !inst.jvm_args);
    d->size_same = same_row(col, "Размер окна", size_box(*d, inst), inst.width <= 0);
    d->server = entry("Сервер сборки", inst.server.value_or(s.server), "host:port");
    d->server_same = same_row(col, "Сразу на сервер", GTK_WIDGET(d->server), !inst.server);
    GtkWidget *error = text_label("", "notice");
    gtk_widget_set_visible(error, FALSE);
    d->error = GTK_LABEL(error);
    gtk_box_append(GTK_BOX(col), error);
    button_row(col, "Сохранить", G_CALLBACK(on_settings_save),
               G_CALLBACK(+[](GtkButton *b, gpointer) {
                   gtk_window_destroy(GTK_WINDOW(gtk_widget_get_root(GTK_WIDGET(b))));
               }),
               d);
    gtk_window_present(GTK_WINDOW(win));
}

// --- export ----------------------------------------------------------------------------

namespace {

struct ExportDialog {
    Instance inst;
    GtkWindow *win = nullptr;
    std::vector<std::pair<std::string, GtkCheckButton *>> checks;
};

struct ExportRequest {
    Instance inst;
    std::string target;
    std::vector<std::string> chosen;
    int result = -1;
    std::string error;
    ExportSummary summary;
};

void export_work(ExportRequest &r) {
    r.result = mrpack_export(r.inst, r.target, r.chosen, &r.summary, &r.error);
    gui_content_ops.fetch_sub(1);
}

void export_done(ExportRequest &r) {
    std::string text = r.result == 0 ? "Модпак сохранён: " + r.target
                                     : "Ошибка экспорта: " + (r.error.empty() ? "?" : r.error);
    gui_log(text.c_str());
    gui_set_status(text.c_str());
}

void on_target_chosen(GtkNativeDialog *chooser, int response, gpointer data) {
    std::unique_ptr<ExportRequest> r(static_cast<ExportRequest *>(data));
    r->target = instance_export_target(file_chooser_finish(chooser, response));
    if (r->target.empty()) return;
    std::string text = "Экспорт сборки «" + r->inst.name + "»...";
    gui_set_status(text.c_str());
    gui_content_ops.fetch_add(1);
    gui_worker_start("export", std::move(r), export_work, export_done);
}

void on_export_next(GtkButton *, gpointer data) {
    auto *d = static_cast<ExportDialog *>(data);
    auto r = std::make_unique<ExportRequest>();
    r->inst = d->inst;
    for (const auto &[name, check] : d->checks)
        if (gtk_check_button_get_active(check)) r->chosen.push_back(name);
    gtk_window_destroy(d->win); // frees d
    GtkFileChooserNative *chooser =
        gtk_file_chooser_native_new("Экспорт сборки в .mrpack", gui.window,
                                    GTK_FILE_CHOOSER_ACTION_SAVE, "Сохранить", "Отмена");
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(chooser), TRUE);
    std::string name = r->inst.folder + ".mrpack";
    gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser), name.c_str());
    GtkFileFilter *filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, "Модпак Modrinth (*.mrpack)");
    gtk_file_filter_add_pattern(filter, "*.mrpack");
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
    g_object_unref(filter);
    g_signal_connect(chooser, "response", G_CALLBACK(on_target_chosen), r.release());
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
}

} // namespace

void instance_export_dialog(const Instance &inst) {
    auto *d = new ExportDialog;
    d->inst = inst;
    GtkWidget *col;
    GtkWidget *win = dialog_window("Экспорт сборки", d, "Экспорт «" + inst.name + "» в .mrpack",
                                   "Файлы с Modrinth войдут в модпак ссылками, остальные файлы "
                                   "отмеченных папок — целиком. Миры, журналы и кэши — только "
                                   "если их отметить.",
                                   &col);
    d->win = GTK_WINDOW(win);
    GtkWidget *list = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
    for (const ExportEntry &e : mrpack_export_entries(inst)) {
        std::string label = str_display(e.name) + (e.is_dir ? "/" : "");
        GtkWidget *check = gtk_check_button_new_with_label(label.c_str());
        gtk_check_button_set_active(GTK_CHECK_BUTTON(check), e.chosen);
        gtk_box_append(GTK_BOX(list), check);
        d->checks.emplace_back(e.name, GTK_CHECK_BUTTON(check));
    }
    GtkWidget *scroller = vertical_scroller(list);
    gtk_scrolled_window_set_min_content_height(GTK_SCROLLED_WINDOW(scroller), 220);
    gtk_box_append(GTK_BOX(col), scroller);
    button_row(col, "Сохранить…", G_CALLBACK(on_export_next),
               G_CALLBACK(+[](GtkButton *b, gpointer) {
                   gtk_window_destroy(GTK_WINDOW(gtk_widget_get_root(GTK_WIDGET(b))));
               }),
               d);
    gtk_window_present(GTK_WINDOW(win));
}
