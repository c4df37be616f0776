"""Graphical mode where it can't be had: no Motif library, a Motif library
that lacks a function, and an X server that goes away while a box is up.
Output falls back to the console."""

import subprocess
import unittest

import gui_support
import harness
from gui_support import ServerTestCase, hidden_motif, unhide_motif_command


class LinkageTest(unittest.TestCase):
    def test_the_launcher_links_no_x_library(self):
        # It must start on a host without them; Motif is opened at run time.
        libraries = subprocess.run(["ldd", harness.LAUNCHER], capture_output=True, check=True).stdout.decode()
        self.assertIn("libc.so", libraries)
        for name in ("libX11", "libXt", "libXm", "libxcb"):
            self.assertNotIn(name, libraries)


class MissingMotifTest(ServerTestCase):
    def test_no_library_is_not_tried_again_and_one_without_a_function_is(self):
        # The library is back after the first call (inside the namespace).
        steps = ["graphical", "status", "one\n", "console", "sh", unhide_motif_command(),
                 "graphical", "status", "two\n", "console", "shown"]
        first = ["status 4", "console 1", "sh 0", "status 4"]
        cases = (
            ("/dev/null", b"one\ntwo\n", ["console 1", "shown none"]),
            # A real library with the X11 and Xt functions and none of Motif's.
            (gui_support.system_library("libXmu.so.6"), b"one\n",
             ["console 0", "shown message %s title %s" % (b"two".hex(), b"Setup".hex())]),
        )
        for replacement, console, last in cases:
            with self.subTest(replacement=replacement):
                r = self.driver(steps, prefix=hidden_motif(replacement)).finish()
                self.assertEqual(r, (0, console, b"", first + last))


class ServerGoneTest(ServerTestCase):
    def test_server_gone_while_an_error_box_is_up(self):
        d = self.driver(["graphical", "load", "watchbox", "error", "Error: it failed.\n", "console",
                         "status", "after\n"])
        d.expect("load ok")
        d.expect("box Error")
        self.x.wait_window(classname="Error_popup")
        self.x.stop()
        # The box's wait ends; its text still reaches the user.
        self.assertEqual(d.expect("error", timeout=10), "18")
        self.assertEqual((d.expect("console"), d.expect("status")), ("1", "6"))
        self.assertEqual(d.finish()[:3], (0, b"Error: it failed.\nafter\n", b""))


if __name__ == "__main__":
    unittest.main()
