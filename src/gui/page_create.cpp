// New-instance page: a name, a loader, a game version and a loader version,
// and the "create" worker that installs everything the instance needs. The
// game versions come once from the "versions" worker; loader versions from a
// "lver" worker at every change, generation-checked so that only the answer
// for the latest choice is shown.
//
// Interface thread only; the workers get copies of their inputs and touch no
// widget.
#include "gui/app.h"
#include "gui/bridge.h"
#include "gui/page_home.h"
#include "gui/pages.h"
#include "gui/widgets.h"

#include "base/strings.h"
#include "game/loaders.h"
#include "game/versions.h"

#include <cstdio>
#include <memory>

namespace {

const char *const k_loaders[5] = {"Vanilla", "Fabric", "Quilt", "Forge", "NeoForge"};
const char *const k_no_versions = "—";
const char *const k_loading = "загрузка...";
constexpr int k_quick_buttons = 12;

struct CreatePage {
    // The catalogue in manifest order, with a kind letter per id: 'r'
    // release, 's' snapshot, 'o' anything older.
    std::vector<std::string> ids;
    std::string kinds;

    GtkEntry *name = nullptr;
    std::vector<GtkWidget *> loader_toggles;
    int loader = 0;
    GtkStringList *versions = nullptr;
    GtkDropDown *version = nullptr;
    GtkFlowBox *quick = nullptr;
    std::vector<GtkWidget *> quick_buttons;
    GtkCheckButton *snapshots = nullptr, *old = nullptr;
    GtkStringList *loader_versions = nullptr;
    GtkDropDown *loader_version = nullptr;

    bool auto_name = true;
    bool programmatic = false; // the program writes the name entry
    bool refilling = false;    // the version model is being replaced
    unsigned generation = 0;   // of loader-version requests
    std::string last_choice;   // loader and game version last acted on

    GtkWidget *badge = nullptr, *create = nullptr;
    GtkLabel *title = nullptr, *desc = nullptr, *game = nullptr, *loader_value = nullptr;
    GtkLabel *status = nullptr;
    GtkProgressBar *progress = nullptr;
};
CreatePage c;

std::string selected_text(GtkDropDown *dd) {
    GObject *item = static_cast<GObject *>(gtk_drop_down_get_selected_item(dd));
    if (!item || !GTK_IS_STRING_OBJECT(item)) return "";
    return gtk_string_object_get_string(GTK_STRING_OBJECT(item));
}

void model_replace(GtkStringList *model, const std::vector<std::string> &rows) {
    std::vector<const char *> strv;
    for (const std::string &r : rows)
        strv.push_back(r.c_str());
    strv.push_back(nullptr);
    gtk_string_list_splice(model, 0, g_list_model_get_n_items(G_LIST_MODEL(model)), strv.data());
}

const char *loader_name() {
    return k_loaders[c.loader];
}

} // namespace

// --- summary -----------------------------------------------------------------

static void summary_update() {
    std::string n = gtk_editable_get_text(GTK_EDITABLE(c.name));
    std::string l = loader_name();
    std::string g = selected_text(c.version);
    if (g.empty()) g = "…";
    std::string v = selected_text(c.loader_version);
    bool chosen = !v.empty() && v != k_no_versions && v != k_loading;
    badge_set_letter(c.badge, n.empty() ? l.c_str() : n.c_str());
    label_show(c.title, n.empty() ? "Без названия" : n);
    std::string desc = chosen ? l + " " + v + " · " + g : l + " · " + g;
    label_show(c.desc, desc);
    std::string game = "Minecraft " + g;
    gtk_label_set_text(c.game, game.c_str());
    std::string loader;
    if (l == "Vanilla")
        loader = "без загрузчика модов";
    else if (chosen)
        loader = l + " " + v;
    else
        loader = l + " " + (v == k_loading ? "(загрузка версий…)" : "");
    gtk_label_set_text(c.loader_value, loader.c_str());
}

