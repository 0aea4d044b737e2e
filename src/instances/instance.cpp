// Instance records on disk: listing with adoption, finding, saving, folder
// names and deletion.
#include "instances/instance.h"

#include "base/fs.h"
#include "base/json.h"
#include "base/proc.h"
#include "base/strings.h"
#include "config/datadir.h"
#include "game/install.h"
#include "game/launch.h"
#include "game/loaders.h"
#include "game/versions.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>
#include <unistd.h>

std::string instance_dir(const Instance &inst) {
    return datapaths().instances + "/" + inst.folder;
}

std::string instance_to_json(const Instance &i) {
    JsonPtr root(cJSON_CreateObject());
    cJSON *o = root.get();
    cJSON_AddStringToObject(o, "name", i.name.c_str());
    cJSON_AddStringToObject(o, "mc", i.mc.c_str());
    cJSON_AddStringToObject(o, "loader", i.loader.c_str());
    cJSON_AddStringToObject(o, "loader_version", i.loader_version.c_str());
    cJSON_AddStringToObject(o, "version_id", i.version_id.c_str());
    cJSON_AddNumberToObject(o, "created", static_cast<double>(i.created));
    cJSON_AddNumberToObject(o, "last_played", static_cast<double>(i.last_played));
    cJSON_AddNumberToObject(o, "ram_mb", i.ram_mb);
    // The instance's own settings only when it has them: a record without
    // them reads (here and in older launchers) as "as in the settings".
    if (i.java_path) cJSON_AddStringToObject(o, "java_path", i.java_path->c_str());
    if (i.jvm_args) cJSON_AddStringToObject(o, "jvm_args", i.jvm_args->c_str());
    if (i.width > 0) cJSON_AddNumberToObject(o, "width", i.width);
    if (i.height > 0) cJSON_AddNumberToObject(o, "height", i.height);
    if (i.server) cJSON_AddStringToObject(o, "server", i.server->c_str());
    return json_print(o);
}

int instance_save(const Instance &inst) {
    std::string dir = instance_dir(inst);
    for (const char *sub : {"mods", "resourcepacks", "shaderpacks", "saves", "config"})
        fs_mkdirs(dir + "/" + sub);
    return fs_write_atomic(dir + "/instance.json", instance_to_json(inst));
}

static Instance instance_from_json(const std::string &folder, const cJSON *o) {
    Instance i;
    i.folder = folder;
    i.name = json_str(o, "name", folder);
    i.mc = json_str(o, "mc");
    i.loader = json_str(o, "loader", "Vanilla");
    i.loader_version = json_str(o, "loader_version");
    i.version_id = json_str(o, "version_id");
    i.created = json_int(o, "created");
    i.last_played = json_int(o, "last_played");
    i.ram_mb = json_int(o, "ram_mb");
    i.java_path = json_str_opt(o, "java_path");
    if (i.java_path && i.java_path->empty()) i.java_path.reset(); // no path is no choice
    i.jvm_args = json_str_opt(o, "jvm_args");
    i.width = json_int(o, "width");
    i.height = json_int(o, "height");
    i.server = json_str_opt(o, "server");
    return i;
}

int instance_update(const std::string &folder, const std::function<void(Instance &)> &change,
                    Instance *out) {
    if (folder.empty() || folder[0] == '.' || folder.find('/') != std::string::npos) {
        errno = EINVAL;
        return -1;
    }
    std::string path = datapaths().instances + "/" + folder + "/instance.json";
    FileLock lock = fs_lock(path);
    JsonPtr j = json_read_file(path, k_instance_json_max);
    if (!j) {
        errno = ENOENT;
        return -1;
    }
    Instance i = instance_from_json(folder, cJSON_IsObject(j.get()) ? j.get() : nullptr);
    change(i);
    if (instance_save(i) != 0) return -1;
    if (out) *out = i;
    return 0;
}

VersionFields instance_fields_from_version(const std::string &v) {
    VersionFields f;
    JsonPtr doc = json_read_file(version_json_path(v));
    std::optional<std::string> inherits = json_str_opt(doc.get(), "inheritsFrom");
    f.mc = inherits ? *inherits : v;
    f.loader = "Vanilla";
    const char *prefix = nullptr;
    if (str_starts_with(v, "fabric-loader-")) {
        f.loader = "Fabric";
        prefix = "fabric-loader-";
    } else if (str_starts_with(v, "quilt-loader-")) {
        f.loader = "Quilt";
        prefix = "quilt-loader-";
    }
    if (prefix) {
        // fabric-loader-0.15.11-1.20.1 inheriting from 1.20.1 gives 0.15.11.
        std::string rest = v.substr(strlen(prefix));
        if (inherits) {
            if (rest.size() >= inherits->size() + 2 && str_ends_with(rest, *inherits))
                rest.resize(rest.size() - inherits->size() - 1);
            f.loader_version = rest;
        }
    } else if (str_starts_with(v, "neoforge-")) {
        f.loader = "NeoForge";
        f.loader_version = v.substr(9);
    } else if (v.find("forge") != std::string::npos) {
        f.loader = "Forge";
        size_t p = v.find("forge-");
        if (p != std::string::npos) f.loader_version = v.substr(p + 6);
    }
    if (f.loader_version.size() > 255) f.loader_version.resize(255);
    return f;
}

