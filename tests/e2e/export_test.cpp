// "zyl export" as a player runs it against the fake network: an instance with
// mods from Modrinth and from elsewhere, configuration, options and a world
// becomes a .mrpack whose Modrinth files are links and the rest overrides;
// importing it gives an instance with the same files, SHA-1 for SHA-1.
#include "base/archive.h"
#include "base/digest.h"
#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"
#include "fakenet/e2e_env.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const k_sodium = "mods/sodium-fabric-mc1.20.1-0.5.3+build.16.jar";
const char *const k_fabric_api = "mods/fabric-api-0.92.2+1.20.1.jar";
const char *const k_faithful = "resourcepacks/Faithful-32x-1.20.1.zip";
const char *const k_cf_mod = "mods/sodiumdynamiclights-fabric-1.0.9-1.20.1.jar";
const char *const k_cf_dependency = "mods/fabric-api-0.92.2+1.20.1-cf.jar";

// Every regular file below dir (links and scratch files left out) with its
// SHA-1, by path.
void tree_sha1(const std::string &dir, const std::string &rel,
               std::map<std::string, std::string> &out) {
    for (const std::string &n : dir_list(dir).value_or(std::vector<std::string>{})) {
        std::string path = dir + "/" + n;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) tree_sha1(path, rel + n + "/", out);
        if (!S_ISREG(st.st_mode) || str_ends_with(n, "-1") || str_ends_with(n, ".zyl-old"))
            continue;
        std::string sha1;
        file_sha1_hex(path, sha1);
        out[rel + n] = sha1;
    }
}

// The player's files of an instance: the launcher's own records left out.
std::map<std::string, std::string> player_files(const std::string &inst) {
    std::map<std::string, std::string> all;
    tree_sha1(inst, "", all);
    for (const char *own : {"instance.json", "zyl-content.json", "instance.json.lock",
                            "zyl-content.json.lock", "launch_command.txt"})
        all.erase(own);
    return all;
}

class ExportE2E : public FabricInstanceE2E {
  protected:
    std::string dir() const { return data.path + "/instances/Fab"; }
    std::string put(const std::string &rel, const std::string &bytes) {
        std::string path = dir() + "/" + rel;
        fs_mkdirs_parent(path);
        EXPECT_EQ(fs_write_atomic(path, bytes), 0);
        return path;
    }
    // The instance a player has after a while: mods from Modrinth (with a
    // dependency) and CurseForge, a resource pack, things made by hand, a
    // world, logs, and a link pointing out of the instance.
    void SetUp() override {
        FabricInstanceE2E::SetUp();
        for (const char *ref : {"modrinth:sodium", "modrinth:faithful-32x", "curseforge:521001"})
            ASSERT_EQ(zyl({"add", "Fab", ref}).code, 0) << ref;
        put("mods/handmade.jar", "a jar of my own");
        put("config/sodium-options.json", "{\"quality\":\"fancy\"}");
        put("config/deep/nested/mod.toml", "x = 1\n");
        put("shaderpacks/MyShader.zip", "shader bytes");
        put("options.txt", "fov:0.5\nlang:ru_ru\n");
        put("saves/Мой мир/level.dat", "nbt");
        put("logs/latest.log", "[main] hello");
        // Scratch files the launcher leaves while it works are no part of a pack.
        put("mods/next.jar.part99999-1", "half a download");
        put("mods/old.jar.zyl-old", "an update's backup");
        ASSERT_EQ(symlink("/etc/hostname", (dir() + "/config/outside").c_str()), 0);
    }
    std::string extracted(const std::string &pack) {
        std::string to = data.path + "/unpacked-" + std::to_string(++unpacks);
        EXPECT_EQ(zip_extract(pack, to, 0, ""), 0);
        return to;
    }
    int unpacks = 0;
};

