// A hostile server against the console: names with terminal controls, a
// carriage return and a direction override in search hits, project titles,
// a pack's name and the account's profile; a file name with an escape and a
// newline; pack files on another port of this machine; a project with
// thousands of invented dependencies. Whatever it sends, nothing that steers
// a terminal reaches standard output or standard error, nothing lands on
// disk under such a name, nothing is requested from an address nobody
// configured, and the stored data keeps what the server said.
#include "base/digest.h"
#include "base/fs.h"
#include "base/json.h"
#include "base/strings.h"
#include "fakenet/e2e_env.h"
#include "fakenet/world_auth.h"
#include "fakenet/world_mojang.h"

#include <gtest/gtest.h>

namespace {

// One name with everything that steers: a window title (OSC ... BEL), a
// screen clear, a carriage return, a direction override and a C1 CSI. JSON
// escapes, as a server sends them.
const char *const k_evil_json = R"(\u001b]0;pwned\u0007Evil\u001b[2J\rMod\u202etxt\u009b31m)";
const char *const k_evil = "\033]0;pwned\aEvil\033[2J\rMod\u202etxt\u009b31m";

// What in text would steer a terminal: the first such character, or "" when
// there is none. Newline and tab are plain text.
std::string steering(const std::string &text) {
    if (!str_utf8_valid(text)) return "malformed UTF-8";
    for (char32_t c : str_code_points(text)) {
        if (c == '\n' || c == '\t') continue;
        if (c < 0x20 || (c >= 0x7f && c <= 0x9f) || (c >= 0x202a && c <= 0x202e) ||
            (c >= 0x2066 && c <= 0x2069))
            return format_alloc("U+%04X", static_cast<unsigned>(c));
    }
    return "";
}

// Both streams of a run are plain text.
void expect_plain(const ZylRun &r) {
    EXPECT_EQ(steering(r.out), "") << r.out;
    EXPECT_EQ(steering(r.err), "") << r.err;
}

// A terminal's screen is plain text apart from the progress line's own
// sequences: "\r" before a redraw and "\033[K" after it (and the terminal's
// CR LF line ends).
std::string terminal_steering(std::string screen) {
    std::string plain;
    for (size_t i = 0; i < screen.size(); i++) {
        if (screen.compare(i, 3, "\033[K") == 0) {
            i += 2;
            continue;
        }
        char next = i + 1 < screen.size() ? screen[i + 1] : '\n';
        if (screen[i] == '\r' && (next == '\n' || next == '\r' || next == '[' || next == '\033'))
            continue;
        plain += screen[i];
    }
    return steering(plain);
}

class HostileE2E : public FabricInstanceE2E {
  protected:
    std::string mods() const { return data.path + "/instances/Fab/mods"; }

    // A Modrinth project on the content service: its title (JSON text) and
    // one file for the instance, with dependencies (JSON array).
    void project(const std::string &id, const std::string &title_json,
                 const std::string &filename_json, const std::string &deps = "[]") {
        std::string bytes = world_zip({{"fabric.mod.json", "{\"id\":\"" + id + "\"}"}});
        net->serve("/cdn/hostile/" + id + ".jar", bytes);
        net->serve("/service/v1/modrinth/" + id,
                   R"({"id":")" + id + R"(","name":")" + title_json + R"(","class":6})");
        net->serve(
            "/service/v1/modrinth/" + id + "/files",
            format_alloc(R"({"files":[{"id":"v-%s","filename":"%s","url":"%s/cdn/hostile/%s.jar",)"
                         R"("sha1":"%s","mc":["1.20.1"],"loaders":["fabric"],"dependencies":%s}]})",
                         id.c_str(), filename_json.c_str(), net->base().c_str(), id.c_str(),
                         sha1_hex(bytes.data(), bytes.size()).c_str(), deps.c_str()));
    }

