// Widget builders shared by the pages (interface thread only).
#include "gui/widgets.h"

#include "base/strings.h"
#include "gui/icons.h"

#include <cstdio>
#include <vector>

// The text starts at the left; the label itself fills its room: a
// start-aligned wrapping label would take the narrowest width that fits its
// row's height and break a short text into lines.
GtkWidget *text_label(const char *text, const char *css_class) {
    GtkWidget *l = gtk_label_new(str_display(text ? text : "", true).c_str());
    if (css_class) gtk_widget_add_css_class(l, css_class);
    gtk_label_set_xalign(GTK_LABEL(l), 0);
    return l;
}

GtkWidget *wrapped_label(const char *text, const char *css_class, int width) {
    GtkWidget *l = text_label(text, css_class);
    gtk_label_set_wrap(GTK_LABEL(l), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(l), width);
    return l;
}

void label_show(GtkLabel *label, const std::string &text, bool multiline) {
    gtk_label_set_text(label, str_display(text, multiline).c_str());
}

void tooltip_show(GtkWidget *w, const std::string &text) {
    gtk_widget_set_tooltip_text(w, str_display(text, true).c_str());
}

GtkWidget *vertical_scroller(GtkWidget *child) {
    GtkWidget *scroll = gtk_scrolled_window_new();
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroll), GTK_POLICY_NEVER,
                                   GTK_POLICY_AUTOMATIC);
    gtk_widget_set_vexpand(scroll, TRUE);
    gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scroll), child);
    return scroll;
}

// A scrolled window that never scrolls sideways on its own (external
// policy) asks for its minimum content width and no more; up and down it
// scrolls when the window is shorter than the child.
GtkWidget *fixed_width(GtkWidget *child, int width) {
    GtkWidget *scroll = gtk_scrolled_window_new();
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroll), GTK_POLICY_EXTERNAL,
                                   GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_min_content_width(GTK_SCROLLED_WINDOW(scroll), width);
    gtk_scrolled_window_set_propagate_natural_width(GTK_SCROLLED_WINDOW(scroll), FALSE);
    gtk_widget_set_hexpand(scroll, FALSE);
    gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scroll), child);
    return scroll;
}

GtkWidget *plain_list() {
    GtkWidget *list = gtk_list_box_new();
    gtk_widget_add_css_class(list, "plain");
    gtk_list_box_set_selection_mode(GTK_LIST_BOX(list), GTK_SELECTION_NONE);
    return list;
}

void list_box_clear(GtkListBox *list) {
    while (GtkWidget *child = gtk_widget_get_first_child(GTK_WIDGET(list)))
        gtk_list_box_remove(list, child);
}

std::string file_chooser_finish(GtkNativeDialog *chooser, int response) {
    std::string path;
    if (response == GTK_RESPONSE_ACCEPT) {
        if (GFile *f = gtk_file_chooser_get_file(GTK_FILE_CHOOSER(chooser))) {
            if (char *p = g_file_get_path(f)) {
                path = p;
                g_free(p);
            }
            g_object_unref(f);
        }
    }
    g_object_unref(chooser);
    return path;
}

GtkWidget *tile_flow(int min_per_line, int max_per_line, int spacing) {
    GtkWidget *flow = gtk_flow_box_new();
    gtk_flow_box_set_selection_mode(GTK_FLOW_BOX(flow), GTK_SELECTION_NONE);
    gtk_flow_box_set_homogeneous(GTK_FLOW_BOX(flow), TRUE);
    gtk_flow_box_set_min_children_per_line(GTK_FLOW_BOX(flow), min_per_line);
    gtk_flow_box_set_max_children_per_line(GTK_FLOW_BOX(flow), max_per_line);
    gtk_flow_box_set_row_spacing(GTK_FLOW_BOX(flow), spacing);
    gtk_flow_box_set_column_spacing(GTK_FLOW_BOX(flow), spacing);
    return flow;
}

GtkWidget *badge_title_row(const char *name, GtkWidget **badge, GtkLabel **title, GtkLabel **desc) {
    GtkWidget *row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    *badge = letter_badge(name, "ic", 60);
    gtk_widget_add_css_class(*badge, "bigic");
    gtk_box_append(GTK_BOX(row), *badge);
    GtkWidget *col = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
    gtk_widget_set_hexpand(col, TRUE);
    gtk_widget_set_valign(col, GTK_ALIGN_CENTER);
    GtkWidget *t = text_label("", "side-name");
    gtk_label_set_ellipsize(GTK_LABEL(t), PANGO_ELLIPSIZE_END);
    GtkWidget *d = text_label("", "isub");
    gtk_label_set_ellipsize(GTK_LABEL(d), PANGO_ELLIPSIZE_END);
    // A long name is cut, not given more room: the panel keeps its width.
    gtk_label_set_max_width_chars(GTK_LABEL(t), 14);
    gtk_label_set_max_width_chars(GTK_LABEL(d), 20);
    gtk_box_append(GTK_BOX(col), t);
    gtk_box_append(GTK_BOX(col), d);
    gtk_box_append(GTK_BOX(row), col);
    *title = GTK_LABEL(t);
    *desc = GTK_LABEL(d);
    return row;
}

