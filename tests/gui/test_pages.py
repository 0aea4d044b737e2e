"""The home, new-instance, settings and account pages, end to end: a player
who never opens a terminal creates an instance, plays it, changes settings,
signs in and moves the data folder."""
import fcntl
import json
import os
import re
import stat
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from zylgui import Session, wait_until  # noqa: E402

NO_INSTANCES = "Сборок пока нет — нажмите «Создать сборку»: выберите версию и загрузчик"
NO_CONTENT_TARGET = ("Нет сборок. Создайте сборку во вкладке «Новая сборка» или выберите "
                     "«Модпаки».")
CONTENT_SEARCH = "/service/v1/search"
FABRIC_LOADERS = "/service/v1/loaders/fabric"
ENDED = "Игра завершилась (код 0)"
FABRIC_MAIN = "LOADER net.fabricmc.loader.impl.launch.knot.KnotClient"


def instance_json(s, folder):
    return json.loads(s.file("instances/%s/instance.json" % folder))


def summary_loader(app, page):
    """The "Загрузчик" value of the new-instance summary."""
    labels = app.labels(page)
    return labels[len(labels) - 1 - labels[::-1].index("Загрузчик") + 1]


class PagesTest(unittest.TestCase):
    def test_create_and_play(self):
        with Session("create") as s:
            hold = os.path.join(s.tmp, "game-may-end")
            app = s.start({"ZYL_STUB_HOLD": hold, "ZYL_GUI_SOURCE": "modrinth",
                           "ZYL_GUI_TYPE": "5"})
            home = app.page("Мои сборки")
            wait_until(lambda: app.has_label(NO_INSTANCES, home), 30, "the empty count line")
            self.assertTrue(app.has_label("Нет сборок", home))

            # The content page without instances: the hooks chose Modrinth's
            # modpacks, which need no instance, and the first visit searches no
            # more; any other type is refused.
            wait_until(lambda: app.status().startswith("Modrinth: найдено "), 30, "the modpacks")
            searches = s.hits(CONTENT_SEARCH)
            app.show("Моды")
            content = app.page("Контент")
            self.assertTrue(app.find_all("push button", "Создать сборку", under=content))
            app.click("push button", "Моды", under=content)
            wait_until(lambda: app.has_label(NO_CONTENT_TARGET, content), 30, "the refusal")
            self.assertEqual(s.hits(CONTENT_SEARCH), searches)

            # New instance: the version list arrives, Vanilla 1.20.1 is preselected.
            app.show("Новая сборка")
            create = app.page("Новая сборка")
            app.find("push button", "1.20.1", under=create)
            name = app.find("text", "Название", under=create)
            wait_until(lambda: app.text(name) == "Vanilla 1.20.1", 30, "the automatic name")

            # Switching loaders quickly: Fabric's answer is held back until
            # Quilt's list is shown, and then it must not replace it.
            s.fault(FABRIC_LOADERS, "hold")
            app.click("push button", "Fabric", under=create)
            wait_until(lambda: s.waiting(FABRIC_LOADERS) == 1, 30, "the held Fabric request")
            self.assertEqual(summary_loader(app, create), "Fabric (загрузка версий…)")
            self.assertTrue(app.has_label("загрузка...", create))
            app.click("push button", "Quilt", under=create)
            wait_until(lambda: re.fullmatch(r"Quilt \d\S*", summary_loader(app, create)), 30,
                       "Quilt's loader versions")
            quilt = summary_loader(app, create)
            s.fault(FABRIC_LOADERS, "none")
            wait_until(lambda: "loader versions of Fabric 1.20.1 dropped" in s.logs(), 30,
                       "the late Fabric answer to be dropped")
            self.assertEqual(summary_loader(app, create), quilt)
            self.assertEqual(app.text(name), "Quilt 1.20.1")

            # Fabric and the release 1.20.1: the name and the loader versions follow.
            app.click("push button", "Fabric", under=create)
            app.click("push button", "1.20.1", under=create)
            wait_until(lambda: re.fullmatch(r"Fabric \d\S*", summary_loader(app, create)), 30,
                       "Fabric's loader versions")
            fabric_version = summary_loader(app, create).split(" ")[1]
            self.assertTrue(app.has_label(fabric_version, create))  # the drop-down shows it
            self.assertEqual(app.text(name), "Fabric 1.20.1")
            app.screenshot("new-instance")

            # Creation shows its progress while the asset files are held back.
            s.fault("/resources/", "hold")
            app.click("push button", "Создать сборку", under=create)
            wait_until(lambda: s.waiting("/resources/") > 0, 60, "asset downloads")
            app.find("progress bar", under=create)
            wait_until(lambda: any(re.search(r": \d+/\d+$", l) for l in app.labels(create)), 30,
                       "counters in the status line")
            s.fault("/resources/", "none")
            done = "Готово! Сборка «Fabric 1.20.1» установлена — она на Главной"
            wait_until(lambda: app.has_label(done, create), 120, "the end of the creation")
            wait_until(lambda: app.status() == done, 30, "the same text in the top bar")

            # The name moves on to a free one; one that differs from a taken
            # name only in Latin letter case is refused at the field.
            wait_until(lambda: app.text(name) == "Fabric 1.20.1 (2)", 30, "a free name")
            taken = "Сборка с таким названием уже есть — придумайте другое"
            self.assertFalse(app.shown_label(taken, create))
            app.type_into(name, "FABRIC 1.20.1")
            wait_until(lambda: app.shown_label(taken, create), 30, "the duplicate name refusal")
            app.click("push button", "Создать сборку", under=create)
            self.assertEqual(os.listdir(os.path.join(s.data, "instances")), ["Fabric_1.20.1"])

            # The home page lists the new instance, selected, never played.
            app.show("Главная")
            wait_until(lambda: app.has_label("1 сборка · клик — выбрать, двойной клик — играть",
                                             home), 30, "the count line")
            self.assertTrue(app.has_label("ещё не запускалась · 0 модов", home))
            self.assertTrue(app.has_label("Fabric %s · Minecraft 1.20.1" % fabric_version, home))
            app.screenshot("home")
            folder = "Fabric_1.20.1"
            created = instance_json(s, folder)["created"]

            # Settings typed into the controls; the launch saves them.
            app.show("Настройки")
            settings = app.page("Настройки")
            # The hint under the nick says why a server would turn it away;
            # offline every nick plays.
            nick = app.find("text", "Ник в игре (до 16 символов)", under=settings)
            for typed, hint in (("Очень_Длинный_Ник_1", "Ник длиннее 16 символов"),
                                ("Bad Nick!", "В нике только латинские буквы"),
                                ("Стив", "Ник на кириллице серверы не примут")):
                app.type_into(nick, typed)
                wait_until(lambda: any(l.startswith(hint) for l in app.labels(settings)), 30,
                           "the nick hint for " + typed)
            app.type_into(nick, "Steve_2011")
            wait_until(lambda: not any(l.startswith("Ник на кириллице")
                                       for l in app.labels(settings)), 30, "no hint")
            app.type_into(nick, "Стив")
            app.find("slider", "Память для игры", under=settings).queryValue().currentValue = 6.0
            app.type_into(app.find("text", "Аргументы JVM", under=settings), "-Dzyl.gui=1")
            app.find("spin button", "Ширина окна игры", under=settings).queryValue() \
                .currentValue = 1600.0
            app.type_into(app.find("password text", "CurseForge API key", under=settings),
                          "  cf-key-42 ")

            # A game started a second later than the creation shows a new
            # last-played time afterwards.
            wait_until(lambda: time.time() >= created + 1, 5, "the next second")
            app.show("Главная")
            play = app.find_all("push button", "Играть", under=home)[-1]  # the side panel's
            play.queryAction().doAction(0)
            wait_until(lambda: FABRIC_MAIN in app.log_text(), 60, "the game through its loader")
            self.assertTrue(app.find_all("push button", "Остановить", under=home))
            # While it runs, more presses on play buttons start nothing.
            card_play = app.find_all("push button", "Играть", under=home)[0]
            card_play.queryAction().doAction(0)
            app.double_click_on(app.find("label", "Fabric 1.20.1", under=home))
            saved = json.loads(s.file("settings.json"))
            self.assertEqual((saved["nick"], saved["ram_gb"], saved["jvm_args"], saved["width"],
                              saved["curseforge_api_key"]),
                             ("Стив", 6, "-Dzyl.gui=1", 1600, "cf-key-42"))
            launch = s.file("instances/%s/launch_command.txt" % folder)
            self.assertIn("Стив", launch)
            self.assertIn("-Xmx6144M", launch)
            open(hold, "w").close()
            wait_until(lambda: ENDED in app.log_text(), 60, "the end of the game")
            log = app.log_text()
            self.assertEqual(log.count(FABRIC_MAIN), 1)
            last = instance_json(s, folder)["last_played"]
            self.assertGreater(last, created)
            when = time.strftime("%d.%m.%Y, %H:%M", time.localtime(last))
            wait_until(lambda: app.has_label(when + " · 0 модов", home), 30,
                       "the last-played time on the card")
            wait_until(lambda: app.find_all("push button", "Играть", under=home), 30,
                       "the play button back")

            # With close_on_play the window hides while the game runs; a double
            # click on the card starts it.
            os.remove(hold)
            app.show("Настройки")
            app.click("check box", "Скрывать лаунчер во время игры (вернётся после выхода)",
                      under=settings)
            app.show("Главная")
            app.double_click_on(app.find("label", "Fabric · 1.20.1", under=home))  # plays
            wait_until(lambda: not app.mapped(), 60, "the window to hide")
            # A hidden window has no widgets to read: the launcher log has the lines.
            wait_until(lambda: s.logs().count(FABRIC_MAIN) == 2, 60, "the second game")
            open(hold, "w").close()
            wait_until(app.mapped, 60, "the window to come back")
            wait_until(lambda: app.log_text().count(ENDED) == 2, 30, "the second end")
            self.assertTrue(json.loads(s.file("settings.json"))["close_on_play"])

            # Closing the window saves what the controls hold.
            app.type_into(app.find("text", "Сразу на сервер", under=settings), "play.example:25565")
            self.assertEqual(app.close(), 0)
            self.assertEqual(json.loads(s.file("settings.json"))["server"], "play.example:25565")
            self.assertEqual(json.loads(s.file("settings.json"))["last_instance"], folder)

    def test_settings_account_and_data_folder(self):
        with Session("settings") as s:
            os.makedirs(os.path.join(s.data, "instances", "Mir"))
            with open(os.path.join(s.data, "instances", "Mir", "instance.json"), "w") as f:
                json.dump({"name": "Мир", "mc": "1.20.1", "loader": "Vanilla",
                           "version_id": "1.20.1", "created": 1700000000,
                           "last_played": 1700000000}, f, ensure_ascii=False)
            with open(os.path.join(s.data, "settings.json"), "w") as f:
                json.dump({"renderer": "cairo"}, f)
            app = s.start({"ZYL_GUI_LOADER": "2"}, own_binary=True)
            home = app.page("Мои сборки")
            one = "1 сборка · клик — выбрать, двойной клик — играть"
            wait_until(lambda: app.has_label(one, home), 30, "the seeded instance")
            create = app.page("Новая сборка")
            wait_until(lambda: app.has_label("Quilt 1.20.1", create), 30, "the loader of the hook")
            # Snapshots join the version buttons on request and leave again.
            app.show("Новая сборка")
            snapshot = "1.14 Pre-Release 1"
            self.assertEqual(app.find_all("push button", snapshot, under=create), [])
            snapshots = app.find("check box", "Снапшоты", under=create)
            app.click_on(snapshots)  # GTK 4.8 gives check buttons no accessible action
            app.find("push button", snapshot, under=create)
            app.click_on(snapshots)
            wait_until(lambda: not app.find_all("push button", snapshot, under=create), 30,
                       "the release buttons only")

            app.show("Настройки")
            settings = app.page("Настройки")
            renderer = app.find("combo box", "Отрисовка", under=settings)
            self.assertIn("Программная (стабильнее)", app.labels(renderer))
            app.type_into(app.find("text", "Сразу на сервер", under=settings), "mc.example")
            # An empty nick is asked for and not saved.
            app.type_into(app.find("text", "Ник в игре (до 16 символов)", under=settings), "")
            wait_until(lambda: app.has_label("Ник пустой — введите ник", settings), 30,
                       "the empty nick's hint")
            app.click("push button", "Сохранить", under=settings)
            wait_until(lambda: app.status() == "Настройки сохранены", 30, "the save")
            self.assertEqual(json.loads(s.file("settings.json"))["server"], "mc.example")
            self.assertEqual(json.loads(s.file("settings.json"))["nick"], "Player")

            # Account mode without a sign-in: the top bar says so and play is refused.
            app.click("push button", "Аккаунт", under=settings)
            wait_until(lambda: app.has_label("Войдите, чтобы играть с аккаунтом", settings), 30,
                       "the sign-in form")
            wait_until(lambda: app.has_label("Не выполнен вход", app.topbar()), 30,
                       "the top bar's account label")
            self.assertEqual(json.loads(s.file("settings.json"))["auth_mode"], "account")
            app.show("Главная")
            app.find_all("push button", "Играть", under=home)[-1].queryAction().doAction(0)
            wait_until(lambda: app.crumb() == "Настройки", 30, "the settings page")
            # The page switch and the status text reach the accessibility tree separately.
            wait_until(lambda: app.status() ==
                       "Войдите в аккаунт Brimfell ID или переключитесь на «Офлайн»", 30,
                       "the refusal's status")

            # A wrong password: the server's reason, the login kept, "Войти" usable again.
            login = app.find("text", "Логин", under=settings)
            password = app.find("password text", "Пароль", under=settings)
            app.type_into(login, "alex")
            app.type_into(password, "wrong")
            app.press_enter(password)
            wait_until(lambda: app.has_label("Неверный логин или пароль", settings), 30,
                       "the server's refusal")
            self.assertEqual(app.text(login), "alex")
            enter = app.find("push button", "Войти", under=settings)
            wait_until(lambda: enter.getState().contains(s.atspi.STATE_SENSITIVE), 30,
                       "the sign-in button back")

            # The right one: signed in, with the skin face in the rail and the panel.
            app.type_into(password, "secret")
            enter.queryAction().doAction(0)
            wait_until(lambda: app.has_label("Вошли как Alex", settings), 30, "the sign-in")
            wait_until(lambda: len(app.find_all("image", "Скин")) == 2, 30, "the skin faces")
            self.assertEqual(app.find_all("label", "A"), [])  # no letter avatars beside them
            self.assertTrue(app.has_label("Alex", app.topbar()))
            app.find("push button", "Alex", under=app.topbar())  # named by its nick
            # Signed in, the registration link is gone (the form's one remains).
            self.assertEqual(len(app.find_all("label", "Регистрация", under=settings)), 1)
            self.assertEqual(app.text(password), "")
            account = json.loads(s.file("account.json"))
            mode = os.stat(os.path.join(s.data, "account.json")).st_mode
            self.assertEqual(stat.S_IMODE(mode), 0o600)
            app.screenshot("account")

            # A game with the account: its output reaches the log without the token.
            app.show("Главная")
            self.assertTrue(app.has_label("Аккаунт Alex · Brimfell ID", home))
            app.find_all("push button", "Играть", under=home)[-1].queryAction().doAction(0)
            wait_until(lambda: ENDED in app.log_text(), 120, "the game with the account")
            self.assertIn("ARG --accessToken\nARG ***\n", app.log_text())
            token = json.loads(s.file("account.json"))["accessToken"]  # maybe refreshed
            for t in (account["accessToken"], token):
                self.assertNotIn(t, s.logs())
            self.assertEqual(app.close(), 0)

            # The next start is signed in, with the skin fetched again.
            app = s.start(own_binary=True)
            settings = app.page("Настройки")
            wait_until(lambda: len(app.find_all("image", "Скин")) == 2, 30, "the skin at start")
            self.assertTrue(app.has_label("Вошли как Alex", settings))

            # Signing out returns to the form; back to offline play.
            app.show("Настройки")
            app.click("push button", "Выйти", under=settings)
            wait_until(lambda: app.has_label("Войдите, чтобы играть с аккаунтом", settings), 30,
                       "the sign-in form again")
            wait_until(lambda: app.status() == "Вы вышли из аккаунта", 30, "the sign-out's end")
            self.assertEqual(app.find_all("image", "Скин"), [])
            self.assertNotIn("accessToken", json.loads(s.file("account.json")))
            app.click("push button", "Офлайн", under=settings)
            wait_until(lambda: app.has_label("Офлайн-режим: любой ник, без пароля", settings), 30,
                       "offline mode")

            # A Java that cannot start: the launch fails and play is possible again.
            app.type_into(app.find("text", "Путь к Java", under=settings), "/nonexistent/java")
            home = app.page("Мои сборки")
            app.show("Главная")
            self.assertTrue(app.has_label("своя", home))  # the Java tile
            app.find_all("push button", "Играть", under=home)[-1].queryAction().doAction(0)
            wait_until(lambda: app.status() == "Ошибка запуска — см. Журнал", 60,
                       "the failed launch")
            self.assertIn("Не удалось запустить\n", app.log_text())
            wait_until(lambda: app.find_all("push button", "Играть", under=home), 30,
                       "the play button back")
            app.show("Настройки")
            app.type_into(app.find("text", "Путь к Java", under=settings), "")

            # Filter chips: a Vanilla instance is not a Fabric one.
            app.show("Главная")
            app.click("push button", "Fabric", under=home)
            card = "Vanilla · 1.20.1"  # the card's line; the side panel names it otherwise
            wait_until(lambda: not app.has_label(card, home), 30, "the filtered card list")
            app.click("push button", "Все", under=home)
            wait_until(lambda: app.has_label(card, home), 30, "every card again")

            # Names differing only in Cyrillic letter case are two names.
            app.show("Новая сборка")
            create = app.page("Новая сборка")
            app.find("push button", "1.20.1", under=create)
            app.type_into(app.find("text", "Название", under=create), "мир")
            app.click("push button", "Создать сборку", under=create)
            wait_until(lambda: app.has_label("Готово! Сборка «мир» установлена — она на Главной",
                                             create), 120, "the second instance")

            # Deleting it asks first; "Отмена" keeps it.
            app.show("Главная")
            wait_until(lambda: app.has_label("2 сборки · клик — выбрать, двойной клик — играть",
                                             home), 30, "two instances")
            folder = [i for i in os.listdir(os.path.join(s.data, "instances")) if i != "Mir"][0]
            app.click("push button", "Удалить", under=home)
            question = app.dialog()
            self.assertIn("Удалить сборку «мир»?", app.labels(question))
            app.dialog_button(question, "Отмена")
            app.click("push button", "Удалить", under=home)
            app.dialog_button(app.dialog(), "Удалить")
            wait_until(lambda: app.has_label(one, home), 30, "one instance again")
            self.assertEqual(app.status(), "Сборка «мир» удалена")
            self.assertFalse(os.path.exists(os.path.join(s.data, "instances", folder)))

            # "Перенести файлы": the data moves and the instances follow.
            moved = os.path.join(s.tmp, "moved")
            other = os.path.join(s.tmp, "other")
            os.makedirs(moved)
            os.makedirs(other)
            app.show("Настройки")
            # While a game of the folder runs (another launcher's: it holds the
            # folder's game lock), the move is refused and nothing moves.
            with open(os.path.join(s.data, "zyl-game.lock"), "a") as game:
                fcntl.flock(game, fcntl.LOCK_SH)
                app.click("push button", "Изменить…", under=settings)
                app.choose_folder(app.dialog("Папка для игр и данных ZYL"), moved)
                app.dialog_button(app.dialog(), "Перенести файлы")
                wait_until(lambda: app.status() == "Не удалось сменить папку: Игра из этой "
                           "папки запущена — закройте её, затем переносите данные", 60,
                           "the refusal")
            self.assertTrue(os.path.exists(os.path.join(s.data, "instances", "Mir")))
            self.assertEqual(os.listdir(moved), [])
            # What the controls hold is saved first, and moves with the data.
            app.type_into(app.find("text", "Аргументы JVM", under=settings), "-Dmoved=1")
            app.click("push button", "Изменить…", under=settings)
            app.choose_folder(app.dialog("Папка для игр и данных ZYL"), moved)
            question = app.dialog()
            self.assertIn("Новая папка:\n%s\n\nПеренести туда уже скачанные версии, Java, "
                          "ресурсы и сборки?" % moved, app.labels(question))
            app.dialog_button(question, "Перенести файлы")
            wait_until(lambda: app.status() == "Папка данных: " + moved, 60, "the move")
            self.assertTrue(os.path.exists(os.path.join(moved, "instances", "Mir",
                                                        "instance.json")))
            self.assertFalse(os.path.exists(os.path.join(s.data, "instances")))
            self.assertTrue(app.has_label(moved, settings))
            with open(os.path.join(moved, "settings.json")) as f:
                self.assertEqual(json.load(f)["jvm_args"], "-Dmoved=1")
            self.assertTrue(app.has_label(one, home))

            # "Только сменить" (from the home page's tip) to an empty folder: its empty list.
            app.show("Главная")
            app.click("push button", "Изменить", under=home)
            app.choose_folder(app.dialog("Папка для игр и данных ZYL"), other)
            app.dialog_button(app.dialog(), "Только сменить")
            wait_until(lambda: app.status() == "Папка данных: " + other, 60, "the switch")
            wait_until(lambda: app.has_label(NO_INSTANCES, home), 30, "the empty list")
            self.assertTrue(app.has_label("Нет сборок", home))
            self.assertTrue(os.path.exists(os.path.join(other, "settings.json")))
            self.assertFalse(os.path.exists(os.path.join(other, "instances", "Mir")))
            with open(os.path.join(s.tmp, "bin", "zyl.ini"), newline="") as f:
                self.assertIn("data_dir=%s\r\n" % other, f.read())
            self.assertEqual(app.close(), 0)

if __name__ == "__main__":
    unittest.main()
