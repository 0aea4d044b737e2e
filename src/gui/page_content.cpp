// Content page: search of Modrinth and CurseForge (through the content
// service, or directly) for what fits the instance chosen in the page's
// drop-down, the results with their icons and download counts, and the
// instance's installed files with update and remove buttons. What the
// buttons start is in content_actions.cpp.
//
// Interface thread only, except the "search" and "icons" workers: they get
// copies of their inputs, call the core and touch no widget (the icon images
// they carry are only handed back to idle callbacks).
#include "gui/page_content.h"

#include "base/fs.h"
#include "base/strings.h"
#include "content/search.h"
#include "gui/app.h"
#include "gui/bridge.h"
#include "gui/icons.h"
#include "gui/page_home.h"
#include "gui/pages.h"
#include "gui/widgets.h"
#include "gui/window.h"
#include "instances/content.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <webp/decode.h>

namespace {

const std::vector<const char *> k_types = {"Моды",     "Ресурспаки", "Шейдеры",
                                           "Датапаки", "Миры",       "Модпаки"};
const std::vector<const char *> k_sources = {"Все", "Modrinth", "CurseForge"};
constexpr int k_type_modpack = 5;
const char *const k_no_instances =
    "Нет сборок. Создайте сборку во вкладке «Новая сборка» или выберите «Модпаки».";
const char *const k_create_first = "Сначала создайте сборку во вкладке «Новая сборка»";

// Icons larger than this are not decoded: a result's icon comes from the network.
constexpr size_t k_icon_max_bytes = 4u << 20;
constexpr int k_icon_max_side = 2048;

struct ContentPage {
    std::vector<GtkWidget *> types, sources;
    GtkDropDown *instance = nullptr;
    GtkLabel *subtitle = nullptr, *notice = nullptr, *summary = nullptr, *heading = nullptr;
    GtkListBox *results = nullptr, *installed = nullptr;
    bool initialised = false; // the first search was started
    unsigned generation = 0;  // of searches
};
ContentPage p;

// The first active type chip; 0 when none is.
int chosen_type() {
    for (size_t i = 0; i < p.types.size(); i++)
        if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(p.types[i]))) return static_cast<int>(i);
    return 0;
}

// The source code of the search: "Все" 2 (both), "Modrinth" 0, "CurseForge" 1.
int chosen_source() {
    if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(p.sources[1]))) return 0;
    if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(p.sources[2]))) return 1;
    return 2;
}

const char *source_names(int code) {
    return code == 1 ? "CurseForge" : code == 0 ? "Modrinth" : "CurseForge + Modrinth";
}

GtkWidget *ellipsized(const std::string &text, const char *css_class) {
    GtkWidget *l = text_label(text.c_str(), css_class);
    gtk_label_set_ellipsize(GTK_LABEL(l), PANGO_ELLIPSIZE_END);
    return l;
}

std::string loader_text(const Instance &inst) {
    return inst.loader_version.empty() ? inst.loader : inst.loader + " " + inst.loader_version;
}

} // namespace

// --- pure pieces ------------------------------------------------------------

std::string content_downloads_text(int count) {
    if (count <= 0) return "";
    char buf[G_ASCII_DTOSTR_BUF_SIZE];
    std::string text;
    if (count > 999999) {
        text = g_ascii_formatd(buf, sizeof buf, "%.1f", count / 1e6);
        text += " млн";
    } else if (count < 1000) {
        text = std::to_string(count);
    } else {
        text = g_ascii_formatd(buf, sizeof buf, "%.1f", count / 1e3);
        text += " тыс.";
    }
    // A decimal point becomes a comma; the dot of "тыс." stays.
    for (size_t i = 0; i + 1 < text.size(); i++)
        if (text[i] == '.' && g_ascii_isdigit(text[i + 1])) text[i] = ',';
    return text + " загрузок";
}

// --- the notice and the chosen instance ---------------------------------------

const Instance *content_selected_instance() {
    guint s = gtk_drop_down_get_selected(p.instance);
    const std::vector<Instance> &list = home_instances();
    return s < list.size() ? &list[s] : nullptr;
}

void content_notice_show(const std::string &text) {
    label_show(p.notice, text, true);
    gtk_widget_set_visible(GTK_WIDGET(p.notice), TRUE);
}

void content_notice_hide() {
    gtk_widget_set_visible(GTK_WIDGET(p.notice), FALSE);
    gtk_label_set_text(p.notice, "");
}

// --- icons --------------------------------------------------------------------