TEST_F(ExportE2E, RoundTripKeepsEveryFile) {
    std::string pack = data.path + "/Fab.mrpack";
    ZylRun r = zyl({"export", "Fab", pack});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Модпак: " + pack + " (с Modrinth: 3, в overrides/: 7)\n");
    EXPECT_NE(r.err.find("Ссылок пропущено: 1"), std::string::npos) << r.err;

    // The index lists what Modrinth serves, with both hashes and the size.
    std::string x = extracted(pack);
    JsonPtr index = json_read_file(x + "/modrinth.index.json");
    ASSERT_TRUE(index);
    EXPECT_EQ(json_int(index.get(), "formatVersion"), 1);
    EXPECT_EQ(json_str(index.get(), "game"), "minecraft");
    EXPECT_EQ(json_str(index.get(), "name"), "Fab");
    const cJSON *deps = json_get(index.get(), "dependencies");
    EXPECT_EQ(json_str(deps, "minecraft"), "1.20.1");
    EXPECT_EQ(json_str(deps, "fabric-loader"), "0.15.11");
    std::set<std::string> listed;
    const cJSON *f;
    cJSON_ArrayForEach(f, json_get(index.get(), "files")) {
        std::string path = json_str(f, "path");
        listed.insert(path);
        std::string sha1, sha512;
        file_sha1_hex(dir() + "/" + path, sha1);
        file_sha512_hex(dir() + "/" + path, sha512);
        EXPECT_EQ(json_str(json_get(f, "hashes"), "sha1"), sha1) << path;
        EXPECT_EQ(json_str(json_get(f, "hashes"), "sha512"), sha512) << path;
        FileStat st;
        fs_stat(dir() + "/" + path, &st);
        EXPECT_EQ(json_llong(f, "fileSize"), st.size) << path;
        const cJSON *first = cJSON_GetArrayItem(json_get(f, "downloads"), 0);
        std::string url = cJSON_IsString(first) ? first->valuestring : "";
        EXPECT_NE(url.find(net->url("modrinth_cdn") + "/data/"), std::string::npos) << url;
    }
    EXPECT_EQ(listed, (std::set<std::string>{k_sodium, k_fabric_api, k_faithful}));

    // Everything else of the chosen folders is carried; worlds, logs, the
    // launcher's records and the link are not.
    std::map<std::string, std::string> carried;
    tree_sha1(x + "/overrides", "", carried);
    std::set<std::string> names;
    for (const auto &[path, sha1] : carried)
        names.insert(path);
    EXPECT_EQ(names,
              (std::set<std::string>{k_cf_mod, k_cf_dependency, "mods/handmade.jar",
                                     "config/sodium-options.json", "config/deep/nested/mod.toml",
                                     "shaderpacks/MyShader.zip", "options.txt"}));

    // Importing it gives the same files, SHA-1 for SHA-1.
    r = zyl({"modpack", pack, "--name", "Копия"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::map<std::string, std::string> want = player_files(dir());
    for (auto it = want.begin(); it != want.end();)
        it = str_starts_with(it->first, "saves/") || str_starts_with(it->first, "logs/")
                 ? want.erase(it)
                 : std::next(it);
    EXPECT_EQ(player_files(data.path + "/instances/instance"), want);

    // Worlds and logs go along when asked for.
    std::string full = data.path + "/Full.mrpack";
    r = zyl({"export", "Fab", full, "--include", "saves,logs"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::string y = extracted(full);
    EXPECT_EQ(fs_read_all(y + "/overrides/saves/Мой мир/level.dat"), std::string("nbt"));
    EXPECT_TRUE(fs_exists(y + "/overrides/logs/latest.log"));
}

// Without an answer from Modrinth the pack still holds everything, in overrides.
TEST_F(ExportE2E, ModrinthUnreachableCarriesEverything) {
    std::string pack = data.path + "/Fab.mrpack";
    ZylRun r = zyl({"export", "Fab", pack}, {"modrinth_api"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("Modrinth не ответил ("), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "Модпак: " + pack + " (с Modrinth: 0, в overrides/: 10)\n");
    std::string x = extracted(pack);
    EXPECT_EQ(
        cJSON_GetArraySize(json_get(json_read_file(x + "/modrinth.index.json").get(), "files")), 0);
    EXPECT_TRUE(fs_exists(x + "/overrides/" + std::string(k_sodium)));
}

// Refusals leave no pack behind, and a pack already there stays as it was.
TEST_F(ExportE2E, RefusalsAndAFullDiskLeaveNoPack) {
    std::string pack = data.path + "/Fab.mrpack";
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string err;
    } cases[] = {
        {{"export", "Fab"}, 2, "zyl export <сборка> <файл.mrpack> [--include saves,logs]\n"},
        {{"export", "Нет", pack}, 1, "Сборка «Нет» не найдена (zyl instances)\n"},
        {{"export", "Fab", pack, "--include", "screenshots"},
         1,
         "Ошибка: В сборке нет «screenshots»\n"},
        {{"export", "Fab", pack, "--include", "zyl-content.json"},
         1,
         "Ошибка: Файлы лаунчера не экспортируются: zyl-content.json\n"},
        {{"export", "Fab", dir() + "/config/pack.mrpack"},
         1,
         "Ошибка: Сохраните модпак вне папки сборки: " + dir() + "/config/pack.mrpack\n"},
        {{"export", "Fab", data.path + "/no/such/folder/pack.mrpack"},
         1,
         "Ошибка: Не удалось записать " + data.path + "/no/such/folder/pack.mrpack: "},
    };
    for (const Case &c : cases) {
        ZylRun r = zyl(c.args);
        EXPECT_EQ(r.code, c.code) << c.args.back();
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_FALSE(fs_exists(pack));
    }

    // A disk that fills up while the pack is written (every file limited to 64 KB).
    ASSERT_EQ(fs_write_atomic(pack, "the old pack"), 0);
    std::mt19937 gen(7);
    std::string noise(200000, '\0');
    for (char &c : noise)
        c = static_cast<char>(gen());
    put("mods/big.jar", noise); // does not shrink when deflated
    ZylRun r = run_zyl({"--data-dir", data.path, "export", "Fab", pack},
                       {{"ZYL_ENDPOINTS", net->endpoints_env()}, {"ZYL_API", ""}}, "", 64 * 1024);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Ошибка: Не удалось записать " + pack + ": "), std::string::npos) << r.err;
    EXPECT_EQ(fs_read_all(pack), std::string("the old pack"));
    std::vector<std::string> left = dir_list(data.path).value_or(std::vector<std::string>{});
    for (const std::string &n : left)
        EXPECT_EQ(n.find("Fab.mrpack.tmp"), std::string::npos) << n;
}

} // namespace
