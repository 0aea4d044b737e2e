// Content-service client: the paths it asks for and what it accepts.
#include "net/service.h"

#include "fakenet/net_test_env.h"

#include <gtest/gtest.h>

namespace {

TEST(ServicePaths, EscapeEveryValue) {
    struct Case {
        std::string got, want;
    } cases[] = {
        {service_path_version("1.14 Pre-Release 1"),
         "/v1/minecraft/version/1.14%20Pre-Release%201"},
        {service_path_version("1.20.1"), "/v1/minecraft/version/1.20.1"},
        {service_path_loader_versions("Forge", "1.20.1"), "/v1/loaders/forge?mc=1.20.1"},
        {service_path_loader_build("neoforge", "1.21.1", "21.1.248"),
         "/v1/loaders/neoforge/1.21.1/21.1.248"},
        {service_path_java(21, "linux", "x64"), "/v1/java/21?os=linux&arch=x64"},
        {service_path_search("sodium & lithium", "mod", "1.20.1", "fabric", "all"),
         "/v1/search?q=sodium%20%26%20lithium&type=mod&mc=1.20.1&loader=fabric&source=all"
         "&limit=20&offset=0"},
        {service_path_search("", "resourcepack", "", "", "modrinth"),
         "/v1/search?q=&type=resourcepack&mc=&loader=&source=modrinth&limit=20&offset=0"},
        {service_path_project("modrinth", "a/b?c"), "/v1/modrinth/a%2Fb%3Fc"},
        {service_path_files("curseforge", "238222", "1.20.1", "forge"),
         "/v1/curseforge/238222/files?mc=1.20.1&loader=forge"},
        {service_path_files("modrinth", "1KVo5zza", "1.20.1"),
         "/v1/modrinth/1KVo5zza/files?mc=1.20.1"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.got, c.want);
}

struct ServiceEnv : NetTestEnv {
    ServiceEnv() {
        g_settings.api_url = url("service") + "/netcheck";
        settings_save();
    }
};

TEST(ServiceClient, VersionDocumentNeedsLibraries) {
    ServiceEnv env;
    env.net->serve("/service/netcheck/v1/minecraft/version/1.14 Pre-Release 1",
                   "{\"id\":\"1.14 Pre-Release 1\",\"libraries\":[]}");
    env.net->serve("/service/netcheck/v1/minecraft/version/broken", "{\"id\":\"broken\"}");
    JsonPtr doc;
    std::string err;
    ASSERT_EQ(service_minecraft_version("1.14 Pre-Release 1", doc, &err), 0) << err;
    EXPECT_EQ(json_str(doc.get(), "id"), "1.14 Pre-Release 1");
    JsonPtr bad;
    EXPECT_EQ(service_minecraft_version("broken", bad, &err), -1);
    EXPECT_FALSE(bad);
    EXPECT_EQ(err, "API: неполный документ версии broken");
    EXPECT_EQ(service_minecraft_version("absent", bad, &err), -1);
    EXPECT_EQ(err, "API: HTTP 404");
}

TEST(ServiceClient, CurseForgeLookupGoesInChunksOfAThousand) {
    ServiceEnv env;
    std::vector<long long> ids;
    for (long long i = 1; i <= 2345; i++)
        ids.push_back(3000000000LL + i);
    JsonPtr out;
    std::string err;
    ASSERT_EQ(service_curseforge_files(ids, out, &err), 0) << err;
    EXPECT_EQ(env.net->hits("/service/netcheck/v1/curseforge/files"), 3);
    cJSON *files = json_get(out.get(), "files");
    ASSERT_EQ(cJSON_GetArraySize(files), 2345);
    // Order is kept and large ids survive the round trip.
    EXPECT_EQ(json_num(cJSON_GetArrayItem(files, 0), "id"), 3000000001.0);
    EXPECT_EQ(json_num(cJSON_GetArrayItem(files, 2344), "id"), 3000002345.0);

    EXPECT_EQ(service_curseforge_files({}, out, &err), 0);
    EXPECT_EQ(cJSON_GetArraySize(json_get(out.get(), "files")), 0);
    EXPECT_EQ(env.net->hits("/service/netcheck/v1/curseforge/files"), 3);
}

} // namespace
