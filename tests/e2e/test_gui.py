"""Graphical mode under a real X server, as the output calls drive it
(through gui_driver): the status window, the modal message boxes, their
texts in other languages, and the console fall-backs."""

import os
import subprocess
import unittest

import gui_support
import harness
from gui_support import ServerTestCase, fields, hidden_motif, unhide_motif_command

TITLE = "Setup"
MESSAGES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src", "ui", "messages")


def catalogue_text(language, key):
    """A one-line text of the bundle (UTF-8, with \\n escapes), without its final newline."""
    with open(os.path.join(MESSAGES, "messages_%s.properties" % language), encoding="utf-8") as f:
        for line in f:
            if line.startswith(key + "="):
                return line[len(key) + 1:].rstrip("\n").replace("\\n", "\n").rstrip("\n")
    raise KeyError(key)


class StatusWindowTest(ServerTestCase):
    def test_a_text_waits_for_its_newline_and_replaces_the_one_before(self):
        d = self.driver(["graphical", "load", "status", "Checking ", "shown", "status", "available disk space...\n",
                         "shown", "wait", "status", "Extracting installation files...\n", "shown",
                         "hide", "shown", "status", "Deleting temporary files...\n", "shown"])
        d.expect("load ok")
        self.assertEqual((d.expect("status"), d.expect("shown")), ("0", "none"))
        # Only the new part counts as written.
        self.assertEqual(d.expect("status"), "24")
        self.assertEqual(fields(d.expect("shown")),
                         {"message": b"Checking available disk space...", "title": TITLE.encode()})
        d.expect("waiting")
        window = self.x.wait_window(TITLE)
        self.assertEqual(self.x.property(window, "WM_CLASS"), '"Status_popup", "%s"' % TITLE)
        g = self.x.geometry(window)
        self.assertEqual((g["x"], g["y"], g["width"], g["height"]), (312, 334, 400, 100))
        # No window-manager decorations or functions at all.
        flags, functions, decorations = self.x.motif_hints(window)[:3]
        self.assertEqual((flags & 3, functions, decorations), (3, 0, 0))
        d.proceed()
        self.assertEqual(d.expect("status"), "33")
        self.assertEqual(fields(d.expect("shown"))["message"], b"Extracting installation files...")
        # Once hidden, the next text gets a window of its own.
        self.assertEqual(d.expect("shown"), "none")
        d.expect("status")
        self.assertEqual(fields(d.expect("shown"))["message"], b"Deleting temporary files...")
        self.assertEqual(d.finish()[:3], (0, b"", b""))

    def test_a_long_text_is_shown_whole_and_two_threads_can_print(self):
        text = "\n".join("%02d %s" % (i, "progress text " * 4) for i in range(30))
        # The cleanup path may print from another thread while the main
        # thread is in the middle of its own texts.
        d = self.driver(["graphical", "status", text + "\n", "shown", "race", "150", "shown"])
        self.assertEqual(d.expect("status"), str(len(text) + 1))
        self.assertEqual(fields(d.expect("shown"))["message"], text.encode())
        d.expect("race done", timeout=120)
        self.assertRegex(fields(d.expect("shown"))["message"], rb"^(main \d+)?( and more|thread \d+)$")
        self.assertEqual(d.finish()[:3], (0, b"", b""))


