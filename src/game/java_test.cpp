// Java provisioning against the fake network: Mojang components with links
// and executable files, Temurin archives with their SHA-256, the fallback
// chain down to the system java, and the user's explicit choice.
#include "game/java.h"

#include "base/fs.h"
#include "base/json.h"
#include "base/ui.h"
#include "config/datadir.h"
#include "config/settings.h"
#include "fakenet/net_test_env.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs "<exe> -version" and returns its exit status.
int run_version(const std::string &exe) {
    std::string cmd = "'" + exe + "' -version >/dev/null 2>&1";
    int st = system(cmd.c_str());
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

const char *k_index = "/launcher_meta/v1/products/java-runtime/"
                      "2ec0cc96c44e5a76b9c8b7c39df7210883d12871/all.json";

class JavaTest : public ::testing::Test {
  protected:
    void SetUp() override {
        datapaths_set(env.tmp.path);
        unsetenv("ZYL_JAVA");
    }
    bool has_message(const std::string &m) {
        for (const std::string &s : env.messages())
            if (s == m) return true;
        return false;
    }
    JsonPtr doc(const char *text) { return json_parse(text); }

    NetTestEnv env;
    FakeNet *net = env.net.get();
};

} // namespace

TEST(JavaRequirementTest, MajorAndComponentFromTheDocument) {
    struct Case {
        const char *doc;
        int major;
        const char *component;
    } cases[] = {
        {R"({})", 8, "jre-legacy"},
        {R"({"javaVersion":{"majorVersion":17}})", 17, "java-runtime-gamma"},
        {R"({"javaVersion":{"majorVersion":21.0}})", 21, "java-runtime-delta"},
        {R"({"javaVersion":{"majorVersion":22}})", 22, ""},
        {R"({"javaVersion":{"component":"java-runtime-beta","majorVersion":17}})", 17,
         "java-runtime-beta"},
        {R"({"javaVersion":{"component":"jre-x","majorVersion":0}})", 8, "jre-x"},
        {R"({"javaVersion":{"majorVersion":"17"}})", 8, "jre-legacy"},
    };
    for (const Case &c : cases) {
        JsonPtr d = json_parse(c.doc);
        JavaRequirement r = java_requirement(d.get());
        EXPECT_EQ(r.major, c.major) << c.doc;
        EXPECT_EQ(r.component, c.component) << c.doc;
    }
}

