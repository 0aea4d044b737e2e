"""The interface test driver itself, where the X server can surprise it."""
import ctypes
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from zylgui import desktop  # noqa: E402


class DriverTest(unittest.TestCase):
    def test_vanished_window(self):
        """A window that closed after the driver listed it (a dialog going
        away) reads as none instead of ending the driver with BadWindow."""
        x11 = desktop().x11
        x = x11.x
        x.XCreateSimpleWindow.restype = ctypes.c_ulong
        x.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int,
                                          ctypes.c_int, ctypes.c_uint, ctypes.c_uint,
                                          ctypes.c_uint, ctypes.c_ulong, ctypes.c_ulong]
        x.XDestroyWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        win = x.XCreateSimpleWindow(x11.dpy, x11.root, 0, 0, 10, 10, 0, 0, 0)
        x.XDestroyWindow(x11.dpy, win)
        self.assertIsNone(x11._pid_of(win))
        self.assertEqual(x11.attributes(win).map_state, 0)
        with self.assertRaises(AssertionError):
            x11.picture(win, os.path.join(os.environ.get("TMPDIR", "/tmp"), "none.png"))


if __name__ == "__main__":
    unittest.main()
