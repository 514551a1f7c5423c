#!/usr/bin/env python3
"""The configure step's checks of the update address, the keys and the
oldest release, run as CMake runs them: a warning for plain http beyond
this machine without a key, a stop for the demo's key anywhere but the demo
server, for anything among the keys that is not one, and for a minimum
release date that is not whole seconds or is still to come."""
import time
import os
import subprocess
import sys
import unittest

CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "update_address_check.cmake")
DEMO_KEY_FILE = os.path.join(os.path.dirname(CHECK), "..", "..", "demo", "demo-signing-key.pub")
CMAKE = "cmake"
MAKERS_KEY = "RWQf6LRCGA9i53mlYecO4IzT51TGPpvWucNSCh1CBM0QTaLn73Y7GFO3"


def configure(url, key="", minimum=None, stdout=None):
    extra = [] if minimum is None else ["-DMINIMUM=" + minimum]
    result = subprocess.run([CMAKE, "-DURL=" + url, "-DKEY=" + key] + extra + ["-P", CHECK],
                            capture_output=True, text=True, timeout=60)
    if stdout is not None:
        stdout.append(result.stdout)
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
        # Among other keys too.
        code, said = configure("https://updates.example.com/serverlist/",
                               MAKERS_KEY + ";" + demo_key)
        self.assertIn("demo's key", said)

    def test_every_entry_among_the_keys_must_be_a_key(self):
        url = "https://updates.example.com/serverlist/"
        self.assertEqual(configure(url, MAKERS_KEY + ";" + MAKERS_KEY.replace("RWQ", "RWR")),
                         (0, ""))
        for keys in (MAKERS_KEY + ";", MAKERS_KEY + ";;" + MAKERS_KEY, MAKERS_KEY + ";RWQ",
                     MAKERS_KEY + "; " + MAKERS_KEY, MAKERS_KEY + "," + MAKERS_KEY):
            code, said = configure(url, keys)
            self.assertNotEqual(code, 0, keys)
            self.assertIn("minisign public key", said, keys)

    def test_the_minimum_release_date_is_whole_seconds_and_not_to_come(self):
        url = "https://updates.example.com/serverlist/"
        for given, taken in (("", "0"), ("0", "0"), ("0001700000000", "1700000000"),
                             (str(int(time.time()) - 5), str(int(time.time()) - 5))):
            out = []
            self.assertEqual(configure(url, MAKERS_KEY, given, out), (0, ""), given)
            self.assertIn("minimum: " + taken + "\n", out[0], given)
        for given in ("1.7e9", "-1", "17000000OO", str(int(time.time()) + 3600),
                      "99999999999999999999"):
            code, said = configure(url, MAKERS_KEY, given)
            self.assertNotEqual(code, 0, given)
            self.assertIn("KESTRUNE_MINIMUM_RELEASE_TIMESTAMP", said, given)


if __name__ == "__main__":
    if len(sys.argv) > 2 and sys.argv[1] == "--cmake":
        CMAKE = sys.argv.pop(2)
        sys.argv.pop(1)
    unittest.main(verbosity=2)
