// Test support for the content modules: the fake network in this process and
// an instance "Pack" (1.20.1, Fabric unless told otherwise) in a fresh data folder.
#pragma once

#include "config/datadir.h"
#include "fakenet/net_test_env.h"
#include "instances/instance.h"

struct InstanceEnv {
    NetTestEnv env;
    Instance inst;
    explicit InstanceEnv(const std::vector<std::string> &down = {}, const char *loader = "Fabric")
        : env(down) {
        datapaths_set(env.tmp.path);
        inst.folder = "pack";
        inst.name = "Pack";
        inst.mc = "1.20.1";
        inst.loader = loader;
        instance_save(inst);
    }
};
