// authlib-injector download: a present jar is used as it is; a download is
// installed only after its checksum matched, and never leaves a part file.
#include "account/authlib_injector.h"

#include "account/account_test_env.h"
#include "base/fs.h"

#include <gtest/gtest.h>

namespace {

const char *k_meta = "/authlib_injector/artifact/latest.json";

TEST(AuthlibInjector, PresentJarMakesNoRequest) {
    AccountTestEnv env;
    ASSERT_EQ(fs_write_atomic(authlib_injector_path(), std::string("old agent")), 0);
    std::optional<std::string> jar = authlib_injector_ensure();
    ASSERT_TRUE(jar);
    EXPECT_EQ(*jar, env.tmp.path + "/authlib-injector.jar");
    EXPECT_EQ(*fs_read_all(*jar), "old agent");
    EXPECT_EQ(env.net->hits(k_meta), 0);
}

TEST(AuthlibInjector, InstallsOnlyVerifiedDownloads) {
    struct Case {
        const char *what;
        std::atomic<bool> AuthWorld::*flag;
        Fault meta_fault;
        bool stale_part; // an interrupted earlier run left "<jar>.part"
        bool installed;
        bool checksum_message;
    } cases[] = {
        {"checksum matches", nullptr, Fault::None, false, true, false},
        {"no checksums", &AuthWorld::jar_no_checksums, Fault::None, false, true, false},
        {"no checksums, stale part", &AuthWorld::jar_no_checksums, Fault::None, true, true, false},
        {"checksum mismatch", &AuthWorld::jar_wrong_checksum, Fault::None, false, false, true},
        {"metadata missing", nullptr, Fault::NotFound, false, false, false},
        {"metadata not JSON", nullptr, Fault::WrongBytes, false, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        AccountTestEnv env;
        if (c.flag) (auth_world().*c.flag) = true;
        env.net->set_fault(k_meta, c.meta_fault);
        std::string jar = authlib_injector_path(), part = jar + ".part";
        if (c.stale_part) {
            ASSERT_EQ(fs_write_atomic(part, std::string("half a jar")), 0);
        }

        std::optional<std::string> got = authlib_injector_ensure();
        EXPECT_EQ(got.has_value(), c.installed);
        if (c.installed) {
            EXPECT_EQ(*got, jar);
            EXPECT_EQ(fs_read_all(jar), auth_world_jar());
            EXPECT_EQ(
                env.count_messages("Скачиваю authlib-injector 1.2.7 (скины и вход на серверы)"), 1);
        } else {
            EXPECT_FALSE(fs_exists(jar));
            EXPECT_EQ(env.count_messages(
                          "Не удалось скачать authlib-injector: скины могут не отображаться"),
                      1);
        }
        EXPECT_FALSE(fs_exists(part));
        EXPECT_EQ(env.count_messages("authlib-injector: контрольная сумма не совпала"),
                  c.checksum_message ? 1 : 0);
        std::vector<std::string> names =
            dir_list(env.tmp.path).value_or(std::vector<std::string>{});
        for (const std::string &name : names)
            EXPECT_EQ(name.find(".part"), std::string::npos) << name;
    }
}

// The agent the fake host serves is what launch tests put on the game's
// command line: it has to load in a real JVM.
TEST(AuthlibInjector, DownloadedAgentLoadsInJava) {
    AccountTestEnv env;
    std::optional<std::string> jar = authlib_injector_ensure();
    ASSERT_TRUE(jar);
    std::string cmd =
        "java -javaagent:'" + *jar + "'=http://auth.test -cp '" + *jar + "' zyltest.AuthAgent 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_TRUE(p);
    std::string out;
    char buf[512];
    while (fgets(buf, sizeof buf, p))
        out += buf;
    EXPECT_EQ(pclose(p), 0) << out;
    EXPECT_EQ(out, "AUTHLIB http://auth.test\nAGENT http://auth.test\n");
}

} // namespace
