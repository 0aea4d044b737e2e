// "search", "add" and "mods": content search and installs on the console.
// Results go to standard output, errors to standard error.
#include "cli/cmd_content.h"

#include "base/strings.h"
#include "base/ui.h"
#include "cli/help.h"
#include "content/install.h"
#include "content/search.h"
#include "content/update.h"
#include "content/versions.h"
#include "instances/content.h"

#include <cstdio>

namespace {

// A field of a result line: on one line, whatever the source sent.
std::string field(const std::string &text) {
    return str_display(text);
}

// The summary line under a result, cut to what a terminal shows of it.
std::string summary_line(const std::string &text) {
    return str_cut_display(field(text), 110);
}

int mods_search(const Options &o, const Instance &inst) {
    std::vector<SearchHit> hits;
    std::string err;
    int n = search_for_instance(o.source, o.type.value_or(ContentType::Mod), o.pos[1].value_or(""),
                                inst, hits, &err);
    if (!err.empty()) console_err("%s\n", err.c_str());
    if (n < 0) return 1;
    for (const SearchHit &h : hits)
        console_out("%s%-28s %-24s %-14s %9ld загр.  %s\n   %s\n", h.installed ? "[✓] " : "",
                    field(h.slug).c_str(), field(h.title).c_str(), field(h.author).c_str(),
                    static_cast<long>(h.downloads), field(h.id).c_str(),
                    summary_line(h.summary).c_str());
    return 0;
}

int mods_install(const Options &o, const Instance &inst) {
    ContentSource src = o.source.value_or(ContentSource::Modrinth);
    std::string msg;
    int rc = install_content(src, o.type, *o.pos[1], inst, o.world, &msg, nullptr, o.version);
    if (rc != 0) {
        console_err("Ошибка: %s\n", msg.empty() ? "?" : msg.c_str());
        return 1;
    }
    if (!msg.empty()) console_err("%s\n", msg.c_str());
    return 0;
}

int mods_update(const Options &o, const Instance &inst) {
    std::string msg;
    if (content_update(inst, *o.pos[1], o.world, &msg) != k_install_ok) {
        console_err("Ошибка: %s\n", msg.empty() ? "?" : msg.c_str());
        return 1;
    }
    console_err("%s\n", msg.c_str());
    return 0;
}

int mods_update_all(const Instance &inst) {
    std::string msg;
    int rc = content_update_all(inst, &msg);
    if (!msg.empty()) console_err("%s%s\n", rc != 0 ? "Ошибка: " : "", msg.c_str());
    return rc == 0 ? 0 : 1;
}

int mods_outdated(const Instance &inst) {
    std::vector<OutdatedItem> items;
    std::string err;
    if (content_outdated(inst, items, &err) != 0) {
        console_err("Ошибка: %s\n", err.empty() ? "?" : err.c_str());
        return 1;
    }
    if (items.empty()) {
        console_out("Сборка %s: обновлений нет — всё последних версий\n", field(inst.name).c_str());
        return 0;
    }
    console_out("Сборка %s: есть обновления (%d)\n", field(inst.name).c_str(),
                static_cast<int>(items.size()));
    for (const OutdatedItem &i : items)
        console_out("  %s %s → %s   %s\n", str_pad_display(field(i.title), 26).c_str(),
                    field(i.current).c_str(),
                    field(version_label(i.latest.version, i.latest.channel)).c_str(),
                    field(i.filename).c_str());
    console_out("Обновить всё: zyl mods update --all --instance %s\n", field(inst.name).c_str());
    return 0;
}

// "(0.5.3, бета, отключён, в мире «Мой мир»)": what the listing knows beyond
// the file name; empty when nothing.
std::string listing_notes(const ContentFile &f) {
    StrList notes;
    if (!f.version.empty()) notes.push_back(f.version);
    if (f.channel != ContentChannel::Release) notes.push_back(content_channel_name(f.channel));
    if (f.disabled) notes.push_back("отключён");
    if (!f.world.empty()) notes.push_back("в мире «" + f.world + "»");
    std::string text;
    for (const std::string &n : notes)
        text += (text.empty() ? "  (" : ", ") + n;
    return text.empty() ? text : text + ")";
}

const char *listing_kind(const ContentFile &f) {
    return f.type == ContentType::DataPack ? "datapacks" : content_folder_name(f.type);
}

int mods_list(const Instance &inst) {
    std::vector<ContentFile> files = content_list_files(inst);
    console_out("Сборка %s (%s %s): %d файлов\n", field(inst.name).c_str(), inst.mc.c_str(),
                inst.loader.c_str(), static_cast<int>(files.size()));
    for (const ContentFile &f : files)
        console_out("  %-13s %-10s %-26s %s%s\n", listing_kind(f), field(f.source).c_str(),
                    field(f.title).c_str(), field(f.filename).c_str(),
                    field(listing_notes(f)).c_str());
    return 0;
}

// The listed files a name given on the command line means: the file itself,
// or the file switched off; a data pack in the --world given, or in any world.
std::vector<ContentFile> listed_as(const Instance &inst, const std::string &name,
                                   const std::optional<std::string> &world) {
    std::vector<ContentFile> out;
    for (const ContentFile &f : content_list_files(inst)) {
        if (f.filename != name && f.filename != name + k_disabled_suffix) continue;
        if (world && f.world != *world) continue;
        out.push_back(f);
    }
    return out;
}

// A data pack of that name in one world (--world, or the only world that
// has it); none after saying why.
std::optional<std::string> datapack_world(const std::vector<ContentFile> &found,
                                          const std::string &name) {
    StrList worlds;
    for (const ContentFile &f : found)
        if (f.type == ContentType::DataPack) worlds.push_back(f.world);
    if (worlds.size() == 1) return worlds[0];
    std::string list;
    for (const std::string &w : worlds)
        list += (list.empty() ? "" : ", ") + w;
    console_err("Ошибка: «%s» есть в нескольких мирах (%s) — укажите --world\n",
                field(name).c_str(), field(list).c_str());
    return std::nullopt;
}

// Says what stops working without the file, then removes it; a file
// recorded but already gone only loses its record.
int mods_remove(const Options &o, const Instance &inst, const std::string &file) {
    std::vector<ContentFile> found = listed_as(inst, file, o.world);
    bool in_folder = content_file_exists(inst, file);
    std::optional<std::string> world;
    if (!in_folder && !found.empty()) {
        world = datapack_world(found, file);
        if (!world) return 1;
    }
    for (const std::string &line : content_dependents(inst, file))
        console_err("Внимание: %s\n", field(line).c_str());
    if (content_remove_file(inst, file, world) == 0 || (!in_folder && !world)) return 0;
    console_err("Ошибка: не удалось удалить %s\n", file.c_str());
    return 1;
}

int mods_enable(const Instance &inst, const std::string &file, bool enabled) {
    std::string err;
    if (content_set_enabled(inst, file, enabled, &err) == 0) return 0;
    console_err("Ошибка: %s\n", err.c_str());
    return 1;
}

// "modrinth:sodium" or "curseforge:238222" names its source; a plain
// reference takes --source (Modrinth when not given).
void project_ref(const Options &o, const std::string &ref, ContentSource &source, std::string &id) {
    source = o.source.value_or(ContentSource::Modrinth);
    id = ref;
    size_t colon = ref.find(':');
    if (colon == std::string::npos) return;
    std::optional<ContentSource> named = content_source_parse(str_lower(ref.substr(0, colon)));
    if (!named) return;
    source = *named;
    id = ref.substr(colon + 1);
}

// The id of the project's installed file, if any.
std::string installed_file_id(const Instance &inst, const ProjectVersions &pv) {
    JsonPtr arr = content_load(inst);
    const cJSON *e;
    cJSON_ArrayForEach(e, arr.get()) {
        ContentRecord r = content_record_of(e);
        if (r.source == content_source_word(pv.source) && r.project == pv.id) return r.file;
    }
    return "";
}

int mods_versions(const Options &o, const Instance &inst) {
    ContentSource source;
    std::string id;
    project_ref(o, *o.pos[1], source, id);
    ProjectVersions pv;
    std::string err;
    if (content_versions(source, o.type, id, inst, pv, &err) != 0) {
        console_err("Ошибка: %s\n", err.empty() ? "?" : err.c_str());
        return 1;
    }
    console_out("«%s» (%s:%s) для Minecraft %s %s: %d\n", field(pv.title).c_str(),
                content_source_word(source), field(pv.id).c_str(), inst.mc.c_str(),
                inst.loader.c_str(), static_cast<int>(pv.versions.size()));
    std::string installed = installed_file_id(inst, pv);
    int chosen = version_choose(pv.versions, std::nullopt);
    for (int i = 0; i < static_cast<int>(pv.versions.size()); i++) {
        const ContentVersion &v = pv.versions[i];
        console_out("%s%s %s %-10s %-12s %s%s\n",
                    !installed.empty() && v.id == installed ? "[✓] " : "    ",
                    str_pad_display(field(v.version), 24).c_str(),
                    str_pad_display(content_channel_name(v.channel), 6).c_str(),
                    field(v.date.substr(0, 10)).c_str(), field(v.id).c_str(),
                    field(v.filename).c_str(), i == chosen ? "  ← по умолчанию" : "");
    }
    return 0;
}

} // namespace

