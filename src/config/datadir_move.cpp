// Moving the data folder's contents, safe against a full disk, a kill at any
// moment, and a player who changes either folder before the next start.
//
// Each entry (libraries, instances, settings.json...) that lies on the new
// folder's file system is renamed there; any other is copied under a
// temporary name in the new folder and renamed into place when whole. The
// copies come first, so the long part leaves the old folder untouched; the
// renames follow. The move commits when zyl.ini names the new folder; only
// then are the copied originals removed. A failure before that puts every
// entry back and removes the copies.
//
// Two small files tell a later run what a killed move left: the old folder's
// "zyl-move-out.json" names the new folder, the new folder's
// "zyl-move-in.json" names the old one, the entries with the device and inode
// each had, and whether all of them are in place. Folders are named by real
// path and device/inode, so any spelling of either folder finds the move.
// The next start in either folder finishes a move that zyl.ini names and
// undoes any other. Neither ever removes player data: an entry that both
// folders hold by then is merged, and what clashes by name is kept beside as
// "<name> (из переноса <date>)".
//
// A lock on the old folder keeps a second move and any recovery out while a
// move runs; the games' lock (datadir_game_lock) keeps a move out while a game
// of the folder runs, and a game out while it moves.
#include "config/datadir_move.h"

#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"
#include "base/ui.h"
#include "config/datadir.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>
#include <vector>

