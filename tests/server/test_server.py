#!/usr/bin/env python3
"""A local HTTP/1.1 server for the end-to-end tests: it serves the installer at
its one path on 127.0.0.1, and can be told, per request, to misbehave the way
real servers and networks do (ignore ranges, omit the length, drop the
connection early, crawl, send wrong bytes, answer an error).

In-process use (the test harness):

    with InstallerServer(FileContent(path), rate=400000) as server:
        server.queue_modes("honour", "not-found")   # probe fine, transfer 404
        ...run the client against server.url...
        first, second = server.wait_for_requests(2)

From the command line (demo, benchmark):

    test_server.py --port 47321 --size 4194304 --rate 400000 --log FILE
    test_server.py --sample-out PATH --size N      writes the generated content
    test_server.py --sha256 --size N               prints its SHA-256
    test_server.py --print-url --port N            prints the installer's URL on that port

With tls=(certificate file, key file) it speaks https instead, and its URLs
name localhost (clients match the certificate against host names).

Modes, combinable with commas ("close-after=1000,rate=5000"): honour (the
default), ignore-range, no-length, not-found, wrong-range-start[=SHIFT],
status=CODE (a redirect status points back at the installer: a loop, unless
location=BASE names the scheme://host:port it points at instead),
no-answer (reads the request and never answers), portal (a sign-in
page with 200 for every request, as a hotel's network sends),
raw=NAME (a canned malformed answer from RAW_ANSWERS, then the connection
closes; a HEAD gets its head only), and the modifiers
close-after=N, stall-after=N (silence after N body bytes with the connection
kept open), rate=BYTES_PER_SEC, wrong-bytes, refuse-head (a HEAD gets 405, as
from servers that allow only GET), retry-after=N (a status answer says
Retry-After: N, as a busy server's 503 does).
"""
import argparse
import copy
import dataclasses
import email.utils
import functools
import hashlib
import http.server
import json
import os
import re
import signal
import socket
import socketserver
import ssl
import sys
import threading
import time
import urllib.parse
from collections import deque

HOST = "127.0.0.1"
SERVED_PATH = "/archives/043/Kelvrane_for_(K)QZ415_270[2.20]series_Installer.exe"
ENCODED_PATH = urllib.parse.quote(SERVED_PATH)
DEFAULT_SIZE = 4 * 1024 * 1024
BLOCK = 64 * 1024            # unit of the generated content
SEND_SLICE = 256 * 1024      # bytes per send when not throttled
THROTTLE_STEPS_PER_SEC = 20  # a throttled body goes out in this many sends a second
CACHE_SECONDS = 3600
GENERATED_MTIME = 1767225600  # 2026-01-01, the earliest Last-Modified of generated content
INVERTED = bytes(255 - i for i in range(256))
UNSATISFIABLE = "unsatisfiable"


# ---- content ---------------------------------------------------------------

@functools.lru_cache(maxsize=16)
def _generated_block(seed, index):
    return hashlib.shake_128(b"cveltrix-sample:%d:%d" % (seed, index)).digest(BLOCK)


class GeneratedContent:
    """Deterministic pseudo-random bytes of a given size, made on the fly; every
    64 KiB block differs, so a body taken from the wrong offset never matches.
    Its strong ETag and its Last-Modified both change with size and seed."""
    file = None

    def __init__(self, size, seed=0):
        self.length = size
        self.seed = seed
        self.etag = f'"{size:x}-g{seed:x}"'
        stamp = hashlib.sha256(b"%d:%d" % (size, seed)).digest()
        self.modified = GENERATED_MTIME + int.from_bytes(stamp[:3], "big")

    def next_version(self, extra=0):
        """What a vendor puts under the same URL next: other bytes, `extra` bytes longer."""
        return GeneratedContent(self.length + extra, self.seed + 1)

    def open(self):
        return self

    def read(self, offset, count):
        stop = min(offset + count, self.length)
        parts = []
        while offset < stop:
            index, skip = divmod(offset, BLOCK)
            part = _generated_block(self.seed, index)[skip:skip + stop - offset]
            parts.append(part)
            offset += len(part)
        return b"".join(parts)

    def close(self):
        pass


