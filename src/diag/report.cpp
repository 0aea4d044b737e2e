// Report pieces shared by the crash handlers and the hang watchdog. The module
// table is published by the watchdog (and start-up) into one of two fixed
// tables and switched with an atomic index, so a handler always reads a
// complete table without locking the dynamic loader.
#include "diag/report.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <link.h>
#include <strings.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <ucontext.h>
#include <unistd.h>
#include <unwind.h>

char ui_activity[160] = "start";
std::atomic<uint32_t> ui_heartbeat{0};

static char g_report_dir[2048];
static char g_flag_path[2100];
static long g_gui_tid = -1;
static long g_utc_offset = 0;

size_t utf8_fit(const char *s, size_t max) {
    size_t n = strnlen(s, max);
    // Cut inside the text: step back over continuation bytes of the next character.
    if (n == max && s[n] != '\0')
        while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
            n--;
    return n;
}

void diag_set_activity(const char *text) {
    size_t n = utf8_fit(text, sizeof ui_activity - 1);
    memcpy(ui_activity, text, n);
    ui_activity[n] = '\0';
}

void diag_set_report_dir(const std::string &dir) {
    size_t n = dir.size() < sizeof g_report_dir - 1 ? dir.size() : sizeof g_report_dir - 1;
    for (size_t i = 0; i < n; i++)
        g_report_dir[i] = dir[i] == '\\' ? '/' : dir[i];
    g_report_dir[n] = '\0';
    diag_report_path(g_flag_path, sizeof g_flag_path, "crashed.flag");
}

void diag_plant_crash_flag() {
    int fd = open(g_flag_path, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) close(fd);
}

const char *diag_report_dir() {
    return g_report_dir;
}

bool diag_report_path(char *out, size_t cap, const char *name) {
    size_t d = strlen(g_report_dir), n = strlen(name);
    if (d + 1 + n + 1 > cap) return false;
    memcpy(out, g_report_dir, d);
    out[d] = '/';
    memcpy(out + d + 1, name, n + 1);
    return true;
}

long diag_thread_id() {
    return syscall(SYS_gettid);
}
void diag_set_gui_thread() {
    g_gui_tid = diag_thread_id();
}
bool diag_on_gui_thread() {
    return diag_thread_id() == g_gui_tid;
}

// --- fixed buffer -----------------------------------------------------------

void rep_flush(RepBuf &b) {
    size_t off = 0;
    while (b.fd >= 0 && off < b.len) {
        ssize_t w = write(b.fd, b.data + off, b.len - off);
        if (w <= 0) break;
        off += static_cast<size_t>(w);
    }
    b.len = 0;
}

static void rep_bytes(RepBuf &b, const char *s, size_t n) {
    for (size_t i = 0; i < n; i++) {
        if (b.len == sizeof b.data) {
            if (b.fd < 0) return;
            rep_flush(b);
        }
        b.data[b.len++] = s[i];
    }
}

void rep_str(RepBuf &b, const char *s) {
    rep_bytes(b, s, strlen(s));
}

void rep_dec(RepBuf &b, long long v) {
    char tmp[24];
    int i = sizeof tmp;
    unsigned long long u = v < 0 ? 0ULL - static_cast<unsigned long long>(v) : v;
    do {
        tmp[--i] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u);
    if (v < 0) tmp[--i] = '-';
    rep_bytes(b, tmp + i, sizeof tmp - i);
}

void rep_hex(RepBuf &b, unsigned long long v, int min_digits) {
    char tmp[18];
    int i = sizeof tmp;
    do {
        tmp[--i] = "0123456789abcdef"[v & 15];
        v >>= 4;
        min_digits--;
    } while (v || min_digits > 0);
    rep_str(b, "0x");
    rep_bytes(b, tmp + i, sizeof tmp - i);
}

static void rep_2digits(RepBuf &b, long v) {
    char t[2] = {static_cast<char>('0' + v / 10 % 10), static_cast<char>('0' + v % 10)};
    rep_bytes(b, t, 2);
}

void diag_capture_utc_offset() {
    time_t now = time(nullptr);
    struct tm tm;
    if (localtime_r(&now, &tm)) g_utc_offset = tm.tm_gmtoff;
}

void rep_timestamp(RepBuf &b) {
    rep_time(b, static_cast<long long>(time(nullptr)) + g_utc_offset);
}

