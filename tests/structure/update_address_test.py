#!/usr/bin/env python3
"""The configure step's check of the update address and the key, run as
CMake runs it: a warning for plain http beyond this machine without a key,
a stop for the demo's key anywhere but the demo server."""
import os
import subprocess
import sys
import unittest

CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "update_address_check.cmake")
DEMO_KEY_FILE = os.path.join(os.path.dirname(CHECK), "..", "..", "demo", "demo-signing-key.pub")
CMAKE = "cmake"


def configure(url, key=""):
    result = subprocess.run([CMAKE, "-DURL=" + url, "-DKEY=" + key, "-P", CHECK],
                            capture_output=True, text=True, timeout=60)
    return result.returncode, " ".join(result.stderr.split())


class UpdateAddressCheck(unittest.TestCase):

    def test_plain_http_without_a_key_is_warned_of_unless_it_stays_on_this_machine(self):
        code, said = configure("http://203.0.113.7/serverlist/")
        self.assertEqual(code, 0, "the unsigned launcher stays buildable")
        self.assertIn("CMake Warning", said)
        self.assertIn("anyone on the network path", said)
        self.assertIn("-DKESTRUNE_MINISIGN_PUBLIC_KEY=", said)
        for quiet in ("https://updates.example.com/serverlist/",
                      "http://127.0.0.1:8080/serverlist/", "http://localhost/serverlist/"):
            self.assertEqual(configure(quiet), (0, ""), quiet)

    def test_the_demo_key_is_refused_for_any_address_but_the_demo_servers(self):
        with open(DEMO_KEY_FILE) as f:
            demo_key = f.read().splitlines()[1]
        code, said = configure("https://updates.example.com/serverlist/", demo_key)
        self.assertNotEqual(code, 0)
        self.assertIn("demo's key", said)
        self.assertEqual(configure("http://127.0.0.1:8080/serverlist/", demo_key), (0, ""))


if __name__ == "__main__":
    if len(sys.argv) > 2 and sys.argv[1] == "--cmake":
        CMAKE = sys.argv.pop(2)
        sys.argv.pop(1)
    unittest.main(verbosity=2)
