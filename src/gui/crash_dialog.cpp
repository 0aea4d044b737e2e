// The crash message dialog. It runs in a helper process of its own (our
// executable started by the crash handler), never in the crashed process.
#include "diag/crash.h"
#include "gui/app.h"

#include <gtk/gtk.h>

int gui_crash_dialog(const char *report_dir) {
    gtk_init();
    std::string text = diag_crash_message(report_dir);
    GtkWidget *dlg = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                            GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(dlg), "ZYL Launcher");
    bool done = false;
    g_signal_connect(
        dlg, "response",
        G_CALLBACK(+[](GtkDialog *, int, gpointer d) { *static_cast<bool *>(d) = true; }), &done);
    g_signal_connect(dlg, "close-request", G_CALLBACK(+[](GtkWindow *, gpointer d) -> gboolean {
                         *static_cast<bool *>(d) = true;
                         return FALSE;
                     }),
                     &done);
    gtk_window_present(GTK_WINDOW(dlg));
    while (!done)
        g_main_context_iteration(nullptr, TRUE);
    return 0;
}
