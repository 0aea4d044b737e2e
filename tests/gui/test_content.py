"""The content page, end to end: a player finds mods for an instance, installs
one with its dependency, updates and removes files, meets a project whose
author forbids other launchers, puts data packs into worlds and imports a
modpack file, with the content service up and with it unreachable."""
import json
import os
import sys
import unittest
import urllib.request
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from zylgui import Session, wait_until  # noqa: E402

SEARCH = "/service/v1/search"
DIRECT_SEARCH = "/modrinth_api/v2/search"
SODIUM_JAR = "sodium-fabric-mc1.20.1-0.5.3+build.16.jar"
FABRIC_API_JAR = "fabric-api-0.92.2+1.20.1.jar"
# The icons the fake network serves (one colour each) and the empty placeholder.
SODIUM_PNG = (0x2E, 0xCC, 0x71)
FABRIC_API_WEBP = (0x34, 0x98, 0xDB)
PLACEHOLDER = (0x30, 0x2A, 0x23)


def seed_instance(s, folder, name, last_played, worlds=()):
    """An instance record as the launcher writes it, with worlds in saves."""
    d = os.path.join(s.data, "instances", folder)
    os.makedirs(d)
    with open(os.path.join(d, "instance.json"), "w") as f:
        json.dump({"name": name, "mc": "1.20.1", "loader": "Fabric", "loader_version": "0.15.11",
                   "version_id": "fabric-loader-0.15.11-1.20.1", "created": 1700000000,
                   "last_played": last_played}, f, ensure_ascii=False)
    for w in worlds:
        os.makedirs(os.path.join(d, "saves", w))
        open(os.path.join(d, "saves", w, "level.dat"), "w").close()
    return d


def searched(app, s, start, path=SEARCH):
    """Runs start(), which should start one search, holding the search request
    until the top bar says that it searches; how many requests it made."""
    s.fault(path, "hold")
    before = s.hits(path)
    start()
    wait_until(lambda: s.waiting(path) >= 1, 30, "the search request")
    wait_until(lambda: app.status().startswith("Поиск на"), 30, "the search status")
    s.fault(path, "none")
    wait_until(lambda: not app.status().startswith("Поиск на"), 30, "the search result")
    return s.hits(path) - before


def result_row(app, page, title):
    """A result row: its title label's row box."""
    return app.find("label", title, under=page).parent.parent.parent


def main_button(app, row):
    return next(b for b in app.find_all("push button", under=row) if b.name != "Страница")


def icon(app, row):
    return app.find("image", under=row)


def right_panel(app, page):
    return app.find("label", "Сборка", under=page).parent


def installed_row(app, page, title):
    return app.find("label", title, under=right_panel(app, page)).parent.parent


def spinning(app):
    """Whether the top bar's spinner is shown (a hidden widget leaves the tree)."""
    return bool(app.find_all("filler", "GtkSpinner", under=app.topbar()))