void create_page_summary() {
    summary_update();
}

// --- loader versions -----------------------------------------------------------

namespace {
struct LoaderVersionsRequest {
    unsigned generation;
    std::string loader, mc;
    std::vector<std::string> versions;
};
} // namespace

static void loader_versions_work(LoaderVersionsRequest &r) {
    StrList out;
    loader_versions(r.loader, r.mc, out);
    r.versions.assign(out.begin(), out.end());
}

static void loader_versions_done(LoaderVersionsRequest &r) {
    if (r.generation != c.generation) {
        fprintf(stderr, "loader versions of %s %s dropped: a newer choice was made\n",
                r.loader.c_str(), r.mc.c_str());
        return;
    }
    if (r.versions.empty()) r.versions.push_back(k_no_versions);
    model_replace(c.loader_versions, r.versions);
    gtk_widget_set_sensitive(GTK_WIDGET(c.loader_version), r.versions[0] != k_no_versions);
    summary_update();
}

static void write_auto_name() {
    std::string g = selected_text(c.version);
    if (g.empty()) return;
    std::string name = std::string(loader_name()) + " " + g;
    c.programmatic = true;
    gtk_editable_set_text(GTK_EDITABLE(c.name), name.c_str());
    c.programmatic = false;
}

static void quick_restyle() {
    std::string g = selected_text(c.version);
    for (GtkWidget *b : c.quick_buttons) {
        if (g == gtk_button_get_label(GTK_BUTTON(b)))
            gtk_widget_add_css_class(b, "on");
        else
            gtk_widget_remove_css_class(b, "on");
    }
}

// The loader or the game version changed.
static void choice_changed() {
    if (!c.refilling) quick_restyle();
    std::string g = selected_text(c.version);
    std::string choice = std::string(loader_name()) + "\n" + g;
    if (choice == c.last_choice) return;
    c.last_choice = choice;
    if (c.auto_name) write_auto_name();
    c.generation++;
    bool vanilla = c.loader == 0;
    model_replace(c.loader_versions, {vanilla ? k_no_versions : k_loading});
    gtk_widget_set_sensitive(GTK_WIDGET(c.loader_version), FALSE);
    summary_update();
    if (g.empty() || vanilla) return;
    auto req = std::make_unique<LoaderVersionsRequest>();
    req->generation = c.generation;
    req->loader = loader_name();
    req->mc = g;
    gui_worker_start("lver", std::move(req), loader_versions_work, loader_versions_done);
}

// --- game versions -------------------------------------------------------------

static void version_filter() {
    bool snapshots = gtk_check_button_get_active(c.snapshots);
    bool old = gtk_check_button_get_active(c.old);
    std::vector<std::string> taken;
    for (size_t i = 0; i < c.ids.size(); i++) {
        char k = c.kinds[i];
        if (k == 'r' || (k == 's' && snapshots) || (k == 'o' && old)) taken.push_back(c.ids[i]);
    }
    if (taken.empty()) return;
    c.refilling = true;
    model_replace(c.versions, taken);
    c.refilling = false;
    while (GtkWidget *child = gtk_widget_get_first_child(GTK_WIDGET(c.quick)))
        gtk_flow_box_remove(c.quick, child);
    c.quick_buttons.clear();
    for (size_t i = 0; i < taken.size() && i < k_quick_buttons; i++) {
        GtkWidget *b = gtk_button_new_with_label(str_display(taken[i]).c_str());
        gtk_widget_add_css_class(b, "vq");
        gtk_widget_set_hexpand(b, TRUE);
        g_signal_connect(b, "clicked", G_CALLBACK(+[](GtkButton *btn, gpointer) {
                             const char *id = gtk_button_get_label(btn);
                             GListModel *m = G_LIST_MODEL(c.versions);
                             for (guint j = 0; j < g_list_model_get_n_items(m); j++) {
                                 if (g_strcmp0(gtk_string_list_get_string(c.versions, j), id) ==
                                     0) {
                                     gtk_drop_down_set_selected(c.version, j);
                                     break;
                                 }
                             }
                         }),
                         nullptr);
        gtk_flow_box_append(c.quick, b);
        c.quick_buttons.push_back(b);
    }
    quick_restyle();
}

