// Moving the data folder's contents, safe against a full disk and a kill at
// any moment.
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
// "zyl-move-in.json" names the old one, the entries, and whether all of them
// are in place. The next start in either folder finishes a move that was
// recorded and undoes one that was not. A lock on the old folder keeps a
// second move and any recovery out while a move runs.
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
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace {

// What moves, in this order; logs/ and anything else stay behind.
const char *const k_entries[] = {"libraries",   "assets", "versions",      "java",
                                 "instances",   "cache",  "settings.json", "launcher_profiles.json",
                                 "account.json"};

const char k_out_file[] = "zyl-move-out.json";
const char k_in_file[] = "zyl-move-in.json";
const char k_temp_prefix[] = ".zyl-move-";

struct Journal {
    std::string from;
    std::vector<std::string> entries;
    bool placed = false; // every entry is in the new folder
};

// Test-only: ZYL_TEST_MOVE_KILL=copy|rename|record ends the process with
// SIGKILL right after the first file copied, after the first entry renamed,
// or after the new location is recorded.
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
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool empty_dir(const std::string &path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    auto names = dir_list(path);
    return names && names->empty();
}

std::string out_path(const std::string &from) {
    return from + "/" + k_out_file;
}

std::string in_path(const std::string &to) {
    return to + "/" + k_in_file;
}

int write_out(const std::string &from, const std::string &to) {
    JsonPtr j(cJSON_CreateObject());
    cJSON_AddStringToObject(j.get(), "to", to.c_str());
    return json_write_file(out_path(from), j.get());
}

std::optional<std::string> read_out(const std::string &from) {
    JsonPtr j = json_read_file(out_path(from));
    auto to = json_str_opt(j.get(), "to");
    if (!to || to->empty() || (*to)[0] != '/') return std::nullopt;
    return to;
}

int write_in(const std::string &to, const Journal &journal) {
    JsonPtr j(cJSON_CreateObject());
    cJSON_AddStringToObject(j.get(), "from", journal.from.c_str());
    cJSON *list = cJSON_AddArrayToObject(j.get(), "entries");
    for (const std::string &e : journal.entries)
        cJSON_AddItemToArray(list, cJSON_CreateString(e.c_str()));
    cJSON_AddBoolToObject(j.get(), "placed", journal.placed);
    return json_write_file(in_path(to), j.get());
}

// The journal as far as it can be trusted: only known entry names.
std::optional<Journal> read_in(const std::string &to) {
    JsonPtr j = json_read_file(in_path(to));
    auto from = json_str_opt(j.get(), "from");
    if (!from || from->empty() || (*from)[0] != '/') return std::nullopt;
    Journal out;
    out.from = *from;
    const cJSON *e = nullptr;
    cJSON_ArrayForEach(e, json_get(j.get(), "entries")) {
        if (cJSON_IsString(e) && known_entry(e->valuestring)) out.entries.push_back(e->valuestring);
    }
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

// Puts every entry back into from; a copy whose original is still there is
// removed. False when an entry could not be put back: the records stay, so
// the next run tries again.
bool undo(const std::string &from, const std::string &to, const std::vector<std::string> &entries) {
    bool ok = true;
    for (const std::string &e : entries) {
        std::string src = from + "/" + e, dst = to + "/" + e;
        if (!present(dst)) continue;
        // An empty folder in from may be one that a start-up made meanwhile.
        if (present(src) && !(empty_dir(src) && !empty_dir(dst))) {
            fs_remove_tree(dst);
            continue;
        }
        if (present(src)) fs_rmdir(src);
        if (rename(dst.c_str(), src.c_str()) != 0) {
            ui_message("Не удалось вернуть %s в %s: %s", e.c_str(), from.c_str(),
                       fs_error_text(errno).c_str());
            ok = false;
        }
    }
    remove_temporaries(to);
    fs_sync_dir(from);
    if (ok) forget_move(from, to);
    return ok;
}

// After the commit: the originals of the copies go.
void finish(const std::string &from, const std::string &to,
            const std::vector<std::string> &entries) {
    for (const std::string &e : entries) {
        if (present(to + "/" + e) && present(from + "/" + e)) fs_remove_tree(from + "/" + e);
    }
    remove_temporaries(to);
    forget_move(from, to);
}

// Finishes or undoes the move from -> to that the records describe; the
// caller holds the lock.
void recover_locked(const std::string &from, const std::string &to) {
    std::optional<std::string> out = read_out(from);
    std::optional<Journal> in = read_in(to);
    if (!out || *out != to) { // a journal whose move is over
        if (in && in->from == from) fs_delete(in_path(to));
        return;
    }
    if (!in || in->from != from) { // killed before anything moved
        fs_delete(out_path(from));
        return;
    }
    if (in->placed && datadir_recorded() == to) {
        finish(from, to, in->entries);
        ui_message("Прерванный перенос данных в %s завершён", to.c_str());
    } else if (undo(from, to, in->entries)) {
        ui_message("Прерванный перенос данных в %s отменён, данные остались в %s", to.c_str(),
                   from.c_str());
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
    std::string from, to;
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
            if (rename(tmp.c_str(), final_path.c_str()) != 0)
                return fail(format_alloc("Не удалось перенести %s: %s", final_path.c_str(),
                                         fs_error_text(errno).c_str()));
        }
        staged.clear();
        return true;
    }

    bool rename_entry(const std::string &e) {
        std::string src = from + "/" + e, dst = to + "/" + e;
        if (rename(src.c_str(), dst.c_str()) == 0) return true;
        // One file system mounted twice still refuses a rename between the two.
        if (errno == EXDEV) return stage_copy(e) && place_copies();
        return fail(
            format_alloc("Не удалось перенести %s: %s", e.c_str(), fs_error_text(errno).c_str()));
    }

    // Everything up to the commit; false with err set on a failure.
    bool run(Journal &journal) {
        struct stat target;
        if (stat(to.c_str(), &target) != 0)
            return fail(format_alloc("Не удалось открыть %s: %s", to.c_str(),
                                     fs_error_text(errno).c_str()));
        copy.after_file = [] { kill_point("copy"); };
        std::vector<std::string> renamed;
        for (const std::string &e : journal.entries) {
            struct stat st;
            if (lstat((from + "/" + e).c_str(), &st) == 0 && st.st_dev == target.st_dev)
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
        int errnum = 0;
        if (datadir_record(to, &errnum) != 0)
            return fail(format_alloc("Не удалось сохранить zyl.ini: %s",
                                     errnum ? fs_error_text(errnum).c_str()
                                            : "этот путь в нём не записать"));
        kill_point("record");
        return true;
    }
};

} // namespace

int datadir_move(const std::string &from, const std::string &to, std::string *err) {
    bool busy = false;
    FileLock lock = fs_lock_dir(from, false, &busy);
    if (busy) {
        if (err) *err = "Папку данных сейчас переносит другой процесс";
        return -1;
    }
    if (auto earlier = read_out(from)) {
        recover_locked(from, *earlier);
        if (read_out(from)) { // its entries could not all be put back
            if (err) *err = "Не закончен прежний перенос в " + *earlier;
            return -1;
        }
    }

    Journal journal;
    journal.from = from;
    journal.entries = planned_entries(from);
    std::vector<std::string> in_the_way = entries_in_the_way(to, journal.entries);
    if (!in_the_way.empty()) {
        if (err) *err = "Перенос отменён: в новой папке уже есть " + joined(in_the_way);
        return -1;
    }
    for (const std::string &e : journal.entries) {
        if (empty_dir(to + "/" + e)) fs_rmdir(to + "/" + e);
    }
    if (write_out(from, to) != 0 || write_in(to, journal) != 0) {
        int errnum = errno;
        forget_move(from, to);
        if (err)
            *err = format_alloc("Не удалось начать перенос: %s", fs_error_text(errnum).c_str());
        return -1;
    }
    Move m{from, to, {}, {}, err};
    if (!m.run(journal)) {
        undo(from, to, journal.entries); // the staged copies go with the temporaries
        return -1;
    }
    finish(from, to, journal.entries);
    return 0;
}

bool datadir_move_recover(const std::string &dir) {
    std::string from, to;
    if (auto out = read_out(dir)) {
        from = dir;
        to = *out;
    } else if (auto in = read_in(dir)) {
        from = in->from;
        to = dir;
    } else {
        // Unreadable records name no other folder: nothing to finish or undo.
        if (present(out_path(dir))) fs_delete(out_path(dir));
        if (present(in_path(dir))) fs_delete(in_path(dir));
        return false;
    }
    bool busy = false;
    FileLock lock = fs_lock_dir(from, false, &busy);
    if (busy) ui_message("Другой процесс переносит папку данных — жду окончания...");
    FileLock waited = busy ? fs_lock_dir(from, true, nullptr) : FileLock();
    recover_locked(from, to);
    return true;
}
