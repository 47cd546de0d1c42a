#!/usr/bin/env python3
"""Checks of the local test server against 127.0.0.1: every mode's status,
headers, lengths and bytes, the request log, scripting and the command line.

    python3 tests/server/test_server_selftest.py [TestClass ...]
"""
import hashlib
import http.client
import json
import os
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from certificates import ThrowawayPki
from test_server import (ENCODED_PATH, RAW_ANSWERS, SERVED_PATH, SIGN_IN_PAGE, FileContent, GeneratedContent,
                         InstallerServer, NothingListening, header, parse_mode)

SIZE = 300_000  # several generated blocks, so ranges cross block edges
SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "test_server.py")


def content_bytes(content):
    body = content.open()
    try:
        return body.read(0, body.length)
    finally:
        body.close()


class ServerTestCase(unittest.TestCase):
    content = GeneratedContent(SIZE)

    def setUp(self):
        self.server = InstallerServer(self.content).start()
        self.addCleanup(self.server.stop)
        self.expected = content_bytes(self.content)

    def connect(self):
        connection = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=5)
        self.addCleanup(connection.close)
        return connection

    def get(self, headers=None, path=SERVED_PATH, connection=None, method="GET"):
        """(response, body) of one request."""
        connection = connection or self.connect()
        connection.request(method, path, headers=headers or {})
        response = connection.getresponse()
        return response, response.read()

    def assert_range_reply(self, response, body, start):
        self.assertEqual(response.status, 206)
        self.assertEqual(response.getheader("Content-Range"), f"bytes {start}-{SIZE - 1}/{SIZE}")
        self.assertEqual(int(response.getheader("Content-Length")), SIZE - start)
        self.assertEqual(body, self.expected[start:])


class RoutingTests(ServerTestCase):
    def test_raw_and_encoded_paths_are_served_and_told_apart(self):
        for path, form in ((SERVED_PATH, "raw"), (ENCODED_PATH, "encoded")):
            response, body = self.get(path=path)
            self.assertEqual((response.status, body), (200, self.expected))
            self.assertEqual(self.server.requests()[-1]["path_form"], form)
        self.assertIn("%28K%29", ENCODED_PATH)
        self.assertIn("%5B2.20%5D", ENCODED_PATH)

    def test_other_targets_get_a_404_page_and_leave_the_queue_alone(self):
        self.server.queue_modes("status=503")
        for path in ("/", SERVED_PATH + "?x=1", SERVED_PATH.lower(), SERVED_PATH[:-4]):
            response, body = self.get(path=path)
            self.assertEqual(response.status, 404, path)
            self.assertEqual(int(response.getheader("Content-Length")), len(body))
            self.assertIn(b"<html>", body)
        self.assertEqual(self.get()[0].status, 503)

    def test_a_link_with_a_query_is_served_only_with_that_query(self):
        self.server.query = "build=3"
        for path, status in ((SERVED_PATH + "?build=3", 200), (ENCODED_PATH + "?build=3", 200), (SERVED_PATH, 404),
                             (SERVED_PATH + "?build=4", 404), (SERVED_PATH + "?build=3#notes", 404)):
            self.assertEqual(self.get(path=path)[0].status, status, path)

    def test_absolute_form_target_is_served(self):
        response, body = self.get(path=self.server.url)
        self.assertEqual((response.status, body), (200, self.expected))

    def test_head_sends_the_headers_without_a_body(self):
        connection = self.connect()
        response, body = self.get(method="HEAD", connection=connection)
        self.assertEqual((response.status, response.getheader("Content-Length"), body), (200, str(SIZE), b""))
        self.assertEqual(self.get(connection=connection)[1], self.expected)

    def test_only_loopback_may_be_bound(self):
        for host in ("0.0.0.0", "localhost", "::1", "192.168.1.1"):
            with self.assertRaises(ValueError):
                InstallerServer(host=host)

    def test_nothing_listening_refuses_connections(self):
        with NothingListening() as nothing:
            self.assertIn(f":{nothing.port}/", nothing.url)
            with self.assertRaises(ConnectionRefusedError):
                socket.create_connection(("127.0.0.1", nothing.port), timeout=2)


