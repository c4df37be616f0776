"""Windows in Spanish and Japanese: the catalogue's texts reach Motif in the
code set of the user's locale, and the title is the localised one."""

import os
import unittest

from gui_support import ServerTestCase, fields

MESSAGES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src", "ui", "messages")


def catalogue_text(language, key):
    """A one-line text of the bundle (UTF-8, with \\n escapes), without its final newline."""
    with open(os.path.join(MESSAGES, "messages_%s.properties" % language), encoding="utf-8") as f:
        for line in f:
            if line.startswith(key + "="):
                return line[len(key) + 1:].rstrip("\n").replace("\\n", "\n").rstrip("\n")
    raise KeyError(key)


class LocalisedWindowsTest(ServerTestCase):
    def test_spanish_under_iso_8859_1_and_japanese_under_euc_jp(self):
        steps = ["graphical", "key", "checking_disk_space", "shown", "key", "executing_java", "shown",
                 "watchbox", "errkey", "no_find_java"]
        for lang, language, encoding, title in (("es_ES.ISO-8859-1", "es", "latin-1", "Instalación"),
                                                ("ja_JP.eucJP", "ja", "euc_jp", "Setup")):
            with self.subTest(lang=lang):
                title = title.encode(encoding)
                d = self.driver(steps, LANG=lang)
                for key in ("checking_disk_space", "executing_java"):
                    self.assertEqual(fields(d.expect("shown")),
                                     {"message": catalogue_text(language, key).encode(encoding), "title": title})
                box = fields(d.expect("box Error"))
                self.assertEqual((box["title"], box["message"]),
                                 (title, catalogue_text(language, "no_find_java").encode(encoding)))
                box = self.x.wait_window(classname="Error_popup")
                self.assertEqual(self.x.window_name(box), title)
                self.x.press_ok(box)
                d.expect("error")
                self.assertEqual(d.finish()[:3], (0, b"", b""))

    def test_a_locale_the_x_library_lacks_becomes_c(self):
        # xx_YY: a locale of the C library that the X library doesn't know.
        r = self.driver(["locale", "graphical", "status", "Checking disk space\n", "locale"], LANG="xx_YY").finish()
        # Shown in the window: nothing on the console.
        self.assertEqual(r, (0, b"", b"", ["locale xx_YY en", "status 20", "locale C en"]))


if __name__ == "__main__":
    unittest.main()
