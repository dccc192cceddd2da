#!/usr/bin/env python3
"""Checks of the TLS test servers themselves, natively (no Wine): each
presents the certificate its name promises, the control port serves only the
control endpoints, and the proxy tunnels CONNECT to a local port only."""

import os
import socket
import ssl
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import zu_test_server  # noqa: E402
import zu_tls_server  # noqa: E402
from test_zu_test_server import raw_get  # noqa: E402


def tls_get(port, path, context, server_name="localhost", sock=None):
    """The raw answer to one GET over TLS (an ssl error propagates)."""
    raw = sock or socket.create_connection(("127.0.0.1", port), timeout=10)
    with context.wrap_socket(raw, server_hostname=server_name) as s:
        s.sendall(("GET %s HTTP/1.0\r\nHost: localhost\r\n\r\n" % path).encode())
        data = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                return data
            data += chunk


class TestTlsServers(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory()
        cls.certs = os.path.join(cls.work.name, "certs")
        subprocess.check_call(["bash", os.path.join(HERE, "make_test_certs.sh"), cls.certs])
        cls.root = os.path.join(cls.work.name, "www")
        os.makedirs(cls.root)
        with open(os.path.join(cls.root, "file.txt"), "wb") as f:
            f.write(b"over tls")
        cls.servers = zu_tls_server.start_servers(cls.root, cls.certs)
        cls.proxy = zu_test_server.RecordingProxy().start()
        cls.trusting = ssl.create_default_context(cafile=os.path.join(cls.certs, "ca.pem"))

    @classmethod
    def tearDownClass(cls):
        for server in cls.servers.values():
            server.stop()
        cls.proxy.stop()
        cls.work.cleanup()

    def test_trusted_certificate_for_localhost_serves_and_records(self):
        answer = tls_get(self.servers["secure"].port, "/file.txt", self.trusting)
        self.assertTrue(answer.startswith(b"HTTP/1.0 200"))
        self.assertTrue(answer.endswith(b"over tls"))
        _, records, _ = raw_get(self.servers["secure"].control_port,
                                "/__control/requests?prefix=/file.txt")
        self.assertIn(b"GET /file.txt HTTP/1.0", records)

    def test_each_refusal_fails_for_its_own_reason(self):
        cases = {"wrong_name": "Hostname mismatch", "expired": "expired",
                 "untrusted": "unable to get local issuer"}
        for name, reason in cases.items():
            with self.subTest(name=name):
                with self.assertRaises(ssl.SSLCertVerificationError) as caught:
                    tls_get(self.servers[name].port, "/file.txt", self.trusting)
                self.assertIn(reason, str(caught.exception))
        # The authority nobody trusts is the only thing wrong with that one.
        stranger = ssl.create_default_context(
            cafile=os.path.join(self.certs, "stranger_ca.pem"))
        answer = tls_get(self.servers["untrusted"].port, "/file.txt", stranger)
        self.assertTrue(answer.startswith(b"HTTP/1.0 200"))

    def test_control_port_serves_no_files(self):
        head, body, _ = raw_get(self.servers["secure"].control_port, "/file.txt")
        self.assertIn("403", head.split("\r\n")[0])
        self.assertNotIn(b"over tls", body)

    def test_proxy_tunnels_to_local_ports_only(self):
        port = self.servers["secure"].port
        raw = socket.create_connection(("127.0.0.1", self.proxy.port), timeout=10)
        raw.sendall(("CONNECT localhost:%d HTTP/1.0\r\n\r\n" % port).encode())
        reply = b""
        while b"\r\n\r\n" not in reply:
            reply += raw.recv(1)
        self.assertTrue(reply.startswith(b"HTTP/1.0 200"))
        answer = tls_get(port, "/file.txt", self.trusting, sock=raw)
        self.assertTrue(answer.endswith(b"over tls"))
        records = self.proxy.requests()
        self.assertIn("CONNECT localhost:%d HTTP/1.0" % port,
                      [r["request_line"] for r in records])
        head, _, _ = raw_get(self.proxy.port, "example.com:443", method="CONNECT")
        self.assertIn("403", head.split("\r\n")[0])


if __name__ == "__main__":
    unittest.main()