class HonourTests(ServerTestCase):
    def test_plain_get_is_the_whole_file(self):
        response, body = self.get()
        self.assertEqual(response.status, 200)
        self.assertEqual(response.getheader("Content-Length"), str(SIZE))
        self.assertEqual(response.getheader("Accept-Ranges"), "bytes")
        self.assertEqual(body, self.expected)

    def test_open_ranges_from_start_middle_and_last_byte(self):
        for start in (0, 1000, 65535, 65536, SIZE - 1):
            response, body = self.get({"Range": f"bytes={start}-"})
            self.assert_range_reply(response, body, start)

    def test_bounded_and_suffix_ranges(self):
        response, body = self.get({"Range": "bytes=10-19"})
        self.assertEqual((response.status, response.getheader("Content-Range")), (206, f"bytes 10-19/{SIZE}"))
        self.assertEqual(body, self.expected[10:20])
        response, body = self.get({"Range": "bytes=-100"})
        self.assertEqual(response.getheader("Content-Range"), f"bytes {SIZE - 100}-{SIZE - 1}/{SIZE}")
        self.assertEqual(body, self.expected[-100:])

    def test_range_at_or_past_the_end_is_416_with_the_length(self):
        for start in (SIZE, SIZE + 1, 10 ** 12):
            response, body = self.get({"Range": f"bytes={start}-"})
            self.assertEqual(response.status, 416)
            self.assertEqual(response.getheader("Content-Range"), f"bytes */{SIZE}")
            self.assertEqual(int(response.getheader("Content-Length")), len(body))

    def test_malformed_or_multiple_ranges_are_ignored(self):
        for value in ("bytes=", "bytes=5-2", "items=0-", "bytes=0-1,5-6"):
            response, body = self.get({"Range": value})
            self.assertEqual((response.status, len(body)), (200, SIZE), value)

    def test_persistent_connection_carries_probe_and_transfer(self):
        connection = self.connect()
        self.assertEqual(self.get(connection=connection)[1], self.expected)
        self.assert_range_reply(*self.get({"Range": "bytes=1000-"}, connection=connection), 1000)
        self.assertEqual(self.get(path="/nothing", connection=connection)[0].status, 404)
        self.assertEqual(len({entry["connection"] for entry in self.server.requests()}), 1)

    def test_connection_close_is_honoured(self):
        response, _ = self.get({"Connection": "close"})
        self.assertTrue(response.will_close)

    def test_empty_content(self):
        self.server.content = GeneratedContent(0)
        response, body = self.get()
        self.assertEqual((response.status, response.getheader("Content-Length"), body), (200, "0", b""))
        response, _ = self.get({"Range": "bytes=0-"})
        self.assertEqual((response.status, response.getheader("Content-Range")), (416, "bytes */0"))


