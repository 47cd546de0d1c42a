"""How Windows treats the tool: the main window and the proxy dialog at 100,
150 and 200 % display scaling in both languages (screenshots to look at),
the window's icons drawn for its DPI, and the taskbar button's calls
reaching the shell's ITaskbarList3."""
import re
import unittest

from harness import IDCANCEL, IDOK, START, App, screenshot, server, set_dpi
from test_proxy import close_dialog, open_dialog

# Wine's LogPixels: the large and small icon sizes Windows asks for there.
ICON_SIZES = {96: (32, 16), 144: (48, 24), 192: (64, 32)}
LANGUAGES = {"en": "en_US.UTF-8", "ja": "ja_JP.UTF-8"}


class Scaling(unittest.TestCase):
    def tearDown(self):
        set_dpi(96)

    def test_window_and_proxy_dialog_at_each_scaling_in_both_languages(self):
        for dpi, sizes in ICON_SIZES.items():
            set_dpi(dpi)
            for tag, lang in LANGUAGES.items():
                with self.subTest(dpi=dpi, lang=tag), App(lang=lang) as app:
                    icons = app.driver.json("window-icons")
                    self.assertEqual((icons["big"], icons["small"]), ("resource:133", "resource:133"))
                    self.assertEqual((icons["bigSize"], icons["smallSize"]), sizes)
                    screenshot(f"dpi{dpi}-main-{tag}")
                    open_dialog(app)
                    screenshot(f"dpi{dpi}-proxy-{tag}")
                    close_dialog(app, IDCANCEL)


class TaskbarButton(unittest.TestCase):
    def test_calls_reach_the_shells_taskbar_list_once_the_button_is_announced(self):
        # Wine's ITaskbarList3 draws nothing and reports only the first call
        # of each method, as a FIXME.
        with server(), App(wine_debug="fixme+explorerframe,trace+explorerframe") as app:
            window = f"hwnd {app.window().data['hwnd']:016X}"
            app.driver.run("taskbar-button-created")
            app.click(START)
            app.answer(IDOK)      # the download is complete
            app.answer(IDCANCEL)  # no folder picked
            app.answer(IDOK)      # and that is reported
            app.wait_idle()
        with open(app.wine_log, encoding="utf-8", errors="replace") as f:
            log = f.read()
        self.assertIn("taskbar_list_HrInit", log)
        # Idle on the announcement: no progress shown.
        self.assertRegex(log, r"SetProgressState iface \w+, " + re.escape(window) + ", flags 0 ")
        # The transfer starts: 0 of the bar's 300000 (0x493e0).
        self.assertRegex(log, r"SetProgressValue iface \w+, " + re.escape(window) +
                         ", ullCompleted 0, ullTotal 493e0 ")


if __name__ == "__main__":
    unittest.main()
