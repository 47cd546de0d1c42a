"""A resume continues only the file it began: a new build under the same URL
is fetched whole, an unchanged one is continued, and an answer that only
looks smaller (a sign-in portal's page) never costs the partial."""
import os
import unittest

from harness import (CANCEL, IDNO, IDYES, START, TEMP_NAME, App, DownloadCase, message, requests_seen, screenshot,
                     server, test_server, wait_until)
from test_download import content_bytes

ONE_MIB = 1 << 20
SIZE = 3 * ONE_MIB


class ResumeOntoTheSameFile(DownloadCase):
    def cancel_past_one_mib(self, app, srv):
        """A run slowed down so that Cancel lands just past 1 MiB; returns what the temp file kept."""
        srv.rate = ONE_MIB
        app.click(START)
        wait_until(lambda: os.path.exists(app.temp_path) and os.path.getsize(app.temp_path) >= ONE_MIB, 30,
                   what="1 MiB arriving")
        app.click(CANCEL)
        app.wait_idle()
        srv.rate = None
        kept = self.read(app.temp_path)
        self.assertEqual(kept, srv.content.read(0, len(kept)))
        self.assertEqual(app.leftovers(), [TEMP_NAME, TEMP_NAME + ".validator"])
        return kept

    def test_a_new_build_is_fetched_whole_and_an_unchanged_one_continued(self):
        with server(test_server.GeneratedContent(SIZE)) as srv, App() as app:
            for change, extra in (("unchanged", None), ("same size", 0), ("1 MiB longer", ONE_MIB)):
                with self.subTest(change):
                    old = srv.content
                    kept = self.cancel_past_one_mib(app, srv)
                    srv.content = old if extra is None else old.next_version(extra)
                    srv.clear_requests()
                    app.click(START)
                    self.assertEqual(app.answer(IDYES)["message"], message("AskResume"))
                    self.save_to_desktop(app)
                    self.assertEqual(self.read(self.saved), content_bytes(srv.content))
                    self.assertEqual(app.leftovers(), [])
                    # One ranged GET naming the version the temp file began with; a
                    # new build answers it with itself, whole.
                    self.assertEqual(requests_seen(srv), [("HEAD", None), ("GET", f"bytes={len(kept)}-")])
                    transfer = srv.requests()[1]
                    self.assertEqual(test_server.header(transfer, "If-Range"), old.etag)
                    sent = (206, SIZE - len(kept)) if extra is None else (200, srv.content.length)
                    self.assertEqual((transfer["status"], transfer["body_bytes"]), sent)
                    self.clear_desktop()

    def test_a_sign_in_portal_never_costs_the_partial(self):
        with server(test_server.GeneratedContent(SIZE)) as srv, App() as app:
            kept = self.cancel_past_one_mib(app, srv)
            validator = self.read(app.temp_path + ".validator")
            srv.set_mode("portal")
            srv.clear_requests()
            app.click(START)
            self.assertEqual(app.answer(IDYES)["message"], message("AskResume"))
            self.assertEqual(app.message()[0], message("AskStartOver"))
            screenshot("portal-asks-start-over")
            app.answer(IDNO)
            app.wait_idle()
            self.assertEqual(requests_seen(srv), [("HEAD", None)])
            self.assertEqual(self.read(app.temp_path), kept)
            self.assertEqual(self.read(app.temp_path + ".validator"), validator)
            self.assertFalse(os.path.exists(self.saved))


if __name__ == "__main__":
    unittest.main()