class FaultModeTests(ServerTestCase):
    def test_ignore_range_sends_the_whole_body(self):
        self.server.set_mode("ignore-range")
        response, body = self.get({"Range": "bytes=1000-"})
        self.assertEqual((response.status, response.getheader("Content-Range"), body), (200, None, self.expected))
        self.assertIsNone(response.getheader("Accept-Ranges"))
        self.assertEqual(self.get({"Range": f"bytes={SIZE}-"})[0].status, 200)

    def test_no_length_ends_the_body_by_closing(self):
        self.server.set_mode("no-length")
        for headers, status, expected in (({}, 200, self.expected), ({"Range": "bytes=5-"}, 206, self.expected[5:])):
            response, body = self.get(headers)
            self.assertEqual((response.status, response.getheader("Content-Length")), (status, None))
            self.assertEqual(response.getheader("Connection"), "close")
            self.assertEqual(body, expected)

    def test_not_found_and_any_status_send_a_small_page(self):
        for mode, status in (("not-found", 404), ("status=503", 503), ("status=407", 407), ("status=200", 200),
                             ("portal", 200)):
            self.server.set_mode(mode)
            response, body = self.get({"Range": "bytes=0-"})
            self.assertEqual(response.status, status, mode)
            self.assertEqual(int(response.getheader("Content-Length")), len(body))
            self.assertTrue(body.startswith(b"<html>") and len(body) < 1024)
            self.assertIsNone(response.getheader("ETag"))
        self.assertEqual(body, SIGN_IN_PAGE)
        self.assertTrue(response.getheader("Proxy-Authenticate") is None)
        self.server.set_mode("status=407")
        self.assertIn("Basic", self.get()[0].getheader("Proxy-Authenticate"))
        self.assertIsNone(self.get()[0].getheader("Retry-After"))
        self.server.set_mode("status=503,retry-after=2")
        self.assertEqual(self.get()[0].getheader("Retry-After"), "2")

    def test_a_redirect_points_at_the_installer_on_the_location_named(self):
        self.server.set_mode("status=302,location=https://localhost:47372")
        self.assertEqual(self.get()[0].getheader("Location"), "https://localhost:47372" + SERVED_PATH)
        self.server.set_mode("status=301")
        self.assertEqual(self.get()[0].getheader("Location"), SERVED_PATH)

    def test_refuse_head_answers_405_to_a_head_only(self):
        self.server.set_mode("refuse-head")
        connection = self.connect()
        response, body = self.get(method="HEAD", connection=connection)
        self.assertEqual((response.status, response.getheader("Allow"), body), (405, "GET", b""))
        self.assert_range_reply(*self.get({"Range": "bytes=10-"}, connection=connection), 10)
        self.assertEqual([entry["method"] for entry in self.server.requests()], ["HEAD", "GET"])

    def test_raw_answers_go_out_byte_for_byte_and_end_the_connection(self):
        for name, (head, body) in RAW_ANSWERS.items():
            self.server.set_mode(f"raw={name}")
            for method, expected in (("GET", head + body), ("HEAD", head)):
                with socket.create_connection(("127.0.0.1", self.server.port), timeout=5) as connection:
                    connection.sendall(f"{method} {SERVED_PATH} HTTP/1.1\r\nHost: x\r\n\r\n".encode())
                    received = b""
                    while chunk := connection.recv(65536):
                        received += chunk
                self.assertEqual(received, expected, (name, method))
        self.assertIn(b"Content-Length: 16\x00384\r\n", RAW_ANSWERS["nul-in-length"][0])

    def test_status_without_content_has_no_body(self):
        self.server.set_mode("status=204")
        response, body = self.get()
        self.assertEqual((response.status, response.getheader("Content-Length"), body), (204, None, b""))

    def test_close_after_announces_the_whole_length_then_drops(self):
        cases = (("close-after=1000", {}, SIZE), ("close-after=70000", {"Range": "bytes=100-"}, SIZE - 100),
                 ("close-after=0", {}, SIZE))
        for count, (mode, headers, announced) in enumerate(cases, 1):
            self.server.set_mode(mode)
            connection = self.connect()
            connection.request("GET", SERVED_PATH, headers=headers)
            response = connection.getresponse()
            self.assertEqual(int(response.getheader("Content-Length")), announced)
            with self.assertRaises(http.client.IncompleteRead) as caught:
                response.read()
            start = 100 if headers else 0
            sent = int(mode.split("=")[1])
            self.assertEqual(caught.exception.partial, self.expected[start:start + sent])
            entry = self.server.wait_for_requests(count, done=True)[-1]
            self.assertEqual((entry["body_bytes"], entry["complete"]), (sent, False))

    def test_stall_and_no_answer_keep_the_connection_open_and_silent(self):
        for mode, sent in (("stall-after=1000", 1000), ("no-answer", None)):
            self.server.set_mode(mode)
            with socket.create_connection(("127.0.0.1", self.server.port), timeout=1) as connection:
                connection.sendall(f"GET {SERVED_PATH} HTTP/1.1\r\nHost: x\r\n\r\n".encode())
                received = b""
                with self.assertRaises(TimeoutError):  # silent, but not closed
                    while True:
                        chunk = connection.recv(65536)
                        self.assertTrue(chunk, "the server closed the connection")
                        received += chunk
            body = received.partition(b"\r\n\r\n")[2]
            self.assertEqual(body if sent else received, self.expected[:sent] if sent else b"")

    def test_close_after_beyond_the_body_sends_it_whole(self):
        self.server.set_mode("close-after=999999999")
        self.assertEqual(self.get()[1], self.expected)

    def test_wrong_bytes_keep_the_length_and_change_every_byte(self):
        self.server.set_mode("wrong-bytes")
        response, body = self.get({"Range": "bytes=7-"})
        self.assertEqual((response.status, len(body)), (206, SIZE - 7))
        self.assertFalse(any(a == b for a, b in zip(body, self.expected[7:])))

    def test_wrong_range_start_answers_a_consistent_range_elsewhere(self):
        for mode, asked, served in (("wrong-range-start", 1000, 1001), ("wrong-range-start", SIZE - 1, SIZE - 2),
                                    ("wrong-range-start=-500", 1000, 500), ("wrong-range-start=-500", 10, 510)):
            self.server.set_mode(mode)
            response, body = self.get({"Range": f"bytes={asked}-"})
            self.assertEqual(response.status, 206)
            self.assertEqual(response.getheader("Content-Range"), f"bytes {served}-{SIZE - 1}/{SIZE}")
            self.assertEqual(body, self.expected[served:])
        self.assertEqual(self.get()[0].status, 200)

    def test_rate_throttles_and_combines(self):
        self.server.set_mode("close-after=60000,rate=200000")
        began = time.monotonic()
        with self.assertRaises(http.client.IncompleteRead):
            self.get()
        self.assertGreaterEqual(time.monotonic() - began, 0.25)
        self.server.set_mode("honour")
        self.server.rate = 200000
        began = time.monotonic()
        self.assertEqual(len(self.get({"Range": f"bytes={SIZE - 60000}-"})[1]), 60000)
        self.assertGreaterEqual(time.monotonic() - began, 0.25)

    def test_stop_cuts_a_slow_transfer(self):
        self.server.set_mode("rate=1000")
        connection = self.connect()
        connection.request("GET", SERVED_PATH)
        response = connection.getresponse()
        began = time.monotonic()
        self.server.stop()
        self.assertLess(time.monotonic() - began, 2)
        with self.assertRaises(http.client.IncompleteRead):
            response.read()


