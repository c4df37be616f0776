"""Graphical mode under a real X server: the status window and the modal
message boxes, as the output calls show them (driven by gui_driver)."""

import unittest

from gui_support import ServerTestCase, fields

TITLE = "Setup"


class StatusWindowTest(ServerTestCase):
    def test_a_text_is_held_back_until_its_newline_then_each_shows_in_turn(self):
        d = self.driver(["graphical", "load", "status", "Checking ", "shown",
                         "status", "available disk space...\n", "shown", "wait",
                         "status", "Extracting installation files...\n", "shown"])
        d.expect("load ok")
        self.assertEqual(d.expect("status"), "0")
        self.assertEqual(d.expect("shown"), "none")
        # Only the new part counts as written.
        self.assertEqual(d.expect("status"), "24")
        self.assertEqual(fields(d.expect("shown")),
                         {"message": b"Checking available disk space...", "title": TITLE.encode()})
        d.expect("waiting")
        window = self.x.wait_window(TITLE)
        self.assertEqual(self.x.property(window, "WM_CLASS"), '"Status_popup", "%s"' % TITLE)
        # Decorations and functions are set, and both are none at all.
        flags, functions, decorations = self.x.motif_hints(window)[:3]
        self.assertEqual((flags & 3, functions, decorations), (3, 0, 0))
        # The event thread has it drawn.
        self.x.wait_ink(window)
        d.proceed()
        self.assertEqual(d.expect("status"), "33")
        self.assertEqual(fields(d.expect("shown"))["message"], b"Extracting installation files...")
        self.assertEqual(d.finish()[:3], (0, b"", b""))

    def test_a_long_text_is_shown_whole_and_two_threads_can_print(self):
        text = "\n".join("%02d %s" % (i, "progress text " * 4) for i in range(30))
        self.assertGreater(len(text), 1024)
        # The cleanup path may print from another thread while the main
        # thread is in the middle of its own texts.
        d = self.driver(["graphical", "status", text + "\n", "shown", "race", "150", "shown"])
        self.assertEqual(d.expect("status"), str(len(text) + 1))
        self.assertEqual(fields(d.expect("shown"))["message"], text.encode())
        d.expect("race done", timeout=60)
        self.assertRegex(fields(d.expect("shown"))["message"], rb"^(main \d+)?( and more|thread \d+)$")
        self.assertEqual(d.finish()[:3], (0, b"", b""))


class MessageBoxTest(ServerTestCase):
    def test_each_kind_of_box_has_one_ok_button_and_waits_for_it(self):
        d = self.driver(["graphical", "status", "Checking Java(TM) 2 Runtime Environment...\n",
                         "error", "Error: the disk ", "watchbox", "error", "is full.\n",
                         "watchbox", "info", "Installation complete.\n", "shown"])
        d.expect("status")
        # A text without a newline returns at once, with no box.
        self.assertEqual(d.expect("error", timeout=5), "16")
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
            self.x.wait_gone(box)
        # The status window is still there, and events reach it again.
        self.assertEqual(fields(d.expect("shown"))["message"], b"Checking Java(TM) 2 Runtime Environment...")
        self.assertEqual(d.finish()[:3], (0, b"", b""))


class SmallScreenTest(ServerTestCase):
    screen = (320, 240)

    def test_a_dialog_larger_than_the_screen_is_placed_at_zero(self):
        tall = "\n".join("line %d of a long error" % i for i in range(40))
        d = self.driver(["graphical", "status", "Wider than the screen\n", "wait", "watchbox", "error", tall + "\n"])
        d.expect("status")
        d.expect("waiting")
        # 400 wide on a screen of 320: at 0 across, centred down.
        g = self.x.wait_geometry(self.x.wait_window(TITLE), x=0, y=70)
        self.assertEqual((g["x"], g["y"], g["width"]), (0, 70, 400))
        d.proceed()
        d.expect("box Error")
        box = self.x.wait_window(classname="Error_popup")
        g = self.x.wait_geometry(box, y=0)
        self.assertGreater(g["height"], 240)
        self.assertEqual((g["x"], g["y"]), ((320 - g["width"]) // 2, 0))
        # OK is below the bottom of the screen: Return presses it.
        self.x.press_ok(box)
        self.assertEqual(d.expect("error"), str(len(tall) + 1))
        self.assertEqual(d.finish()[0], 0)


if __name__ == "__main__":
    unittest.main()
