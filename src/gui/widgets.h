// Small widget builders shared by every page, letter badges, toggle groups
// (and, through base/amounts.h, the Russian plural rule). Builders: interface thread only.
#pragma once

#include "base/amounts.h" // plural_word, for the pages

#include <functional>
#include <gtk/gtk.h>
#include <string>
#include <vector>

// A label whose text starts at the left, with a style class when given. Its
// text goes through str_display, like every text below that may come from
// outside (servers, packs, files on disk): shown, never obeyed.
GtkWidget *text_label(const char *text, const char *css_class);
// The same, wrapping at word boundaries, at most width characters wide.
GtkWidget *wrapped_label(const char *text, const char *css_class, int width);
// Sets a label's text through str_display: names stay on one line, messages
// (multiline) keep their lines.
void label_show(GtkLabel *label, const std::string &text, bool multiline = false);
// Sets a widget's tooltip through str_display.
void tooltip_show(GtkWidget *w, const std::string &text);
// A scrolled window around child that never scrolls sideways and takes the height it can.
GtkWidget *vertical_scroller(GtkWidget *child);
// child held at exactly width pixels, whatever its labels would like: a long
// text is cut instead of widening it. A short window scrolls it.
GtkWidget *fixed_width(GtkWidget *child, int width);
// A list box of plain rows: no selection, no hover.
GtkWidget *plain_list();
void list_box_clear(GtkListBox *list);
// A file chooser's answer: the chosen path, or "" when it was cancelled. The
// chooser is released.
std::string file_chooser_finish(GtkNativeDialog *chooser, int response);
// A flow box of same-sized children, no selection, min to max of them a
// line, spacing apart both ways.
GtkWidget *tile_flow(int min_per_line, int max_per_line, int spacing);
// A letter badge of size 60 for name beside a column of a title (side-name)
// and a description (isub), both ellipsized; the caller keeps all three.
GtkWidget *badge_title_row(const char *name, GtkWidget **badge, GtkLabel **title, GtkLabel **desc);
// A page's heading: a vertical box whose first child holds the title (h1)
// and the subtitle (sub); *subtitle_out, when given, receives the subtitle.
GtkWidget *page_header(const char *title, const char *subtitle, GtkLabel **subtitle_out = nullptr);
// A row with a caption and, when given, a control at the right.
GtkWidget *list_row(const char *caption, GtkWidget *control);
// A key/value row; *value_out receives the value label.
GtkWidget *kv_row(const char *key, const char *value, GtkLabel **value_out = nullptr);
// A panel with an optional heading.
GtkWidget *section_box(const char *heading);
// A tile with a caption and a value ("—" at first); *value_out receives it.
GtkWidget *stat_tile(const char *caption, GtkLabel **value_out);
// A square label of size x size with the name's letter and colour.
GtkWidget *letter_badge(const char *name, const char *size_class, int size);
void badge_set_letter(GtkWidget *badge, const char *name);
// A box of toggle buttons in one radio group, the first active.
GtkWidget *toggle_group(const char *css_class, const std::vector<const char *> &labels,
                        std::vector<GtkWidget *> *buttons_out = nullptr);
// An icon-only button: tooltip and accessible label are the same text.
GtkWidget *icon_button(int icon, int size, const char *css_class, const char *tooltip);
// A button whose child is an icon and a label side by side.
GtkWidget *icon_label_button(int icon, int size, const char *label, const char *css_class);
// A modal message dialog over parent with its message and detail (shown
// through str_display), no buttons yet; it is destroyed with its parent.
GtkWidget *message_dialog(GtkWindow *parent, GtkMessageType type, const std::string &message,
                          const std::string &detail);
// Adds a button to a dialog. Its accessible name is its label, said once
// (GTK 4.8's message dialog would announce the label twice).
GtkWidget *dialog_button(GtkWidget *dialog, const char *label, int response);

// An entry's width: about natural_px wide when there is room, down to a
// third of it in a narrow window (a fixed width would widen the window).
void entry_flexible_width(GtkWidget *entry, int natural_px);

// The mouse wheel over a value control (scale, spin button) scrolls the
// page instead of changing the value, which only a drag, a click or the
// keyboard then does.
void widget_ignore_wheel(GtkWidget *w);

// Gives a widget an accessible label (screen readers and tests name it by this).
void widget_set_accessible_label(GtkWidget *w, const char *label);

// A modal message dialog over parent with a title, a detail text (both shown
// as by the dialog above) and the buttons in order (the first is the
// default; closing the dialog answers -1). answer gets the button's index
// and returns true to keep the dialog open (a "copy" button). The dialog
// frees itself.
GtkWidget *message_dialog(GtkWindow *parent, GtkMessageType type, const std::string &title,
                          const std::string &detail, const std::vector<std::string> &buttons,
                          std::function<bool(int)> answer);

// A text control filled from a setting. It may hold less than the value (an
// entry's length limit: the nick field keeps 32 characters, any entry some
// 32767), so it stands for the value it was filled with until the player
// edits it: a value loaded from settings.json goes back whole.
struct FilledText {
    GtkEditable *editable = nullptr;
    std::string value; // what it was filled with
    std::string shown; // the text it showed then
};
void filled_text_set(FilledText &f, const std::string &value);
// The value, or the control's text once it differs from what was shown.
std::string filled_text_get(const FilledText &f);

// Pure pieces.
// The badge text: the first character upper-cased, "?" for a missing or empty name.
std::string badge_letter(const char *name);
// The colour class digit: low three bits of g_str_hash of the whole name (0 when empty).
int badge_color_index(const char *name);
