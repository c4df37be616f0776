"""The launcher from its command line to the installer's exit status, in
console and silent mode, with a runtime stand-in that logs its calls."""

import os
import re
import socket
import stat
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

NO_JAVA_USAGE = ("This application needs version 1.4.1 or higher of the Java(TM) 2 Runtime\n"
                 "Environment. If the required Java(TM) 2 Runtime Environment is not installed,\n"
                 "you can download it from the following website:\n    https://adoptium.net/\n"
                 "Or if you already have the required Java(TM) 2 Runtime Environment\n"
                 "installed, try rerunning this application with the following usage:\n"
                 "    'setup' -javahome <Java(TM) installation directory>\n")


class LauncherRuns(unittest.TestCase):
    """Scenarios that reach the Java program, started together."""

    @classmethod
    def setUpClass(cls):
        cls.dir = d = harness.Scratch()
        cls.batch = harness.Batch()
        cls.tmp = {}

        def scenario(key, args, env=None, cwd=None, files=None, name="setup", argv0=None, **java):
            cls.tmp[key] = tmp = d.mkdir("tmp-" + key)
            home = harness.java(d / ("java-" + key), log=d / ("log-" + key), **java)
            setup = harness.installer(d / key / name, files=files)
            cls.batch.start(key, [tmp if a == "@TMP" else a for a in args], program=setup, argv0=argv0,
                            env=dict({"JAVA_HOME": home}, **(env or {})), cwd=cwd or d.path)

        scenario("plain", ["-console", "-tmpdir", "@TMP"],
                 files={"package/lib/x.so": "x", "package/données/é.txt": "é"})
        scenario("flags", ["-passwordvisible", "-console", "-nodomain", "-tmpdir", "@TMP", "-noportcheck", "-debug"],
                 env={"LD_LIBRARY_PATH": ""})
        scenario("silent", ["-console", "-silent", "f", "-tmpdir", "@TMP"])
        scenario("savestate", ["-silent", "f", "-savestate", "g", "-id", "-id", "-tmpdir", "@TMP"])
        # An empty state file name is a name relative to the current directory.
        scenario("emptystate", ["-silent", "", "-tmpdir", "@TMP"])
        scenario("status", ["-console", "-tmpdir", "@TMP"], exit=42, env={"LD_LIBRARY_PATH": "/usr/lib:"})
        # A development kit's own jars lead the class path.
        scenario("kit", ["-console", "-javahome", d / "java-kit", "-tmpdir", "@TMP"], layout="jre")
        d.write("java-kit/lib/tools.jar", "")
        # -javahome names a runtime relative to the current directory.
        harness.java(d / "cwd-javahome/jdk", log=d / "log-javahome")
        scenario("javahome", ["-console", "-javahome", "jdk", "-tmpdir", "@TMP"], cwd=d / "cwd-javahome",
                 env={"JAVA_HOME": None})
        # An unsupported -javahome runtime is passed over for the public one.
        harness.java(d / "old", version='java version "1.3.1_09"', log=d / "log-old")
        scenario("unsupported", ["-console", "-javahome", d / "old", "-tmpdir", "@TMP"])
        # A ":" in the program's name stays out of the path lists; so does an
        # installer stored below a name in another encoding.
        scenario("colon", ["-console", "-tmpdir", "@TMP"], name="se:tup")
        scenario("encoding", ["-console", "-tmpdir", "@TMP"], name="voil\xe0/setup", env={"LANG": "ja_JP.eucJP"})
        scenario("utf8", ["-console", "-tmpdir", "@TMP"], name="\u65e5\u672c/setup", env={"LANG": "ja_JP.UTF-8"})
        # A relative JAVA_HOME is the one probed and run, not the payload's
        # jre/ of the same name after the change into the working directory.
        harness.java(d / "cwd-relhome/jre", log=d / "log-relhome")
        scenario("relhome", ["-console", "-tmpdir", "@TMP"], cwd=d / "cwd-relhome", env={"JAVA_HOME": "jre"},
                 files={"jre/bin/java": "#!/bin/sh\ntouch %s\n" % (d / "payload-java-ran"),
                        "jre/lib/%s/libjava.so" % harness.ARCH: ""})
        # A relative -tmpdir still names the directory after the change into the working directory.
        d.mkdir("cwd-reltmp/rel")
        scenario("reltmp", ["-console", "-tmpdir", "rel"], cwd=d / "cwd-reltmp")
        # The upgrade script, in place before the runs start: run (and removed) for status 10 only.
        for key in ("upgrade", "noupgrade", "linked"):
            d.write("tmp-%s/UpgradeInvoker.sh" % key, "#!/bin/sh\n{ /usr/bin/env; echo \"0=$0\"; } > %s\n"
                    "exit 3\n" % (d / ("upgrade-ran-" + key)), mode=0o755)
        # A script with a second name is not beyond doubt the launcher's own.
        os.link(d / "tmp-linked/UpgradeInvoker.sh", d / "second-name")
        scenario("upgrade", ["-console", "-tmpdir", "@TMP"], exit=10)
        scenario("noupgrade", ["-console", "-tmpdir", "@TMP"], exit=11)
        scenario("linked", ["-console", "-tmpdir", "@TMP"], exit=10)
        # A name as long as a file's name may be, in Japanese (84 characters of 3 bytes).
        scenario("longname", ["-console", "-tmpdir", "@TMP"], name="\u3042" * 84, env={"LANG": "ja_JP.UTF-8"})
        # A sticky directory of root's, like /tmp, is a temporary directory.
        scenario("sticky", ["-console", "-tmpdir", "@TMP"])
        os.chmod(cls.tmp["sticky"], 0o1777)
        # Started by its bare name: earlier on PATH, a FIFO, a socket or a
        # device (through a link) of the installer's name, with an installer
        # class beside it, is no program; the installer is found after it.
        for kind in ("fifo", "socket", "device"):
            special = d.mkdir("special-" + kind) / "setup"
            if kind == "fifo":
                os.mkfifo(special)
            elif kind == "socket":
                with socket.socket(socket.AF_UNIX) as s:
                    s.bind(special)
            else:
                os.mknod(d / "special-device/null", stat.S_IFCHR | 0o755, os.makedev(1, 3))
                os.symlink("null", special)
            os.chmod(special, 0o755)
            d.write("special-%s/bramlet.class" % kind, "planted")
            scenario(kind, ["-console", "-tmpdir", "@TMP"], argv0="setup",
                     env={"PATH": "%s:%s" % (d / ("special-" + kind), d / kind)})
        # With only those on PATH, it can't find its own file.
        scenario("unresolved", ["-console", "-tmpdir", "@TMP"], argv0="setup",
                 env={"PATH": ":".join(d / ("special-" + kind) for kind in ("fifo", "socket", "device"))})
        # A payload 1,500 levels deep goes with the cleanup whatever the limit of open files.
        cls.tmp["deep"] = d.mkdir("tmp-deep")
        deep = harness.installer(d / "deep/setup", files={"d/" * 1500 + "f": "x"})
        cls.batch.start("deep", ["-c", 'ulimit -n 64 && exec "$0" -console -tmpdir "$1"', deep, cls.tmp["deep"]],
                        program="/bin/sh", env={"JAVA_HOME": harness.java(d / "java-deep")})

    @classmethod
    def tearDownClass(cls):
        cls.batch.finish_all()
        cls.dir.cleanup()

    def java_run(self, key):
        return harness.java_run(self.dir / ("log-" + key))

    def wizard_args(self, key):
        args = self.java_run(key)["arg"]
        return args[args.index("bramlet") + 1:]

    def test_plain_console_run(self):
        r = self.batch.result("plain")
        self.assertEqual((r.status, r.stderr), (0, b""), r)
        self.assertEqual(r.stdout.decode(), EN["disk"] + EN["java"] + EN["jre"] + EN["unzip"] + EN["exec"]
                         + EN["cleanup"])
        run = self.java_run("plain")
        wd, tmp = run["cwd"], self.tmp["plain"]
        self.assertEqual(os.path.dirname(wd), tmp)
        self.assertTrue(os.path.basename(wd).startswith("setup"))
        self.assertEqual(run["arg"], [
            self.dir / "java-plain/bin/java", "-Djava.awt.headless=true", "-Djava.io.tmpdir=" + wd,
            "-Dtemp.dir=" + tmp, "-Djava.class.path=%s:%s/package/PackageFormat.jar" % (wd, wd),
            "-Djava.endorsed.dirs=", "-Xmx256m", "bramlet", "-nodisplay"])
        self.assertEqual(run["env"]["LD_LIBRARY_PATH"], wd + "/package")
        self.assertEqual(run["env"]["JAVA_HOME"], self.dir / "java-plain")
        # Names in UTF-8 under the C locale.
        self.assertEqual(sorted(run["file"]), ["bramlet.class", "package", "package/PackageFormat.jar",
                                               "package/données", "package/données/é.txt", "package/lib",
                                               "package/lib/x.so"])
        self.assertEqual(os.listdir(tmp), [])

    def test_flags_follow_the_heap_limit_in_a_fixed_order(self):
        self.assertEqual(self.batch.result("flags").status, 0)
        args = self.java_run("flags")["arg"]
        self.assertEqual(args[args.index("-Xmx256m") + 1:], [
            "-Ddebug=true", "-Dno.port.verification=true", "-Dno.domain=true", "-Dpassword.visible=true",
            "bramlet", "-nodisplay"])

    def test_wizard_arguments_of_console_silent_and_savestate(self):
        for key in ("silent", "savestate", "emptystate"):
            self.assertEqual(self.batch.result(key).status, 0, key)
        self.assertEqual(self.java_run("silent")["arg"][1:3], ["-Djava.awt.headless=true"] * 2)
        f, g = self.dir / "f", self.dir / "g"
        self.assertEqual(self.wizard_args("silent"), ["-nodisplay", "-nodisplay", "-noconsole", "-state", f])
        self.assertEqual(self.wizard_args("savestate"),
                         ["-nodisplay", "-noconsole", "-state", g, "-saveState", g, "-id"])
        self.assertEqual(self.wizard_args("emptystate"), ["-nodisplay", "-noconsole", "-state", self.dir.path + "/"])
        # Silent mode prints its progress on the console too.
        self.assertIn(EN["exec"], self.batch.result("savestate").stdout.decode())

    def test_exit_status_is_passed_on(self):
        self.assertEqual(self.batch.result("status").status, 42)
        self.assertEqual(os.listdir(self.tmp["status"]), [])
        # The payload's libraries come before the user's, whose value (even an empty one) keeps its place.
        for key, value in (("status", "/usr/lib:"), ("flags", "")):
            self.batch.result(key)
            run = self.java_run(key)
            self.assertEqual(run["env"]["LD_LIBRARY_PATH"], run["cwd"] + "/package:" + value)

    def test_a_development_kit_leads_the_class_path_with_its_own_jars(self):
        self.assertEqual(self.batch.result("kit").status, 0)
        run = self.java_run("kit")
        kit, wd = self.dir / "java-kit/jre", run["cwd"]
        self.assertIn("-Djava.class.path=%s/lib/tools.jar:%s/classes:%s:%s/package/PackageFormat.jar"
                      % (kit, kit, wd, wd), run["arg"])

    def test_javahome_relative_or_unsupported(self):
        self.assertEqual(self.batch.result("javahome").status, 0)
        self.assertEqual(self.java_run("javahome")["arg"][0], self.dir / "cwd-javahome/jdk/bin/java")
        r = self.batch.result("unsupported")
        self.assertEqual((r.status, r.stderr), (0, b""), r)
        self.assertEqual(self.java_run("unsupported")["arg"][0], self.dir / "java-unsupported/bin/java")
        self.assertEqual(harness.read_log(self.dir / "log-old"), ["probe"])

    def test_names_that_path_lists_or_encodings_could_split(self):
        for key, prefix in (("colon", "se_tup"), ("encoding", "setup"), ("utf8", "setup")):
            self.assertEqual(self.batch.result(key).status, 0, key)
            run = self.java_run(key)
            self.assertEqual(os.path.dirname(run["cwd"]), self.tmp[key])
            self.assertTrue(os.path.basename(run["cwd"]).startswith(prefix), run["cwd"])
            self.assertEqual(run["env"]["LD_LIBRARY_PATH"].count(":"), 0)

    def test_a_name_as_long_as_a_file_name_may_be_is_cut_where_a_character_begins(self):
        self.assertEqual(self.batch.result("longname").status, 0)
        work = os.path.basename(self.java_run("longname")["cwd"]).encode("utf-8", "surrogateescape")
        self.assertLessEqual(len(work), 255)
        self.assertTrue(work[:-6].decode().startswith("\u3042" * 83), work)

    def test_any_tree_the_payload_holds_goes_with_the_cleanup(self):
        for key in ("deep", "sticky"):
            self.assertEqual(self.batch.result(key).status, 0, key)
            self.assertEqual(os.listdir(self.tmp[key]), [], key)

    def test_progress_in_the_code_set_of_the_users_locale(self):
        disk = "\u30c7\u30a3\u30b9\u30af\u30b9\u30da\u30fc\u30b9\u306e\u5bb9\u91cf\u3092\u691c\u67fb\u4e2d...\n"
        for key, code_set in (("encoding", "euc-jp"), ("utf8", "utf-8")):
            self.assertTrue(self.batch.result(key).stdout.startswith(disk.encode(code_set)), key)

    def test_a_relative_java_home_runs_the_runtime_it_names(self):
        self.assertEqual(self.batch.result("relhome").status, 0)
        self.assertEqual(self.java_run("relhome")["arg"][0], self.dir / "cwd-relhome/jre/bin/java")
        self.assertFalse(os.path.exists(self.dir / "payload-java-ran"))

    def test_relative_tmpdir_is_used_in_its_absolute_form(self):
        self.assertEqual(self.batch.result("reltmp").status, 0)
        run, rel = self.java_run("reltmp"), self.dir / "cwd-reltmp/rel"
        self.assertIn("-Dtemp.dir=" + rel, run["arg"])
        self.assertEqual(os.path.dirname(run["cwd"]), rel)
        self.assertEqual(os.listdir(rel), [])

    def test_only_a_regular_file_on_path_is_taken_for_the_launcher(self):
        for kind in ("fifo", "socket", "device"):
            r = self.batch.result(kind)
            self.assertEqual((r.status, r.stderr), (0, b""), (kind, r))
            self.assertEqual(os.path.dirname(self.java_run(kind)["cwd"]), self.tmp[kind], kind)
        r = self.batch.result("unresolved")
        self.assertEqual((r.status, r.stdout, r.stderr),
                         (1, b"", b"Error: Could not resolve the absolute path of this application.\n"), r)
        self.assertEqual(os.listdir(self.tmp["unresolved"]), [])
        self.assertFalse(os.path.exists(self.dir / "log-unresolved"))

    def test_status_10_runs_the_upgrade_script_without_environment_and_removes_it(self):
        self.assertEqual(self.batch.result("upgrade").status, 10)
        with open(self.dir / "upgrade-ran-upgrade") as f:
            ran = f.read()
        self.assertNotIn("PATH=", ran)  # env adds nothing but PWD
        # Its own path, for a script that finds what lies beside it.
        self.assertIn("\n0=%s/UpgradeInvoker.sh\n" % self.tmp["upgrade"], ran)
        self.assertEqual(os.listdir(self.tmp["upgrade"]), [])
        self.assertEqual(self.batch.result("noupgrade").status, 11)
        self.assertFalse(os.path.exists(self.dir / "upgrade-ran-noupgrade"))
        self.assertEqual(os.listdir(self.tmp["noupgrade"]), ["UpgradeInvoker.sh"])
        self.assertEqual(self.batch.result("linked").status, 10)
        self.assertFalse(os.path.exists(self.dir / "upgrade-ran-linked"))
        self.assertEqual(os.listdir(self.tmp["linked"]), ["UpgradeInvoker.sh"])