class FileContent:
    """The bytes of a file, opened afresh for every response, so a test may
    rewrite the file between two requests."""

    def __init__(self, path):
        self.path = path

    def open(self):
        return _OpenFile(self.path)


class _OpenFile:
    def __init__(self, path):
        self.file = open(path, "rb")
        status = os.fstat(self.file.fileno())
        self.length = status.st_size
        self.etag = f'"{status.st_size:x}-{status.st_mtime_ns:x}"'
        self.modified = int(status.st_mtime)

    def read(self, offset, count):
        return os.pread(self.file.fileno(), count, offset)

    def close(self):
        self.file.close()


class _Page:
    """A small fixed body (error pages)."""
    file = None

    def __init__(self, data):
        self.data = data
        self.length = len(data)

    def read(self, offset, count):
        return self.data[offset:offset + count]

    def close(self):
        pass


def iter_content(content, size=SEND_SLICE):
    body = content.open()
    try:
        for offset in range(0, body.length, size):
            yield body.read(offset, size)
    finally:
        body.close()


# ---- modes -----------------------------------------------------------------

KINDS = ("honour", "ignore-range", "no-length", "wrong-range-start")
SIGN_IN_PAGE = b"<html><head><title>Sign in</title></head><body><form>Room number</form></body></html>\n"


def _raw(status_line, *headers, body=b""):
    return (status_line + "".join(f"\r\n{line}" for line in headers) + "\r\n\r\n").encode("latin-1"), body


RAW_BODY = GeneratedContent(16384).read(0, 16384)
# Broken answers a client must survive, as (head, body): lengths and ranges it cannot
# take at their word, a status line, chunking and redirects it cannot follow.
RAW_ANSWERS = {
    "two-lengths": _raw("HTTP/1.1 200 OK", "Content-Length: 16384", "Content-Length: 8192", body=RAW_BODY),
    "nul-in-length": _raw("HTTP/1.1 200 OK", "Content-Length: 16\x00384", body=RAW_BODY),
    "huge-length": _raw("HTTP/1.1 200 OK", f"Content-Length: {2 ** 64 + 16384}", body=RAW_BODY),
    "negative-length": _raw("HTTP/1.1 200 OK", "Content-Length: -16384", body=RAW_BODY),
    "garbage-length": _raw("HTTP/1.1 200 OK", "Content-Length: 0x4000", body=RAW_BODY),
    "garbage-range": _raw("HTTP/1.1 206 Partial Content", "Content-Range: bytes zero-end/all",
                          "Content-Length: 16384", body=RAW_BODY),
    "overlong-range": _raw("HTTP/1.1 206 Partial Content", "Content-Range: bytes " + "9" * 8192 + "-16383/16384",
                           "Content-Length: 16384", body=RAW_BODY),
    "bad-status-line": _raw("HTTP/1.1 OK", "Content-Length: 16384", body=RAW_BODY),
    "bad-chunking": _raw("HTTP/1.1 200 OK", "Transfer-Encoding: chunked", body=b"zz\r\n" + RAW_BODY + b"\r\n0\r\n\r\n"),
    "garbage-location": _raw("HTTP/1.1 302 Found", "Location: http://[garbage/%zz", "Content-Length: 0"),
    "file-location": _raw("HTTP/1.1 302 Found", "Location: file:///C:/Windows/win.ini", "Content-Length: 0"),
}


@dataclasses.dataclass(frozen=True)
class Mode:
    """How to answer one request for the installer."""
    text: str = "honour"
    kind: str = "honour"
    status: int | None = None       # answer this status with a small page instead
    shift: int = 1                  # wrong-range-start: where the range starts instead
    close_after: int | None = None  # close the connection after this many body bytes
    rate: int | None = None         # bytes per second
    wrong_bytes: bool = False       # same length, every byte inverted
    refuse_head: bool = False       # a HEAD gets 405; a GET the rest of the mode
    stall_after: int | None = None  # after this many body bytes, silence with the connection open
    no_answer: bool = False         # read the request, then silence with the connection open
    location: str | None = None     # a redirect points at the installer on this scheme://host:port
    raw: str | None = None          # a RAW_ANSWERS name
    retry_after: int | None = None  # status: a Retry-After of this many seconds with it

    def __str__(self):
        return self.text


