"""Driver for the interface tests: the real zyl in a private X display and
accessibility bus, driven through the accessibility tree as a person (or a
screen reader) would use it.

Run a test file inside its own D-Bus session:
    dbus-run-session -- /usr/bin/python3 tests/gui/test_shell.py
with ZYL_BIN (the zyl executable), ZYL_FAKENET (build/tests/fakenet_server)
and optionally ZYL_ARTIFACTS (where window pictures go) in the environment.

    with Session("name") as s:
        app = s.start()                     # zyl with its own data folder
        app.click("push button", "Журнал")  # find by role and name, activate
        assert app.crumb() == "Журнал"      # the top bar's page title
        app.screenshot("journal")           # PNG of the window
        assert app.close() == 0             # as if the user closed the window

Every wait is bounded; nothing sleeps for a fixed time to let something happen.
"""
import atexit
import ctypes
import os
import select
import shutil
import socket
import struct
import subprocess
import tempfile
import time
import urllib.parse
import urllib.request
import warnings
import zlib

DEFAULT_TIMEOUT = 60  # generous: the CI machine has two loaded cores


def wait_until(predicate, timeout, what):
    """Polls predicate until it returns something true; fails after timeout s."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %ss waiting for %s" % (timeout, what))
        time.sleep(0.1)


def read_line(fd, timeout, what):
    """One line from a file descriptor, within timeout seconds."""
    data = b""
    deadline = time.monotonic() + timeout
    while not data.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            raise AssertionError("no %s within %ss" % (what, timeout))
        chunk = os.read(fd, 4096)
        if not chunk:
            raise AssertionError("%s: stream closed" % what)
        data += chunk
    return data.decode().strip()


# --- X11 through libX11 (closing the window, pictures of it) ----------------

class _XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                ("height", ctypes.c_int), ("border_width", ctypes.c_int), ("depth", ctypes.c_int),
                ("visual", ctypes.c_void_p), ("root", ctypes.c_ulong), ("klass", ctypes.c_int),
                ("bit_gravity", ctypes.c_int), ("win_gravity", ctypes.c_int),
                ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
                ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
                ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int),
                ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int)]


class _XClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 16)]


class _XErrorEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("display", ctypes.c_void_p),
                ("resourceid", ctypes.c_ulong), ("serial", ctypes.c_ulong),
                ("error_code", ctypes.c_ubyte), ("request_code", ctypes.c_ubyte),
                ("minor_code", ctypes.c_ubyte)]


_XErrorHandler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.POINTER(_XErrorEvent))
_BAD_WINDOW, _BAD_DRAWABLE = 3, 9


class X11:
    def __init__(self, display):
        x = ctypes.CDLL("libX11.so.6")
        # A window can close between listing the top-level windows and reading
        # one of them (a dialog going away). Xlib's default handler would end
        # the driver on that error; here the call just finds nothing (no
        # property, a zero-sized unmapped window, no image). Other errors still
        # go to the default handler.
        x.XSetErrorHandler.restype = _XErrorHandler
        x.XSetErrorHandler.argtypes = [_XErrorHandler]

        def on_error(dpy, event):
            if event.contents.error_code in (_BAD_WINDOW, _BAD_DRAWABLE):
                return 0
            return self._default_on_error(dpy, event)
        self._on_error = _XErrorHandler(on_error)  # kept alive while Xlib holds it
        self._default_on_error = x.XSetErrorHandler(self._on_error)
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XInternAtom.restype = ctypes.c_ulong
        x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_void_p] * 4
        x.XGetWindowProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                         ctypes.c_long, ctypes.c_long, ctypes.c_int,
                                         ctypes.c_ulong] + [ctypes.c_void_p] * 5
        x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p]
        x.XGetImage.restype = ctypes.POINTER(_XImage)
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                 ctypes.c_void_p]
        x.XFlush.argtypes = [ctypes.c_void_p]
        x.XKeysymToKeycode.restype = ctypes.c_ubyte
        x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        xtst = ctypes.CDLL("libXtst.so.6")
        xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                              ctypes.c_int, ctypes.c_ulong]
        xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                              ctypes.c_ulong]
        xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                           ctypes.c_ulong]
        self.xtst = xtst
        x.XFree.argtypes = [ctypes.c_void_p]
        self.x = x
        self.dpy = x.XOpenDisplay(display.encode())
        if not self.dpy:
            raise AssertionError("cannot open display " + display)
        self.root = x.XDefaultRootWindow(self.dpy)

    def atom(self, name):
        return self.x.XInternAtom(self.dpy, name.encode(), 0)

    def _pid_of(self, win):
        kind, fmt = ctypes.c_ulong(), ctypes.c_int()
        count, after, prop = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_void_p()
        self.x.XGetWindowProperty(self.dpy, win, self.atom("_NET_WM_PID"), 0, 1, 0, 6,
                                  ctypes.byref(kind), ctypes.byref(fmt), ctypes.byref(count),
                                  ctypes.byref(after), ctypes.byref(prop))
        pid = None
        if prop.value and count.value == 1:
            pid = ctypes.cast(prop, ctypes.POINTER(ctypes.c_ulong))[0]
        if prop.value:
            self.x.XFree(prop)
        return pid

    def attributes(self, win):
        attr = _XWindowAttributes()
        self.x.XGetWindowAttributes(self.dpy, win, ctypes.byref(attr))
        return attr

    def window_of(self, pid):
        """The largest viewable top-level window of a process, or None."""
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, n = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        self.x.XQueryTree(self.dpy, self.root, ctypes.byref(root), ctypes.byref(parent),
                          ctypes.byref(children), ctypes.byref(n))
        best, area = None, 0
        for i in range(n.value):
            win = children[i]
            if self._pid_of(win) != pid:
                continue
            a = self.attributes(win)
            if a.map_state == 2 and a.width * a.height > area:
                best, area = win, a.width * a.height
        if children:
            self.x.XFree(children)
        return best

    def click_at(self, x, y):
        """A real left click at screen coordinates (XTest)."""
        self.xtst.XTestFakeMotionEvent(self.dpy, -1, x, y, 0)
        self.xtst.XTestFakeButtonEvent(self.dpy, 1, 1, 0)
        self.xtst.XTestFakeButtonEvent(self.dpy, 1, 0, 0)
        self.x.XFlush(self.dpy)

    def key(self, *keysyms):
        """Real key presses (XTest) for the focused window: the keys go down in
        order and come up in reverse, so key(0xFFE3, ord("l")) is Ctrl+L."""
        codes = [self.x.XKeysymToKeycode(self.dpy, k) for k in keysyms]
        for code in codes:
            self.xtst.XTestFakeKeyEvent(self.dpy, code, 1, 0)
        for code in reversed(codes):
            self.xtst.XTestFakeKeyEvent(self.dpy, code, 0, 0)
        self.x.XFlush(self.dpy)

    def close(self, win):
        """What a window manager sends when the user closes a window."""
        ev = _XClientMessage()
        ev.type = 33  # ClientMessage
        ev.window = win
        ev.message_type = self.atom("WM_PROTOCOLS")
        ev.format = 32
        ev.data[0] = self.atom("WM_DELETE_WINDOW")
        self.x.XSendEvent(self.dpy, win, 0, 0, ctypes.byref(ev))
        self.x.XFlush(self.dpy)

    def pixel(self, x, y):
        """The (r, g, b) shown at screen coordinates."""
        img = self.x.XGetImage(self.dpy, self.root, x, y, 1, 1, 0xFFFFFFFF, 2)
        if not img:
            raise AssertionError("XGetImage failed at %d,%d" % (x, y))
        b, g, r = ctypes.string_at(img.contents.data, 3)
        self.x.XFree(ctypes.c_void_p(img.contents.data))
        self.x.XFree(ctypes.cast(img, ctypes.c_void_p))
        return r, g, b

    def picture(self, win, path, size=None):
        """Saves the window's pixels (the top-left width x height of them,
        with size) as a PNG."""
        a = self.attributes(win)
        w, h = size or (a.width, a.height)
        img = self.x.XGetImage(self.dpy, win, 0, 0, w, h, 0xFFFFFFFF, 2)
        if not img:
            raise AssertionError("XGetImage failed")
        im = img.contents
        raw = ctypes.string_at(im.data, im.bytes_per_line * im.height)
        w, h = im.width, im.height
        rows = bytearray()
        for y in range(h):
            line = raw[y * im.bytes_per_line: y * im.bytes_per_line + w * 4]
            rgb = bytearray(w * 3)
            rgb[0::3], rgb[1::3], rgb[2::3] = line[2::4], line[1::4], line[0::4]
            rows += b"\x00" + rgb
        self.x.XFree(ctypes.c_void_p(im.data))
        self.x.XFree(ctypes.cast(img, ctypes.c_void_p))

        def chunk(kind, body):
            return (struct.pack(">I", len(body)) + kind + body +
                    struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
        png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
               + chunk(b"IDAT", zlib.compress(bytes(rows), 6)) + chunk(b"IEND", b""))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(png)
        return w, h


# --- the display and accessibility bus, one per test process -----------------

class _Desktop:
    """Xvfb and the accessibility bus. pyatspi binds to the first bus it sees,
    so they are started once per process and shared by its sessions."""

    def __init__(self):
        if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
            raise AssertionError("run inside dbus-run-session")
        self.procs = []
        r, w = os.pipe()
        self.procs.append(subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", "1400x900x24", "-nolisten", "tcp"],
            pass_fds=[w], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL))
        os.close(w)
        os.environ["DISPLAY"] = ":" + read_line(r, 30, "X display number")
        os.close(r)
        self.x11 = X11(os.environ["DISPLAY"])
        self.procs.append(subprocess.Popen(
            ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        warnings.filterwarnings("ignore", category=DeprecationWarning)
        warnings.filterwarnings("ignore", category=ImportWarning)
        import pyatspi  # needs the session bus and the display set above
        self.atspi = pyatspi
        atexit.register(self.stop)

    def stop(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                p.wait()


_desktop = None


def desktop():
    global _desktop
    if _desktop is None:
        _desktop = _Desktop()
    return _desktop


# --- the session: a data folder and a fake network ---------------------------

class Session:
    """A fake network and a fresh data folder for one test."""

    def __init__(self, name):
        self.name = name
        self.zyl = os.environ["ZYL_BIN"]
        self.fakenet_bin = os.environ["ZYL_FAKENET"]
        self.tmp = tempfile.mkdtemp(prefix="zylgui-")
        self.artifacts = os.environ.get("ZYL_ARTIFACTS") or os.path.join(self.tmp, "artifacts")
        self.data = os.path.join(self.tmp, "data")
        self.procs = []
        self.endpoints = ""

    def __enter__(self):
        d = desktop()
        self.x11, self.atspi = d.x11, d.atspi
        self._start_fakenet()
        return self

    def __exit__(self, *exc):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        shutil.rmtree(self.tmp, ignore_errors=True)
        return False

    def _spawn(self, argv, **kw):
        p = subprocess.Popen(argv, stdin=subprocess.DEVNULL, **kw)
        self.procs.append(p)
        return p

    def _start_fakenet(self):
        p = self._spawn([self.fakenet_bin], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        line = read_line(p.stdout.fileno(), 30, "fake network address")
        p.stdout.close()
        if not line.startswith("ZYL_ENDPOINTS="):
            raise AssertionError("fake network said: " + line)
        self.endpoints = line[len("ZYL_ENDPOINTS="):]

    def env(self, extra=None, unset=()):
        env = dict(os.environ)
        home = os.path.join(self.tmp, "home")
        # No animations: a page that is still fading in when a test clicks it
        # (on a loaded machine) would not take the click.
        gtk = os.path.join(home, ".config", "gtk-4.0")
        os.makedirs(gtk, exist_ok=True)
        with open(os.path.join(gtk, "settings.ini"), "w") as f:
            f.write("[Settings]\ngtk-enable-animations=false\n")
        env.update({"HOME": home, "XDG_CONFIG_HOME": os.path.join(home, ".config"),
                    "XDG_DATA_HOME": os.path.join(home, ".local/share"),
                    "XDG_CACHE_HOME": os.path.join(home, ".cache"),
                    "GSK_RENDERER": "cairo", "GSETTINGS_BACKEND": "memory",
                    "ZYL_ENDPOINTS": self.endpoints, "ZYL_API": ""})
        for k in ("NO_AT_BRIDGE", "GTK_A11Y", "ZYL_HOME"):
            env.pop(k, None)
        env.update(extra or {})
        for k in unset:
            env.pop(k, None)
        return env

    def start(self, extra_env=None, unset=(), own_binary=False):
        """Starts zyl (no command) with this session's data folder. With
        own_binary it runs from a folder of the session, so that a data-folder
        change records the new place (zyl.ini beside the program) there."""
        console = open(os.path.join(self.tmp, "console-%d.txt" % len(self.procs)), "wb")
        zyl = self.zyl
        if own_binary:
            zyl = os.path.join(self.tmp, "bin", "zyl")
            if not os.path.exists(zyl):
                os.makedirs(os.path.dirname(zyl))
                try:
                    os.link(self.zyl, zyl)
                except OSError:
                    shutil.copy2(self.zyl, zyl)
        p = self._spawn([zyl, "--data-dir", self.data], env=self.env(extra_env, unset),
                        stdout=subprocess.DEVNULL, stderr=console)
        console.close()
        return App(self, p)

    def fakenet(self, route, **params):
        """A control request to the fake network (/fakenet/<route>); its answer."""
        url = "%s/fakenet/%s?%s" % (self.base(), route, urllib.parse.urlencode(params))
        with urllib.request.urlopen(url, timeout=30) as r:
            return r.read().decode().strip()

    def base(self):
        """The fake network's own address (http://127.0.0.1:<port>)."""
        return self.endpoints.split(",")[0].split("=", 1)[1].rsplit("/", 1)[0]

    def endpoints_unreachable(self, *names):
        """A ZYL_ENDPOINTS value with the named endpoints on a port where
        nothing listens (for example "service": the content service is down)."""
        sock = socket.socket()
        sock.bind(("127.0.0.1", 0))
        closed = "http://127.0.0.1:%d" % sock.getsockname()[1]
        sock.close()
        out = []
        for entry in self.endpoints.split(","):
            name = entry.split("=", 1)[0]
            out.append("%s=%s/%s" % (name, closed, name) if name in names else entry)
        return ",".join(out)

    def hits(self, path):
        """Requests the fake network has seen under path."""
        return int(self.fakenet("hits", path=path))

    def offer(self, source, project, filename):
        """Makes the content service offer a newer file of a project."""
        self.fakenet("offer", source=source, project=project, filename=filename)

    def fault(self, path, kind):
        """Sets a fault on every request whose path begins with path
        ("hold" keeps them waiting until the fault changes)."""
        self.fakenet("fault", path=path, kind=kind)

    def waiting(self, path):
        """Requests under path that a "hold" keeps waiting now."""
        return int(self.fakenet("waiting", path=path))

    def file(self, relative):
        """A file of the data folder as text ("" when it does not exist)."""
        path = os.path.join(self.data, relative)
        if not os.path.exists(path):
            return ""
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def logs(self, name="launcher.log"):
        path = os.path.join(self.data, "logs", name)
        if not os.path.exists(path):
            return ""
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def applications(self):
        desktop = self.atspi.Registry.getDesktop(0)
        return [desktop.getChildAtIndex(i) for i in range(desktop.childCount)]


