// Fake-network support for installs: fills the file store with every file a
// version document references (client jar = the stub game, libraries and
// natives as real jars, logging configuration, asset index and objects) and
// rewrites the document's addresses, SHA-1s and sizes to match.
#pragma once

#include "fakenet/fakenet.h"

#include <cjson/cJSON.h>

#include <string>

struct FakeInstallShape {
    // Asset objects in the generated index: names come from the real index
    // the document names (1.12-style or legacy); more are made up when needed.
    int asset_objects = 24;
    // Size of each generated object in bytes: 0 a short text, below 0 the
    // sizes of the real index's objects in turn.
    long object_size = 0;
};

// Serves the files of doc on n and rewrites doc in place. The legacy index
// ("legacy", "pre-1.6") is marked "virtual" as Mojang's is.
void fakeinstall_version_files(FakeNet &n, cJSON *doc, const FakeInstallShape &shape = {});