namespace {

// What moves, in this order; logs/ and anything else stay behind.
const char *const k_entries[] = {"libraries",   "assets", "versions",      "java",
                                 "instances",   "cache",  "settings.json", "launcher_profiles.json",
                                 "account.json"};
// The entry whose members are kept whole: an instance is never mixed with another.
const char k_whole_members[] = "instances";

const char k_out_file[] = "zyl-move-out.json";
const char k_in_file[] = "zyl-move-in.json";
const char k_temp_prefix[] = ".zyl-move-";
const char k_game_running[] = "Игра из этой папки запущена — закройте её, затем переносите данные";

// A folder as the records name it: its real path, and which folder it was.
struct Folder {
    std::string path;
    std::optional<FileId> id;
};

struct Journal {
    Folder from;
    std::vector<std::string> entries;
    std::map<std::string, FileId> originals; // each entry as it was in from
    long long started = 0;                   // seconds since 1970; 0 unknown
    bool placed = false;                     // every entry is in the new folder
};

// Test-only: ZYL_TEST_MOVE_KILL=copy|rename|placed|record ends the process
// with SIGKILL right after the first file copied, after the first entry
// renamed, after every entry is in place, or after the new location is
// recorded.
void kill_point(const char *point) {
    const char *v = getenv("ZYL_TEST_MOVE_KILL");
    if (v && strcmp(v, point) == 0) raise(SIGKILL);
}

bool known_entry(const std::string &name) {
    return std::any_of(std::begin(k_entries), std::end(k_entries),
                       [&](const char *e) { return name == e; });
}

// Present, a dangling symlink included.
bool present(const std::string &path) {
    return fs_file_id(path, false).has_value();
}

// A folder itself, not a symlink to one.
bool real_dir(const std::string &path) {
    return present(path) && fs_is_dir(path) && fs_file_id(path, false) == fs_file_id(path, true);
}

bool empty_dir(const std::string &path) {
    if (!real_dir(path)) return false;
    auto names = dir_list(path);
    return names && names->empty();
}

std::string id_text(const FileId &id) {
    return format_alloc("%llu:%llu", id.dev, id.ino);
}

std::optional<FileId> id_parse(const std::optional<std::string> &text) {
    FileId id;
    if (!text || sscanf(text->c_str(), "%llu:%llu", &id.dev, &id.ino) != 2) return std::nullopt;
    return id;
}

Folder folder_of(const std::string &path) {
    return {fs_real_path(path), fs_file_id(path, true)};
}

// True when path is the recorded folder: the same real path, or the same
// device and inode (another mount of it, a device number changed by a remount).
bool is_folder(const Folder &f, const std::string &path) {
    if (fs_real_path(path) == f.path) return true;
    std::optional<FileId> id = fs_file_id(path, true);
    return f.id && id && *id == *f.id;
}

std::optional<Folder> folder_read(const cJSON *j, const char *path_key, const char *id_key) {
    auto path = json_str_opt(j, path_key);
    if (!path || path->empty() || (*path)[0] != '/') return std::nullopt;
    return Folder{*path, id_parse(json_str_opt(j, id_key))};
}

void folder_write(cJSON *j, const char *path_key, const char *id_key, const Folder &f) {
    cJSON_AddStringToObject(j, path_key, f.path.c_str());
    if (f.id) cJSON_AddStringToObject(j, id_key, id_text(*f.id).c_str());
}

std::string out_path(const std::string &from) {
    return from + "/" + k_out_file;
}

std::string in_path(const std::string &to) {
    return to + "/" + k_in_file;
}

int write_out(const std::string &from, const Folder &to) {
    JsonPtr j(cJSON_CreateObject());
    folder_write(j.get(), "to", "to_id", to);
    return json_write_file(out_path(from), j.get());
}

std::optional<Folder> read_out(const std::string &from) {
    JsonPtr j = json_read_file(out_path(from));
    return folder_read(j.get(), "to", "to_id");
}

int write_in(const std::string &to, const Journal &journal) {
    JsonPtr j(cJSON_CreateObject());
    folder_write(j.get(), "from", "from_id", journal.from);
    cJSON *list = cJSON_AddArrayToObject(j.get(), "entries");
    cJSON *originals = cJSON_AddObjectToObject(j.get(), "originals");
    for (const std::string &e : journal.entries) {
        cJSON_AddItemToArray(list, cJSON_CreateString(e.c_str()));
        auto id = journal.originals.find(e);
        if (id != journal.originals.end())
            cJSON_AddStringToObject(originals, e.c_str(), id_text(id->second).c_str());
    }
    cJSON_AddNumberToObject(j.get(), "started", static_cast<double>(journal.started));
    cJSON_AddBoolToObject(j.get(), "placed", journal.placed);
    return json_write_file(in_path(to), j.get());
}

// The journal as far as it can be trusted: only known entry names.
std::optional<Journal> read_in(const std::string &to) {
    JsonPtr j = json_read_file(in_path(to));
    std::optional<Folder> from = folder_read(j.get(), "from", "from_id");
    if (!from) return std::nullopt;
    Journal out;
    out.from = *from;
    const cJSON *e = nullptr;
    cJSON_ArrayForEach(e, json_get(j.get(), "entries")) {
        if (!cJSON_IsString(e) || !known_entry(e->valuestring)) continue;
        out.entries.push_back(e->valuestring);
        if (auto id = id_parse(json_str_opt(json_get(j.get(), "originals"), e->valuestring)))
            out.originals[e->valuestring] = *id;
    }
    const cJSON *started = json_get(j.get(), "started");
    if (cJSON_IsNumber(started)) out.started = static_cast<long long>(started->valuedouble);
    out.placed = json_bool(j.get(), "placed");
    return out;
}

void remove_temporaries(const std::string &to) {
    for (const std::string &name : dir_list(to).value_or(std::vector<std::string>{})) {
        if (str_starts_with(name, k_temp_prefix)) fs_remove_tree(to + "/" + name);
    }
}

// Both records gone: the journal first, as it was written last.
void forget_move(const std::string &from, const std::string &to) {
    fs_delete(in_path(to));
    fs_delete(out_path(from));
}

// The games' lock of a folder taken exclusive, for a move or for removing
// its originals. Its file goes when this made it, or when the data left.
struct GamesLock {
    std::string path;
    bool existed = false;
    bool data_left = false;
    FileLock lock;

    GamesLock(const std::string &folder, bool *busy)
        : path(datadir_game_lock_path(folder)), existed(present(path)),
          lock(fs_lock_try(path, false, busy)) {}
    ~GamesLock() {
        if (lock.fd >= 0 && (!existed || data_left)) fs_delete(path);
    }
};

// Settling the entries of a killed or failed move in one of its folders
// (kept), taking over what the other folder holds.
struct Settle {
    std::string from, to;
    const Journal &journal;
    bool undoing; // kept is from
    std::string date;
    std::vector<std::string> beside; // clashing names kept beside, from the kept folder

    std::string kept() const { return undoing ? from : to; }
    std::string other() const { return undoing ? to : from; }

    // o to the free name k: a rename, or across file systems a copy under a
    // temporary name beside k, renamed into place when whole.
    bool move_whole(const std::string &o, const std::string &k) {
        if (fs_rename_noreplace(o, k) == 0) return true;
        if (errno == EXDEV) {
            std::string tmp = fs_unique_name(k.substr(0, k.rfind('/') + 1) + k_temp_prefix);
            TreeCopy copy;
            if (fs_copy_tree_exact(o, tmp, copy) == 0 && fs_sync_fs(tmp) == 0 &&
                fs_rename_noreplace(tmp, k) == 0) {
                fs_remove_tree(o);
                return true;
            }
            int errnum = errno;
            fs_remove_tree(tmp);
            errno = errnum;
        }
        ui_message("Не удалось перенести %s в %s: %s", o.c_str(), k.c_str(),
                   fs_error_text(errno).c_str());
        return false;
    }