int cmd_search(const Options &o) {
    SearchSources src = o.source_text ? o.source : std::nullopt;
    std::vector<SearchHit> hits;
    std::string err;
    int n = search_service(src, o.type.value_or(ContentType::Mod), o.pos[0].value_or(""), o.mc,
                           o.loader, hits, &err);
    if (!err.empty()) console_err("%s\n", err.c_str());
    if (n < 0) return 1;
    for (const SearchHit &h : hits)
        console_out("%-10s %-30s %-28s %-16s %10ld  %s:%s\n   %s\n", content_source_name(h.source),
                    field(h.slug).c_str(), field(h.title).c_str(), field(h.author).c_str(),
                    static_cast<long>(h.downloads), content_source_word(h.source),
                    field(h.id).c_str(), summary_line(h.summary).c_str());
    if (hits.empty()) console_out("Ничего не найдено\n");
    return 0;
}

int cmd_add(const Options &o) {
    if (!o.pos[0] || !o.pos[1] || o.pos[1]->find(':') == std::string::npos) {
        console_err("zyl add <сборка> <curseforge|modrinth>:<id|slug>\n");
        return 2;
    }
    auto inst = instance_find(*o.pos[0]);
    if (!inst) {
        console_err("Сборка «%s» не найдена (zyl instances)\n", o.pos[0]->c_str());
        return 1;
    }
    const std::string &ref = *o.pos[1];
    ContentSource src =
        ref[0] == 'c' || ref[0] == 'C' ? ContentSource::CurseForge : ContentSource::Modrinth;
    std::string msg;
    int rc = install_content(src, o.type, ref.substr(ref.find(':') + 1), *inst, o.world, &msg,
                             nullptr, o.version);
    if (!msg.empty()) console_err("%s%s\n", rc == k_install_failed ? "Ошибка: " : "", msg.c_str());
    if (rc == k_install_ok) return 0;
    return rc == k_install_manual ? 3 : 1;
}