namespace {
struct VersionsResult {
    std::vector<std::string> ids;
    std::string kinds;
};
} // namespace

static void versions_work(VersionsResult &r) {
    JsonPtr manifest = manifest_load(true);
    const cJSON *v;
    cJSON_ArrayForEach(v, json_get(manifest.get(), "versions")) {
        auto id = json_str_opt(v, "id");
        if (!id) continue;
        auto type = json_str_opt(v, "type");
        int bit = version_type_bit(type ? *type : "");
        r.ids.push_back(*id);
        r.kinds += bit == VERSION_RELEASE ? 'r' : bit == VERSION_SNAPSHOT ? 's' : 'o';
    }
    if (r.ids.empty()) gui_log("Не удалось загрузить список версий (нет интернета?)");
}

static void versions_done(VersionsResult &r) {
    c.ids = std::move(r.ids);
    c.kinds = std::move(r.kinds);
    version_filter();
}

void create_page_load_versions() {
    gui_worker_start("versions", std::make_unique<VersionsResult>(), versions_work, versions_done);
}

// --- creating ------------------------------------------------------------------

namespace {
struct CreateRequest {
    std::string name, mc, loader, loader_version;
    bool ok = false;
    std::string folder;
};
} // namespace

static void create_work(CreateRequest &r) {
    Instance out;
    r.ok = instance_create(r.name, r.loader, r.mc, r.loader_version, &out) == 0;
    r.folder = out.folder;
    gui_busy.store(false);
}

static void create_done(CreateRequest &r) {
    if (!r.ok) {
        gtk_label_set_text(c.status, "Ошибка установки — подробности в «Журнал»");
        return;
    }
    std::string done = "Готово! Сборка «" + r.name + "» установлена — она на Главной";
    label_show(c.status, done, true);
    gui_set_status(done.c_str());
    home_select_next(r.folder);
    refresh_instances();
    c.auto_name = true;
    write_auto_name();
}

// Names are compared ignoring ASCII letter case only: "Мир" and "мир" are two names.
static bool create_name_taken(const std::string &name, const std::vector<Instance> &instances) {
    for (const Instance &inst : instances)
        if (g_ascii_strcasecmp(inst.name.c_str(), name.c_str()) == 0) return true;
    return false;
}

static void on_create(GtkButton *, gpointer) {
    if (gui_busy.load()) return;
    std::string g = selected_text(c.version);
    if (g.empty()) {
        gtk_label_set_text(c.status, "Список версий ещё загружается...");
        return;
    }
    std::string name = str_trim(gtk_editable_get_text(GTK_EDITABLE(c.name)));
    if (name.empty()) name = std::string(loader_name()) + " " + g;
    if (create_name_taken(name, home_instances())) {
        gtk_label_set_text(c.status, "Сборка с таким названием уже есть — придумайте другое");
        return;
    }
    auto req = std::make_unique<CreateRequest>();
    req->name = name;
    req->mc = g;
    req->loader = loader_name();
    std::string v = selected_text(c.loader_version);
    if (v != k_no_versions && v != k_loading) req->loader_version = v;
    gui_busy.store(true);
    gtk_progress_bar_set_fraction(c.progress, 0);
    gtk_label_set_text(c.status, "Установка...");
    gui_worker_start("create", std::move(req), create_work, create_done);
}

void create_page_sync_busy(bool busy) {
    gtk_widget_set_sensitive(c.create, !busy);
    gtk_widget_set_visible(GTK_WIDGET(c.progress), busy);
}

