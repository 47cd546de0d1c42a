"""The main window as a user finds it: title, captions in both languages, the
description label, the control states, the version box, and the ways out."""
import unittest

from harness import (CANCEL, EXIT, FILE_NAME, IDS, IDNO, IDOK, IDYES, LABEL, PROGRESS, PROGRESS_TEXT, PROXY, START, TITLE, App,
                     screenshot, wait_until)

ENGLISH = {START: "Download", CANCEL: "Cancel", EXIT: "Exit", PROXY: "Proxy Server Setting",
           LABEL: "Downloading the " + FILE_NAME}
JAPANESE = {START: "ダウンロード", CANCEL: "キャンセル", EXIT: "終了", PROXY: "プロキシ設定",
            LABEL: FILE_NAME + "をダウンロードします。"}
ABOUT = IDS["IDM_ABOUTBOX"]
SC_CLOSE = 0xF060


class Captions(unittest.TestCase):
    def check_captions(self, lang, expected, shot=None):
        with App(lang=lang) as app:
            window = app.window()
            self.assertEqual(window.title, TITLE)
            for control, text in expected.items():
                self.assertEqual(window.text(control), text, f"control {control}")
            if shot:
                screenshot(shot)

    def test_english(self):
        self.check_captions("en_US.UTF-8", ENGLISH, "main-window-en")

    def test_japanese(self):
        self.check_captions("ja_JP.UTF-8", JAPANESE, "main-window-ja")

    def test_other_languages_show_english(self):
        self.check_captions("de_DE.UTF-8", ENGLISH)


class InitialState(unittest.TestCase):
    def test_idle_controls_and_focus_on_start(self):
        with App() as app:
            window = app.window()
            self.assertTrue(window.enabled(START))
            self.assertTrue(window.enabled(PROXY))
            self.assertTrue(window.enabled(EXIT))
            self.assertFalse(window.enabled(CANCEL))
            self.assertEqual(window.text(PROGRESS_TEXT), "")
            self.assertEqual(window[PROGRESS]["position"], 0)
            self.assertEqual(window.focus, START)
            self.assertEqual(window.popups, [])

    def test_window_icon_is_the_tools_own_large_and_small(self):
        with App() as app:
            self.assertEqual(app.driver.json("window-icons"),
                             {"big": "resource:133", "small": "resource:133", "bigSize": 32, "smallSize": 16})


class SystemMenu(unittest.TestCase):
    def check_menu(self, lang, version_text, shot):
        with App(lang=lang) as app:
            items = app.driver.json("sysmenu")
            versions = [i for i, item in enumerate(items) if item["id"] == ABOUT]
            self.assertEqual(len(versions), 1, items)
            version = versions[0]
            self.assertGreater(version, 0, items)
            self.assertTrue(items[version - 1]["separator"], items)
            self.assertEqual((items[version]["text"], items[version]["grayed"]), (version_text, False))
            closes = [item for item in items if item["id"] == SC_CLOSE]
            self.assertEqual(len(closes), 1, items)
            self.assertTrue(closes[0]["grayed"], closes)
            app.driver.run("open-sysmenu")
            wait_until(lambda: app.window().data["menuOpen"], 10, what="the system menu")
            screenshot(shot)

    def test_version_entry_after_a_separator_and_close_greyed_in_both_languages(self):
        self.check_menu("en_US.UTF-8", "Version information", "system-menu-en")
        self.check_menu("ja_JP.UTF-8", "バージョン情報", "system-menu-ja")


class VersionBox(unittest.TestCase):
    def check_version_box(self, lang, shot):
        with App(lang=lang) as app:
            app.driver.run("syscommand", ABOUT)
            box = app.popup(what="the version box")
            lines = {c["id"]: c["text"] for c in box["controls"]}
            self.assertEqual(lines[1023], "Cveltrix Downloader V1.0.0.0")
            self.assertTrue(lines[1024].startswith("Copyright"), lines[1024])
            screenshot(shot)
            app.answer(IDOK)
            self.assertTrue(app.window().enabled(START))
            return lines

    def test_product_and_copyright_lines_in_both_languages(self):
        self.assertEqual(self.check_version_box("en_US.UTF-8", "version-box-en"),
                         self.check_version_box("ja_JP.UTF-8", "version-box-ja"))


class Leaving(unittest.TestCase):
    def test_no_to_exit_keeps_the_window(self):
        with App() as app:
            app.click(EXIT)
            box = app.answer(IDNO)
            self.assertEqual((box["message"], box["icon"], box["title"]), ("Exit ?", "question", "Cveltrix"))
            buttons = sorted(c["id"] for c in box["controls"] if c["class"].lower() == "button")
            self.assertEqual(buttons, [IDYES, IDNO])
            self.assertIsNone(app.process.poll())
            self.assertTrue(app.window().enabled(START))

    def test_yes_to_exit_ends_the_process(self):
        with App(lang="ja_JP.UTF-8") as app:
            app.click(EXIT)
            box = app.answer(IDYES)
            self.assertEqual(box["message"], "終了しますか？")
            self.assertTrue(app.exited())

    def test_escape_ends_at_once_without_asking(self):
        with App() as app:
            app.driver.run("key", "esc")
            self.assertTrue(app.exited())

    def test_enter_ends_at_once_without_asking(self):
        # Enter on a focused push button presses that button; the accept
        # command comes from Enter where no push button has the focus.
        with App() as app:
            app.driver.run("key", "tab")
            wait_until(lambda: app.window().focus == PROXY, 10, what="the focus on Proxy")
            app.driver.run("key", "tab")
            wait_until(lambda: app.window().focus == PROGRESS_TEXT, 10, what="the focus on the progress text")
            app.driver.run("key", "enter")
            self.assertTrue(app.exited())


class Minimized(unittest.TestCase):
    def test_minimize_and_restore(self):
        with App() as app:
            app.driver.run("minimize")
            wait_until(lambda: app.window().data["iconic"], 10, what="minimized")
            app.driver.run("restore")
            window = wait_until(lambda: (lambda w: w if not w.data["iconic"] else None)(app.window()), 10,
                                what="restored")
            self.assertEqual(window.text(START), "Download")


if __name__ == "__main__":
    unittest.main()
