#!/usr/bin/env python3
"""Tests of the display and Wine helpers the test and benchmark scripts share.

Stand-in Xvfb programs play out what the real server has done (a number
written in two pieces, a second write, a failed start, no answer); the
command form runs on the real Xvfb when there is one.
"""
import os
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import textwrap
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import machine  # noqa: E402
import test_summary  # noqa: E402
import wine  # noqa: E402
import xvfb  # noqa: E402
sys.path.insert(0, os.path.join(HERE, "..", "windows"))
import harness  # noqa: E402

XVFB_PY = os.path.join(HERE, "xvfb.py")


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    with open("/proc/%d/stat" % pid) as f:  # a zombie counts as ended
        return f.read().rsplit(")", 1)[1].split()[0] != "Z"


def wait_until(condition, seconds=10):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.05)
    return True


class StandInXvfb(unittest.TestCase):

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kestrune-helpers-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def stand_in(self, body):
        """An Xvfb stand-in: body runs with fd, the -displayfd pipe; it
        leaves its pid and arguments in the test folder."""
        path = os.path.join(self.dir, "Xvfb")
        with open(path, "w") as f:
            f.write("#!%s\nimport os, sys, time\n" % sys.executable)
            f.write("open(%r, 'w').write('%%d\\n%%s' %% (os.getpid(), ' '.join(sys.argv[1:])))\n"
                    % os.path.join(self.dir, "started"))
            f.write("fd = int(sys.argv[sys.argv.index('-displayfd') + 1])\n")
            f.write(textwrap.dedent(body))
        os.chmod(path, 0o755)
        return path

    def started(self):
        with open(os.path.join(self.dir, "started")) as f:
            pid, args = f.read().split("\n", 1)
        return int(pid), args

    def test_a_number_written_in_two_pieces_is_read_whole(self):
        program = self.stand_in("""
            os.write(fd, b"1"); time.sleep(0.3); os.write(fd, b"7\\n")
            time.sleep(60)
        """)
        with xvfb.Xvfb(screen="800x600x16", program=program) as display:
            self.assertEqual(display.display, ":17")
            _, args = self.started()
            self.assertIn("-screen 0 800x600x16", args)
            self.assertIn("-noreset", args)
            env = display.environ({"DISPLAY": ":99", "KEEP": "1"})
            self.assertEqual((env["DISPLAY"], env["KEEP"]), (":17", "1"))
            mode = os.stat(env["XDG_RUNTIME_DIR"]).st_mode
            self.assertEqual(stat.S_IMODE(mode), 0o700)

    def test_the_server_survives_writing_its_number_again(self):
        # A closed pipe would kill it on the second write (SIGPIPE).
        program = self.stand_in("""
            os.write(fd, b"5\\n"); time.sleep(0.5); os.write(fd, b"5\\n")
            time.sleep(60)
        """)
        with xvfb.Xvfb(program=program):
            pid, _ = self.started()
            time.sleep(1)
            self.assertTrue(alive(pid))

    def test_stop_ends_and_reaps_the_server_and_removes_the_runtime_folder(self):
        program = self.stand_in('os.write(fd, b"3\\n"); time.sleep(60)\n')
        display = xvfb.Xvfb(program=program).start()
        pid, _ = self.started()
        runtime = display.runtime_dir
        display.stop()
        self.assertFalse(alive(pid))
        self.assertFalse(os.path.exists(runtime))
        display.stop()  # again: nothing left to do

    def test_a_server_that_ends_at_once_is_reported_with_what_it_said(self):
        program = self.stand_in('sys.stderr.write("no screens found\\n"); sys.exit(1)\n')
        display = xvfb.Xvfb(program=program)
        with self.assertRaisesRegex(xvfb.XvfbError, "status 1(.|\n)*no screens found"):
            display.start()
        self.assertIsNone(display.runtime_dir)

    def test_a_server_that_never_answers_is_stopped_after_the_time_out(self):
        program = self.stand_in('os.write(fd, b"4"); time.sleep(60)\n')  # no newline
        with self.assertRaisesRegex(xvfb.XvfbError, "within 1 s"):
            xvfb.Xvfb(program=program, timeout=1).start()
        pid, _ = self.started()
        self.assertFalse(alive(pid))

    def test_a_missing_server_says_what_to_install(self):
        with self.assertRaisesRegex(xvfb.XvfbError, "install xvfb"):
            xvfb.Xvfb(program=os.path.join(self.dir, "no-such-Xvfb")).start()


