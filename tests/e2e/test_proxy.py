"""The proxy settings as a user meets them: the dialog, its states and captions
in both languages, and downloads through a real proxy (tinyproxy) in front of
the local installer server, with and without a login, with their failures."""
import json
import os
import unittest

from harness import (CANCEL, IDCANCEL, IDOK, IDS, IDYES, PROXY, START, App, DownloadCase, Window, body_bytes_sent,
                     message, requests_seen, screenshot, server, test_server, wait_until)
from proxy import VIA_NAME, RecordingProxy, Tinyproxy, decode_basic

DIALOG = "Proxy Server Setting"
USE, NO_USE = IDS["IDC_USE_PROXY"], IDS["IDC_NO_PROXY"]
EDITS = ADDRESS, PORT, USER, PASSWORD = tuple(IDS[name] for name in ("IDC_ADDRESS", "IDC_PORT", "IDC_USER_NAME",
                                                                       "IDC_PASSWORD"))
LABELS = tuple(IDS[name] for name in ("IDC_ADDRESS_LABEL", "IDC_PORT_LABEL", "IDC_USER_NAME_LABEL",
                                      "IDC_PASSWORD_LABEL"))
LOCALHOST = "127.0.0.1"

SIZE = 300_000
CONTENT = test_server.GeneratedContent(SIZE).read(0, SIZE)
RESUME_AT = 1000

USER_NAME, SECRET = "proxyuser", "Pr0xy-secret"


# ---- the dialog ------------------------------------------------------------

def shown_dialog(app):
    """The proxy dialog once it is on screen, else None."""
    text = app.driver.run("dialog", DIALOG, check=False)
    if text.startswith("error"):
        return None
    dialog = Window(json.loads(text))
    return dialog if dialog[IDOK]["visible"] else None


def open_dialog(app):
    app.click(PROXY)
    return wait_until(lambda: shown_dialog(app), 20, 0.1, "the proxy dialog")


def close_dialog(app, button):
    app.driver.run("press", DIALOG, button)
    wait_until(lambda: app.driver.run("dialog", DIALOG, check=False).startswith("error"), 20, 0.1,
               "the proxy dialog to close")


def fill_in(app, use, address="", port="", user="", password=""):
    app.driver.run("check", DIALOG, USE if use else NO_USE)
    for control, text in zip(EDITS, (address, port, user, password)):
        app.driver.run("settext", DIALOG, control, text)


def enter_settings(app, use=True, address=LOCALHOST, port="", user="", password=""):
    """Opens the dialog, fills it in and presses OK."""
    open_dialog(app)
    fill_in(app, use, address, port, user, password)
    close_dialog(app, IDOK)


def texts(dialog):
    return [dialog.text(control) for control in EDITS]


# ---- downloads -------------------------------------------------------------

class ProxyCase(DownloadCase):
    """A download case with the local server up, and proxies on demand."""

    def setUp(self):
        super().setUp()
        self.origin = server()
        self.origin.start()
        self.addCleanup(self.origin.stop)

    def proxy(self, user=None, password=None):
        proxy = Tinyproxy(user, password).start()
        self.addCleanup(proxy.stop)
        return proxy

    def app(self, prefix=None):
        """The tool, started; with prefix, its temp file holds those bytes first."""
        app = App()
        if prefix is not None:
            self.write_temp(app, prefix)
        self.addCleanup(app.stop)
        return app.start()

    def start(self, app, resume=False):
        app.click(START)
        if resume:
            self.assertEqual(app.answer(IDYES)["message"], message("AskResume"))

    def saved_bytes(self, app):
        """Takes a finished run through message 8 and the folder picker; returns the saved bytes."""
        self.save_to_desktop(app)
        return self.read(self.saved)

    def assert_via_proxy(self, entries):
        self.assertTrue(entries, "no request reached the server")
        for entry in entries:
            self.assertIn(VIA_NAME, test_server.header(entry, "Via") or "", entry["request_line"])


# ---- cases -------------------------------------------------------------------

