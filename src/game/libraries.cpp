// Maven paths, library collection and classpath assembly.
#include "game/libraries.h"

#include "config/datadir.h"
#include "game/rules.h"
#include "net/endpoints.h"

#include <set>

namespace {

std::string mojang_library_base() {
    return endpoint("libraries") + "/";
}

std::string refused_path(const std::string &name, const std::string &rel) {
    return format_alloc("Библиотека %s пропущена: путь %s выходит за папку библиотек", name.c_str(),
                        rel.c_str());
}

std::string refused_name(const std::string &name) {
    return format_alloc("Библиотека %s пропущена: из имени не получается путь", name.c_str());
}

// The main artifact: its download and classpath entry. False, with the
// reason in why, when the whole entry has to be skipped (no usable path).
bool collect_artifact(const cJSON *lib, const std::string &name, DownloadList *downloads,
                      StrList *classpath, std::string &why) {
    const cJSON *dl = json_get(lib, "downloads");
    std::string rel, url, sha1;
    long long size = -1;
    if (dl) {
        const cJSON *art = json_get(dl, "artifact");
        if (!art) return true; // natives only
        auto path = json_str_opt(art, "path");
        if (path)
            rel = *path;
        else {
            auto mp = maven_path(name);
            if (!mp) {
                why = refused_name(name);
                return false;
            }
            rel = *mp;
        }
        url = json_str(art, "url");
        sha1 = json_str(art, "sha1");
        size = json_llong(art, "size", -1);
    } else {
        auto mp = maven_path(name);
        if (!mp) {
            why = refused_name(name);
            return false;
        }
        rel = *mp;
        std::string base = json_str(lib, "url", mojang_library_base());
        if (!str_ends_with(base, "/")) base += "/";
        url = base + rel;
        sha1 = json_str(lib, "sha1");
        size = json_llong(lib, "size", -1);
    }
    if (!library_path_safe(rel)) {
        why = refused_path(name, rel);
        return false;
    }
    std::string dest = format_alloc("%s/%s", datapaths().libraries.c_str(), rel.c_str());
    if (downloads) download_list_add(*downloads, url, dest, sha1, size);
    if (classpath) classpath->push_back(dest);
    return true;
}

// The natives jar of this platform, if the entry has one. False, with the
// reason in why, when it has one that has to be skipped (no usable path).
bool collect_natives(const cJSON *lib, const std::string &name, DownloadList *downloads,
                     StrList *natives, const Platform &p, std::string &why) {
    auto classifier = json_str_opt(json_get(lib, "natives"), p.natives_key.c_str());
    if (!classifier) return true;
    size_t at = classifier->find("${arch}");
    if (at != std::string::npos) classifier->replace(at, 7, p.arch);
    if (classifier->size() > 127) classifier->resize(127);

    const cJSON *member =
        json_get(json_get(json_get(lib, "downloads"), "classifiers"), classifier->c_str());
    std::string rel, url, sha1;
    long long size = -1;
    auto path = json_str_opt(member, "path");
    if (member && path) {
        rel = *path;
        url = json_str(member, "url");
        sha1 = json_str(member, "sha1");
        size = json_llong(member, "size", -1);
    } else {
        auto mp = maven_path(name + ":" + *classifier);
        if (!mp) {
            why = refused_name(name);
            return false;
        }
        rel = *mp;
        // The repository base is used exactly as written, as older launchers did.
        url = json_str(lib, "url", mojang_library_base()) + rel;
    }
    if (!library_path_safe(rel)) {
        why = refused_path(name, rel);
        return false;
    }
    std::string dest = format_alloc("%s/%s", datapaths().libraries.c_str(), rel.c_str());
    if (downloads) download_list_add(*downloads, url, dest, sha1, size);
    if (natives) natives->push_back(dest);
    return true;
}

} // namespace

bool library_path_safe(const std::string &rel) {
    if (rel.empty() || rel[0] == '/' || rel.find('\\') != std::string::npos || !str_printable(rel))
        return false;
    for (const std::string &seg : str_split(rel, '/')) {
        if (seg == "..") return false;
    }
    return true;
}

std::optional<std::string> maven_path(const std::string &coordinate) {
    std::string coord = coordinate;
    std::string ext = "jar";
    size_t at = coord.find('@');
    if (at != std::string::npos) {
        ext = coord.substr(at + 1);
        coord.resize(at);
    }
    StrList parts;
    for (std::string &part : str_split(coord, ':')) {
        if (part.empty()) continue;
        if (parts.size() == 6) break;
        parts.push_back(std::move(part));
    }
    if (parts.size() < 3) return std::nullopt;
    std::string group = parts[0];
    for (char &c : group)
        if (c == '.') c = '/';
    std::string rel;
    if (parts.size() == 3)
        rel = format_alloc("%s/%s/%s/%s-%s.%s", group.c_str(), parts[1].c_str(), parts[2].c_str(),
                           parts[1].c_str(), parts[2].c_str(), ext.c_str());
    else
        rel =
            format_alloc("%s/%s/%s/%s-%s-%s.%s", group.c_str(), parts[1].c_str(), parts[2].c_str(),
                         parts[1].c_str(), parts[2].c_str(), parts[3].c_str(), ext.c_str());
    if (!library_path_safe(rel)) return std::nullopt;
    return rel;
}

int libraries_collect(const cJSON *libraries, DownloadList *downloads, StrList *classpath,
                      StrList *natives, const Platform &p, const Job *job) {
    int skipped = 0;
    const cJSON *lib;
    cJSON_ArrayForEach(lib, libraries) {
        if (!rules_entry_allowed(lib, p)) continue;
        auto name = json_str_opt(lib, "name");
        if (!name) continue;
        std::string why;
        if (!collect_artifact(lib, *name, downloads, classpath, why) ||
            !collect_natives(lib, *name, downloads, natives, p, why)) {
            job_message(job, "%s", why.c_str());
            skipped++;
        }
    }
    return skipped;
}

std::string classpath_key(const std::string &path, const std::string &libraries_dir) {
    std::string prefix = libraries_dir + "/";
    if (!str_starts_with(path, prefix)) return path;
    StrList seg = str_split(path.substr(prefix.size()), '/');
    size_t n = seg.size();
    if (n < 4) return path;
    const std::string &file = seg[n - 1];
    const std::string &version = seg[n - 2];
    const std::string &artifact = seg[n - 3];
    std::string stem = artifact + "-" + version;
    if (!str_starts_with(file, stem)) return path;
    std::string key;
    for (size_t i = 0; i + 2 < n; i++)
        key += seg[i] + "/";
    return key + "|" + file.substr(stem.size());
}

Classpath classpath_build(const StrList &classpath, const std::string &client_jar,
                          const Platform &p) {
    Classpath cp;
    std::set<std::string> keys;
    const std::string libraries = datapaths().libraries;
    for (const std::string &entry : classpath) {
        if (keys.insert(classpath_key(entry, libraries)).second) cp.entries.push_back(entry);
    }
    bool have_client = false;
    for (const std::string &e : cp.entries)
        have_client = have_client || e == client_jar;
    if (!have_client) cp.entries.push_back(client_jar);
    for (size_t i = 0; i < cp.entries.size(); i++) {
        if (i) cp.joined += p.cp_separator;
        cp.joined += cp.entries[i];
    }
    return cp;
}
