// The game's crash explanation dialog.
#include "gui/game_crash_dialog.h"

#include "base/strings.h"
#include "gui/bridge.h"
#include "gui/pages.h"
#include "gui/widgets.h"
#include "gui/window.h"

#include <vector>

void game_crash_dialog(const CrashHelp &help) {
    enum Button { Close, Report, Log, Copy, FindMod, Settings };
    std::vector<Button> order = {Close};
    std::vector<std::string> labels = {"Закрыть"};
    auto add = [&](Button b, const char *label) {
        order.push_back(b);
        labels.push_back(label);
    };
    if (!help.report.empty()) add(Report, "Открыть отчёт");
    add(Log, "Открыть журнал");
    add(Copy, "Скопировать");
    if (help.action == CrashAction::InstallMod && !help.mod.empty()) add(FindMod, "Найти мод");
    if (help.action == CrashAction::Java || help.action == CrashAction::Memory)
        add(Settings, "Открыть настройки");
    std::string text = crash_help_text(help);
    // The mod and file names come from the game's output: the dialog shows
    // them through the display step, not obeyed.
    message_dialog(gui.window, GTK_MESSAGE_ERROR, "Игра вылетела: " + help.title,
                   text.substr(text.find('\n') + 1), labels, [help, order, text](int answer) {
                       switch (answer < 0 ? Close : order[answer]) {
                       case Report:
                           window_open_folder(help.report); // a file opens the same way
                           return true;
                       case Log:
                           show_page("log");
                           logpage_follow_end();
                           return false;
                       case Copy:
                           gdk_clipboard_set_text(gtk_widget_get_clipboard(GTK_WIDGET(gui.window)),
                                                  text.c_str());
                           gui_set_status("Объяснение скопировано в буфер обмена");
                           return true;
                       case FindMod:
                           gtk_editable_set_text(GTK_EDITABLE(gui.search), help.mod.c_str());
                           top_search_run();
                           return false;
                       case Settings:
                           show_page("settings");
                           return false;
                       case Close:
                           break;
                       }
                       return false;
                   });
}
