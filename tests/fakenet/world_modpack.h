// Modpacks on the fake network.
//
// Modrinth: the real "128MB Pack" index from the corpus (8 Fabric mods; one of
// them with "+" in its path and "%2B" in its URL) moved to the Mojang world's
// 1.20.1, its download URLs pointing here and its SHA-1s matching the jars
// served here. Hostile shapes add a client-unsupported file and unsafe paths
// whose URLs work, so a launcher that followed them would write the file.
// The archive adds overrides/ and client-overrides/ (both with options.txt;
// client-overrides must win) and an entry that climbs out with "..".
//
// Content service (the content world owns the project routes, so the pack
// projects are put in place by world_modpack_publish; a service mounted at
// "/service/packs" answers for the pack by game version):
//   GET  /service/v1/modrinth/zyl-test-pack/files       the pack archive
//   GET  /service/packs/v1/modrinth/zyl-test-pack/files?mc=   the same for mc empty or 1.20.1,
//                                                        no files for another version
//   GET  /service[/packs]/v1/modrinth/zyl-test-pack/archive   its "proxied" copy
//   GET  /service/v1/curseforge/900001/files            a pack whose author forbids downloads
//   POST /service/v1/curseforge/files {"fileIds":[..]}  the files the world knows (below);
//        unknown ids are left out. Each request also counts under
//        "/service/v1/curseforge/files?ids=<number of ids>".
#pragma once

#include "fakenet/fakenet.h"

#include <string>
#include <utility>
#include <vector>

struct MrpackShape {
    // The "dependencies" member naming the loader; empty for a vanilla pack.
    std::string loader_key = "fabric-loader";
    std::string loader_version = "0.14.24";
    bool hostile = true;
    std::string name = "The 128MB Pack";
};

// modrinth.index.json text of a pack as served by n.
std::string world_modpack_index(const FakeNet &n, const MrpackShape &shape = {});
// The whole .mrpack archive.
std::string world_modpack_mrpack(const FakeNet &n, const MrpackShape &shape = {});
// Serves the pack projects' file lists at the service's routes.
void world_modpack_publish(FakeNet &n);
// Mod paths ("mods/...") of the index that a client must have.
std::vector<std::string> world_modpack_client_mods();

// CurseForge file ids the service resolves, and what they are:
constexpr long long k_cf_jei = 4615177;          // the real JEI file, class 6 -> mods
constexpr long long k_cf_manual = 2520544;       // no url, a manual page -> manual list
constexpr long long k_cf_resourcepack = 2600001; // class 12 "Faithful 32x.zip"
constexpr long long k_cf_classless_zip =
    2600002;                                // no class, "Sildurs-Shaders.ZIP" -> resourcepacks
constexpr long long k_cf_mod_zip = 2600003; // class 6 "legacy-mod.zip" -> mods
constexpr long long k_cf_unsafe = 2600004;  // filename "../evil.jar" -> skipped
constexpr long long k_cf_shader = 2600005;  // class 6552 "BSL.zip" -> shaderpacks
// The file name the service gives for an id ("" for an unknown one).
std::string world_modpack_cf_filename(long long id);

// A CurseForge pack: the real RLCraft pack zip of the corpus (its overrides,
// file names with spaces) with manifest.json replaced by manifest_text.
std::string world_modpack_cf_zip(const std::string &manifest_text);
// The real RLCraft manifest of that zip, parsed.
std::string world_modpack_cf_manifest();
