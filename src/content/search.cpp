// Search: the service's interleaved answer, the direct Modrinth and CurseForge
// searches used when the service is unreachable, and the icon cache.
#include "content/search.h"

#include "base/digest.h"
#include "base/fs.h"
#include "base/json.h"
#include "config/datadir.h"
#include "content/curseforge.h"
#include "content/install_file.h"
#include "instances/content.h"
#include "net/download.h"
#include "net/endpoints.h"
#include "net/http.h"
#include "net/service.h"

#include <cmath>

namespace {

const size_t k_error_max = 511;

// Categories that name a loader or a platform, not what a project is about.
const char *const k_platform_categories[] = {"fabric",
                                             "forge",
                                             "neoforge",
                                             "quilt",
                                             "liteloader",
                                             "modloader",
                                             "rift",
                                             "bukkit",
                                             "spigot",
                                             "paper",
                                             "purpur",
                                             "folia",
                                             "sponge",
                                             "velocity",
                                             "bungeecord",
                                             "waterfall",
                                             "datapack",
                                             "iris",
                                             "optifine",
                                             "canvas",
                                             "vanilla",
                                             "minecraft",
                                             "minecraft_java_server"};

// Modrinth's category words as the launcher shows them.
const struct {
    const char *word, *shown;
} k_category_names[] = {
    {"adventure", "Приключения"},
    {"cursed", "Странное"},
    {"decoration", "Декор"},
    {"economy", "Экономика"},
    {"equipment", "Снаряжение"},
    {"food", "Еда"},
    {"game-mechanics", "Механики"},
    {"library", "Библиотека"},
    {"magic", "Магия"},
    {"management", "Управление"},
    {"minigame", "Мини-игры"},
    {"mobs", "Мобы"},
    {"optimization", "Оптимизация"},
    {"social", "Общение"},
    {"storage", "Хранение"},
    {"technology", "Технологии"},
    {"transportation", "Транспорт"},
    {"utility", "Утилиты"},
    {"worldgen", "Генерация мира"},
    {"combat", "Бой"},
    {"challenging", "Испытание"},
    {"multiplayer", "Мультиплеер"},
    {"quests", "Квесты"},
    {"kitchen-sink", "Всё сразу"},
    {"lightweight", "Лёгкий"},
    {"realistic", "Реализм"},
    {"simplistic", "Простой"},
    {"themed", "Тематический"},
    {"tweaks", "Улучшения"},
    {"vanilla-like", "Как в игре"},
    {"atmosphere", "Атмосфера"},
    {"bloom", "Свечение"},
    {"cartoon", "Мультяшный"},
    {"fantasy", "Фэнтези"},
    {"semi-realistic", "Полуреализм"},
    {"audio", "Звуки"},
    {"blocks", "Блоки"},
    {"entities", "Существа"},
    {"environment", "Окружение"},
    {"fonts", "Шрифты"},
    {"gui", "Интерфейс"},
    {"items", "Предметы"},
    {"locale", "Язык"},
    {"models", "Модели"},
};

bool platform_category(const std::string &word) {
    for (const char *p : k_platform_categories)
        if (str_equal_ci(word, p)) return true;
    return false;
}

std::string category_shown(const std::string &word) {
    for (const auto &c : k_category_names)
        if (word == c.word) return c.shown;
    return word; // CurseForge's names are already words
}

SearchHit service_hit(const cJSON *e, ContentSource source) {
    SearchHit h;
    h.id = json_id_text(json_get(e, "id"));
    h.slug = json_str(e, "slug");
    h.title = json_str(e, "name");
    cJSON *first = cJSON_GetArrayItem(json_get(e, "authors"), 0);
    if (cJSON_IsString(first))
        h.author = first->valuestring;
    else
        h.author = json_str(first, "name");
    h.summary = json_str(e, "summary");
    h.icon_url = json_str(e, "icon");
    h.page_url = json_str(e, "url");
    h.downloads = json_int(e, "downloads");
    h.category = search_hit_category(e);
    h.source = source;
    return h;
}

std::string errors_text(const cJSON *errors) {
    std::string text;
    const cJSON *m;
    cJSON_ArrayForEach(m, errors) {
        std::string key = m->string ? m->string : "";
        const char *name = key == "modrinth"     ? "Modrinth"
                           : key == "curseforge" ? "CurseForge"
                                                 : key.c_str();
        if (!text.empty()) text += "; ";
        text += std::string(name) + " недоступен";
    }
    if (text.size() > k_error_max) text.resize(k_error_max);
    return text;
}

bool vanilla(const std::string &loader) {
    return loader.empty() || str_equal_ci(loader, "Vanilla");
}

void mark_installed(const Instance &inst, std::vector<SearchHit> &hits) {
    for (SearchHit &h : hits)
        h.installed = content_is_installed(inst, content_source_word(h.source), h.id);
}

std::string direct_failure(const std::string &why) {
    return format_alloc("API %s недоступен, прямой доступ тоже не удался: %s",
                        service_base_url().c_str(), why.c_str());
}

int search_curseforge_direct(ContentType type, const std::string &query, const Instance &inst,
                             std::vector<SearchHit> &hits, std::string *err) {
    int sort = query.empty() ? 2 : 1;
    int lt = curseforge_loader_type(inst.loader);
    std::string q = url_escape(query), mc = url_escape(inst.mc);
    std::string path;
    if (type == ContentType::Mod && lt != 0) {
        path = format_alloc("/v1/mods/search?gameId=432&classId=6&gameVersion=%s&modLoaderType=%d"
                            "&searchFilter=%s&sortField=%d&sortOrder=desc&pageSize=30",
                            mc.c_str(), lt, q.c_str(), sort);
    } else {
        int cls = type == ContentType::ResourcePack || type == ContentType::Shader
                      ? curseforge_type_class(type)
                      : k_cf_class_mod;
        path = format_alloc("/v1/mods/search?gameId=432&classId=%d&gameVersion=%s&searchFilter=%s"
                            "&sortField=%d&sortOrder=desc&pageSize=30",
                            cls, mc.c_str(), q.c_str(), sort);
    }
    long status = 0;
    JsonPtr doc = curseforge_request(curseforge_api_url(path), &status);
    if (!doc) {
        if (err) *err = direct_failure(curseforge_error_text(status));
        return -1;
    }
    const cJSON *e;
    cJSON_ArrayForEach(e, json_get(doc.get(), "data")) {
        SearchHit h;
        h.id = json_id_text(json_get(e, "id"));
        h.slug = json_str(e, "slug");
        h.title = json_str(e, "name");
        h.author = json_str(cJSON_GetArrayItem(json_get(e, "authors"), 0), "name");
        h.summary = json_str(e, "summary");
        h.icon_url = json_str(json_get(e, "logo"), "thumbnailUrl");
        h.page_url = json_str(json_get(e, "links"), "websiteUrl");
        h.downloads = json_int(e, "downloadCount");
        h.category = search_hit_category(e);
        h.source = ContentSource::CurseForge;
        hits.push_back(h);
    }
    return static_cast<int>(hits.size());
}

int search_modrinth_direct(ContentType type, const std::string &query, const Instance &inst,
                           std::vector<SearchHit> &hits, std::string *err) {
    std::string facets, kind;
    if (type == ContentType::ResourcePack || type == ContentType::Shader) {
        kind = type == ContentType::Shader ? "shader" : "resourcepack";
        facets = format_alloc("[[\"project_type:%s\"],[\"versions:%s\"]]", kind.c_str(),
                              inst.mc.c_str());
    } else {
        kind = "mod";
        std::string l = loader_filter_word(inst.loader);
        if (l == "quilt")
            facets = format_alloc("[[\"project_type:mod\"],[\"versions:%s\"],"
                                  "[\"categories:quilt\",\"categories:fabric\"]]",
                                  inst.mc.c_str());
        else
            facets = format_alloc("[[\"project_type:mod\"],[\"versions:%s\"],[\"categories:%s\"]]",
                                  inst.mc.c_str(), l.c_str());
    }
    std::string url =
        endpoint("modrinth_api") +
        format_alloc("/v2/search?query=%s&limit=30&index=%s&facets=%s", url_escape(query).c_str(),
                     query.empty() ? "downloads" : "relevance", url_escape(facets).c_str());
    long status = 0;
    auto body = web_get(url, {}, &status);
    JsonPtr doc = body && status == 200 ? json_parse(*body) : JsonPtr();
    if (!doc) {
        std::string why = status == -1 || !body
                              ? std::string("Modrinth недоступен (нет соединения)")
                              : format_alloc("Modrinth недоступен (HTTP %ld)", status);
        if (err) *err = direct_failure(why);
        return -1;
    }
    const std::string web = endpoint("modrinth_web");
    const cJSON *e;
    cJSON_ArrayForEach(e, json_get(doc.get(), "hits")) {
        SearchHit h;
        h.id = json_str(e, "project_id");
        h.slug = json_str(e, "slug");
        h.title = json_str(e, "title");
        h.author = json_str(e, "author");
        h.summary = json_str(e, "description");
        h.icon_url = json_str(e, "icon_url");
        h.page_url =
            web + format_alloc("/%s/%s", json_str(e, "project_type", kind).c_str(), h.slug.c_str());
        h.downloads = json_int(e, "downloads");
        h.category = search_hit_category(e);
        h.source = ContentSource::Modrinth;
        hits.push_back(h);
    }
    return static_cast<int>(hits.size());
}

} // namespace

