"""The uninstaller: the same launcher built with the uninstaller profile,
which runs bramlet_uninstall, names its lock file after "Uninstall", has its
own messages and takes -silent without a state file."""

import os
import unittest

import harness

USAGE = ("Usage: 'uninstall' [-options]\nwhere options include:\n"
         "    -console\n        run this application in a console\n"
         "    -silent \n        run this application silently \n"
         "    -javahome <JRE (1.4.1 or higher) installation directory>\n"
         "        force this application to use the specified \n"
         "        Java(TM) 2 Runtime Environment installation\n"
         "    -tmpdir <temporary directory>\n        put all temporary files in the specified directory\n"
         "    -h\n    -help\n        print this help message\n").encode()


class Uninstaller(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = d = harness.Scratch()
        cls.batch = harness.Batch()
        for key, args in (("silent", ["-silent"]), ("silent-console", ["-silent", "-console"]),
                          ("empty", ["-console"])):
            # The payload holds bramlet_uninstall.class (but for "empty") and the class path jar.
            files = {"bramlet_uninstall.class": b"\xca\xfe\xba\xbe uninstaller"} if key != "empty" else {}
            program = harness.installer(d / key / "uninstall", files=files, main_class=False,
                                        launcher=harness.UNINSTALLER)
            # The silent run's runtime waits until the lock file was looked at.
            java = harness.java(d / ("java-" + key), log=d / ("log-" + key), started=d / ("started-" + key),
                                wait=d / "go")
            cls.batch.start(key, args + ["-tmpdir", d.mkdir("tmp-" + key)], program=program, env={"JAVA_HOME": java})

    @classmethod
    def tearDownClass(cls):
        cls.batch.finish_all()
        cls.dir.cleanup()

    def test_lock_file_carries_the_uninstallers_title(self):
        harness.wait_for(self.dir / "started-silent")
        try:
            self.assertTrue(os.path.exists(harness.lock_path(self.dir / "silent/uninstall", "Uninstall")))
            second = harness.run(["-help"], program=self.dir / "silent/uninstall")
            self.assertEqual((second.status, second.stderr),
                             (1, b"Another uninstallation process is already running. Exiting.\n"))
        finally:
            self.dir.write("go", "")

    def test_missing_main_class_and_usage_that_lists_silent_without_a_file(self):
        r = self.batch.result("empty")
        self.assertEqual((r.status, r.stderr), (1, b"There are no files requiring uninstallation.\n"))
        self.assertEqual(harness.read_log(self.dir / "log-empty"), ["probe"])
        r = harness.run(["-help"], program=self.dir / "empty/uninstall")
        self.assertEqual((r.status, r.stderr, r.stdout), (0, USAGE, b""))

    def test_silent_needs_no_state_file_and_reads_the_next_argument_as_an_option(self):
        self.dir.write("go", "")
        for key, tail in (("silent", ["-nodisplay", "-noconsole"]),
                          ("silent-console", ["-nodisplay", "-nodisplay", "-noconsole"])):
            r = self.batch.result(key)
            self.assertEqual(r.status, 0, r)
            run = harness.java_run(self.dir / ("log-" + key))
            self.assertEqual(run["arg"][-len(tail) - 1:], ["bramlet_uninstall"] + tail)
            self.assertIn("-Djava.class.path={0}:{0}/package/PackageFormat.jar".format(run["cwd"]), run["arg"])


if __name__ == "__main__":
    unittest.main()
