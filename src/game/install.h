// Game installation: makes a version playable (client jar, libraries,
// natives, logging configuration, asset index and objects, Java runtime) and,
// when a loader is asked for, hands over to the loader phase. Files already
// present and intact are not fetched again, so it doubles as verify-and-repair.
//
// Any thread may install; the job record (none: UiHooks) receives messages
// and progress, and its cancel flag stops the install. Two installs of the
// same version at once are not guarded against.
#pragma once

#include "base/job.h"
#include "base/json.h"
#include "net/verified.h"

#include <optional>
#include <string>
#include <vector>

// The id of the installed profile (the game version for vanilla, the loader
// profile otherwise), or none after a message; err (optional) then receives
// the reason: the failing step's own ("Версия %s не найдена", "Клиент и
// библиотеки: 3 файлов не скачано", "Операция отменена"...), else the
// closing "Ошибка установки Minecraft %s". The launch path passes
// TrustRecord: files the record of verified files vouches for are not read.
std::optional<std::string> install_version(const std::optional<std::string> &loader,
                                           const std::string &mc,
                                           const std::optional<std::string> &loader_version,
                                           VerifyMode verify = VerifyMode::HashAll,
                                           const Job *job = nullptr, std::string *err = nullptr);

// The asset index of a version document: the file on disk when its SHA-1
// matches the document's and it parses, otherwise downloaded again.
JsonPtr install_asset_index(const cJSON *version_doc, const Job *job = nullptr);

// One object of a virtual or map_to_resources index: its name and hash.
struct AssetLink {
    std::string name;
    std::string hash;
};
// Hard-links (or copies) every object into "<assets>/virtual/<index id>/<name>";
// existing files are left alone, unsafe names and hashes skipped.
void install_virtual_tree(const std::vector<AssetLink> &links, const std::string &index_id);
