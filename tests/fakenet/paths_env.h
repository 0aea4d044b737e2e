// Test support: the data paths with one member pointed elsewhere for as long
// as the guard lives (the paths are published snapshots, never edited in
// place).
#pragma once

#include "config/datadir.h"

#include <string>

struct ScopedDataPath {
    DataPaths saved = datapaths();
    ScopedDataPath(std::string DataPaths::*member, const std::string &value) {
        DataPaths p = saved;
        p.*member = value;
        datapaths_publish(p);
    }
    ~ScopedDataPath() { datapaths_publish(saved); }
    ScopedDataPath(const ScopedDataPath &) = delete;
    ScopedDataPath &operator=(const ScopedDataPath &) = delete;
};
