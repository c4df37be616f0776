"""Graphical mode under a real X server: the status window and the modal
message boxes, as the output calls show them (driven by gui_driver)."""

import os
import unittest

import gui_support
from gui_support import ServerTestCase, shown

TITLE = "Setup"


class StatusWindowTest(ServerTestCase):
    def assertStatusWindow(self, window):
        g = self.x.wait_geometry(window, x=312, y=334, width=400, height=100)
        # Centred on the 1024x768 screen.
        self.assertEqual((g["x"], g["y"], g["width"], g["height"]), (312, 334, 400, 100))
        self.assertEqual(self.x.property(window, "WM_CLASS"), '"Status_popup", "%s"' % TITLE)
        flags, functions, decorations = self.x.motif_hints(window)[:3]
        # Decorations and functions are set, and both are none at all.
        self.assertEqual((flags & 3, functions, decorations), (3, 0, 0))

    def test_shows_each_text_in_turn_and_a_new_window_after_hiding(self):
        d = self.driver(["graphical", "status", "Checking available disk space...\n", "shown", "wait",
                         "status", "Extracting installation files...\n", "shown", "wait",
                         "hide", "wait",
                         "status", "Deleting temporary files...\n", "shown", "wait"], self.x.env())
        self.assertEqual(d.expect("status"), "33")
        text, _, title = d.expect("shown").partition(" title ")
        self.assertEqual((shown(text), shown(title)), ("Checking available disk space...", TITLE))
        d.expect("waiting")
        first = self.x.wait_window(TITLE)
        self.assertStatusWindow(first)
        self.x.wait_ink(first)
        self.x.screenshot(os.path.join(gui_support.SCREENSHOTS, "status.png"), first)
        d.proceed()

        self.assertEqual(d.expect("status"), "33")
        self.assertEqual(shown(d.expect("shown").split()[0]), "Extracting installation files...")
        d.expect("waiting")
        # The same window, re-centred.
        self.assertEqual(self.x.wait_window(TITLE), first)
        self.assertStatusWindow(first)
        d.proceed()

        d.expect("waiting")
        self.x.wait_gone(first)
        self.assertEqual(self.x.windows(TITLE), [])
        d.proceed()

        self.assertEqual(d.expect("status"), "28")
        self.assertEqual(shown(d.expect("shown").split()[0]), "Deleting temporary files...")
        d.expect("waiting")
        second = self.x.wait_window(TITLE)
        self.assertNotEqual(second, first)
        self.assertStatusWindow(second)
        d.proceed()
        r = d.finish()
        self.assertEqual((r.returncode, gui_support.console(r.stdout), r.stderr), (0, b"", b""))

    def test_a_text_without_newline_is_held_back_and_joined_to_the_next(self):
        d = self.driver(["graphical", "load", "status", "Checking ", "shown", "wait",
                         "status", "disk space\n", "shown"], self.x.env())
        d.expect("load ok")
        self.assertEqual(d.expect("status"), "0")
        self.assertEqual(d.expect("shown"), "none")
        d.expect("waiting")
        self.assertEqual(self.x.windows(TITLE), [])
        d.proceed()
        self.assertEqual(d.expect("status"), "11")
        self.assertEqual(shown(d.expect("shown").split()[0]), "Checking disk space")
        r = d.finish()
        self.assertEqual((r.returncode, gui_support.console(r.stdout)), (0, b""))

    def test_a_long_text_is_shown_whole(self):
        lines = ["%02d %s" % (i, "progress text " * 4) for i in range(30)]
        text = "\n".join(lines)
        self.assertGreater(len(text), 1024)
        d = self.driver(["graphical", "status", text + "\n", "shown"], self.x.env())
        self.assertEqual(d.expect("status"), str(len(text) + 1))
        self.assertEqual(shown(d.expect("shown").split()[0]), text)
        self.assertEqual(d.finish().returncode, 0)

    def test_texts_from_two_threads(self):
        # The cleanup path may print from another thread while the main
        # thread is in the middle of its own texts.
        d = self.driver(["graphical", "status", "start\n", "race", "150", "shown"], self.x.env())
        d.expect("status")
        d.expect("race done", timeout=60)
        last = shown(d.expect("shown").split()[0])
        self.assertRegex(last, r"^(main \d+)?( and more|thread \d+)$")
        r = d.finish()
        self.assertEqual((r.returncode, gui_support.console(r.stdout), r.stderr), (0, b"", b""))


