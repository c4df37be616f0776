"""The launcher from its command line to the installer's exit status, in
console and silent mode, with a runtime stand-in that records its calls."""

import os
import subprocess
import unittest

import harness

EN = {
    "disk": "Checking available disk space...\n",
    "java": "Checking Java(TM) 2 Runtime Environment...\n",
    "jre": "Extracting Java(TM) 2 Runtime Environment files...\n",
    "unzip": "Extracting installation files...\n",
    "exec": "Launching Java(TM) 2 Runtime Environment...\n",
    "cleanup": "Deleting temporary files...\n",
}

USAGE = ("Usage: 'setup' [-options]\nwhere options include:\n    -console\n        run this application in a console\n"
         "    -silent <state file>\n        run this application silently using input from the specified file\n"
         "    -savestate <state file>\n        log state information in the specified file\n"
         "    -javahome <JRE (1.4.1 or higher) installation directory>\n"
         "        force this application to use the specified \n"
         "        Java(TM) 2 Runtime Environment installation\n"
         "    -tmpdir <temporary directory>\n        put all temporary files in the specified directory\n"
         "    -id\n        print WizardID value to standard output\n    -h\n    -help\n"
         "        print this help message\n")


class LauncherRuns(unittest.TestCase):
    """Scenarios that reach the Java program, started together."""

    @classmethod
    def setUpClass(cls):
        cls.dir = d = harness.Scratch()
        cls.batch = harness.Batch()
        cls.java = harness.fake_java(d / "java8", record=d / "rec-default.json")

        def scenario(key, args, env=None, cwd=None, status=0, files=None, java=None, version='java version "1.8.0_91"'):
            tmp = d.mkdir("tmp-" + key)
            home = java or harness.fake_java(d / ("java-" + key), version_line=version, status=status,
                                             record=d / ("rec-" + key + ".json"))
            setup = harness.installer(d / key / "setup", files=files)
            full_env = {"JAVA_HOME": home}
            full_env.update(env or {})
            cls.batch.start(key, [a.replace("@TMP", tmp) for a in args], program=setup, env=full_env,
                            cwd=cwd or d.path)
            return tmp

        cls.tmp = {}
        cls.tmp["plain"] = scenario("plain", ["-console", "-tmpdir", "@TMP"],
                                    files={"package/lib/x.so": "x", "package/données/é.txt": "é"})
        cls.tmp["flags"] = scenario("flags", ["-passwordvisible", "-console", "-nodomain", "-tmpdir", "@TMP",
                                              "-noportcheck", "-debug"])
        cls.tmp["silent"] = scenario("silent", ["-console", "-silent", "f", "-tmpdir", "@TMP"])
        cls.tmp["savestate"] = scenario("savestate", ["-silent", "f", "-savestate", "g", "-id", "-id",
                                                      "-tmpdir", "@TMP"])
        cls.tmp["status"] = scenario("status", ["-console", "-tmpdir", "@TMP"], status=42)
        # -javahome names a runtime relative to the current directory.
        harness.fake_java(d / "cwd-javahome/jdk", record=d / "rec-javahome.json")
        cls.tmp["javahome"] = scenario("javahome", ["-console", "-javahome", "jdk", "-tmpdir", "@TMP"],
                                       cwd=d / "cwd-javahome", env={"JAVA_HOME": None})
        # An unsupported -javahome runtime is passed over for the public one.
        harness.fake_java(d / "old", version_line='java version "1.3.1_09"', record=d / "rec-old.json")
        cls.tmp["unsupported"] = scenario("unsupported", ["-console", "-javahome", d / "old", "-tmpdir", "@TMP"])
        # A relative -tmpdir still names the directory after the change into the working directory.
        d.mkdir("cwd-reltmp/rel")
        scenario("reltmp", ["-console", "-tmpdir", "rel"], cwd=d / "cwd-reltmp")
        # The upgrade script: run (and removed) for status 10 only.
        cls.tmp["upgrade"] = scenario("upgrade", ["-console", "-tmpdir", "@TMP"], status=10)
        cls.tmp["noupgrade"] = scenario("noupgrade", ["-console", "-tmpdir", "@TMP"], status=11)
        for key in ("upgrade", "noupgrade"):
            script = os.path.join(cls.tmp[key], "UpgradeInvoker.sh")
            with open(script, "w") as f:
                f.write("#!/bin/sh\n/usr/bin/env > %s\nexit 3\n" % (d / ("upgrade-ran-" + key)))
            os.chmod(script, 0o755)

    @classmethod
    def tearDownClass(cls):
        cls.batch.finish_all()
        cls.dir.cleanup()

    def record(self, key):
        rec = harness.read_record(self.dir / ("rec-" + key + ".json"))
        self.assertIsNotNone(rec, "the runtime was not started")
        return rec

    def assertCleanedUp(self, tmp):
        self.assertEqual(os.listdir(tmp), [])

    def test_plain_console_run(self):
        r = self.batch.result("plain")
        self.assertEqual(r.status, 0, r)
        self.assertEqual(r.stdout.decode(), EN["disk"] + EN["java"] + EN["jre"] + EN["unzip"] + EN["exec"]
                         + EN["cleanup"])
        self.assertEqual(r.stderr, b"")
        rec = self.record("plain")
        wd = rec["cwd"]
        tmp = self.tmp["plain"]
        self.assertEqual(os.path.dirname(wd), tmp)
        self.assertTrue(os.path.basename(wd).startswith("setup"))
        self.assertEqual(rec["argv"], [
            self.dir / "java-plain/bin/java", "-Djava.awt.headless=true", "-Djava.io.tmpdir=" + wd,
            "-Dtemp.dir=" + tmp, "-Djava.class.path=%s:%s/package/PackageFormat.jar" % (wd, wd),
            "-Djava.endorsed.dirs=", "-Xmx256m", "bramlet", "-nodisplay"])
        self.assertEqual(rec["env"]["LD_LIBRARY_PATH"], wd + "/package")
        self.assertEqual(rec["env"]["JAVA_HOME"], self.dir / "java-plain")
        # Names in UTF-8 under the C locale.
        self.assertEqual(rec["files"], ["bramlet.class", "package", "package/PackageFormat.jar",
                                        "package/données", "package/données/é.txt", "package/lib",
                                        "package/lib/x.so"])
        self.assertCleanedUp(tmp)

    def test_flags_follow_the_heap_limit_in_a_fixed_order(self):
        r = self.batch.result("flags")
        self.assertEqual(r.status, 0, r)
        argv = self.record("flags")["argv"]
        i = argv.index("-Xmx256m")
        self.assertEqual(argv[i + 1:], ["-Ddebug=true", "-Dno.port.verification=true", "-Dno.domain=true",
                                        "-Dpassword.visible=true", "bramlet", "-nodisplay"])

    def test_console_and_silent_wizard_arguments(self):
        self.assertEqual(self.batch.result("silent").status, 0)
        argv = self.record("silent")["argv"]
        self.assertEqual(argv[1:3], ["-Djava.awt.headless=true"] * 2)
        self.assertEqual(argv[argv.index("bramlet"):],
                         ["bramlet", "-nodisplay", "-nodisplay", "-noconsole", "-state", self.dir / "f"])

    def test_savestate_and_id(self):
        r = self.batch.result("savestate")
        self.assertEqual(r.status, 0, r)
        # Silent mode prints its progress on the console too.
        self.assertIn(EN["exec"], r.stdout.decode())
        argv = self.record("savestate")["argv"]
        g = self.dir / "g"
        self.assertEqual(argv[argv.index("bramlet"):],
                         ["bramlet", "-nodisplay", "-noconsole", "-state", g, "-saveState", g, "-id"])

    def test_exit_status_is_passed_on(self):
        r = self.batch.result("status")
        self.assertEqual(r.status, 42, r)
        self.assertCleanedUp(self.tmp["status"])

    def test_relative_javahome(self):
        r = self.batch.result("javahome")
        self.assertEqual(r.status, 0, r)
        self.assertEqual(self.record("javahome")["argv"][0], self.dir / "cwd-javahome/jdk/bin/java")

    def test_unsupported_javahome_is_passed_over_silently(self):
        r = self.batch.result("unsupported")
        self.assertEqual((r.status, r.stderr), (0, b""), r)
        self.assertEqual(self.record("unsupported")["argv"][0], self.dir / "java-unsupported/bin/java")
        self.assertIsNone(harness.read_record(self.dir / "rec-old.json"))

    def test_relative_tmpdir_is_used_in_its_absolute_form(self):
        r = self.batch.result("reltmp")
        self.assertEqual(r.status, 0, r)
        rec = self.record("reltmp")
        rel = self.dir / "cwd-reltmp/rel"
        self.assertIn("-Dtemp.dir=" + rel, rec["argv"])
        self.assertEqual(os.path.dirname(rec["cwd"]), rel)
        self.assertCleanedUp(rel)

    def test_status_10_runs_and_removes_the_upgrade_script(self):
        r = self.batch.result("upgrade")
        self.assertEqual(r.status, 10, r)
        with open(self.dir / "upgrade-ran-upgrade") as f:
            env = f.read()
        # Started directly, with an empty environment (env may add nothing but PWD).
        self.assertNotIn("PATH=", env)
        self.assertNotIn("JAVA_HOME=", env)
        self.assertCleanedUp(self.tmp["upgrade"])

    def test_other_statuses_leave_the_upgrade_script(self):
        r = self.batch.result("noupgrade")
        self.assertEqual(r.status, 11, r)
        self.assertFalse(os.path.exists(self.dir / "upgrade-ran-noupgrade"))
        self.assertEqual(os.listdir(self.tmp["noupgrade"]), ["UpgradeInvoker.sh"])


