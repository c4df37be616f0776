"""Graphical mode where it can't be had: no display, no X server, no Motif
library, a Motif library that lacks a function, and an X server that goes
away while a window is up. Output falls back to the console."""

import os
import signal
import subprocess
import unittest

import gui_support
import harness
from gui_support import DriverTestCase, ServerTestCase, Xvfb, console, reports, shown

TITLE = "Setup"


def unused_display():
    """A display number with no server."""
    n = 4242
    while os.path.exists("/tmp/.X11-unix/X%d" % n) or os.path.exists("/tmp/.X%d-lock" % n):
        n += 1
    return ":%d" % n


class LinkageTest(unittest.TestCase):
    def test_the_launcher_links_no_x_library(self):
        # It must start on a host without them; Motif is opened at run time.
        libraries = subprocess.run(["ldd", harness.LAUNCHER], capture_output=True, check=True).stdout.decode()
        self.assertIn("libc.so", libraries)
        for name in ("libX11", "libXt", "libXm", "libxcb"):
            self.assertNotIn(name, libraries)


class NoDisplayTest(DriverTestCase):
    def check_console_fallback(self, display):
        steps = ["graphical", "status", "Checking 100% of the space...\n", "console", "libxm",
                 "error", "Error: no display.\n", "status", "again\n", "load"]
        r = self.driver(steps, {"DISPLAY": display}).finish()
        self.assertEqual(r.returncode, 0, r)
        # The texts as they are, each to its stream; the library closed again.
        self.assertEqual(console(r.stdout), b"Checking 100% of the space...\nagain\n")
        self.assertEqual(r.stderr, b"Error: no display.\n")
        self.assertEqual(reports(r.stdout), ["status 30", "console 1", "libxm unloaded", "error 19",
                                             "status 6", "load null"])

    def test_display_unset(self):
        self.check_console_fallback(None)

    def test_display_without_a_server(self):
        self.check_console_fallback(unused_display())


class MissingMotifTest(ServerTestCase):
    def test_without_motif_later_calls_dont_try_again(self):
        empty = self.dir.write("empty.so", b"")
        # The library is back after the first call; the second doesn't look.
        d = self.driver(["graphical", "status", "one\n", "console", "sh", gui_support.unhide_motif_command(),
                         "graphical", "status", "two\n", "console", "load", "libxm"],
                        self.x.env(), prefix=gui_support.hidden_motif(empty))
        r = d.finish()
        self.assertEqual(r.returncode, 0, r)
        self.assertEqual(console(r.stdout), b"one\ntwo\n")
        self.assertEqual(reports(r.stdout), ["status 4", "console 1", "sh 0", "status 4", "console 1",
                                             "load null", "libxm unloaded"])
        self.assertEqual(self.x.windows(TITLE), [])

    def test_a_library_without_a_function_is_tried_again(self):
        # A real library with the X11 and Xt functions and none of Motif's.
        other = gui_support.system_library("libXmu.so.6")
        d = self.driver(["graphical", "status", "one\n", "console", "libxm",
                         "sh", gui_support.unhide_motif_command(),
                         "graphical", "status", "two\n", "console", "shown"],
                        self.x.env(), prefix=gui_support.hidden_motif(other))
        r = d.finish()
        self.assertEqual(r.returncode, 0, r)
        self.assertEqual(console(r.stdout), b"one\n")
        done = reports(r.stdout)
        self.assertEqual(done[:6], ["status 4", "console 1", "libxm unloaded", "sh 0", "status 4", "console 0"])
        self.assertEqual(shown(done[6].split()[1]), "two")


class ServerGoneTest(DriverTestCase):
    def setUp(self):
        self.x = Xvfb(1024, 768)

    def tearDown(self):
        self.x.stop()

    def kill_server(self):
        os.kill(self.x.proc.pid, signal.SIGKILL)
        self.x.proc.wait()

    def test_server_gone_while_the_status_window_is_up(self):
        d = self.driver(["graphical", "status", "Launching Java(TM) 2 Runtime Environment...\n", "wait",
                         "await-console", "status", "Deleting temporary files...\n", "hide",
                         "error", "Error: gone.\n", "shown"], self.x.env())
        d.expect("status")
        d.expect("waiting")
        self.x.wait_window(TITLE)
        self.kill_server()
        d.proceed()
        self.assertEqual(d.expect("console"), "1")
        r = d.finish()
        self.assertEqual(r.returncode, 0, r)
        # Everything after the loss on the console; nothing touches the dead connection.
        self.assertEqual(console(r.stdout), b"Deleting temporary files...\n")
        self.assertEqual(r.stderr, b"Error: gone.\n")
        self.assertEqual(reports(r.stdout)[-3:], ["status 28", "error 13", "shown none"])

    def test_server_gone_while_an_error_box_is_up(self):
        d = self.driver(["graphical", "load", "watchbox", "error", "Error: it failed.\n", "console",
                         "status", "after\n"], self.x.env())
        d.expect("load ok")
        d.expect("box Error")
        self.x.wait_window(classname="Error_popup")
        self.kill_server()
        # The box's wait ends; its text still reaches the user.
        self.assertEqual(d.expect("error", timeout=10), "18")
        r = d.finish()
        self.assertEqual(r.returncode, 0, r)
        self.assertEqual(console(r.stdout), b"Error: it failed.\nafter\n")
        self.assertEqual(reports(r.stdout)[-2:], ["console 1", "status 6"])


if __name__ == "__main__":
    unittest.main()
