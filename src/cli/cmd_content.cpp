// "search", "add" and "mods": content search and installs on the console.
// Results go to standard output, errors to standard error.
#include "cli/cmd_content.h"

#include "base/strings.h"
#include "base/ui.h"
#include "cli/help.h"
#include "content/install.h"
#include "content/search.h"
#include "content/update.h"
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
    int rc = install_content(src, o.type, *o.pos[1], inst, o.world, &msg);
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

int mods_list(const Instance &inst) {
    std::vector<ContentFile> files = content_list_files(inst);
    console_out("Сборка %s (%s %s): %d файлов\n", field(inst.name).c_str(), inst.mc.c_str(),
                inst.loader.c_str(), static_cast<int>(files.size()));
    for (const ContentFile &f : files)
        console_out("  %-13s %-10s %-26s %s\n", content_folder_name(f.type),
                    field(f.source).c_str(), field(f.title).c_str(), field(f.filename).c_str());
    return 0;
}

// A file recorded but already gone only loses its record.
int mods_remove(const Instance &inst, const std::string &file) {
    bool present = content_file_exists(inst, file);
    if (content_remove_file(inst, file) == 0 || !present) return 0;
    console_err("Ошибка: не удалось удалить %s\n", file.c_str());
    return 1;
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
    int rc = install_content(src, o.type, ref.substr(ref.find(':') + 1), *inst, o.world, &msg);
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
    if (sub == "install" && o.pos[1]) return mods_install(o, *inst);
    if ((sub == "update" || sub == "remove") && o.pos[1] &&
        !content_file_exists(*inst, *o.pos[1]) && !content_find_file(*inst, *o.pos[1])) {
        console_err("Ошибка: файла «%s» нет в сборке «%s» (zyl mods list --instance %s)\n",
                    o.pos[1]->c_str(), inst->name.c_str(), o.instance->c_str());
        return 1;
    }
    if (sub == "update" && o.pos[1]) return mods_update(o, *inst);
    if (sub == "remove" && o.pos[1]) return mods_remove(*inst, *o.pos[1]);
    help_print();
    return 2;
}
