// Content type vocabulary.
#include "content/content_type.h"

#include "base/strings.h"

static const char *const k_words[] = {"mod",      "resourcepack", "shader",
                                      "datapack", "world",        "modpack"};

const char *content_type_word(ContentType t) {
    int v = static_cast<int>(t);
    return v >= 0 && v <= 5 ? k_words[v] : "mod";
}

ContentType content_type_parse(const char *word) {
    if (!word) return ContentType::Mod;
    std::string w = word;
    for (int i = 0; i < 6; i++)
        if (str_equal_ci(w, k_words[i])) return static_cast<ContentType>(i);
    if (str_starts_with_ci(w, "shader")) return ContentType::Shader;
    if (str_starts_with_ci(w, "res")) return ContentType::ResourcePack;
    if (str_starts_with_ci(w, "data")) return ContentType::DataPack;
    if (str_starts_with_ci(w, "world") || str_starts_with_ci(w, "map")) return ContentType::World;
    if (str_starts_with_ci(w, "modpack") || str_starts_with_ci(w, "pack"))
        return ContentType::Modpack;
    return ContentType::Mod;
}

int curseforge_loader_type(const std::string &loader) {
    if (str_equal_ci(loader, "forge")) return 1;
    if (str_equal_ci(loader, "fabric")) return 4;
    if (str_equal_ci(loader, "quilt")) return 5;
    if (str_equal_ci(loader, "neoforge")) return 6;
    return 0;
}