namespace {
struct IconsRequest {
    std::vector<GtkImage *> images; // one reference each, dropped on the interface thread
    std::vector<std::string> urls;
};
} // namespace

// The width and height a PNG's header gives; false when it is not a PNG.
static bool png_size(const std::string &bytes, uint32_t *w, uint32_t *h) {
    if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return false;
    auto be32 = [&](size_t at) {
        const auto *b = reinterpret_cast<const unsigned char *>(bytes.data() + at);
        return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
    };
    *w = be32(16);
    *h = be32(20);
    return true;
}

// A WebP picture as a texture; none when the bytes are no WebP (or too big).
static GdkTexture *webp_texture(const std::string &bytes, bool *is_webp) {
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.data());
    int w = 0, h = 0;
    *is_webp = WebPGetInfo(data, bytes.size(), &w, &h);
    if (!*is_webp || w <= 0 || h <= 0 || w > k_icon_max_side || h > k_icon_max_side) return nullptr;
    uint8_t *rgba = WebPDecodeRGBA(data, bytes.size(), &w, &h);
    if (!rgba || w <= 0 || h <= 0) {
        if (rgba) WebPFree(rgba);
        *is_webp = false; // GDK may know better
        return nullptr;
    }
    GBytes *pixels = g_bytes_new_with_free_func(rgba, size_t(w) * h * 4, WebPFree, rgba);
    GdkTexture *t = gdk_memory_texture_new(w, h, GDK_MEMORY_R8G8B8A8, pixels, size_t(w) * 4);
    g_bytes_unref(pixels);
    return t;
}

// The cached icon of url as a texture, or none. WebP is decoded here; every
// other format by GDK's own loaders. Any thread.
static GdkTexture *icon_texture(const std::string &url) {
    if (url.empty()) return nullptr;
    std::optional<std::string> path = icon_cache_path(url);
    if (!path) return nullptr;
    FileStat st;
    if (fs_stat(*path, &st) != 0 || st.size <= 0 ||
        st.size > static_cast<long long>(k_icon_max_bytes))
        return nullptr;
    std::optional<std::string> bytes = fs_read_all(*path);
    if (!bytes || bytes->empty() || bytes->size() > k_icon_max_bytes) return nullptr;
    bool is_webp = false;
    if (GdkTexture *t = webp_texture(*bytes, &is_webp)) return t;
    if (is_webp) return nullptr; // larger than an icon needs
    uint32_t pw, ph;
    if (png_size(*bytes, &pw, &ph) && (pw > k_icon_max_side || ph > k_icon_max_side))
        return nullptr;
    GBytes *b = g_bytes_new(bytes->data(), bytes->size());
    GdkTexture *t = gdk_texture_new_from_bytes(b, nullptr);
    g_bytes_unref(b);
    return t;
}

// Each icon lands on its image as soon as it is ready; an image that a newer
// search has taken off the list still takes it, unseen.
static void icons_work(IconsRequest &r) {
    for (size_t i = 0; i < r.images.size(); i++) {
        GtkImage *image = r.images[i];
        GdkTexture *texture = icon_texture(r.urls[i]);
        gui_idle([image, texture] {
            if (texture) {
                gtk_image_set_from_paintable(image, GDK_PAINTABLE(texture));
                g_object_unref(texture);
            }
            g_object_unref(image);
        });
    }
}

// --- results ----------------------------------------------------------------------

static void on_result_main(GtkButton *b, gpointer data) {
    content_result_clicked(GTK_WIDGET(b), *static_cast<ResultAction *>(data));
}

static void on_result_page(GtkButton *, gpointer data) {
    const char *url = static_cast<const char *>(data);
    if (url && *url) window_open_uri(url);
}

