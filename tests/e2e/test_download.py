"""Download runs of the real tool under Wine against the local test server:
the whole road from Start to the file in the chosen folder, resume and start
over, cancel, and every failure the user must hear of."""
import glob
import os
import unittest
import urllib.parse

from harness import (CANCEL, FILE_NAME, IDCANCEL, IDNO, IDOK, IDYES, LABEL, PROGRESS, PROGRESS_TEXT, PROXY, START,
                     TEST_QUERY, App, DownloadCase, body_bytes_sent, load_session, message, requests_seen,
                     screenshot, server, test_server, wait_until)

SIZE = 300_000
# Canned broken answers (test_server.RAW_ANSWERS): to every request, or only
# to the transfer after a sound probe, where a Content-Range or the body's
# framing is read; and the message each ends with.
MALFORMED = (
    ("two-lengths", "every", "ServerUnreachable"),
    # Wine's client reads this length up to the NUL (16): the body running past it ends the run.
    ("nul-in-length", "every", "Damaged"),
    ("huge-length", "every", "ServerUnreachable"),
    ("negative-length", "every", "ServerUnreachable"),
    ("garbage-length", "every", "ServerUnreachable"),
    ("bad-status-line", "every", "ServerUnreachable"),
    ("garbage-location", "every", "ServerUnreachable"),
    ("file-location", "every", "ServerUnreachable"),
    ("garbage-range", "transfer", "ServerUnreachable"),
    ("overlong-range", "transfer", "ServerUnreachable"),
    ("bad-chunking", "transfer", "Disconnected"),
)


def content_bytes(content):
    return content.read(0, content.length)


class FreshDownload(DownloadCase):
    def test_saves_the_served_bytes_on_the_desktop_and_leaves_nothing_behind(self):
        content = test_server.GeneratedContent(SIZE)
        with server(content) as srv, App() as app:
            app.click(START)
            window = self.save_to_desktop(app)
            self.assertEqual(self.read(self.saved), content_bytes(content))
            self.assertFalse(os.path.exists(app.temp_path))
            self.assertEqual(window.text(PROGRESS_TEXT), "293KB / 292KB  100%Received ")
            self.assertEqual(window[PROGRESS]["position"], SIZE)
            # A HEAD for the length, then the transfer from byte 0, both from
            # the server itself: nothing conditional, nothing from a cache,
            # and the file on the wire once.
            self.assertEqual(requests_seen(srv), [("HEAD", None), ("GET", "bytes=0-")])
            self.assertEqual(body_bytes_sent(srv), SIZE)
            for entry in srv.requests():
                self.assertFalse([h for h, _ in entry["headers"] if h.lower().startswith("if-")], entry)
        cache = os.path.join(load_session()["prefix"], "drive_c", "users")
        copies = [p for p in glob.glob(os.path.join(cache, "**", "INetCache", "**"), recursive=True)
                  if os.path.isfile(p) and os.path.getsize(p) >= SIZE]
        self.assertEqual(copies, [], "the HTTP client kept a copy of the download")

    def test_a_link_with_a_query_sends_it_and_names_the_file_after_the_path(self):
        content = test_server.GeneratedContent(SIZE)
        with server(content, query=TEST_QUERY) as srv, App(kind="query", wine_debug="warn+seh") as app:
            self.assertIn(FILE_NAME, app.window().text(LABEL))
            screenshot("query-link-label")
            # A transfer answered 404 first, so that a debug line names the URL.
            srv.queue_modes("honour", "not-found")
            app.click(START)
            self.assertEqual(app.answer(IDOK)["message"], message("ServerUnreachable"))
            app.wait_idle()
            app.click(START)
            self.save_to_desktop(app)
            self.assertEqual(self.read(self.saved), content_bytes(content))
            self.assertEqual(app.leftovers(), [])
            # The server serves the file only with its query: every request carried it.
            self.assertEqual([urllib.parse.urlsplit(entry["target"]).query for entry in srv.requests()],
                             [TEST_QUERY] * 4)
            self.assertEqual([entry["status"] for entry in srv.requests()], [200, 404, 200, 206])
        with open(app.wine_log, encoding="utf-8", errors="replace") as f:
            lines = [line for line in f if "OutputDebugString" in line and "Cveltrix: message 10: GET http://" in line]
        self.assertEqual(len(lines), 1, lines)
        self.assertIn(FILE_NAME + ": status 404", lines[0])
        self.assertNotIn(TEST_QUERY, lines[0])

    def test_japanese_messages_along_the_way(self):
        with server() as srv, App(lang="ja_JP.UTF-8") as app:
            srv.rate = 150_000
            app.click(START)
            wait_until(lambda: os.path.exists(app.temp_path) and os.path.getsize(app.temp_path) > 0, 20,
                       what="bytes arriving")
            screenshot("downloading-ja")
            box = app.answer(IDOK)
            self.assertEqual(box["message"], "ソフトウェアのダウンロードが終了しました。\n"
                                             "ダウンロードファイルを格納するフォルダを選択してください。")
            picker = app.popup(what="the folder picker")
            self.assertIn("ダウンロードしたファイルの保存先を選択してください。",
                          [c["text"] for c in picker["controls"]])
            app.answer(IDCANCEL)
            self.assertEqual(app.answer(IDOK)["message"], "保存先が正しく選択されませんでした。")

    def test_busy_controls_while_the_bytes_arrive(self):
        with server(rate=100_000), App() as app:
            app.click(START)
            wait_until(lambda: os.path.exists(app.temp_path) and os.path.getsize(app.temp_path) > 0, 20,
                       what="bytes arriving")
            window = app.window()
            screenshot("downloading-en")
            self.assertFalse(window.enabled(START))
            self.assertFalse(window.enabled(PROXY))
            self.assertTrue(window.enabled(CANCEL))
            self.assertRegex(window.text(PROGRESS_TEXT), r"^\d+KB / 292KB  \d+%Received $")
            self.save_to_desktop(app)

    def test_a_server_refusing_head_is_probed_with_a_get(self):
        content = test_server.GeneratedContent(SIZE)
        with server(content, mode="refuse-head") as srv, App() as app:
            app.click(START)
            self.save_to_desktop(app)
            self.assertEqual(requests_seen(srv), [("HEAD", None), ("GET", None), ("GET", "bytes=0-")])
            self.assertEqual([entry["status"] for entry in srv.requests()], [405, 200, 206])
            self.assertEqual(self.read(self.saved), content_bytes(content))