def parse_mode(text):
    """Parses "kind[,modifier...]", e.g. "ignore-range,close-after=500"."""
    if isinstance(text, Mode):
        return text
    items = [part.strip() for part in text.split(",") if part.strip()]
    fields = {"text": ",".join(items) or "honour"}
    for item in items:
        name, _, value = item.partition("=")
        _apply_mode_item(fields, name, value, item)
    return Mode(**fields)


def _apply_mode_item(fields, name, value, item):
    if name in KINDS or name in ("not-found", "status", "portal", "raw"):
        if "kind" in fields:
            raise ValueError(f"two kinds of answer in one mode: {fields['text']!r}")
        fields["kind"] = "status" if name in ("not-found", "status") else name
    if name == "status":
        fields["status"] = _number(item, value, 200, 599)
    elif name == "wrong-range-start" and value:
        fields["shift"] = _number(item, value, None, None)
        if not fields["shift"]:
            raise ValueError(f"{item!r} would start where asked")
    elif name == "close-after":
        fields["close_after"] = _number(item, value, 0, None)
    elif name == "retry-after":
        fields["retry_after"] = _number(item, value, 0, None)
    elif name == "stall-after":
        fields["stall_after"] = _number(item, value, 0, None)
    elif name == "rate":
        fields["rate"] = _number(item, value, 1, None)
    elif name == "raw":
        if value not in RAW_ANSWERS:
            raise ValueError(f"{item!r}: raw answers are {', '.join(RAW_ANSWERS)}")
        fields["raw"] = value
    elif name == "location":
        if not re.fullmatch(r"https?://[^/]+", value):
            raise ValueError(f"{item!r} needs scheme://host:port")
        fields["location"] = value
    elif value or name not in (*KINDS, "not-found", "portal", "wrong-bytes", "refuse-head", "no-answer"):
        raise ValueError(f"unknown mode {item!r}")
    elif name == "not-found":
        fields["status"] = 404
    elif name == "wrong-bytes":
        fields["wrong_bytes"] = True
    elif name == "refuse-head":
        fields["refuse_head"] = True
    elif name == "no-answer":
        fields["no_answer"] = True


def _number(item, value, low, high):
    try:
        number = int(value)
    except ValueError:
        raise ValueError(f"{item!r} needs a whole number") from None
    if (low is not None and number < low) or (high is not None and number > high):
        raise ValueError(f"{item!r} is out of range")
    return number


# ---- answers ---------------------------------------------------------------

@dataclasses.dataclass
class Reply:
    status: int
    body: object
    start: int = 0
    stop: int = 0
    headers: list = dataclasses.field(default_factory=list)
    close: bool = False


def requested_range(value, length):
    """(start, stop) of a single "bytes=" range, UNSATISFIABLE, or None for a
    missing or malformed one, which a server ignores."""
    match = re.fullmatch(r"\s*bytes\s*=\s*(\d*)\s*-\s*(\d*)\s*", value or "", re.IGNORECASE)
    if not match or match.groups() == ("", ""):
        return None
    first, last = match.groups()
    if not first:
        suffix = int(last)
        return (length - min(suffix, length), length) if suffix and length else UNSATISFIABLE
    start = int(first)
    if last and int(last) < start:
        return None
    if start >= length:
        return UNSATISFIABLE
    return start, min(int(last) + 1, length) if last else length


def shifted_range(start, stop, length, shift):
    """The range moved by shift bytes (or the other way, at the edges); one
    that ran to the end still does."""
    moved = start + shift if 0 <= start + shift < length else start - shift
    if not 0 <= moved < length:
        return start, stop
    return moved, length if stop == length else min(length, stop + moved - start)


