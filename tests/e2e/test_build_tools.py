"""Installers that mksetup --app makes of applications as Maven and Gradle
lay them out (build_tools.py): every jar of the application on the class
path, the build's own start scripts left out for the kit's, and Gradle's
default JVM options given as --java-options instead."""

import os
import unittest

import build_tools
import harness
import kit_support

GREETING = "-Dgreeting=hi there, 'friend'"


class BuildTools(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = harness.Scratch()

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def install(self, key, app, options=()):
        """Makes an installer of app as the README says, installs it silently
        into its own directory and returns that directory."""
        d = self.dir
        setup = d / ("setup-" + key)
        r = harness.run(["--app", app, "--name", "hello", "--version", "1.0", "--main-jar", "lib/hello.jar",
                         "--runtime", kit_support.RUNTIME, "--launcher", harness.LAUNCHER,
                         "--uninstaller", harness.UNINSTALLER, "--level", "1"] + list(options) + [setup],
                        program=harness.MKSETUP, timeout=300)
        self.assertEqual(r.status, 0, r)
        target = d / ("installed-" + key)
        state = d.write("state-" + key, "installDir=%s\nlicenseAccepted=true\n" % target)
        r = harness.run(["-silent", state, "-tmpdir", d.mkdir("tmp-" + key)], program=setup,
                        env={"JAVA_HOME": None, "XDG_DATA_DIRS": d / ("xdg-" + key)})
        self.assertEqual(r.status, 0, r)
        # The kit's start script and its class path jar; nothing of the build's bin/.
        self.assertEqual(sorted(os.listdir(target / "bin")), ["hello", "hello.jar"])
        self.assertEqual(sorted(os.listdir(target / "lib")), ["commons-lang3-3.12.0.jar", "hello.jar"])
        return target

    def assertGreets(self, script, greeting, env=None):
        r = harness.run([], program=script, env=dict({"PATH": harness.TOOLS_PATH, "JAVA_HOME": None}, **(env or {})))
        self.assertEqual((r.status, r.stdout.decode(), r.stderr), (0, greeting + "\n", b""), script)

    def test_maven(self):
        app = build_tools.maven_app(self.dir.mkdir("maven"))
        self.assertGreets(self.install("maven", app) / "bin/hello", "No greeting")

    def test_gradle_install_dist(self):
        app = build_tools.gradle_install_dist(self.dir.mkdir("gradle"), [GREETING, "-Xmx64m"])
        # The layout as a build leaves it runs on a JDK, its options quoted as Gradle quotes them.
        self.assertGreets(app / "bin/hello", "Hi there, 'friend'", env={"JAVA_HOME": harness.JLINK_HOME})
        target = self.install("gradle", app, ["--java-options", GREETING, "--java-options", "-Xmx64m"])
        self.assertGreets(target / "bin/hello", "Hi there, 'friend'")


if __name__ == "__main__":
    unittest.main()
