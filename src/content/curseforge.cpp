// CurseForge API access: the key header, the key help message and status texts.
#include "content/curseforge.h"

#include "base/strings.h"
#include "config/settings.h"
#include "net/endpoints.h"
#include "net/http.h"

JsonPtr curseforge_request(const std::string &url, long *status) {
    long st = 0;
    JsonPtr doc;
    // Installs and searches run on worker threads in the interface: read the
    // published copy, not the record the settings page edits.
    const std::string key = settings_published().curseforge_api_key;
    if (!key.empty()) {
        StrList headers = {format_alloc("x-api-key: %s", key.c_str()), "Accept: application/json"};
        auto body = web_get(url, headers, &st);
        if (body && st == 200) doc = json_parse(*body);
    }
    if (status) *status = st;
    return doc;
}

std::string curseforge_error_text(long status) {
    if (status == 0)
        return format_alloc("Для CurseForge нужен бесплатный API-ключ.\n"
                            "1) Зайдите на %s и войдите (аккаунт CurseForge/Overwolf).\n"
                            "2) Раздел «API keys» → скопируйте ключ.\n"
                            "3) Вставьте его в Настройки → «CurseForge API key» (или в "
                            "settings.json: curseforge_api_key).\n"
                            "Modrinth работает без ключа.",
                            endpoint("curseforge_console").c_str());
    if (status == 401 || status == 403)
        return format_alloc(
            "CurseForge отклонил ключ (HTTP %ld). Проверьте «CurseForge API key» в настройках.",
            status);
    return format_alloc("CurseForge недоступен (HTTP %ld)", status);
}

std::string curseforge_api_url(const std::string &path) {
    return endpoint("curseforge_api") + path;
}

ContentType curseforge_class_type(long long cls) {
    switch (cls) {
    case k_cf_class_resourcepack:
        return ContentType::ResourcePack;
    case k_cf_class_shader:
        return ContentType::Shader;
    case k_cf_class_datapack:
        return ContentType::DataPack;
    case k_cf_class_world:
        return ContentType::World;
    case k_cf_class_modpack:
        return ContentType::Modpack;
    default:
        return ContentType::Mod;
    }
}

int curseforge_type_class(ContentType t) {
    switch (t) {
    case ContentType::ResourcePack:
        return k_cf_class_resourcepack;
    case ContentType::Shader:
        return k_cf_class_shader;
    case ContentType::DataPack:
        return k_cf_class_datapack;
    case ContentType::World:
        return k_cf_class_world;
    case ContentType::Modpack:
        return k_cf_class_modpack;
    default:
        return k_cf_class_mod;
    }
}

int curseforge_loader_type(const std::string &loader) {
    if (str_equal_ci(loader, "forge")) return 1;
    if (str_equal_ci(loader, "fabric")) return 4;
    if (str_equal_ci(loader, "quilt")) return 5;
    if (str_equal_ci(loader, "neoforge")) return 6;
    return 0;
}
