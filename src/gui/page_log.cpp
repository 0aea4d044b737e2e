// Log page: everything the launcher and the game write through the message
// hook, appended by gui_refresh in one insertion per tick and trimmed so the
// view never holds much more than 3000 lines. Interface thread only.
#include "gui/page_log.h"

#include "base/fs.h"
#include "config/datadir.h"
#include "gui/bridge.h"
#include "gui/pages.h"
#include "gui/widgets.h"
#include "gui/window.h"

#include <algorithm>
#include <gtk/gtk.h>

int logview_lines_to_drop(int lines) {
    return lines > k_log_max_lines ? lines - k_log_keep_lines : 0;
}

std::string text_last_lines(const std::string &text, int n) {
    size_t end = text.size();
    if (end > 0 && text[end - 1] == '\n') end--;
    size_t pos = end;
    for (int i = 0; i < n; i++) {
        size_t nl = pos == 0 ? std::string::npos : text.rfind('\n', pos - 1);
        if (nl == std::string::npos) return text;
        pos = nl;
        if (i == n - 1) return text.substr(pos + 1);
    }
    return text;
}

static GtkTextView *g_view;
static GtkWidget *g_copy;
static GtkAdjustment *g_vadj;
// After new text the view keeps showing the end while GTK lays the lines out
// (which grows the scrollable height in steps), until the user scrolls away.
static bool g_follow_end;
static bool g_scrolling;

static void scroll_to_end() {
    g_scrolling = true;
    gtk_adjustment_set_value(g_vadj, gtk_adjustment_get_upper(g_vadj) -
                                         gtk_adjustment_get_page_size(g_vadj));
    g_scrolling = false;
}

static void on_vadj_changed(GtkAdjustment *, gpointer) {
    if (g_follow_end) scroll_to_end();
}

static void on_vadj_value(GtkAdjustment *adj, gpointer) {
    if (g_scrolling) return;
    double bottom = gtk_adjustment_get_upper(adj) - gtk_adjustment_get_page_size(adj);
    g_follow_end = gtk_adjustment_get_value(adj) >= bottom - 1;
}

void logpage_follow_end() {
    g_follow_end = true;
    scroll_to_end();
}

// The next occurrence of the search text after the selection (from the top
// again after the last one), case aside; selected and scrolled to. While the
// text is being typed (same_place), the current match may just grow.
static void on_search(GtkSearchEntry *entry, gpointer same_place) {
    const char *needle = gtk_editable_get_text(GTK_EDITABLE(entry));
    if (!needle[0]) return;
    GtkTextBuffer *buf = gtk_text_view_get_buffer(g_view);
    GtkTextIter from, start, end;
    if (same_place)
        gtk_text_buffer_get_selection_bounds(buf, &from, nullptr);
    else
        gtk_text_buffer_get_selection_bounds(buf, nullptr, &from);
    auto flags = GtkTextSearchFlags(GTK_TEXT_SEARCH_CASE_INSENSITIVE);
    bool found = gtk_text_iter_forward_search(&from, needle, flags, &start, &end, nullptr);
    if (!found) {
        gtk_text_buffer_get_start_iter(buf, &from);
        found = gtk_text_iter_forward_search(&from, needle, flags, &start, &end, nullptr);
    }
    if (!found) {
        std::string none = std::string("Не найдено в журнале: ") + needle;
        gui_set_status(none.c_str());
        return;
    }
    g_follow_end = false;
    gtk_text_buffer_select_range(buf, &start, &end);
    gtk_text_view_scroll_to_iter(g_view, &start, 0.1, FALSE, 0, 0);
}

// Lines of text in the buffer, not counting the empty line after a final newline.
static int buffer_text_lines(GtkTextBuffer *buf) {
    if (gtk_text_buffer_get_char_count(buf) == 0) return 0;
    int lines = gtk_text_buffer_get_line_count(buf);
    GtkTextIter end;
    gtk_text_buffer_get_end_iter(buf, &end);
    if (gtk_text_iter_backward_char(&end) && gtk_text_iter_get_char(&end) == '\n') lines--;
    return lines;
}