static GtkWidget *result_text(const SearchHit &h) {
    GtkWidget *col = gtk_box_new(GTK_ORIENTATION_VERTICAL, 3);
    gtk_widget_set_hexpand(col, TRUE);
    gtk_widget_set_valign(col, GTK_ALIGN_CENTER);
    GtkWidget *head = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    GtkWidget *title = ellipsized(h.title, "mtitle");
    gtk_widget_set_hexpand(title, FALSE);
    gtk_box_append(GTK_BOX(head), title);
    GtkWidget *author = ellipsized("от " + h.author, "mauthor");
    gtk_widget_set_valign(author, GTK_ALIGN_BASELINE);
    gtk_box_append(GTK_BOX(head), author);
    gtk_box_append(GTK_BOX(col), head);

    GtkWidget *desc = text_label(h.summary.c_str(), "mdesc");
    gtk_label_set_wrap(GTK_LABEL(desc), TRUE);
    gtk_label_set_lines(GTK_LABEL(desc), 2);
    gtk_label_set_ellipsize(GTK_LABEL(desc), PANGO_ELLIPSIZE_END);
    gtk_label_set_width_chars(GTK_LABEL(desc), 20);
    gtk_label_set_max_width_chars(GTK_LABEL(desc), 60);
    gtk_box_append(GTK_BOX(col), desc);

    GtkWidget *tags = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
    bool cf = h.source == ContentSource::CurseForge;
    GtkWidget *src = gtk_label_new(cf ? "CurseForge" : "Modrinth");
    gtk_widget_add_css_class(src, cf ? "tag-cf" : "tag-mr");
    gtk_box_append(GTK_BOX(tags), src);
    // The hit's slug stands for its category: the search answer carries no other.
    GtkWidget *category = gtk_label_new(str_display(h.slug).c_str());
    gtk_widget_add_css_class(category, "tag");
    gtk_box_append(GTK_BOX(tags), category);
    gtk_box_append(GTK_BOX(col), tags);
    return col;
}

static GtkWidget *result_actions(const SearchHit &h, int type) {
    GtkWidget *col = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    gtk_widget_set_valign(col, GTK_ALIGN_CENTER);
    gtk_widget_set_size_request(col, 130, -1);
    std::string downloads = content_downloads_text(h.downloads);
    if (!downloads.empty()) {
        GtkWidget *stat = gtk_label_new(downloads.c_str());
        gtk_widget_add_css_class(stat, "mstat");
        gtk_label_set_xalign(GTK_LABEL(stat), 1);
        gtk_box_append(GTK_BOX(col), stat);
    }
    bool installed = h.installed != 0;
    const char *label = type == k_type_modpack ? "Создать сборку"
                        : installed            ? "Установлен"
                                               : "Установить";
    GtkWidget *main = gtk_button_new_with_label(label);
    gtk_widget_add_css_class(main, installed ? "done" : "accent");
    gtk_widget_set_sensitive(main, !installed);
    gtk_widget_set_halign(main, GTK_ALIGN_END);
    auto *action =
        new ResultAction{h.source == ContentSource::CurseForge ? 1 : 0, type, h.id, h.title};
    g_object_set_data_full(G_OBJECT(main), "zyl-action", action,
                           [](gpointer a) { delete static_cast<ResultAction *>(a); });
    g_signal_connect(main, "clicked", G_CALLBACK(on_result_main), action);
    gtk_box_append(GTK_BOX(col), main);

    GtkWidget *page = gtk_button_new_with_label("Страница");
    gtk_widget_add_css_class(page, "linkbtn");
    gtk_widget_set_halign(page, GTK_ALIGN_END);
    char *url = g_strdup(h.page_url.c_str());
    g_object_set_data_full(G_OBJECT(page), "zyl-url", url, g_free);
    g_signal_connect(page, "clicked", G_CALLBACK(on_result_page), url);
    gtk_box_append(GTK_BOX(col), page);
    return col;
}

// One result; *icon receives the (still empty) icon image.
static GtkWidget *result_row(const SearchHit &h, int type, GtkWidget **icon) {
    GtkWidget *row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 14);
    gtk_widget_add_css_class(row, "res");
    GtkWidget *image = gtk_image_new();
    gtk_image_set_pixel_size(GTK_IMAGE(image), 56);
    gtk_widget_add_css_class(image, "micon");
    gtk_widget_set_size_request(image, 56, 56);
    gtk_widget_set_valign(image, GTK_ALIGN_CENTER);
    gtk_widget_set_overflow(image, GTK_OVERFLOW_HIDDEN);
    gtk_box_append(GTK_BOX(row), image);
    gtk_box_append(GTK_BOX(row), result_text(h));
    gtk_box_append(GTK_BOX(row), result_actions(h, type));
    *icon = image;
    return row;
}

// --- searching ------------------------------------------------------------------------

namespace {
struct SearchRequest {
    unsigned generation = 0;
    int source = 2;
    int type = 0;
    std::string query;
    std::string folder; // empty for a modpack search without an instance
    int count = -1;
    std::vector<SearchHit> hits;
    std::string notice;
};
} // namespace

