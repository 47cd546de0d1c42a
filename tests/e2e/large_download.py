"""Opt-in, not part of the default suite (it moves over 4 GiB through Wine,
about two minutes here): a file past 4 GiB downloads, resumes from a temp
file past 4 GiB, completes and is saved.

    ctest --test-dir build/native -R e2e.session.setup      # after bash test.sh
    cd tests/e2e && CVELTRIX_E2E_DIR=$PWD/../../build/native/tests/e2e/session \
        python3 -m unittest -v large_download
"""
import hashlib
import os
import unittest

from harness import IDYES, PROGRESS, PROGRESS_TEXT, START, App, DownloadCase, server, test_server

SIZE = 4 * 1024 ** 3 + 1_000_000  # past every 32-bit count
RESUME_AT = 4 * 1024 ** 3 + 200_000


class PastFourGiB(DownloadCase):
    def test_resumes_and_completes_a_file_past_4_gib(self):
        content = test_server.GeneratedContent(SIZE)
        with server(content) as srv, App() as app:
            # A sparse temp file whose first RESUME_AT bytes stand for an
            # earlier run; only the bytes after it are compared.
            with open(app.temp_path, "wb") as f:
                f.truncate(RESUME_AT)
            app.click(START)
            app.answer(IDYES)
            window = self.save_to_desktop(app, timeout=900)
            self.assertEqual(test_server.header(srv.requests()[1], "Range"), f"bytes={RESUME_AT}-")
            self.assertEqual(os.path.getsize(self.saved), SIZE)
            with open(self.saved, "rb") as f:
                f.seek(RESUME_AT)
                self.assertEqual(f.read(), content.read(RESUME_AT, SIZE - RESUME_AT))
            self.assertEqual(window.text(PROGRESS_TEXT), "4195281KB / 4195280KB  100%Received ")
            self.assertEqual(window[PROGRESS]["position"], window[PROGRESS]["maximum"])

    def test_downloads_a_file_past_4_gib_from_the_start(self):
        content = test_server.GeneratedContent(SIZE)
        with server(content), App() as app:
            app.click(START)
            self.save_to_desktop(app, timeout=1800)
            self.assertEqual(os.path.getsize(self.saved), SIZE)
            digest = hashlib.sha256()
            with open(self.saved, "rb") as f:
                for block in iter(lambda: f.read(1 << 22), b""):
                    digest.update(block)
            self.assertEqual(digest.hexdigest(), test_server.sha256_of(content))


if __name__ == "__main__":
    unittest.main()
