"""The desktop application's shell, end to end: window and navigation, the
log files, crash and hang reports, and the log view under a flood."""
import json
import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from zylgui import Session, wait_until  # noqa: E402

WELCOME = "Добро пожаловать! Создайте сборку («Новая сборка»)"
PAGES = [("Главная", "Мои сборки"), ("Новая сборка", "Новая сборка"), ("Моды", "Контент"),
         ("Журнал", "Журнал"), ("Настройки", "Настройки")]


class ShellTest(unittest.TestCase):
    def test_window(self):
        with Session("window") as s:
            app = s.start()
            app.window()
            self.assertEqual(app.size(), (1200, 760))
            self.assertEqual(app.crumb(), "Мои сборки")
            wait_until(lambda: WELCOME in app.log_text(), 30, "the welcome line in the log view")
            # Icon-only buttons are named by their tooltips.
            app.find("push button", "Аккаунт и ник — Настройки")
            for button, title in PAGES[1:] + PAGES[:1]:
                app.click("push button", button)
                wait_until(lambda: app.crumb() == title, 30, "the title %s" % title)
            app.click("push button", "Журнал")
            wait_until(lambda: app.crumb() == "Журнал", 30, "the log page")
            app.click("push button", "Копировать")
            wait_until(lambda: app.status() == "Журнал скопирован в буфер обмена", 30,
                       "the copy status")
            app.screenshot("log-page")
            app.click("push button", "Главная")
            wait_until(lambda: app.crumb() == "Мои сборки", 30, "the home page")
            app.screenshot("main-window")
            self.assertEqual(app.close(), 0)
            first = s.logs()
            self.assertIn("window closed by user\nmain loop finished, exiting\n", first)
            # The renderer GTK really chose (GSK_RENDERER=cairo here).
            self.assertEqual(first.count("renderer in use: GskCairoRenderer\n"), 1)

            # The second start keeps the first run's output as the previous log.
            # Automation hooks: a query in the search entry and a starting page.
            app = s.start({"ZYL_GUI_QUERY": "sodium", "ZYL_GUI_PAGE": "log"})
            wait_until(lambda: app.crumb() == "Журнал", 30, "the page of ZYL_GUI_PAGE")
            search = app.find("entry", "Искать моды, ресурспаки, модпаки…")
            self.assertEqual(app.text(search), "sodium")
            log = app.log_text()
            self.assertIn("test hook: ZYL_GUI_QUERY=sodium\n", log)
            self.assertIn("test hook: ZYL_GUI_PAGE=log\n", log)
            # Enter in the top-bar search goes to the content page.
            app.press_enter(search)
            wait_until(lambda: app.crumb() == "Контент", 30, "the content page")
            self.assertEqual(app.close(), 0)
            self.assertEqual(s.logs("launcher.prev.log"), first)
            self.assertEqual(s.logs().count("ZYL Launcher 1.5.1 started, "), 1)

    def test_crash(self):
        with Session("crash") as s:
            app = s.start({"ZYL_TEST_FAULT": "crash"})
            app.window()
            status = app.wait_exit(60)
            self.assertNotEqual(status, 0)
            crash = s.logs("crash.txt")
            self.assertTrue(crash.startswith("ZYL Launcher 1.5.1 crash, "), crash[:200])
            self.assertRegex(crash, r"\nthread \d+ \(GUI\), GUI was doing: test crash\n")
            self.assertIn("access violation (write) at 0x10\n", crash)
            for section in ("stack (unwind):\n", "stack (scan):\n", "modules:\n"):
                self.assertIn(section, crash)
            unwind = crash.split("stack (unwind):\n")[1].split("stack (scan):\n")[0]
            self.assertRegex(unwind, r"^  zyl\+0x[0-9a-f]+\n")  # the faulting instruction
            self.assertRegex(crash.split("modules:\n")[1], r"  0x[0-9a-f]+ /\S+/zyl\n")
            self.assertTrue(os.path.exists(os.path.join(s.data, "logs", "crashed.flag")))
            self.assertIn("ZYL Launcher аварийно завершился.", s.logs())

            # The user is told in a dialog of a helper process, not of the dead one.
            def dialog():
                for a in s.applications():
                    try:
                        if a.get_process_id() != app.pid and "аварийно" in str(
                                [c.name for c in _all(a)]):
                            return a
                    except Exception:
                        pass
                return None
            helper = wait_until(dialog, 60, "the crash dialog")
            ok = [c for c in _all(helper) if c.getRoleName() == "push button"]
            self.assertTrue(ok)
            ok[0].queryAction().doAction(0)
            wait_until(lambda: helper not in s.applications(), 30, "the dialog to close")

            # The next start switches an "auto" renderer to software rendering.
            app = s.start(unset=("GSK_RENDERER",))
            wait_until(lambda: WELCOME in app.log_text(), 60, "the welcome line")
            log = s.logs()
            self.assertIn("renderer setting: cairo, GSK_RENDERER=cairo\n", log)
            notice = ("Прошлый запуск лаунчера завершился сбоем (отчёт: %s/logs/crash.txt). "
                      "Включена программная отрисовка интерфейса" % s.data)
            lines = log.splitlines()
            welcome = [i for i, l in enumerate(lines) if l.startswith(WELCOME)][0]
            self.assertTrue(lines[welcome - 1].startswith(notice), lines[welcome - 1])
            with open(os.path.join(s.data, "settings.json"), encoding="utf-8") as f:
                self.assertIn('"renderer":\t"cairo"', f.read())
            self.assertEqual(app.close(), 0)

            # The start after that finds no flag; ZYL_GUI_CLOSE_AFTER closes it.
            # Values longer than their entries hold go back to settings.json
            # whole: only what the player edits is written back.
            path = os.path.join(s.data, "settings.json")
            with open(path, encoding="utf-8") as f:
                saved = json.load(f)
            saved["nick"] = "N" * 40
            saved["jvm_args"] = "-Dx=" + "j" * 40000
            with open(path, "w", encoding="utf-8") as f:
                json.dump(saved, f)
            app = s.start({"ZYL_GUI_CLOSE_AFTER": "2"})
            self.assertEqual(app.wait_exit(60), 0)
            with open(path, encoding="utf-8") as f:
                kept = json.load(f)
            self.assertEqual(kept["nick"], "N" * 40)
            self.assertEqual(kept["jvm_args"], "-Dx=" + "j" * 40000)
            log = s.logs()
            self.assertIn(WELCOME, log)
            self.assertNotIn("сбоем", log)
            self.assertIn("window closed by user\n", log)

    def test_hang(self):
        with Session("hang") as s:
            app = s.start({"ZYL_TEST_FAULT": "hang"})
            app.window()
            hang_txt = os.path.join(s.data, "logs", "hang.txt")
            wait_until(lambda: "ожил" in s.logs("hang.txt"), 90, "the end of the hang")
            text = s.logs("hang.txt")
            self.assertEqual(len(re.findall(r" GUI thread frozen for 8 s, doing: test hang\n",
                                            text)), 1, text)
            # 12 or 13 on a quiet machine; a watchdog sample delayed past the
            # end of the sleep on a loaded one can count one second less.
            self.assertRegex(text, r"\n\d{4}-\d\d-\d\d \d\d:\d\d:\d\d GUI ожил через 1[1-3] с\n\n$")
            self.assertIn("stack (unwind):\n", text)
            self.assertNotIn("graphics driver", text)
            self.assertFalse(os.path.exists(os.path.join(s.data, "logs", "crashed.flag")))
            self.assertTrue(os.path.exists(hang_txt))
            # The window works afterwards.
            app.click("push button", "Настройки")
            wait_until(lambda: app.crumb() == "Настройки", 30, "the settings page")
            app.screenshot("after-hang")
            self.assertEqual(app.close(), 0)

    def test_log_flood(self):
        lines = 100000
        with Session("logflood") as s:
            app = s.start({"ZYL_TEST_LOG": str(lines)})
            app.click("push button", "Журнал")
            wait_until(lambda: app.crumb() == "Журнал", 30, "the log page")
            wait_until(lambda: "test log done" in app.log_text(), 120, "the end of the flood")
            view = app.log_text().splitlines()
            self.assertLessEqual(len(view), 3000)
            numbers = [int(l[len("test line "):]) for l in view if l.startswith("test line ")]
            self.assertEqual(numbers[-1], lines)
            self.assertGreaterEqual(len(numbers), 2400)
            self.assertEqual(numbers, list(range(numbers[0], lines + 1)))
            app.screenshot("flood")
            self.assertEqual(app.close(), 0)
            log = s.logs()
            self.assertEqual(log.count("\ntest line "), lines)
            # Identical GLib warnings are folded into one line and a count.
            self.assertEqual(log.count("test warning"), 1)
            self.assertIn("  (предыдущее сообщение повторилось ещё 2 раз)\n", log)


def _all(acc):
    from zylgui import _walk
    return list(_walk(acc))


if __name__ == "__main__":
    unittest.main()