static void search_work(SearchRequest &r) {
    SearchSources src;
    if (r.source != 2) src = r.source == 1 ? ContentSource::CurseForge : ContentSource::Modrinth;
    if (r.type == k_type_modpack) {
        r.count = search_service(src, ContentType::Modpack, r.query, std::nullopt, std::nullopt,
                                 r.hits, &r.notice);
        return;
    }
    std::optional<Instance> inst = instance_find(r.folder);
    if (!inst || inst->folder != r.folder) {
        r.count = -1;
        r.notice = k_create_first;
        return;
    }
    r.count = search_for_instance(src, static_cast<ContentType>(r.type), r.query, *inst, r.hits,
                                  &r.notice);
}

static void search_done(SearchRequest &r) {
    if (r.generation != p.generation) return; // a newer search was started
    list_box_clear(p.results);
    if (r.count < 0) {
        content_notice_show(r.notice.empty() ? "Ошибка поиска" : r.notice);
        gui_set_status("Поиск: ошибка");
        return;
    }
    if (!r.notice.empty())
        content_notice_show(r.notice + " — показаны результаты остальных площадок");
    else if (r.count == 0)
        content_notice_show(
            "Ничего не найдено для этой версии и загрузчика. Попробуйте другой запрос.");
    else
        content_notice_hide();
    auto icons = std::make_unique<IconsRequest>();
    for (const SearchHit &h : r.hits) {
        GtkWidget *image;
        gtk_list_box_append(p.results, result_row(h, r.type, &image));
        icons->images.push_back(GTK_IMAGE(g_object_ref(image)));
        icons->urls.push_back(h.icon_url);
    }
    char status[128];
    snprintf(status, sizeof status, "%s: найдено %d", source_names(r.source), r.count);
    gui_set_status(status);
    gui_worker_start(
        "icons", std::move(icons), icons_work, +[](IconsRequest &) {});
}

void start_search() {
    int type = chosen_type();
    const Instance *inst = content_selected_instance();
    if (!inst && type != k_type_modpack) {
        content_notice_show(k_no_instances);
        return;
    }
    collect_settings(); // a CurseForge key typed just now counts
    auto req = std::make_unique<SearchRequest>();
    req->generation = ++p.generation;
    req->source = chosen_source();
    req->type = type;
    req->query = gtk_editable_get_text(GTK_EDITABLE(gui.search));
    if (inst) req->folder = inst->folder;
    gui_set_status(req->source == 1   ? "Поиск на CurseForge..."
                   : req->source == 0 ? "Поиск на Modrinth..."
                                      : "Поиск на CurseForge и Modrinth...");
    gui_worker_start("search", std::move(req), search_work, search_done);
}

void content_page_mark_initialised() {
    p.initialised = true;
}

void content_page_shown() {
    content_page_refresh_installed();
    if (p.initialised) return;
    p.initialised = true;
    start_search();
}

// --- the installed list ------------------------------------------------------------------

static const char *file_of(GtkWidget *button) {
    return static_cast<const char *>(g_object_get_data(G_OBJECT(button), "zyl-file"));
}

static void on_update(GtkButton *b, gpointer) {
    content_update_clicked(GTK_WIDGET(b), file_of(GTK_WIDGET(b)));
}

static void on_remove(GtkButton *b, gpointer) {
    const Instance *inst = content_selected_instance();
    if (!inst) return;
    content_remove_file(*inst, file_of(GTK_WIDGET(b)));
    content_page_refresh_installed();
    update_selection();
}

static GtkWidget *file_button(int icon, const char *tooltip, const std::string &filename,
                              GCallback clicked) {
    GtkWidget *b = icon_button(icon, 14, "xbtn", tooltip);
    gtk_widget_set_valign(b, GTK_ALIGN_CENTER);
    g_object_set_data_full(G_OBJECT(b), "zyl-file", g_strdup(filename.c_str()), g_free);
    g_signal_connect(b, "clicked", clicked, nullptr);
    return b;
}

static GtkWidget *installed_row(const ContentFile &f) {
    GtkWidget *row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_widget_add_css_class(row, "li");
    tooltip_show(row, f.filename);
    GtkWidget *col = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_widget_set_hexpand(col, TRUE);
    gtk_box_append(GTK_BOX(col), ellipsized(f.title, "mod-t"));
    gtk_box_append(GTK_BOX(col),
                   ellipsized(f.source + " · " + content_folder_name(f.type), "mod-s"));
    gtk_box_append(GTK_BOX(row), col);
    if (f.source == "modrinth" || f.source == "curseforge")
        gtk_box_append(GTK_BOX(row),
                       file_button(ICON_DOWNLOAD, "Обновить до последней совместимой версии",
                                   f.filename, G_CALLBACK(on_update)));
    gtk_box_append(GTK_BOX(row),
                   file_button(ICON_CROSS, "Удалить из сборки", f.filename, G_CALLBACK(on_remove)));
    return row;
}

