"""The uninstaller: the same launcher built with the uninstaller profile,
which runs bramlet_uninstall, names its lock file after "Uninstall", has its
own messages and takes -silent without a state file."""

import os
import signal
import unittest

import harness

UNINSTALLER = os.environ.get("BRAMLET_UNINSTALLER", "")
USAGE = ("Usage: 'uninstall' [-options]\nwhere options include:\n"
         "    -console\n        run this application in a console\n"
         "    -silent \n        run this application silently \n"
         "    -javahome <JRE (1.4.1 or higher) installation directory>\n"
         "        force this application to use the specified \n"
         "        Java(TM) 2 Runtime Environment installation\n"
         "    -tmpdir <temporary directory>\n        put all temporary files in the specified directory\n"
         "    -h\n    -help\n        print this help message\n").encode()
ALREADY = b"Another uninstallation process is already running. Exiting.\n"


def uninstaller(out, main_class=True):
    """An uninstaller whose payload holds bramlet_uninstall.class (unless
    left out) and the class path jar."""
    files = {"bramlet_uninstall.class": b"\xca\xfe\xba\xbe uninstaller"} if main_class else {}
    return harness.installer(out, files=files, main_class=False, launcher=UNINSTALLER)


def lock_path(program, title):
    st = os.stat(program)
    return "/var/tmp//%s.%d.%d.%d" % (title, st.st_dev, st.st_ino, os.geteuid())


class UninstallerRuns(unittest.TestCase):
    """Runs that reach the Java program, started together."""

    @classmethod
    def setUpClass(cls):
        cls.dir = d = harness.Scratch()
        cls.batch = harness.Batch()
        for key, args in (("silent", ["-silent"]), ("silent-console", ["-silent", "-console"])):
            java = harness.fake_java(d / ("java-" + key), record=d / ("rec-" + key))
            program = uninstaller(d / key / "uninstall")
            cls.batch.start(key, args + ["-tmpdir", d.mkdir("tmp-" + key)], program=program, env={"JAVA_HOME": java})

    @classmethod
    def tearDownClass(cls):
        cls.batch.finish_all()
        cls.dir.cleanup()

    def java_arguments(self, key):
        r = self.batch.result(key)
        self.assertEqual(r.status, 0, r)
        record = harness.read_record(self.dir / ("rec-" + key))
        self.assertIsNotNone(record, "the runtime was not started")
        return record["argv"]

    def test_silent_needs_no_state_file(self):
        argv = self.java_arguments("silent")
        self.assertEqual(argv[-3:], ["bramlet_uninstall", "-nodisplay", "-noconsole"])
        classpath = [a for a in argv if a.startswith("-Djava.class.path=")]
        self.assertEqual(len(classpath), 1, argv)
        home, jar = classpath[0][len("-Djava.class.path="):].split(":")
        self.assertEqual(jar, home + "/package/PackageFormat.jar")

    def test_the_argument_after_silent_is_read_as_an_option(self):
        argv = self.java_arguments("silent-console")
        self.assertEqual(argv[-4:], ["bramlet_uninstall", "-nodisplay", "-nodisplay", "-noconsole"])


class UninstallerTexts(unittest.TestCase):
    def setUp(self):
        self.dir = harness.Scratch()
        self.addCleanup(self.dir.cleanup)
        self.program = uninstaller(self.dir / "uninstall")

    def test_usage_lists_silent_without_a_file(self):
        r = harness.run(["-help"], program=self.program)
        self.assertEqual((r.status, r.stderr, r.stdout), (0, USAGE, b""))
        r = harness.run(["-console", "-bogus"], program=self.program)
        self.assertEqual(r.status, 1)
        self.assertEqual(r.stderr, b"Error: '-bogus' is not a valid argument.\n" + USAGE)

    def test_missing_main_class(self):
        program = uninstaller(self.dir / "empty" / "uninstall", main_class=False)
        java = harness.fake_java(self.dir / "java", record=self.dir / "rec")
        r = harness.run(["-console", "-tmpdir", self.dir.mkdir("tmp")], program=program, env={"JAVA_HOME": java})
        self.assertEqual(r.status, 1, r)
        self.assertEqual(r.stderr, b"There are no files requiring uninstallation.\n")
        self.assertIsNone(harness.read_record(self.dir / "rec"))

    def test_lock_file_carries_the_uninstallers_title(self):
        started = self.dir / "started"
        java = harness.fake_java(self.dir / "java", sleep=60, started=started)
        first = harness.start(["-console", "-tmpdir", self.dir.mkdir("tmp")], program=self.program,
                              env={"JAVA_HOME": java})
        self.addCleanup(harness.kill_group, first)
        harness.wait_for(started)
        self.assertTrue(os.path.exists(lock_path(self.program, "Uninstall")))
        second = harness.run(["-help"], program=self.program)
        self.assertEqual((second.status, second.stderr), (1, ALREADY))
        # An installer of the same file name elsewhere has a lock of its own.
        setup = harness.installer(self.dir / "other" / "uninstall")
        self.assertEqual(harness.run(["-help"], program=setup).status, 0)
        first.send_signal(signal.SIGTERM)
        self.assertEqual(harness.finish(first).returncode, 255)
        os.unlink(lock_path(self.program, "Uninstall"))


if __name__ == "__main__":
    unittest.main()