GtkWidget *page_header(const char *title, const char *subtitle, GtkLabel **subtitle_out) {
    GtkWidget *outer = gtk_box_new(GTK_ORIENTATION_VERTICAL, 14);
    gtk_widget_set_margin_start(outer, 24);
    gtk_widget_set_margin_end(outer, 24);
    gtk_widget_set_margin_top(outer, 22);
    gtk_widget_set_margin_bottom(outer, 18);
    GtkWidget *head = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
    gtk_box_append(GTK_BOX(head), text_label(title, "h1"));
    GtkWidget *sub = text_label(subtitle, "sub");
    gtk_label_set_wrap(GTK_LABEL(sub), TRUE);
    gtk_box_append(GTK_BOX(head), sub);
    gtk_box_append(GTK_BOX(outer), head);
    if (subtitle_out) *subtitle_out = GTK_LABEL(sub);
    return outer;
}

GtkWidget *list_row(const char *caption, GtkWidget *control) {
    GtkWidget *row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    gtk_widget_add_css_class(row, "li");
    GtkWidget *l = text_label(caption, "li-l");
    gtk_label_set_wrap(GTK_LABEL(l), TRUE);
    gtk_widget_set_hexpand(l, TRUE);
    gtk_box_append(GTK_BOX(row), l);
    if (control) {
        gtk_widget_set_valign(control, GTK_ALIGN_CENTER);
        gtk_box_append(GTK_BOX(row), control);
    }
    return row;
}

GtkWidget *kv_row(const char *key, const char *value, GtkLabel **value_out) {
    GtkWidget *row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 10);
    gtk_widget_add_css_class(row, "li");
    gtk_box_append(GTK_BOX(row), text_label(key, "kv-k"));
    GtkWidget *v = gtk_label_new(value);
    gtk_widget_add_css_class(v, "kv-v");
    gtk_label_set_xalign(GTK_LABEL(v), 1);
    gtk_widget_set_hexpand(v, TRUE);
    gtk_label_set_ellipsize(GTK_LABEL(v), PANGO_ELLIPSIZE_END);
    gtk_label_set_max_width_chars(GTK_LABEL(v), 18);
    gtk_box_append(GTK_BOX(row), v);
    if (value_out) *value_out = GTK_LABEL(v);
    return row;
}

GtkWidget *section_box(const char *heading) {
    GtkWidget *box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 10);
    gtk_widget_add_css_class(box, "box");
    if (heading) gtk_box_append(GTK_BOX(box), text_label(heading, "h3"));
    return box;
}

GtkWidget *stat_tile(const char *caption, GtkLabel **value_out) {
    GtkWidget *tile = gtk_box_new(GTK_ORIENTATION_VERTICAL, 1);
    gtk_widget_add_css_class(tile, "tile");
    gtk_widget_set_hexpand(tile, TRUE);
    gtk_box_append(GTK_BOX(tile), text_label(caption, nullptr));
    GtkWidget *v = text_label("—", "tile-v");
    gtk_box_append(GTK_BOX(tile), v);
    if (value_out) *value_out = GTK_LABEL(v);
    return tile;
}

std::string badge_letter(const char *name) {
    if (!name || !*name) return "?";
    gunichar c = g_utf8_get_char_validated(name, -1);
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) return "?";
    char buf[8];
    int n = g_unichar_to_utf8(g_unichar_toupper(c), buf);
    return str_display(std::string(buf, n));
}

int badge_color_index(const char *name) {
    if (!name || !*name) return 0;
    return static_cast<int>(g_str_hash(name) & 7);
}

void badge_set_letter(GtkWidget *badge, const char *name) {
    for (int i = 0; i < 8; i++) {
        char cls[4];
        snprintf(cls, sizeof cls, "c%d", i);
        gtk_widget_remove_css_class(badge, cls);
    }
    gtk_label_set_text(GTK_LABEL(badge), badge_letter(name).c_str());
    char cls[4];
    snprintf(cls, sizeof cls, "c%d", badge_color_index(name));
    gtk_widget_add_css_class(badge, cls);
}

GtkWidget *letter_badge(const char *name, const char *size_class, int size) {
    GtkWidget *l = gtk_label_new("");
    gtk_widget_add_css_class(l, "badge");
    if (size_class) gtk_widget_add_css_class(l, size_class);
    gtk_label_set_justify(GTK_LABEL(l), GTK_JUSTIFY_CENTER);
    gtk_widget_set_size_request(l, size, size);
    gtk_widget_set_valign(l, GTK_ALIGN_CENTER);
    gtk_widget_set_halign(l, GTK_ALIGN_START);
    badge_set_letter(l, name);
    return l;
}