void content_page_refresh_installed() {
    list_box_clear(p.installed);
    const Instance *inst = content_selected_instance();
    if (!inst) {
        gtk_label_set_text(p.summary, "Нет сборок");
        gtk_label_set_text(p.heading, "Установлено");
        gtk_label_set_text(p.subtitle, k_create_first);
        return;
    }
    std::string loader = loader_text(*inst);
    std::string subtitle = "Для сборки «" + inst->name + "» · " + loader + " · Minecraft " +
                           inst->mc +
                           " — показывается только совместимое, зависимости ставятся сами";
    label_show(p.subtitle, subtitle);
    std::string summary = inst->name + " · MC " + inst->mc + " · " + loader;
    label_show(p.summary, summary);
    std::vector<ContentFile> files = content_list_files(*inst);
    std::string heading = "Установлено · " + std::to_string(files.size());
    gtk_label_set_text(p.heading, heading.c_str());
    for (const ContentFile &f : files)
        gtk_list_box_append(p.installed, installed_row(f));
}

// --- hooks ----------------------------------------------------------------------------------

void content_page_hook_source(const char *value) {
    int toggle = g_strcmp0(value, "curseforge") == 0 ? 2
                 : g_strcmp0(value, "modrinth") == 0 ? 1
                                                     : 0;
    if (!toggle) return;
    p.initialised = true;
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(p.sources[toggle]), TRUE);
}

void content_page_hook_type(const char *value) {
    long chip = gui_hook_number(value);
    if (chip < 1 || chip > 5) return;
    p.initialised = true;
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(p.types[chip]), TRUE);
}

// --- building the page ---------------------------------------------------------------------

static void on_toggled(GtkToggleButton *b, gpointer) {
    if (gtk_toggle_button_get_active(b)) start_search();
}

static void on_open_folder(GtkButton *, gpointer) {
    const Instance *inst = content_selected_instance();
    if (!inst) return;
    std::string dir =
        instance_dir(*inst) + "/" + content_folder_name(static_cast<ContentType>(chosen_type()));
    fs_mkdirs(dir);
    window_open_folder(dir);
}

// The page's drop-down changed: its installed list follows, and so do the
// results while they are on screen. A reload of the instance list keeps the
// choice by folder id and refreshes the list itself.
static void on_instance_changed(GObject *, GParamSpec *, gpointer) {
    if (home_refreshing()) return;
    content_page_refresh_installed();
    if (g_strcmp0(visible_page(), "mods") == 0) start_search();
}

static GtkWidget *toolbar() {
    GtkWidget *bar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_box_append(GTK_BOX(bar), toggle_group("chips", k_types, &p.types));
    GtkWidget *spacer = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_widget_set_hexpand(spacer, TRUE);
    gtk_box_append(GTK_BOX(bar), spacer);
    gtk_box_append(GTK_BOX(bar), toggle_group("seg2", k_sources, &p.sources));
    for (GtkWidget *t : p.types)
        g_signal_connect(t, "toggled", G_CALLBACK(on_toggled), nullptr);
    for (GtkWidget *t : p.sources)
        g_signal_connect(t, "toggled", G_CALLBACK(on_toggled), nullptr);

    GtkWidget *import = icon_label_button(ICON_FOLDER, 16, "Импорт", "btn");
    gtk_widget_set_tooltip_text(
        import, "Импорт модпака из файла: .mrpack (Modrinth) или .zip (CurseForge)");
    gtk_widget_set_valign(import, GTK_ALIGN_CENTER);
    g_signal_connect(import, "clicked",
                     G_CALLBACK(+[](GtkButton *, gpointer) { content_import_clicked(); }), nullptr);
    gtk_box_append(GTK_BOX(bar), import);
    GtkWidget *find = icon_label_button(ICON_SEARCH, 16, "Найти", "accent");
    gtk_widget_set_valign(find, GTK_ALIGN_CENTER);
    g_signal_connect(find, "clicked", G_CALLBACK(+[](GtkButton *, gpointer) { top_search_run(); }),
                     nullptr);
    gtk_box_append(GTK_BOX(bar), find);
    return bar;
}

