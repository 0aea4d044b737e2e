// Data folder move benchmark: "zyl datadir <folder> --move" of an installed
// real-sized version (the real 1.20.1 document with every library, about
// 3900 asset objects, some 400 MB, and its Java runtime). Within one file
// system the move is a rename of each entry; onto another file system (a
// tmpfs this benchmark mounts, so root only) and back it is a copy, shown
// beside "cp -a" of the same tree, "cp -a" followed by "sync" (zyl flushes
// the copies to disk before it commits) and "mv" (a copy, then the removal
// of the originals, as zyl's move ends). The copy itself is timed up to the
// commit: the test hook ZYL_TEST_MOVE_KILL=record ends zyl right after it
// records the new folder, and the next start removes the originals.
//
//   build/bench/bench_move [asset objects] [runs]
#include "bench_world.h"

#include "base/fs.h"
#include "fakenet/run_zyl.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/mount.h>
#include <unistd.h>

namespace {

struct Series {
    std::vector<double> walls;
    int failures = 0;
    void add(const Usage &u) {
        walls.push_back(u.wall);
        if (u.rc != 0) failures++;
    }
    double median() const {
        std::vector<double> w = walls;
        std::sort(w.begin(), w.end());
        return w.empty() ? 0 : w[w.size() / 2];
    }
};

// Each measurement starts with nothing waiting to be written.
Usage measured(const std::vector<std::string> &args) {
    sync();
    return run_measured(args);
}

Usage cp_then_sync(const std::string &from, const std::string &to) {
    Usage u = measured({"cp", "-a", from, to});
    Usage s = run_measured({"sync"});
    u.wall += s.wall;
    return u;
}

void row(const char *name, const Series &s) {
    printf("%-36s %9.3f %9d\n", name, s.median(), s.failures);
}

} // namespace

int main(int argc, char **argv) {
    int objects = argc > 1 ? atoi(argv[1]) : 3900;
    int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 3;
    BenchServer server = bench_serve(objects, false);
    if (server.document.empty()) return 1;
    TempDir temp;
    const std::string data = temp.path + "/data";
    bench_put_document(data, server.document);
    Usage install = run_measured({ZYL_BINARY, "--data-dir", data, "install", k_bench_id});
    bench_stop(server);
    if (install.rc != 0) {
        fprintf(stderr, "zyl install failed (%d)\n", install.rc);
        return 1;
    }
    // A zyl of its own: the moves record their folder in its zyl.ini, and
    // no per-user location file wins over that.
    const std::string bin = zyl_own_copy(temp.path + "/bin");
    setenv("XDG_CONFIG_HOME", (temp.path + "/cfg").c_str(), 1);
    unsetenv("ZYL_HOME");
    auto move = [&](const std::string &from, const std::string &to) {
        return measured({bin, "--data-dir", from, "datadir", to, "--move"});
    };

    Series same;
    const std::string near = temp.path + "/near";
    for (int i = 0; i < runs; i++) {
        same.add(move(data, near));
        same.add(move(near, data));
    }

    const std::string fast = temp.path + "/tmpfs";
    fs_mkdirs(fast);
    bool mounted = mount("tmpfs", fast.c_str(), "tmpfs", 0, "size=4g") == 0;
    Series cp_out, mv_out, zyl_commit_out, zyl_finish_out, zyl_out, cp_back, cp_sync_back, zyl_back;
    for (int i = 0; mounted && i < runs; i++) {
        cp_out.add(measured({"cp", "-a", data, fast + "/cp"}));
        fs_remove_tree(fast + "/cp");
        mv_out.add(measured({"mv", "-T", data, fast + "/mv"}));
        if (measured({"mv", "-T", fast + "/mv", data}).rc != 0) {
            mv_out.failures++;
            break; // the tmpfs still goes away below
        }

        setenv("ZYL_TEST_MOVE_KILL", "record", 1);
        Usage committed = move(data, fast + "/moved");
        unsetenv("ZYL_TEST_MOVE_KILL");
        committed.rc = committed.rc == -1 ? 0 : 1; // killed by the hook, as meant
        zyl_commit_out.add(committed);
        // The next start (in the folder zyl.ini now names) removes the
        // originals of the committed move.
        zyl_finish_out.add(measured({bin, "datadir"}));
        zyl_back.add(move(fast + "/moved", data));

        zyl_out.add(move(data, fast + "/moved"));
        cp_back.add(measured({"cp", "-a", fast + "/moved", temp.path + "/cp"}));
        fs_remove_tree(temp.path + "/cp");
        cp_sync_back.add(cp_then_sync(fast + "/moved", temp.path + "/cp"));
        fs_remove_tree(temp.path + "/cp");
        zyl_back.add(move(fast + "/moved", data));
    }
    if (mounted) umount2(fast.c_str(), MNT_DETACH);

    printf("zyl datadir --move of %s (%d asset objects, installed); 2 CPUs shared\n", k_bench_id,
           objects);
    printf("%-36s %9s %9s\n", "", "median s", "failures");
    row("within one file system (rename)", same);
    if (!mounted) {
        printf("across file systems: not measured (mounting a tmpfs needs root)\n");
    } else {
        row("disk -> tmpfs: cp -a", cp_out);
        row("disk -> tmpfs: mv (copy, then rm)", mv_out);
        row("disk -> tmpfs: zyl up to the commit", zyl_commit_out);
        row("disk -> tmpfs: zyl removing the old", zyl_finish_out);
        row("disk -> tmpfs: zyl whole move", zyl_out);
        row("tmpfs -> disk: cp -a", cp_back);
        row("tmpfs -> disk: cp -a; sync", cp_sync_back);
        row("tmpfs -> disk: zyl", zyl_back);
        printf("disk -> tmpfs: zyl's copy up to the commit %.2fx of cp -a; the whole move %.2fx "
               "of mv\n",
               zyl_commit_out.median() / cp_out.median(), zyl_out.median() / mv_out.median());
        printf("tmpfs -> disk: zyl %.2fx of cp -a (%.2fx of cp -a; sync)\n",
               zyl_back.median() / cp_back.median(), zyl_back.median() / cp_sync_back.median());
    }
    printf("targets: within one file system well under 1 s; across <= 1.5x cp -a\n");
    return same.failures == 0 && zyl_out.failures == 0 && zyl_back.failures == 0 &&
                   zyl_commit_out.failures == 0 && zyl_finish_out.failures == 0 &&
                   mv_out.failures == 0
               ? 0
               : 1;
}
