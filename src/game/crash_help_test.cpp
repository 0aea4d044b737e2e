// Crash explanations: one fixture per rule, in the formats the loaders, the
// game and the JVM write.
#include "game/crash_help.h"

#include "base/fs.h"

#include <gtest/gtest.h>

#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

namespace {

std::string fixture(const std::string &name) {
    return fs_read_all(std::string(ZYL_TEST_CORPUS_DIR) + "/crash/" + name).value();
}

// A fixture goes where the game would have left it: crash-*.txt is a crash
// report, hs_err_pid*.log the JVM's log, anything else the game's output.
CrashInput input_of(const std::string &name) {
    CrashInput in;
    in.ram_mb = 2048;
    in.exit_code = 1;
    std::string text = fixture(name);
    if (name.rfind("crash-", 0) == 0) {
        in.report = text;
        in.report_path = "/g/crash-reports/" + name;
    } else if (name.rfind("hs_err", 0) == 0) {
        in.hs_err = text;
        in.hs_err_path = "/g/" + name;
    } else {
        in.output = "[14:00:00] [main/INFO]: Setting user: Player\n" + text;
    }
    return in;
}

struct Case {
    const char *fixture, *rule, *title, *mod, *advice_part;
};

const Case k_cases[] = {
    {"java_too_old.log", "java_too_old", "Слишком старая Java: нужна Java 21, а запущена Java 17",
     "", "«авто»"},
    {"java_too_old_legacy.log", "java_too_old_legacy", "Слишком старая Java: нужна Java 8", "",
     "net/minecraft/launchwrapper/Launch"},
    {"fabric_missing.log", "dependency_missing", "Не хватает мода sodium", "sodium",
     "Мод «Sodium Extra» требует any version мода sodium"},
    {"quilt_missing.log", "dependency_missing", "Не хватает мода fabric-api", "fabric-api",
     "Мод «appleskin»"},
    {"fabric_wrong_version.log", "dependency_wrong_version", "Не та версия мода sodium", "sodium",
     "в сборке версия 0.4.0-alpha6+build.14"},
    {"forge_missing.log", "forge_dependency_missing", "Не хватает мода cloth_config",
     "cloth_config", "Мод appleskin требует мод cloth_config (версии [11.1,))"},
    {"neoforge_version.log", "forge_dependency_version", "Не та версия мода jei", "jei",
     "версии [19.8.0,), а в сборке версия 19.5.0.33"},
    {"forge_duplicate.log", "duplicate_mods", "Мод jei установлен дважды", "jei",
     "jei-1.20.1-forge-15.2.0.27.jar, jei-1.20.1-forge-15.3.0.4.jar"},
    {"fabric_duplicate.log", "duplicate_mods_fabric", "Мод SpruceUI установлен дважды", "spruceui",
     "версии 3.2.0+1.17 и 3.3.0+1.17"},
    {"heap_reserve.log", "heap_reserve", "Java не смогла выделить игре 2 ГБ памяти", "",
     "например до 1 ГБ"},
    {"crash-2026-12-11_14.30.12-client.txt", "out_of_memory", "Игре не хватило памяти", "",
     "Игре было выделено 2 ГБ. Увеличьте «Память для игры» в настройках (или в настройках "
     "сборки), например до 4 ГБ"},
    {"mixin_apply.log", "mixin_apply", "Ошибка мода create при загрузке (Mixin)", "create", ""},
    {"mixin_apply_fabric.log", "mixin_apply", "Ошибка мода iris при загрузке (Mixin)", "iris", ""},
    {"crash-2026-12-11_14.33.40-client.txt", "mixin_injection",
     "Ошибка мода sodium при загрузке (Mixin)", "sodium", ""},
    {"mixin_config.log", "mixin_config", "Ошибка мода modernfix-common при загрузке (Mixin)",
     "modernfix-common", ""},
    {"pixel_format.log", "driver_pixel_format", "Видеодрайвер не поддерживает OpenGL", "",
     "драйвер"},
    {"glfw.log", "driver_glfw", "Видеодрайвер не поддерживает нужный OpenGL (GLFW 65542)", "",
     "драйвер"},
    {"hs_err_pid10236.log", "driver_crash", "Игра упала в видеодрайвере (atio6axx.dll)",
     "atio6axx.dll", "драйвер"},
    {"config_broken.log", "config_broken", "Повреждён файл настроек config/sodium-options.json",
     "config/sodium-options.json", "Удалите config/sodium-options.json"},
    {"crash-2026-12-11_14.55.00-client.txt", "", "Игра завершилась с ошибкой (код 1)", "",
     "Первая ошибка: java.lang.NullPointerException: Cannot invoke "
     "\"net.minecraft.class_1297.method_5667()\" because \"entity\" is null\n"
     "Отчёт: /g/crash-reports/crash-2026-12-11_14.55.00-client.txt"},
};

TEST(CrashHelp, EachRuleExplainsItsFixture) {
    std::set<std::string> covered;
    for (const Case &c : k_cases) {
        SCOPED_TRACE(c.fixture);
        CrashHelp h = crash_explain(input_of(c.fixture));
        EXPECT_EQ(h.rule, c.rule);
        EXPECT_EQ(h.title, c.title);
        EXPECT_EQ(h.mod, c.mod);
        EXPECT_NE(h.advice.find(c.advice_part), std::string::npos) << h.advice;
        covered.insert(h.rule);
    }
    // A rule without a fixture would go untested.
    for (const CrashRule &r : crash_rules())
        EXPECT_TRUE(covered.count(r.id)) << r.id;
}

TEST(CrashHelp, NothingRecognisedNamesTheExitCodeAndTheReport) {
    CrashInput in;
    in.output = "[14:00:00] [Render thread/INFO]: Stopping!\n";
    in.exit_code = -1073740791;
    in.hs_err_path = "/g/hs_err_pid1.log";
    in.hs_err = "# A fatal error has been detected by the Java Runtime Environment:\n";
    CrashHelp h = crash_explain(in);
    EXPECT_EQ(h.title, "Игра завершилась с ошибкой (код -1073740791)");
    EXPECT_EQ(h.report, "/g/hs_err_pid1.log");
    EXPECT_EQ(crash_help_text(h), "Почему игра упала: Игра завершилась с ошибкой (код "
                                  "-1073740791)\nПричина не распознана — посмотрите вывод игры в "
                                  "журнале.\nОтчёт: /g/hs_err_pid1.log\n");
}

void write_at(const std::string &path, const std::string &text, time_t when) {
    ASSERT_EQ(fs_write_atomic(path, text), 0);
    struct utimbuf t = {when, when};
    ASSERT_EQ(utime(path.c_str(), &t), 0);
}

// Reports of earlier runs stay in the folder: only this run's count.
TEST(CrashHelp, CollectTakesTheNewestReportOfThisRun) {
    char tmpl[] = "/tmp/zyl-crashhelp-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    fs_mkdirs(dir + "/crash-reports");
    time_t now = time(nullptr);
    write_at(dir + "/crash-reports/crash-old-client.txt", "old", now - 3600);
    write_at(dir + "/crash-reports/crash-new-client.txt", "new", now);
    write_at(dir + "/crash-reports/crash-newer-server.txt", "server", now - 1);
    write_at(dir + "/crash-reports/notes.txt", "notes", now + 5);
    write_at(dir + "/hs_err_pid7.log", "old hs_err", now - 3600);
    CrashInput in;
    crash_help_collect(dir, now, in);
    EXPECT_EQ(in.report_path, dir + "/crash-reports/crash-new-client.txt");
    EXPECT_EQ(in.report, "new");
    EXPECT_EQ(in.hs_err_path, "");
    crash_help_collect(dir, now + 3600, in = CrashInput{});
    EXPECT_EQ(in.report_path, "");
    fs_remove_tree(dir);
}

TEST(CrashHelp, OutputTailKeepsWholeLinesFromTheEnd) {
    std::string tail;
    std::string line(1000, 'x');
    line += '\n';
    for (int i = 0; i < 300; i++)
        crash_tail_append(tail, line.data(), line.size());
    crash_tail_append(tail, "last\n", 5);
    EXPECT_LE(tail.size(), k_crash_output_tail);
    EXPECT_EQ(tail.substr(0, 1001), line);
    EXPECT_EQ(tail.substr(tail.size() - 5), "last\n");
}

} // namespace
