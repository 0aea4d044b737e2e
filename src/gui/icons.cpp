// The ten line icons. Paths are in the coordinates of a 24 x 24 design grid;
// the painter scales the grid into the widget and strokes with the widget's
// own text colour, so icons follow the theme in every state.
#include "gui/icons.h"

#include <cmath>
#include <initializer_list>

IconTransform icon_transform(int w, int h) {
    double k = (w < h ? w : h) / 24.0;
    return {k, (w - 24 * k) / 2, (h - 24 * k) / 2};
}

static void polyline(cairo_t *cr, std::initializer_list<double> xy) {
    const double *p = xy.begin();
    cairo_move_to(cr, p[0], p[1]);
    for (size_t i = 2; i + 1 < xy.size(); i += 2)
        cairo_line_to(cr, p[i], p[i + 1]);
}

// Rounded rectangle from x 3.5 to 20.5.
static void rounded_rect(cairo_t *cr, double y, double hh, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, 20.5 - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, 20.5 - r, y + hh - r, r, 0, M_PI / 2);
    cairo_arc(cr, 3.5 + r, y + hh - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, 3.5 + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

static void path_home(cairo_t *cr) {
    polyline(cr, {3, 10.5, 12, 3, 21, 10.5});
    polyline(cr, {5, 9.5, 5, 20});
    cairo_arc_negative(cr, 6, 20, 1, M_PI, M_PI / 2);
    cairo_line_to(cr, 10, 21);
    cairo_line_to(cr, 10, 15);
    cairo_line_to(cr, 14, 15);
    cairo_line_to(cr, 14, 21);
    cairo_line_to(cr, 18, 21);
    cairo_arc_negative(cr, 18, 20, 1, M_PI / 2, 0);
    cairo_line_to(cr, 19, 9.5);
}

static void path_gear(cairo_t *cr) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, 12, 12, 3, 0, 2 * M_PI);
    cairo_save(cr);
    cairo_translate(cr, 12, 12);
    cairo_move_to(cr, 6.66526, -2.13871);
    for (int i = 0; i < 8; i++) {
        cairo_line_to(cr, 9.347232, -2.188608);
        cairo_arc(cr, 0, 0, 9.6, -0.23, 0.23);
        cairo_line_to(cr, 6.66526, 2.13871);
        cairo_arc(cr, 0, 0, 7, 0.3105, 0.4748981633974483);
        cairo_rotate(cr, M_PI / 4);
    }
    cairo_close_path(cr);
    cairo_restore(cr);
}

void icon_paint(cairo_t *cr, int n) {
    cairo_set_line_width(cr, 1.8);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    switch (n) {
    case ICON_HOME:
        path_home(cr);
        break;
    case ICON_PLUS:
        rounded_rect(cr, 3.5, 17, 4);
        polyline(cr, {12, 8, 12, 16});
        polyline(cr, {8, 12, 16, 12});
        break;
    case ICON_CUBE:
        polyline(cr, {12, 2.8, 20.5, 7.5, 20.5, 16.5, 12, 21.2, 3.5, 16.5, 3.5, 7.5});
        cairo_close_path(cr);
        polyline(cr, {3.8, 7.6, 12, 12, 20.2, 7.6});
        polyline(cr, {12, 12, 12, 21});
        break;
    case ICON_TERMINAL:
        rounded_rect(cr, 4, 16, 3);
        polyline(cr, {7.5, 9.5, 10.5, 12, 7.5, 14.5});
        polyline(cr, {12.5, 15, 16.5, 15});
        break;
    case ICON_GEAR:
        path_gear(cr);
        break;
    case ICON_PLAY:
        polyline(cr, {8, 5.5, 18.5, 12, 8, 18.5});
        cairo_close_path(cr);
        cairo_fill_preserve(cr);
        break;
    case ICON_CROSS:
        polyline(cr, {7, 7, 17, 17});
        polyline(cr, {17, 7, 7, 17});
        break;
    case ICON_FOLDER:
        polyline(cr, {3.5, 18, 3.5, 6.5, 9.5, 6.5, 11.5, 8.5, 20.5, 8.5, 20.5, 18});
        cairo_close_path(cr);
        break;
    case ICON_SEARCH:
        cairo_new_sub_path(cr);
        cairo_arc(cr, 10.5, 10.5, 6, 0, 2 * M_PI);
        polyline(cr, {15, 15, 20, 20});
        break;
    case ICON_DOWNLOAD:
        polyline(cr, {12, 4, 12, 15});
        polyline(cr, {7.5, 10.5, 12, 15, 16.5, 10.5});
        polyline(cr, {5, 19.5, 19, 19.5});
        break;
    default:
        return;
    }
    cairo_stroke(cr);
}

static void draw_icon(GtkDrawingArea *area, cairo_t *cr, int w, int h, gpointer data) {
    GdkRGBA color;
    gtk_style_context_get_color(gtk_widget_get_style_context(GTK_WIDGET(area)), &color);
    gdk_cairo_set_source_rgba(cr, &color);
    IconTransform t = icon_transform(w, h);
    cairo_translate(cr, t.dx, t.dy);
    cairo_scale(cr, t.scale, t.scale);
    icon_paint(cr, GPOINTER_TO_INT(data));
}

GtkWidget *icon_new(int n, int size) {
    GtkWidget *area = gtk_drawing_area_new();
    gtk_drawing_area_set_content_width(GTK_DRAWING_AREA(area), size);
    gtk_drawing_area_set_content_height(GTK_DRAWING_AREA(area), size);
    gtk_drawing_area_set_draw_func(GTK_DRAWING_AREA(area), draw_icon, GINT_TO_POINTER(n), nullptr);
    gtk_widget_set_halign(area, GTK_ALIGN_CENTER);
    gtk_widget_set_valign(area, GTK_ALIGN_CENTER);
    gtk_widget_set_can_target(area, FALSE);
    gtk_widget_add_css_class(area, "vicon");
    return area;
}