void create_page_show_progress(const char *text, long current, long total) {
    gtk_label_set_text(c.status, text);
    if (total > 0)
        gtk_progress_bar_set_fraction(c.progress, CLAMP(double(current) / total, 0.0, 1.0));
    else
        gtk_progress_bar_pulse(c.progress);
}

void create_page_hook_loader(const char *value) {
    long n = gui_hook_number(value);
    if (n >= 1 && n <= 4)
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c.loader_toggles[n]), TRUE);
}

// --- building the page ---------------------------------------------------------

static void on_loader_toggled(GtkToggleButton *b, gpointer data) {
    if (!gtk_toggle_button_get_active(b)) return;
    c.loader = GPOINTER_TO_INT(data);
    choice_changed();
}

static void on_name_changed(GtkEditable *, gpointer) {
    if (!c.programmatic) c.auto_name = false;
    summary_update();
}

static GtkWidget *searchable_dropdown(GtkStringList *model, const char *tooltip) {
    GtkExpression *expr = gtk_property_expression_new(GTK_TYPE_STRING_OBJECT, nullptr, "string");
    GtkWidget *dd = gtk_drop_down_new(G_LIST_MODEL(model), expr);
    gtk_drop_down_set_enable_search(GTK_DROP_DOWN(dd), TRUE);
    gtk_widget_set_tooltip_text(dd, tooltip);
    widget_set_accessible_label(dd, tooltip);
    return dd;
}

static GtkWidget *form() {
    GtkWidget *box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 10);
    gtk_widget_add_css_class(box, "box");
    gtk_widget_set_valign(box, GTK_ALIGN_START);

    gtk_box_append(GTK_BOX(box), text_label("Название", "li-l"));
    GtkWidget *name = gtk_entry_new();
    gtk_entry_set_placeholder_text(GTK_ENTRY(name), "Например: Выживание с друзьями");
    gtk_entry_set_max_length(GTK_ENTRY(name), 48);
    widget_set_accessible_label(name, "Название");
    g_signal_connect(name, "changed", G_CALLBACK(on_name_changed), nullptr);
    gtk_box_append(GTK_BOX(box), name);
    c.name = GTK_ENTRY(name);

    gtk_box_append(GTK_BOX(box), text_label("Загрузчик", "li-l"));
    GtkWidget *seg =
        toggle_group("seg2", {k_loaders[0], k_loaders[1], k_loaders[2], k_loaders[3], k_loaders[4]},
                     &c.loader_toggles);
    for (size_t i = 0; i < c.loader_toggles.size(); i++) {
        gtk_widget_set_hexpand(c.loader_toggles[i], TRUE);
        g_signal_connect(c.loader_toggles[i], "toggled", G_CALLBACK(on_loader_toggled),
                         GINT_TO_POINTER(static_cast<int>(i)));
    }
    gtk_box_append(GTK_BOX(box), seg);

    gtk_box_append(GTK_BOX(box), text_label("Версия Minecraft", "li-l"));
    GtkWidget *quick = tile_flow(4, 4, 8);
    gtk_box_append(GTK_BOX(box), quick);
    c.quick = GTK_FLOW_BOX(quick);

    GtkWidget *row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    gtk_box_append(GTK_BOX(row), text_label("Все версии:", "sub2"));
    c.versions = gtk_string_list_new(nullptr);
    GtkWidget *version = searchable_dropdown(c.versions, "Все версии (можно искать)");
    gtk_widget_set_size_request(version, 170, -1);
    g_signal_connect(version, "notify::selected-item",
                     G_CALLBACK(+[](GObject *, GParamSpec *, gpointer) { choice_changed(); }),
                     nullptr);
    gtk_box_append(GTK_BOX(row), version);
    c.version = GTK_DROP_DOWN(version);
    GtkWidget *snap = gtk_check_button_new_with_label("Снапшоты");
    GtkWidget *old = gtk_check_button_new_with_label("Alpha / Beta");
    for (GtkWidget *check : {snap, old}) {
        g_signal_connect(check, "toggled",
                         G_CALLBACK(+[](GtkCheckButton *, gpointer) { version_filter(); }),
                         nullptr);
        gtk_box_append(GTK_BOX(row), check);
    }
    c.snapshots = GTK_CHECK_BUTTON(snap);
    c.old = GTK_CHECK_BUTTON(old);
    gtk_box_append(GTK_BOX(box), row);

    gtk_box_append(GTK_BOX(box), text_label("Версия загрузчика", "li-l"));
    c.loader_versions = gtk_string_list_new(nullptr);
    model_replace(c.loader_versions, {k_no_versions});
    GtkWidget *lver = gtk_drop_down_new(G_LIST_MODEL(c.loader_versions), nullptr);
    widget_set_accessible_label(lver, "Версия загрузчика");
    gtk_widget_set_sensitive(lver, FALSE);
    g_signal_connect(lver, "notify::selected-item",
                     G_CALLBACK(+[](GObject *, GParamSpec *, gpointer) { summary_update(); }),
                     nullptr);
    gtk_box_append(GTK_BOX(box), lver);
    c.loader_version = GTK_DROP_DOWN(lver);

    GtkWidget *hint =
        text_label("Название должно быть уникальным. Папка: instances/<название>", "hint");
    gtk_label_set_wrap(GTK_LABEL(hint), TRUE);
    gtk_box_append(GTK_BOX(box), hint);

    GtkWidget *scroll = vertical_scroller(box);
    gtk_widget_set_hexpand(scroll, TRUE);
    return scroll;
}