class LauncherFailures(unittest.TestCase):
    """Runs that end before the Java program, each with its message."""

    def setUp(self):
        self.dir = harness.Scratch()
        self.addCleanup(self.dir.cleanup)
        self.tmp = self.dir.mkdir("tmp")
        self.setup = harness.installer(self.dir / "setup")

    def test_a_runtime_that_ends_at_once_ends_the_status_hold(self):
        """Nothing is left to hold the status window up for: no wait of the
        launcher runs out its time (as strace sees its polls; LeakSanitizer
        can't work under strace)."""
        java = harness.java(self.dir / "java", exit=7)
        r = harness.run(["-f", "-qq", "-o", self.dir / "trace", "-e", "trace=poll,ppoll,restart_syscall",
                         "-e", "signal=none",
                         self.setup, "-console", "-tmpdir", self.tmp], program="/usr/bin/strace",
                        env={"JAVA_HOME": java, "ASAN_OPTIONS": "detect_leaks=0"})
        self.assertEqual(r.status, 7, r)
        with open(self.dir / "trace") as f:
            polls = f.read().splitlines()
        self.assertTrue(polls)
        self.assertEqual([p for p in polls if re.search(r"\) = 0( |$)", p)], [])

    def test_help_prints_the_usage_and_creates_nothing(self):
        for args in (["-console", "-tmpdir", self.tmp, "-help", "-bogus"], ["-h"]):
            r = harness.run(args, program=self.setup)
            self.assertEqual((r.status, r.stdout, r.stderr.decode()), (0, b"", USAGE))
        self.assertEqual(os.listdir(self.tmp), [])

    def test_bad_options_end_with_status_1_their_message_and_the_usage(self):
        nope = self.dir / "nope"
        read_only = self.dir.mkdir("read-only", 0o555)
        shared, foreign = self.dir.mkdir("shared", 0o777), self.dir.mkdir("foreign", 0o1777)
        os.chown(foreign, harness.NOBODY, harness.NOBODY)
        for args, message, unprivileged in (
                (["-console", "-frobnicate"], "'-frobnicate' is not a valid argument.", False),
                (["-Console"], "'-Console' is not a valid argument.", False),
                (["-console", "-savestate"], "'-savestate' must be followed by a file name.", False),
                (["-silent"], "'-silent' must be followed by a file name.", False),
                (["-javahome"], "'-javahome' must be followed by a Java(TM) installation directory.", False),
                (["-tmpdir"], "'-tmpdir' must be followed by a writable directory.", False),
                (["-tmpdir", nope], "'%s' is not a writable directory." % nope, False),
                # No path list could carry a ":".
                (["-tmpdir", self.dir.mkdir("t:mp")], "'%s' is not a writable directory." % (self.dir / "t:mp"), False),
                # Nor is a directory whose entries another user may rename: one
                # that others may write to without the sticky bit, or a sticky
                # one of another user's.
                (["-tmpdir", shared], "'%s' is not a writable directory." % shared, False),
                (["-tmpdir", foreign], "'%s' is not a writable directory." % foreign, False),
                # Root may write anywhere; the real user is asked.
                (["-tmpdir", read_only], "'%s' is not a writable directory." % read_only, True)):
            r = harness.run(args, program=self.setup, unprivileged=unprivileged)
            self.assertEqual((r.status, r.stdout, r.stderr.decode()), (1, b"", "Error: %s\n" % message + USAGE),
                             args)

    def test_no_runtime_in_the_given_javahome_even_an_empty_one(self):
        harness.java(self.dir / "old", version='java version "1.3.1"')
        for javahome, shown in ((self.dir / "old", self.dir / "old"), ("", self.dir.path + "/")):
            r = harness.run(["-console", "-tmpdir", self.tmp, "-javahome", javahome], program=self.setup,
                            cwd=self.dir.path)
            self.assertEqual(r.status, 1)
            self.assertEqual(r.stderr.decode(), "Error: Could not find the required version of the Java(TM) 2 "
                             "Runtime Environment in '%s'.\n" % shown + NO_JAVA_USAGE)

    def test_a_launcher_without_payload_runs_the_files_beside_it(self):
        plain = harness.installer(self.dir / "kit/setup", archive=b"")
        self.dir.write("kit/bramlet.class", "x")
        java = harness.java(self.dir / "java", log=self.dir / "log")
        r = harness.run(["-console", "-tmpdir", self.tmp], program=plain, env={"JAVA_HOME": java})
        self.assertEqual(r.status, 0, r)
        self.assertNotIn(EN["unzip"], r.stdout.decode())
        run = harness.java_run(self.dir / "log")
        home = "/" + self.dir / "kit"  # the executable's path as found: "//..."
        self.assertIn("-Djava.class.path=%s:%s/package/PackageFormat.jar" % (home, home), run["arg"])
        self.assertEqual(run["cwd"], self.dir / "kit")
        self.assertEqual(os.listdir(self.tmp), [])

    def test_a_probe_that_never_ends_is_killed_and_its_runtime_refused(self):
        java = harness.java(self.dir / "java", probe_started=self.dir / "probe", probe_wait=self.dir / "never")
        r = harness.run(["-console", "-tmpdir", self.tmp], program=self.setup, env={"JAVA_HOME": java})
        self.assertEqual((r.status, r.stderr.decode()), (1, "Error: Could not find the required version of the Java(TM) 2 "
                         "Runtime Environment.\n" + NO_JAVA_USAGE))
        with open(self.dir / "probe") as f:
            probe = int(f.read())
        self.assertRaises(ProcessLookupError, os.kill, probe, 0)

    def test_a_missing_main_class_or_runtime_ends_like_any_run(self):
        """With its message, then the cleanup, in the user's language."""
        no_class = harness.installer(self.dir / "no-class/setup", main_class=False)
        java = harness.java(self.dir / "java")
        for lang, message, cleanup in (
                (None, "Error: There are no files requiring installation.\n", EN["cleanup"]),
                ("es_ES", "No hay ning\u00fan archivos que requiere instalaci\u00f3n.\n",
                 "Borrando archivos temporales...\n"),
                ("ja_JP.eucJP", "Error: There are no files requiring installation.\n", EN["cleanup"])):
            r = harness.run(["-console", "-tmpdir", self.tmp], program=no_class, env={"JAVA_HOME": java, "LANG": lang})
            self.assertEqual((r.status, r.stderr.decode("latin-1")), (1, message), lang)
            self.assertTrue(r.stdout.decode("latin-1").endswith(cleanup), (lang, r))
            self.assertEqual(os.listdir(self.tmp), [], lang)
        # A runtime whose program is gone after its probe.
        harness.java(java, demote=1)
        r = harness.run(["-console", "-tmpdir", self.tmp, "-javahome", java], program=self.setup)
        self.assertEqual((r.status, r.stderr), (1, b"Error: The Java(TM) Virtual Machine has aborted.\n"), r)
        self.assertTrue(r.stdout.endswith(EN["cleanup"].encode()), r)
        self.assertEqual(os.listdir(self.tmp), [])

    def test_a_log_of_both_streams_reads_in_the_order_of_the_run(self):
        """Progress that standard output holds back comes before an error
        written after it, and the cleanup after the error."""
        no_class = harness.installer(self.dir / "no-class/setup", main_class=False)
        progress = EN["disk"] + EN["java"] + EN["jre"]
        log = self.dir / "log"
        for setup, env, text in (
                (self.setup, {}, progress + "Error: Could not find the required version of the Java(TM) 2 Runtime "
                 "Environment.\n" + NO_JAVA_USAGE),
                (no_class, {"JAVA_HOME": harness.java(self.dir / "java")},
                 progress + EN["unzip"] + EN["exec"] + "Error: There are no files requiring installation.\n"
                 + EN["cleanup"])):
            r = harness.run(["-c", 'exec "$0" -console -tmpdir "$1" > "$2" 2>&1', setup, self.tmp, log],
                            program="/bin/sh", env=env)
            self.assertEqual(r.status, 1, r)
            with open(log) as f:
                self.assertEqual(f.read(), text)

    def test_a_working_directory_moved_away_takes_the_payload_with_it(self):
        """Renamed and replaced by a link while the runtime is probed (only a
        temporary directory that others can change would let another user do
        it), the working directory still gets the payload, not the link's
        target."""
        victim = self.dir.mkdir("victim")
        swap = self.dir.write("swap.sh", "cd %s && for w in *; do /bin/mv \"$w\" moved && /bin/ln -s %s \"$w\"; done\n"
                              % (self.tmp, victim))
        java = harness.java(self.dir / "java", probe_run=swap)
        r = harness.run(["-console", "-tmpdir", self.tmp], program=self.setup, env={"JAVA_HOME": java})
        self.assertEqual(os.listdir(victim), [])
        self.assertEqual(sorted(os.listdir(self.tmp / "moved")), ["bramlet.class", "package"])
        self.assertEqual(r.status, 1, r)

    def test_unusable_default_temporary_directory(self):
        locked = self.dir.mkdir("locked", 0o555)
        script = ("/usr/bin/mount --bind %s /var/tmp && exec /usr/bin/setpriv --reuid=65534 --regid=65534 "
                  "--clear-groups %s -console" % (locked, self.setup))
        r = harness.run(["-m", "/bin/sh", "-c", script], program="/usr/bin/unshare")
        self.assertEqual(r.status, 1, r)
        self.assertEqual(r.stderr.decode(),
                         "Error: The '/var/tmp/' temporary directory is not a writable directory.\n"
                         "Try rerunning this application with the following usage:\n"
                         "    'setup' -tmpdir <temporary directory>\n")


