"""Interface benchmark: time from exec to the first frame of the window,
resident memory after start, and the main loop's responsiveness while the
log receives 5,000 lines a second for 20 s. Cairo renderer under Xvfb, with
the accessibility bus running as on a desktop.

    ZYL_BIN=build/zyl ZYL_FAKENET=build/tests/fakenet_server \\
        dbus-run-session -- /usr/bin/python3 bench/gui_bench.py [runs]
"""
import os
import re
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "gui"))
from zylgui import Session, wait_until  # noqa: E402

FIRST_FRAME = re.compile(r"first frame drawn, monotonic (\d+\.\d+) s")


def rss_kib(pid, field="VmRSS"):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def fresh_log(s):
    """Removes the last run's launcher.log so that only this run's lines are read."""
    path = os.path.join(s.data, "logs", "launcher.log")
    if os.path.exists(path):
        os.remove(path)


def startup(s):
    fresh_log(s)
    t0 = time.clock_gettime(time.CLOCK_MONOTONIC)
    app = s.start()
    m = wait_until(lambda: FIRST_FRAME.search(s.logs()), 60, "the first frame")
    first = float(m.group(1)) - t0
    time.sleep(3)  # let start-up work settle before reading memory
    rss, peak = rss_kib(app.pid), rss_kib(app.pid, "VmHWM")
    app.close()
    return first, rss, peak


def flood(s, rate=5000, seconds=20):
    fresh_log(s)
    app = s.start({"ZYL_TEST_LOG": "%dx%d" % (rate, seconds), "ZYL_GUI_PAGE": "log"})
    m = wait_until(lambda: re.search(r"test log done, longest heartbeat gap (\d+) ms, "
                                     r"refresh gap (\d+) ms", s.logs()),
                   seconds + 60, "the end of the flood")
    peak = rss_kib(app.pid, "VmHWM")
    app.close()
    return int(m.group(1)), int(m.group(2)), peak


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    with Session("bench") as s:
        startup(s)  # warm the page cache and the font cache
        results = [startup(s) for _ in range(runs)]
        firsts = [r[0] for r in results]
        print("exec to first frame: median %.3f s, worst %.3f s (%d runs)"
              % (statistics.median(firsts), max(firsts), runs))
        print("resident memory 3 s after start: median %.1f MB, peak %.1f MB"
              % (statistics.median(r[1] for r in results) / 1024,
                 max(r[2] for r in results) / 1024))
        beat, refresh, peak = flood(s)
        print("5,000 log lines/s for 20 s on the log page: longest heartbeat interval %d ms "
              "(nominal 1000, so %d ms late), longest refresh interval %d ms (nominal 120), "
              "peak memory %.1f MB" % (beat, beat - 1000, refresh, peak / 1024))


if __name__ == "__main__":
    main()