    std::map<std::string, std::string> env() {
        return {{"ZYL_ENDPOINTS", net->endpoints_env()},
                {"ZYL_API", ""},
                {"ZYL_JAVA", ""},
                {"ZYL_AUTH_SERVER", ""},
                {"ZYL_NO_AUTHLIB", "1"}};
    }
};

TEST_F(HostileE2E, SearchHitsAreShownNotObeyed) {
    std::string hit = format_alloc(R"({"id":"%s","slug":"%s","name":"%s","authors":["%s"],)"
                                   R"("summary":"%s","icon":"","url":"","downloads":7})",
                                   k_evil_json, k_evil_json, k_evil_json, k_evil_json, k_evil_json);
    net->serve("/service/v1/search", R"({"modrinth":[)" + hit + R"(],"curseforge":[)" + hit + "]}");
    ZylRun r = zyl({"search", "evil"});
    ASSERT_EQ(r.code, 0) << r.err;
    expect_plain(r);
    EXPECT_NE(r.out.find("␛]0;pwned␇Evil␛[2J␍Mod\ufffdtxt\ufffd31m"), std::string::npos) << r.out;
    // Each hit keeps to its two lines.
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4);

    TermRun t = run_zyl_terminal({"--data-dir", data.path, "search", "evil"}, env());
    ASSERT_EQ(t.code, 0) << t.screen;
    EXPECT_EQ(terminal_steering(t.screen), "") << t.screen;
    EXPECT_NE(t.screen.find("␛]0;pwned␇Evil"), std::string::npos) << t.screen;
}

TEST_F(HostileE2E, TitlesAndFileNamesOfProjects) {
    project("evil-title", k_evil_json, "evil-title.jar");
    ZylRun r = zyl({"add", "Fab", "modrinth:evil-title"});
    ASSERT_EQ(r.code, 0) << r.err;
    expect_plain(r);
    EXPECT_NE(r.err.find("«␛]0;pwned␇Evil"), std::string::npos) << r.err;

    // The stored title is the server's; the listing shows it.
    JsonPtr records = json_read_file(data.path + "/instances/Fab/zyl-content.json");
    EXPECT_EQ(json_str(cJSON_GetArrayItem(records.get(), 0), "title"), k_evil);
    r = zyl({"mods", "list", "--instance", "Fab"});
    ASSERT_EQ(r.code, 0) << r.err;
    expect_plain(r);
    EXPECT_NE(r.out.find("␛]0;pwned␇Evil"), std::string::npos) << r.out;

    // A file name with an escape and a newline never becomes a file.
    project("evil-file", "Evil file", R"(sod\u001b[31mium\n.jar)");
    r = zyl({"add", "Fab", "modrinth:evil-file"});
    EXPECT_EQ(r.code, 1);
    expect_plain(r);
    EXPECT_NE(r.err.find("Ошибка: У «Evil file» нет файла для скачивания\n"), std::string::npos)
        << r.err;
    EXPECT_EQ(dir_list(mods()).value_or(StrList{}), StrList{"evil-title.jar"});
}

TEST_F(HostileE2E, ThousandsOfInventedDependenciesCostAFewHundredRequests) {
    std::string deps = "[";
    for (int i = 0; i < 3000; i++)
        deps += format_alloc(R"(%s{"type":"required","id":"ghost%d"})", i ? "," : "", i);
    project("deps-root", "Deps Root", "deps-root.jar", deps + "]");
    ZylRun r = zyl({"add", "Fab", "modrinth:deps-root"});
    EXPECT_EQ(r.code, 0) << r.err.substr(0, 2000);
    expect_plain(r);
    EXPECT_EQ(net->hits_under("/service/v1/modrinth/ghost"), 300);
    EXPECT_NE(r.err.find("Зависимостей больше 300 — остальные зависимости «Deps Root» не "
                         "устанавливаю"),
              std::string::npos);
    EXPECT_LT(std::count(r.err.begin(), r.err.end(), '\n'), 1000);
    EXPECT_TRUE(fs_exists(mods() + "/deps-root.jar"));
}

