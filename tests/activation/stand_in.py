#!/usr/bin/env python3
"""A stand-in licence server on loopback for the activation tests, and their driver.

Serves the client routes (POST /v1/activate, /v1/deactivate) over plain HTTP and over HTTPS with
a throwaway self-signed certificate that `openssl req` makes at start, finds a closed port, then
runs the test program with their URLs in its environment and exits with its code:
  VREL_STAND_IN      http://127.0.0.1:PORT
  VREL_STAND_IN_TLS  https://127.0.0.1:PORT (the certificate names 127.0.0.1)
  VREL_STAND_IN_CA   the certificate's PEM file
  VREL_CLOSED        http://127.0.0.1:PORT where nothing listens
With VREL_SERVER_PROGRAM and VREL_REGISTRY_PROGRAM naming built programs, it also runs a real
vrel-server on a registry of its own, with two licences of one seat for the application "vrel test
application" (the second's seat held by another machine):
  VREL_SERVER        http://127.0.0.1:PORT
  VREL_SERVER_KEYS   the first licence's key, the second's, the signer's public key text, a line each
The licence key the client sends picks the answer (KEYS below); a body that is not
{"key":STRING,"token":"vfp1-..."} is answered 400 as the real server does.
Usage: stand_in.py LICENCE_FILE [EMULATOR...] PROGRAM [ARGS...]
"""
import email.utils
import http.server
import json
import os
import re
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time

LICENCE = open(sys.argv[1], encoding="ascii").read()
# The token the licence file was signed for: "same-machine" accepts only that one.
FILE_TOKEN = re.search(r"^token: (\S+)$", LICENCE, re.M).group(1)


def activated(new_seat=True):
    return 200, {"schema": 2, "activated": True, "licence": 1, "machine": 42, "newSeat": new_seat,
                 "seats": {"used": 1, "total": 2}, "issued": "2025-01-01T00:00:00Z",
                 "expires": "2026-01-01T00:00:00Z", "checkIn": "2025-04-01T00:00:00Z",
                 "licenceFile": LICENCE}


def answer(route, key, token):
    """(status, body: dict or str, extra headers) for a well-formed request."""
    activate = route == "/v1/activate"
    verdict = "activated" if activate else "deactivated"
    if key == "ok":
        return (*activated(), {}) if activate else (200, {"schema": 2, verdict: True}, {})
    if key == "same-machine":
        if token != FILE_TOKEN:
            return 400, {"error": "the token is not the licence file's machine"}, {}
        return (*activated(False), {})
    if key == "refused":
        reason = "no-seat" if activate else "not-activated"
        return 403, {"schema": 2, verdict: False, "reason": reason,
                     "message": "all 2 seats of licence 1 are taken"}, {}
    if key == "bad":
        return 400, {"error": "the token does not parse"}, {}
    if key == "limited":
        return 429, {"error": "too many refused keys"}, {"Retry-After": "7"}
    if key == "limited-until":  # RFC 9110's other form: an HTTP-date, here two minutes ahead
        when = email.utils.formatdate(time.time() + 120, usegmt=True)
        return 429, {"error": "too many refused keys"}, {"Retry-After": when}
    if key == "broken":
        return 500, "Internal Server Error", {}
    if key == "unavailable":
        return 503, {"error": "database unavailable"}, {}
    if key == "garbage":
        return 200, "<html><body>Welcome to the captive portal</body></html>", {}
    if key == "no-file":
        return 200, {"schema": 2, "activated": True, "licence": 1}, {}
    if key == "huge":  # more than the client reads (256 KiB)
        return 200, {"schema": 2, "activated": True, "licenceFile": "x" * (300 * 1024)}, {}
    if key == "proxy-refusal":  # a 403 that is no licence server's
        return 403, "Forbidden", {}
    if key == "not-done":  # a 200 that says it did not activate
        return 200, {"schema": 2, "activated": False, "licenceFile": LICENCE}, {}
    if key == "moved":  # a redirect, which a licence client does not follow
        return 302, "", {"Location": "http://127.0.0.1:9/"}
    if key == "refused-bare":  # a licence server's 403 with no reason
        return 403, {"schema": 2, verdict: False}, {}
    if key == "slow":
        time.sleep(3)
        return (*activated(), {})
    return 403, {"schema": 2, verdict: False, "reason": "unknown-licence",
                 "message": "no such licence"}, {}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_POST(self):  # noqa: N802 (the standard library's name)
        length = int(self.headers.get("Content-Length", 0))
        raw = self.rfile.read(length)
        if self.path not in ("/v1/activate", "/v1/deactivate"):
            return self.send(404, {"error": "no such route"}, {})
        try:
            request = json.loads(raw)
            key, token = request["key"], request["token"]
            assert isinstance(key, str) and isinstance(token, str) and token.startswith("vfp1-")
            assert self.headers.get("Content-Type") == "application/json"
        except (ValueError, KeyError, TypeError, AssertionError):
            return self.send(400, {"error": "malformed request"}, {})
        self.send(*answer(self.path, key, token))

    def send(self, status, body, headers):
        data = (json.dumps(body) if isinstance(body, dict) else body).encode()
        self.send_response(status)
        self.send_header("Content-Type", "application/json" if isinstance(body, dict) else "text/html")
        self.send_header("Content-Length", str(len(data)))
        for name, value in headers.items():
            self.send_header(name, value)
        self.end_headers()
        try:
            self.wfile.write(data)
        except OSError:  # a client that gave up (the timeout case)
            pass

    def log_message(self, *args):
        pass


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        if not isinstance(sys.exc_info()[1], OSError):  # a client that closed or reset is no fault
            super().handle_error(request, client_address)


