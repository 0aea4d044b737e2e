// The content types the catalogue knows, with their words, folders and the
// sources' identifiers.
//
// Pure functions: any thread.
#pragma once

#include <string>

enum class ContentType {
    Mod = 0,
    ResourcePack = 1,
    Shader = 2,
    DataPack = 3,
    World = 4,
    Modpack = 5
};

// "mod", "resourcepack", "shader", "datapack", "world", "modpack"; "mod" for anything else.
const char *content_type_word(ContentType t);
// Exact words ignoring case, then the prefixes shader, res, data, world/map, modpack/pack; else
// mod.
ContentType content_type_parse(const char *word);
// Forge 1, Fabric 4, Quilt 5, NeoForge 6, anything else 0 (ignoring case).
int curseforge_loader_type(const std::string &loader);
