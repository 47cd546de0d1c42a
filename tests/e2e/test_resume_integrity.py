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
PINNED_SIZE = 3_000_000  # the pinned test build's file: generated, seed 0

# Servers that cannot be trusted to say the file changed, against a file
# replaced by one of the same size or 1 MiB longer: (validators, growth,
# build). What the tool can tell (a range of another version, another
# length) it fetches again whole; a same-size file without a strong
# validator cannot be told by the tool, and the pinned build refuses it.
UNTRUSTED_SERVERS = (
    ("ignore-if-range", 0, "local"),
    ("ignore-if-range", ONE_MIB, "local"),
    ("weak-etag", ONE_MIB, "local"),
    ("none", ONE_MIB, "local"),
    ("weak-etag", 0, "pinned"),
    ("none", 0, "pinned"),
)


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
                    # new build answers it with itself, whole. A probe of another
                    # length than the kept one is a new build already: from 0.
                    longer = extra == ONE_MIB
                    self.assertEqual(requests_seen(srv), [("HEAD", None), ("GET", f"bytes={0 if longer else len(kept)}-")])
                    transfer = srv.requests()[1]
                    self.assertEqual(test_server.header(transfer, "If-Range"), None if longer else old.etag)
                    sent = {None: (206, SIZE - len(kept)), 0: (200, SIZE), ONE_MIB: (206, SIZE + ONE_MIB)}[extra]
                    self.assertEqual((transfer["status"], transfer["body_bytes"]), sent)
                    self.clear_desktop()

    def test_a_server_that_cannot_tell_never_gets_a_spliced_file_saved(self):
        for cache, extra, kind in UNTRUSTED_SERVERS:
            with self.subTest(cache=cache, extra=extra, kind=kind):
                old = test_server.GeneratedContent(PINNED_SIZE if kind == "pinned" else SIZE, seed=7)
                new = test_server.GeneratedContent(PINNED_SIZE) if kind == "pinned" else old.next_version(extra)
                with server(old, cache=cache) as srv, App(kind=kind) as app:
                    kept = self.cancel_past_one_mib(app, srv)
                    srv.content = new
                    srv.clear_requests()
                    app.click(START)
                    app.answer(IDYES)
                    if kind == "pinned":
                        self.expect_failure(app, "Damaged")
                        self.assertFalse(os.path.exists(self.saved))
                    else:
                        self.save_to_desktop(app)
                        self.assertEqual(self.read(self.saved), content_bytes(new))
                        # The range of another version is asked for again from 0.
                        again = [("GET", f"bytes={len(kept)}-")] if extra == 0 else []
                        self.assertEqual(requests_seen(srv), [("HEAD", None), *again, ("GET", "bytes=0-")])
                    self.assertEqual(app.leftovers(), [])
                    self.clear_desktop()

    def test_a_whole_temp_file_of_an_older_build_is_never_saved_for_the_new_one(self):
        old = test_server.GeneratedContent(SIZE, seed=7)
        new = old.next_version(0)
        with server(old, cache="ignore-if-range") as srv, App() as app:
            # The save declined: the whole old build stays as the temp file.
            app.click(START)
            self.decline_save(app)
            self.assertEqual(self.read(app.temp_path), content_bytes(old))
            srv.content = new
            srv.clear_requests()
            app.click(START)
            self.assertEqual(app.answer(IDYES)["message"], message("AskResume"))
            # No "already complete": the probe named another build, which
            # comes whole once the server has answered the resume past the end.
            self.save_to_desktop(app)
            saved = self.read(self.saved)
            self.assertEqual(saved, content_bytes(new))
            self.assertNotEqual(saved, content_bytes(old))
            self.assertEqual(requests_seen(srv), [("HEAD", None), ("GET", f"bytes={SIZE}-"), ("GET", "bytes=0-")])
            self.assertEqual([entry["status"] for entry in srv.requests()], [200, 416, 206])
            self.assertEqual(test_server.header(srv.requests()[1], "If-Range"), old.etag)
            self.assertEqual(app.leftovers(), [])

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
