// Content updates: look up the file's record, set the file aside, reinstall
// the project through the install dispatcher and put the old state back on
// failure.
#include "content/update.h"

#include "base/fs.h"
#include "base/strings.h"
#include "content/install.h"
#include "instances/content.h"

std::string content_backup_path(const std::string &path) {
    return format_alloc("%s.zyl-old", path.c_str());
}

int content_update(const Instance &inst, const std::string &filename,
                   const std::optional<std::string> &world, std::string *msg, const Job *job) {
    std::string local;
    if (!msg) msg = &local;
    msg->clear();
    std::optional<ContentRecord> rec = content_find_file(inst, filename);
    std::optional<ContentSource> source = rec ? content_source_parse(rec->source) : std::nullopt;
    if (!rec || rec->project.empty() || !source || !fs_filename_safe(filename)) {
        *msg = format_alloc("«%s» установлен вручную — обновить нельзя", filename.c_str());
        return k_install_failed;
    }
    std::string path = instance_dir(inst) + "/" + content_folder_name(rec->type) + "/" + filename;
    std::string backup = content_backup_path(path);
    // Data packs and worlds do not live in that folder: a file of the same name
    // there belongs to something else and stays where it is.
    bool in_folder = rec->type == ContentType::Mod || rec->type == ContentType::ResourcePack ||
                     rec->type == ContentType::Shader;
    bool set_aside = in_folder && fs_rename_replace(path, backup) == 0;
    // Without its record the project no longer counts as installed.
    content_forget(inst, filename);

    int rc = install_content(*source, rec->type, rec->project, inst, world, msg, job);
    if (rc != k_install_ok) {
        if (set_aside) fs_rename_replace(backup, path);
        // The record exactly as it was: title, file id and SHA-1 included.
        content_put(inst, *rec);
        return rc;
    }
    if (in_folder) fs_delete(backup);
    // The reinstall's own note (dependencies to fetch by hand, say) follows.
    std::string updated = format_alloc("Обновлено: %s", filename.c_str());
    *msg = msg->empty() ? updated : updated + "\n" + *msg;
    return k_install_ok;
}