def serve(context=None):
    server = Server(("127.0.0.1", 0), Handler)
    if context:
        server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def real_server(folder):
    """Starts vrel-server as described above; returns its process and variables, or nothing."""
    server, tool = os.environ.get("VREL_SERVER_PROGRAM"), os.environ.get("VREL_REGISTRY_PROGRAM")
    if not (server and tool and os.path.exists(server) and os.path.exists(tool)):
        print("stand_in: no vrel-server built natively; its rows are skipped")
        return None, {}
    db, signer = "sqlite:" + os.path.join(folder, "registry.db"), os.path.join(folder, "signer.pem")
    public = subprocess.run([tool, "keygen", signer], check=True, capture_output=True,
                            text=True).stdout.splitlines()[-1]
    keys = []
    for _ in range(2):
        made = subprocess.run([tool, "--db", db, "licence", "create", "--seats", "1", "--application",
                               "vrel test application"], check=True, capture_output=True, text=True)
        keys.append(json.loads(made.stdout)["key"])
    other = "vfp1-" + "-".join("%016x" % (7 + i) for i in range(5))
    subprocess.run([tool, "--db", db, "--signing-key", signer, "activate", "--licence", keys[1], other],
                   check=True, capture_output=True)
    process = subprocess.Popen([server, "--db", db, "--signing-key", signer, "--listen",
                                "127.0.0.1:0"], stderr=subprocess.PIPE, text=True)
    for line in process.stderr:
        if '"event":"listening"' in line:
            port = json.loads(line)["port"]
            threading.Thread(target=process.stderr.read, daemon=True).start()  # keep the pipe drained
            return process, {"VREL_SERVER": f"http://127.0.0.1:{port}",
                             "VREL_SERVER_KEYS": "\n".join(keys + [public])}
    sys.exit("stand_in: vrel-server did not start")


def main():
    with tempfile.TemporaryDirectory() as folder:
        cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                        "ec_paramgen_curve:P-256", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1",
                        "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        with socket.socket() as probe:  # a port the system just gave out and nothing holds
            probe.bind(("127.0.0.1", 0))
            closed = probe.getsockname()[1]
        server, variables = real_server(folder)
        env = dict(os.environ, VREL_STAND_IN=f"http://127.0.0.1:{serve()}",
                   VREL_STAND_IN_TLS=f"https://127.0.0.1:{serve(context)}", VREL_STAND_IN_CA=cert,
                   VREL_CLOSED=f"http://127.0.0.1:{closed}", **variables)
        code = subprocess.run(sys.argv[2:], env=env).returncode
        if server:
            server.terminate()
            server.wait()
        sys.exit(code)


if __name__ == "__main__":
    main()
