// Several zyl processes at once on one data folder, as a user with two
// terminals (or the interface and a terminal) runs them: no change may be
// lost, no instance name taken twice, no download spoilt by another
// process's part file.
#include "base/fs.h"
#include "base/json.h"
#include "fakenet/e2e_env.h"
#include "net/verified.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>

namespace {

// Runs every argument list as a zyl process of its own, all at once.
template <class Fixture>
std::vector<ZylRun> run_together(Fixture &f, const std::vector<std::vector<std::string>> &runs) {
    std::vector<ZylRun> out(runs.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < runs.size(); i++)
        threads.emplace_back([&f, &runs, &out, i] { out[i] = f.run(runs[i]); });
    for (std::thread &t : threads)
        t.join();
    return out;
}

struct ParallelE2E : ZylE2E {
    ZylRun run(const std::vector<std::string> &args) { return zyl(args); }
};

struct ParallelContentE2E : FabricInstanceE2E {
    ZylRun run(const std::vector<std::string> &args) { return zyl(args); }
};

TEST_F(ParallelE2E, ConfigChangesOfEightProcessesAreAllKept) {
    const std::vector<std::pair<std::string, std::string>> keys = {{"nick", "Parallel"},
                                                                   {"ram_gb", "9"},
                                                                   {"java_path", "/opt/j/bin/java"},
                                                                   {"jvm_args", "Dp"},
                                                                   {"width", "1111"},
                                                                   {"height", "999"},
                                                                   {"renderer", "cairo"},
                                                                   {"curseforge_api_key", "key"}};
    std::vector<std::vector<std::string>> runs;
    for (const auto &[k, v] : keys)
        runs.push_back({"config", k, v});
    for (const ZylRun &r : run_together(*this, runs))
        EXPECT_EQ(r.code, 0) << r.err;
    JsonPtr j = json_read_file(data.path + "/settings.json");
    ASSERT_TRUE(j);
    for (const auto &[k, v] : keys) {
        const cJSON *item = json_get(j.get(), k.c_str());
        std::string got =
            cJSON_IsNumber(item) ? std::to_string(item->valueint) : json_str(j.get(), k.c_str());
        EXPECT_EQ(got, v) << k;
    }
}

// Three creates of one name: one instance, the others refused as a lone
// second create is; the three installs of one version at once share no part
// file, so no download is spoilt ("SHA1 не совпал").
TEST_F(ParallelE2E, CreatesOfOneNameMakeOneInstance) {
    std::vector<ZylRun> runs = run_together(
        *this,
        {{"create", "Same", "1.20.1"}, {"create", "Same", "1.20.1"}, {"create", "Same", "1.20.1"}});
    int created = 0;
    for (const ZylRun &r : runs) {
        EXPECT_EQ(r.err.find("SHA1 не совпал"), std::string::npos) << r.err;
        if (r.code == 0) {
            created++;
        } else {
            EXPECT_EQ(r.code, 1);
            EXPECT_NE(r.err.find("Сборка с именем «Same» уже есть — выберите другое имя"),
                      std::string::npos)
                << r.err;
        }
    }
    EXPECT_EQ(created, 1);
    auto folders = dir_list(data.path + "/instances").value_or(std::vector<std::string>{});
    EXPECT_EQ(folders, std::vector<std::string>{"Same"});
}

// Waits (at most two minutes) until some process opens the file name in the
// folder watch looks at; false when `ended` becomes readable first.
bool opened_before(int watch, const std::string &name, int ended) {
    pollfd fds[2] = {{watch, POLLIN, 0}, {ended, POLLIN, 0}};
    while (poll(fds, 2, 120000) > 0 && !(fds[1].revents & POLLIN)) {
        alignas(inotify_event) char buf[4096];
        ssize_t n = read(watch, buf, sizeof buf);
        for (ssize_t at = 0; at < n;) {
            const inotify_event *e = reinterpret_cast<const inotify_event *>(buf + at);
            if (e->len > 0 && name == e->name) return true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    return false;
}

// A create whose install ends while another create holds the instances lock
// (played here by the test) waits for it, finds the name the other one wrote
// in the meantime, and is refused: without the lock it would take the name too.
TEST_F(ParallelE2E, ACreateWaitsForTheInstancesLockAndSeesTheNameTaken) {
    datapaths_set(data.path);
    FileLock held = fs_lock(data.path + "/instances");
    ASSERT_GE(held.fd, 0);
    int watch = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, data.path.c_str(), IN_OPEN), 0);
    int ended[2];
    ASSERT_EQ(pipe2(ended, O_CLOEXEC), 0);
    ZylRun r;
    std::thread create([&] {
        r = zyl({"create", "Same", "1.20.1"});
        EXPECT_EQ(write(ended[1], "x", 1), 1);
    });
    // The create has installed the version and now asks for the lock.
    bool waited = opened_before(watch, "instances.lock", ended[0]);
    Instance other;
    other.folder = other.name = "Same";
    other.mc = other.version_id = "1.20.1";
    EXPECT_EQ(instance_save(other), 0);
    { FileLock released = std::move(held); }
    create.join();
    for (int fd : {watch, ended[0], ended[1]})
        close(fd);
    EXPECT_TRUE(waited) << "the create never asked for the instances lock";
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("Сборка с именем «Same» уже есть — выберите другое имя"),
              std::string::npos)
        << r.err;
    auto folders = dir_list(data.path + "/instances").value_or(std::vector<std::string>{});
    EXPECT_EQ(folders, std::vector<std::string>{"Same"});
}

// Five installs into one instance at once: every record of the inventory stays.
TEST_F(ParallelContentE2E, InstallsIntoOneInstanceKeepEveryRecord) {
    std::vector<ZylRun> runs =
        run_together(*this, {{"add", "Fab", "modrinth:fabric-api"},
                             {"add", "Fab", "modrinth:cycle-a"},
                             {"add", "Fab", "modrinth:faithful-32x"},
                             {"add", "Fab", "modrinth:complementary-reimagined"},
                             {"add", "Fab", "curseforge:521001"}});
    for (const ZylRun &r : runs)
        EXPECT_EQ(r.code, 0) << r.err;
    JsonPtr inv = json_read_file(data.path + "/instances/Fab/zyl-content.json");
    ASSERT_TRUE(cJSON_IsArray(inv.get()));
    std::vector<std::string> projects;
    const cJSON *rec = nullptr;
    cJSON_ArrayForEach(rec, inv.get()) projects.push_back(json_str(rec, "project"));
    std::sort(projects.begin(), projects.end());
    EXPECT_EQ(projects, (std::vector<std::string>{"306612", "521001", "CycA0001", "CycB0002",
                                                  "FaiTh32x", "HVnmMxH1", "P7dR8mSH"}));
}

} // namespace

// Two installs of different versions at once: the record of verified files
// keeps the files of both, whichever saved last.
TEST_F(ParallelE2E, InstallsOfTwoVersionsKeepEachOthersVerifiedFiles) {
    for (const ZylRun &r : run_together(*this, {{"install", "1.20.1"}, {"install", "1.6.4"}}))
        ASSERT_EQ(r.code, 0) << r.err;
    VerifiedTable t = verified_read(verified_record_path(data.path + "/cache"), data.path);
    EXPECT_TRUE(t.count("versions/1.20.1/1.20.1.jar"));
    EXPECT_TRUE(t.count("versions/1.6.4/1.6.4.jar"));
}
