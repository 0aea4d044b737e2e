// Loader phase: not available in this build yet; every loader install fails
// with a clear message after the game version itself was installed.
#include "game/loader_install.h"

#include "base/ui.h"

std::optional<std::string> loader_install(const std::string &loader, const std::string &,
                                          const std::optional<std::string> &) {
    ui_message("Установка загрузчика %s в этой сборке лаунчера недоступна", loader.c_str());
    return std::nullopt;
}