class ScriptingTests(ServerTestCase):
    def test_queued_modes_answer_the_next_requests_in_order(self):
        self.server.set_mode("ignore-range")
        self.server.queue_modes("honour", "not-found")
        statuses = [self.get({"Range": "bytes=10-"})[0].status for _ in range(3)]
        self.assertEqual(statuses, [206, 404, 200])
        self.assertEqual([entry["mode"] for entry in self.server.requests()], ["honour", "not-found", "ignore-range"])

    def test_mode_strings_are_checked(self):
        self.assertEqual(parse_mode("no-length, rate=5, wrong-bytes").rate, 5)
        for text in ("honour,ignore-range", "refuse-head=1", "status=99", "status=600", "rate=0", "close-after=-1", "close-after=x",
                     "wrong-range-start=0", "honour=1", "fast", "not-found=2", "location=ftp://x", "location=https://x/p",
                     "raw", "raw=other", "raw=bad-chunking,portal", "portal=1"):
            with self.assertRaises(ValueError, msg=text):
                parse_mode(text)

    def test_file_content_changes_between_requests(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "installer.exe")
            with open(path, "wb") as out:
                out.write(b"a" * 5000)
            self.server.content = FileContent(path)
            first, body = self.get()
            self.assertEqual(body, b"a" * 5000)
            with open(path, "r+b") as out:
                out.write(b"b" * 5000)
            os.utime(path, ns=(1, 10 ** 18))
            second, body = self.get({"Range": "bytes=4000-"})
            self.assertEqual(body, b"b" * 1000)
            self.assertNotEqual(first.getheader("ETag"), second.getheader("ETag"))
            os.remove(path)
            self.assertEqual(self.get()[0].status, 500)

    def test_generated_content_is_deterministic_and_never_repeats_a_block(self):
        whole = content_bytes(GeneratedContent(SIZE))
        self.assertEqual(whole, self.expected)
        self.assertEqual(GeneratedContent(SIZE).read(65530, 20), whole[65530:65550])
        self.assertNotEqual(content_bytes(GeneratedContent(SIZE, seed=1)), whole)
        blocks = {whole[i:i + 64] for i in range(0, SIZE, 65536)}
        self.assertEqual(len(blocks), (SIZE + 65535) // 65536)


class LogTests(ServerTestCase):
    def test_request_line_and_all_headers_in_order(self):
        connection = self.connect()
        connection.putrequest("GET", SERVED_PATH, skip_host=True, skip_accept_encoding=True)
        for name, value in (("Host", "127.0.0.1"), ("Range", "bytes=1000-"), ("Cache-Control", "no-cache"),
                            ("Pragma", "no-cache"), ("X-Twice", "1"), ("X-Twice", "2")):
            connection.putheader(name, value)
        connection.endheaders()
        connection.getresponse().read()
        entry = self.server.wait_for_requests(1, done=True)[0]
        self.assertEqual(entry["request_line"], f"GET {SERVED_PATH} HTTP/1.1")
        self.assertEqual(entry["headers"], [["Host", "127.0.0.1"], ["Range", "bytes=1000-"],
                                            ["Cache-Control", "no-cache"], ["Pragma", "no-cache"],
                                            ["X-Twice", "1"], ["X-Twice", "2"]])
        self.assertEqual((header(entry, "range"), header(entry, "If-Range")), ("bytes=1000-", None))
        self.assertEqual((entry["status"], entry["body_bytes"], entry["complete"]), (206, SIZE - 1000, True))
        self.assertIn(["Content-Range", f"bytes 1000-{SIZE - 1}/{SIZE}"], entry["response_headers"])
        self.assertLessEqual(abs(entry["time"] - time.time()), 5)

    def test_concurrent_clients_are_all_logged(self):
        def client():
            connection = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=5)
            for _ in range(5):
                connection.request("GET", SERVED_PATH, headers={"Range": f"bytes={SIZE - 10}-"})
                connection.getresponse().read()
            connection.close()
        threads = [threading.Thread(target=client) for _ in range(6)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        entries = self.server.wait_for_requests(30, timeout=5, done=True)
        self.assertEqual(len(entries), 30)
        self.assertEqual(len({entry["connection"] for entry in entries}), 6)
        self.assertTrue(all(entry["status"] == 206 and entry["complete"] for entry in entries))

    def test_log_file_has_one_json_line_per_request(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "requests.log")
            with InstallerServer(GeneratedContent(10), log_path=path) as server:
                connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=5)
                for target in (SERVED_PATH, "/other"):
                    connection.request("GET", target)
                    connection.getresponse().read()
                connection.close()
            with open(path, encoding="utf-8") as log:
                lines = [json.loads(line) for line in log]
        self.assertEqual([(line["target"], line["status"]) for line in lines], [(SERVED_PATH, 200), ("/other", 404)])
        self.assertTrue(lines[0]["iso_time"].endswith("Z"))


