"""A build that pins the installer's SHA-256 checks the finished file before
handing it over: a right file is saved as before, a wrong one never is, and
it is emptied so the next Start fetches it whole."""
import os
import unittest

from harness import CANCEL, IDOK, IDYES, PROGRESS_TEXT, START, App, DownloadCase, message, server, test_server, wait_until
from test_download import content_bytes

# The pinned test build expects the server's generated content of this size, seed 0.
PINNED_SIZE = 3_000_000


class PinnedBuild(DownloadCase):
    def setUp(self):
        super().setUp()
        self.pinned = test_server.GeneratedContent(PINNED_SIZE)

    def test_the_right_file_is_saved(self):
        with server(self.pinned), App(kind="pinned") as app:
            app.click(START)
            window = self.save_to_desktop(app)
            self.assertEqual(self.read(self.saved), content_bytes(self.pinned))
            self.assertEqual(window.text(PROGRESS_TEXT), "2930KB / 2929KB  100%Received ")

    def test_wrong_bytes_of_the_right_length_are_never_saved(self):
        with server(self.pinned, mode="wrong-bytes"), App(kind="pinned", lang="ja_JP.UTF-8") as app:
            app.click(START)
            box = app.answer(IDOK)
            self.assertEqual((box["message"], box["icon"]), (message("Damaged", "ja"), "warning"))
            app.wait_idle()
            self.assertFalse(os.path.exists(self.saved))
            self.assertEqual(app.leftovers(), [])

    def test_a_file_changed_on_the_server_between_runs_is_fetched_again_whole(self):
        old = test_server.GeneratedContent(PINNED_SIZE, seed=1)
        with server(old, rate=400_000) as srv, App(kind="pinned") as app:
            app.click(START)
            wait_until(lambda: os.path.exists(app.temp_path) and os.path.getsize(app.temp_path) > 100_000, 30,
                       what="bytes arriving")
            app.click(CANCEL)
            app.wait_idle()
            # The server now has the new file, of the same length.
            srv.content, srv.rate = self.pinned, None
            app.click(START)
            app.answer(IDYES)
            # The resume asks for the rest of the old file only; the server
            # answers with the whole new one.
            self.save_to_desktop(app)
            self.assertEqual(self.read(self.saved), content_bytes(self.pinned))
            resume = srv.requests()[-1]
            self.assertEqual((resume["status"], test_server.header(resume, "If-Range")), (200, old.etag))

    def test_nothing_can_change_the_checked_file_before_it_is_saved(self):
        with open(self.saved, "wb") as f:
            f.write(b"an older installer")
        with server(self.pinned), App(kind="pinned") as app:
            self.assertEqual(app.try_write(self.saved), "written")  # nobody holds it
            for start in ("download", "already complete"):
                with self.subTest(start):
                    if start == "already complete":
                        self.write_temp(app, content_bytes(self.pinned))
                    app.click(START)
                    if start == "already complete":
                        app.answer(IDYES)
                        self.assertEqual(app.answer(IDOK)["message"], message("AlreadyComplete"))
                    self.assertEqual(app.message()[0], message("DownloadComplete"))
                    self.assertEqual(app.try_write(app.temp_path), "denied, error 32")  # ERROR_SHARING_VIOLATION
                    self.save_to_desktop(app)
                    self.assertEqual(self.read(self.saved), content_bytes(self.pinned))
                    self.assertEqual(app.leftovers(), [])

    def test_an_already_complete_wrong_file_is_caught_too(self):
        with server(self.pinned), App(kind="pinned") as app:
            self.write_temp(app, b"\0" * PINNED_SIZE)
            app.click(START)
            app.answer(IDYES)
            self.assertEqual(app.answer(IDOK)["message"], message("AlreadyComplete"))
            self.assertEqual(app.answer(IDOK)["message"], message("Damaged"))
            app.wait_idle()
            self.assertEqual(app.leftovers(), [])


class UnpinnedBuild(DownloadCase):
    def test_takes_whatever_complete_file_arrives(self):
        content = test_server.GeneratedContent(PINNED_SIZE)
        with server(content, mode="wrong-bytes"), App(kind="local") as app:
            app.click(START)
            self.save_to_desktop(app)
            self.assertEqual(os.path.getsize(self.saved), PINNED_SIZE)
            self.assertNotEqual(self.read(self.saved), content_bytes(content))


if __name__ == "__main__":
    unittest.main()
