#!/usr/bin/env python3
"""Checks of the test server itself, natively (no Wine): the rules the
updater's tests rely on must do what they say."""

import http.client
import os
import socket
import subprocess
import sys
import tempfile
import unittest
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import zu_test_server  # noqa: E402


def raw_get(port, target, method="GET", proxy=False):
    """(head text, body bytes, error) of one HTTP/1.0 request over a socket."""
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.sendall(("%s %s HTTP/1.0\r\nHost: x\r\nX-Probe: 1\r\n\r\n" % (method, target)).encode())
        data, error = b"", None
        try:
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                data += chunk
        except ConnectionResetError as e:
            error = e
    head, _, body = data.partition(b"\r\n\r\n")
    return head.decode("latin-1"), body, error


class TestServerRules(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.TemporaryDirectory()
        with open(os.path.join(cls.root.name, "file.txt"), "wb") as f:
            f.write(b"served from the folder")
        os.utime(os.path.join(cls.root.name, "file.txt"), (1700000000, 1700000000))
        cls.server = zu_test_server.TestServer(cls.root.name).start()
        cls.proxy = zu_test_server.RecordingProxy().start()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        cls.proxy.stop()
        cls.root.cleanup()

    def test_folder_file_has_length_and_date(self):
        head, body, _ = raw_get(self.server.port, "/file.txt")
        self.assertTrue(head.startswith("HTTP/1.0 200 OK"))
        self.assertIn("Content-Length: 22", head)
        self.assertIn("Last-Modified: Tue, 14 Nov 2023 22:13:20 GMT", head)
        self.assertEqual(b"served from the folder", body)

    def test_missing_file_is_404(self):
        head, _, _ = raw_get(self.server.port, "/nothing.bin")
        self.assertTrue(head.startswith("HTTP/1.0 404"))

    def test_rules(self):
        cases = [
            ({"size": 5000, "length": 3000}, "Content-Length: 3000", 5000),
            ({"size": 100, "no_length": True}, None, 100),
            ({"size": 10000, "close_after": 2500}, "Content-Length: 10000", 2500),
            ({"status": 500, "body": "oops"}, "Content-Length: 4", 4),
            ({"status": 401, "authenticate": 'Basic realm="z"', "size": 3},
             'WWW-Authenticate: Basic realm="z"', 3),
        ]
        for rule, header, body_size in cases:
            with self.subTest(rule=rule):
                self.server.set_rule("/r", **rule)
                head, body, _ = raw_get(self.server.port, "/r")
                if header:
                    self.assertIn(header, head)
                else:
                    self.assertNotIn("Content-Length", head)
                self.assertEqual(body_size, len(body))
        self.assertEqual(zu_test_server.generated_body(5000)[:3000],
                         zu_test_server.generated_body(3000))

    def test_status_line_and_dates(self):
        self.server.set_rule("/s", status_line="HTTP/1.0 abc Broken", last_modified="none", size=1)
        head, _, _ = raw_get(self.server.port, "/s")
        self.assertTrue(head.startswith("HTTP/1.0 abc Broken"))
        self.assertNotIn("Last-Modified", head)
        self.server.set_rule("/s", last_modified="1700000000", size=1)
        head, body, _ = raw_get(self.server.port, "/s", method="HEAD")
        self.assertIn("Last-Modified: Tue, 14 Nov 2023 22:13:20 GMT", head)
        self.assertEqual(b"", body)

    def test_file_rule_serves_another_file_of_the_folder_only(self):
        self.server.set_rule("/folder/", file="/file.txt")
        head, body, _ = raw_get(self.server.port, "/folder/")
        self.assertTrue(head.startswith("HTTP/1.0 200"))
        self.assertEqual(b"served from the folder", body)
        with tempfile.NamedTemporaryFile(dir=os.path.dirname(self.root.name)) as outside:
            outside.write(b"outside")
            outside.flush()
            self.server.set_rule("/out", file="/../" + os.path.basename(outside.name))
            head, _, _ = raw_get(self.server.port, "/out")
        self.assertTrue(head.startswith("HTTP/1.0 404"))

    def test_cut_after_resets_and_drop_answers_nothing(self):
        self.server.set_rule("/cut", size=100000, cut_after=3000)
        _, body, _ = raw_get(self.server.port, "/cut")
        self.assertLessEqual(len(body), 3000)
        self.server.set_rule("/drop", drop=True)
        head, body, _ = raw_get(self.server.port, "/drop")
        self.assertEqual(("", b""), (head, body))

    def test_drip_sends_the_body_one_byte_at_a_time(self):
        self.server.set_rule("/drip", size=4, drip=0.3)
        with socket.create_connection(("127.0.0.1", self.server.port), timeout=10) as s:
            s.sendall(b"GET /drip HTTP/1.0\r\n\r\n")
            data = b""
            while b"\r\n\r\n" not in data:
                data += s.recv(65536)
            head, _, body = data.partition(b"\r\n\r\n")
            self.assertIn(b"Content-Length: 4", head)
            pieces = [body] if body else []
            while True:
                piece = s.recv(65536)
                if not piece:
                    break
                pieces.append(piece)
        self.assertEqual([1, 1, 1, 1], [len(p) for p in pieces])
        self.assertEqual(zu_test_server.generated_body(4), b"".join(pieces))

    def test_drip_headers_sends_the_head_one_byte_at_a_time(self):
        self.server.set_rule("/dh", size=10, drip_headers=0.3)
        with socket.create_connection(("127.0.0.1", self.server.port), timeout=10) as s:
            s.sendall(b"GET /dh HTTP/1.0\r\n\r\n")
            self.assertEqual(b"H", s.recv(65536))
            self.assertEqual(b"T", s.recv(65536))
        # Dripped quickly, the whole answer is the usual one.
        self.server.set_rule("/dh", size=10, drip_headers=0.002)
        head, body, _ = raw_get(self.server.port, "/dh")
        self.assertTrue(head.startswith("HTTP/1.0 200 OK"))
        self.assertIn("Content-Length: 10", head)
        self.assertEqual(zu_test_server.generated_body(10), body)

    def test_one_write_sends_head_and_body_together(self):
        self.server.set_rule("/one", size=5000, length=100, one_write=True)
        with socket.create_connection(("127.0.0.1", self.server.port), timeout=10) as s:
            s.sendall(b"GET /one HTTP/1.0\r\n\r\n")
            data = b""
            while True:
                piece = s.recv(65536)
                if not piece:
                    break
                data += piece
        head, _, body = data.partition(b"\r\n\r\n")
        self.assertIn(b"Content-Length: 100", head)
        self.assertEqual(zu_test_server.generated_body(5000), body)

    def test_silent_listener_accepts_and_never_answers(self):
        listener = zu_test_server.SilentListener().start()
        try:
            with socket.create_connection(("127.0.0.1", listener.port), timeout=10) as s:
                s.sendall(b"\x16\x03\x01 a TLS hello would go here")
                s.settimeout(1.0)
                with self.assertRaises(socket.timeout):
                    s.recv(1)
                listener.stop()
                s.settimeout(10)
                self.assertEqual(b"", s.recv(1))
        finally:
            listener.stop()

    def test_control_over_http_and_records(self):
        self.server.clear("/c/")
        head, body, _ = raw_get(self.server.port, "/__control/rule?path=/c/x&status=404&size=7")
        self.assertEqual(b"ok", body)
        head, _, _ = raw_get(self.server.port, "/c/x")
        self.assertTrue(head.startswith("HTTP/1.0 404"))
        _, records, _ = raw_get(self.server.port, "/__control/requests?prefix=/c/")
        self.assertEqual(b"GET /c/x HTTP/1.0\r\nHost: x\r\nX-Probe: 1\r\n\r\n", records)
        head, _, _ = raw_get(self.server.port, "/__control/rule?path=/c/x&bogus=1")
        self.assertTrue(head.startswith("HTTP/1.0 400"))

    def test_proxy_forwards_and_records(self):
        self.proxy.clear()
        url = self.server.url("/file.txt")
        head, body, _ = raw_get(self.proxy.port, url)
        self.assertTrue(head.startswith("HTTP/1.0 200"))
        self.assertEqual(b"served from the folder", body)
        records = self.proxy.requests("/file.txt")
        self.assertEqual("GET %s HTTP/1.0" % url, records[0]["request_line"])
        self.assertIn(("X-Probe", "1"), records[0]["headers"])
        head, _, _ = raw_get(self.proxy.port, "http://example.com/")
        self.assertTrue(head.startswith("HTTP/1.0 403"))


class TestServeCommand(unittest.TestCase):
    def test_second_server_shares_the_folder_but_not_rules_or_records(self):
        with tempfile.TemporaryDirectory() as root:
            with open(os.path.join(root, "file.txt"), "wb") as f:
                f.write(b"one folder")
            state_file = os.path.join(root, "state")
            script = os.path.abspath(zu_test_server.__file__)
            self.assertEqual(0, subprocess.call(
                [sys.executable, script, "start", "--root", root, "--state-file", state_file],
                stdout=subprocess.DEVNULL))
            try:
                state = zu_test_server.read_state(state_file)
                port, alt = int(state["port"]), int(state["alt_port"])
                self.assertNotEqual(port, alt)
                with socket.create_connection(("127.0.0.1", int(state["silent_port"])),
                                              timeout=10) as s:
                    s.settimeout(0.5)
                    with self.assertRaises(socket.timeout):
                        s.recv(1)
                raw_get(alt, "/__control/rule?path=/file.txt&status=404")
                head, body, _ = raw_get(port, "/file.txt")
                self.assertTrue(head.startswith("HTTP/1.0 200"))
                self.assertEqual(b"one folder", body)
                head, _, _ = raw_get(alt, "/file.txt")
                self.assertTrue(head.startswith("HTTP/1.0 404"))
                _, records, _ = raw_get(port, "/__control/requests?prefix=/file.txt")
                self.assertEqual(1, records.count(b"GET /file.txt"))
                _, records, _ = raw_get(alt, "/__control/requests?prefix=/file.txt")
                self.assertEqual(1, records.count(b"GET /file.txt"))
            finally:
                subprocess.call([sys.executable, script, "stop", "--state-file", state_file])


if __name__ == "__main__":
    unittest.main()