class LauncherFailures(unittest.TestCase):
    """Runs that end before the Java program, each with its message."""

    def setUp(self):
        self.dir = harness.Scratch()
        self.addCleanup(self.dir.cleanup)
        self.tmp = self.dir.mkdir("tmp")
        self.setup = harness.installer(self.dir / "setup")

    def run_setup(self, args, program=None, **kwargs):
        return harness.run(args, program=program or self.setup, **kwargs)

    def test_help_prints_the_usage_and_creates_nothing(self):
        for args in (["-console", "-tmpdir", self.tmp, "-help", "-bogus"], ["-h"]):
            r = self.run_setup(args)
            self.assertEqual((r.status, r.stdout, r.stderr.decode()), (0, b"", USAGE))
        self.assertEqual(os.listdir(self.tmp), [])

    def test_bad_options_end_with_status_1_their_message_and_the_usage(self):
        nope = self.dir / "nope"
        read_only = self.dir.mkdir("read-only", 0o555)
        for args, message, unprivileged in (
                (["-console", "-frobnicate"], "'-frobnicate' is not a valid argument.", False),
                (["-Console"], "'-Console' is not a valid argument.", False),
                (["-console", "-savestate"], "'-savestate' must be followed by a file name.", False),
                (["-silent"], "'-silent' must be followed by a file name.", False),
                (["-javahome"], "'-javahome' must be followed by a Java(TM) installation directory.", False),
                (["-tmpdir"], "'-tmpdir' must be followed by a writable directory.", False),
                (["-tmpdir", nope], "'%s' is not a writable directory." % nope, False),
                # Root may write anywhere; the real user is asked.
                (["-tmpdir", read_only], "'%s' is not a writable directory." % read_only, True)):
            r = self.run_setup(args, unprivileged=unprivileged)
            self.assertEqual((r.status, r.stdout, r.stderr.decode()), (1, b"", "Error: %s\n" % message + USAGE),
                             args)

    def test_no_runtime_anywhere(self):
        r = self.run_setup(["-console", "-tmpdir", self.tmp])
        self.assertEqual(r.status, 1)
        self.assertEqual(r.stdout.decode(), EN["disk"] + EN["java"] + EN["jre"])
        self.assertEqual(r.stderr.decode(),
                         "Error: Could not find the required version of the Java(TM) 2 Runtime Environment.\n"
                         "This application needs version 1.4.1 or higher of the Java(TM) 2 Runtime\n"
                         "Environment. If the required Java(TM) 2 Runtime Environment is not installed,\n"
                         "you can download it from the following website:\n    https://adoptium.net/\n"
                         "Or if you already have the required Java(TM) 2 Runtime Environment\n"
                         "installed, try rerunning this application with the following usage:\n"
                         "    'setup' -javahome <Java(TM) installation directory>\n")

    def test_no_runtime_in_the_given_javahome(self):
        harness.fake_java(self.dir / "old", version_line='java version "1.3.1"')
        r = self.run_setup(["-console", "-tmpdir", self.tmp, "-javahome", self.dir / "old"])
        self.assertEqual(r.status, 1)
        self.assertTrue(r.stderr.decode().startswith(
            "Error: Could not find the required version of the Java(TM) 2 Runtime Environment in '%s'.\n"
            "This application needs" % (self.dir / "old")))

    def test_a_launcher_without_payload_runs_the_files_beside_it(self):
        plain = harness.copy_launcher(self.dir / "kit/setup")
        self.dir.write("kit/bramlet.class", "x")
        harness.fake_java(self.dir / "java", record=self.dir / "rec.json")
        r = self.run_setup(["-console", "-tmpdir", self.tmp], program=plain, env={"JAVA_HOME": self.dir / "java"},
                           timeout=60)
        self.assertEqual(r.status, 0, r)
        self.assertNotIn(EN["unzip"], r.stdout.decode())
        rec = harness.read_record(self.dir / "rec.json")
        home = "/" + self.dir / "kit"  # the executable's path as found: "//..."
        self.assertIn("-Djava.class.path=%s:%s/package/PackageFormat.jar" % (home, home), rec["argv"])
        self.assertEqual(rec["cwd"], self.dir / "kit")
        self.assertEqual(os.listdir(self.tmp), [])

    def test_a_damaged_payload_is_reported_and_left_for_inspection(self):
        setup = harness.installer(self.dir / "damaged", files={"package/data.bin": b"A" * 5000}, store=True)
        with open(setup, "r+b") as f:
            data = f.read()
            at = data.rindex(b"A" * 5000) + 2500
            f.seek(at)
            f.write(b"B")
        harness.fake_java(self.dir / "java")
        r = self.run_setup(["-console", "-tmpdir", self.tmp], program=setup, env={"JAVA_HOME": self.dir / "java"})
        self.assertEqual(r.status, 1)
        self.assertEqual(r.stderr.decode(), "Error: The '/%s' file appears to be corrupted.\n" % setup)
        self.assertEqual(len(os.listdir(self.tmp)), 1)

    def test_missing_main_class(self):
        setup = harness.installer(self.dir / "empty", main_class=False)
        harness.fake_java(self.dir / "java", record=self.dir / "rec.json")
        r = self.run_setup(["-console", "-tmpdir", self.tmp], program=setup, env={"JAVA_HOME": self.dir / "java"})
        self.assertEqual(r.status, 1)
        self.assertEqual(r.stderr, b"Error: There are no files requiring installation.\n")
        self.assertIsNone(harness.read_record(self.dir / "rec.json"))

    def test_unusable_default_temporary_directory(self):
        locked = self.dir.mkdir("locked", 0o555)
        script = ("mount --bind %s /var/tmp && exec setpriv --reuid=65534 --regid=65534 --clear-groups %s -console"
                  % (locked, self.setup))
        r = harness.run(["-m", "/bin/sh", "-c", script], program="/usr/bin/unshare")
        self.assertEqual(r.status, 1, r)
        self.assertEqual(r.stderr.decode(),
                         "Error: The '/var/tmp/' temporary directory is not a writable directory.\n"
                         "Try rerunning this application with the following usage:\n"
                         "    'setup' -tmpdir <temporary directory>\n")