GtkWidget *toggle_group(const char *css_class, const std::vector<const char *> &labels,
                        std::vector<GtkWidget *> *buttons_out) {
    bool chips = g_strcmp0(css_class, "chips") == 0;
    GtkWidget *box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, chips ? 8 : 3);
    gtk_widget_add_css_class(box, css_class);
    gtk_widget_set_valign(box, GTK_ALIGN_CENTER);
    GtkWidget *first = nullptr;
    for (const char *text : labels) {
        GtkWidget *b = gtk_toggle_button_new_with_label(text);
        if (first)
            gtk_toggle_button_set_group(GTK_TOGGLE_BUTTON(b), GTK_TOGGLE_BUTTON(first));
        else
            first = b;
        gtk_box_append(GTK_BOX(box), b);
        if (buttons_out) buttons_out->push_back(b);
    }
    if (first) gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(first), TRUE);
    return box;
}

void widget_set_accessible_label(GtkWidget *w, const char *label) {
    gtk_accessible_update_property(GTK_ACCESSIBLE(w), GTK_ACCESSIBLE_PROPERTY_LABEL, label, -1);
}

GtkWidget *message_dialog(GtkWindow *parent, GtkMessageType type, const std::string &message,
                          const std::string &detail) {
    GtkWidget *dialog = gtk_message_dialog_new(
        parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), type,
        GTK_BUTTONS_NONE, "%s", str_display(message).c_str());
    if (!detail.empty())
        gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                                 str_display(detail, true).c_str());
    return dialog;
}

GtkWidget *dialog_button(GtkWidget *dialog, const char *label, int response) {
    // GTK 4.8 names a dialog button by the labels that label it, and a
    // message dialog's button ends up labelled by its label twice.
    GtkWidget *b = gtk_button_new_with_label(label);
    gtk_dialog_add_action_widget(GTK_DIALOG(dialog), b, response);
    gtk_accessible_reset_relation(GTK_ACCESSIBLE(b), GTK_ACCESSIBLE_RELATION_LABELLED_BY);
    widget_set_accessible_label(b, label);
    return b;
}

void entry_flexible_width(GtkWidget *entry, int natural_px) {
    // About 8 px a character at the theme's 14 px, padding aside.
    int chars = (natural_px - 24) / 8;
    gtk_editable_set_width_chars(GTK_EDITABLE(entry), chars / 3);
    gtk_editable_set_max_width_chars(GTK_EDITABLE(entry), chars);
}

void widget_ignore_wheel(GtkWidget *w) {
    GListModel *controllers = gtk_widget_observe_controllers(w);
    std::vector<GtkEventController *> wheel;
    for (guint i = 0; i < g_list_model_get_n_items(controllers); i++) {
        auto *c = static_cast<GtkEventController *>(g_list_model_get_item(controllers, i));
        if (GTK_IS_EVENT_CONTROLLER_SCROLL(c)) wheel.push_back(c);
        g_object_unref(c);
    }
    g_object_unref(controllers);
    // Without its own handler the wheel event goes on to the scrolled page.
    for (GtkEventController *c : wheel)
        gtk_widget_remove_controller(w, c);
}

void filled_text_set(FilledText &f, const std::string &value) {
    gtk_editable_set_text(f.editable, value.c_str());
    f.value = value;
    f.shown = gtk_editable_get_text(f.editable);
}

std::string filled_text_get(const FilledText &f) {
    std::string text = gtk_editable_get_text(f.editable);
    return text == f.shown ? f.value : text;
}

GtkWidget *icon_button(int icon, int size, const char *css_class, const char *tooltip) {
    GtkWidget *b = gtk_button_new();
    gtk_button_set_child(GTK_BUTTON(b), icon_new(icon, size));
    if (css_class) gtk_widget_add_css_class(b, css_class);
    gtk_widget_set_tooltip_text(b, tooltip);
    widget_set_accessible_label(b, tooltip);
    return b;
}

GtkWidget *icon_label_button(int icon, int size, const char *label, const char *css_class) {
    GtkWidget *b = gtk_button_new();
    GtkWidget *row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    gtk_box_append(GTK_BOX(row), icon_new(icon, size));
    gtk_box_append(GTK_BOX(row), gtk_label_new(label));
    gtk_button_set_child(GTK_BUTTON(b), row);
    if (css_class) gtk_widget_add_css_class(b, css_class);
    widget_set_accessible_label(b, label);
    return b;
}

GtkWidget *message_dialog(GtkWindow *parent, GtkMessageType type, const std::string &title,
                          const std::string &detail, const std::vector<std::string> &buttons,
                          std::function<bool(int)> answer) {
    GtkWidget *dialog = message_dialog(parent, type, title, detail);
    for (size_t i = 0; i < buttons.size(); i++)
        dialog_button(dialog, buttons[i].c_str(), static_cast<int>(i));
    if (!buttons.empty()) gtk_dialog_set_default_response(GTK_DIALOG(dialog), 0);
    auto *fn = new std::function<bool(int)>(std::move(answer));
    g_signal_connect_data(
        dialog, "response", G_CALLBACK(+[](GtkDialog *d, int response, gpointer data) {
            auto *f = static_cast<std::function<bool(int)> *>(data);
            if (!(*f)(response >= 0 ? response : -1)) gtk_window_destroy(GTK_WINDOW(d));
        }),
        fn, [](gpointer data, GClosure *) { delete static_cast<std::function<bool(int)> *>(data); },
        GConnectFlags(0));
    gtk_window_present(GTK_WINDOW(dialog));
    return dialog;
}
