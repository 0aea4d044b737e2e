// Instance commands as a user runs them against the fake network.
#include "base/fs.h"
#include "base/json.h"
#include "fakenet/fakenet.h"
#include "fakenet/run_zyl.h"

#include <gtest/gtest.h>

namespace {

class InstancesE2E : public testing::Test {
  protected:
    FakeNetPtr net = fakenet_start();
    TempDir dir;
    ZylRun zyl(std::vector<std::string> args) {
        args.insert(args.begin(), {"--data-dir", dir.path});
        return run_zyl(args, {{"ZYL_ENDPOINTS", net->endpoints_env()}, {"ZYL_API", ""}});
    }
};

TEST_F(InstancesE2E, CreateListDelete) {
    ZylRun r = zyl({"instances"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Сборок нет. Создайте: zyl create \"Моя сборка\" 1.21.11 --loader fabric\n");

    r = zyl({"create", "Моя сборка"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "zyl create <имя> <mcver> [--loader L]\n");

    r = zyl({"create", "Моя сборка", "1.20.1"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Сборка создана: Моя сборка (1.20.1 Vanilla ) → " + dir.path +
                         "/instances/instance\n");
    JsonPtr j = json_read_file(dir.path + "/instances/instance/instance.json");
    ASSERT_TRUE(j);
    EXPECT_EQ(json_str(j.get(), "version_id"), "1.20.1");
    EXPECT_TRUE(fs_is_dir(dir.path + "/instances/instance/mods"));

    r = zyl({"create", "МОЯ СБОРКА", "1.20.1"}); // ASCII-only folding: a different name
    EXPECT_EQ(r.code, 0) << r.err;
    r = zyl({"create", "Моя сборка", "1.20.1"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Сборка с именем «Моя сборка» уже есть — выберите другое имя"),
              std::string::npos);
    EXPECT_NE(r.err.find("Не удалось создать сборку"), std::string::npos);
    r = zyl({"create", "Bad", "1.20.1", "--loader", "optifine"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Неизвестный загрузчик: optifine"), std::string::npos);

    r = zyl({"instances"});
    EXPECT_NE(r.out.find("Моя сборка"), std::string::npos);
    EXPECT_NE(r.out.find("[instance]"), std::string::npos);
    EXPECT_NE(r.out.find("[instance-2]"), std::string::npos);

    r = zyl({"delete", "nothing"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Сборка не найдена\n");
    r = zyl({"delete", "Моя сборка"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Удалено: Моя сборка\n");
    EXPECT_FALSE(fs_exists(dir.path + "/instances/instance"));
    EXPECT_TRUE(fs_exists(dir.path + "/instances/instance-2"));
    EXPECT_TRUE(fs_exists(dir.path + "/versions/1.20.1/1.20.1.json"));
}

} // namespace