class MessageBoxTest(ServerTestCase):
    def check_box(self, d, name, message):
        """Checks the box that d reported on and the window it shows; returns
        the window."""
        facts = d.expect("box " + name).split()
        self.assertEqual(facts[0:2], ["title", TITLE.encode().hex()])
        self.assertEqual(shown(facts[3]), message)
        # One button, labelled with the catalogue's "ok" text.
        self.assertEqual(facts[4:9], ["ok", b"OK".hex(), "buttons", "ok", "at"])
        box = self.x.wait_window(classname=name + "_popup")
        self.assertEqual(self.x.window_name(box), TITLE.encode())
        g = self.x.geometry(box)
        self.assertEqual((g["x"], g["y"]), ((1024 - g["width"]) // 2, (768 - g["height"]) // 2))
        flags, functions, decorations, input_mode = self.x.motif_hints(box)[:4]
        # Move and close only; all decorations but resize handles, minimise
        # and maximise; modal for the application.
        self.assertEqual((flags & 7, functions, decorations, input_mode), (7, 27, 101, 1))
        return box

    def test_an_error_box_waits_until_ok_is_pressed(self):
        message = "Error: Could not find the required version of the Java(TM) 2 Runtime Environment."
        d = self.driver(["graphical", "status", "Checking Java(TM) 2 Runtime Environment...\n", "watchbox",
                         "error", message + "\n", "shown"], self.x.env())
        d.expect("status")
        box = self.check_box(d, "Error", message)
        self.x.wait_ink(box)
        self.x.screenshot(os.path.join(gui_support.SCREENSHOTS, "error.png"), box)
        # Still waiting for the user.
        self.assertTrue(d.no_report_within(0.5))
        self.x.press_ok(box)
        self.assertEqual(d.expect("error"), str(len(message) + 1))
        self.x.wait_gone(box)
        # The status window is still there, and events reach it again.
        self.assertEqual(shown(d.expect("shown").split()[0]), "Checking Java(TM) 2 Runtime Environment...")
        r = d.finish()
        self.assertEqual((r.returncode, gui_support.console(r.stdout), r.stderr), (0, b"", b""))

    def test_an_information_box(self):
        d = self.driver(["graphical", "load", "watchbox", "info", "Installation complete.\n"], self.x.env())
        d.expect("load ok")
        box = self.check_box(d, "Information", "Installation complete.")
        self.x.press_ok(box)
        self.assertEqual(d.expect("info"), "23")
        self.assertEqual(d.finish().returncode, 0)

    def test_a_text_without_newline_shows_no_box_until_completed(self):
        d = self.driver(["graphical", "load", "error", "Error: the disk ", "watchbox", "error", "is full.\n"],
                        self.x.env())
        d.expect("load ok")
        # Returned at once, with no box.
        self.assertEqual(d.expect("error", timeout=5), "16")
        box = self.check_box(d, "Error", "Error: the disk is full.")
        self.x.press_ok(box)
        self.assertEqual(d.expect("error"), "9")
        r = d.finish()
        self.assertEqual((r.returncode, gui_support.console(r.stdout), r.stderr), (0, b"", b""))


class SmallScreenTest(ServerTestCase):
    screen = (320, 240)

    def test_a_dialog_larger_than_the_screen_is_placed_at_zero(self):
        tall = "\n".join("line %d of a long error" % i for i in range(40))
        d = self.driver(["graphical", "status", "Wider than the screen\n", "wait",
                         "watchbox", "error", tall + "\n"], self.x.env())
        d.expect("status")
        d.expect("waiting")
        status = self.x.wait_window(TITLE)
        g = self.x.wait_geometry(status, x=0, y=70)
        # 400 wide on a screen of 320: at 0 across, centred down.
        self.assertEqual((g["x"], g["y"], g["width"]), (0, 70, 400))
        d.proceed()
        d.expect("box Error")
        box = self.x.wait_window(classname="Error_popup")
        g = self.x.wait_geometry(box, y=0)
        self.assertGreater(g["height"], 240)
        self.assertEqual((g["x"], g["y"]), ((320 - g["width"]) // 2, 0))
        # OK is below the bottom of the screen: Return presses it.
        self.x.press_return(box)
        self.assertEqual(d.expect("error"), str(len(tall) + 1))
        self.assertEqual(d.finish().returncode, 0)


if __name__ == "__main__":
    unittest.main()
