#!/usr/bin/env python3
"""The shipped nginx server block (deploy/nginx/kestrune.conf) serving a
release to the real Linux launcher.

A real nginx runs the block as shipped, only its listen address and root
changed, inside a wrapper nginx.conf whose http block turns on gzip for every
type, folder listings and WebDAV uploads, as a careless main configuration
might; the block must override them.
The launcher's test build with the tests' key fetches a signed release from
that address, is answered Yes and must keep every file (each checked against
the signed list); then the responses' headers are read as a client asking
for gzip would see them.

Runs on the X display it was started on (through tests/support/xvfb.py),
with the options of tests/linux/e2e/launcher_e2e.py plus --nginx and
--server-block.
"""
import argparse
import http.client
import os
import re
import socket
import subprocess
import sys
import time
import unittest
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "..", "linux", "e2e"))
import launcher_e2e  # noqa: E402  (the scenarios' set-up, display and box helpers)

NGINX = None
SERVER_BLOCK = None


def adapted_server_block(text, listen, root):
    """The shipped block with only its listen address and root replaced."""
    text, listens = re.subn(r"(?m)^(\s*)listen\s+[^;]+;", r"\1listen %s;" % listen, text)
    text, roots = re.subn(r"(?m)^(\s*)root\s+[^;]+;", lambda m: m.group(1) + "root %s;" % root,
                          text)
    if (listens, roots) != (1, 1):
        raise ValueError(f"expected one listen and one root line, found {listens} and {roots}")
    return text