int cmd_mods(const Options &o) {
    if (!o.instance) {
        console_err("Укажите сборку: --instance <имя> (см. zyl instances)\n");
        return 2;
    }
    auto inst = instance_find(*o.instance);
    if (!inst) {
        console_err("Сборка «%s» не найдена (zyl instances)\n", o.instance->c_str());
        return 2;
    }
    const std::string sub = o.pos[0].value_or("");
    if (sub == "search") return mods_search(o, *inst);
    if (sub == "list") return mods_list(*inst);
    if (sub == "outdated") return mods_outdated(*inst);
    if (sub == "update" && o.all && !o.pos[1]) return mods_update_all(*inst);
    if (sub == "install" && o.pos[1]) return mods_install(o, *inst);
    if (sub == "versions" && o.pos[1]) return mods_versions(o, *inst);
    bool names_file = sub == "update" || sub == "remove" || sub == "enable" || sub == "disable";
    if (names_file && o.pos[1] && !content_file_exists(*inst, *o.pos[1]) &&
        !content_find_file(*inst, *o.pos[1]) && listed_as(*inst, *o.pos[1], o.world).empty()) {
        console_err("Ошибка: файла «%s» нет в сборке «%s» (zyl mods list --instance %s)\n",
                    o.pos[1]->c_str(), inst->name.c_str(), o.instance->c_str());
        return 1;
    }
    if (sub == "update" && o.pos[1] && !o.all) return mods_update(o, *inst);
    if (sub == "remove" && o.pos[1]) return mods_remove(o, *inst, *o.pos[1]);
    if ((sub == "enable" || sub == "disable") && o.pos[1])
        return mods_enable(*inst, *o.pos[1], sub == "enable");
    help_print();
    return 2;
}
