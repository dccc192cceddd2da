#!/usr/bin/env python3
"""Fault-injecting HTTP test server and a small recording HTTP proxy.

Both listen on 127.0.0.1 only, on a free port. The server serves a folder
with Content-Length and Last-Modified; per path it can be told to answer
another status, omit Content-Length, announce a wrong length, stop mid-body
with a connection reset, stall, drip the body or the head one byte at a
time, send a given Last-Modified, or close without answering. Both record
every request line and header they receive. A silent listener accepts
connections and never sends a byte (a server that never speaks TLS).

Use it as a module:

    with TestServer(root) as server:
        server.set_rule("/a.bin", status=404)
        ... server.requests("/a.bin") ...

or from the command line (see --help): `serve` runs in the foreground,
`start` runs it in the background and writes a state file (port=, proxy_port=,
alt_port=, silent_port=, pid=, root=), `stop` ends the server named by a state file. The
command line runs a second server over the same folder on alt_port, with
rules and records of its own, for tests that need two servers.

Control over HTTP (for test programs that cannot import this module), on the
server's and the proxy's own port:
  GET /__control/rule?path=/x&status=404&no_length=1   set the rule of a path
  GET /__control/clear?prefix=/x                        drop rules and records
  GET /__control/requests?prefix=/x[&format=json]       recorded requests
  GET /__control/ping
Raw request records are the request line and the headers as received, each
record ending with an empty line. The proxy records absolute URLs; its prefix
filter matches the path part. It also tunnels CONNECT to a local port (for
https), recorded under the target "host:port".
"""

import argparse
import email.utils
import http.client
import http.server
import json
import selectors
import os
import signal
import socket
import socketserver
import struct
import subprocess
import sys
import threading
import time
import urllib.parse

CONTROL_PREFIX = "/__control/"
# Seconds between the last body byte of a cut body and its reset.
CUT_RESET_DELAY = 0.3
WRITE_CHUNK = 2048

# Rule fields and how their text form (query string) is read.
RULE_FIELDS = {
    "status": int,          # answer this status (body still sent)
    "reason": str,          # reason phrase of the status line
    "status_line": str,     # the whole status line, as given (e.g. a broken one)
    "no_length": bool,      # omit Content-Length
    "length": int,          # announce this Content-Length, whatever the body
    "cut_after": int,       # send this many body bytes, then reset the connection
    "close_after": int,     # send this many body bytes, then close normally
    "stall": float,         # seconds to wait before the body
    "stall_after": int,     # ...or after this many body bytes
    "chunk_delay": float,   # seconds between writes of 2048 bytes
    "drip": float,          # the body one byte at a time, this many seconds apart
    "drip_headers": float,  # the status line and headers the same way
    "one_write": bool,      # the head and the whole body in a single write
    "last_modified": str,   # epoch seconds, an HTTP date, or "none" to omit
    "body": str,            # body text instead of the file
    "size": int,            # generated body of this many bytes instead of the file
    "file": str,            # serve this path's file (under the served folder) instead
    "drop": bool,           # close the connection without any answer
    "authenticate": str,    # send this WWW-Authenticate challenge
}