class NginxServed(launcher_e2e.Scenarios):
    def start_server(self, rules=None):
        self.assertIsNone(rules, "nginx serves files as they are; it takes no rules")
        base = self._tmp.name
        conf_dir = os.path.join(base, "nginx")
        os.makedirs(conf_dir)
        host, port = launcher_e2e.OPTIONS.server_host, launcher_e2e.OPTIONS.server_port
        with open(SERVER_BLOCK, encoding="utf-8") as f:
            block = adapted_server_block(f.read(), f"{host}:{port}",
                                         os.path.dirname(self.served))
        with open(os.path.join(conf_dir, "kestrune.conf"), "w", encoding="utf-8") as f:
            f.write(block)
        self.error_log = os.path.join(conf_dir, "error.log")
        temp_paths = "".join(f"    {kind}_temp_path {conf_dir}/{kind};\n" for kind in
                             ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
        # Workers switch to "nobody" when started by root, and the scenario's
        # folders are private to this user.
        user = "user root;\n" if os.geteuid() == 0 else ""
        with open(os.path.join(conf_dir, "nginx.conf"), "w", encoding="utf-8") as f:
            f.write(f"""daemon off;
{user}worker_processes 1;
pid {conf_dir}/nginx.pid;
error_log {self.error_log} info;
events {{ worker_connections 64; }}
http {{
    include /etc/nginx/mime.types;
    gzip on;
    gzip_types *;
    gzip_min_length 1;
    autoindex on;
    dav_methods PUT DELETE;
    log_format requests escape=json
        '{{"method":"$request_method","path":"$request_uri","agent":"$http_user_agent"}}';
    access_log {self.log_path} requests;
{temp_paths}    include {conf_dir}/kestrune.conf;
}}
""")
        self.server = subprocess.Popen(
            [NGINX, "-p", conf_dir, "-c", os.path.join(conf_dir, "nginx.conf"),
             "-e", self.error_log],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        deadline = time.monotonic() + 15
        while True:
            if self.server.poll() is not None:
                self.fail(f"nginx ended at start (code {self.server.returncode}): "
                          f"{self.server.stderr.read().strip()} {self._error_log()}")
            try:
                socket.create_connection((host, port), timeout=1).close()
                return
            except OSError:
                if time.monotonic() > deadline:
                    self.fail(f"nginx does not answer on {host}:{port}: {self._error_log()}")
                time.sleep(0.05)

    def _error_log(self):
        if not os.path.exists(self.error_log):
            return ""
        with open(self.error_log, encoding="utf-8", errors="replace") as f:
            return f.read().strip()

    def fetch(self, method, name):
        """(status, headers, body) as a client that accepts gzip gets them."""
        host, port = launcher_e2e.OPTIONS.server_host, launcher_e2e.OPTIONS.server_port
        connection = http.client.HTTPConnection(host, port, timeout=10)
        try:
            connection.request(method, "/serverlist/" + name,
                               headers={"Accept-Encoding": "gzip, deflate, br"})
            response = connection.getresponse()
            return response.status, response.headers, response.read()
        finally:
            connection.close()

    def test_release_is_served_and_kept_byte_for_byte(self):
        # Text nginx would compress and a charset filter would convert (over
        # 1 KiB, 8-bit bytes, an .html name), and a binary file.
        text = "".join(f"Caf\xe9 \u20ac notes \u2014 line {i}\r\n"
                       for i in range(200)).encode("cp1252")
        entries = [("readme.txt", "Read me", text),
                   ("guide.html", "The guide", b"<html><body>" + b"<p>guide</p>\n" * 300
                    + b"</body></html>\n"),
                   ("tool.bin", "Tool", os.urandom(300000))]
        self.publish("Tavimo", entries)
        self.sign(*[name for name, _, _ in entries])
        self.start_server()
        self.start_launcher()
        self.answer(self.wait_for_window("Confirm"), "Return")
        self.wait_for_window("Tavimo")
        for name, _, _ in entries:
            self.assert_same_file(name)
        self.assert_no_temporary_files()
        with open(os.path.join(self.work, "updater1.txt"), "rb") as f, \
                open(os.path.join(self.served, "updater.txt"), "rb") as g:
            self.assertEqual(f.read(), g.read())
        with open(os.path.join(self.work, "updater1.b2sums"), "rb") as f:
            self.assertEqual(f.read(), self.served_bytes("updater.b2sums"))
        self.assertEqual([r["path"] for r in self.requests()],
                         ["/serverlist/updater.txt", "/serverlist/updater.b2sums.minisig",
                          "/serverlist/updater.b2sums", "/serverlist/readme.txt",
                          "/serverlist/guide.html", "/serverlist/tool.bin"])

        # The manifest, the list and its signature are one release: no cache
        # may hand out one of them older than the others.
        release = ("updater.txt", "updater.b2sums", "updater.b2sums.minisig")
        for name in release + ("readme.txt", "guide.html", "tool.bin"):
            with open(os.path.join(self.served, name), "rb") as f:
                served = f.read()
            for method in ("GET", "HEAD"):
                status, headers, body = self.fetch(method, name)
                with self.subTest(name=name, method=method):
                    self.assertEqual(status, 200)
                    self.assertEqual(headers["Content-Length"], str(len(served)))
                    self.assertIsNone(headers["Content-Encoding"])
                    self.assertIsNone(headers["Transfer-Encoding"])
                    self.assertEqual(headers["Content-Type"], "application/octet-stream")
                    self.assertEqual(body, served if method == "GET" else b"")
                    directives = {d.strip() for d in headers["Cache-Control"].split(",")}
                    self.assertIn("no-transform", directives)
                    self.assertIn("no-store" if name in release else "no-cache", directives)
        # Nothing but reading, and no listing of the folder.
        self.assertEqual(self.fetch("POST", "updater.txt")[0], 405)
        self.assertEqual(self.fetch("PUT", "new.bin")[0], 405)
        self.assertEqual(self.fetch("DELETE", "tool.bin")[0], 405)
        self.assertEqual(self.fetch("GET", "")[0], 403)


def main():
    global NGINX, SERVER_BLOCK
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--nginx", required=True)
    parser.add_argument("--server-block", required=True)
    ours, rest = parser.parse_known_args()
    NGINX, SERVER_BLOCK = ours.nginx, ours.server_block
    launcher = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("--program", "--clipboard-probe", "--update-url", "--home-url",
                   "--support-url", "--signing-key-dir"):
        launcher.add_argument(option, required=True)
    launcher_e2e.OPTIONS, rest = launcher.parse_known_args(rest)
    parts = urllib.parse.urlsplit(launcher_e2e.OPTIONS.update_url)
    launcher_e2e.OPTIONS.server_host, launcher_e2e.OPTIONS.server_port = parts.hostname, parts.port
    if not os.environ.get("DISPLAY"):
        sys.exit("nginx_release_e2e.py needs an X display (run it through tests/support/xvfb.py)")
    unittest.main(argv=[sys.argv[0], "NginxServed.test_release_is_served_and_kept_byte_for_byte"]
                  + rest, verbosity=2)


if __name__ == "__main__":
    main()
