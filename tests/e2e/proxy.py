"""Proxies on 127.0.0.1 for the end-to-end cases.

    with Tinyproxy() as proxy: ...                      no login
    with Tinyproxy("user", "password") as proxy: ...    BasicAuth
    with RecordingProxy() as proxy: ...                 records every Proxy-Authorization

Tinyproxy runs the real proxy in the foreground as a child process, with a
config and log of its own in a fresh folder; RecordingProxy is a stub in a
thread of the calling process that challenges until the client logs in and
then relays GET and HEAD to the local installer server.
"""
import base64
import http.client
import http.server
import os
import socket
import socketserver
import subprocess
import tempfile
import threading
import urllib.parse

from harness import SESSION_DIR, TLS_PORT, wait_until

HOST = "127.0.0.1"
PORTS = range(47342, 47350)
TINYPROXY = "/usr/bin/tinyproxy"
VIA_NAME = "cveltrix-e2e-proxy"


def free_port():
    """The first port of our range that nothing holds, else any free one."""
    for port in (*PORTS, 0):
        with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
            try:
                probe.bind((HOST, port))
            except OSError:
                continue
            return probe.getsockname()[1]
    raise RuntimeError("no free port on 127.0.0.1")


class Tinyproxy:
    """tinyproxy on 127.0.0.1, with BasicAuth when a user name is given."""

    def __init__(self, user=None, password=None):
        self.user = user
        self.password = password
        self.process = None

    def config(self):
        # https tunnels (CONNECT) to the test server's TLS port only.
        lines = [f"Port {self.port}", f"Listen {HOST}", f"Allow {HOST}", "ConnectPort 80", f"ConnectPort {TLS_PORT}",
                 "Timeout 60", "MaxClients 20", f'LogFile "{self.log_path}"', "LogLevel Info", f'ViaProxyName "{VIA_NAME}"']
        if self.user is not None:
            lines.append(f"BasicAuth {self.user} {self.password}")
        return "\n".join(lines) + "\n"

    def start(self):
        self.folder = tempfile.mkdtemp(prefix="tinyproxy-", dir=SESSION_DIR)
        self.log_path = os.path.join(self.folder, "tinyproxy.log")
        self.port = free_port()
        conf = os.path.join(self.folder, "tinyproxy.conf")
        with open(conf, "w") as f:
            f.write(self.config())
        with open(os.path.join(self.folder, "stderr.txt"), "wb") as err:
            self.process = subprocess.Popen([TINYPROXY, "-d", "-c", conf], stdin=subprocess.DEVNULL,
                                            stdout=err, stderr=err)
        try:
            wait_until(self._listening, 10, 0.05, f"tinyproxy on port {self.port}")
        except BaseException:
            self.stop()
            raise
        return self

    def _listening(self):
        if self.process.poll() is not None:
            raise AssertionError(f"tinyproxy ended with {self.process.returncode}: {self.log()}")
        # Its log says so once the socket listens; a probe connection would show up in the log.
        return "Accepting connections" in self.log()

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=10)
        self.process = None

    def log(self):
        try:
            with open(self.log_path, encoding="utf-8", errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def requests(self):
        """The request lines tinyproxy received, as "GET http://... HTTP/1.1"."""
        marker = "]: Request (file descriptor "
        return [line.split("): ", 1)[1] for line in self.log().splitlines() if marker in line]

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


def decode_basic(value):
    """The "user:password" of a Basic credentials header, or None for another scheme."""
    scheme, _, token = (value or "").partition(" ")
    if scheme.lower() != "basic":
        return None
    return base64.b64decode(token.strip()).decode("utf-8")


class _RelayHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    HOP_BY_HOP = {"proxy-authorization", "proxy-connection", "connection", "keep-alive"}

    def log_message(self, format, *args):
        pass  # the proxy keeps its own record

    def do_GET(self):
        credentials = self.headers.get("Proxy-Authorization")
        self.server.owner._record(self.requestline, credentials)
        if credentials is None:
            self._answer(407, [("Proxy-Authenticate", 'Basic realm="x"')], b"login first\n")
            return
        target = urllib.parse.urlsplit(self.path)
        if target.hostname != HOST or target.port is None:
            self._answer(403, [], b"only 127.0.0.1 is served\n")
            return
        self._relay(target)

    do_HEAD = do_GET

    def _relay(self, target):
        upstream = http.client.HTTPConnection(HOST, target.port, timeout=60)
        try:
            headers = {name: value for name, value in self.headers.items() if name.lower() not in self.HOP_BY_HOP}
            upstream.request(self.command, target.path or "/", headers=headers)
            response = upstream.getresponse()
            body = response.read()
            passed = [(name, value) for name, value in response.getheaders()
                      if name.lower() not in self.HOP_BY_HOP | {"content-length", "transfer-encoding"}]
            # A HEAD's answer keeps the length of the body it leaves out.
            self._answer(response.status, passed, body, response.getheader("Content-Length"))
        finally:
            upstream.close()

    def _answer(self, status, headers, body, length=None):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", length if self.command == "HEAD" and length else str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)


class _RelayListener(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


class RecordingProxy:
    """A stub proxy that answers 407 until a request carries Proxy-Authorization,
    records every request with its credentials, and relays the logged-in ones to
    the origin on 127.0.0.1."""

    def __init__(self):
        self._seen = []
        self._lock = threading.Lock()
        self._listener = None

    def start(self):
        self._listener = _RelayListener((HOST, free_port()), _RelayHandler)
        self._listener.owner = self
        self.port = self._listener.server_address[1]
        self._thread = threading.Thread(target=self._listener.serve_forever, args=(0.1,), daemon=True)
        self._thread.start()
        return self

    def stop(self):
        if self._listener:
            self._listener.shutdown()
            self._listener.server_close()
            self._thread.join(timeout=10)
            self._listener = None

    def _record(self, request_line, credentials):
        with self._lock:
            self._seen.append((request_line, credentials))

    def requests(self):
        """(request line, Proxy-Authorization or None) of every request, oldest first."""
        with self._lock:
            return list(self._seen)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