class FreeSpace(unittest.TestCase):
    """The room check against a small tmpfs: payload + 100000 bytes must fit."""

    def setUp(self):
        self.dir = harness.Scratch()
        self.addCleanup(self.dir.cleanup)
        self.mnt = self.dir.mkdir("mnt")
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m,mode=0755", "tmpfs", self.mnt], check=True)
        self.addCleanup(subprocess.run, ["umount", "-l", self.mnt])
        st = os.statvfs(self.mnt)
        self.available = st.f_frsize * st.f_bavail
        harness.fake_java(self.dir / "java")

    def run_with_payload(self, size):
        setup = harness.installer(self.dir / ("setup-%d" % size), main_class=False, jar=False,
                                  files={"big.bin": b"\0" * size})
        return harness.run(["-console", "-tmpdir", self.mnt], program=setup, env={"JAVA_HOME": self.dir / "java"})

    def test_equal_passes_and_one_byte_short_fails(self):
        exact = self.available - 100000
        r = self.run_with_payload(exact + 1)
        self.assertEqual(r.status, 1)
        self.assertEqual(r.stderr.decode(),
                         "\nError: There is not enough free disk space in the '%s' temporary directory.\n"
                         "%d bytes are required and only %d bytes are available.\n"
                         "Try rerunning this application with the following usage:\n"
                         "    'setup-%d' -tmpdir <temporary directory>\n"
                         % (self.mnt, self.available + 1, self.available, exact + 1))
        # The check passed when the run gets as far as the missing main class.
        for entry in os.listdir(self.mnt):
            subprocess.run(["rm", "-rf", os.path.join(self.mnt, entry)])
        r = self.run_with_payload(exact)
        self.assertEqual(r.stderr, b"Error: There are no files requiring installation.\n", r)


if __name__ == "__main__":
    unittest.main()
