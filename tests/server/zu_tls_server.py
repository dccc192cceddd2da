#!/usr/bin/env python3
"""TLS listeners for the tests, over the fault-injecting test server.

Each server below answers over TLS on 127.0.0.1 with one certificate made by
make_test_certs.sh, and has a plain control port of its own (the
/__control/ endpoints of zu_test_server.py; every other path is refused
there, so a request the server records came over TLS):

  secure       "localhost", from the test authority
  secure_alt   the same certificate, a second server with its own records
  wrong_name   a certificate for another name
  expired      "localhost", expired
  untrusted    "localhost", from an authority nobody trusts

Beside them run a plain http server over the same folder (plain_port=, its
control endpoints on the same port) and a recording proxy that also tunnels
CONNECT (proxy_port=), so that the https tests need no other fixture.

`start` runs them in the background and writes a state file with
<name>_port= and <name>_control_port= for each TLS server, plain_port=,
proxy_port=, pid= and root=; `stop` ends them.
"""

import argparse
import os
import signal
import ssl
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import zu_test_server as base  # noqa: E402

# Server name -> certificate file stem.
SERVERS = {
    "secure": "localhost",
    "secure_alt": "localhost",
    "wrong_name": "wrong_name",
    "expired": "expired",
    "untrusted": "untrusted",
}
HANDSHAKE_TIMEOUT = 30


class TlsFaultHandler(base.FaultHandler):
    """The test server's handler after a TLS handshake on its own thread."""

    def setup(self):
        self.request.settimeout(HANDSHAKE_TIMEOUT)
        self.request.do_handshake()  # a client that refuses the certificate ends here
        self.request.settimeout(None)
        super().setup()


class ControlOnlyHandler(base.FaultHandler):
    """Plain HTTP for the control endpoints only."""

    def answer(self, send_body):
        if self.path.startswith(base.CONTROL_PREFIX):
            self.handle_control()
        else:
            self.send_error(403, "plain HTTP serves only the control endpoints here")


class _TlsListener(base._Listener):
    def __init__(self, owner, context):
        super().__init__(owner, TlsFaultHandler)
        self.socket = context.wrap_socket(self.socket, server_side=True,
                                          do_handshake_on_connect=False)


class TlsTestServer(base.TestServer):
    """A TestServer whose files go over TLS; its control port stays plain."""

    __test__ = False

    def __init__(self, root, cert, key):
        super().__init__(root)
        # The listener made by the base class becomes the control port.
        self._listener.RequestHandlerClass = ControlOnlyHandler
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        self._secure = _TlsListener(self, context)
        self._secure_thread = None

    @property
    def control_port(self):
        return self._listener.server_address[1]

    @property
    def port(self):
        return self._secure.server_address[1]

    def url(self, path, host="localhost"):
        return "https://%s:%d%s" % (host, self.port, path)

    def start(self):
        self._thread = threading.Thread(target=self._listener.serve_forever, daemon=True)
        self._thread.start()
        self._secure_thread = threading.Thread(target=self._secure.serve_forever, daemon=True)
        self._secure_thread.start()
        return self

    def stop(self):
        for listener in (self._listener, self._secure):
            listener.shutdown()
            listener.server_close()


def start_servers(root, certs):
    servers = {}
    for name, stem in SERVERS.items():
        servers[name] = TlsTestServer(root, os.path.join(certs, stem + ".pem"),
                                      os.path.join(certs, stem + ".key")).start()
    return servers


def command_serve(args):
    os.makedirs(args.root, exist_ok=True)
    servers = start_servers(os.path.abspath(args.root), os.path.abspath(args.certs))
    stopping = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stopping.set())
    signal.signal(signal.SIGINT, lambda *_: stopping.set())
    state = {"pid": os.getpid(), "root": os.path.abspath(args.root)}
    for name, server in servers.items():
        state[name + "_port"] = server.port
        state[name + "_control_port"] = server.control_port
    plain = base.TestServer(os.path.abspath(args.root)).start()
    proxy = base.RecordingProxy().start()
    state["plain_port"] = plain.port
    state["proxy_port"] = proxy.port
    base.write_state(args.state_file, state)
    while not stopping.wait(0.5):
        pass
    for server in list(servers.values()) + [plain, proxy]:
        server.stop()
    if os.path.exists(args.state_file):
        os.remove(args.state_file)
    return 0


def command_start(args):
    return base.start_detached(__file__, ["--root", args.root, "--certs", args.certs],
                               args.state_file, "TLS test servers")


def command_stop(args):
    base.stop_from_state(os.path.abspath(args.state_file))
    return 0


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    sub = parser.add_subparsers(dest="command", required=True)
    for name in ("serve", "start"):
        command = sub.add_parser(name)
        command.add_argument("--root", required=True, help="folder to serve")
        command.add_argument("--certs", required=True, help="made by make_test_certs.sh")
        command.add_argument("--state-file", required=True)
    stop = sub.add_parser("stop")
    stop.add_argument("--state-file", required=True)
    args = parser.parse_args(argv)
    return {"serve": command_serve, "start": command_start, "stop": command_stop}[
        args.command](args)


if __name__ == "__main__":
    sys.exit(main())
