"""A server or proxy that stops answering: Cancel takes effect at once
whatever the run is waiting for, a silence past the test copy's limit ends the
run with the message that names it, a redirect loop ends, and each time the
next Start completes the file."""
import os
import time

from harness import CANCEL, EXIT, IDOK, IDYES, START, App, DownloadCase, message, server, test_server, wait_until
from proxy import RecordingProxy
from test_download import content_bytes
from test_proxy import enter_settings

SIZE = 300_000
STALL_AT = 100_000
# Cancel takes effect within a second; the rest is room for a loaded machine,
# and stays below the test copy's 4 s silence limit, so that only Cancel can
# have ended a stalled run in time.
CANCEL_TIMEOUT = 2.0


def size_of(path):
    return os.path.getsize(path) if os.path.exists(path) else -1


class Stalls(DownloadCase):
    content = test_server.GeneratedContent(SIZE)

    def cancel_and_expect_idle(self, app):
        clicked = time.monotonic()
        app.click(CANCEL)
        self.assertEqual(app.wait_idle(timeout=CANCEL_TIMEOUT).popups, [])
        print(f"idle {time.monotonic() - clicked:.2f} s after the Cancel click")

    def expect_kept(self, app, count, given_up=False):
        """The temp file holds the first `count` bytes; none, and a run that
        ended leaves none at all (one given up on no longer touches it)."""
        if count == 0 and not given_up:
            self.assertFalse(os.path.exists(app.temp_path))
        else:
            self.assertEqual(self.read(app.temp_path), self.content.read(0, count))

    def finish(self, app, srv, resume):
        """The next Start, with the server answering again, saves the whole file."""
        srv.set_mode("honour")
        app.click(START)
        if resume:
            self.assertEqual(app.answer(IDYES)["message"], message("AskResume"))
        self.save_to_desktop(app)
        self.assertEqual(self.read(self.saved), content_bytes(self.content))

    def start_until_the_body_stalls(self, srv, app):
        srv.queue_modes("honour", f"stall-after={STALL_AT}")
        app.click(START)
        wait_until(lambda: size_of(app.temp_path) == STALL_AT, 30, what="the bytes before the stall")

    def test_cancel_while_the_body_stalls(self):
        with server(self.content) as srv, App() as app:
            self.start_until_the_body_stalls(srv, app)
            self.cancel_and_expect_idle(app)
            self.expect_kept(app, STALL_AT)
            self.finish(app, srv, resume=True)

    def test_exit_ends_the_tool_while_the_body_stalls(self):
        with server(self.content) as srv, App() as app:
            self.start_until_the_body_stalls(srv, app)
            app.click(EXIT)
            app.answer(IDYES)
            self.assertTrue(app.exited(timeout=CANCEL_TIMEOUT))
            self.expect_kept(app, STALL_AT)

    def test_cancel_while_the_server_never_answers(self):
        for modes in (("no-answer",), ("honour", "no-answer")):  # the probe, then the transfer
            with self.subTest(modes=modes), server(self.content) as srv, App() as app:
                srv.queue_modes(*modes)
                app.click(START)
                srv.wait_for_requests(len(modes))
                self.cancel_and_expect_idle(app)
                self.expect_kept(app, 0, given_up=True)
                self.finish(app, srv, resume=False)

    def test_cancel_during_the_login_exchange_with_a_stalling_proxy(self):
        # The stub proxy challenges, then relays the logged-in request to an
        # origin that never answers: the proxy falls silent mid-exchange.
        with server(self.content, mode="no-answer") as srv, RecordingProxy() as proxy, App() as app:
            enter_settings(app, port=str(proxy.port), user="user", password="secret")
            app.click(START)
            wait_until(lambda: any(credentials for _, credentials in proxy.requests()), 20,
                       what="the credentials at the proxy")
            self.cancel_and_expect_idle(app)
            self.expect_kept(app, 0, given_up=True)
            self.finish(app, srv, resume=False)

    def test_silence_past_the_limit_ends_the_run_with_a_message(self):
        for modes, name, kept in ((("honour", f"stall-after={STALL_AT}"), "Disconnected", STALL_AT),
                                  (("no-answer",), "ServerUnreachable", 0)):
            with self.subTest(message=name), server(self.content) as srv, App() as app:
                srv.queue_modes(*modes)
                app.click(START)
                began = time.monotonic()
                self.assertEqual(app.answer(IDOK, timeout=30)["message"], message(name))
                print(f"{name} after {time.monotonic() - began:.1f} s of the test copy's 4 s limit")
                app.wait_idle()
                self.expect_kept(app, kept)
                self.finish(app, srv, resume=kept > 0)

    def test_a_silent_proxy_ends_the_run_with_message_4(self):
        with server(self.content, mode="no-answer") as srv, RecordingProxy() as proxy, App() as app:
            enter_settings(app, port=str(proxy.port), user="user", password="secret")
            app.click(START)
            self.assertEqual(app.answer(IDOK, timeout=30)["message"], message("ProxyUnreachable"))
            app.wait_idle()
            self.expect_kept(app, 0)
            self.finish(app, srv, resume=False)

    def test_a_redirect_loop_ends_after_a_bounded_number_of_requests(self):
        with server(self.content, mode="status=302") as srv, App() as app:
            app.click(START)
            self.assertEqual(app.answer(IDOK)["message"], message("ServerUnreachable"))
            app.wait_idle()
            # Ten hops each for the HEAD and the GET that follows it.
            self.assertLessEqual(len(srv.requests()), 22)
            self.expect_kept(app, 0)