class CacheTests(ServerTestCase):
    CACHE_HEADERS = ("Last-Modified", "ETag", "Cache-Control", "Expires")

    def test_static_headers_and_conditional_requests(self):
        response, _ = self.get()
        self.assertTrue(all(response.getheader(name) for name in self.CACHE_HEADERS))
        etag, modified = response.getheader("ETag"), response.getheader("Last-Modified")
        for headers in ({"If-None-Match": etag}, {"If-Modified-Since": modified}):
            response, body = self.get(headers)
            self.assertEqual((response.status, body), (304, b""))
        self.assertEqual(self.get({"If-None-Match": '"other"'})[0].status, 200)
        for validator in (etag, modified):
            self.assertEqual(self.get({"Range": "bytes=5-", "If-Range": validator})[0].status, 206)
        for validator in ('"other"', "W/" + etag):
            response, body = self.get({"Range": "bytes=5-", "If-Range": validator})
            self.assertEqual((response.status, body), (200, self.expected))

    def test_a_new_version_changes_both_validators_and_if_range_then_sends_it_whole(self):
        old = self.get()[0]
        for extra in (0, 1 << 20):
            new = self.content.next_version(extra)
            self.server.content = new
            self.assertEqual(new.length, SIZE + extra)
            for validator in (old.getheader("ETag"), old.getheader("Last-Modified")):
                response, body = self.get({"Range": "bytes=5-", "If-Range": validator})
                self.assertEqual((response.status, body), (200, content_bytes(new)))
                self.assertNotIn(response.getheader("ETag"), (old.getheader("ETag"), None))
                self.assertNotIn(response.getheader("Last-Modified"), (old.getheader("Last-Modified"), None))
                self.assertFalse(response.getheader("ETag").startswith("W/"))

    def test_a_server_that_ignores_if_range_or_tags_weakly(self):
        old = self.get()[0]
        self.server.content = self.content.next_version()
        self.server.cache = "ignore-if-range"
        response, _ = self.get({"Range": "bytes=5-", "If-Range": old.getheader("ETag")})
        self.assertEqual(response.status, 206)
        self.assertNotEqual(response.getheader("ETag"), old.getheader("ETag"))
        self.server.cache = "weak-etag"
        response, _ = self.get()
        self.assertEqual(response.getheader("ETag"), "W/" + self.server.content.etag)
        self.assertEqual(self.get({"Range": "bytes=5-", "If-Range": response.getheader("ETag")})[0].status, 200)
        self.assertEqual(self.get({"Range": "bytes=5-"})[0].status, 206)

    def test_no_cache_headers(self):
        self.server.cache = "none"
        response, _ = self.get()
        self.assertEqual([response.getheader(name) for name in self.CACHE_HEADERS], [None] * 4)
        response, _ = self.get({"If-None-Match": "*", "Range": "bytes=5-", "If-Range": '"x"'})
        self.assertEqual(response.status, 206)


