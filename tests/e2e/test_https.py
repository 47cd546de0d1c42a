"""https: the test copy built for https://localhost on the test server's TLS
port, against the server's https mode. The certificates are made for the
session from a throwaway root, which is trusted in the session's Wine prefix
only; a certificate that fails, or a redirect back to plain http, ends the
run like an unreachable server."""
import os

from harness import (IDOK, IDYES, START, TLS_PORT, App, DownloadCase, message, requests_seen, server, test_server,
                     trusted_pki)
from proxy import Tinyproxy
from test_download import content_bytes
from test_proxy import enter_settings

CONTENT = test_server.GeneratedContent(300_000)
PREFIX = CONTENT.read(0, 1000)
USER, PASSWORD = "tunneluser", "Tunn3l-secret"
pki = None


def setUpModule():
    global pki
    pki = trusted_pki()


def secure_server(host="localhost", root="root", **options):
    return test_server.InstallerServer(CONTENT, port=TLS_PORT, tls=pki.server(host, root), **options)


class Https(DownloadCase):
    def resume(self, app):
        """Start on a temp file holding the content's first bytes, resumed."""
        app.click(START)
        self.assertEqual(app.answer(IDYES)["message"], message("AskResume"))

    def expect_saved(self, app):
        self.save_to_desktop(app)
        self.assertEqual(self.read(self.saved), content_bytes(CONTENT))

    def test_downloads_and_resumes_keeping_the_range(self):
        with secure_server() as srv, App(kind="https") as app:
            self.write_temp(app, PREFIX)
            self.resume(app)
            self.expect_saved(app)
            self.assertEqual(requests_seen(srv), [("HEAD", None), ("GET", f"bytes={len(PREFIX)}-")])

    def test_a_certificate_that_fails_ends_the_run_and_writes_nothing(self):
        for host, root in (("localhost", "stray"), ("elsewhere.test", "root")):
            with self.subTest(host=host, root=root), secure_server(host, root) as srv, App(kind="https") as app:
                self.write_temp(app, PREFIX)
                self.resume(app)
                self.assertEqual(app.answer(IDOK)["message"], message("ServerUnreachable"))
                app.wait_idle()
                self.assertEqual(self.read(app.temp_path), PREFIX)
                # The client connected, saw the certificate and hung up without a request.
                self.assertGreater(srv.connection_count, 0)
                self.assertEqual(srv.requests(), [])

    def test_an_http_url_redirected_to_https_gives_the_file(self):
        with secure_server() as srv, server(CONTENT, mode=f"status=302,location={srv.base_url}") as plain, \
                App() as app:
            self.write_temp(app, PREFIX)
            self.resume(app)
            self.expect_saved(app)
            self.assertEqual([entry["method"] for entry in plain.requests()], ["HEAD", "GET"])
            self.assertEqual(requests_seen(srv), [("HEAD", None), ("GET", f"bytes={len(PREFIX)}-")])

    def test_an_https_url_redirected_to_http_is_refused_at_once(self):
        with server(CONTENT) as plain, secure_server(mode=f"status=302,location={plain.base_url}") as srv, \
                App(kind="https") as app:
            app.click(START)
            self.assertEqual(app.answer(IDOK)["message"], message("ServerUnreachable"))
            app.wait_idle()
            self.assertEqual(len(srv.requests()), 1)
            self.assertEqual(plain.requests(), [])
            self.assertEqual(app.leftovers(), [])

    def test_through_tinyproxy_with_a_login(self):
        with Tinyproxy(USER, PASSWORD) as proxy, secure_server() as srv, App(kind="https") as app:
            enter_settings(app, port=str(proxy.port), user=USER, password=PASSWORD)
            app.click(START)
            self.expect_saved(app)
            self.assertIn(f"CONNECT localhost:{TLS_PORT} HTTP/1.1", proxy.requests())
            # The length is asked with a GET whose body is never read (a HEAD's tunnel fails under Wine).
            self.assertEqual(requests_seen(srv), [("GET", None), ("GET", "bytes=0-")])
