// The explanation of a game that crashed, shown over the window. Interface
// thread only.
#pragma once

#include "game/crash_help.h"

// A dialog with the cause and what to do, and the buttons "Открыть отчёт"
// (when there is a report), "Открыть журнал", "Скопировать" and, when a mod
// is missing, "Найти мод" (the content page's search for it); for Java or
// memory, "Открыть настройки".
void game_crash_dialog(const CrashHelp &help);