class ResumeAndStartOver(DownloadCase):
    def test_yes_resumes_from_where_the_temp_file_ends(self):
        content = test_server.GeneratedContent(SIZE)
        with server(content) as srv, App() as app:
            self.write_temp(app, content.read(0, 1000))
            app.click(START)
            self.assertEqual(app.answer(IDYES)["message"], message("AskResume"))
            self.save_to_desktop(app)
            self.assertEqual(requests_seen(srv), [("HEAD", None), ("GET", "bytes=1000-")])
            self.assertEqual(body_bytes_sent(srv), SIZE - 1000)
            self.assertEqual(self.read(self.saved), content_bytes(content))

    def test_no_then_yes_starts_over(self):
        content = test_server.GeneratedContent(SIZE)
        with server(content) as srv, App() as app:
            self.write_temp(app, b"x" * 5000)
            app.click(START)
            app.answer(IDNO)
            self.assertEqual(app.answer(IDYES)["message"], message("AskStartOver"))
            self.save_to_desktop(app)
            self.assertEqual(requests_seen(srv), [("HEAD", None), ("GET", "bytes=0-")])
            self.assertEqual(self.read(self.saved), content_bytes(content))

    def test_no_to_both_leaves_the_file_and_the_window_idle(self):
        with server() as srv, App() as app:
            self.write_temp(app, b"x" * 5000)
            app.click(START)
            app.answer(IDNO)
            app.answer(IDNO)
            window = app.wait_idle()
            self.assertTrue(window.enabled(PROXY))
            self.assertEqual(self.read(app.temp_path), b"x" * 5000)
            self.assertEqual(srv.requests(), [])

    def test_an_already_complete_file_is_offered_for_saving(self):
        content = test_server.GeneratedContent(SIZE)
        with server(content), App() as app:
            self.write_temp(app, content_bytes(content))
            app.click(START)
            app.answer(IDYES)
            box = app.answer(IDOK)
            self.assertEqual((box["message"], box["icon"]), (message("AlreadyComplete"), "information"))
            self.save_to_desktop(app)
            self.assertEqual(self.read(self.saved), content_bytes(content))

    def test_a_server_ignoring_the_range_still_gives_the_right_file(self):
        content = test_server.GeneratedContent(SIZE)
        with server(content, mode="ignore-range"), App() as app:
            self.write_temp(app, content.read(0, 1000))
            app.click(START)
            app.answer(IDYES)
            self.save_to_desktop(app)
            self.assertEqual(self.read(self.saved), content_bytes(content))


