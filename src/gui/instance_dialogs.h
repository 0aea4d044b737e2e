// The home side panel's dialogs for one instance: its own launch settings
// ("Настройки сборки") and its export as a Modrinth pack ("Экспорт…").
//
// Interface thread only, except the "export" worker, which touches no widget.
#pragma once

#include "instances/instance.h"

#include <string>

// Opens the settings of the instance: memory, Java, JVM options, window size
// and server, each "как в настройках" until changed. Saving writes
// instance.json and reloads the instance list.
void instance_settings_dialog(const Instance &inst);
// Asks which entries of the instance folder go into the pack, then for the
// file, and runs the export on the "export" worker.
void instance_export_dialog(const Instance &inst);

// Pure pieces, unit-tested.
// The Память tile's text for a memory in MiB: "6 ГБ", or "1536 МБ" when not
// whole gibibytes.
std::string instance_memory_text(int mb);
// The file the save dialog's answer names: ".mrpack" added when missing.
std::string instance_export_target(const std::string &chosen);
