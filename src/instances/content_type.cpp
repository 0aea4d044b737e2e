// Content type and source vocabulary.
#include "instances/content_type.h"

#include "base/strings.h"

static const char *const k_words[] = {"mod",      "resourcepack", "shader",
                                      "datapack", "world",        "modpack"};

const char *content_type_word(ContentType t) {
    int v = static_cast<int>(t);
    return v >= 0 && v <= 5 ? k_words[v] : "mod";
}

ContentType content_type_parse(const std::string &w) {
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

const char *content_source_word(ContentSource s) {
    return s == ContentSource::CurseForge ? "curseforge" : "modrinth";
}

const char *content_source_name(ContentSource s) {
    return s == ContentSource::CurseForge ? "CurseForge" : "Modrinth";
}

std::optional<ContentSource> content_source_parse(const std::string &word) {
    if (word == "modrinth") return ContentSource::Modrinth;
    if (word == "curseforge") return ContentSource::CurseForge;
    return std::nullopt;
}

const char *content_channel_word(ContentChannel c) {
    return c == ContentChannel::Beta ? "beta" : c == ContentChannel::Alpha ? "alpha" : "release";
}

ContentChannel content_channel_parse(const std::string &word) {
    if (str_equal_ci(word, "beta")) return ContentChannel::Beta;
    if (str_equal_ci(word, "alpha")) return ContentChannel::Alpha;
    return ContentChannel::Release;
}

ContentChannel content_channel_of_release_type(long long release_type) {
    return release_type == 2   ? ContentChannel::Beta
           : release_type == 3 ? ContentChannel::Alpha
                               : ContentChannel::Release;
}

const char *content_channel_name(ContentChannel c) {
    return c == ContentChannel::Beta ? "бета" : c == ContentChannel::Alpha ? "альфа" : "релиз";
}
