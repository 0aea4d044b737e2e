"""The window as a player meets it with many instances, by keyboard and mouse,
in a small window: focus that shows, cards played from the keyboard, a layout
that does not jump, settings the wheel cannot change, statuses that say what
happened, dialogs read once by a screen reader."""
import json
import os
import shutil
import sys
import time
import unittest
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import zylgui  # noqa: E402
from zylgui import Session, wait_until  # noqa: E402

TAB, ENTER, SPACE, LEFT, RIGHT, HOME, END = 0xFF09, 0xFF0D, 0x20, 0xFF51, 0xFF53, 0xFF50, 0xFF57
ACCENT = (0xE8, 0x91, 0x3A)
LONG_NAME = "Оченьдлинноеназваниесборкибезединогопробеладлятестовшириныпанели"
STARTED = "Игра запущена: "
ENDED = "Игра завершилась (код 0)"


def seed_instance(s, folder, name, loader="Vanilla", last_played=1700000000,
                  created=1700000000, mods=(), worlds=()):
    """An instance record as the launcher writes it, with mods it installed
    (zyl-content.json) and worlds."""
    d = os.path.join(s.data, "instances", folder)
    os.makedirs(os.path.join(d, "mods"))
    versions = {"Vanilla": ("", "1.20.1"), "Fabric": ("0.15.11", "fabric-loader-0.15.11-1.20.1"),
                "Quilt": ("0.26.0", "quilt-loader-0.26.0-1.20.1"),
                "Forge": ("47.2.0", "1.20.1-forge-47.2.0")}
    lv, vid = versions[loader]
    with open(os.path.join(d, "instance.json"), "w") as f:
        json.dump({"name": name, "mc": "1.20.1", "loader": loader, "loader_version": lv,
                   "version_id": vid, "created": created, "last_played": last_played}, f,
                  ensure_ascii=False)
    records = []
    for jar, title in mods:
        open(os.path.join(d, "mods", jar), "w").close()
        records.append({"source": "modrinth", "project": jar, "file": jar, "filename": jar,
                        "sha1": "", "title": title, "type": 0})
    with open(os.path.join(d, "zyl-content.json"), "w") as f:
        json.dump(records, f, ensure_ascii=False)
    for w in worlds:
        os.makedirs(os.path.join(d, "saves", w))
        open(os.path.join(d, "saves", w, "level.dat"), "w").close()
    return d


def seed_many(s):
    """50 instances: the two most recent are Vanilla (quick to launch), one is
    Quilt, one has a long name without spaces; the rest Fabric and Forge."""
    seed_instance(s, "Recent", "Недавняя", last_played=1700009000)
    seed_instance(s, "Second", "Вторая", last_played=1700008000)
    seed_instance(s, "Quilted", "Лоскутная", "Quilt", last_played=1700007000)
    seed_instance(s, "Long", LONG_NAME, "Fabric", last_played=1700006000)
    seed_instance(s, "First", "Aaa по имени первая", "Forge", created=1690000000)
    for i in range(45):
        seed_instance(s, "Pack%02d" % i, "Сборка %02d" % i, "Fabric" if i % 2 else "Forge",
                      created=1700000000 - i)


def card_name(name, loader_text, last_played=1700000000, created=1700000000):
    when = ("ещё не запускалась" if last_played <= created
            else time.strftime("%d.%m.%Y, %H:%M", time.localtime(last_played)))
    return "%s, %s, Minecraft 1.20.1, %s" % (name, loader_text, when)


def card_cells(app, home):
    """The cards, in order (the chips sit in grid cells of their own)."""
    return [a for a in app.find_all("table cell", None, under=home)
            if ", Minecraft " in (zylgui._name(a) or "")]


def cards(app, home):
    """The cards' accessible names, in order."""
    return [zylgui._name(a) for a in card_cells(app, home)]