TEST_F(JavaTest, MojangComponentGivesARunnableJavaWithItsLinks) {
    JsonPtr d = doc(R"({"javaVersion":{"component":"java-runtime-gamma","majorVersion":17}})");
    std::string folder = datapaths().java + "/java-runtime-gamma";
    EXPECT_EQ(java_for_version(d.get()), folder + "/bin/java");
    EXPECT_TRUE(has_message("Скачиваю Java 17 (java-runtime-gamma) от Mojang..."));
    EXPECT_EQ(run_version(folder + "/bin/java"), 0);

    struct stat st {};
    ASSERT_EQ(stat((folder + "/bin/keytool").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    ASSERT_EQ(stat((folder + "/COPYRIGHT").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0111, 0u);

    char buf[256];
    ssize_t n = readlink((folder + "/lib/amd64/server/libjsig.so").c_str(), buf, sizeof buf);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "../libjsig.so");
    EXPECT_EQ(fs_read_all(folder + "/lib/amd64/server/libjsig.so"),
              fs_read_all(folder + "/lib/amd64/libjsig.so"));
    EXPECT_TRUE(fs_is_dir(folder + "/man/ja"));
    struct stat lst {};
    EXPECT_NE(lstat((folder + "/bin/escape").c_str(), &lst), 0)
        << "link leaving the runtime was created";
    ASSERT_EQ(lstat((folder + "/lib/amd64/jump").c_str(), &lst), 0);
    EXPECT_TRUE(S_ISLNK(lst.st_mode));
    EXPECT_NE(lstat((folder + "/bin/flee").c_str(), &lst), 0)
        << "link escaping through another link was created";

    // Installed: the next call neither asks for the index nor downloads.
    int index_hits = net->hits(k_index);
    EXPECT_EQ(java_for_version(d.get()), folder + "/bin/java");
    EXPECT_EQ(net->hits(k_index), index_hits);
}

TEST_F(JavaTest, BrokenComponentDownloadLeavesNoJavaThatLooksInstalled) {
    // Every runtime file but bin/java fails: the runtime must not count as installed.
    net->set_fault("/launcher/v1/objects/", Fault::NotFound);
    net->set_fault("/service/v1/download", Fault::NotFound);
    EXPECT_EQ(java_mojang_component("java-runtime-delta", 21), std::nullopt);
    EXPECT_FALSE(fs_exists(datapaths().java + "/java-runtime-delta/bin/java"));
    net->clear_faults();
    EXPECT_EQ(java_mojang_component("java-runtime-delta", 21),
              datapaths().java + "/java-runtime-delta/bin/java");
    EXPECT_TRUE(fs_exists(datapaths().java + "/java-runtime-delta/bin/keytool"));
}

TEST_F(JavaTest, TemurinFromTheServiceIsCheckedAndExtracted) {
    JsonPtr d = doc(R"({"javaVersion":{"majorVersion":22}})");
    std::string exe = datapaths().java + "/temurin-22/bin/java";
    EXPECT_EQ(java_for_version(d.get()), exe);
    EXPECT_TRUE(has_message("Скачиваю Java 22 (Adoptium)..."));
    EXPECT_EQ(net->hits("/service/v1/java/22/archive"), 1);
    EXPECT_EQ(run_version(exe), 0);
    EXPECT_TRUE(fs_exists(datapaths().java + "/temurin-22/release"));
    EXPECT_EQ(fs_read_all(datapaths().java + "/temurin-22/lib/server/libjsig.so"),
              std::string("fake libjsig\n"));
    EXPECT_FALSE(fs_exists(datapaths().cache + "/temurin-22.tar.gz"));
    EXPECT_EQ(dir_list(datapaths().java)->size(), 1u) << "staging folder left behind";
}

TEST_F(JavaTest, TemurinShaMismatchLeavesNothingBehind) {
    net->set_fault("/service/v1/java/21/archive", Fault::WrongBytes);
    EXPECT_EQ(java_temurin(21), std::nullopt);
    EXPECT_TRUE(has_message("SHA256 Java не совпал"));
    EXPECT_TRUE(dir_list(datapaths().java)->empty());
    EXPECT_TRUE(dir_list(datapaths().cache)->empty());
}

TEST_F(JavaTest, TemurinDirectFromAdoptiumWhenTheServiceHasNoAnswer) {
    net->set_fault("/service/", Fault::NotFound);
    EXPECT_EQ(java_temurin(11), datapaths().java + "/temurin-11/bin/java");
    EXPECT_EQ(net->hits("/adoptium/v3/binary/latest/11/ga/linux/x64/jre/hotspot/normal/eclipse"),
              1);
    EXPECT_EQ(run_version(datapaths().java + "/temurin-11/bin/java"), 0);
}

TEST_F(JavaTest, LegacyVersionTriesEveryRouteThenTheSystemJava) {
    for (const char *p : {"/launcher_meta/", "/adoptium/", "/service/"})
        net->set_fault(p, Fault::NotFound);
    JsonPtr d = doc(R"({"id":"1.7.10"})");
    EXPECT_EQ(java_for_version(d.get()), "java");
    // Temurin 8, Mojang's jre-legacy, Temurin 8 again, then the system java.
    EXPECT_EQ(net->hits("/service/v1/java/8"), 2);
    EXPECT_GE(net->hits(k_index), 1);
    EXPECT_TRUE(has_message("Не удалось получить Java 8, пробую системную java"));
    EXPECT_TRUE(dir_list(datapaths().java)->empty());
}

TEST_F(JavaTest, UserChoiceWinsWithoutAnyDownload) {
    JsonPtr d = doc(R"({"javaVersion":{"majorVersion":17}})");
    setenv("ZYL_JAVA", "/opt/my/java", 1);
    EXPECT_EQ(java_for_version(d.get()), "/opt/my/java");
    setenv("ZYL_JAVA", "", 1);
    g_settings.java_path = "/opt/setting/java";
    settings_save();
    EXPECT_EQ(java_for_version(d.get()), "/opt/setting/java");
    // An instance's own path wins over the setting.
    EXPECT_EQ(java_for_version(d.get(), nullptr, std::string("/opt/own/java")), "/opt/own/java");
    EXPECT_TRUE(env.messages().empty());
    EXPECT_TRUE(dir_list(datapaths().java)->empty());
    // An instance's "auto" picks as if the setting were empty.
    EXPECT_EQ(java_for_version(d.get(), nullptr, std::string(k_java_auto)),
              datapaths().java + "/java-runtime-gamma/bin/java");
    g_settings.java_path.clear();
    settings_save();
    unsetenv("ZYL_JAVA");
}
