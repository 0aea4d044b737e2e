// Start-up, activation and shutdown of the desktop application, the
// automation hooks read at activation, and the test-only fault injection.
// Everything here runs on the main (interface) thread.
#include "gui/app.h"

#include "base/ui.h"
#include "config/datadir.h"
#include "config/settings.h"
#include "diag/logfiles.h"
#include "gui/account_panel.h"
#include "gui/bridge.h"
#include "gui/logwriter.h"
#include "gui/page_home.h"
#include "gui/pages.h"
#include "gui/testhooks.h"
#include "gui/window.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtk/gtk.h>
#include <langinfo.h>
#include <unistd.h>

static std::string g_crash_notice;

std::optional<std::string> gui_renderer_env(const std::string &setting) {
    if (setting == "auto") return std::nullopt;
    if (setting == "cairo" || setting == "vulkan") return setting;
    return "gl";
}

std::string gui_crash_notice(bool switched_to_cairo, const std::string &logs_dir) {
    if (switched_to_cairo)
        return "Прошлый запуск лаунчера завершился сбоем (отчёт: " + logs_dir +
               "/crash.txt). Включена программная отрисовка интерфейса — вернуть можно в "
               "«Настройки → Отрисовка интерфейса».";
    return "Прошлый запуск лаунчера завершился сбоем, отчёт: " + logs_dir + "/crash.txt";
}

long gui_hook_number(const char *value) {
    if (!value || *value < '0' || *value > '9') return 0;
    return strtol(value, nullptr, 10);
}

// --- automation hooks -------------------------------------------------------

static void hook_query(const char *value) {
    gtk_editable_set_text(GTK_EDITABLE(gui.search), value);
    char line[512];
    snprintf(line, sizeof line, "test hook: ZYL_GUI_QUERY=%s", value);
    gui_log(line);
}

static gboolean close_window(gpointer) {
    gtk_window_close(gui.window);
    return G_SOURCE_REMOVE;
}

static void hook_close_after(const char *value) {
    long seconds = gui_hook_number(value);
    if (seconds > 0) g_timeout_add_seconds(static_cast<guint>(seconds), close_window, nullptr);
}

static void hook_page(const char *value) {
    char line[512];
    snprintf(line, sizeof line, "test hook: ZYL_GUI_PAGE=%s", value);
    gui_log(line);
    show_page(value);
}

// In the order they are applied.
static const struct {
    const char *name;
    void (*apply)(const char *value);
} k_hooks[] = {
    {"ZYL_GUI_QUERY", hook_query},
    {"ZYL_GUI_SOURCE", content_page_hook_source},
    {"ZYL_GUI_INSTALL", content_page_hook_install},
    {"ZYL_GUI_IMPORT", content_page_hook_import},
    {"ZYL_GUI_CLOSE_AFTER", hook_close_after},
    {"ZYL_GUI_LOADER", create_page_hook_loader},
    {"ZYL_GUI_TYPE", content_page_hook_type},
    {"ZYL_GUI_PAGE", hook_page},
};

static void apply_hooks() {
    for (const auto &h : k_hooks)
        if (const char *v = getenv(h.name)) h.apply(v);
}

// --- activation and close ---------------------------------------------------

static gboolean on_close_request(GtkWindow *, gpointer) {
    collect_settings();
    if (gui_game_state.load() != 0) gui_log("Лаунчер закрыт, игра продолжает работать");
    fprintf(stderr, "window closed by user\n");
    gui_refresh_stop();
    g_application_quit(G_APPLICATION(gui.app));
    return FALSE;
}

static void on_first_frame(GdkFrameClock *clock, gpointer) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    fprintf(stderr, "first frame drawn, monotonic %lld.%06ld s\n",
            static_cast<long long>(ts.tv_sec), ts.tv_nsec / 1000);
    g_signal_handlers_disconnect_by_func(clock, reinterpret_cast<gpointer>(on_first_frame),
                                         nullptr);
}

// GTK names its choice only through GSK_DEBUG, which Debian's build ignores:
// the realized window's renderer says what is really drawing.
static void log_renderer(GtkWidget *w) {
    static bool logged = false;
    if (logged) return;
    logged = true;
    GskRenderer *r = gtk_native_get_renderer(GTK_NATIVE(w));
    fprintf(stderr, "renderer in use: %s\n", r ? G_OBJECT_TYPE_NAME(r) : "(none)");
}

static void on_map(GtkWidget *w, gpointer) {
    log_renderer(w);
    if (GdkFrameClock *clock = gtk_widget_get_frame_clock(w))
        g_signal_connect(clock, "after-paint", G_CALLBACK(on_first_frame), nullptr);
}

static void gui_activate(GtkApplication *app, gpointer) {
    window_build(app);
    g_signal_connect(gui.window, "close-request", G_CALLBACK(on_close_request), nullptr);
    g_signal_connect(gui.window, "map", G_CALLBACK(on_map), nullptr);
    update_account_view();
    account_skin_start();
    refresh_instances();
    create_page_summary();
    gui_timers_start();
    if (getenv("ZYL_TEST_FAULT")) test_fault_schedule();
    if (!g_crash_notice.empty()) gui_log(g_crash_notice.c_str());
    gui_log("Добро пожаловать! Создайте сборку («Новая сборка»), поставьте моды во вкладке "
            "«Моды» и нажмите «Играть».");
    create_page_load_versions();
    test_log_flood_start();
    apply_hooks();
    gtk_window_present(gui.window);
    gtk_window_set_focus(gui.window, nullptr);
}

static void choose_renderer() {
    if (!getenv("GSK_DEBUG") && !isatty(STDERR_FILENO)) setenv("GSK_DEBUG", "renderer", 1);
    if (!getenv("GSK_RENDERER"))
        if (auto env = gui_renderer_env(g_settings.renderer))
            setenv("GSK_RENDERER", env->c_str(), 1);
    const char *eff = getenv("GSK_RENDERER");
    fprintf(stderr, "renderer setting: %s, GSK_RENDERER=%s\n", g_settings.renderer.c_str(),
            eff ? eff : "(default)");
}

int gui_run(int argc, char **argv) {
    gui_shared_init();
    ui_hooks.message = gui_log;
    ui_hooks.progress = gui_progress;
    settings_load();
    std::string logs = datapaths().data + "/logs";
    if (diagnostics_init(logs, !isatty(STDERR_FILENO))) {
        bool switch_to_cairo = g_settings.renderer == "auto";
        if (switch_to_cairo) {
            g_settings.renderer = "cairo";
            settings_save();
        }
        g_crash_notice = gui_crash_notice(switch_to_cairo, logs);
    }
    g_log_set_writer_func(gui_log_writer, nullptr, nullptr);
    choose_renderer();
    // The user's locale, but always with UTF-8 text: GTK would otherwise set
    // a plain "C" locale when none is configured.
    setlocale(LC_ALL, "");
    if (strcmp(nl_langinfo(CODESET), "UTF-8") != 0) setlocale(LC_CTYPE, "C.UTF-8");
    gtk_disable_setlocale();

    GtkApplication *app = gtk_application_new("ru.ostrel.zyl", G_APPLICATION_NON_UNIQUE);
    g_signal_connect(app, "activate", G_CALLBACK(gui_activate), nullptr);
    char *only_name[] = {argc > 0 ? argv[0] : const_cast<char *>("zyl"), nullptr};
    int status = g_application_run(G_APPLICATION(app), 1, only_name);
    fprintf(stderr, "main loop finished, exiting\n");
    fflush(nullptr);
    _exit(status);
}
