"""The message catalogue as a stripped launcher carries it: found by name
among the program's exported symbols, in the language and code set of the
user's locale."""

import subprocess
import unittest

import harness

RESOLVE = {
    "C": b"Error: Could not resolve the absolute path of this application.\n",
    "es_ES.ISO-8859-1": b"Error: No poder resolver la ruta absoluta de esta aplicaci\xf3n.\n",
    "es_ES.UTF-8": b"Error: No poder resolver la ruta absoluta de esta aplicaci\xc3\xb3n.\n",
    # A language the catalogue lacks falls back to English.
    "de_DE.ISO-8859-1": b"Error: Could not resolve the absolute path of this application.\n",
}


class StrippedCatalogueTest(unittest.TestCase):
    def test_a_stripped_launcher_exports_the_accessors_alone_and_speaks_the_locales(self):
        d = harness.Scratch()
        self.addCleanup(d.cleanup)
        launcher = harness.installer(d / "setup", archive=b"")
        subprocess.run(["strip", launcher], check=True)
        out = subprocess.run(["nm", "-D", "--defined-only", launcher], capture_output=True, check=True).stdout
        # The rest are the C library's data and, in a sanitizer build, the sanitizer's.
        ours = [line.split()[-1] for line in out.decode().splitlines()
                if line.strip() and "@" not in line and "__asan" not in line]
        self.assertTrue(ours and all(n.startswith("messages_") for n in ours), ours)
        for lang, message in RESOLVE.items():
            # Started under a name that PATH can't resolve.
            r = harness.run(argv0="no-such-setup", program=launcher, env={"PATH": "/nonexistent", "LANG": lang})
            self.assertEqual((r.status, r.stdout, r.stderr), (1, b"", message), lang)


if __name__ == "__main__":
    unittest.main()
