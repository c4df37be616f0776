"""Windows in Spanish and Japanese: the catalogue's texts reach Motif in the
code set of the user's locale, and the title is the localised one."""

import os
import unittest

import gui_support
from gui_support import ServerTestCase, shown

MESSAGES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src", "ui", "messages")


def catalogue_text(language, key):
    """A one-line text of the bundle (UTF-8, with \\n escapes), as a str."""
    with open(os.path.join(MESSAGES, "messages_%s.properties" % language), encoding="utf-8") as f:
        for line in f:
            if line.startswith(key + "="):
                return line[len(key) + 1:].rstrip("\n").replace("\\n", "\n")
    raise KeyError(key)


class LocalisedWindowsTest(ServerTestCase):
    def test_spanish_under_iso_8859_1(self):
        title = catalogue_text("es", "setup_title")
        self.assertEqual(title, "Instalación")
        error = catalogue_text("es", "no_find_java")
        d = self.driver(["graphical", "key", "checking_disk_space", "", "shown", "wait", "watchbox",
                         "errkey", "no_find_java", ""], self.x.env(LANG="es_ES.ISO-8859-1"))
        text, _, shown_title = d.expect("shown").partition(" title ")
        self.assertEqual(bytes.fromhex(shown_title), title.encode("latin-1"))
        self.assertEqual(shown(text), catalogue_text("es", "checking_disk_space").rstrip("\n"))
        d.expect("waiting")
        status = self.x.wait_window(classname="Status_popup")
        self.assertEqual(self.x.window_name(status), title.encode("latin-1"))
        d.proceed()
        facts = d.expect("box Error").split()
        self.assertEqual(bytes.fromhex(facts[1]), title.encode("latin-1"))
        self.assertEqual(bytes.fromhex(facts[3]), error.rstrip("\n").encode("latin-1"))
        box = self.x.wait_window(classname="Error_popup")
        self.assertEqual(self.x.window_name(box), title.encode("latin-1"))
        self.x.wait_ink(box)
        self.x.screenshot(os.path.join(gui_support.SCREENSHOTS, "error-es.png"), box)
        self.x.press_ok(box)
        d.expect("error")
        r = d.finish()
        self.assertEqual((r.returncode, gui_support.console(r.stdout), r.stderr), (0, b"", b""))

    def test_japanese_under_euc_jp(self):
        # A font set that covers Japanese, as a user's resources would name it.
        resources = self.dir.write("resources", "*renderTable: rt\n*rt.fontType: FONT_IS_FONTSET\n"
                                                "*rt.fontName: -misc-fixed-medium-r-normal--14-*-*-*-*-*-*-*\n")
        d = self.driver(["graphical", "key", "checking_disk_space", "", "shown", "wait",
                         "key", "executing_java", "", "shown"],
                        self.x.env(LANG="ja_JP.eucJP", XENVIRONMENT=resources))
        text, _, title = d.expect("shown").partition(" title ")
        expected = catalogue_text("ja", "checking_disk_space").rstrip("\n")
        self.assertEqual(bytes.fromhex(text), expected.encode("euc_jp"))
        self.assertEqual(shown(title), catalogue_text("ja", "setup_title"))
        d.expect("waiting")
        status = self.x.wait_window(catalogue_text("ja", "setup_title"))
        self.x.wait_ink(status)
        self.x.screenshot(os.path.join(gui_support.SCREENSHOTS, "status-ja.png"), status)
        d.proceed()
        text = d.expect("shown").split()[0]
        self.assertEqual(bytes.fromhex(text), catalogue_text("ja", "executing_java").rstrip("\n").encode("euc_jp"))
        r = d.finish()
        self.assertEqual((r.returncode, gui_support.console(r.stdout), r.stderr), (0, b"", b""))

    def test_a_locale_the_x_library_lacks_becomes_c(self):
        # xx_YY: a locale of the C library that the X library doesn't know.
        d = self.driver(["locale", "graphical", "status", "Checking disk space\n", "locale", "shown"],
                        self.x.env(LANG="xx_YY"))
        self.assertEqual(d.expect("locale"), "xx_YY en")
        d.expect("status")
        self.assertEqual(d.expect("locale"), "C en")
        self.assertEqual(shown(d.expect("shown").split()[0]), "Checking disk space")
        self.assertEqual(d.finish().returncode, 0)


if __name__ == "__main__":
    unittest.main()