void rep_time(RepBuf &b, long long t) {
    long long days = t >= 0 ? t / 86400 : (t - 86399) / 86400;
    long secs = static_cast<long>(t - days * 86400);
    // Civil date from a day count (proleptic Gregorian calendar).
    long long z = days + 719468;
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    long day = static_cast<long>(doy - (153 * mp + 2) / 5 + 1);
    long month = static_cast<long>(mp < 10 ? mp + 3 : mp - 9);
    long long year = yoe + era * 400 + (month <= 2);
    rep_dec(b, year);
    rep_str(b, "-");
    rep_2digits(b, month);
    rep_str(b, "-");
    rep_2digits(b, day);
    rep_str(b, " ");
    rep_2digits(b, secs / 3600);
    rep_str(b, ":");
    rep_2digits(b, secs / 60 % 60);
    rep_str(b, ":");
    rep_2digits(b, secs % 60);
}

// --- module table -----------------------------------------------------------

namespace {
constexpr int k_max_modules = 512;
constexpr int k_max_ranges = 1024;

struct ModEntry {
    uintptr_t base;
    char path[256];
    const char *name; // points into path, after the last "/"
};
struct ExecRange {
    uintptr_t start, end;
    int mod;
};
struct ModTable {
    ModEntry mods[k_max_modules];
    int nmods;
    ExecRange ranges[k_max_ranges];
    int nranges;
};

ModTable g_tables[2];
std::atomic<int> g_active{-1};
char g_exe_path[256];
} // namespace

static int add_module(struct dl_phdr_info *info, size_t, void *data) {
    ModTable &t = *static_cast<ModTable *>(data);
    if (t.nmods == k_max_modules) return 0;
    ModEntry &m = t.mods[t.nmods];
    const char *path = info->dlpi_name && info->dlpi_name[0] ? info->dlpi_name : nullptr;
    if (!path) path = t.nmods == 0 ? g_exe_path : "";
    snprintf(m.path, sizeof m.path, "%s", path);
    const char *slash = strrchr(m.path, '/');
    m.name = slash ? slash + 1 : m.path;
    m.base = info->dlpi_addr;
    for (int i = 0; i < info->dlpi_phnum && t.nranges < k_max_ranges; i++) {
        const ElfW(Phdr) &ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD || !(ph.p_flags & PF_X)) continue;
        uintptr_t start = info->dlpi_addr + ph.p_vaddr;
        t.ranges[t.nranges++] = {start, start + ph.p_memsz, t.nmods};
    }
    t.nmods++;
    return 0;
}

void diag_modules_refresh() {
    if (!g_exe_path[0]) {
        ssize_t n = readlink("/proc/self/exe", g_exe_path, sizeof g_exe_path - 1);
        g_exe_path[n > 0 ? n : 0] = '\0';
    }
    int next = g_active.load() == 0 ? 1 : 0;
    ModTable &t = g_tables[next];
    t.nmods = t.nranges = 0;
    dl_iterate_phdr(add_module, &t);
    g_active.store(next);
}

static const ModTable *active_table() {
    int i = g_active.load();
    return i < 0 ? nullptr : &g_tables[i];
}

static const ModEntry *module_for(uintptr_t addr) {
    const ModTable *t = active_table();
    if (!t) return nullptr;
    for (int i = 0; i < t->nranges; i++)
        if (addr >= t->ranges[i].start && addr < t->ranges[i].end)
            return &t->mods[t->ranges[i].mod];
    return nullptr;
}

bool diag_addr_is_code(uintptr_t addr) {
    return module_for(addr) != nullptr;
}

const char *diag_module_name(uintptr_t addr) {
    const ModEntry *m = module_for(addr);
    return m ? m->name : "";
}

void rep_code_location(RepBuf &b, uintptr_t addr) {
    const ModEntry *m = module_for(addr);
    rep_str(b, "  ");
    if (m) {
        rep_str(b, m->name);
        rep_str(b, "+");
        rep_hex(b, addr - m->base);
    } else {
        rep_str(b, "+");
        rep_hex(b, addr);
    }
    rep_str(b, "\n");
}

void rep_modules(RepBuf &b) {
    rep_str(b, "modules:\n");
    const ModTable *t = active_table();
    for (int i = 0; t && i < t->nmods; i++) {
        rep_str(b, "  ");
        rep_hex(b, t->mods[i].base);
        rep_str(b, " ");
        rep_str(b, t->mods[i].path);
        rep_str(b, "\n");
    }
}

// --- stacks -----------------------------------------------------------------

namespace {
struct UnwindState {
    uintptr_t *ips;
    int n, cap;
};
} // namespace