class ContentTest(unittest.TestCase):
    def test_search_install_update(self):
        with Session("content") as s:
            inst = seed_instance(s, "Fabric_1.20.1", "Fabric 1.20.1", 1700000100, ["Alpha"])
            two = seed_instance(s, "Two", "Два мира", 1700000000, ["Alpha", "Beta"])
            app = s.start()
            home = app.page("Мои сборки")
            wait_until(lambda: app.has_label("2 сборки · клик — выбрать, двойной клик — играть",
                                             home), 30, "the seeded instances")
            content = app.page("Контент")

            # A query typed on the home page: Enter shows the content page and
            # starts exactly one search, filtered for the instance.
            entry = app.find("entry", "Искать моды, ресурспаки, модпаки…")
            app.type_into(entry, "sodium")
            self.assertEqual(searched(app, s, lambda: app.press_enter(entry)), 1)
            self.assertEqual(app.crumb(), "Контент")
            self.assertEqual(app.status(), "CurseForge + Modrinth: найдено 3")
            labels = app.labels(content)
            self.assertLess(labels.index("Sodium"), labels.index("Sodium Dynamic Lights"))
            self.assertLess(labels.index("Sodium Dynamic Lights"), labels.index("Sodium Extra"))
            for text in ("354,7 тыс. загрузок", "40,0 тыс. загрузок", "120,0 тыс. загрузок",
                         "Modrinth", "CurseForge", "от jellysquid3",
                         "Для сборки «Fabric 1.20.1» · Fabric 0.15.11 · Minecraft 1.20.1 — "
                         "показывается только совместимое, зависимости ставятся сами"):
                self.assertIn(text, labels)

            # Every mod; icons arrive: PNG through GDK, WebP through libwebp.
            app.type_into(entry, "")
            self.assertEqual(searched(app, s, lambda: app.click("push button", "Найти")), 1)
            self.assertEqual(app.status(), "CurseForge + Modrinth: найдено 8")
            self.assertTrue(app.has_label("9,0 млн загрузок", content))
            self.assertTrue(app.has_label("10 загрузок", content))
            sodium = result_row(app, content, "Sodium")
            fabric_api = result_row(app, content, "Fabric API")
            wait_until(lambda: app.pixel(icon(app, sodium)) == SODIUM_PNG, 30, "the PNG icon")
            wait_until(lambda: app.pixel(icon(app, fabric_api)) == FABRIC_API_WEBP, 30,
                       "the WebP icon")
            icons = os.path.join(s.data, "cache", "icons")
            wait_until(lambda: len(os.listdir(icons)) == 8, 30, "every icon in the cache")

            # Later visits of the page search no more.
            app.show("Главная")
            app.show("Моды")
            self.assertEqual(searched(app, s, lambda: app.click("push button", "Найти")), 1)

            # Install with a required dependency: both files, both rows, here
            # and on the home page.
            sodium = result_row(app, content, "Sodium")  # the search rebuilt the rows
            main_button(app, sodium).queryAction().doAction(0)
            wait_until(lambda: main_button(app, sodium).name == "Установлен", 60,
                       "the installed button")
            self.assertFalse(app.sensitive(main_button(app, sodium)))
            # Set with the button, but GTK may still be announcing the rebuilt
            # installed lists: a read at that moment can see a stray child.
            wait_until(lambda: app.status() == "«Sodium» установлен", 30, "the status")
            self.assertEqual(sorted(os.listdir(os.path.join(inst, "mods"))),
                             [FABRIC_API_JAR, SODIUM_JAR])
            wait_until(lambda: app.has_label("Установлено · 2", content), 30, "two rows")
            panel = right_panel(app, content)
            self.assertTrue(app.has_label("Sodium", panel))
            self.assertTrue(app.has_label("Fabric API", panel))
            self.assertTrue(app.has_label("modrinth · mods", panel))
            self.assertTrue(app.has_label("Sodium", home))
            self.assertTrue(app.has_label("Fabric API", home))
            app.screenshot("content")

            # The update takes the newer file the service offers now.
            s.offer("modrinth", "AANobbMI", "sodium-fabric-0.5.4.jar")
            app.click("push button", "Обновить до последней совместимой версии",
                      under=installed_row(app, content, "Sodium"))
            wait_until(lambda: app.status() == "Обновлено: " + SODIUM_JAR, 60, "the update")
            self.assertEqual(sorted(os.listdir(os.path.join(inst, "mods"))),
                             [FABRIC_API_JAR, "sodium-fabric-0.5.4.jar"])

            # Removing takes the file and its record; a file put there by hand
            # has no update button.
            open(os.path.join(inst, "mods", "handmade.jar"), "w").close()
            app.click("push button", "Удалить из сборки",
                      under=installed_row(app, content, "Fabric API"))
            wait_until(lambda: FABRIC_API_JAR not in os.listdir(os.path.join(inst, "mods")), 30,
                       "the removal")
            wait_until(lambda: app.has_label("handmade.jar", content), 30, "the list again")
            self.assertTrue(app.has_label("Установлено · 2", content))
            self.assertFalse(app.has_label("Fabric API", right_panel(app, content)))
            with open(os.path.join(inst, "zyl-content.json")) as f:
                self.assertNotIn("P7dR8mSH", f.read())
            handmade = installed_row(app, content, "handmade.jar")
            self.assertEqual([b.name for b in app.find_all("push button", under=handmade)],
                             ["Удалить из сборки"])

            # Two installs one after the other: the spinner runs until both end.
            extra = "/service/v1/download/modrinth_cdn/data/PtjYWJkn"
            cycle = "/service/v1/download/modrinth_cdn/data/CycA0001"
            s.fault(extra, "hold")
            s.fault(cycle, "hold")
            main_button(app, result_row(app, content, "Sodium Extra")).queryAction().doAction(0)
            main_button(app, result_row(app, content, "Cycle A")).queryAction().doAction(0)
            wait_until(lambda: s.waiting(extra) == 1 and s.waiting(cycle) == 1, 60,
                       "both downloads")
            self.assertEqual(main_button(app, result_row(app, content, "Cycle A")).name,
                             "Установка...")
            wait_until(lambda: spinning(app), 30, "the spinner")
            s.fault(extra, "none")
            wait_until(lambda: main_button(app, result_row(app, content, "Sodium Extra")).name
                       == "Установлен", 60, "the first install")
            self.assertTrue(spinning(app))
            s.fault(cycle, "none")
            wait_until(lambda: main_button(app, result_row(app, content, "Cycle A")).name
                       == "Установлен", 60, "the second install")
            wait_until(lambda: not spinning(app), 30, "the spinner to stop")
            self.assertTrue(os.path.exists(os.path.join(inst, "mods", "cycle-b-1.0.jar")))

            # A source that fails behind the service is named; the other's results stay.
            s.fault("/service/upstream/curseforge", "500")
            self.assertEqual(searched(app, s, lambda: app.click("push button", "Найти")), 1)
            self.assertTrue(app.has_label(
                "CurseForge недоступен — показаны результаты остальных площадок", content))
            self.assertTrue(app.has_label("Sodium", content))
            self.assertFalse(app.has_label("Just Enough Items (JEI)", content))
            searched(app, s, lambda: app.click("push button", "CurseForge", under=content))
            self.assertEqual(app.status(), "Поиск: ошибка")
            self.assertTrue(app.has_label("CurseForge недоступен", content))
            s.fault("/service/upstream/curseforge", "none")

            # An author who forbids other launchers: the page and the folder
            # to use, and the button can be pressed again.
            app.type_into(entry, "jei")
            searched(app, s, lambda: app.click("push button", "Найти"))
            self.assertFalse(app.find_all("label", "CurseForge недоступен", under=content))
            jei = result_row(app, content, "Just Enough Items (JEI)")
            main_button(app, jei).queryAction().doAction(0)
            dialog = app.dialog()
            texts = "\n".join(app.labels(dialog))
            self.assertIn("Автор запретил скачивание сторонними лаунчерами", texts)
            self.assertIn("/minecraft/mc-mods/jei", texts)
            self.assertIn("и положите файл в папку: %s/mods" % inst, texts)
            self.assertEqual([label for label, _ in app.dialog_buttons(dialog)],
                             ["OK", "Открыть страницу", "Открыть папку"])
            app.dialog_button(dialog, "OK")
            self.assertEqual(main_button(app, jei).name, "Установить")
            self.assertTrue(app.sensitive(main_button(app, jei)))
            wait_until(lambda: app.status() == "Нужна ручная загрузка", 30, "the status")
            self.assertEqual(app.pixel(icon(app, jei)), PLACEHOLDER)  # its icon is no picture

            # A data pack goes into the only world without a question...
            app.type_into(entry, "")
            searched(app, s, lambda: app.click("push button", "Датапаки", under=content))
            terralith = result_row(app, content, "Terralith Datapack")
            main_button(app, terralith).queryAction().doAction(0)
            wait_until(lambda: main_button(app, terralith).name == "Установлен", 60,
                       "the data pack")
            self.assertTrue(os.path.exists(os.path.join(
                inst, "saves", "Alpha", "datapacks", "Terralith_1.20.1_v2.4.5.zip")))

            # ...and with two worlds the player picks one; "Отмена" keeps the button.
            combo = app.find("combo box", "Сборка, в которую ставятся моды", under=content)
            searched(app, s, lambda: app.choose_next(combo))
            self.assertTrue(app.has_label("Два мира  ·  1.20.1  ·  Fabric", combo))
            self.assertTrue(app.has_label("Установлено · 0", content))
            terralith = result_row(app, content, "Terralith Datapack")
            main_button(app, terralith).queryAction().doAction(0)
            question = app.dialog()
            self.assertIn("В какой мир установить датапак «Terralith Datapack»?",
                          app.labels(question))
            labels = [label for label, _ in app.dialog_buttons(question)]  # in folder order
            self.assertEqual((sorted(labels[:-1]), labels[-1]), (["Alpha", "Beta"], "Отмена"))
            app.dialog_button(question, "Отмена")
            self.assertEqual(main_button(app, terralith).name, "Установить")
            self.assertTrue(app.sensitive(main_button(app, terralith)))
            main_button(app, terralith).queryAction().doAction(0)
            app.dialog_button(app.dialog(), "Beta")
            wait_until(lambda: main_button(app, terralith).name == "Установлен", 60,
                       "the data pack in Beta")
            self.assertTrue(os.path.exists(os.path.join(
                two, "saves", "Beta", "datapacks", "Terralith_1.20.1_v2.4.5.zip")))
            self.assertFalse(os.path.exists(os.path.join(two, "saves", "Alpha", "datapacks")))

            # Modpacks become instances: one whose author forbids other
            # launchers says why in the notice and can be tried again.
            searched(app, s, lambda: app.click("push button", "Модпаки", under=content))
            locked = result_row(app, content, "Locked Pack")
            self.assertEqual(main_button(app, locked).name, "Создать сборку")
            main_button(app, locked).queryAction().doAction(0)
            wait_until(lambda: app.status() == "Ошибка установки мода — см. сообщение", 60,
                       "the refused pack")
            self.assertTrue(any(t.startswith("Автор запретил автоматическое скачивание модпака. "
                                             "Скачайте вручную: ")
                                for t in app.labels(content)))
            self.assertEqual(main_button(app, locked).name, "Создать сборку")
            self.assertEqual(sorted(os.listdir(os.path.join(s.data, "instances"))),
                             ["Fabric_1.20.1", "Two"])
            self.assertEqual(app.close(), 0)

    def test_service_unreachable_and_import(self):
        with Session("content-offline") as s:
            inst = seed_instance(s, "Fabric_1.20.1", "Fabric 1.20.1", 1700000000)
            broken = os.path.join(s.tmp, "broken.mrpack")
            with zipfile.ZipFile(broken, "w") as z:
                z.writestr("readme.txt", "no index here")
            pack = os.path.join(s.tmp, "Мой пак.mrpack")
            url = s.base() + "/modrinth_cdn/packs/zyl-test-pack-1.0.mrpack"
            with urllib.request.urlopen(url, timeout=30) as r, open(pack, "wb") as f:
                f.write(r.read())

            # The hooks at start: an install (the service is down: straight
            # from Modrinth) and a broken pack that leaves no instance.
            app = s.start({"ZYL_ENDPOINTS": s.endpoints_unreachable("service"),
                           "ZYL_GUI_INSTALL": "modrinth:P7dR8mSH", "ZYL_GUI_IMPORT": broken})
            content = app.page("Контент")
            wait_until(lambda: app.has_label(
                "Это не модпак: нет modrinth.index.json или manifest.json", content), 60,
                "the broken pack's error")
            wait_until(lambda: os.path.exists(os.path.join(inst, "mods", FABRIC_API_JAR)), 60,
                       "the hook's install")
            self.assertEqual(os.listdir(os.path.join(s.data, "instances")), ["Fabric_1.20.1"])

            # The first visit searches once, straight at Modrinth.
            self.assertEqual(searched(app, s, lambda: app.show("Моды"), DIRECT_SEARCH), 1)
            self.assertEqual(app.status(), "CurseForge + Modrinth: найдено 5")
            self.assertFalse(app.has_label(
                "Это не модпак: нет modrinth.index.json или manifest.json", content))
            self.assertTrue(app.has_label("Sodium", content))
            wait_until(lambda: main_button(app, result_row(app, content, "Fabric API")).name
                       == "Установлен", 30, "the installed mark")

            # "Импорт" of a .mrpack: a new instance, selected on the home page,
            # with the pack's files where the pack puts them.
            app.click("push button", "Импорт", under=content)
            app.choose_folder(app.dialog("Модпак: .mrpack (Modrinth) или .zip (CurseForge)"),
                              pack, "Открыть")
            wait_until(lambda: app.status() == "Сборка из модпака «Мой пак.mrpack» создана", 300,
                       "the import")
            made = os.path.join(s.data, "instances", "The_128MB_Pack")
            with open(os.path.join(made, "options.txt")) as f:
                self.assertEqual(f.read(), "lang:ru_ru")  # client-overrides win
            self.assertTrue(os.path.exists(os.path.join(made, "config", "zyl-pack.txt")))
            self.assertEqual(len([n for n in os.listdir(os.path.join(made, "mods"))
                                  if n.endswith(".jar")]), 8)
            home = app.page("Мои сборки")
            app.show("Главная")
            self.assertTrue(app.has_label("Fabric 0.14.24 · Minecraft 1.20.1", home))

            # Modrinth failing too: the notice says why both routes failed.
            app.show("Моды")
            s.fault(DIRECT_SEARCH, "500")
            app.click("push button", "Найти")
            wait_until(lambda: app.status() == "Поиск: ошибка", 60, "the failed search")
            self.assertTrue(any(t.endswith("прямой доступ тоже не удался: "
                                           "Modrinth недоступен (HTTP 500)")
                                for t in app.labels(content)))
            self.assertFalse(app.has_label("Sodium", content))
            self.assertEqual(app.close(), 0)


if __name__ == "__main__":
    unittest.main()
