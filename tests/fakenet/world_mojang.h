// Mojang's side of the fake network: the version manifest and version
// documents taken from the real-data corpus, trimmed to a few libraries, with
// every address rewritten to this server, plus the bytes of every file those
// documents reference (client jars, libraries, natives, logging configuration,
// asset indexes and objects). File bytes are generated in code once per
// process; the documents carry the SHA-1s and sizes of exactly those bytes.
//
// Versions (manifest order, newest first):
//   1.20.1              release   modern: "arguments" with rule-guarded and feature
//                                 entries, natives as separate libraries with os
//                                 rules, logging, javaVersion gamma/17, index "5"
//   1.14 Pre-Release 1  snapshot  an id with spaces (its URL is percent-encoded)
//   1.6.4               release   legacy: "minecraftArguments", "natives" maps, no
//                                 javaVersion, "legacy" index with "virtual": true;
//                                 twitch-platform (from 1.7.10) is adapted to take
//                                 "natives-linux-${arch}" from its repository base
//                                 with no "classifiers" (so no SHA-1 for that jar)
//   b1.7.3              old_beta  "pre-1.6" index with "map_to_resources": true
//
// Where the files live on the server (paths of world_mojang_files()):
//   /piston_meta/mc/game/version_manifest_v2.json       the manifest
//   /piston_meta/v1/packages/<sha1 of id>/<id>.json      version documents
//   /piston_meta/v1/packages/<sha1>/<index id>.json      asset indexes
//   /piston_data/v1/objects/<sha1>/client.jar            client jars
//   /piston_data/v1/objects/<sha1>/<file id>             logging configurations
//   /libraries/<maven path>                              libraries and natives jars
//   /resources/<first two of hash>/<hash>                asset objects
// The client jar is the stub game build/java/<WORLD_CLIENT_JAR>.jar when it has
// been built, else a generated jar. Library and natives jars are real (stored)
// ZIP files; natives jars hold a native library and a META-INF entry.
#pragma once

#include "fakenet/fakenet.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

// Name of the stub game program under tests/java/ used as every client jar.
inline const char *const WORLD_CLIENT_JAR = "stubgame";

// Version ids of the world in manifest order.
const std::vector<std::string> &world_mojang_ids();
// Every file the documents reference, by path on the fake server, with its bytes.
// The Mojang world serves them (FakeNet::serve); other worlds may use the bytes.
const std::map<std::string, std::string> &world_mojang_files();
// The manifest and the version document of id as served by n ("" for an unknown id).
std::string world_mojang_manifest(const FakeNet &n);
std::string world_mojang_version(const FakeNet &n, const std::string &id);
// The server path of the version document of id.
std::string world_mojang_version_path(const std::string &id);

// A ZIP archive (stored entries) of name -> bytes, for jars built in code.
std::string world_zip(const std::vector<std::pair<std::string, std::string>> &entries);