static _Unwind_Reason_Code unwind_step(struct _Unwind_Context *ctx, void *arg) {
    UnwindState &s = *static_cast<UnwindState *>(arg);
    if (s.n == s.cap) return _URC_END_OF_STACK;
    int before = 0;
    uintptr_t ip = _Unwind_GetIPInfo(ctx, &before);
    if (ip == 0) return _URC_END_OF_STACK;
    // A return address points after the call; the signal frame's does not.
    s.ips[s.n++] = before ? ip : ip - 1;
    return _URC_NO_REASON;
}

void diag_unwinder_warm_up() {
    uintptr_t ips[4];
    UnwindState s{ips, 0, 4};
    _Unwind_Backtrace(unwind_step, &s);
}

uintptr_t diag_context_ip(void *ucontext) {
    return static_cast<uintptr_t>(static_cast<ucontext_t *>(ucontext)->uc_mcontext.gregs[REG_RIP]);
}

static uintptr_t context_sp(void *ucontext) {
    return static_cast<uintptr_t>(static_cast<ucontext_t *>(ucontext)->uc_mcontext.gregs[REG_RSP]);
}

// Reads the stack upward from sp, page by page, until an unreadable page:
// process_vm_readv on ourselves returns an error instead of faulting.
static int read_slots(uintptr_t sp, uintptr_t *out, int cap) {
    constexpr uintptr_t page = 4096;
    struct iovec local[72], remote[72];
    int niov = 0;
    uintptr_t at = sp & ~uintptr_t(7);
    size_t want = static_cast<size_t>(cap) * 8, total = 0;
    while (total < want && niov < 72) {
        size_t chunk = page - (at % page);
        if (chunk > want - total) chunk = want - total;
        local[niov] = {reinterpret_cast<char *>(out) + total, chunk};
        remote[niov] = {reinterpret_cast<void *>(at), chunk};
        niov++;
        at += chunk;
        total += chunk;
    }
    ssize_t got = syscall(SYS_process_vm_readv, getpid(), local, niov, remote, niov, 0);
    return got > 0 ? static_cast<int>(got / 8) : 0;
}

void stack_capture(void *ucontext, StackCapture &out) {
    uintptr_t raw[96];
    UnwindState s{raw, 0, 96};
    _Unwind_Backtrace(unwind_step, &s);
    // Skip the handler's own frames: the walk of interest starts at the
    // interrupted instruction.
    uintptr_t ip = diag_context_ip(ucontext);
    int first = -1;
    for (int i = 0; i < s.n && first < 0; i++)
        if (raw[i] == ip) first = i;
    out.nframes = 0;
    if (first < 0) {
        out.frames[out.nframes++] = ip;
    } else {
        for (int i = first; i < s.n && out.nframes < 48; i++)
            out.frames[out.nframes++] = raw[i];
    }
    out.nslots = read_slots(context_sp(ucontext), out.slots, 32768);
}

void rep_stack(RepBuf &b, const StackCapture &cap) {
    rep_str(b, "stack (unwind):\n");
    for (int i = 0; i < cap.nframes; i++)
        rep_code_location(b, cap.frames[i]);
    rep_str(b, "stack (scan):\n");
    int shown = 0;
    for (int i = 0; i < cap.nslots && shown < 40; i++) {
        if (!diag_addr_is_code(cap.slots[i])) continue;
        rep_code_location(b, cap.slots[i]);
        shown++;
    }
}

// --- graphics drivers -------------------------------------------------------

static const char *const k_graphics_prefixes[] = {
    "nvogl",
    "nvwgf",
    "nvd3d",
    "atio",
    "atig",
    "amdvlk",
    "amdxx",
    "ig9icd",
    "igxel",
    "igc",
    "igd",
    "opengl32",
    "dxgi",
    "d3d1",
    "dcomp",
    "vulkan",
    "libepoxy",
    // Linux drivers and the GL/Vulkan loaders in front of them. libGL is
    // spelled out per library so that libglib does not count as a driver.
    "libnvidia",
    "libGLX",
    "libEGL",
    "libGL.",
    "libGLdispatch",
    "libGLES",
    "libvulkan",
    "radeonsi",
    "iris",
    "nouveau",
    "swrast",
    "libgallium",
    "libdrm",
};

bool diag_is_graphics_module(const char *file_name) {
    for (const char *p : k_graphics_prefixes)
        if (strncasecmp(file_name, p, strlen(p)) == 0) return true;
    return false;
}