std::string search_hit_category(const cJSON *hit) {
    for (const char *key : {"display_categories", "categories"}) {
        const cJSON *c;
        cJSON_ArrayForEach(c, json_get(hit, key)) {
            std::string word = cJSON_IsString(c) ? c->valuestring : json_str(c, "name");
            if (!word.empty() && !platform_category(word)) return category_shown(word);
        }
    }
    return "";
}

const char *search_source_word(SearchSources src) {
    return src ? content_source_word(*src) : "all";
}

std::string loader_filter_word(const std::string &loader) {
    std::string l = str_lower(loader);
    if (l.size() > 31) l.resize(31);
    return l;
}

int search_service(SearchSources src, ContentType type, const std::string &query,
                   const std::optional<std::string> &mc, const std::optional<std::string> &loader,
                   std::vector<SearchHit> &hits, std::string *err) {
    hits.clear();
    std::string filter = loader ? loader_filter_word(*loader) : "";
    if (type != ContentType::Mod || filter == "vanilla") filter.clear();
    JsonPtr doc;
    std::string req_err;
    if (service_search(query, content_type_word(type), mc.value_or(""), filter,
                       search_source_word(src), doc, &req_err) != 0) {
        if (err) *err = req_err;
        return -1;
    }
    const cJSON *m = json_get(doc.get(), "modrinth");
    const cJSON *c = json_get(doc.get(), "curseforge");
    int nm = cJSON_IsArray(m) ? cJSON_GetArraySize(m) : 0;
    int nc = cJSON_IsArray(c) ? cJSON_GetArraySize(c) : 0;
    for (int i = 0; i < std::max(nm, nc); i++) {
        if (i < nm) hits.push_back(service_hit(cJSON_GetArrayItem(m, i), ContentSource::Modrinth));
        if (i < nc)
            hits.push_back(service_hit(cJSON_GetArrayItem(c, i), ContentSource::CurseForge));
    }
    std::string text = errors_text(json_get(doc.get(), "errors"));
    if (err) *err = text;
    if (!hits.empty()) return static_cast<int>(hits.size());
    return src && !text.empty() ? -1 : 0;
}