static GtkWidget *results_column() {
    GtkWidget *col = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
    gtk_widget_set_hexpand(col, TRUE);
    GtkWidget *notice = text_label("", "notice");
    gtk_label_set_wrap(GTK_LABEL(notice), TRUE);
    gtk_label_set_selectable(GTK_LABEL(notice), TRUE);
    gtk_widget_set_visible(notice, FALSE);
    p.notice = GTK_LABEL(notice);
    gtk_box_append(GTK_BOX(col), notice);
    GtkWidget *list = plain_list();
    p.results = GTK_LIST_BOX(list);
    gtk_box_append(GTK_BOX(col), vertical_scroller(list));
    return col;
}

// The drop-down's entries: the instance line, cut at the end, with the whole
// line as its tooltip.
static void entry_setup(GtkSignalListItemFactory *, GtkListItem *item, gpointer) {
    GtkWidget *l = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(l), 0);
    gtk_label_set_ellipsize(GTK_LABEL(l), PANGO_ELLIPSIZE_END);
    gtk_label_set_width_chars(GTK_LABEL(l), 10);
    gtk_label_set_max_width_chars(GTK_LABEL(l), 28);
    gtk_list_item_set_child(item, l);
}

static void entry_bind(GtkSignalListItemFactory *, GtkListItem *item, gpointer) {
    GtkWidget *l = gtk_list_item_get_child(item);
    const char *text =
        gtk_string_object_get_string(GTK_STRING_OBJECT(gtk_list_item_get_item(item)));
    label_show(GTK_LABEL(l), text);
    tooltip_show(l, text);
}

static GtkWidget *instance_dropdown() {
    GtkListItemFactory *factory = gtk_signal_list_item_factory_new();
    g_signal_connect(factory, "setup", G_CALLBACK(entry_setup), nullptr);
    g_signal_connect(factory, "bind", G_CALLBACK(entry_bind), nullptr);
    GtkWidget *dd = gtk_drop_down_new(G_LIST_MODEL(g_object_ref(home_instance_model())), nullptr);
    gtk_drop_down_set_factory(GTK_DROP_DOWN(dd), factory);
    g_object_unref(factory);
    const char *tip = "Сборка, в которую ставятся моды";
    gtk_widget_set_tooltip_text(dd, tip);
    widget_set_accessible_label(dd, tip);
    p.instance = GTK_DROP_DOWN(dd);
    home_attach_content_dropdown(p.instance);
    g_signal_connect(dd, "notify::selected", G_CALLBACK(on_instance_changed), nullptr);
    return dd;
}

static GtkWidget *right_panel() {
    GtkWidget *panel = gtk_box_new(GTK_ORIENTATION_VERTICAL, 10);
    gtk_widget_add_css_class(panel, "box");
    gtk_widget_set_size_request(panel, 290, -1);
    gtk_widget_set_hexpand(panel, FALSE);
    gtk_box_append(GTK_BOX(panel), text_label("Сборка", "h3"));
    gtk_box_append(GTK_BOX(panel), instance_dropdown());
    GtkWidget *heading = text_label("Установлено", "h3");
    gtk_widget_set_margin_top(heading, 6);
    p.heading = GTK_LABEL(heading);
    gtk_box_append(GTK_BOX(panel), heading);
    GtkWidget *summary = text_label("Нет сборок", "sub2");
    gtk_label_set_wrap(GTK_LABEL(summary), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(summary), 30);
    p.summary = GTK_LABEL(summary);
    gtk_box_append(GTK_BOX(panel), summary);
    GtkWidget *list = plain_list();
    p.installed = GTK_LIST_BOX(list);
    gtk_box_append(GTK_BOX(panel), vertical_scroller(list));
    GtkWidget *open = gtk_button_new_with_label("Открыть папку сборки");
    gtk_widget_add_css_class(open, "btn");
    gtk_widget_set_halign(open, GTK_ALIGN_START);
    gtk_widget_set_tooltip_text(open, "Папка mods / resourcepacks / shaderpacks выбранной сборки");
    g_signal_connect(open, "clicked", G_CALLBACK(on_open_folder), nullptr);
    gtk_box_append(GTK_BOX(panel), open);
    return panel;
}

GtkWidget *content_page_build() {
    GtkWidget *page = page_header("Контент", k_create_first, &p.subtitle);
    gtk_box_append(GTK_BOX(page), toolbar());
    GtkWidget *body = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 22);
    gtk_widget_set_vexpand(body, TRUE);
    gtk_box_append(GTK_BOX(body), results_column());
    gtk_box_append(GTK_BOX(body), right_panel());
    gtk_box_append(GTK_BOX(page), body);
    return page;
}