class Cancel(DownloadCase):
    def test_cancel_keeps_what_arrived_and_the_next_start_asks_to_resume(self):
        content = test_server.GeneratedContent(SIZE)
        with server(content, rate=60_000), App() as app:
            app.click(START)
            wait_until(lambda: os.path.exists(app.temp_path) and os.path.getsize(app.temp_path) > 20_000, 30,
                       what="bytes arriving")
            app.click(CANCEL)
            window = app.wait_idle()
            kept = self.read(app.temp_path)
            self.assertTrue(0 < len(kept) < SIZE, len(kept))
            self.assertEqual(kept, content.read(0, len(kept)))
            self.assertTrue(window.enabled(PROXY))
            self.assertEqual(window.popups, [])
            app.click(START)
            self.assertEqual(app.answer(IDNO)["message"], message("AskResume"))
            app.answer(IDNO)
            app.wait_idle()


class Failures(DownloadCase):
    def run_to_message(self, app):
        app.click(START)
        box = app.answer(IDOK)
        app.wait_idle()
        return box["message"], box["icon"]

    def test_nothing_listening_says_why_to_a_debugger(self):
        with App(wine_debug="warn+seh") as app:  # where Wine 8 logs OutputDebugString
            self.assertEqual(self.run_to_message(app), (message("ServerUnreachable"), "warning"))
            self.assertEqual(app.leftovers(), [])
        # WinINet's "cannot connect" (12029) names the reason the message does not.
        with open(app.wine_log, encoding="utf-8", errors="replace") as f:
            lines = [line for line in f if "OutputDebugString" in line and "Cveltrix: message 10: HEAD http://" in line]
        self.assertEqual(len(lines), 1, lines)
        self.assertIn("no answer, error 12029", lines[0])

    def test_an_error_page_is_never_taken_for_the_file(self):
        with server(mode="not-found"), App() as app:
            self.assertEqual(self.run_to_message(app)[0], message("ServerUnreachable"))
            self.assertEqual(app.leftovers(), [])
            self.assertFalse(os.path.exists(self.saved))

    def test_malformed_answers_end_with_a_message_and_leave_nothing(self):
        with server() as srv, App() as app:
            for name, reaches, expected in MALFORMED:
                with self.subTest(name):
                    for leftover in app.leftovers():  # a failed row's, so that it stays one failure
                        os.remove(os.path.join(app.folder, leftover))
                    srv.clear_requests()
                    srv.set_mode(f"raw={name}")
                    if reaches == "transfer":
                        srv.queue_modes("honour")
                    self.assertEqual(self.run_to_message(app), (message(expected), "warning"))
                    self.assertEqual(app.leftovers(), [])
                    self.assertFalse(os.path.exists(self.saved))
                    self.assertIn(f"raw={name}", [entry["mode"] for entry in srv.requests()])

    def test_an_error_answer_to_the_transfer_appends_nothing(self):
        with server() as srv, App() as app:
            srv.queue_modes("honour", "not-found")
            self.write_temp(app, b"y" * 1000)
            app.click(START)
            app.answer(IDYES)
            self.assertEqual(app.answer(IDOK)["message"], message("ServerUnreachable"))
            app.wait_idle()
            self.assertEqual(self.read(app.temp_path), b"y" * 1000)

    def test_an_early_close_says_the_connection_was_lost_and_keeps_the_bytes(self):
        content = test_server.GeneratedContent(SIZE)
        with server(content) as srv, App() as app:
            srv.queue_modes("honour", "close-after=100000")
            self.assertEqual(self.run_to_message(app)[0], message("Disconnected"))
            self.assertEqual(self.read(app.temp_path), content.read(0, 100_000))

    def test_a_temp_file_that_cannot_be_made(self):
        with server() as srv, App() as app:
            os.mkdir(app.temp_path)  # stands in for a read-only folder
            self.assertEqual(self.run_to_message(app)[0], message("CreateFailed"))
            self.assertEqual(srv.requests(), [])


class SaveStep(DownloadCase):
    def test_a_cancelled_picker_keeps_the_complete_temp_file(self):
        content = test_server.GeneratedContent(SIZE)
        with server(content), App() as app:
            app.click(START)
            self.decline_save(app)
            self.assertEqual(self.read(app.temp_path), content_bytes(content))

    def test_a_file_of_the_same_name_is_replaced(self):
        content = test_server.GeneratedContent(SIZE)
        with open(self.saved, "wb") as f:
            f.write(b"an older installer")
        with server(content), App() as app:
            app.click(START)
            self.save_to_desktop(app)
            self.assertEqual(self.read(self.saved), content_bytes(content))

    def test_a_failed_move_keeps_the_temp_file(self):
        content = test_server.GeneratedContent(SIZE)
        os.mkdir(self.saved)  # a folder of the installer's name cannot be replaced by a file
        with server(content), App() as app:
            app.click(START)
            app.answer(IDOK)
            app.answer(IDOK)
            self.assertEqual(app.answer(IDOK)["message"], message("SaveFailed"))
            app.wait_idle()
            self.assertEqual(self.read(app.temp_path), content_bytes(content))


if __name__ == "__main__":
    unittest.main()