int search_for_instance(SearchSources src, ContentType type, const std::string &query,
                        const Instance &inst, std::vector<SearchHit> &hits, std::string *err) {
    hits.clear();
    if (type == ContentType::Mod && vanilla(inst.loader)) {
        if (err)
            *err = format_alloc("«%s» — Vanilla-сборка: моды нужны Fabric/Quilt/Forge/NeoForge. "
                                "Создайте сборку с загрузчиком или выберите ресурспаки.",
                                inst.name.c_str());
        return -1;
    }
    int n;
    if (type == ContentType::Modpack) {
        n = search_service(src, type, query, std::nullopt, inst.loader, hits, err);
        if (n == -1) return -1;
    } else {
        n = search_service(src, type, query, inst.mc, inst.loader, hits, err);
        if (n == -1) {
            if (!service_is_down() || type == ContentType::DataPack || type == ContentType::World)
                return -1;
            if (err) err->clear();
            n = src == ContentSource::CurseForge
                    ? search_curseforge_direct(type, query, inst, hits, err)
                    : search_modrinth_direct(type, query, inst, hits, err);
            if (n == -1) return -1;
        }
    }
    mark_installed(inst, hits);
    return n;
}

std::optional<std::string> icon_cache_path(const std::string &url) {
    if (url.empty()) return std::nullopt;
    std::string dir = datapaths().cache + "/icons";
    fs_mkdirs(dir);
    std::string path = dir + "/" + sha1_hex(url.data(), url.size());
    if (fs_exists(path)) return path;
    if (download_one(url, path) != 0) return std::nullopt;
    return path;
}

std::optional<std::string> search_curseforge_slug(const std::string &slug,
                                                  std::optional<ContentType> type,
                                                  std::string *err) {
    int first = static_cast<int>(type.value_or(ContentType::Mod));
    std::vector<int> order = {first};
    for (int t = 0; t <= 5; t++)
        if (t != first) order.push_back(t);
    for (int t : order) {
        std::vector<SearchHit> hits;
        search_service(ContentSource::CurseForge, static_cast<ContentType>(t), slug, std::nullopt,
                       std::nullopt, hits, nullptr);
        for (const SearchHit &h : hits) {
            // Only a numeric id ends the resolution; anything else would search again.
            if (str_equal_ci(h.slug, slug) && is_decimal_id(h.id)) return h.id;
        }
        if (service_is_down()) {
            if (err) *err = format_alloc("API %s недоступен", service_base_url().c_str());
            return std::nullopt;
        }
    }
    if (err) *err = format_alloc("Проект «%s» не найден на CurseForge", slug.c_str());
    return std::nullopt;
}