class DialogState(unittest.TestCase):
    def assert_shown(self, app, use, values):
        """Opens the dialog, checks the choice, the edits' state and texts, and cancels it; returns it."""
        dialog = open_dialog(app)
        self.assertEqual((dialog[USE]["checked"], dialog[NO_USE]["checked"]), (use, not use))
        self.assertEqual([dialog.enabled(control) for control in EDITS], [use] * len(EDITS))
        self.assertEqual(texts(dialog), values)
        close_dialog(app, IDCANCEL)
        return dialog

    def test_fresh_start_shows_do_not_use_and_empty_disabled_edits(self):
        with App() as app:
            self.assertEqual(self.assert_shown(app, False, ["", "", "", ""]).focus, IDOK)

    def test_choosing_use_enables_the_edits_and_do_not_use_disables_them(self):
        with App() as app:
            open_dialog(app)
            app.driver.run("check", DIALOG, USE)
            dialog = app.dialog(DIALOG)
            self.assertTrue(all(dialog.enabled(control) for control in EDITS))
            self.assertFalse(dialog[NO_USE]["checked"])
            app.driver.run("check", DIALOG, NO_USE)
            dialog = app.dialog(DIALOG)
            self.assertFalse(any(dialog.enabled(control) for control in EDITS))
            close_dialog(app, IDCANCEL)

    def test_cancel_after_typing_leaves_the_fresh_settings(self):
        with App() as app:
            open_dialog(app)
            fill_in(app, True, "proxy.example", "8080", "someone", "secret")
            close_dialog(app, IDCANCEL)
            self.assert_shown(app, False, ["", "", "", ""])

    def test_ok_stores_the_values_and_cancel_keeps_them(self):
        # Stored without the blanks around address, port and user name; the
        # password as typed, its blanks and colon included.
        typed = [" 10.1.2.3 ", "3128 ", " Some One", " pa ss:word "]
        stored = ["10.1.2.3", "3128", "Some One", " pa ss:word "]
        with App() as app:
            enter_settings(app, True, *typed)
            self.assert_shown(app, True, stored)
            open_dialog(app)
            fill_in(app, False, "other", "1", "nobody", "nothing")
            close_dialog(app, IDCANCEL)
            self.assert_shown(app, True, stored)

    def test_ok_with_do_not_use_keeps_the_typed_values(self):
        typed = ["proxy.local", "8080", "someone", "secret"]
        with App() as app:
            enter_settings(app, False, *typed)
            self.assert_shown(app, False, typed)

    def test_password_is_masked_on_open_and_after_a_change(self):
        with App() as app:
            self.assertEqual(open_dialog(app)[PASSWORD]["passwordChar"], ord("*"))
            app.driver.run("check", DIALOG, USE)
            app.driver.run("settext", DIALOG, PASSWORD, "changed")
            dialog = app.dialog(DIALOG)
            self.assertEqual(dialog[PASSWORD]["passwordChar"], ord("*"))
            for control in (ADDRESS, PORT, USER):
                self.assertEqual(dialog[control]["passwordChar"], 0, f"edit {control}")
            close_dialog(app, IDCANCEL)


class KeyboardAndScreenReader(unittest.TestCase):
    def tab_order(self, app):
        """The controls Tab visits, from OK round to the one before it."""
        order = json.loads(app.driver.run("tab-order", DIALOG))
        start = order.index(IDOK)
        return order[start:] + order[:start]

    def test_tab_follows_the_screen_and_each_edit_follows_its_label(self):
        with App() as app:
            # Only the buttons and the chosen radio button while the edits are off.
            self.assertEqual(open_dialog(app).focus, IDOK)
            self.assertEqual(self.tab_order(app), [IDOK, IDCANCEL, NO_USE])
            app.driver.run("check", DIALOG, USE)
            self.assertEqual(self.tab_order(app), [IDOK, IDCANCEL, USE, ADDRESS, PORT, USER, PASSWORD])
            # A screen reader names an edit after the static text just before it.
            controls = app.dialog(DIALOG).data["controls"]
            for edit, label in zip(EDITS, LABELS):
                before = controls[[c["id"] for c in controls].index(edit) - 1]
                self.assertEqual((before["id"], before["class"].lower()), (label, "static"), f"edit {edit}")
            close_dialog(app, IDCANCEL)


class DialogCaptions(unittest.TestCase):
    def check_captions(self, lang, expected, shot):
        with App(lang=lang) as app:
            dialog = open_dialog(app)
            self.assertEqual(dialog.title, DIALOG)
            for control, text in expected.items():
                self.assertEqual(dialog.text(control), text, f"control {control}")
            screenshot(shot)
            close_dialog(app, IDCANCEL)

    def test_english(self):
        self.check_captions("en_US.UTF-8", {1017: "Address", 1018: "Port", 1019: "User Name", 1020: "Password",
                                            USE: "Use proxy server", NO_USE: "Do not use proxy server",
                                            IDOK: "OK", IDCANCEL: "Cancel"}, "proxy-dialog-en")

    def test_japanese(self):
        self.check_captions("ja_JP.UTF-8", {1017: "アドレス", 1018: "ポート", 1019: "ユーザー名", 1020: "パスワード",
                                            USE: "使用する", NO_USE: "使用しない", IDOK: "OK", IDCANCEL: "キャンセル"},
                            "proxy-dialog-ja")


class DuringTransfer(ProxyCase):
    def test_proxy_button_is_disabled_while_a_download_runs(self):
        self.origin.rate = 100_000
        app = self.app()
        self.start(app)
        busy = wait_until(lambda: (lambda w: w if w.enabled(CANCEL) else None)(app.window()), 20, 0.1,
                          "the transfer to run")
        self.assertFalse(busy.enabled(PROXY))
        self.assertFalse(busy.enabled(START))
        app.click(CANCEL)
        self.assertTrue(app.wait_idle().enabled(PROXY))


