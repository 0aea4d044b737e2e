// The ten line icons of the interface, drawn with cairo on a 24 x 24 grid in
// the current text colour of the widget that shows them. Interface thread.
#pragma once

#include <gtk/gtk.h>

enum IconId {
    ICON_HOME = 0,
    ICON_PLUS = 1,
    ICON_CUBE = 2,
    ICON_TERMINAL = 3,
    ICON_GEAR = 4,
    ICON_PLAY = 5,
    ICON_CROSS = 6,
    ICON_FOLDER = 7,
    ICON_SEARCH = 8,
    ICON_DOWNLOAD = 9,
};

// A drawing area of size x size showing icon n; clicks pass through to the
// enclosing button.
GtkWidget *icon_new(int n, int size);

// How the 24 x 24 grid sits in a w x h area: scaled by min(w, h) / 24 and centred.
struct IconTransform {
    double scale, dx, dy;
};
IconTransform icon_transform(int w, int h);
// Builds icon n's path in grid coordinates and strokes (and for play, fills)
// it with the current source; a number outside 0..9 draws nothing.
void icon_paint(cairo_t *cr, int n);