def page(status, text):
    html = f"<html><head><title>{status} {text}</title></head><body><h1>{text}</h1></body></html>\n"
    return _Page(html.encode())


def status_reply(status, location=None):
    try:
        phrase = http.HTTPStatus(status).phrase
    except ValueError:
        phrase = "Status"
    if status in (204, 304):
        return Reply(status, _Page(b""))
    body = page(status, phrase)
    reply = Reply(status, body, 0, body.length, [("Content-Type", "text/html; charset=utf-8")])
    if status == 401:
        reply.headers.append(("WWW-Authenticate", 'Basic realm="installer"'))
    elif status == 407:
        reply.headers.append(("Proxy-Authenticate", 'Basic realm="proxy"'))
    elif status == 405:
        reply.headers.append(("Allow", "GET"))
    elif status in (301, 302, 303, 307, 308):
        # Without a location, to the installer itself: a misconfigured mirror's redirect loop.
        reply.headers.append(("Location", (location or "") + SERVED_PATH))
    return reply


def content_reply(mode, body, wanted):
    """The answer for the installer; wanted is what requested_range found."""
    length = body.length
    if wanted == UNSATISFIABLE:
        reply = status_reply(416)
        reply.headers.append(("Content-Range", f"bytes */{length}"))
        return reply
    if wanted is None:
        reply = Reply(200, body, 0, length)
    else:
        start, stop = wanted
        if mode.kind == "wrong-range-start":
            start, stop = shifted_range(start, stop, length, mode.shift)
        reply = Reply(206, body, start, stop, [("Content-Range", f"bytes {start}-{stop - 1}/{length}")])
    reply.headers.append(("Content-Type", "application/octet-stream"))
    if mode.kind != "ignore-range":
        reply.headers.append(("Accept-Ranges", "bytes"))
    reply.close = mode.kind == "no-length"
    return reply


# What a server says of the version it serves: "static" as a static file
# server (strong ETag, Last-Modified, conditional requests and If-Range
# answered); "ignore-if-range" the same, but a Range holds whatever If-Range
# says (as from servers and caches that never read it); "weak-etag" a weak
# ETag beside Last-Modified; "none" no validators and no cache headers.
CACHES = ("static", "ignore-if-range", "weak-etag", "none")


def cache_headers(body, now, weak=False):
    return [
        ("Last-Modified", email.utils.formatdate(body.modified, usegmt=True)),
        ("ETag", "W/" + body.etag if weak else body.etag),
        ("Cache-Control", f"public, max-age={CACHE_SECONDS}"),
        ("Expires", email.utils.formatdate(now + CACHE_SECONDS, usegmt=True)),
    ]


def _http_date(value):
    try:
        return email.utils.parsedate_to_datetime(value).timestamp()
    except (TypeError, ValueError):
        return None


def not_modified(headers, body):
    """True when a conditional GET names the version being served."""
    tags = headers.get("If-None-Match")
    if tags is not None:
        return tags.strip() == "*" or body.etag in (tag.strip() for tag in tags.split(","))
    since = _http_date(headers.get("If-Modified-Since"))
    return since is not None and body.modified <= since


def range_applies(headers, body, weak=False):
    """If-Range: the range holds only for the version the client names, and
    a weak tag never names one."""
    validator = headers.get("If-Range")
    if validator is None:
        return True
    names = [email.utils.formatdate(body.modified, usegmt=True)] + ([] if weak else [body.etag])
    return validator.strip() in names


# ---- the server ------------------------------------------------------------