class ComfortTest(unittest.TestCase):
    def test_keyboard_and_focus(self):
        with Session("keyboard") as s:
            seed_many(s)
            hold = os.path.join(s.tmp, "game-may-end")
            app = s.start({"ZYL_STUB_HOLD": hold})
            home = app.page("Мои сборки")
            wait_until(lambda: app.has_label(
                "50 сборок · клик — выбрать, двойной клик — играть", home), 30, "the cards")

            # Opening the home page puts the keyboard on the selected card,
            # which a screen reader names in full.
            app.show("Главная")
            recent = card_name("Недавняя", "Vanilla", 1700009000)
            wait_until(lambda: (app.focused(home) or home).name == recent, 30,
                       "the selected card focused")

            # An arrow moves to the next card, Enter selects it, a second
            # Enter plays it.
            second = card_name("Вторая", "Vanilla", 1700008000)
            app.key(RIGHT)
            wait_until(lambda: (app.focused(home) or home).name == second, 30, "the next card")
            def named(text):  # on its card, and in the side panel when selected
                return len(app.find_all("label", text, under=home))
            self.assertEqual(named("Вторая"), 1)  # not selected yet
            app.key(ENTER)
            wait_until(lambda: named("Вторая") == 2, 30, "the side panel's name")
            self.assertEqual(app.status(), "Готово")
            app.key(ENTER)
            wait_until(lambda: app.status() == STARTED + "Вторая", 120, "the game")
            open(hold, "w").close()
            wait_until(lambda: app.status() == ENDED, 60, "the end of the game")

            # The reload after the game keeps the keyboard on the card just
            # played, now the first; Space on another card selects it too.
            wait_until(lambda: (app.focused(home) or home).name.startswith("Вторая, "), 30,
                       "the played card still focused")
            self.assertEqual(cards(app, home)[0], app.focused(home).name)

            # End, and Right from the card before it, reach the last card;
            # Home goes back to the first.
            names = cards(app, home)
            for key, at in ((END, -1), (LEFT, -2), (RIGHT, -1), (HOME, 0)):
                app.key(key)
                wait_until(lambda: (app.focused(home) or home).name == names[at], 30,
                           "the card %s focused" % names[at])
            third = card_name("Лоскутная", "Quilt 0.26.0", 1700007000)
            app.key(RIGHT)
            app.key(RIGHT)
            wait_until(lambda: (app.focused(home) or home).name.startswith("Лоскутная"), 30,
                       "the third card")
            self.assertEqual(app.focused(home).name, third)
            app.key(SPACE)
            wait_until(lambda: app.has_label("Quilt 0.26.0 · Minecraft 1.20.1", home), 30,
                       "the Quilt instance selected")

            # Tab goes on to the card's play button, which shows a ring in
            # the accent colour while it has the keyboard, and not after.
            app.key(TAB)
            wait_until(lambda: (app.focused(home) or home).name == "Играть", 30,
                       "the card's play button focused")
            play = app.focused(home)
            x, y, w, h = app.extents(play)
            ring = (x - 3, y + h // 2)
            wait_until(lambda: app.s.x11.pixel(*ring) == ACCENT, 30, "the focus ring")
            app.screenshot("focus-ring")
            app.key(TAB)
            wait_until(lambda: app.s.x11.pixel(*ring) != ACCENT, 30, "the ring to go")

            # Every page's main action takes the keyboard when the page opens.
            for rail, role, name in (("Новая сборка", "push button", "Создать сборку"),
                                     ("Моды", "entry", "Искать моды, ресурспаки, модпаки…"),
                                     ("Журнал", "push button", "Копировать"),
                                     ("Настройки", "text", "Ник в игре (до 16 символов)")):
                app.show(rail)
                wait_until(lambda: (app.focused() or home).name == name, 30,
                           "%s focused on %s" % (name, rail))
                self.assertEqual(app.focused().getRoleName(), role)
            self.assertEqual(app.close(), 0)

    def test_many_instances_and_a_small_window(self):
        with Session("many") as s:
            seed_many(s)
            app = s.start()
            home = app.page("Мои сборки")
            every = "50 сборок · клик — выбрать, двойной клик — играть"
            wait_until(lambda: app.has_label(every, home), 30, "the cards")
            names = cards(app, home)
            self.assertEqual(len(names), 50)
            self.assertEqual(names[0], card_name("Недавняя", "Vanilla", 1700009000))

            # Two cards a row whatever the names; selecting the long one
            # neither widens the side panel nor takes the second column.
            def side_width():
                return app.extents(app.find_all("push button", "Играть", under=home)[-1])[2]

            def two_columns():
                cells = card_cells(app, home)
                return app.extents(cells[0])[1] == app.extents(cells[1])[1]
            width = side_width()
            self.assertTrue(two_columns())
            app.click_on(app.find("label", LONG_NAME, under=home))
            wait_until(lambda: len(app.find_all("label", LONG_NAME, under=home)) == 2, 30,
                       "the long name in the side panel")
            self.assertEqual(side_width(), width)
            self.assertTrue(two_columns())

            # The search and the chips show what fits; the count line says
            # how many, and a selection they hide is dropped.
            search = app.find("entry", "Найти сборку", under=home)
            app.type_into(search, "сборка 0")
            wait_until(lambda: app.has_label(
                "Показано 10 из 50 · клик — выбрать, двойной клик — играть", home), 30,
                "the search's count")
            self.assertTrue(app.has_label("Сборка не выбрана", home))
            app.type_into(search, "")
            app.click("push button", "Quilt", under=home)
            wait_until(lambda: app.has_label(
                "Показано 1 из 50 · клик — выбрать, двойной клик — играть", home), 30,
                "the Quilt chip")
            app.click("push button", "Все", under=home)
            wait_until(lambda: app.has_label(every, home), 30, "every card again")

            # Sorted by name.
            app.choose_next(app.find("combo box", "Порядок сборок", under=home))
            wait_until(lambda: cards(app, home)[0].startswith("Aaa по имени первая"), 30,
                       "the cards by name")

            # Instances made or removed outside the launcher appear and go
            # without a restart.
            copy = os.path.join(s.data, "instances", "Copied")
            shutil.copytree(os.path.join(s.data, "instances", "Second"), copy)
            wait_until(lambda: app.has_label(
                "51 сборка · клик — выбрать, двойной клик — играть", home), 30,
                "the copied instance")
            shutil.rmtree(copy)
            wait_until(lambda: app.has_label(every, home), 30, "the copy gone")

            # A small window: 800 x 600 takes every page, and switching pages
            # keeps the size.
            app.resize(800, 600)
            for rail in ("Новая сборка", "Моды", "Журнал", "Настройки", "Главная"):
                app.show(rail)
                self.assertEqual(app.size(), (800, 600), rail)
                app.screenshot("small-" + app.RAIL[rail].lower().replace(" ", "-"))
            play = app.find_all("push button", "Играть", under=home)[-1]
            x, y, w, h = app.extents(play)
            wx, wy, ww, wh = app.extents(app.window())
            self.assertLessEqual(x + w, wx + ww)  # the side panel is in the window
            self.assertEqual(app.close(), 0)

    def test_settings_wheel_and_memory(self):
        with Session("wheel") as s:
            seed_instance(s, "Plain", "Ванильная")
            app = s.start({"ZYL_TEST_MEMORY_MB": "8192"})
            app.window()
            app.resize(900, 600)
            app.show("Настройки")
            settings = app.page("Настройки")
            scale = app.find("slider", "Память для игры", under=settings)
            self.assertEqual(scale.queryValue().currentValue, 4.0)
            warning = "Больше ¾ памяти компьютера (8 ГБ) — системе и лаунчеру может не хватить"
            self.assertFalse(app.shown_label(warning, settings))

            # The wheel over the scale and over a spin button scrolls the
            # page (the scale moves up the screen); the values stay.
            x, y, w, h = app.extents(scale)
            app.s.x11.wheel(x + w // 2, y + h // 2, 3)
            wait_until(lambda: app.extents(scale)[1] < y, 30, "the page to scroll")
            width = app.find("spin button", "Ширина окна игры", under=settings)
            x, y, w, h = app.extents(width)
            app.s.x11.wheel(x + w // 2, y + h // 2, 3, down=False)
            time.sleep(1)  # wheel events have no visible end; give them their tick
            self.assertEqual(scale.queryValue().currentValue, 4.0)
            self.assertEqual(width.queryValue().currentValue, 1280.0)

            # More than three quarters of the machine's memory is warned of.
            scale.queryValue().currentValue = 7.0
            wait_until(lambda: app.shown_label(warning, settings), 30, "the warning")
            scale.queryValue().currentValue = 6.0
            wait_until(lambda: not app.shown_label(warning, settings), 30, "no warning")
            # The way back to the automatic Java stays in sight as a label.
            self.assertTrue(app.shown_label(
                "Оставьте пустым — нужная версия Java скачается автоматически", settings))

            # An instance's own memory: the same for the wheel and the warning.
            app.show("Главная")
            app.click("push button", "Настройки сборки", under=app.page("Мои сборки"))
            dialog = app.dialog("Настройки сборки")
            app.click_on(app.find("check box", "Память, ГБ: как в настройках", under=dialog))
            own = app.find("spin button", "Память сборки, ГБ", under=dialog)
            wait_until(lambda: app.sensitive(own), 30, "the memory of its own")
            before = own.queryValue().currentValue
            x, y, w, h = app.extents(own)
            app.s.x11.wheel(x + w // 2, y + h // 2, 3, down=False)
            time.sleep(1)  # as above
            self.assertEqual(own.queryValue().currentValue, before)
            self.assertFalse(app.shown_label(warning, dialog))
            own.queryValue().currentValue = 6.5
            wait_until(lambda: app.shown_label(warning, dialog), 30, "the dialog's warning")
            app.dialog_button(dialog, "Отмена")
            self.assertEqual(app.close(), 0)
            self.assertEqual(json.loads(s.file("settings.json"))["ram_gb"], 6)

    def test_statuses_counts_and_dialogs(self):
        with Session("statuses") as s:
            seed_instance(s, "Plain", "Ванильная", last_played=1700000100)
            modded = seed_instance(s, "Modded", "С модами", "Fabric",
                                   mods=(("a.jar", "Первый мод"), ("b.jar", "Второй мод")))
            worlds = ["Мир %02d" % i for i in range(1, 21)]
            seed_instance(s, "Worlds", "Двадцать миров", "Fabric", last_played=1699999000,
                          worlds=worlds)
            app = s.start()
            home = app.page("Мои сборки")
            content = app.page("Контент")

            # Mods for a Vanilla instance: the notice and the status say why,
            # and the status fades back to "Готово".
            app.show("Моды")
            wait_until(lambda: app.status() == "Поиск модов: в сборке нет загрузчика", 30,
                       "the refusal's status")
            self.assertTrue(any(t.startswith("В сборке «Ванильная» нет загрузчика модов")
                                for t in app.labels(content)))
            wait_until(lambda: app.status() == "Готово", 30, "the status to fade")

            # Counts come from one place: the card and the side panel agree,
            # and both follow a removal, whose status says what it did.
            app.show("Главная")
            app.click_on(app.find("label", "С модами", under=home))
            wait_until(lambda: app.has_label("Fabric 0.15.11 · Minecraft 1.20.1", home), 30,
                       "the instance with mods")
            self.assertTrue(app.has_label("ещё не запускалась · 2 мода", home))
            app.show("Моды")
            combo = app.find("combo box", "Сборка, в которую ставятся моды", under=content)
            app.choose_next(combo)
            wait_until(lambda: app.has_label("Установлено · 2", content), 30, "its files")
            remove = app.find_all("push button", "Удалить из сборки", under=content)[0]
            remove.queryAction().doAction(0)
            app.dialog_button(app.dialog(), "Удалить")
            wait_until(lambda: app.status().startswith("Удалено из сборки: "), 30,
                       "the removal's status")
            self.assertEqual(len(os.listdir(os.path.join(modded, "mods"))), 1)
            app.show("Главная")
            wait_until(lambda: app.has_label("ещё не запускалась · 1 мод", home), 30,
                       "the card's count")
            tiles = app.labels(home)
            self.assertEqual(tiles[tiles.index("Моды") + 1], "1")

            # The update button's hover is calm, not the red of removal.
            app.show("Моды")
            update = app.find("push button", "Обновить до последней совместимой версии",
                              under=content)
            x, y, w, h = app.extents(update)
            app.s.x11.move_to(x + w // 2, y + h // 2)
            wait_until(lambda: app.s.x11.pixel(x + 3, y + h // 2) == (0x2F, 0x2A, 0x24), 30,
                       "the update button's hover")
            app.s.x11.move_to(x + w // 2, y + h * 4)

            # A data pack for an instance with 20 worlds: a list that scrolls
            # and fits the screen; the keyboard picks the last world.
            app.choose_next(combo)
            wait_until(lambda: app.has_label("Установлено · 0", content), 30, "the worlds' one")
            app.click("push button", "Датапаки", under=content)
            wait_until(lambda: app.has_label("Terralith Datapack", content), 60, "data packs")
            row = app.find("label", "Terralith Datapack", under=content).parent.parent.parent
            install = next(b for b in app.find_all("push button", under=row)
                           if b.name == "Установить")
            install.queryAction().doAction(0)
            question = app.dialog()
            self.assertEqual(sorted(a.name for a in app.find_all("list item", None,
                                                                 under=question)), worlds)
            self.assertEqual([n for n, _ in app.dialog_buttons(question)], ["Отмена"])
            qx, qy, qw, qh = app.extents(question)
            self.assertLessEqual(qh, 900)
            app.screenshot("worlds")
            for _ in range(10):
                focused = app.focused(question)
                if focused is not None and focused.getRoleName() == "list item":
                    break
                app.key(TAB)
            app.key(END)
            wait_until(lambda: (app.focused(question) or question).name == "Мир 20", 30,
                       "the last world focused")
            app.key(ENTER)
            wait_until(lambda: install.name == "Установлен", 60, "the data pack")
            self.assertTrue(os.path.exists(os.path.join(
                s.data, "instances", "Worlds", "saves", "Мир 20", "datapacks",
                "Terralith_1.20.1_v2.4.5.zip")))

            # The removal question: its buttons are read once, and "Удалить"
            # looks destructive.
            app.show("Главная")
            app.click("push button", "Удалить", under=home)
            question = app.dialog()
            buttons = dict(app.dialog_buttons(question))
            self.assertEqual(sorted(buttons), ["Отмена", "Удалить"])
            x, y, w, h = app.extents(buttons["Удалить"])
            self.assertEqual(app.s.x11.pixel(x + 4, y + h // 2), (0x4A, 0x24, 0x20))
            app.dialog_button(question, "Отмена")
            self.assertEqual(app.close(), 0)

    def test_create_page(self):
        with Session("create-page") as s:
            pack = os.path.join(s.tmp, "pack.mrpack")
            url = s.base() + "/modrinth_cdn/packs/zyl-test-pack-1.0.mrpack"
            with urllib.request.urlopen(url, timeout=30) as r, open(pack, "wb") as f:
                f.write(r.read())
            app = s.start()
            create = app.page("Новая сборка")
            app.show("Новая сборка")
            hint = "Выберите версию и загрузчик"
            app.find("push button", "1.20.1", under=create)
            wait_until(lambda: not app.shown_label(hint, create), 30, "the hint to go")

            # Forge's promoted builds are named in the version list.
            app.click("push button", "Forge", under=create)
            versions = app.find("combo box", "Версия загрузчика", under=create)
            wait_until(lambda: app.has_label("47.4.10 (рекомендуемая)", versions), 60,
                       "the labelled Forge versions")
            app.click_on(versions)  # the list is read from its open popover
            wait_until(lambda: app.has_label("47.4.23 (последняя)"), 30, "the latest build")
            s.x11.key(0xFF1B)  # Escape, into the popover under the pointer
            self.assertFalse(app.shown_label(hint, create))

            # A modpack file imported from here: the content page then aims at it.
            app.click("push button", "Импорт модпака…", under=create)
            app.choose_folder(app.dialog("Модпак: .mrpack (Modrinth) или .zip (CurseForge)"),
                              pack, "Открыть")
            wait_until(lambda: app.status() == "Сборка из модпака «pack.mrpack» создана", 300,
                       "the import")
            content = app.page("Контент")
            combo = app.find("combo box", "Сборка, в которую ставятся моды", under=content)
            wait_until(lambda: app.has_label("The 128MB Pack  ·  1.20.1  ·  Fabric", combo), 30,
                       "the content page aimed at the pack")
            self.assertEqual(app.close(), 0)

    def test_hidpi_first_size(self):
        zylgui.desktop("1920x1080x24")
        with Session("hidpi") as s:
            app = s.start({"GDK_SCALE": "2"})
            app.window()
            w, h = app.size()
            self.assertLessEqual(w, 1920)
            self.assertLessEqual(h, 1080)
            app.screenshot("hidpi")
            self.assertEqual(app.close(), 0)


if __name__ == "__main__":
    unittest.main()