// A bare folder named after an installed profile becomes an instance again.
static std::optional<Instance> adopt_folder(const std::string &entry) {
    if (!fs_exists(version_json_path(entry))) return std::nullopt;
    Instance i;
    i.folder = i.name = i.version_id = entry;
    VersionFields f = instance_fields_from_version(entry);
    i.mc = f.mc;
    i.loader = f.loader;
    i.loader_version = f.loader_version;
    FileStat st;
    i.created = fs_stat(datapaths().instances + "/" + entry, &st) == 0 ? st.mtime : time(nullptr);
    i.last_played = i.created;
    instance_save(i);
    return i;
}

std::string instance_staging_name(const std::string &folder) {
    return format_alloc(".%s.import-%d", folder.c_str(), (int)getpid());
}

std::optional<std::string> instance_staging_reserved(const std::string &entry, bool *live) {
    size_t at = entry.rfind(".import-");
    if (entry.empty() || entry[0] != '.' || at == std::string::npos || at < 2) return std::nullopt;
    int pid = atoi(entry.c_str() + at + 8);
    if (pid <= 0) return std::nullopt;
    *live = pid == getpid() || !proc_gone(pid);
    return entry.substr(1, at - 1);
}

std::vector<Instance> instance_list() {
    std::vector<Instance> out;
    const std::string folder = datapaths().instances;
    auto entries = dir_list(folder);
    if (!entries) return out;
    // Folders reserved by running imports are not instances yet: adopting one
    // would write into it and make the import's final move fail.
    std::set<std::string> reserved;
    for (const std::string &e : *entries) {
        bool live = false;
        std::optional<std::string> r = instance_staging_reserved(e, &live);
        if (r && live) reserved.insert(*r);
    }
    for (const std::string &e : *entries) {
        if (e.empty() || e[0] == '.' || reserved.count(e)) continue;
        JsonPtr j = json_read_file(folder + "/" + e + "/instance.json", k_instance_json_max);
        // Any document that parses is the user's record, even one that is not
        // an object ([], "x"): it gets the read defaults and stays untouched.
        if (j)
            out.push_back(instance_from_json(e, cJSON_IsObject(j.get()) ? j.get() : nullptr));
        else if (auto adopted = adopt_folder(e))
            out.push_back(*adopted);
    }
    std::stable_sort(out.begin(), out.end(), [](const Instance &a, const Instance &b) {
        return a.last_played > b.last_played;
    });
    return out;
}

std::optional<Instance> instance_find(const std::string &key) {
    std::vector<Instance> all = instance_list();
    for (const Instance &i : all)
        if (i.folder == key || i.name == key) return i;
    for (const Instance &i : all)
        if (str_equal_ci(i.name, key)) return i;
    return std::nullopt;
}

int instance_delete(const Instance &inst) {
    if (inst.folder.empty() || inst.folder.find('/') != std::string::npos || inst.folder == "." ||
        inst.folder == "..")
        return -1;
    return fs_remove_tree(instance_dir(inst)) == 0 ? 0 : -1;
}

// Display names in use: those of the instances, and those that imports
// still running have chosen (the instance.json of their staging folders).
static std::vector<std::string> names_in_use() {
    std::vector<std::string> names;
    for (const Instance &i : instance_list())
        names.push_back(i.name);
    for (const std::string &e : dir_list(datapaths().instances).value_or(StrList{})) {
        bool live = false;
        if (!instance_staging_reserved(e, &live) || !live) continue;
        JsonPtr j =
            json_read_file(datapaths().instances + "/" + e + "/instance.json", k_instance_json_max);
        if (std::optional<std::string> n = json_str_opt(j.get(), "name")) names.push_back(*n);
    }
    return names;
}

static bool name_taken(const std::vector<std::string> &names, const std::string &name) {
    for (const std::string &n : names)
        if (str_equal_ci(n, name)) return true;
    return false;
}

std::string instance_unique_name(const std::string &wanted) {
    std::vector<std::string> names = names_in_use();
    std::string candidate = wanted;
    for (int n = 2; n <= 99 && name_taken(names, candidate); n++)
        candidate = format_alloc("%s (%d)", wanted.c_str(), n);
    return candidate;
}

std::string instance_folder_base(const std::string &name) {
    std::string out;
    for (unsigned char c : name) {
        if (isalnum(c) && c < 128)
            out.push_back(static_cast<char>(c));
        else if (c == '-' || c == '.' || c == '_')
            out.push_back(static_cast<char>(c));
        else if (!out.empty() && out.back() != '_')
            out.push_back('_');
    }
    while (!out.empty() && out.back() == '_')
        out.pop_back();
    if (out.empty() || out == "." || out == "..") out = "instance";
    return out;
}