class TlsTests(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.pki = ThrowawayPki(cls.folder.name)

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def serve(self, content):
        server = InstallerServer(content, tls=self.pki.server("localhost")).start()
        self.addCleanup(server.stop)
        return server

    def test_serves_ranges_of_a_file_to_a_client_that_trusts_the_root(self):
        path = os.path.join(self.folder.name, "installer.bin")
        data = content_bytes(GeneratedContent(SIZE))
        with open(path, "wb") as f:
            f.write(data)
        server = self.serve(FileContent(path))
        self.assertEqual(server.url, f"https://localhost:{server.port}{SERVED_PATH}")
        context = ssl.create_default_context(cafile=self.pki.root_pem)
        connection = http.client.HTTPSConnection("localhost", server.port, timeout=5, context=context)
        self.addCleanup(connection.close)
        connection.request("GET", SERVED_PATH, headers={"Range": "bytes=70000-"})
        response = connection.getresponse()
        self.assertEqual((response.status, response.read()), (206, data[70000:]))

    def test_a_client_that_refuses_the_certificate_connects_and_is_never_logged(self):
        for host, root in (("localhost", "stray"), ("elsewhere.test", "root")):
            with self.subTest(host=host, root=root):
                server = InstallerServer(GeneratedContent(SIZE), tls=self.pki.server(host, root)).start()
                self.addCleanup(server.stop)
                context = ssl.create_default_context(cafile=self.pki.root_pem)
                connection = http.client.HTTPSConnection("localhost", server.port, timeout=5, context=context)
                with self.assertRaises(ssl.SSLCertVerificationError):
                    connection.request("GET", SERVED_PATH)
                connection.close()
                self.assertEqual((server.connection_count, server.requests()), (1, []))


class CommandLineTests(unittest.TestCase):
    def run_script(self, *args):
        return subprocess.run([sys.executable, SCRIPT, *args], capture_output=True, text=True, timeout=30, check=True)

    def test_sample_and_its_sha256(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "sample.exe")
            self.run_script("--sample-out", path, "--size", "200000")
            with open(path, "rb") as sample:
                data = sample.read()
        self.assertEqual(data, content_bytes(GeneratedContent(200000)))
        printed = self.run_script("--sha256", "--size", "200000").stdout
        self.assertEqual(printed, hashlib.sha256(data).hexdigest() + "\n")

    def test_serves_on_the_given_port_until_terminated(self):
        with socket.socket() as probe:  # a port that is free right now
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        with tempfile.TemporaryDirectory() as folder:
            log = os.path.join(folder, "server.log")
            process = subprocess.Popen([sys.executable, SCRIPT, "--port", str(port), "--size", "5000", "--mode",
                                        "close-after=100", "--queue", "honour", "--log", log],
                                       stdout=subprocess.PIPE, text=True)
            try:
                url = process.stdout.readline().strip()
                self.assertEqual(url, f"http://127.0.0.1:{port}{SERVED_PATH}")
                connection = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
                connection.request("GET", SERVED_PATH)
                self.assertEqual(len(connection.getresponse().read()), 5000)
                connection.close()
            finally:
                process.send_signal(signal.SIGTERM)
                self.assertEqual(process.wait(timeout=10), 0)
                process.stdout.close()
            with open(log, encoding="utf-8") as lines:
                self.assertEqual(json.loads(lines.readline())["mode"], "honour")

    def test_refuses_other_bind_addresses(self):
        result = subprocess.run([sys.executable, SCRIPT, "--host", "0.0.0.0"], capture_output=True, timeout=30)
        self.assertEqual(result.returncode, 2)


if __name__ == "__main__":
    unittest.main()