@unittest.skipUnless(shutil.which("Xvfb") and shutil.which("xdpyinfo"), "needs Xvfb and xdpyinfo")
class CommandOnRealXvfb(unittest.TestCase):

    def run_on_display(self, *args, **kw):
        return subprocess.run([sys.executable, XVFB_PY] + list(args), capture_output=True,
                              text=True, timeout=60, **kw)

    def test_runs_the_command_on_a_screen_of_the_given_size_and_returns_its_code(self):
        result = self.run_on_display(
            "--screen", "1024x768x24", "--",
            "sh", "-c", 'xdpyinfo | grep dimensions; stat -c %a "$XDG_RUNTIME_DIR"; exit 7')
        self.assertEqual(result.returncode, 7, result.stderr)
        self.assertIn("1024x768 pixels", result.stdout)
        self.assertIn("700", result.stdout.split())

    def test_a_wrong_command_line_is_refused(self):
        for args in ([], ["sh"], ["--"], ["--screen", "1024x768", "--", "true"]):
            self.assertEqual(self.run_on_display(*args).returncode, 2, args)
        self.assertEqual(self.run_on_display("--", "/no/such/command").returncode, 127)

    def start_waiting(self, marker):
        """The command form running a shell that notes SIGTERM in marker;
        returns the process, the display's X socket and the runtime folder."""
        script = 'trap "echo TERM > %s; exit 5" TERM; echo "$DISPLAY $XDG_RUNTIME_DIR"; ' \
                 'while :; do sleep 0.1; done' % marker
        process = subprocess.Popen([sys.executable, XVFB_PY, "--", "sh", "-c", script],
                                   stdout=subprocess.PIPE, text=True)
        display, runtime = process.stdout.readline().split()
        process.stdout.close()
        socket = "/tmp/.X11-unix/X" + display.lstrip(":")
        self.assertTrue(os.path.exists(socket), display)
        return process, socket, runtime

    def test_sigterm_reaches_the_command_before_the_display_is_stopped(self):
        with tempfile.TemporaryDirectory() as folder:
            marker = os.path.join(folder, "marker")
            process, socket, runtime = self.start_waiting(marker)
            process.send_signal(signal.SIGTERM)
            self.assertEqual(process.wait(30), 5)  # the command's own code
            with open(marker) as f:
                self.assertEqual(f.read().strip(), "TERM")
            self.assertFalse(os.path.exists(socket))
            self.assertFalse(os.path.exists(runtime))

    def test_the_display_and_the_command_end_when_their_process_is_killed(self):
        with tempfile.TemporaryDirectory() as folder:
            marker = os.path.join(folder, "marker")
            process, socket, runtime = self.start_waiting(marker)
            self.addCleanup(shutil.rmtree, runtime, True)  # left behind by SIGKILL
            process.kill()
            process.wait()
            self.assertTrue(wait_until(lambda: not os.path.exists(socket)))
            self.assertTrue(wait_until(lambda: os.path.exists(marker)), "the command lives on")


