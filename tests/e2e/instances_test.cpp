// Instance commands as a user runs them against the fake network.
#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"
#include "fakenet/e2e_env.h"
#include "fakenet/fakenet.h"

#include <gtest/gtest.h>

namespace {

class InstancesE2E : public ZylE2E {};

// A header and one line per instance; the Minecraft version, loader and
// folder columns start at the same place on every line whatever the name's
// script ("Моя сборка" is 19 bytes but 10 columns).
void expect_columns_line_up(const std::string &out) {
    StrList lines = str_split(out, '\n');
    ASSERT_GE(lines.size(), 3u) << out;
    EXPECT_EQ(lines[0].rfind("Сборка ", 0), 0u) << lines[0];
    auto at = [](const std::string &line, const std::string &cell) {
        size_t byte = line.find(cell);
        return byte == std::string::npos ? std::string::npos
                                         : str_code_points(line.substr(0, byte)).size();
    };
    for (size_t i = 1; i < lines.size(); i++) {
        if (lines[i].empty()) continue;
        EXPECT_EQ(at(lines[i], "1.20.1"), at(lines[0], "Minecraft")) << lines[i];
        EXPECT_EQ(at(lines[i], "Vanilla"), at(lines[0], "Загрузчик")) << lines[i];
        EXPECT_EQ(at(lines[i], "[instance"), at(lines[0], "Папка")) << lines[i];
    }
}

TEST_F(InstancesE2E, CreateListDelete) {
    ZylRun r = zyl({"instances"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Сборок нет. Создайте: zyl create \"Моя сборка\" 1.21.11 --loader fabric\n");

    r = zyl({"create", "Моя сборка"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "zyl create <имя> <mcver> [--loader L]\n");

    r = zyl({"create", "Моя сборка", "1.20.1"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Сборка создана: Моя сборка (1.20.1 Vanilla ) → " + data.path +
                         "/instances/instance\n");
    JsonPtr j = json_read_file(data.path + "/instances/instance/instance.json");
    ASSERT_TRUE(j);
    EXPECT_EQ(json_str(j.get(), "version_id"), "1.20.1");
    EXPECT_TRUE(fs_is_dir(data.path + "/instances/instance/mods"));

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
    expect_columns_line_up(r.out);

    r = zyl({"delete", "nothing"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Сборка не найдена\n");
    r = zyl({"delete", "Моя сборка"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Удалено: Моя сборка\n");
    EXPECT_FALSE(fs_exists(data.path + "/instances/instance"));
    EXPECT_TRUE(fs_exists(data.path + "/instances/instance-2"));
    EXPECT_TRUE(fs_exists(data.path + "/versions/1.20.1/1.20.1.json"));
}

// Arguments the stub game printed ("ARG <arg>" lines).
std::vector<std::string> stub_args(const std::string &out) {
    std::vector<std::string> args;
    size_t pos = 0;
    while (pos < out.size()) {
        size_t end = out.find('\n', pos);
        if (end == std::string::npos) end = out.size();
        std::string line = out.substr(pos, end - pos);
        if (line.rfind("ARG ", 0) == 0) args.push_back(line.substr(4));
        pos = end + 1;
    }
    return args;
}

std::string arg_after(const std::vector<std::string> &args, const std::string &name) {
    for (size_t i = 0; i + 1 < args.size(); i++)
        if (args[i] == name) return args[i + 1];
    return "";
}

TEST_F(InstancesE2E, LaunchInstanceByNameOrFolder) {
    ASSERT_EQ(zyl({"create", "Моя сборка", "1.20.1"}).code, 0);
    std::string inst = data.path + "/instances/instance";
    fs_write_atomic(inst + "/instance.json",
                    R"({"name":"Моя сборка","mc":"1.20.1","loader":"Vanilla","loader_version":"",)"
                    R"("version_id":"1.20.1","created":1,"last_played":1,"ram_mb":3072})");

    ZylRun r = zyl({"launch", "--instance", "Моя сборка", "--name", "Bob"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<std::string> args = stub_args(r.out);
    EXPECT_EQ(arg_after(args, "--gameDir"), inst);
    EXPECT_EQ(arg_after(args, "--username"), "Bob");
    auto cmd = fs_read_all(inst + "/launch_command.txt");
    ASSERT_TRUE(cmd);
    EXPECT_NE(cmd->find("-Xmx3072M\n"), std::string::npos) << "the instance's own memory";
    JsonPtr j = json_read_file(inst + "/instance.json");
    EXPECT_GT(json_num(j.get(), "last_played"), 1000000000);

    // The profile was deleted: launching by folder name installs it again first.
    fs_remove_tree(data.path + "/versions/1.20.1");
    r = zyl({"launch", "--instance", "instance"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(fs_exists(data.path + "/versions/1.20.1/1.20.1.json"));

    r = zyl({"launch", "--instance", "Нет такой"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Сборка «Нет такой» не найдена (zyl instances)\n");
}

// The class path the stub game printed.
std::vector<std::string> stub_classpath(const std::string &out) {
    size_t at = out.find("CLASSPATH ");
    if (at == std::string::npos) return {};
    size_t end = out.find('\n', at);
    std::string cp = out.substr(at + 10, end - at - 10);
    std::vector<std::string> parts;
    size_t pos = 0;
    for (;;) {
        size_t colon = cp.find(':', pos);
        parts.push_back(cp.substr(pos, colon == std::string::npos ? colon : colon - pos));
        if (colon == std::string::npos) break;
        pos = colon + 1;
    }
    return parts;
}

TEST_F(InstancesE2E, FabricInstanceStartsThroughTheLoader) {
    ZylRun r = zyl(
        {"create", "Моя сборка", "1.20.1", "--loader", "fabric", "--loader-version", "0.14.22"});
    ASSERT_EQ(r.code, 0) << r.err;
    JsonPtr j = json_read_file(data.path + "/instances/instance/instance.json");
    EXPECT_EQ(json_str(j.get(), "loader"), "Fabric");
    EXPECT_EQ(json_str(j.get(), "loader_version"), "0.14.22");
    EXPECT_EQ(json_str(j.get(), "version_id"), "fabric-loader-0.14.22-1.20.1");

    r = zyl({"launch", "--instance", "Моя сборка", "--name", "Bob"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("LOADER net.fabricmc.loader.impl.launch.knot.KnotClient"),
              std::string::npos);
    // The loader's libraries come before the game's; the client jar is last.
    std::vector<std::string> cp = stub_classpath(r.out);
    ASSERT_GE(cp.size(), 3u);
    EXPECT_NE(cp.back().find("fabric-loader-0.14.22-1.20.1.jar"), std::string::npos) << cp.back();
    size_t loader_at = cp.size(), game_lib_at = cp.size();
    for (size_t i = 0; i < cp.size(); i++) {
        if (cp[i].find("/net/fabricmc/fabric-loader/") != std::string::npos &&
            loader_at == cp.size())
            loader_at = i;
        if (cp[i].find("/com/mojang/") != std::string::npos && game_lib_at == cp.size())
            game_lib_at = i;
    }
    EXPECT_LT(loader_at, game_lib_at);
    EXPECT_LT(game_lib_at, cp.size());
}

} // namespace