// A pack's files come only from the hosts the format allows: one on another
// port of this machine and one elsewhere on the fake network are left for
// the player, the rest arrives; the pack's name is shown, not obeyed.
TEST_F(HostileE2E, ModpackNameAndFileHosts) {
    FakeNetPtr other = fakenet_start();
    other->serve("/elsewhere.jar", "x");
    std::string good = world_zip({{"a", "good"}});
    net->serve("/modrinth_cdn/data/good.jar", good);
    auto file = [](const std::string &path, const std::string &url, const std::string &sha1) {
        return format_alloc(R"({"path":"%s","env":{"client":"required"},"downloads":["%s"],)"
                            R"("hashes":{"sha1":"%s"}})",
                            path.c_str(), url.c_str(), sha1.c_str());
    };
    std::string sha1 = sha1_hex(good.data(), good.size());
    std::string index = format_alloc(
        R"({"formatVersion":1,"game":"minecraft","name":"%s",)"
        R"("dependencies":{"minecraft":"1.20.1"},"files":[%s,%s,%s,%s]})",
        k_evil_json,
        file("mods/good.jar", net->url("modrinth_cdn") + "/data/good.jar", sha1).c_str(),
        file("mods/elsewhere.jar", other->base() + "/elsewhere.jar", sha1).c_str(),
        file("mods/service.jar", net->url("service") + "/x.jar", sha1).c_str(),
        file(R"(mods/sod\u001b[31mium\n.jar)", net->url("modrinth_cdn") + "/data/good.jar", sha1)
            .c_str());
    std::string pack = data.path + "/hostile.mrpack";
    ASSERT_EQ(fs_write_atomic(pack, world_zip({{"modrinth.index.json", index}})), 0);

    ZylRun r = zyl({"modpack", pack, "--name", "Hostile"});
    ASSERT_EQ(r.code, 0) << r.err;
    expect_plain(r);
    EXPECT_EQ(other->total_hits(), 0);
    std::string inst = data.path + "/instances/Hostile";
    EXPECT_TRUE(fs_exists(inst + "/mods/good.jar"));
    EXPECT_EQ(dir_list(inst + "/mods").value_or(StrList{}), StrList{"good.jar"});
    std::string other_host = "127.0.0.1:" + std::to_string(other->port);
    EXPECT_NE(r.err.find("Пропуск mods/elsewhere.jar: файл с " + other_host), std::string::npos)
        << r.err;
    // Inside a message a newline stays a line break; it steers nothing.
    EXPECT_NE(r.err.find("Пропуск небезопасного пути mods/sod␛[31mium\n.jar"), std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("• mods/elsewhere.jar — скачайте вручную: " + other->base() +
                         "/elsewhere.jar\n  и положите файл в папку: " + inst + "/mods"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("• mods/service.jar — скачайте вручную: "), std::string::npos) << r.out;

    // Without --name the instance is named after the pack: shown, not obeyed.
    r = zyl({"modpack", pack});
    ASSERT_EQ(r.code, 0) << r.err;
    expect_plain(r);
    r = zyl({"instances"});
    expect_plain(r);
    EXPECT_NE(r.out.find("␛]0;pwned␇Evil"), std::string::npos) << r.out;
}

TEST_F(HostileE2E, AccountProfileName) {
    auth_world().hostile_name = true;
    ZylRun r = run_zyl({"--data-dir", data.path, "login", k_auth_login}, env(),
                       std::string(k_auth_password) + "\n");
    ASSERT_EQ(r.code, 0) << r.err;
    expect_plain(r);
    EXPECT_NE(r.out.find("Вошли как ␛]0;pwned␇Al␛[2J␍ex"), std::string::npos) << r.out;
    JsonPtr account = json_read_file(data.path + "/account.json");
    EXPECT_EQ(json_str(account.get(), "name"), k_auth_hostile_name);

    r = run_zyl({"--data-dir", data.path, "whoami"}, env());
    EXPECT_EQ(r.code, 0) << r.err;
    expect_plain(r);
    // The game prints the name it was given: its output is shown the same way.
    r = run_zyl({"--data-dir", data.path, "launch", "1.20.1"}, env());
    ASSERT_EQ(r.code, 0) << r.err;
    expect_plain(r);
    EXPECT_NE(r.out.find("␛]0;pwned␇Al"), std::string::npos) << r.out;
}

} // namespace