static GtkWidget *summary() {
    GtkWidget *column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 14);
    gtk_widget_set_size_request(column, 300, -1);
    gtk_widget_set_hexpand(column, FALSE);
    GtkWidget *box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 10);
    gtk_widget_add_css_class(box, "box");

    gtk_box_append(GTK_BOX(box), badge_title_row("V", &c.badge, &c.title, &c.desc));

    gtk_box_append(GTK_BOX(box), text_label("Будет установлено", "sub2"));
    gtk_box_append(GTK_BOX(box), kv_row("Игра", "", &c.game));
    gtk_box_append(GTK_BOX(box), kv_row("Загрузчик", "", &c.loader_value));
    gtk_box_append(GTK_BOX(box), kv_row("Java", "автоматически"));

    GtkWidget *create = gtk_button_new_with_label("Создать сборку");
    gtk_widget_add_css_class(create, "big");
    g_signal_connect(create, "clicked", G_CALLBACK(on_create), nullptr);
    gtk_box_append(GTK_BOX(box), create);
    c.create = create;
    GtkWidget *progress = gtk_progress_bar_new();
    gtk_widget_set_visible(progress, FALSE);
    gtk_box_append(GTK_BOX(box), progress);
    c.progress = GTK_PROGRESS_BAR(progress);
    GtkWidget *status = text_label("Выберите версию и загрузчик", "statusline");
    gtk_label_set_wrap(GTK_LABEL(status), TRUE);
    gtk_label_set_wrap_mode(GTK_LABEL(status), PANGO_WRAP_WORD_CHAR);
    gtk_label_set_max_width_chars(GTK_LABEL(status), 30);
    gtk_box_append(GTK_BOX(box), status);
    c.status = GTK_LABEL(status);

    gtk_box_append(GTK_BOX(column), box);
    return column;
}

GtkWidget *create_page_build() {
    GtkWidget *page =
        page_header("Новая сборка", "Каждая сборка — отдельная папка со своими модами, мирами и "
                                    "настройками. Всё нужное (Java, библиотеки, ресурсы) скачается "
                                    "автоматически");
    GtkWidget *body = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 22);
    gtk_widget_set_vexpand(body, TRUE);
    gtk_box_append(GTK_BOX(body), form());
    gtk_box_append(GTK_BOX(body), summary());
    gtk_box_append(GTK_BOX(page), body);
    return page;
}