class MessageBoxTest(ServerTestCase):
    def test_each_kind_of_box_has_one_ok_button_and_waits_for_it(self):
        d = self.driver(["graphical", "status", "Checking Java(TM) 2 Runtime Environment...\n",
                         "error", "Error: the disk ", "watchbox", "error", "is full.\n",
                         "watchbox", "info", "Installation complete.\n", "shown"])
        d.expect("status")
        # A text without a newline returns at once, with no box.
        self.assertEqual(d.expect("error"), "16")
        for name, call, message, count in (("Error", "error", "Error: the disk is full.", "9"),
                                           ("Information", "info", "Installation complete.", "23")):
            self.assertEqual(fields(d.expect("box " + name)),
                             {"title": TITLE.encode(), "message": message.encode(), "ok": b"OK", "buttons": "ok"})
            box = self.x.wait_window(classname=name + "_popup")
            self.assertEqual(self.x.window_name(box), TITLE.encode())
            g = self.x.geometry(box)
            self.assertEqual((g["x"], g["y"]), ((1024 - g["width"]) // 2, (768 - g["height"]) // 2))
            # Move and close only; all decorations but resize handles, minimise
            # and maximise; modal for the application.
            flags, functions, decorations, input_mode = self.x.motif_hints(box)[:4]
            self.assertEqual((flags & 7, functions, decorations, input_mode), (7, 27, 101, 1))
            self.x.press_ok(box)
            self.assertEqual(d.expect(call), count)
        # The status window is still there.
        self.assertEqual(fields(d.expect("shown"))["message"], b"Checking Java(TM) 2 Runtime Environment...")
        self.assertEqual(d.finish()[:3], (0, b"", b""))

    def test_a_box_larger_than_the_screen_is_placed_at_zero(self):
        tall = "\n".join("line %d of a long error" % i for i in range(60))
        d = self.driver(["graphical", "load", "watchbox", "error", tall + "\n"])
        d.expect("load ok")
        d.expect("box Error")
        box = self.x.wait_window(classname="Error_popup")
        g = self.x.geometry(box)
        self.assertGreater(g["height"], 768)
        self.assertEqual((g["x"], g["y"]), ((1024 - g["width"]) // 2, 0))
        # OK is below the bottom of the screen: Return presses it.
        self.x.press_ok(box)
        self.assertEqual(d.expect("error"), str(len(tall) + 1))
        self.assertEqual(d.finish()[0], 0)


class LocalisedWindowsTest(ServerTestCase):
    def test_spanish_under_iso_8859_1_and_japanese_under_euc_jp(self):
        steps = ["graphical", "key", "checking_disk_space", "shown", "watchbox", "errkey", "no_find_java"]
        for lang, language, encoding, title in (("es_ES.ISO-8859-1", "es", "latin-1", "Instalación"),
                                                ("ja_JP.eucJP", "ja", "euc_jp", "Setup")):
            with self.subTest(lang=lang):
                title = title.encode(encoding)
                d = self.driver(steps, LANG=lang)
                self.assertEqual(fields(d.expect("shown")), {
                    "message": catalogue_text(language, "checking_disk_space").encode(encoding), "title": title})
                box = fields(d.expect("box Error"))
                self.assertEqual((box["title"], box["message"]),
                                 (title, catalogue_text(language, "no_find_java").encode(encoding)))
                self.x.press_ok(self.x.wait_window(classname="Error_popup"))
                d.expect("error")
                self.assertEqual(d.finish()[:3], (0, b"", b""))

    def test_a_locale_the_x_library_lacks_becomes_c(self):
        # xx_YY: a locale of the C library that the X library doesn't know.
        r = self.driver(["locale", "graphical", "status", "Checking disk space\n", "locale"], LANG="xx_YY").finish()
        # Shown in the window: nothing on the console.
        self.assertEqual(r, (0, b"", b"", ["locale xx_YY en", "status 20", "locale C en"]))


class FallbackTest(ServerTestCase):
    def test_the_launcher_links_no_x_library(self):
        libraries = subprocess.run(["ldd", harness.LAUNCHER], capture_output=True, check=True).stdout.decode()
        self.assertIn("libc.so", libraries)
        for name in ("libX11", "libXt", "libXm", "libxcb"):
            self.assertNotIn(name, libraries)

    def test_no_motif_is_not_tried_again_and_one_without_a_function_is(self):
        # The library is back after the first call (inside the namespace).
        steps = ["graphical", "status", "one\n", "console", "sh", unhide_motif_command(),
                 "graphical", "status", "two\n", "console", "shown"]
        first = ["status 4", "console 1", "sh 0", "status 4"]
        for replacement, console, last in (
                ("/dev/null", b"one\ntwo\n", ["console 1", "shown none"]),
                # A real library with the X11 and Xt functions and none of Motif's.
                (gui_support.system_library("libXmu.so.6"), b"one\n",
                 ["console 0", "shown message %s title %s" % (b"two".hex(), b"Setup".hex())])):
            with self.subTest(replacement=replacement):
                r = self.driver(steps, prefix=hidden_motif(replacement)).finish()
                self.assertEqual(r, (0, console, b"", first + last))

    def test_server_gone_while_an_error_box_is_up(self):
        x = gui_support.Xvfb()
        self.addCleanup(x.stop)
        d = gui_support.Driver(["graphical", "load", "watchbox", "error", "Error: it failed.\n", "console",
                                "status", "after\n"], x.env())
        self.addCleanup(d.kill)
        d.expect("load ok")
        d.expect("box Error")
        x.wait_window(classname="Error_popup")
        x.stop()
        # The box's wait ends; its text still reaches the user.
        self.assertEqual(d.expect("error"), "18")
        self.assertEqual((d.expect("console"), d.expect("status")), ("1", "6"))
        self.assertEqual(d.finish()[:3], (0, b"Error: it failed.\nafter\n", b""))


if __name__ == "__main__":
    unittest.main()
