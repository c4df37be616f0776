"""The message catalogue as an installed, stripped launcher carries it."""

import os
import subprocess
import unittest

import harness

RESOLVE_EN = b"Error: Could not resolve the absolute path of this application.\n"
RESOLVE_ES = b"Error: No poder resolver la ruta absoluta de esta aplicaci\xf3n.\n"


class StrippedCatalogueTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = harness.Scratch()
        cls.launcher = harness.copy_launcher(cls.dir / "setup")
        subprocess.run(["strip", cls.launcher], check=True)

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def test_exports_only_the_accessors(self):
        out = subprocess.run(["nm", "-D", "--defined-only", self.launcher], capture_output=True,
                             check=True).stdout.decode().split("\n")
        names = [line.split()[-1] for line in out if line.strip()]
        # The rest are the C library's data and, in a sanitizer build, the sanitizer's.
        ours = [n for n in names if "@" not in n and not n.startswith("__asan")]
        self.assertEqual(len(ours), 3 * 41)
        self.assertTrue(all(n.startswith(("messages_")) for n in ours), ours)
        for n in ("messages_checking_java", "messages_es_checking_java", "messages_ja_checking_java"):
            self.assertIn(n, ours)

    def test_messages_come_from_the_stripped_binary(self):
        # Started under a name that PATH can't resolve.
        r = harness.run(argv0="no-such-setup", program=self.launcher, env={"PATH": "/nonexistent"})
        self.assertEqual((r.status, r.stdout, r.stderr), (1, b"", RESOLVE_EN))

    def test_messages_follow_the_locale(self):
        r = harness.run(argv0="no-such-setup", program=self.launcher,
                        env={"PATH": "/nonexistent", "LANG": "es_ES.ISO-8859-1"})
        self.assertEqual(r.stderr, RESOLVE_ES)
        r = harness.run(argv0="no-such-setup", program=self.launcher,
                        env={"PATH": "/nonexistent", "LANG": "de_DE.ISO-8859-1"})
        self.assertEqual(r.stderr, RESOLVE_EN)


if __name__ == "__main__":
    unittest.main()