class WineLookUp(unittest.TestCase):

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kestrune-wine-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def program(self, folder, name, mode=0o755):
        os.makedirs(os.path.join(self.dir, folder), exist_ok=True)
        path = os.path.join(self.dir, folder, name)
        with open(path, "w") as f:
            f.write("#!/bin/sh\n")
        os.chmod(path, mode)
        return path

    def test_path_comes_before_the_fallback_folders(self):
        on_path = self.program("bin", "wine64")
        fallback = self.program("lib", "wine64")
        folders = (os.path.dirname(fallback),)
        self.assertEqual(wine.find("wine64", os.path.dirname(on_path), folders), on_path)
        self.assertEqual(wine.find("wine64", "/nonexistent", folders), fallback)

    def test_a_fallback_that_cannot_run_is_passed_over_and_missing_is_explained(self):
        self.program("lib", "wine64", mode=0o644)
        with self.assertRaisesRegex(wine.WineMissing, "wine64 .*install wine64"):
            wine.find("wine64", "/nonexistent", (os.path.join(self.dir, "lib"),))

    def image(self, name, machine, pe_offset=0x80):
        """A PE image's first bytes: the DOS header pointing past itself to
        the PE signature and the machine type."""
        path = os.path.join(self.dir, name)
        header = bytearray(pe_offset)
        header[:2] = b"MZ"
        header[0x3C:0x40] = pe_offset.to_bytes(4, "little")
        with open(path, "wb") as f:
            f.write(bytes(header) + b"PE\0\0" + machine.to_bytes(2, "little") + bytes(18))
        return path

    def test_a_32_bit_program_gets_the_32_bit_loader_anything_else_wine64(self):
        self.assertEqual(wine.loader_name(self.image("x86.exe", 0x014C)), "wine")
        # The machine type's bytes in the other order, as a big-endian reading
        # would take them, is no 32-bit program.
        self.assertEqual(wine.loader_name(self.image("swapped.exe", 0x4C01)), "wine64")
        self.assertEqual(wine.loader_name(self.image("x64.exe", 0x8664, pe_offset=0x100)),
                         "wine64")
        self.assertEqual(wine.loader_name(self.program("bin", "script")), "wine64")
        self.assertEqual(wine.loader_name(os.path.join(self.dir, "missing.exe")), "wine64")

    def test_the_server_beside_the_loader_wins(self):
        loader = self.program("wine-a", "wine64")
        beside = self.program("wine-a", "wineserver")
        real = wine.loader
        try:
            wine.loader = lambda: loader
            self.assertEqual(wine.server.__wrapped__(), beside)
        finally:
            wine.loader = real


class MachineProbe(unittest.TestCase):
    """What a machine cannot run is told as a reason, never as a pass."""

    def setUp(self):
        self.bin = tempfile.mkdtemp(prefix="kestrune-probe-")
        self.addCleanup(shutil.rmtree, self.bin, True)
        self.saved = dict(os.environ)
        self.addCleanup(lambda: (os.environ.clear(), os.environ.update(self.saved)))
        os.environ["PATH"] = self.bin
        os.environ.pop(machine.PRETEND_NO_I386, None)

    def loader(self, data):
        path = os.path.join(self.bin, "wine")
        with open(path, "wb") as f:
            f.write(data)
        os.chmod(path, 0o755)

    def kernel_says(self, reason):
        real = machine.kernel_runs_i386
        machine.kernel_runs_i386 = lambda: reason
        self.addCleanup(setattr, machine, "kernel_runs_i386", real)

    def test_a_loader_that_answers_means_32_bit_programs_run(self):
        self.loader(b"#!/bin/sh\necho wine-8.0\n")
        self.kernel_says(None)
        self.assertIsNone(machine.runs_32_bit_programs())
        os.environ[machine.PRETEND_NO_I386] = "1"
        self.assertRegex(machine.runs_32_bit_programs(), "pretended")

    def test_a_loader_that_answers_where_the_tiny_program_did_not_is_an_error(self):
        # script/bootstrap trusts the tiny program alone: a wrong answer
        # would leave the 32-bit Wine out on a machine that can use it.
        self.loader(b"#!/bin/sh\necho wine-8.0\n")
        self.kernel_says("no 32-bit programs: a 32-bit program exits with 0, not 42")
        with self.assertRaisesRegex(RuntimeError, "exits with 0, not 42"):
            machine.runs_32_bit_programs()

    def test_a_kernel_that_cannot_execute_the_loader_is_named(self):
        # Bytes no kernel runs: execve fails with ENOEXEC, as it does for an
        # i386 program on a kernel without 32-bit support.
        self.loader(b"\x7fELF" + bytes(60))
        self.assertRegex(machine.runs_32_bit_programs(), "Exec format error")

    def test_a_failing_loader_is_named_with_what_it_said(self):
        self.loader(b"#!/bin/sh\necho broken >&2\nexit 3\n")
        self.assertRegex(machine.runs_32_bit_programs(), "exits with 3: broken")

    def test_without_the_32_bit_wine_a_kernel_that_runs_none_is_named(self):
        real = wine.find

        def missing(name, *args, **kwargs):
            raise wine.WineMissing("%s is nowhere" % name)
        wine.find = missing
        self.addCleanup(setattr, wine, "find", real)
        reason = machine.kernel_runs_i386(b"\x7fELF" + bytes(60))
        self.assertRegex(reason, "kernel runs none .*Exec format error")
        tiny = machine.tiny_i386_program
        machine.tiny_i386_program = lambda: b"\x7fELF" + bytes(60)
        self.addCleanup(setattr, machine, "tiny_i386_program", tiny)
        self.assertEqual(machine.runs_32_bit_programs(), reason)