    // o kept in folder dir under a name of its own, as "<name> (из переноса <date>)".
    bool keep_beside(const std::string &o, const std::string &dir, const std::string &name,
                     const std::string &rel) {
        std::string base = name + " (из переноса " + date + ")", free_name = base;
        for (int n = 2; present(dir + "/" + free_name); n++)
            free_name = base + " " + std::to_string(n);
        if (!move_whole(o, dir + "/" + free_name)) return false;
        size_t slash = rel.rfind('/');
        beside.push_back((slash == std::string::npos ? "" : rel.substr(0, slash + 1)) + free_name);
        return true;
    }

    // Brings what o_dir/name holds into k_dir/name: what only o holds moves
    // over, folders are merged member by member (whole_members: each member
    // as one piece), a file with the same bytes is dropped, and any other
    // clash is kept beside. rel: the name from the kept folder, for messages.
    bool merge(const std::string &o_dir, const std::string &k_dir, const std::string &name,
               bool whole_members, const std::string &rel) {
        const std::string o = o_dir + "/" + name, k = k_dir + "/" + name;
        if (!present(o)) return true;
        if (empty_dir(k)) fs_rmdir(k); // one a start-up or a window made meanwhile
        if (!present(k)) return move_whole(o, k);
        if (empty_dir(o)) return fs_rmdir(o) == 0;
        if (real_dir(o) && real_dir(k)) {
            fs_remove_stale_unique(k, k_temp_prefix);
            bool ok = true;
            for (const std::string &m : dir_list(o).value_or(std::vector<std::string>{})) {
                const std::string om = o + "/" + m, km = k + "/" + m, rm = rel + "/" + m;
                if (whole_members && present(km) && !empty_dir(km) && !empty_dir(om))
                    ok = keep_beside(om, k, m, rm) && ok;
                else
                    ok = merge(o, k, m, false, rm) && ok;
            }
            if (ok) fs_rmdir(o);
            return ok;
        }
        if (fs_same_content(o, k)) return fs_delete(o) == 0;
        return keep_beside(o, k_dir, name, rel);
    }

    bool entry(const std::string &e) {
        const std::string o = other() + "/" + e, k = kept() + "/" + e;
        if (!present(o)) return true;
        // The original is still in from: what the new folder holds is its copy.
        auto original = journal.originals.find(e);
        if (present(k) && original != journal.originals.end() &&
            fs_file_id(from + "/" + e, false) == original->second) {
            fs_remove_tree(o);
            // A mount point stays, empty.
            if (!present(o) || empty_dir(o)) return true;
            ui_message("Не удалось удалить %s: %s", o.c_str(), fs_error_text(errno).c_str());
            return false;
        }
        return merge(other(), kept(), e, e == k_whole_members, e);
    }