def generated_body(size):
    """Deterministic bytes: byte i is (i * 7 + i // 251) % 256."""
    pattern = bytes((i * 7 + i // 251) % 256 for i in range(251 * 256))
    reps, rest = divmod(size, len(pattern))
    return pattern * reps + pattern[:rest]


def parse_rule(query):
    """A rule from query-string pairs; unknown names are refused."""
    rule = {}
    for name, value in query.items():
        if name == "path":
            continue
        kind = RULE_FIELDS.get(name)
        if kind is None:
            raise ValueError("unknown rule field: " + name)
        if kind is bool:
            rule[name] = value not in ("", "0", "false", "no")
        else:
            rule[name] = kind(value)
    return rule


def http_date(value):
    if isinstance(value, (int, float)):
        return email.utils.formatdate(value, usegmt=True)
    text = str(value)
    if text.lstrip("-").isdigit():
        return email.utils.formatdate(int(text), usegmt=True)
    return text


class Recorder:
    """Thread-safe record of request heads."""

    def __init__(self):
        self._lock = threading.Lock()
        self._records = []

    def add(self, request_line, headers, path):
        with self._lock:
            self._records.append(
                {"request_line": request_line, "headers": list(headers), "path": path})

    def select(self, prefix=""):
        with self._lock:
            return [r for r in self._records if r["path"].startswith(prefix)]

    def clear(self, prefix=""):
        with self._lock:
            self._records = [r for r in self._records if not r["path"].startswith(prefix)]

    @staticmethod
    def raw(records):
        out = []
        for r in records:
            out.append(r["request_line"] + "\r\n")
            out.extend("%s: %s\r\n" % (k, v) for k, v in r["headers"])
            out.append("\r\n")
        return "".join(out)


def url_path(target):
    """The path of a request target (absolute URL or path), without query."""
    parts = urllib.parse.urlsplit(target)
    return urllib.parse.unquote(parts.path or "/")


class ControlMixin:
    """The /__control/ endpoints shared by the server and the proxy."""

    def handle_control(self):
        parts = urllib.parse.urlsplit(self.path)
        query = {k: v[-1] for k, v in urllib.parse.parse_qs(parts.query,
                                                            keep_blank_values=True).items()}
        action = parts.path[len(CONTROL_PREFIX):]
        owner = self.server.owner
        try:
            if action == "ping":
                text = "ok"
            elif action == "rule" and hasattr(owner, "set_rule"):
                owner.set_rule(query["path"], **parse_rule(query))
                text = "ok"
            elif action == "clear":
                owner.clear(query.get("prefix", ""))
                text = "ok"
            elif action == "requests":
                records = owner.recorder.select(query.get("prefix", ""))
                text = (json.dumps(records) if query.get("format") == "json"
                        else Recorder.raw(records))
            else:
                self.send_error(404)
                return
        except (KeyError, ValueError) as error:
            self.send_error(400, str(error))
            return
        body = text.encode("latin-1", "replace")
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def record(self):
        self.server.owner.recorder.add(self.requestline, self.headers.items(),
                                       url_path(self.path))

    def log_message(self, format, *args):  # quiet: tests read records, not stderr
        pass


class FaultHandler(ControlMixin, http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    server_version = "ZuTestServer/1.0"

    def do_GET(self):
        self.answer(send_body=True)

    def do_HEAD(self):
        self.answer(send_body=False)

    def answer(self, send_body):
        if self.path.startswith(CONTROL_PREFIX):
            self.handle_control()
            return
        self.record()
        owner = self.server.owner
        path = url_path(self.path)
        rule = owner.rule_for(path)
        if rule.get("drop"):
            self.reset_connection()
            return
        body, mtime = owner.content_for(path, rule)
        status = rule.get("status", 200 if body is not None else 404)
        if body is None:
            body = b""
        if "status_line" in rule:
            status_line = rule["status_line"].encode("latin-1") + b"\r\n"
        else:
            reason = rule.get("reason", self.responses.get(status, ("Unknown",))[0])
            status_line = ("HTTP/1.0 %d %s\r\n" % (status, reason)).encode("latin-1")
        headers = [("Server", self.server_version), ("Date", http_date(time.time())),
                   ("Content-Type", "application/octet-stream")]
        if not rule.get("no_length"):
            headers.append(("Content-Length", str(rule.get("length", len(body)))))
        if "authenticate" in rule:
            headers.append(("WWW-Authenticate", rule["authenticate"]))
        last_modified = rule.get("last_modified", mtime)
        if last_modified is not None and last_modified != "none":
            headers.append(("Last-Modified", http_date(last_modified)))
        head = status_line + b"".join(("%s: %s\r\n" % (name, value)).encode("latin-1")
                        for name, value in headers) + b"\r\n"
        if rule.get("drip_headers"):
            if not self.drip(head, rule["drip_headers"]):
                return
        elif rule.get("one_write") and send_body:
            # Body bytes arrive with the headers, in the client's first read.
            self.wfile.write(head + body)
            self.wfile.flush()
            return
        else:
            self.wfile.write(head)
            self.wfile.flush()
        if send_body:
            if rule.get("drip"):
                self.drip(body, rule["drip"])
            else:
                self.send_body(body, rule)

    def drip(self, data, interval):
        """Sends data one byte at a time, interval seconds apart; False when
        the client went away."""
        try:
            for i in range(len(data)):
                self.wfile.write(data[i:i + 1])
                self.wfile.flush()
                time.sleep(interval)
        except (BrokenPipeError, ConnectionResetError):
            return False
        return True

    def send_body(self, body, rule):
        limit = len(body)
        for key in ("cut_after", "close_after"):
            if key in rule:
                limit = min(limit, rule[key])
        sent = 0
        if rule.get("stall") and "stall_after" not in rule:
            time.sleep(rule["stall"])
        try:
            while sent < limit:
                end = min(limit, sent + WRITE_CHUNK)
                if "stall_after" in rule and sent < rule["stall_after"] <= end:
                    end = max(sent + 1, rule["stall_after"])
                self.wfile.write(body[sent:end])
                self.wfile.flush()
                sent = end
                if "stall_after" in rule and sent == rule["stall_after"]:
                    time.sleep(rule.get("stall", 1.0))
                if rule.get("chunk_delay"):
                    time.sleep(rule["chunk_delay"])
        except (BrokenPipeError, ConnectionResetError):
            return
        if "cut_after" in rule:
            # A reset that arrives while the client has not yet read the
            # headers discards them too, and the request fails before its
            # body: let the bytes sent reach the client first.
            time.sleep(CUT_RESET_DELAY)
            self.reset_connection()

    def reset_connection(self):
        """Closes with a TCP reset instead of an orderly end."""
        try:
            self.wfile.flush()
        except OSError:
            pass
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.connection.close()
        self.close_connection = True


def relay(one, other):
    """Copies bytes both ways until either side closes."""
    sockets = {one: other, other: one}
    with selectors.DefaultSelector() as selector:
        for sock in sockets:
            sock.setblocking(False)
            selector.register(sock, selectors.EVENT_READ)
        while True:
            for key, _ in selector.select(timeout=60) or [(None, None)]:
                if key is None:
                    return
                try:
                    data = key.fileobj.recv(65536)
                    if data:
                        sockets[key.fileobj].setblocking(True)
                        sockets[key.fileobj].sendall(data)
                        sockets[key.fileobj].setblocking(False)
                except OSError:
                    return
                if not data:
                    return


class ProxyHandler(ControlMixin, http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    hop_headers = {"connection", "keep-alive", "proxy-connection", "proxy-authorization",
                   "proxy-authenticate", "te", "trailers", "transfer-encoding", "upgrade"}

    def do_GET(self):
        self.forward()

    def do_HEAD(self):
        self.forward()

    def do_CONNECT(self):
        """A tunnel to a local port (for https), recorded by its target."""
        self.server.owner.recorder.add(self.requestline, self.headers.items(), self.path)
        host, _, port = self.path.rpartition(":")
        if host not in ("127.0.0.1", "localhost") or not port.isdigit():
            self.send_error(403, "only local targets")
            return
        try:
            upstream = socket.create_connection(("127.0.0.1", int(port)), timeout=60)
        except OSError:
            self.send_error(502, "target refused")
            return
        self.wfile.write(b"HTTP/1.0 200 Connection established\r\n\r\n")
        self.wfile.flush()
        self.close_connection = True
        with upstream:
            relay(self.connection, upstream)

    def forward(self):
        if self.path.startswith(CONTROL_PREFIX):
            self.handle_control()
            return
        self.record()
        target = urllib.parse.urlsplit(self.path)
        if target.scheme != "http" or target.hostname not in ("127.0.0.1", "localhost"):
            self.send_error(403, "only local targets")
            return
        conn = http.client.HTTPConnection("127.0.0.1", target.port or 80, timeout=60)
        path = target.path or "/"
        if target.query:
            path += "?" + target.query
        headers = {k: v for k, v in self.headers.items() if k.lower() not in self.hop_headers}
        try:
            conn.request(self.command, path, headers=headers)
            reply = conn.getresponse()
            self.wfile.write(("HTTP/1.0 %d %s\r\n" % (reply.status, reply.reason)).encode())
            for name, value in reply.getheaders():
                if name.lower() not in self.hop_headers:
                    self.wfile.write(("%s: %s\r\n" % (name, value)).encode("latin-1"))
            self.wfile.write(b"\r\n")
            while self.command != "HEAD":
                data = reply.read(65536)
                if not data:
                    break
                self.wfile.write(data)
        except (OSError, http.client.HTTPException):
            pass
        finally:
            conn.close()


class _Listener(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, owner, handler):
        self.owner = owner
        super().__init__(("127.0.0.1", 0), handler)

    def handle_error(self, request, client_address):  # resets and aborts are expected
        pass


class _Running:
    def __init__(self, handler):
        self.recorder = Recorder()
        self._listener = _Listener(self, handler)
        self._thread = None

    @property
    def port(self):
        return self._listener.server_address[1]

    def start(self):
        self._thread = threading.Thread(target=self._listener.serve_forever, daemon=True)
        self._thread.start()
        return self

    def stop(self):
        self._listener.shutdown()
        self._listener.server_close()

    def clear(self, prefix=""):
        self.recorder.clear(prefix)

    def requests(self, prefix=""):
        return self.recorder.select(prefix)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


class SilentListener:
    """Accepts connections on 127.0.0.1 and never sends a byte; what the
    client sends is read and dropped. Each connection stays open until the
    client closes it or the listener stops."""

    def __init__(self):
        self._socket = socket.create_server(("127.0.0.1", 0))
        self._connections = []
        self._lock = threading.Lock()
        self._stopping = False

    @property
    def port(self):
        return self._socket.getsockname()[1]

    def start(self):
        threading.Thread(target=self._accept, daemon=True).start()
        return self

    def _accept(self):
        while True:
            try:
                connection, _ = self._socket.accept()
            except OSError:
                return
            with self._lock:
                if self._stopping:
                    connection.close()
                    return
                self._connections.append(connection)
            threading.Thread(target=self._drain, args=(connection,), daemon=True).start()

    def _drain(self, connection):
        try:
            while connection.recv(65536):
                pass
        except OSError:
            pass
        with self._lock:
            if connection in self._connections:
                self._connections.remove(connection)
        connection.close()

    def stop(self):
        with self._lock:
            self._stopping = True
            connections, self._connections = self._connections, []
        self._socket.close()
        for connection in connections:
            try:
                connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            connection.close()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


class TestServer(_Running):
    """The fault-injecting server over one folder."""

    __test__ = False  # not a pytest test class

    def __init__(self, root):
        self.root = os.path.abspath(root)
        self._rules = {}
        self._lock = threading.Lock()
        super().__init__(FaultHandler)

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def set_rule(self, path, **rule):
        for name in rule:
            if name not in RULE_FIELDS:
                raise ValueError("unknown rule field: " + name)
        with self._lock:
            self._rules[path] = rule

    def clear(self, prefix=""):
        with self._lock:
            for path in [p for p in self._rules if p.startswith(prefix)]:
                del self._rules[path]
        super().clear(prefix)

    def rule_for(self, path):
        with self._lock:
            return dict(self._rules.get(path, {}))

    def content_for(self, path, rule):
        """(body bytes or None, modification time or None)."""
        if "body" in rule:
            return rule["body"].encode("latin-1"), None
        if "size" in rule:
            return generated_body(rule["size"]), None
        if "file" in rule:
            path = rule["file"]
        local = os.path.normpath(os.path.join(self.root, path.lstrip("/")))
        if not local.startswith(self.root + os.sep) or not os.path.isfile(local):
            return None, None
        with open(local, "rb") as f:
            return f.read(), int(os.path.getmtime(local))


class RecordingProxy(_Running):
    """A plain forwarding HTTP proxy that records the request heads it sees."""

    def __init__(self):
        super().__init__(ProxyHandler)


def write_state(path, values):
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        for key, value in values.items():
            f.write("%s=%s\n" % (key, value))
    os.replace(tmp, path)


def read_state(path):
    values = {}
    with open(path) as f:
        for line in f:
            key, _, value = line.strip().partition("=")
            if key:
                values[key] = value
    return values


def command_serve(args):
    os.makedirs(args.root, exist_ok=True)
    server = TestServer(args.root).start()
    alt_server = TestServer(args.root).start()
    proxy = RecordingProxy().start()
    silent = SilentListener().start()
    stopping = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stopping.set())
    signal.signal(signal.SIGINT, lambda *_: stopping.set())
    state = {"port": server.port, "proxy_port": proxy.port, "alt_port": alt_server.port,
             "silent_port": silent.port, "pid": os.getpid(), "root": server.root}
    if args.state_file:
        write_state(args.state_file, state)
    else:
        print(json.dumps(state), flush=True)
    while not stopping.wait(0.5):
        pass
    server.stop()
    alt_server.stop()
    proxy.stop()
    silent.stop()
    if args.state_file and os.path.exists(args.state_file):
        os.remove(args.state_file)
    return 0


def stop_from_state(state_file):
    if not os.path.exists(state_file):
        return
    try:
        pid = int(read_state(state_file).get("pid", "0"))
    except (OSError, ValueError):
        pid = 0
    if pid > 0:
        try:
            os.kill(pid, signal.SIGTERM)
            for _ in range(100):
                os.kill(pid, 0)
                time.sleep(0.05)
        except ProcessLookupError:
            pass
    if os.path.exists(state_file):
        os.remove(state_file)


def start_detached(script, serve_args, state_file, what):
    """Starts `script serve <serve_args> --state-file <state_file>` in a
    session of its own and waits for it to write its state; prints that."""
    state_file = os.path.abspath(state_file)
    stop_from_state(state_file)  # servers left over by an interrupted run
    log = open(state_file + ".log", "w")
    subprocess.Popen([sys.executable, os.path.abspath(script), "serve"] + serve_args +
                     ["--state-file", state_file],
                     stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
    for _ in range(200):
        if os.path.exists(state_file):
            print(open(state_file).read(), end="")
            return 0
        time.sleep(0.05)
    print(what + " did not start; see " + state_file + ".log", file=sys.stderr)
    return 1


def command_start(args):
    return start_detached(__file__, ["--root", args.root], args.state_file, "test server")


def command_stop(args):
    stop_from_state(os.path.abspath(args.state_file))
    return 0


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    sub = parser.add_subparsers(dest="command", required=True)
    serve = sub.add_parser("serve", help="run server and proxy in the foreground")
    serve.add_argument("--root", required=True, help="folder to serve")
    serve.add_argument("--state-file",
                       help="write port=, proxy_port=, alt_port=, silent_port=, pid=, root= here")
    start = sub.add_parser("start", help="run in the background, write the state file")
    start.add_argument("--root", required=True)
    start.add_argument("--state-file", required=True)
    stop = sub.add_parser("stop", help="stop the server named by a state file")
    stop.add_argument("--state-file", required=True)
    args = parser.parse_args(argv)
    return {"serve": command_serve, "start": command_start, "stop": command_stop}[
        args.command](args)


if __name__ == "__main__":
    sys.exit(main())