class SkipSummary(unittest.TestCase):

    def test_each_skipped_test_is_listed_with_its_reason_and_nothing_else(self):
        with tempfile.NamedTemporaryFile("w", suffix=".xml", delete=False) as f:
            f.write(textwrap.dedent("""\
                <testsuite>
                 <testcase name="windows_layer" status="notrun"><skipped/>
                  <system-out>skipped: no 32-bit programs: Exec format error</system-out></testcase>
                 <testcase name="DiskFault.Full" status="notrun"><skipped/>
                  <system-out>disk_fault_test.cpp:290: Skipped
                no size-limited file system here: unshare failed
                </system-out></testcase>
                 <testcase name="linux.window" status="run"><system-out>skipped: no</system-out></testcase>
                 <testcase name="linux.e2e" status="fail"/>
                </testsuite>"""))
        self.addCleanup(os.remove, f.name)
        preset = os.path.splitext(os.path.basename(f.name))[0]
        self.assertEqual(list(test_summary.skipped(f.name)), [
            (preset, "windows_layer", "no 32-bit programs: Exec format error"),
            (preset, "DiskFault.Full", "no size-limited file system here: unshare failed")])


class PrefixCopy(unittest.TestCase):

    def test_wines_own_files_are_shared_and_the_rest_is_a_copy(self):
        root = tempfile.mkdtemp(prefix="kestrune-prefix-")
        self.addCleanup(shutil.rmtree, root, True)
        template = os.path.join(root, "template")
        for name in ("system.reg", "drive_c/windows/system32/kernel32.dll",
                     "drive_c/windows/win.ini", "drive_c/users/root/notes.txt"):
            os.makedirs(os.path.dirname(os.path.join(template, name)), exist_ok=True)
            with open(os.path.join(template, name), "w") as f:
                f.write(name)
        os.makedirs(os.path.join(template, "dosdevices"))
        os.symlink("/", os.path.join(template, "dosdevices", "z:"))

        copy = os.path.join(root, "copy")
        harness.copy_prefix(template, copy)
        same = lambda name: os.path.samefile(os.path.join(template, name), os.path.join(copy, name))
        self.assertTrue(same("drive_c/windows/system32/kernel32.dll"))
        for name in ("system.reg", "drive_c/windows/win.ini", "drive_c/users/root/notes.txt"):
            self.assertFalse(same(name), name)
        self.assertEqual(os.readlink(os.path.join(copy, "dosdevices", "z:")), "/")


if __name__ == "__main__":
    unittest.main(verbosity=2)
