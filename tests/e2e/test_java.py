"""The example installer of examples/ on real Java runtimes of the target:
packed with a runtime that mksetup --jlink makes of the target JDK's modules
(with the build machine's jlink in a cross build) and run where the host has
no Java at all, and packed alone and run on a JDK found through PATH."""

import os
import re
import shutil
import unittest

import harness

PAYLOAD = os.environ.get("BRAMLET_EXAMPLE_PAYLOAD", "")
JDK = harness.JDK
# No JAVA_HOME, and a PATH without java: the runtime must come from the payload.
NO_JAVA = {"JAVA_HOME": None}


class ExampleInstaller(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = d = harness.Scratch()
        cls.batch = harness.Batch()
        for name, options in (("bundled", ["--jlink", "java.base", "--jdk", JDK]), ("alone", [])):
            cls.pack = harness.run(["--launcher", harness.LAUNCHER] + options + [PAYLOAD, d / name],
                                   program=harness.MKSETUP, env={"JAVA_HOME": harness.JLINK_HOME}, timeout=300)
            if cls.pack.status != 0:
                return
            if options:
                cls.jlinked = cls.pack.stdout.decode()

        def scenario(key, setup, args, env=NO_JAVA, **kwargs):
            # A copy each: the launcher lets one run of a file at a time.
            program = shutil.copy(d / setup, d / ("setup-" + key))
            cls.batch.start(key, args + ["-tmpdir", d.mkdir("tmp-" + key)], program=program, env=env, cwd=d.path,
                            **kwargs)

        scenario("silent", "bundled", ["-silent", d.write("state", "installDir=%s\n" % (d / "silent"))])
        # A JDK of the target found as distributions install one, through
        # links such as /usr/bin/java -> /etc/alternatives/java -> the JDK's,
        # and no other.
        os.symlink(JDK + "/bin/java", d / "alternative")
        os.symlink(d / "alternative", d.mkdir("bin") / "java")
        scenario("jdk", "alone", ["-silent", d.write("state-jdk", "installDir=%s\n" % (d / "jdk"))],
                 env={"PATH": d / "bin"})
        with open(d.write("typed", "relative\n%s\n" % (d / "console")), "rb") as typed:
            scenario("console", "bundled", ["-console", "-savestate", d / "answers"], stdin=typed)

    @classmethod
    def tearDownClass(cls):
        cls.batch.finish_all()
        cls.dir.cleanup()

    def result(self, key):
        self.assertEqual(self.pack.status, 0, self.pack)
        r = self.batch.result(key)
        self.assertEqual(r.status, 0, r)
        self.assertEqual(os.listdir(self.dir / ("tmp-" + key)), [])
        # The application runs on the runtime installed beside it.
        app = harness.run([], program=self.dir / key / "bin/hello", env={"PATH": harness.TOOLS_PATH})
        self.assertEqual(app.stdout.decode().splitlines()[0], "Hello from the bramlet example application.")
        return r.stdout.decode()

    def test_silently_on_the_bundled_runtime_and_on_the_hosts_jdk(self):
        runtime = r"(?m)^Example installer on Java 17.* from %s/.*/package/jre$" % re.escape(self.dir / "tmp-silent")
        self.assertEqual(len(re.findall(runtime, self.result("silent"))), 1)
        self.assertIn("Example installer on Java 17", self.result("jdk"))
        self.assertIn(" from %s\n" % JDK, self.result("jdk"))

    def test_mksetup_says_what_it_does_and_made(self):
        self.assertRegex(self.jlinked, r"^mksetup: making a runtime of java.base with jlink\nmksetup: made %s: "
                         r"\d+ entries, \d+ bytes, for %s, with a runtime of java.base made by jlink\n$"
                         % (self.dir / "bundled", harness.ARCH))

    def test_console_dialogue_and_saved_answers(self):
        self.assertIn("Installation directory [/opt/bramlet-example]: Please give an absolute path.\n"
                      "Installation directory [/opt/bramlet-example]: ", self.result("console"))
        with open(self.dir / "answers") as f:
            self.assertIn("installDir=%s\n" % (self.dir / "console"), f.read())


if __name__ == "__main__":
    unittest.main()
