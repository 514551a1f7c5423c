#!/usr/bin/env python3
"""A real HTTP/1.1 server for the launcher's tests, on loopback only.

Serves files below --root. A rules file (JSON, read again on every request,
so a test may change it between starts of the program) can give a path a
behaviour other than "send the file":

  {"/serverlist/a.exe": {"status": 404},
   "/serverlist/b.exe": {"reset_after": 1000},      # close mid-body, no end
   "/serverlist/c.exe": {"short_by": 10},           # Content-Length too big
   "/serverlist/d.exe": {"chunked": true},
   "/serverlist/e.exe": {"redirect": "/serverlist/f.exe", "code": 302},
   "/serverlist/g.exe": {"stall_after": 100, "stall_seconds": 120},
   "/serverlist/h.exe": {"body": "inline text", "status": 200},
   "/serverlist/i.exe": {"rate": 65536},               # about 64 KiB a second
   "/serverlist/j.exe": {"hold_after": 1000, "hold_until": "/tmp/go"},
                       # the rest once that file exists (at most 120 s on)
   "/serverlist/k.exe": {"etag": "\"v1\"", "ranges": true, "drop_once_after": 1000},
                       # the first request of k.exe is reset 0.5 s after 1000 bytes;
                       # a Range request is answered 206 with the rest when its
                       # If-Range (if any) is the ETag, else 200 and the whole
   "/serverlist/l.exe": {"etag": "\"v1\"", "drop_once_after": 1000},
                       # the same server ignoring Range: 200 and the whole
   "/serverlist/m.exe": {"header_trickle_seconds": 1}}
                       # the status line, then one header line a second, never
                       # an end of the headers

Every request is appended to --log as one JSON line (method, path, agent,
the Range and If-Range it sent, and the number of the connection it came
on, counted from 1), so a test can tell what the program fetched, in which
order and over how many connections.

The chosen port is printed as "PORT <n>" on the first line of stdout; with
--port 0 the system picks a free one. The server stops on SIGTERM/SIGINT or
after --max-seconds.
"""
import argparse
import json
import os
import posixpath
import signal
import socket
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "KestruneTestServer/1.0"
    # The headers and the body go out in separate writes: with Nagle's
    # algorithm the body would wait for the client's delayed ACK of the
    # headers, some 40 ms a response on a kept connection.
    disable_nagle_algorithm = True

    def log_message(self, fmt, *args):  # keep the test output quiet
        pass

    def setup(self):
        super().setup()
        with self.server.log_lock:
            self.server.connections += 1
            self.connection_number = self.server.connections

    def _record(self):
        log = self.server.log_path
        if not log:
            return
        entry = {"method": self.command, "path": self.path,
                 "agent": self.headers.get("User-Agent", ""),
                 "range": self.headers.get("Range", ""),
                 "if_range": self.headers.get("If-Range", ""),
                 "connection": self.connection_number}
        with self.server.log_lock, open(log, "a", encoding="utf-8") as f:
            f.write(json.dumps(entry) + "\n")

    def _rules(self):
        path = self.server.rules_path
        if not path or not os.path.exists(path):
            return {}
        with open(path, encoding="utf-8") as f:
            return json.load(f)

    def _local_file(self, url_path):
        # Never serve anything outside the root, whatever the request says.
        clean = posixpath.normpath(urllib.parse.unquote(url_path))
        parts = [p for p in clean.split("/") if p not in ("", ".", "..")]
        full = os.path.join(self.server.root, *parts)
        if os.path.isfile(full):
            return full
        return None

    def do_HEAD(self):
        self.do_GET(head=True)

    def do_GET(self, head=False):
        self._record()
        url_path = urllib.parse.urlsplit(self.path).path
        rule = self._rules().get(url_path, {})

        if "redirect" in rule:
            self.send_response(int(rule.get("code", 302)))
            self.send_header("Location", rule["redirect"])
            self.send_header("Content-Length", "0")
            self.end_headers()
            return

        if "body" in rule:
            body = rule["body"].encode("latin-1")
        else:
            local = self._local_file(url_path)
            if local is None:
                body = b"<html><body><h1>404 Not Found</h1></body></html>\n"
                rule = dict(rule)
                rule.setdefault("status", 404)
            else:
                with open(local, "rb") as f:
                    body = f.read()
        status = int(rule.get("status", 200))

        if rule.get("delay_seconds"):
            time.sleep(float(rule["delay_seconds"]))

        if rule.get("header_trickle_seconds"):
            self._trickle_headers(float(rule["header_trickle_seconds"]))
            return

        with self.server.log_lock:
            earlier = self.server.requests_of.get(url_path, 0)
            self.server.requests_of[url_path] = earlier + 1
        if "drop_once_after" in rule and earlier == 0:
            # A pause before the reset, so that the client has read what was
            # sent: a reset discards what it has not read yet.
            rule = dict(rule, stall_after=rule["drop_once_after"], stall_seconds=0.5)
        first = self._range_start(rule, len(body))
        if first is not None:
            status = 206

        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        if rule.get("etag"):
            self.send_header("ETag", rule["etag"])
        if first is not None:
            self.send_header("Content-Range",
                             "bytes %d-%d/%d" % (first, len(body) - 1, len(body)))
            body = body[first:]
        if rule.get("chunked"):
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            if head:
                return
            for i in range(0, len(body), 700):
                piece = body[i:i + 700]
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
            self.wfile.write(b"0\r\n\r\n")
            return

        announced = len(body) + int(rule.get("short_by", 0))
        self.send_header("Content-Length", str(announced))
        self.end_headers()
        if head:
            return
        if "reset_after" in rule:
            self.wfile.write(body[:int(rule["reset_after"])])
            self.wfile.flush()
            self._reset()
            return
        if "stall_after" in rule:
            self.wfile.write(body[:int(rule["stall_after"])])
            self.wfile.flush()
            time.sleep(float(rule.get("stall_seconds", 120)))
            self._reset()
            return
        if "hold_after" in rule:
            self._hold(body, int(rule["hold_after"]), rule["hold_until"])
        elif rule.get("rate"):
            self._trickle(body, float(rule["rate"]))
        else:
            self.wfile.write(body)
        if rule.get("short_by"):
            self.wfile.flush()
            self.close_connection = True

    def _range_start(self, rule, length):
        """The first byte a 206 starts at, when the rule honours ranges and
        the request's Range (bytes=N-) and If-Range allow one; else None."""
        asked = self.headers.get("Range", "")
        if not rule.get("ranges") or not asked.startswith("bytes="):
            return None
        if_range = self.headers.get("If-Range")
        if if_range is not None and if_range != rule.get("etag"):
            return None
        start, _, end = asked[len("bytes="):].partition("-")
        if end or not start.isdigit() or int(start) >= length:
            return None
        return int(start)

    def _trickle_headers(self, every):
        """The status line, then one header line every so often, and never
        the blank line that ends them; a client that goes away ends it."""
        try:
            self.wfile.write(b"HTTP/1.1 200 OK\r\n")
            for i in range(100000):
                self.wfile.flush()
                time.sleep(every)
                self.wfile.write(b"X-Trickle-%d: %d\r\n" % (i, i))
        except (BrokenPipeError, ConnectionResetError):
            pass
        self.close_connection = True

    def _trickle(self, body, rate):
        """Sends body at about rate bytes a second, a twentieth of a second's
        worth at a time; a client that goes away ends it quietly."""
        step = max(1, int(rate / 20))
        start = time.monotonic()
        try:
            for i in range(0, len(body), step):
                self.wfile.write(body[i:i + step])
                self.wfile.flush()
                ahead = start + (i + step) / rate - time.monotonic()
                if ahead > 0:
                    time.sleep(ahead)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    def _hold(self, body, sent_first, gate):
        """Sends body up to sent_first, then the rest once the file gate
        exists: a test holds a transfer part-way for exactly as long as it
        needs, instead of pacing it for a guessed time."""
        try:
            self.wfile.write(body[:sent_first])
            self.wfile.flush()
            deadline = time.monotonic() + 120
            while not os.path.exists(gate) and time.monotonic() < deadline:
                time.sleep(0.02)
            self.wfile.write(body[sent_first:])
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    def _reset(self):
        # An abortive close (RST), as a crashed server or a cut cable gives.
        try:
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       b"\x01\x00\x00\x00\x00\x00\x00\x00")
        except OSError:
            pass
        self.close_connection = True


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--root", required=True)
    ap.add_argument("--bind", default="127.0.0.1")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--rules")
    ap.add_argument("--log")
    ap.add_argument("--cert", help="PEM certificate chain: serve https")
    ap.add_argument("--key", help="PEM private key for --cert")
    ap.add_argument("--max-seconds", type=float, default=1800)
    args = ap.parse_args()

    if not (args.bind.startswith("127.") or args.bind in ("::1", "localhost")):
        sys.exit("test server binds loopback addresses only")

    ThreadingHTTPServer.daemon_threads = True
    ThreadingHTTPServer.allow_reuse_address = True
    server = ThreadingHTTPServer((args.bind, args.port), Handler)
    server.root = os.path.abspath(args.root)
    server.rules_path = args.rules
    server.log_path = args.log
    server.log_lock = threading.Lock()
    server.connections = 0
    server.requests_of = {}
    if args.cert:
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(args.cert, args.key)
        server.socket = ctx.wrap_socket(server.socket, server_side=True)

    print("PORT %d" % server.server_address[1], flush=True)

    def stop(*_):
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    timer = threading.Timer(args.max_seconds, stop)
    timer.daemon = True
    timer.start()
    server.serve_forever(poll_interval=0.2)
    server.server_close()


if __name__ == "__main__":
    main()
