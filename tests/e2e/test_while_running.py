"""What the user does while a run goes on: the run's boxes wait for the
user's own, a Start clicked as a run ends is taken (after the user's own box,
and not after a Cancel), a message 8 on screen is always followed by its
picker, Esc ends a run as Exit does, a close from outside ends the tool
whatever box of the run's is open, and a second copy of the tool started
from the same folder is told that the first one is downloading."""
import json
import os
import time
import unittest

from harness import CANCEL, IDCANCEL, IDOK, IDYES, IDS, PICKER, PROXY, START, App, DownloadCase, message, \
    requests_seen, server, test_server, wait_until

ABOUT = IDS["IDM_ABOUTBOX"]
SIZE = 300_000


class WhileRunning(DownloadCase):
    def wait_for_first_bytes(self, app):
        wait_until(lambda: os.path.exists(app.temp_path) and os.path.getsize(app.temp_path) > 0, 30, 0.01,
                   "the first bytes")

    def test_the_runs_message_waits_for_the_version_box(self):
        with server(rate=100_000, mode="close-after=100000") as srv, App() as app:
            app.click(START)
            app.driver.run("syscommand", ABOUT)
            version = app.popup(what="the version box")
            srv.wait_for_requests(2, done=True)
            # The connection is gone; the run's message is asked for and waits.
            until = time.monotonic() + 1.5
            while time.monotonic() < until:
                self.assertEqual([p["hwnd"] for p in app.window().popups], [version["hwnd"]])
                time.sleep(0.05)
            app.answer(IDOK)
            self.assertEqual(app.answer(IDOK)["message"], message("Disconnected"))
            app.wait_idle()

    def test_a_start_clicked_as_a_run_ends_starts_the_next_run(self):
        with server(mode="not-found") as srv, App() as app:
            app.click(START)
            for run in range(1, 4):
                self.assertEqual(app.message()[0], message("ServerUnreachable"))
                srv.clear_requests()
                # The box goes, releasing Start while the run still ends, and
                # Start is clicked right behind it.
                app.driver.run("answer-then-post", IDOK, f"click:{START}")
                with self.subTest(run=run):
                    srv.wait_for_requests(1)
            app.answer(IDOK)
            app.wait_idle()

    def test_a_cancel_right_after_a_start_queued_as_a_run_ends_stays_idle(self):
        with server(mode="not-found") as srv, App() as app:
            app.click(START)
            self.assertEqual(app.message()[0], message("ServerUnreachable"))
            srv.clear_requests()
            app.driver.run("answer-then-post", IDOK, f"click:{START}", f"click:{CANCEL}")
            app.wait_idle()
            time.sleep(1.5)
            self.assertEqual(srv.requests(), [])
            window = app.window()
            self.assertEqual(window.popups, [])
            self.assertTrue(window.enabled(START))

    def assert_only_popup_for(self, app, popup, seconds):
        until = time.monotonic() + seconds
        while time.monotonic() < until:
            self.assertEqual([p["hwnd"] for p in app.window().popups], [popup["hwnd"]])
            time.sleep(0.05)

    def test_a_start_queued_as_a_run_ends_waits_for_the_version_box(self):
        with server(mode="not-found") as srv, App() as app:
            # A temp file left behind: the next Start asks whether to resume.
            self.write_temp(app, b"x" * 5000)
            app.click(START)
            self.assertEqual(app.answer(IDYES)["message"], message("AskResume"))
            self.assertEqual(app.message()[0], message("ServerUnreachable"))
            srv.clear_requests()
            app.driver.run("answer-then-post", IDOK, f"click:{START}", f"syscommand:{ABOUT}")
            version = app.popup(what="the version box")
            self.assert_only_popup_for(app, version, 1.5)
            self.assertEqual(srv.requests(), [])
            app.answer(IDOK)
            self.assertEqual(app.answer(IDYES)["message"], message("AskResume"))
            self.assertEqual(app.answer(IDOK)["message"], message("ServerUnreachable"))
            app.wait_idle()

    def test_esc_during_a_run_ends_it_as_exit_does(self):
        content = test_server.GeneratedContent(SIZE)
        for attempt in range(3):
            with self.subTest(attempt=attempt), server(content, rate=50_000), \
                    App(wine_debug="warn+seh") as app:  # where Wine 8 logs exceptions and OutputDebugString
                app.click(START)
                self.wait_for_first_bytes(app)
                time.sleep(0.1 * attempt)
                app.driver.run("key", "esc")
                pressed = time.monotonic()
                self.assertTrue(app.exited())
                self.assertLess(time.monotonic() - pressed, 1.0)
            # Failure lines, not the run's states or the worker's phases.
            with open(app.wine_log, encoding="utf-8", errors="replace") as f:
                errors = [line for line in f if "err:" in line or "Unhandled" in line or
                          ("Cveltrix:" in line and "Cveltrix: run:" not in line and "Cveltrix: worker:" not in line)]
            self.assertEqual(errors, [])

    def test_a_cancel_as_the_last_bytes_arrive_never_leaves_message_8_without_its_picker(self):
        content = test_server.GeneratedContent(SIZE)
        for left in (40_000, 20_000, 5_000, 0):
            with self.subTest(left=left), server(content, rate=200_000), App() as app:
                app.click(START)
                wait_until(lambda: os.path.exists(app.temp_path) and os.path.getsize(app.temp_path) >= SIZE - left,
                           30, 0.01, "the last bytes")
                app.click(CANCEL)
                window = wait_until(lambda: (lambda w: w if w.popups or w.enabled(START) else None)(app.window()),
                                    10, 0.05, "a box or the idle window")
                if window.popups:
                    self.assertEqual(app.answer(IDOK)["message"], message("DownloadComplete"))
                    self.assertEqual(app.answer(IDCANCEL)["title"], PICKER)
                    self.assertEqual(app.answer(IDOK)["message"], message("NoFolderChosen"))
                app.wait_idle()


    def assert_closed_within(self, app, seconds):
        app.driver.run("close")
        asked = time.monotonic()
        self.assertTrue(app.exited())
        self.assertLess(time.monotonic() - asked, seconds)

    # A close from outside (taskkill, the taskbar, an installer) while a box
    # of the run's or its picker is open: the box's modal loop hands it to
    # the window, which must not wait for the call that showed the box.
    def test_a_close_while_message_8_or_its_picker_is_open_ends_the_tool_and_saves_nothing(self):
        content = test_server.GeneratedContent(SIZE)
        for open_at in ("message 8", "picker"):
            with self.subTest(open_at=open_at), server(content) as srv, App() as app:
                app.click(START)
                box = app.popup(timeout=60)
                self.assertEqual(box["message"], message("DownloadComplete"))
                if open_at == "picker":
                    self.assertEqual(app.answer(IDOK)["message"], message("DownloadComplete"))
                    self.assertEqual(app.popup()["title"], PICKER)
                self.assert_closed_within(app, 2.0)
                self.assertFalse(os.path.exists(self.saved))
                self.assertEqual(self.read(app.temp_path), content.read(0, SIZE))
                self.assertEqual(requests_seen(srv), [("HEAD", None), ("GET", "bytes=0-")])

    # Message 8 waits behind the Exit question; Yes drops it: no picker follows.
    def test_exit_answered_while_message_8_waits_ends_the_tool_without_the_picker(self):
        content = test_server.GeneratedContent(SIZE)
        with server(content, rate=150_000) as srv, App() as app:
            app.click(START)
            self.wait_for_first_bytes(app)
            app.click(IDS["IDC_EXIT"])
            exit_box = app.popup(what="the Exit question")
            self.assertEqual(exit_box["message"], message("ConfirmExit"))
            srv.wait_for_requests(2, done=True)
            wait_until(lambda: os.path.getsize(app.temp_path) == SIZE, 10, 0.05, "the last byte")
            # The run asks for message 8 behind the question meanwhile.
            self.assert_only_popup_for(app, exit_box, 1.0)
            app.driver.run("answer", IDYES)
            until = time.monotonic() + 2.0
            while app.process.poll() is None and time.monotonic() < until:
                state = app.driver.run("state", check=False)  # fails once the window is gone
                if state.startswith("{"):
                    popups = [p for p in json.loads(state)["popups"] if p["hwnd"] != exit_box["hwnd"]]
                    self.assertEqual(popups, [], "a box or the picker followed Exit")
                time.sleep(0.05)
            self.assertTrue(app.exited(timeout=0.5))
            self.assertFalse(os.path.exists(self.saved))
            self.assertEqual(self.read(app.temp_path), content.read(0, SIZE))

    # Windows ends the session mid-download: the tool agrees, and its run
    # ends at once, the temp file keeping the bytes it had.
    def test_the_sessions_end_ends_the_run_and_keeps_the_partial(self):
        content = test_server.GeneratedContent(SIZE)
        with server(content, rate=50_000), App() as app:
            app.click(START)
            self.wait_for_first_bytes(app)
            self.assertEqual(app.driver.run("end-session"), "ended")
            kept = os.path.getsize(app.temp_path)
            time.sleep(1.0)
            self.assertEqual(os.path.getsize(app.temp_path), kept, "bytes were written after the session ended")
            self.assertLess(kept, SIZE)
            self.assertEqual(self.read(app.temp_path), content.read(0, kept))

    # A double double-click: the second copy's Download finds the temp file
    # held by the first, says so, and changes nothing of the first's run.
    def test_a_second_copy_is_told_and_the_first_saves_the_whole_file(self):
        content = test_server.GeneratedContent(SIZE)
        with server(content, rate=30_000) as srv, App() as first:
            first.click(START)
            self.wait_for_first_bytes(first)
            with App(beside=first) as second:
                second.click(START)
                self.assertEqual(second.message(), (message("HeldByAnotherCopy"), "warning"))
                second.answer(IDOK)
                self.assertTrue(second.wait_idle().enabled(PROXY))
                self.assertFalse(first.window().enabled(START), "the first copy's run ended early")
            self.save_to_desktop(first)
            self.assertEqual(self.read(self.saved), content.read(0, SIZE))
            self.assertEqual(requests_seen(srv), [("HEAD", None), ("GET", "bytes=0-")])


if __name__ == "__main__":
    unittest.main()