std::string instance_folder_for_name(const std::string &name) {
    std::string base = instance_folder_base(name);
    std::string candidate = base;
    for (int n = 2; fs_exists(datapaths().instances + "/" + candidate); n++)
        candidate = format_alloc("%s-%d", base.c_str(), n);
    return candidate;
}

// True (after the message) when an instance of that display name exists.
static bool name_refused(const std::string &display, const Job *job, std::string *err) {
    if (!name_taken(names_in_use(), display)) return false;
    job_fail(job, err,
             format_alloc("Сборка с именем «%s» уже есть — выберите другое имя", display.c_str()));
    return true;
}

int instance_new_record(const std::string &name, const std::string &loader_word,
                        const std::string &mc, const std::string &loader_version, Instance *out,
                        const Job *job, std::string *err) {
    std::optional<std::string> loader = loader_normalize(loader_word);
    if (!loader) {
        job_fail(job, err, format_alloc("Неизвестный загрузчик: %s", loader_word.c_str()));
        return -1;
    }
    std::string display = name.empty() ? mc : name;
    std::optional<std::string> lv;
    if (!loader_version.empty()) lv = loader_version;
    std::optional<std::string> id = install_version(*loader, mc, lv, VerifyMode::HashAll, job, err);
    if (!id) return -1;
    Instance i;
    i.folder = instance_folder_for_name(display);
    i.name = display;
    i.version_id = *id;
    i.mc = mc;
    i.loader = *loader;
    i.loader_version =
        loader_version.empty() ? instance_fields_from_version(*id).loader_version : loader_version;
    i.created = i.last_played = time(nullptr);
    *out = i;
    return 0;
}

void instance_announce(const Instance &i, const Job *job) {
    job_message(job, "Сборка «%s» создана: %s (папка instances/%s)", i.name.c_str(),
                i.version_id.c_str(), i.folder.c_str());
}

int instance_commit(const Instance &i, const Job *job, std::string *err) {
    if (instance_save(i) != 0) {
        job_fail(job, err, "Не удалось записать instance.json");
        return -1;
    }
    instance_announce(i, job);
    return 0;
}

int instance_create(const std::string &name, const std::string &loader_word, const std::string &mc,
                    const std::string &loader_version, Instance *out, const Job *job,
                    std::string *err) {
    // Refused before the long install too, not only once it is done.
    if (name_refused(name.empty() ? mc : name, job, err)) return -1;
    Instance i;
    if (instance_new_record(name, loader_word, mc, loader_version, &i, job, err) != 0) return -1;
    {
        // The install took a while: the name is checked again, and the folder
        // chosen and written, under one lock. Two creates of one name at once
        // then end as a lone one would: the second is refused.
        FileLock lock = fs_lock(datapaths().instances); // "instances.lock" beside the folder
        if (name_refused(i.name, job, err)) return -1;
        i.folder = instance_folder_for_name(i.name);
        if (instance_commit(i, job, err) != 0) return -1;
    }
    if (out) *out = i;
    return 0;
}

// The launch's own settings of an instance, each over the launcher's.
static LaunchOverrides launch_overrides(const Instance &inst) {
    LaunchOverrides own;
    own.java = inst.java_path;
    own.jvm_args = inst.jvm_args;
    own.width = inst.width;
    own.height = inst.height;
    return own;
}

int instance_prepare_launch(Instance &inst, const std::string &player, int default_ram_mb,
                            const std::optional<std::string> &default_server, int *pid,
                            int *read_fd, const Job *job, std::string *err, bool java_insist) {
    // A profile that is gone, or broken past launching, is installed again.
    if (!version_installed(inst.version_id)) {
        std::optional<std::string> lv;
        if (!inst.loader_version.empty()) lv = inst.loader_version;
        std::optional<std::string> id =
            install_version(inst.loader, inst.mc, lv, VerifyMode::HashAll, job, err);
        if (!id) return -1;
        inst.version_id = *id;
    }
    inst.last_played = time(nullptr);
    // Only the stamp and the profile are written: the rest of the record on
    // disk may have changed since it was read (settings edited meanwhile),
    // and this launch's own choices (a --ram for one run) are not the
    // instance's. A record that is gone or cannot be written does not stop
    // the launch.
    const std::string version_id = inst.version_id;
    const long long stamp = inst.last_played;
    instance_update(inst.folder, [&](Instance &on_disk) {
        on_disk.version_id = version_id;
        on_disk.last_played = stamp;
    });
    int ram = inst.ram_mb > 0 ? inst.ram_mb : default_ram_mb;
    std::optional<std::string> server = inst.server ? inst.server : default_server;
    LaunchOverrides own = launch_overrides(inst);
    own.java_insist = java_insist;
    return launch_version(inst.version_id, player, ram, server, inst.folder, pid, read_fd, job, err,
                          own);
}
