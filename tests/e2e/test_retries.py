"""A copy built to try again by itself carries on after dropped connections
and a busy server without a box, and Cancel or Exit end its wait at once; any copy
waits a few seconds for a destination that another process holds before the
move fails."""
import os
import subprocess
import time

from harness import (CANCEL, DRIVER, EXIT, IDOK, IDYES, MESSAGES, PICKER, PROGRESS_TEXT, START, App, DownloadCase,
                     message, screenshot, server, test_server, wait_until, wine_path)
from test_download import content_bytes

SIZE = 300_000
DROP_AT = 100_000
TRIES = 3


def debug_lines(app, text):
    """The lines the tool wrote for a debugger that hold `text`."""
    with open(app.wine_log, encoding="utf-8", errors="replace") as log:
        return [line.strip() for line in log if "OutputDebugString" in line and text in line]


def wait_line(seconds, attempt, lang="en"):
    """The progress line of a wait before the `attempt`th try again."""
    text = MESSAGES["RetryWait"][lang != "en"]
    return text.replace("%1", str(seconds)).replace("%2", str(attempt)).replace("%3", str(TRIES))


class Retries(DownloadCase):
    content = test_server.GeneratedContent(SIZE)

    def test_two_drops_mid_body_are_resumed_and_the_file_saved_without_a_box(self):
        # Wine 8 logs OutputDebugString as a warning of its seh channel.
        with server(self.content) as srv, App(kind="retrying", wine_debug="warn+seh") as app:
            srv.queue_modes("honour", f"close-after={DROP_AT}", f"close-after={DROP_AT}")
            app.click(START)
            # The first box is message 8.
            self.save_to_desktop(app)
            self.assertEqual(self.read(self.saved), content_bytes(self.content))
            gets = [entry for entry in srv.requests() if entry["method"] == "GET"]
            self.assertEqual([test_server.header(entry, "Range") for entry in gets],
                             ["bytes=0-", f"bytes={DROP_AT}-", f"bytes={2 * DROP_AT}-"])
            self.assertEqual([test_server.header(entry, "If-Range") for entry in gets],
                             [None, self.content.etag, self.content.etag])
        # Each try again is a phase of the run, traced for a debugger.
        self.assertEqual(len(debug_lines(app, "Cveltrix: worker: transfer -> wait-to-retry")), 2)
        self.assertEqual(len(debug_lines(app, "Cveltrix: worker: wait-to-retry -> ask-for-body")), 2)

    def test_a_busy_server_is_asked_again_once_its_retry_after_has_passed(self):
        for lang in ("en", "ja"):
            with self.subTest(lang=lang), server(self.content) as srv, \
                    App(kind="retrying", lang="en_US.UTF-8" if lang == "en" else "ja_JP.UTF-8") as app:
                # The probe's HEAD and the GET it falls back to.
                srv.queue_modes("status=503,retry-after=2", "status=503,retry-after=2")
                app.click(START)
                wait_until(lambda: app.window().text(PROGRESS_TEXT) == wait_line(2, 1, lang), 20, what="the wait line")
                screenshot(f"retry-wait-{lang}")
                self.assertEqual(app.answer(IDOK)["message"], message("DownloadComplete", lang))
                app.answer(IDOK)  # the picker, at the desktop
                app.wait_idle()
                self.assertEqual(self.read(self.saved), content_bytes(self.content))
                statuses = [entry["status"] for entry in srv.requests()]
                self.assertEqual(statuses[:3], [503, 503, 200])
                times = [entry["time"] for entry in srv.requests()]
                self.assertGreaterEqual(times[2] - times[1], 1.9)

    def start_a_long_wait(self, srv, app):
        """A drop mid-body, then a server that asks for 30 s: the run waits."""
        srv.queue_modes("honour", f"close-after={DROP_AT}", "status=503,retry-after=30")
        app.click(START)
        wait_until(lambda: app.window().text(PROGRESS_TEXT) == wait_line(30, 2), 20, what="the long wait")

    def test_cancel_ends_a_wait_at_once_and_keeps_the_partial_file(self):
        with server(self.content) as srv, App(kind="retrying") as app:
            self.start_a_long_wait(srv, app)
            clicked = time.monotonic()
            app.click(CANCEL)
            self.assertEqual(app.wait_idle(timeout=1.0).popups, [])
            print(f"idle {time.monotonic() - clicked:.2f} s after the Cancel click")
            self.assertEqual(self.read(app.temp_path), self.content.read(0, DROP_AT))
            self.assertEqual(len(srv.requests()), 3)

    def test_exit_ends_the_tool_during_a_wait(self):
        with server(self.content) as srv, App(kind="retrying") as app:
            self.start_a_long_wait(srv, app)
            app.click(EXIT)
            app.answer(IDYES)
            self.assertTrue(app.exited(timeout=2.0))
            self.assertEqual(self.read(app.temp_path), self.content.read(0, DROP_AT))


class HeldDestination(DownloadCase):
    content = test_server.GeneratedContent(SIZE)

    def hold_destination(self, app, seconds):
        """Another Windows process holds the destination, shared with nobody,
        for `seconds` from the moment it exists."""
        holder = subprocess.Popen(["wine", DRIVER, "hold", wine_path(self.saved), str(seconds * 1000)],
                                  env=app.driver.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL)
        self.addCleanup(holder.wait, 30)
        self.addCleanup(holder.stdout.close)
        wait_until(lambda: os.path.exists(self.saved), 20, 0.02, "the holder")
        return holder

    def save_while_held(self, app, seconds):
        """Message 8, then the picker answered while another process holds the destination."""
        app.click(START)
        self.assertEqual(app.answer(IDOK)["message"], message("DownloadComplete"))
        self.assertEqual(app.popup()["title"], PICKER)
        holder = self.hold_destination(app, seconds)
        answered = time.monotonic()
        app.driver.run("answer", IDOK)
        return holder, answered

    def test_a_destination_held_for_two_seconds_is_waited_for(self):
        with server(self.content), App() as app:
            holder, answered = self.save_while_held(app, 2)
            app.wait_idle(timeout=20)
            waited = time.monotonic() - answered
            print(f"saved {waited:.1f} s after the picker's OK")
            self.assertEqual(holder.wait(timeout=30), 0)
            self.assertEqual(self.read(self.saved), content_bytes(self.content))
            self.assertFalse(os.path.exists(app.temp_path))

    def test_a_destination_held_for_ten_seconds_fails_the_move_and_keeps_the_temp_file(self):
        with server(self.content), App(wine_debug="warn+seh") as app:
            holder, answered = self.save_while_held(app, 10)
            box = app.answer(IDOK, timeout=20)
            waited = time.monotonic() - answered
            print(f"message 7 {waited:.1f} s after the picker's OK")
            self.assertEqual(box["message"], message("SaveFailed"))
            self.assertGreaterEqual(waited, 4.5)
            app.wait_idle()
            self.assertEqual(self.read(app.temp_path), content_bytes(self.content))
            holder.wait(timeout=30)
        # Only a file held open (a sharing violation, or access denied) is waited for.
        (line,) = debug_lines(app, "Cveltrix: message 7: moving to")
        print(line)
        self.assertRegex(line, r": error (5|32)\\n\"$")