class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "CveltrixTestServer/1.0"
    disable_nagle_algorithm = True

    def setup(self):
        self.owner = self.server.owner
        self.connection_id = self.owner._next_connection_id()
        # Here, on the connection's own thread, not where connections are accepted.
        if isinstance(self.request, ssl.SSLSocket):
            self.request.do_handshake()
        super().setup()

    def handle_one_request(self):
        self.entry = None
        try:
            super().handle_one_request()
        except ConnectionError:
            self.close_connection = True
        finally:
            if self.entry is not None:
                self.owner._finish(self.entry)

    def parse_request(self):
        parsed = super().parse_request()
        if parsed:
            self.entry = self.owner._record_request(self)
        return parsed

    def send_response(self, code, message=None):
        self.reply_headers = []
        if self.entry is not None:
            self.owner._update(self.entry, status=code)
        super().send_response(code, message)

    def send_header(self, keyword, value):
        self.reply_headers.append([keyword, value])
        super().send_header(keyword, value)

    def end_headers(self):
        if self.entry is not None:
            self.owner._update(self.entry, response_headers=self.reply_headers)
        super().end_headers()

    def version_string(self):
        return self.server_version

    def log_message(self, format, *args):
        pass  # the request log says it all

    def do_HEAD(self):
        self.do_GET()

    def do_GET(self):
        reply, mode = self._plan()
        if mode.raw is not None:
            self._send_raw(*RAW_ANSWERS[mode.raw])
            return
        if mode.no_answer:
            reply.body.close()
            self._stay_silent()
            return
        try:
            self._send_head(reply)
            if self.command != "HEAD":
                self._send_body(reply, mode)
        finally:
            reply.body.close()

    def _plan(self):
        if self.entry["path_form"] is None:
            return status_reply(404), Mode()
        mode = self.owner._next_mode()
        self.owner._update(self.entry, mode=str(mode))
        if mode.refuse_head and self.command == "HEAD":
            return status_reply(405), mode
        if mode.raw is not None:
            return None, mode
        if mode.kind == "portal":
            return Reply(200, _Page(SIGN_IN_PAGE), 0, len(SIGN_IN_PAGE), [("Content-Type", "text/html")]), mode
        if mode.status is not None:
            reply = status_reply(mode.status, mode.location)
            if mode.retry_after is not None:
                reply.headers.append(("Retry-After", str(mode.retry_after)))
            return reply, mode
        try:
            body = self.owner.content.open()
        except OSError:
            return status_reply(500), mode
        cache = self.owner.cache
        validated = cache != "none"
        weak = cache == "weak-etag"
        if validated and not_modified(self.headers, body):
            reply = Reply(304, body)
        else:
            reads_if_range = cache in ("static", "weak-etag")
            ranges = mode.kind != "ignore-range" and (not reads_if_range or range_applies(self.headers, body, weak))
            reply = content_reply(mode, body, requested_range(self.headers.get("Range"), body.length) if ranges else None)
        if validated and reply.status in (200, 206, 304):
            reply.headers += cache_headers(body, time.time(), weak)
        return reply, mode

    def _send_head(self, reply):
        self.send_response(reply.status)
        for name, value in reply.headers:
            self.send_header(name, value)
        if reply.close or self.close_connection:
            self.send_header("Connection", "close")
        if not reply.close and reply.status not in (204, 304):
            self.send_header("Content-Length", str(reply.stop - reply.start))
        self.end_headers()

    def _send_body(self, reply, mode):
        rate = mode.rate or self.owner.rate
        stop = reply.stop if mode.close_after is None else min(reply.stop, reply.start + mode.close_after)
        if mode.stall_after is not None:
            stop = min(stop, reply.start + mode.stall_after)
        step = max(1, min(SEND_SLICE, rate // THROTTLE_STEPS_PER_SEC)) if rate else SEND_SLICE
        invert = mode.wrong_bytes and not isinstance(reply.body, _Page)
        began, position, slice_began = time.monotonic(), reply.start, time.time()
        while position < stop:
            count = min(step, stop - position)
            # A slice leaves when the rate allows its last byte, so the body takes length / rate.
            if rate and self.owner._stopping.wait(began + (position + count - reply.start) / rate - time.monotonic()):
                break
            slice_began = time.time()
            sent = self._send_slice(reply.body, position, count, invert)
            if not sent:
                break  # the file shrank under us
            position += sent
            self.owner._update(self.entry, body_bytes=position - reply.start)
        complete = position == reply.stop
        self.owner._update(self.entry, complete=complete, last_slice_time=slice_began if complete else None)
        if mode.stall_after is not None and not complete:
            self._stay_silent()
        if not complete:
            self.close_connection = True

    def _send_raw(self, head, body):
        # Nothing after a broken answer could be framed: the connection ends with it.
        self.close_connection = True
        self.wfile.write(head if self.command == "HEAD" else head + body)
        self.owner._update(self.entry, body_bytes=0 if self.command == "HEAD" else len(body), complete=True)

    def _stay_silent(self):
        """Keeps the connection open and sends nothing until the server stops
        (which cuts the connection) or the client hangs up."""
        self.close_connection = True
        self.connection.settimeout(0.2)
        while not self.owner._stopping.is_set():
            try:
                if not self.connection.recv(4096):
                    break
            except TimeoutError:
                continue
            except OSError:
                break

    def _send_slice(self, body, offset, count, invert):
        # sendfile would bypass the TLS layer.
        if body.file is not None and not invert and self.owner.tls is None:
            return os.sendfile(self.connection.fileno(), body.file.fileno(), offset, count)
        data = body.read(offset, count)
        self.connection.sendall(data.translate(INVERTED) if invert else data)
        return len(data)


class _Listener(socketserver.ThreadingMixIn, socketserver.TCPServer):
    allow_reuse_address = True
    request_queue_size = 32
    daemon_threads = False  # stop() joins every connection's thread

    def __init__(self, owner, port):
        self.owner = owner
        super().__init__((HOST, port), _Handler)

    def get_request(self):
        connection, address = super().get_request()
        if self.owner.tls is not None:
            connection = self.owner.tls.wrap_socket(connection, server_side=True, do_handshake_on_connect=False)
        return connection, address

    def process_request(self, request, client_address):
        self.owner._track(request, True)
        super().process_request(request, client_address)

    def shutdown_request(self, request):
        self.owner._track(request, False)
        super().shutdown_request(request)

    def handle_error(self, request, client_address):
        # A client that hangs up, or refuses the certificate, is no fault of the server.
        if not isinstance(sys.exc_info()[1], (ConnectionError, ssl.SSLError)):
            super().handle_error(request, client_address)


def path_form(target, query=""):
    """"raw" or "encoded" for the installer's path (origin or absolute form)
    with exactly `query` after it ("" for none), None for anything else."""
    try:
        parts = urllib.parse.urlsplit(target)
    except ValueError:
        return None
    if parts.query != query or parts.fragment or (parts.scheme and parts.scheme != "http"):
        return None
    if parts.path == SERVED_PATH:
        return "raw"
    return "encoded" if urllib.parse.unquote(parts.path) == SERVED_PATH else None


class InstallerServer:
    """The test server, run in a thread of the calling process.

    Attributes a test may change at any time: content (GeneratedContent or
    FileContent), rate (bytes per second for every answer whose mode names
    none; None = full speed), cache ("static": Last-Modified, ETag,
    Cache-Control and Expires as a static file server sends them, answering
    conditional requests; "none": no cache headers).

    query: the query the installer's URL must carry ("" for none): the
    target of a download link with a query, any other is not found.

    tls: None for plain http, or (certificate file, key file) for https.
    connection_count: connections accepted so far (a client that refuses the
    certificate connects, and sends no request)."""

    def __init__(self, content=None, *, port=0, host=HOST, mode="honour", rate=None, cache="static", log_path=None,
                 tls=None, query=""):
        if host != HOST:
            raise ValueError(f"the test server listens on {HOST} only, not {host!r}")
        if cache not in CACHES:
            raise ValueError(f"cache must be one of {', '.join(CACHES)}, not {cache!r}")
        self.content = content if content is not None else GeneratedContent(DEFAULT_SIZE)
        self.rate = rate
        self.cache = cache
        self.query = query
        self.tls = _server_context(*tls) if tls else None
        self._requested_port = port
        self._mode = parse_mode(mode)
        self._queue = deque()
        self._log = []
        self._log_path = log_path
        self._log_file = None
        self._lock = threading.Condition()
        self._connections = set()
        self._connection_count = 0
        self._stopping = threading.Event()
        self._listener = None
        self._thread = None

    # -- life cycle
    def start(self):
        self._listener = _Listener(self, self._requested_port)
        if self._log_path:
            self._log_file = open(self._log_path, "w", encoding="utf-8")
        self._thread = threading.Thread(target=self._listener.serve_forever, args=(0.1,), name="installer-server",
                                        daemon=True)
        self._thread.start()
        return self

    def stop(self):
        """Stops listening, cuts every open connection and waits for their threads."""
        if self._listener is None:
            return
        self._stopping.set()
        self._listener.shutdown()
        with self._lock:
            for connection in list(self._connections):
                _cut(connection)
        self._listener.server_close()
        self._thread.join()
        self._listener = None
        if self._log_file:
            self._log_file.close()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    @property
    def port(self):
        return self._listener.server_address[1]

    @property
    def connection_count(self):
        with self._lock:
            return self._connection_count

    @property
    def base_url(self):
        return f"https://localhost:{self.port}" if self.tls else f"http://{HOST}:{self.port}"

    @property
    def url(self):
        return self.base_url + SERVED_PATH

    # -- modes
    @property
    def mode(self):
        return self._mode

    def set_mode(self, mode):
        """The mode of every request for the installer that the queue does not cover."""
        self._mode = parse_mode(mode)

    def queue_modes(self, *modes):
        """Modes for the next requests for the installer, one each, in order."""
        parsed = [parse_mode(mode) for mode in modes]
        with self._lock:
            self._queue.extend(parsed)

    def _next_mode(self):
        with self._lock:
            return self._queue.popleft() if self._queue else self._mode

    # -- the request log
    def requests(self):
        """Every request so far, oldest first: dicts with time, client,
        connection, request_line, method, target, version, path_form,
        headers ([name, value] pairs as sent), mode, status,
        response_headers, body_bytes, complete (the whole body went out),
        last_slice_time (when the send of the body's last bytes began: no
        client holds the whole body earlier; None until complete) and
        done (the answer is over, complete or cut)."""
        with self._lock:
            return copy.deepcopy(self._log)

    def clear_requests(self):
        with self._lock:
            self._log.clear()

    def wait_for_requests(self, count, timeout=10.0, done=False):
        """The log once it holds count requests; with done, once the first
        count of them are answered, too (else the last may still be running)."""
        def ready():
            return len(self._log) >= count and (not done or all(entry["done"] for entry in self._log[:count]))
        with self._lock:
            if not self._lock.wait_for(ready, timeout):
                raise TimeoutError(f"{len(self._log)} requests within {timeout} s, not {count}{' done' * done}")
            return copy.deepcopy(self._log)

    def _record_request(self, handler):
        entry = {
            "time": time.time(),
            "client": "%s:%d" % handler.client_address[:2],
            "connection": handler.connection_id,
            "request_line": handler.requestline,
            "method": handler.command,
            "target": handler.path,
            "version": handler.request_version,
            "path_form": path_form(handler.path, self.query),
            "headers": [[name, value] for name, value in handler.headers.items()],
            "mode": None,
            "status": None,
            "response_headers": [],
            "body_bytes": 0,
            "complete": False,
            "last_slice_time": None,
            "done": False,
        }
        with self._lock:
            self._log.append(entry)
            self._lock.notify_all()
        return entry

    def _update(self, entry, **fields):
        with self._lock:
            entry.update(fields)

    def _finish(self, entry):
        with self._lock:
            entry["done"] = True
            self._lock.notify_all()
            if self._log_file:
                self._log_file.write(json.dumps(dict(entry, iso_time=_iso(entry["time"]))) + "\n")
                self._log_file.flush()

    def _next_connection_id(self):
        with self._lock:
            self._connection_count += 1
            return self._connection_count

    def _track(self, connection, is_open):
        with self._lock:
            (self._connections.add if is_open else self._connections.discard)(connection)


def _server_context(certificate, key):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(certificate, key)
    return context


def _cut(connection):
    try:
        connection.shutdown(socket.SHUT_RDWR)
    except OSError:
        pass  # already gone


def _iso(timestamp):
    return time.strftime("%Y-%m-%dT%H:%M:%S", time.gmtime(timestamp)) + f".{int(timestamp % 1 * 1000):03d}Z"


def header(entry, name):
    """The first value of a header in a logged request, or None."""
    return next((value for key, value in entry["headers"] if key.lower() == name.lower()), None)


class NothingListening:
    """A port on 127.0.0.1 that refuses connections: bound, so no one else
    takes it while the object lives, but never listening."""

    def __init__(self):
        self._socket = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._socket.bind((HOST, 0))
        self.port = self._socket.getsockname()[1]
        self.base_url = f"http://{HOST}:{self.port}"
        self.url = self.base_url + SERVED_PATH

    def close(self):
        self._socket.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


# ---- command line ----------------------------------------------------------

def _arguments(argv):
    parser = argparse.ArgumentParser(description="Local test server for the installer download.")
    parser.add_argument("--host", default=HOST, help="bind address; only 127.0.0.1 is accepted")
    parser.add_argument("--port", type=int, default=0, help="0 picks a free port")
    parser.add_argument("--size", type=int, default=DEFAULT_SIZE, help="size of the generated content")
    parser.add_argument("--seed", type=int, default=0, help="variant of the generated content")
    parser.add_argument("--file", help="serve this file instead of generated content")
    parser.add_argument("--mode", default="honour", help="answer mode, e.g. honour or close-after=1000,rate=5000")
    parser.add_argument("--queue", action="append", default=[], metavar="MODE",
                        help="mode of the next request (repeatable, in order)")
    parser.add_argument("--rate", type=int, help="bytes per second for every answer")
    parser.add_argument("--cache", choices=CACHES, default="static")
    parser.add_argument("--log", help="write one JSON line per request to this file")
    parser.add_argument("--sample-out", metavar="PATH", help="write the content to PATH and exit")
    parser.add_argument("--sha256", action="store_true", help="print the content's SHA-256 and exit")
    parser.add_argument("--print-url", action="store_true", help="print the installer's URL on --port and exit")
    args = parser.parse_args(argv)
    if args.host != HOST:
        parser.error(f"the test server listens on {HOST} only")
    if args.size < 0 or (args.rate is not None and args.rate < 1):
        parser.error("--size must be 0 or more and --rate 1 or more")
    try:
        [parse_mode(mode) for mode in [args.mode, *args.queue]]
    except ValueError as error:
        parser.error(str(error))
    return args


def write_sample(content, path):
    with open(path, "wb") as out:
        for chunk in iter_content(content):
            out.write(chunk)


def sha256_of(content):
    digest = hashlib.sha256()
    for chunk in iter_content(content):
        digest.update(chunk)
    return digest.hexdigest()


def serve_until_signalled(args, content):
    server = InstallerServer(content, port=args.port, mode=args.mode, rate=args.rate, cache=args.cache,
                             log_path=args.log)
    server.queue_modes(*args.queue)
    stop = threading.Event()
    for number in (signal.SIGTERM, signal.SIGINT):
        signal.signal(number, lambda *_: stop.set())
    with server:
        print(server.url, flush=True)
        while not stop.wait(1):
            pass


def main(argv=None):
    args = _arguments(argv)
    content = FileContent(args.file) if args.file else GeneratedContent(args.size, args.seed)
    if args.print_url:
        print(f"http://{HOST}:{args.port}{SERVED_PATH}")
        return 0
    if args.sample_out:
        write_sample(content, args.sample_out)
    if args.sha256:
        print(sha256_of(content))
    if not (args.sample_out or args.sha256):
        serve_until_signalled(args, content)
    return 0


if __name__ == "__main__":
    sys.exit(main())
