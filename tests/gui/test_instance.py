"""The home side panel's instance settings and export, end to end: a player
gives one instance its own memory, JVM options, window size and server, plays
it with them, and saves it as a .mrpack with a world chosen in."""
import json
import os
import sys
import unittest
import urllib.parse
import urllib.request
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from zylgui import Session, wait_until  # noqa: E402

ENDED = "Игра завершилась (код 0)"
SODIUM = "sodium-fabric-mc1.20.1-0.5.3+build.16.jar"


def seed_instance(s, folder, name):
    """A Fabric instance record as the launcher writes it, with a few files of
    a player's own: a mod from Modrinth's CDN, one made by hand, a config
    file, options and a world."""
    d = os.path.join(s.data, "instances", folder)
    files = {"mods/handmade.jar": b"my own jar", "config/mod.toml": b"x = 1\n",
             "options.txt": b"fov:0.5\n", "saves/World/level.dat": b"nbt"}
    url = "%s/modrinth_cdn/data/AANobbMI/versions/Yp8wLY1P/%s" % (s.base(),
                                                                  urllib.parse.quote(SODIUM))
    with urllib.request.urlopen(url, timeout=30) as r:
        files["mods/" + SODIUM] = r.read()
    for rel, data in files.items():
        path = os.path.join(d, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    with open(os.path.join(d, "instance.json"), "w") as f:
        json.dump({"name": name, "mc": "1.20.1", "loader": "Fabric", "loader_version": "0.15.11",
                   "version_id": "fabric-loader-0.15.11-1.20.1", "created": 1700000000,
                   "last_played": 1700000000}, f, ensure_ascii=False)
    return d


def instance_json(d):
    with open(os.path.join(d, "instance.json"), encoding="utf-8") as f:
        return json.load(f)


def checked(s, check_box):
    return check_box.getState().contains(s.atspi.STATE_CHECKED)


def tile_value(app, home, caption):
    """The value under a stat tile's caption."""
    labels = app.labels(home)
    return labels[labels.index(caption) + 1]


class InstanceTest(unittest.TestCase):
    def test_own_settings_and_export(self):
        with Session("instance") as s:
            inst = seed_instance(s, "Moya", "Моя сборка")
            app = s.start()
            home = app.page("Мои сборки")
            wait_until(lambda: app.has_label("Моя сборка", home), 30, "the seeded instance")
            self.assertEqual(tile_value(app, home, "Память"), "4 ГБ")

            # Everything starts "как в настройках"; four are given values of their own.
            app.click("push button", "Настройки сборки", under=home)
            dialog = app.dialog("Настройки сборки")
            for name in ("Память, ГБ", "Аргументы JVM", "Размер окна", "Сразу на сервер"):
                check = app.find("check box", name + ": как в настройках", under=dialog)
                self.assertTrue(checked(s, check), name)
                app.click_on(check)  # GTK 4.8 gives check buttons no accessible action
                wait_until(lambda: not checked(s, check), 30, name + " of its own")
            app.find("spin button", "Память сборки, ГБ", under=dialog).queryValue() \
                .currentValue = 3.0
            app.type_into(app.find("text", "Аргументы JVM сборки", under=dialog),
                          "-Dzyl.instance=1")
            app.find("spin button", "Ширина окна сборки", under=dialog).queryValue() \
                .currentValue = 1000.0
            app.find("spin button", "Высота окна сборки", under=dialog).queryValue() \
                .currentValue = 700.0
            app.type_into(app.find("text", "Сервер сборки", under=dialog), "srv.example:25570")
            app.screenshot_screen("settings-dialog")

            # A Java path of its own needs a path.
            app.choose_next(app.find("combo box", "Java сборки", under=dialog))
            app.choose_next(app.find("combo box", "Java сборки", under=dialog))
            app.type_into(app.find("text", "Путь к Java сборки", under=dialog), "")
            app.click("push button", "Сохранить", under=dialog)
            wait_until(lambda: app.has_label("Укажите путь к Java", dialog), 30, "the refusal")
            self.assertNotIn("java_path", instance_json(inst))
            # Back to automatic: the launcher's own pick.
            app.click_on(app.find("combo box", "Java сборки", under=dialog))
            s.x11.key(0xFF52)  # Up
            s.x11.key(0xFF0D)  # Return
            app.dialog_button(dialog, "Сохранить")

            wait_until(lambda: app.status() == "Настройки сборки «Моя сборка» сохранены", 30,
                       "the saved status")
            saved = instance_json(inst)
            self.assertEqual((saved["ram_mb"], saved["java_path"], saved["jvm_args"],
                              saved["width"], saved["height"], saved["server"]),
                             (3072, "auto", "-Dzyl.instance=1", 1000, 700, "srv.example:25570"))
            wait_until(lambda: tile_value(app, home, "Память") == "3 ГБ", 30, "the memory tile")
            self.assertEqual(tile_value(app, home, "Java"), "авто")
            app.screenshot("own-settings")

            # Opened again, the dialog shows the instance's values.
            app.click("push button", "Настройки сборки", under=home)
            dialog = app.dialog("Настройки сборки")
            check = app.find("check box", "Аргументы JVM: как в настройках", under=dialog)
            self.assertFalse(checked(s, check))
            self.assertEqual(app.text(app.find("text", "Аргументы JVM сборки", under=dialog)),
                             "-Dzyl.instance=1")
            app.dialog_button(dialog, "Отмена")

            # The launch uses them (and installs the missing loader profile first).
            app.find_all("push button", "Играть", under=home)[-1].queryAction().doAction(0)
            wait_until(lambda: ENDED in app.log_text(), 120, "the game to end")
            launch = open(os.path.join(inst, "launch_command.txt"), encoding="utf-8").read()
            lines = launch.split("\n")
            self.assertIn("-Xmx3072M", lines)
            self.assertIn("-Dzyl.instance=1", lines)
            self.assertEqual(lines[lines.index("--width") + 1], "1000")
            self.assertEqual(lines[lines.index("--quickPlayMultiplayer") + 1], "srv.example:25570")

            # Export: the player's folders are chosen, the world is added by hand.
            app.click("push button", "Экспорт…", under=home)
            dialog = app.dialog("Экспорт сборки")
            boxes = {a.name: a for a in app.find_all("check box", under=dialog)}
            self.assertEqual(sorted(n for n, a in boxes.items() if checked(s, a)), ["config/", "mods/", "options.txt", "resourcepacks/",
                                       "shaderpacks/"])
            self.assertIn("saves/", boxes)
            self.assertNotIn("instance.json", boxes)
            app.click_on(boxes["saves/"])
            wait_until(lambda: checked(s, boxes["saves/"]), 30, "the world chosen")
            app.dialog_button(dialog, "Сохранить…")
            chooser = app.dialog("Экспорт сборки в .mrpack")
            target = os.path.join(s.tmp, "Моя сборка")
            app.type_into(app.find("text", "Name:", under=chooser), target)
            app.dialog_button(chooser, "Сохранить")
            target += ".mrpack"
            wait_until(lambda: app.status() == "Модпак сохранён: " + target, 60, "the export")

            with zipfile.ZipFile(target) as z:
                names = sorted(z.namelist())
                index = json.loads(z.read("modrinth.index.json"))
            self.assertEqual(names, ["modrinth.index.json", "overrides/config/mod.toml",
                                     "overrides/mods/handmade.jar", "overrides/options.txt",
                                     "overrides/saves/World/level.dat"])
            self.assertEqual([f["path"] for f in index["files"]], ["mods/" + SODIUM])
            self.assertEqual(index["dependencies"],
                             {"minecraft": "1.20.1", "fabric-loader": "0.15.11"})
            self.assertEqual(app.close(), 0)

    def test_names_from_outside_are_shown_not_obeyed(self):
        # A pack's name with a window title, a screen clear, a carriage
        # return and a direction override, and a folder with an escape.
        evil = "\x1b]0;pwned\x07Evil\x1b[2J\rMod\u202etxt"
        shown = "␛]0;pwned␇Evil␛[2J␍Mod\ufffdtxt"
        with Session("instance-names") as s:
            inst = seed_instance(s, "Evil", evil)
            os.makedirs(os.path.join(inst, "odd\x1b[31mdir"))
            with open(os.path.join(s.data, "settings.json"), "w") as f:
                json.dump({"nick": "Al\x1b[2Jex"}, f)
            app = s.start()
            home = app.page("Мои сборки")
            wait_until(lambda: app.has_label(shown, home), 30, "the instance's name, shown")
            self.assertEqual(steering(app.labels(home)), [])

            app.click("push button", "Настройки сборки", under=home)
            dialog = app.dialog("Настройки сборки")
            self.assertIn("Настройки сборки «%s»" % shown, app.labels(dialog))
            self.assertEqual(steering(app.labels(dialog)), [])
            app.dialog_button(dialog, "Отмена")

            app.click("push button", "Экспорт…", under=home)
            dialog = app.dialog("Экспорт сборки")
            self.assertIn("Экспорт «%s» в .mrpack" % shown, app.labels(dialog))
            boxes = [a.name for a in app.find_all("check box", under=dialog)]
            self.assertIn("odd␛[31mdir/", boxes)
            self.assertEqual(steering(app.labels(dialog) + boxes), [])
            app.dialog_button(dialog, "Отмена")

            # The game's output (here the nick it was given) on the log page
            # and in launcher.log is shown the same way.
            app.find_all("push button", "Играть", under=home)[-1].queryAction().doAction(0)
            wait_until(lambda: ENDED in app.log_text(), 120, "the game to end")
            self.assertIn("ARG Al␛[2Jex", app.log_text())
            self.assertEqual(steering(app.log_text().split("\n")), [])
            self.assertEqual(app.close(), 0)
            self.assertIn("ARG Al␛[2Jex", s.logs())
            self.assertEqual(steering(s.logs().split("\n")), [])


def steering(texts):
    """The texts holding a character that would steer a terminal or reorder
    text: C0 controls but tab and newline, C1 controls, direction overrides
    and isolates."""
    def steers(c):
        o = ord(c)
        return ((o < 0x20 and c not in "\t\n") or 0x7f <= o <= 0x9f or 0x202a <= o <= 0x202e
                or 0x2066 <= o <= 0x2069)
    return [t for t in texts if any(steers(c) for c in t)]


if __name__ == "__main__":
    unittest.main()