class FreeSpace(unittest.TestCase):
    """The room check against a small tmpfs: payload + 100000 bytes must fit."""

    def test_equal_passes_and_one_byte_short_fails(self):
        d = harness.Scratch()
        self.addCleanup(d.cleanup)
        mnt = d.mkdir("mnt")
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m,mode=0755", "tmpfs", mnt], check=True)
        self.addCleanup(subprocess.run, ["umount", "-l", mnt])
        st = os.statvfs(mnt)
        available = st.f_frsize * st.f_bavail
        java = harness.java(d / "java")
        exact = available - 100000
        for size, expected in (
                (exact + 1, "\nError: There is not enough free disk space in the '%s' temporary directory.\n"
                            "%d bytes are required and only %d bytes are available.\n"
                            "Try rerunning this application with the following usage:\n"
                            "    'setup-%d' -tmpdir <temporary directory>\n"
                 % (mnt, available + 1, available, exact + 1)),
                # The check passed when the run gets as far as the missing main class.
                (exact, "Error: There are no files requiring installation.\n")):
            setup = harness.installer(d / ("setup-%d" % size), main_class=False, jar=False,
                                      files={"big.bin": b"\0" * size})
            r = harness.run(["-console", "-tmpdir", mnt], program=setup, env={"JAVA_HOME": java})
            self.assertEqual((r.status, r.stderr.decode()), (1, expected))
            subprocess.run("rm -rf %s/*" % mnt, shell=True)


if __name__ == "__main__":
    unittest.main()
