"""The example installer of examples/, packed with a runtime made by
mksetup --jlink and run by the launcher silently and on the console, on a
host environment where the launcher finds no other Java runtime."""

import os
import re
import shutil
import unittest

import harness

PAYLOAD = os.environ.get("BRAMLET_EXAMPLE_PAYLOAD", "")
JDK = "/usr/lib/jvm/java-17-openjdk-amd64"
# No JAVA_HOME, and a PATH without java: the runtime must come from the payload.
NO_JAVA = {"PATH": "/usr/sbin:/sbin", "JAVA_HOME": None}


class ExampleInstaller(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = d = harness.Scratch()
        cls.setup = d / "example-setup"
        cls.pack = harness.run(["--launcher", harness.LAUNCHER, "--jlink", "java.base", PAYLOAD, cls.setup],
                               program=harness.MKSETUP, env={"JAVA_HOME": JDK}, timeout=300)
        cls.batch = harness.Batch()
        if cls.pack.status != 0:
            return

        def scenario(key, args, **kwargs):
            # A copy each: the launcher lets one run of a file at a time.
            program = shutil.copy(cls.setup, d / ("setup-" + key))
            cls.batch.start(key, args + ["-tmpdir", d.mkdir("tmp-" + key)], program=program, env=NO_JAVA,
                            cwd=d.path, **kwargs)

        scenario("silent", ["-silent", d.write("state", "# answers\ninstallDir=%s\n" % (d / "silent"))])
        with open(d.write("typed", "relative\n%s\n" % (d / "console")), "rb") as typed:
            scenario("console", ["-console", "-savestate", d / "answers"], stdin=typed)

    @classmethod
    def tearDownClass(cls):
        cls.batch.finish_all()
        cls.dir.cleanup()

    def result(self, key):
        self.assertEqual(self.pack.status, 0, self.pack)
        r = self.batch.result(key)
        self.assertEqual(r.status, 0, r)
        self.assertEqual(os.listdir(self.dir / ("tmp-" + key)), [])
        return r

    def assertInstalled(self, target):
        # The application runs on the runtime installed beside it.
        r = harness.run([], program=target / "bin/hello", env={"PATH": "/usr/bin:/bin"})
        self.assertEqual(r.status, 0, r)
        lines = r.stdout.decode().splitlines()
        self.assertEqual(lines[0], "Hello from the bramlet example application.")
        self.assertRegex(lines[1], r"^It runs on Java 17.* from %s\.$" % re.escape(target / "runtime"))

    def test_silent_installation_with_the_bundled_runtime(self):
        out = self.result("silent").stdout.decode()
        # The runtime is the payload's, extracted into the working directory.
        runtime = r"(?m)^Example installer on Java 17.* from %s/.*/package/jre$" % re.escape(self.dir / "tmp-silent")
        self.assertEqual(len(re.findall(runtime, out)), 1, out)
        self.assertIn("Installed. Start the application with %s\n" % (self.dir / "silent/bin/hello"), out)
        self.assertInstalled(self.dir / "silent")

    def test_console_dialogue_and_saved_answers(self):
        r = self.result("console")
        self.assertIn("Installation directory [/opt/bramlet-example]: Please give an absolute path.\n"
                      "Installation directory [/opt/bramlet-example]: ", r.stdout.decode())
        self.assertInstalled(self.dir / "console")
        with open(self.dir / "answers") as f:
            self.assertIn("installDir=%s\n" % (self.dir / "console"), f.read())


if __name__ == "__main__":
    unittest.main()