# --- one running zyl ---------------------------------------------------------

def _children(acc):
    try:
        return [acc.getChildAtIndex(i) for i in range(acc.childCount)]
    except Exception:
        return []


def _dialog_button_label(a):
    half = a.name[:len(a.name) // 2]
    return half if a.name == half + " " + half else a.name


def _walk(acc):
    stack = [acc]
    while stack:
        a = stack.pop()
        if a is None:
            continue
        yield a
        stack.extend(reversed(_children(a)))


def _matches(acc, role, name):
    try:
        return acc.getRoleName() == role and (name is None or acc.name == name)
    except Exception:
        return False


class App:
    def __init__(self, session, proc):
        self.s = session
        self.proc = proc
        self.pid = proc.pid
        self.shown = False
        self._topbar = None

    def alive(self):
        return self.proc.poll() is None

    def root(self, timeout=DEFAULT_TIMEOUT):
        """The application's node in the accessibility tree."""
        def find():
            if not self.alive():
                raise AssertionError("zyl exited with %s" % self.proc.returncode)
            for app in self.s.applications():
                try:
                    if app.get_process_id() == self.pid:
                        return app
                except Exception:
                    pass
            return None
        app = wait_until(find, timeout, "zyl in the accessibility tree")
        if not self.shown:
            # Widgets of a window that is not on screen yet ignore activation.
            self.x_window(timeout)
            self.shown = True
        return app

    def find_all(self, role, name=None, under=None):
        return [a for a in _walk(under or self.root()) if _matches(a, role, name)]

    def find(self, role, name=None, timeout=DEFAULT_TIMEOUT, under=None):
        def first():
            found = self.find_all(role, name, under)
            return found[0] if found else None
        return wait_until(first, timeout, "%s %r" % (role, name))

    def window(self, timeout=DEFAULT_TIMEOUT):
        return self.find("frame", "ZYL Launcher", timeout)

    def click(self, role, name=None, timeout=DEFAULT_TIMEOUT, under=None):
        acc = self.find(role, name, timeout, under)
        acc.queryAction().doAction(0)
        return acc

    RAIL = {"Главная": "Мои сборки", "Новая сборка": "Новая сборка", "Моды": "Контент",
            "Журнал": "Журнал", "Настройки": "Настройки"}

    def show(self, rail_button):
        """Goes to a page with its rail button and waits until it is shown
        (widgets of a page that is not shown yet ignore activation)."""
        title = self.RAIL[rail_button]
        self.click("push button", rail_button)
        wait_until(lambda: self.crumb() == title, DEFAULT_TIMEOUT, "the page %s" % title)

    def page(self, title):
        """The stack page whose heading (its first label) is title."""
        def find():
            for a in _walk(self.root()):
                if _matches(a, "panel", "GtkStackPage"):
                    first = next((l for l in _walk(a) if _matches(l, "label", None)), None)
                    if first is not None and first.name == title:
                        return a
            return None
        return wait_until(find, DEFAULT_TIMEOUT, "the page %r" % title)

    def labels(self, under=None):
        """The texts of every label, in tree order."""
        return [a.name for a in self.find_all("label", None, under)]

    def has_label(self, text, under=None):
        return text in self.labels(under)

    def dialog(self, name=None, timeout=DEFAULT_TIMEOUT):
        """A window of zyl other than the main one: a file chooser by its
        title, or (name None) any other, such as a message dialog."""
        def find():
            for top in _children(self.root()):
                if top.name != "ZYL Launcher" and (name is None or top.name == name):
                    return top
            return None
        return wait_until(find, timeout, "the dialog %r" % name)

    def dialog_buttons(self, dialog):
        """A dialog's buttons by their labels, in order (GTK names a message
        dialog's buttons "<label> <label>")."""
        return [(_dialog_button_label(a), a) for a in _walk(dialog)
                if a.getRoleName() == "push button"]

    def dialog_button(self, dialog, text):
        """Activates a dialog's button and waits for the dialog to close."""
        def find():
            return next((a for label, a in self.dialog_buttons(dialog) if label == text), None)
        wait_until(find, DEFAULT_TIMEOUT, "the button %r" % text).queryAction().doAction(0)
        wait_until(lambda: dialog not in _children(self.root()), DEFAULT_TIMEOUT,
                   "the dialog to close")

    def choose_folder(self, chooser, path, button="Выбрать"):
        """Types a folder (or, with button "Открыть", a file) into a file
        chooser (Ctrl+L opens its location entry) and confirms it."""
        self.click_on(self.find("filler", "GtkPathBar", under=chooser))
        self.s.x11.key(0xFFE3, ord("l"))
        entry = self.find("text", "GtkFileChooserEntry", under=chooser)
        entry.queryEditableText().setTextContents(path)
        self.dialog_button(chooser, button)

    def choose_next(self, combo):
        """Opens a drop-down and takes the entry below the chosen one, with the
        keyboard (clicks on the popover's entries do not land under Xvfb)."""
        self.click_on(combo)
        self.s.x11.key(0xFF54)  # Down
        self.s.x11.key(0xFF0D)  # Return

    def pixel(self, acc):
        """The colour shown in the middle of a widget."""
        self.x_window()
        ext = acc.queryComponent().getExtents(0)
        return self.s.x11.pixel(ext.x + ext.width // 2, ext.y + ext.height // 2)

    def sensitive(self, acc):
        return acc.getState().contains(self.s.atspi.STATE_SENSITIVE)

    def mapped(self):
        """Whether the window is on screen (not hidden)."""
        return self.s.x11.window_of(self.pid) is not None

    def double_click_on(self, acc):
        """A real double click in the middle of a widget."""
        self.x_window()
        ext = acc.queryComponent().getExtents(0)
        x, y = ext.x + ext.width // 2, ext.y + ext.height // 2
        self.s.x11.click_at(x, y)
        self.s.x11.click_at(x, y)

    def type_into(self, acc, text):
        acc.queryEditableText().setTextContents(text)

    def click_on(self, acc):
        """A real mouse click in the middle of a widget (focuses entries)."""
        self.x_window()
        ext = acc.queryComponent().getExtents(0)  # screen coordinates
        self.s.x11.click_at(ext.x + ext.width // 2, ext.y + ext.height // 2)

    def press_enter(self, entry):
        """Clicks into an entry and presses Enter on the keyboard (GTK 4.8 offers
        no focus or activation of entries through the accessibility interface)."""
        self.click_on(entry)
        wait_until(lambda: entry.getState().contains(self.s.atspi.STATE_FOCUSED), 30,
                   "the entry to take the keyboard focus")
        self.s.x11.key(0xFF0D)  # Return

    @staticmethod
    def text(acc):
        t = acc.queryText()
        return t.getText(0, t.characterCount)

    def topbar(self):
        """The top bar: the parent of the breadcrumb separator. It lives as
        long as the window, so it is looked up once: the walk to it passes the
        whole page stack, seconds with a page of results."""
        if self._topbar is None:
            self._topbar = self.find("label", "›").parent
        return self._topbar

    def crumb(self):
        bar = self.topbar()
        kids = _children(bar)
        for i, k in enumerate(kids):
            if k.name == "›":
                return kids[i + 1].name
        raise AssertionError("no breadcrumb")

    def status(self):
        skip = ("Главная", "›", self.crumb())
        for a in _walk(self.topbar()):
            if a.getRoleName() == "label" and a.name not in skip:
                return a.name
        return None

    def log_view(self):
        return self.find("text", "Журнал")

    def log_text(self):
        return self.text(self.log_view())

    def x_window(self, timeout=DEFAULT_TIMEOUT):
        return wait_until(lambda: self.s.x11.window_of(self.pid), timeout, "zyl's X window")

    def size(self):
        a = self.s.x11.attributes(self.x_window())
        return a.width, a.height

    def screenshot(self, name):
        path = os.path.join(self.s.artifacts, "%s-%s.png" % (self.s.name, name))
        self.s.x11.picture(self.x_window(), path)
        return path

    def screenshot_screen(self, name):
        """A PNG of the screen where the window is, with whatever dialog is
        over it (without a window manager both sit at the top left)."""
        path = os.path.join(self.s.artifacts, "%s-%s.png" % (self.s.name, name))
        self.s.x11.picture(self.s.x11.root, path, self.size())
        return path

    def wait_exit(self, timeout=DEFAULT_TIMEOUT):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("zyl did not end within %ss" % timeout)

    def close(self, timeout=DEFAULT_TIMEOUT):
        """Closes the window as a window manager would; the exit status."""
        self.s.x11.close(self.x_window())
        return self.wait_exit(timeout)
