// Fixtures of the end-to-end tests: the fake network, a data folder, and zyl
// run against both; optionally a Fabric instance "Fab" already recorded.
#pragma once

#include "config/datadir.h"
#include "fakenet/fakenet.h"
#include "fakenet/run_zyl.h"
#include "instances/instance.h"

#include <gtest/gtest.h>

class ZylE2E : public testing::Test {
  protected:
    FakeNetPtr net = fakenet_start();
    TempDir data;
    // zyl with this data folder, every endpoint on the fake network except `down`.
    ZylRun zyl(std::vector<std::string> args, const std::vector<std::string> &down = {}) {
        args.insert(args.begin(), {"--data-dir", data.path});
        return run_zyl(args, {{"ZYL_ENDPOINTS", net->endpoints_env(down)}, {"ZYL_API", ""}});
    }
};

class FabricInstanceE2E : public ZylE2E {
  protected:
    Instance inst;
    void SetUp() override {
        datapaths_set(data.path);
        inst.folder = inst.name = "Fab";
        inst.mc = "1.20.1";
        inst.loader = "Fabric";
        inst.loader_version = "0.15.11";
        inst.version_id = "fabric-loader-0.15.11-1.20.1";
        ASSERT_EQ(instance_save(inst), 0);
    }
};