    // Every entry settled; the records go only when nothing failed, so the
    // next run tries again.
    bool run() {
        bool ok = true;
        for (const std::string &e : journal.entries)
            ok = entry(e) && ok;
        // Copies cut short: the move's own in to, a killed run's in either.
        remove_temporaries(to);
        fs_remove_stale_unique(from, k_temp_prefix);
        fs_sync_dir(from);
        fs_sync_dir(to);
        if (ok) forget_move(from, to);
        return ok;
    }
};

std::string local_date(long long seconds) {
    time_t t = seconds > 0 ? static_cast<time_t>(seconds) : time(nullptr);
    struct tm tm {};
    char buf[32];
    if (!localtime_r(&t, &tm) || !strftime(buf, sizeof buf, "%d.%m.%Y", &tm)) return "?";
    return buf;
}

// What a settled move kept beside, for its message.
std::string beside_text(const std::vector<std::string> &names) {
    if (names.empty()) return "";
    std::string out = "; в обеих папках были одни и те же имена, перенесённое сохранено рядом: ";
    const size_t shown = std::min<size_t>(names.size(), 10);
    for (size_t i = 0; i < shown; i++)
        out += (i ? ", " : "") + names[i];
    if (names.size() > shown) out += format_alloc(" и ещё %zu", names.size() - shown);
    return out;
}

// Puts every entry of the move back into from (undoing) or into to. False
// when something could not be settled: the records stay.
bool settle(const std::string &from, const std::string &to, const Journal &journal, bool undoing,
            std::string *beside) {
    Settle s{from, to, journal, undoing, local_date(journal.started), {}};
    bool ok = s.run();
    if (beside) *beside = beside_text(s.beside);
    return ok;
}

// True when zyl.ini (or the per-user ini) names the folder to.
bool recorded_is(const Folder &to) {
    std::optional<std::string> recorded = datadir_recorded();
    return recorded && is_folder(to, *recorded);
}

// Finishes or undoes the move from -> to that the records describe (real
// paths); the caller holds the lock.
// games_held: the caller holds the games' lock of from already.
void recover_locked(const std::string &from, const std::string &to, bool games_held) {
    std::optional<Journal> journal = read_in(to);
    if (journal && !is_folder(journal->from, from)) journal.reset(); // another move's
    if (!journal) { // killed before anything moved, or the move is over
        std::optional<Folder> out = read_out(from);
        if (out && is_folder(*out, to)) fs_delete(out_path(from));
        return;
    }
    std::string beside;
    // Only a move that zyl.ini names is finished: the originals go then.
    if (journal->placed && recorded_is(folder_of(to))) {
        bool busy = false;
        std::optional<GamesLock> games;
        if (!games_held) games.emplace(from, &busy);
        if (busy) {
            ui_message("Игра из папки %s запущена — перенос в %s будет завершён после её выхода",
                       from.c_str(), to.c_str());
            return;
        }
        if (settle(from, to, *journal, false, &beside)) {
            if (games) games->data_left = true;
            ui_message("Прерванный перенос данных в %s завершён%s", to.c_str(), beside.c_str());
        }
    } else if (settle(from, to, *journal, true, &beside)) {
        ui_message("Прерванный перенос данных в %s отменён, данные остались в %s%s", to.c_str(),
                   from.c_str(), beside.c_str());
    }
}

// Entries of from with something to move: an empty folder has nothing.
std::vector<std::string> planned_entries(const std::string &from) {
    std::vector<std::string> out;
    for (const char *e : k_entries) {
        std::string src = from + "/" + e;
        if (present(src) && !empty_dir(src)) out.push_back(e);
    }
    return out;
}

// Entries the target holds already (an empty folder does not count), and an
// unfinished move into it.
std::vector<std::string> entries_in_the_way(const std::string &to,
                                            const std::vector<std::string> &planned) {
    std::vector<std::string> out;
    for (const std::string &e : planned) {
        std::string dst = to + "/" + e;
        if (present(dst) && !empty_dir(dst)) out.push_back(e);
    }
    if (present(in_path(to))) out.push_back(k_in_file);
    return out;
}

std::string joined(const std::vector<std::string> &names) {
    std::string out;
    for (const std::string &n : names)
        out += (out.empty() ? "" : ", ") + n;
    return out;
}

// One move in progress: copies staged under temporary names, then renamed.
struct Move {
    std::string from, to; // real paths
    std::string record;   // the new folder as zyl.ini will name it
    TreeCopy copy;
    std::vector<std::pair<std::string, std::string>> staged; // temporary, final
    std::string *err;

    bool fail(const std::string &text) {
        if (err) *err = text;
        return false;
    }

    bool stage_copy(const std::string &e) {
        ui_message("Копирую %s ...", e.c_str());
        std::string tmp = fs_unique_name(to + "/" + k_temp_prefix + e + "-");
        staged.emplace_back(tmp, to + "/" + e);
        if (fs_copy_tree_exact(from + "/" + e, tmp, copy) != 0)
            return fail(
                format_alloc("Ошибка копирования %s: %s", e.c_str(), fs_error_text(errno).c_str()));
        return true;
    }

    // The copies reach the disk before any is taken for whole.
    bool place_copies() {
        if (staged.empty()) return true;
        if (fs_sync_fs(to) != 0)
            return fail(format_alloc("Ошибка копирования: %s", fs_error_text(errno).c_str()));
        for (const auto &[tmp, final_path] : staged) {
            if (fs_rename_noreplace(tmp, final_path) != 0)
                return fail(format_alloc("Не удалось перенести %s: %s", final_path.c_str(),
                                         fs_error_text(errno).c_str()));
        }
        staged.clear();
        return true;
    }

    bool rename_entry(const std::string &e) {
        std::string src = from + "/" + e, dst = to + "/" + e;
        if (fs_rename_noreplace(src, dst) == 0) return true;
        // One file system mounted twice still refuses a rename between the two.
        if (errno == EXDEV) return stage_copy(e) && place_copies();
        return fail(
            format_alloc("Не удалось перенести %s: %s", e.c_str(), fs_error_text(errno).c_str()));
    }

