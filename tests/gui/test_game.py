"""A game the player stops from the home page, and a game that crashes: the
stop leaves no process behind and is no crash; the crash is explained in the
window."""
import json
import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from zylgui import Session, wait_until  # noqa: E402

STOPPED = "Игра остановлена по просьбе игрока"
CRASH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "crash")


def seed_instance(s, folder, name, java_path):
    d = os.path.join(s.data, "instances", folder)
    os.makedirs(os.path.join(d, "mods"), exist_ok=True)
    with open(os.path.join(d, "instance.json"), "w") as f:
        json.dump({"name": name, "mc": "1.20.1", "loader": "Vanilla", "loader_version": "",
                   "version_id": "1.20.1", "created": 1700000000, "last_played": 1700000000,
                   "java_path": java_path}, f, ensure_ascii=False)
    return d


def set_java(d, java_path):
    path = os.path.join(d, "instance.json")
    with open(path) as f:
        record = json.load(f)
    record["java_path"] = java_path
    with open(path, "w") as f:
        json.dump(record, f, ensure_ascii=False)


def old_java(s):
    """A Java that says it is Java 8 and runs as the machine's own."""
    path = os.path.join(s.tmp, "old-java", "bin", "java")
    os.makedirs(os.path.dirname(path))
    with open(path, "w") as f:
        f.write('#!/bin/sh\nif [ "$1" = -version ]; then\n'
                '  echo \'java version "1.8.0_392"\' >&2\n  exit 0\nfi\nexec java "$@"\n')
    os.chmod(path, 0o755)
    return path


def running(pid):
    """True while pid is a process that has not ended (a zombie has)."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def scenario(s, **keys):
    """What the next game does (the stub game reads it when it starts)."""
    with open(os.path.join(s.tmp, "scenario.properties"), "w", encoding="utf-8") as f:
        for k, v in keys.items():
            f.write("%s=%s\n" % (k, str(v).replace("\\", "\\\\")))


class GameTest(unittest.TestCase):
    def test_stop_and_crash(self):
        with Session("game") as s:
            inst = seed_instance(s, "Igra", "Игра", old_java(s))
            scenario(s, child=1, hold=os.path.join(s.tmp, "never"))
            app = s.start({"ZYL_STUB_SCENARIO": os.path.join(s.tmp, "scenario.properties")})
            home = app.page("Мои сборки")
            wait_until(lambda: app.find_all("push button", "Играть", under=home), 30, "the cards")

            # The instance's own Java is too old: asked before anything starts.
            for answer in ("Отмена", "Запустить всё равно"):
                app.find_all("push button", "Играть", under=home)[-1].queryAction().doAction(0)
                question = app.dialog(timeout=120)
                self.assertTrue(app.has_label("Для 1.18+ нужна Java 17, выбрана Java 8",
                                              question))
                app.dialog_button(question, answer)
            self.assertNotIn("Запуск 1.20.1", s.logs().split("Для 1.18+")[1])

            # The game that goes ahead would run for minutes, with a helper
            # process of its own.
            pids = wait_until(lambda: re.search(r"^PID (\d+)$.*^CHILD (\d+)$", app.log_text(),
                                                re.M | re.S), 120, "the game and its child")
            game, child = int(pids.group(1)), int(pids.group(2))
            self.assertTrue(running(game) and running(child))
            stop = app.find("push button", "Остановить", under=home)
            card_play = app.find_all("push button", "Играть", under=home)[0]
            self.assertFalse(app.sensitive(card_play))

            # Asked first; "Отмена" leaves the game alone.
            stop.queryAction().doAction(0)
            question = app.dialog()
            self.assertTrue(app.has_label("Остановить игру?", question))
            app.dialog_button(question, "Отмена")
            self.assertTrue(running(game))
            stop.queryAction().doAction(0)
            app.dialog_button(app.dialog(), "Остановить")
            wait_until(lambda: STOPPED in app.log_text(), 30, "the stop in the log")
            wait_until(lambda: not running(game) and not running(child), 30,
                       "the game's processes to end")
            wait_until(lambda: app.find_all("push button", "Играть", under=home), 30,
                       "the play button back")
            # The cards were built again (the last-played time).
            self.assertTrue(app.sensitive(app.find_all("push button", "Играть", under=home)[0]))
            self.assertNotIn("Игра завершилась", app.log_text())
            self.assertEqual([d.name for d in app.dialogs()], [])
            app.screenshot("stopped")

            # A game that crashes for want of a mod, leaving a crash report.
            set_java(inst, "auto")
            scenario(s, output=os.path.join(CRASH, "fabric_missing.log"), exit=1,
                     crash_report=os.path.join(CRASH, "crash-2026-12-11_14.55.00-client.txt"))
            app.find_all("push button", "Играть", under=home)[-1].queryAction().doAction(0)
            dialog = app.dialog(timeout=120)
            self.assertTrue(app.has_label("Игра вылетела: Не хватает мода sodium", dialog))
            self.assertTrue(any(l.startswith("Мод «Sodium Extra» требует any version мода sodium")
                                for l in app.labels(dialog)))
            self.assertEqual([label for label, _ in app.dialog_buttons(dialog)],
                             ["Закрыть", "Открыть отчёт", "Открыть журнал", "Скопировать",
                              "Найти мод"])
            app.screenshot_screen("crash")
            # "Скопировать" keeps the dialog open.
            next(a for label, a in app.dialog_buttons(dialog)
                 if label == "Скопировать").queryAction().doAction(0)
            wait_until(lambda: app.status() == "Объяснение скопировано в буфер обмена", 30,
                       "the copy")
            self.assertIn(dialog, app.dialogs())
            app.dialog_button(dialog, "Открыть журнал")
            wait_until(lambda: app.crumb() == "Журнал", 30, "the log page")
            log = app.log_text()
            self.assertIn("Игра завершилась (код 1)", log)
            self.assertIn("Почему игра упала: Не хватает мода sodium", log)
            self.assertRegex(log, r"Отчёт: .*/instances/Igra/crash-reports/crash-[\d_.-]+-client\.txt")

            # The search field finds a line of the game's output.
            search = app.find("entry", "Поиск в журнале")
            app.type_into(search, "SODIUM EXTRA")
            text = app.log_view().queryText()
            wait_until(lambda: text.getNSelections() == 1, 30, "a match selected")
            start, end = text.getSelection(0)
            self.assertEqual(text.getText(start, end), "Sodium Extra")


if __name__ == "__main__":
    unittest.main()