void logpage_append(const std::string &text) {
    GtkTextBuffer *buf = gtk_text_view_get_buffer(g_view);
    GtkTextIter end;
    int incoming = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    if (incoming >= k_log_keep_lines && buffer_text_lines(buf) + incoming > k_log_max_lines) {
        // The trim would remove everything but the burst's own last lines:
        // insert only those.
        std::string tail = text_last_lines(text, k_log_keep_lines);
        gtk_text_buffer_set_text(buf, tail.data(), static_cast<int>(tail.size()));
    } else {
        gtk_text_buffer_get_end_iter(buf, &end);
        gtk_text_buffer_insert(buf, &end, text.data(), static_cast<int>(text.size()));
        int drop = logview_lines_to_drop(buffer_text_lines(buf));
        if (drop > 0) {
            GtkTextIter start, cut;
            gtk_text_buffer_get_start_iter(buf, &start);
            gtk_text_buffer_get_iter_at_line(buf, &cut, drop);
            gtk_text_buffer_delete(buf, &start, &cut);
        }
    }
    g_follow_end = true;
    scroll_to_end();
}

static void on_copy(GtkButton *, gpointer) {
    GtkTextBuffer *buf = gtk_text_view_get_buffer(g_view);
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buf, &start, &end);
    char *text = gtk_text_buffer_get_text(buf, &start, &end, FALSE);
    gdk_clipboard_set_text(gtk_widget_get_clipboard(GTK_WIDGET(gui.window)), text);
    g_free(text);
    gui_set_status("Журнал скопирован в буфер обмена");
}

void open_logs_folder() {
    std::string dir = datapaths().data + "/logs";
    fs_mkdirs(dir);
    window_open_folder(dir);
}

void log_page_focus_main() {
    gtk_widget_grab_focus(g_copy);
}

GtkWidget *log_page_build() {
    GtkWidget *page = page_header("Журнал", "Установка, загрузки и вывод игры");
    GtkWidget *row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    GtkWidget *search = gtk_search_entry_new();
    g_object_set(search, "placeholder-text", "Поиск в журнале", nullptr);
    widget_set_accessible_label(search, "Поиск в журнале");
    gtk_widget_set_size_request(search, 260, -1);
    g_signal_connect(search, "activate", G_CALLBACK(on_search), nullptr);
    g_signal_connect(search, "search-changed", G_CALLBACK(on_search), GINT_TO_POINTER(1));
    gtk_box_append(GTK_BOX(row), search);
    GtkWidget *spacer = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_widget_set_hexpand(spacer, TRUE);
    gtk_box_append(GTK_BOX(row), spacer);
    GtkWidget *copy = gtk_button_new_with_label("Копировать");
    g_copy = copy;
    gtk_widget_add_css_class(copy, "btn");
    g_signal_connect(copy, "clicked", G_CALLBACK(on_copy), nullptr);
    gtk_box_append(GTK_BOX(row), copy);
    GtkWidget *open = gtk_button_new_with_label("Открыть папку logs");
    gtk_widget_add_css_class(open, "btn");
    g_signal_connect(open, "clicked",
                     G_CALLBACK(+[](GtkButton *, gpointer) { open_logs_folder(); }), nullptr);
    gtk_box_append(GTK_BOX(row), open);
    gtk_box_append(GTK_BOX(page), row);

    GtkWidget *view = gtk_text_view_new();
    g_view = GTK_TEXT_VIEW(view);
    gtk_text_view_set_editable(g_view, FALSE);
    gtk_text_view_set_monospace(g_view, TRUE);
    gtk_text_view_set_wrap_mode(g_view, GTK_WRAP_CHAR);
    gtk_widget_add_css_class(view, "logview");
    gtk_text_view_set_left_margin(g_view, 14);
    gtk_text_view_set_right_margin(g_view, 14);
    gtk_text_view_set_top_margin(g_view, 12);
    gtk_text_view_set_bottom_margin(g_view, 12);
    gtk_text_view_set_pixels_below_lines(g_view, 3);
    widget_set_accessible_label(view, "Журнал");
    GtkWidget *frame = gtk_scrolled_window_new();
    gtk_widget_add_css_class(frame, "logframe");
    gtk_widget_set_overflow(frame, GTK_OVERFLOW_HIDDEN);
    gtk_widget_set_vexpand(frame, TRUE);
    gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(frame), view);
    g_vadj = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(frame));
    g_signal_connect(g_vadj, "changed", G_CALLBACK(on_vadj_changed), nullptr);
    g_signal_connect(g_vadj, "value-changed", G_CALLBACK(on_vadj_value), nullptr);
    gtk_box_append(GTK_BOX(page), frame);
    return page;
}
