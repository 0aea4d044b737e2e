// "zyl mods update" as a user runs it: a newer file replaces the installed
// one and the backup goes away; with the sources unreachable the old file and
// its record stay.
#include "base/fs.h"
#include "base/strings.h"
#include "config/datadir.h"
#include "fakenet/e2e_env.h"
#include "fakenet/fakenet.h"
#include "fakenet/world_update.h"
#include "instances/instance.h"

#include <gtest/gtest.h>

namespace {

struct UpdateCli : FabricInstanceE2E {
    std::string mods() const { return data.path + "/instances/Fab/mods"; }
};

TEST_F(UpdateCli, ReplacesTheModOrKeepsItWhenTheSourceIsUnreachable) {
    ASSERT_EQ(zyl({"add", "Fab", "modrinth:fabric-api"}).code, 0);
    const std::string old_name = "fabric-api-0.92.2+1.20.1.jar";
    const std::string new_name = "fabric-api-0.92.3+1.20.1.jar";
    world_update_offer(*net, "modrinth", "P7dR8mSH", {new_name});

    ZylRun r = zyl({"mods", "update", old_name, "--instance", "Fab"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(str_ends_with(r.err, "Обновлено: Fabric API 0.92.2+1.20.1 → 2\n")) << r.err;
    EXPECT_EQ(*dir_list(mods()), std::vector<std::string>{new_name});
    r = zyl({"mods", "list", "--instance", "Fab"});
    EXPECT_NE(r.out.find(format_alloc("  %-13s %-10s %-26s %s  (2)\n", "mods", "modrinth",
                                      "Fabric API", new_name.c_str())),
              std::string::npos)
        << r.out;

    std::string bytes = fs_read_all(mods() + "/" + new_name).value_or("");
    r = zyl({"mods", "update", new_name, "--instance", "Fab"}, {"service", "modrinth_api"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Ошибка: API "), std::string::npos) << r.err;
    EXPECT_EQ(*dir_list(mods()), std::vector<std::string>{new_name});
    EXPECT_EQ(fs_read_all(mods() + "/" + new_name).value_or(""), bytes);
    r = zyl({"mods", "list", "--instance", "Fab"});
    EXPECT_NE(r.out.find(format_alloc("  %-13s %-10s %-26s %s  (2)\n", "mods", "modrinth",
                                      "Fabric API", new_name.c_str())),
              std::string::npos)
        << r.out;
}

TEST_F(UpdateCli, UsageAndFilesWithoutASource) {
    ZylRun r = zyl({"mods", "update", "--instance", "Fab"});
    EXPECT_EQ(r.code, 2);
    ASSERT_EQ(fs_write_atomic(mods() + "/own.jar", "mine"), 0);
    r = zyl({"mods", "update", "own.jar", "--instance", "Fab"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Ошибка: «own.jar» установлен вручную — обновить нельзя\n");
    EXPECT_EQ(fs_read_all(mods() + "/own.jar").value_or(""), "mine");
}

} // namespace
