// Test support: same-size changes that keep a file's modification time.
#include "fakenet/file_change.h"

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

long long ns_of(const timespec &t) {
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

} // namespace

bool wait_past_change_of(const std::string &path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return false;
    // File times come from the coarse clock, which moves every few
    // milliseconds: a busy wait of at most some seconds.
    for (long i = 0; i < 50000000L; i++) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME_COARSE, &now);
        if (ns_of(now) > ns_of(st.st_ctim)) return true;
    }
    return false;
}

int change_keeping_size_and_mtime(const std::string &path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || st.st_size == 0) return -1;
    FILE *f = fopen(path.c_str(), "r+b");
    if (!f) return -1;
    int first = fgetc(f);
    bool ok = first != EOF && fseek(f, 0, SEEK_SET) == 0 && fputc(first ^ 0x5a, f) != EOF;
    if (fclose(f) != 0) ok = false;
    timespec times[2] = {st.st_atim, st.st_mtim};
    if (!ok || utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) return -1;
    return 0;
}