class ThroughTinyproxy(ProxyCase):
    """A fresh download, then a resume in the same tool: the origin sees one
    HEAD and one ranged GET each time, and the proxy nothing twice but the
    exchanges a login asks for."""

    def download_then_resume(self, user="", password=""):
        """The methods tinyproxy saw in each of the two runs."""
        proxy = self.proxy(user or None, password or None)
        app = self.app()
        enter_settings(app, port=str(proxy.port), user=user, password=password)
        seen = []
        for start in (0, RESUME_AT):
            self.origin.clear_requests()
            before = len(proxy.requests())
            if start:
                with open(app.temp_path, "wb") as f:
                    f.write(CONTENT[:start])
            self.start(app, resume=bool(start))
            self.assertEqual(self.saved_bytes(app), CONTENT)
            self.assert_via_proxy(self.origin.requests())
            self.assertEqual(requests_seen(self.origin), [("HEAD", None), ("GET", f"bytes={start}-")])
            self.assertEqual(body_bytes_sent(self.origin), SIZE - start)
            seen.append([line.split()[0] for line in proxy.requests()[before:]])
        self.assertTrue(all(line.split()[1].startswith("http://127.0.0.1:") for line in proxy.requests()), proxy.log())
        return seen

    def test_without_login_each_request_is_sent_once(self):
        self.assertEqual(self.download_then_resume(), [["HEAD", "GET"]] * 2)

    def test_with_login_each_request_is_sent_again_only_with_the_credentials(self):
        for methods in self.download_then_resume(USER_NAME, SECRET):
            self.assertEqual(methods, sorted(methods, key=["HEAD", "GET"].index))
            # The request and the resend that answers the 407. Wine sends
            # that resend without the credentials once more and, on the
            # proxy's second 407, retries by itself with them.
            for verb in ("HEAD", "GET"):
                self.assertIn(methods.count(verb), (2, 3), methods)

    def test_a_server_refusing_head_is_probed_with_a_get_behind_a_login(self):
        self.origin.set_mode("refuse-head")
        proxy = self.proxy(USER_NAME, SECRET)
        app = self.app()
        enter_settings(app, port=str(proxy.port), user=USER_NAME, password=SECRET)
        self.start(app)
        self.assertEqual(self.saved_bytes(app), CONTENT)
        self.assertEqual(requests_seen(self.origin), [("HEAD", None), ("GET", None), ("GET", "bytes=0-")])


class ProxyFailures(ProxyCase):
    def test_wrong_password_says_login_failed_and_keeps_the_temp_file(self):
        proxy = self.proxy(USER_NAME, SECRET)
        app = self.app(CONTENT[:RESUME_AT])
        enter_settings(app, port=str(proxy.port), user=USER_NAME, password="wrong")
        self.start(app, resume=True)
        self.expect_failure(app, "ProxyAuthFailed")
        self.assertEqual(self.read(app.temp_path), CONTENT[:RESUME_AT])
        self.assertEqual(self.origin.requests(), [])

    def test_empty_user_name_at_a_proxy_that_demands_a_login(self):
        proxy = self.proxy(USER_NAME, SECRET)
        app = self.app()
        enter_settings(app, port=str(proxy.port), password=SECRET)
        self.start(app)
        self.expect_failure(app, "ProxyAuthFailed")
        self.assertEqual(self.origin.requests(), [])

    def test_nothing_listening_on_the_proxy_port(self):
        with test_server.NothingListening() as nothing:
            app = self.app()
            enter_settings(app, port=str(nothing.port))
            self.start(app)
            self.expect_failure(app, "ProxyUnreachable")
        self.assertEqual(self.origin.requests(), [])

    def test_empty_port_fails_clearly(self):
        app = self.app()
        enter_settings(app, port="")
        self.start(app)
        self.expect_failure(app, "ProxyUnreachable", "ServerUnreachable")
        self.assertFalse(os.path.exists(self.saved))


class LongCredentials(ProxyCase):
    def test_hundred_character_user_name_and_password_reach_the_proxy_whole(self):
        # Every tenth character its own, so a cut anywhere shows.
        user = "".join(chr(ord("a") + i % 26) if i % 10 else str(i // 10) for i in range(100))
        password = "".join(chr(ord("Z") - i % 26) if i % 10 else str(i // 10) for i in range(100))
        with RecordingProxy() as stub:
            app = self.app()
            enter_settings(app, port=str(stub.port), user=user, password=password)
            self.start(app)
            self.assertEqual(self.saved_bytes(app), CONTENT)
            sent = {decode_basic(credentials) for _, credentials in stub.requests() if credentials is not None}
        self.assertEqual(sent, {f"{user}:{password}"})


if __name__ == "__main__":
    unittest.main()