    // Everything up to the commit; false with err set on a failure.
    bool run(Journal &journal) {
        std::optional<FileId> target = fs_file_id(to, true);
        if (!target)
            return fail(format_alloc("Не удалось открыть %s: %s", to.c_str(),
                                     fs_error_text(errno).c_str()));
        copy.after_file = [] { kill_point("copy"); };
        std::vector<std::string> renamed;
        for (const std::string &e : journal.entries) {
            auto original = journal.originals.find(e);
            if (original != journal.originals.end() && original->second.dev == target->dev)
                renamed.push_back(e);
            else if (!stage_copy(e))
                return false;
        }
        if (!place_copies()) return false;
        for (const std::string &e : renamed) {
            if (!rename_entry(e)) return false;
            kill_point("rename");
        }
        fs_sync_dir(to);
        fs_sync_dir(from);
        journal.placed = true;
        if (write_in(to, journal) != 0)
            return fail(format_alloc("Не удалось записать %s: %s", in_path(to).c_str(),
                                     fs_error_text(errno).c_str()));
        kill_point("placed");
        int errnum = 0;
        if (datadir_record(record, &errnum) != 0)
            return fail(format_alloc("Не удалось сохранить zyl.ini: %s",
                                     errnum ? fs_error_text(errnum).c_str()
                                            : "этот путь в нём не записать"));
        kill_point("record");
        return true;
    }
};

} // namespace

int datadir_move(const std::string &from_dir, const std::string &to_dir, std::string *err) {
    const std::string from = fs_real_path(from_dir), to = fs_real_path(to_dir);
    bool busy = false;
    FileLock lock = fs_lock_dir(from, false, &busy);
    if (busy) {
        if (err) *err = "Папку данных сейчас переносит другой процесс";
        return -1;
    }
    // Held until the move is over: no game starts in the folder meanwhile.
    GamesLock games(from, &busy);
    if (busy) {
        if (err) *err = k_game_running;
        return -1;
    }
    if (auto earlier = read_out(from)) {
        recover_locked(from, earlier->path, true);
        if (read_out(from)) { // its entries could not all be put back
            if (err) *err = "Не закончен прежний перенос в " + earlier->path;
            return -1;
        }
    }

    Journal journal;
    journal.from = folder_of(from);
    journal.entries = planned_entries(from);
    for (const std::string &e : journal.entries) {
        if (auto id = fs_file_id(from + "/" + e, false)) journal.originals[e] = *id;
    }
    journal.started = static_cast<long long>(time(nullptr));
    std::vector<std::string> in_the_way = entries_in_the_way(to, journal.entries);
    if (!in_the_way.empty()) {
        if (err) *err = "Перенос отменён: в новой папке уже есть " + joined(in_the_way);
        return -1;
    }
    for (const std::string &e : journal.entries) {
        if (empty_dir(to + "/" + e)) fs_rmdir(to + "/" + e);
    }
    if (write_out(from, folder_of(to)) != 0 || write_in(to, journal) != 0) {
        int errnum = errno;
        forget_move(from, to);
        if (err)
            *err = format_alloc("Не удалось начать перенос: %s", fs_error_text(errnum).c_str());
        return -1;
    }
    Move m{from, to, to_dir, {}, {}, err};
    if (!m.run(journal)) {
        // The staged copies go with the temporaries.
        settle(from, to, journal, true, nullptr);
        return -1;
    }
    settle(from, to, journal, false, nullptr);
    games.data_left = true;
    return 0;
}

bool datadir_move_recover(const std::string &dir) {
    const std::string real = fs_real_path(dir);
    std::string from, to;
    if (auto out = read_out(real)) {
        from = real;
        to = out->path;
    } else if (auto in = read_in(real)) {
        from = in->from.path;
        to = real;
    } else {
        // Unreadable records name no other folder: nothing to finish or undo.
        if (present(out_path(real))) fs_delete(out_path(real));
        if (present(in_path(real))) fs_delete(in_path(real));
        return false;
    }
    bool busy = false;
    FileLock lock = fs_lock_dir(from, false, &busy);
    if (busy) ui_message("Другой процесс переносит папку данных — жду окончания...");
    FileLock waited = busy ? fs_lock_dir(from, true, nullptr) : FileLock();
    recover_locked(from, to, false);
    return true;
}
