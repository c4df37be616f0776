"""Installers made with mksetup --app and the installer kit, on real Java
runtimes of the target: a console dialogue through a pseudo-terminal, the
answers it saved replayed silently by a newer version, an installation by an
unprivileged user into its own directories on a runtime that mksetup --jlink
makes of the target JDK's modules (with the build machine's jlink in a cross
build), the start scripts, and the uninstaller, on the installed runtime
where the host has no Java at all, or on a JDK found through PATH."""

import fcntl
import os
import pty
import re
import shutil
import stat
import struct
import termios
import unittest
import zipfile

import harness
import kit_support
from kit_support import NAME

JDK = harness.JDK
# No JAVA_HOME, and a PATH without java: the runtime must come from the installer.
NO_JAVA = {"JAVA_HOME": None}
TEXTS = kit_support.texts()
HELLO = "Hello from the bramlet example application.\n"


class Kit(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = d = harness.Scratch()
        cls.batch = harness.Batch()
        v1, v2 = kit_support.application(d, "app1"), kit_support.application(d, "app2", extra=False)
        bundled = kit_support.installer(d, "bundled", v1)
        kit_support.installer(d, "bundled-2.0", v2, version="2.0")
        alone = kit_support.installer(d, "alone", v1, runtime=False)
        jlinked = d / "jlinked"
        cls.jlinked = harness.run(kit_support.arguments(d, v1) + ["--jlink", "java.base", "--jdk", JDK, jlinked],
                                  program=harness.MKSETUP, env={"JAVA_HOME": harness.JLINK_HOME}, timeout=300)
        # A JDK of the target found as distributions install one, through
        # links such as /usr/bin/java -> /etc/alternatives/java -> the JDK's,
        # and no other.
        os.symlink(JDK + "/bin/java", d / "alternative")
        os.symlink(d / "alternative", d.mkdir("bin") / "java")
        cls.jdk_path = {"PATH": d / "bin"}
        cls.home = d.mkdir("home")
        os.chown(cls.home, harness.NOBODY, harness.NOBODY)

        def scenario(key, setup, args, env=NO_JAVA, unprivileged=False, **kwargs):
            # A copy each: the launcher lets one run of a file at a time.
            program = shutil.copy(setup, d / ("setup-" + key))
            cls.batch.start(key, args + ["-tmpdir", d.mkdir("tmp-" + key, 0o1777)], program=program,
                            env=dict(env, XDG_DATA_DIRS=d / ("xdg-" + key)), cwd=d.path, unprivileged=unprivileged, **kwargs)

        # Welcome; a page of the licence, then q; a wrong answer, then yes; a relative directory, then one.
        # The terminal has 10 rows, whatever LINES says.
        cls.master, slave = pty.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 10, 80, 0, 0))
        os.write(cls.master, ("\n\nq\nmaybe\nyes\nrelative\n%s\n" % (d / "console")).encode())
        scenario("console", bundled, ["-console", "-savestate", d / "answers"], stdin=slave,
                 env=dict(NO_JAVA, LANG="en_US.UTF-8", LINES="5"))
        os.close(slave)
        # British spelling, and no terminal: welcome, then the input ends at the licence's first page.
        with open(d.write("welcome", "\n"), "rb") as welcome:
            scenario("british", bundled, ["-console"], stdin=welcome, env=dict(NO_JAVA, LANG="en_GB"))
        scenario("jdk", alone, ["-silent", d.write("state-jdk", "installDir=%s\nlicenseAccepted=true\n" % (d / "jdk"))],
                 env=cls.jdk_path)
        user = {"HOME": cls.home, "JAVA_HOME": None}
        scenario("user", jlinked, ["-silent", d.write("state-user", "licenseAccepted=true\n")], env=user,
                 unprivileged=True)
        scenario("unwritable", bundled, ["-silent", d.write("state-unwritable", "installDir=/opt/%s/x\n"
                                                            "licenseAccepted=true\n" % NAME)],
                 env=user, unprivileged=True)

    @classmethod
    def tearDownClass(cls):
        cls.batch.finish_all()
        os.close(cls.master)
        cls.dir.cleanup()

    def result(self, key, status=0):
        r = self.batch.result(key)
        self.assertEqual(r.status, status, r)
        self.assertEqual(os.listdir(self.dir / ("tmp-" + key)), [])
        return r

    def assertRuns(self, target, java_home, env=None, **kwargs):
        """The start script runs the application on java_home's runtime."""
        app = harness.run([], program=target / "bin" / NAME, env=env or {"PATH": harness.TOOLS_PATH, **NO_JAVA},
                          **kwargs)
        self.assertRegex(app.stdout.decode(), r"^%sIt runs on Java 17\S* from %s\.\n$"
                         % (re.escape(HELLO), re.escape(java_home)))

    def manifest(self, target):
        with open(target / "uninstall/manifest") as f:
            return f.read().splitlines()

    def test_console_dialogue_then_its_answers_replayed_by_a_new_version_then_uninstalled(self):
        d, target = self.dir, self.dir / "console"
        out = self.result("console").stdout.decode()
        self.assertIn("\n" + TEXTS["welcome.console"].replace("{0}", NAME + " 1.0") + "\n" + TEXTS["welcome.prompt"]
                      + "\nLicense agreement\n", out)
        # Pages of the terminal's rows but the prompt's; q ends the paging, not the installation.
        self.assertIn("Licence line 9\n" + TEXTS["license.more"] + "Licence line 10\n", out)
        self.assertIn("Licence line 18\n" + TEXTS["license.more"] + TEXTS["license.question"] * 2, out)
        self.assertNotIn("Licence line 19", out)
        self.assertIn(TEXTS["error.notAbsolute"].replace("{0}", "relative"), out)
        self.assertIn(TEXTS["done.text"].replace("{0}", NAME + " 1.0").replace("{1}", target).replace(
            "{2}", target / "bin" / NAME), out)
        with open(d / "answers") as f:
            self.assertEqual(sorted(l for l in f.read().splitlines() if not l.startswith("#")),
                             ["installDir=%s" % target, "licenseAccepted=true"])
        # The maker's modes, though the launcher extracted everything for its owner alone.
        modes = {name: stat.S_IMODE(os.stat(target / name).st_mode)
                 for name in ("bin/tool", "share/data.txt", "bin/" + NAME, "lib/hello.jar")}
        self.assertEqual(modes, {"bin/tool": 0o750, "share/data.txt": 0o604, "bin/" + NAME: 0o755,
                                 "lib/hello.jar": 0o644})
        self.assertRuns(target, target / "runtime")
        # Version 2.0, without share/, replays the answers over it: one installation, nothing stale.
        r = harness.run(["-silent", d / "answers", "-tmpdir", d / "tmp-console"], program=d / "bundled-2.0",
                        env=dict(NO_JAVA, XDG_DATA_DIRS=d / "xdg-console"))
        self.assertEqual(r.status, 0, r)
        self.assertFalse(os.path.exists(target / "share"))
        manifest = self.manifest(target)
        self.assertEqual(manifest[2], "version 2.0")
        made = {line[2:] for line in manifest[3:]}
        self.assertEqual(made & kit_support.installed(target), kit_support.installed(target))
        self.assertEqual(sorted(os.listdir(d / "xdg-console/applications")), [NAME + ".desktop"])
        # The uninstaller runs on the installed runtime, where the host has no Java.
        r = harness.run(["-silent", "-tmpdir", d / "tmp-console"], program=target / "uninstall/uninstall",
                        env=dict(NO_JAVA, XDG_DATA_DIRS=d / "xdg-console"))
        self.assertEqual((r.status, r.stdout.decode().splitlines()[-2]), (0, TEXTS["uninstall.done"].replace(
            "{0}", NAME + " 2.0")), r)
        self.assertEqual(kit_support.installed(target) | kit_support.installed(d / "xdg-console"), set())

    def test_british_spelling_and_24_rows_without_a_terminal_then_the_input_ends(self):
        out = self.result("british", status=2).stdout.decode()
        british = kit_support.texts("en_GB")
        self.assertEqual(british["license.title"], "Licence agreement")
        self.assertIn("\nLicence agreement\n=================\n" + british["license.text"] + "\n\n", out)
        self.assertIn("Licence line 23\n" + british["license.more"] + "\n" + british["cancelled"] + "\n", out)

    def test_an_unprivileged_user_installs_into_its_own_directories_and_uninstalls(self):
        # On a runtime that mksetup --jlink made of the target JDK's modules.
        self.assertRegex(self.jlinked.stdout.decode(), r"^mksetup: making a runtime of java.base,java.desktop with "
                         r"jlink\nmksetup: made %s: \d+ entries, \d+ bytes, for %s, glibc [\d.]+ or newer \(.+\), "
                         r"with a runtime of java.base,java.desktop made by jlink\n$" % (self.dir / "jlinked", harness.ARCH))
        self.result("user")
        target = self.home / ".local/opt" / NAME
        data = self.home / ".local/share"
        with open(data / "applications" / (NAME + ".desktop")) as f:
            entry = f.read()
        self.assertIn('\nExec="%s"\n' % (target / "bin" / NAME), entry)
        self.assertIn("\nIcon=%s\n" % (data / "icons/hicolor/64x64/apps" / (NAME + ".png")), entry)
        self.assertEqual(os.stat(target / "runtime/bin/java").st_uid, harness.NOBODY)
        self.assertRuns(target, target / "runtime", unprivileged=True)
        with open(self.dir.write("yes", "yes\n"), "rb") as yes:
            r = harness.run(["-console"], program=target / "uninstall/uninstall", env={"HOME": self.home, **NO_JAVA},
                            unprivileged=True, stdin=yes)
        self.assertEqual(r.status, 0, r)
        self.assertEqual(kit_support.installed(self.home), {self.home})

    def test_a_directory_the_user_cant_write_is_refused_before_anything_is_made(self):
        r = self.result("unwritable", status=1)
        self.assertEqual(r.stderr.decode(), TEXTS["failed"].replace("{0}", TEXTS["error.notWritable"].replace(
            "{0}", "/opt")) + "\n")
        self.assertFalse(os.path.exists("/opt/" + NAME))

    def test_without_a_bundled_runtime_the_hosts_jdk_runs_installer_application_and_uninstaller(self):
        target = self.dir / "jdk"
        self.result("jdk")
        self.assertFalse(os.path.exists(target / "runtime"))
        self.assertRuns(target, JDK, env=self.jdk_path)
        r = harness.run(["-silent"], program=target / "uninstall/uninstall",
                        env=dict(self.jdk_path, XDG_DATA_DIRS=self.dir / "xdg-jdk"))
        self.assertEqual(r.status, 0, r)
        self.assertEqual(kit_support.installed(target) | kit_support.installed(self.dir / "xdg-jdk"), set())

    def test_mksetup_refuses_what_cant_work(self):
        d = self.dir
        app = kit_support.application(d, "refused")
        d.write("nomain/lib/hello.jar", "not a jar")
        shutil.copytree(app, d / "reserved")
        d.mkdir("reserved/uninstall")
        shutil.copytree(app, d / "reserved-jar")
        d.write("reserved-jar/bin/%s.jar" % NAME, "")
        base = ["--name", NAME, "--version", "1", "--main-jar", "lib/hello.jar"]
        for args, message in (
                (["--app", app] + base[:-1] + ["lib/none.jar"], "%s/lib/none.jar: no such jar; --main-jar names a jar "
                                                                "inside the --app directory" % app),
                (["--app", d / "nomain"] + base, "%s: not a jar (Not a zip archive)" % (d / "nomain/lib/hello.jar")),
                (["--app", app] + base + ["--icon", d / "license.txt"], "%s: not a PNG image; --icon takes one"
                 % (d / "license.txt")),
                (["--app", d / "reserved"] + base, "%s: holds uninstall, which the installer makes itself"
                 % (d / "reserved")),
                (["--app", app, "--name", "../x"] + base[2:], "--name '../x': use letters, digits, '.', '_' and '-' "
                                                              "(not first), as it names files"),
                (["--app", app] + base + ["--jlink", "no.such.module"], "jlink --add-modules=no.such.module,"
                 "java.desktop failed (exit status 1): Error: Module no.such.module not found"),
                (["--app", app] + base + ["--category", "Java"], "--category 'Java' is no freedesktop.org main "
                 "category: AudioVideo Audio Video Development Education Game Graphics Network Office Science "
                 "Settings System Utility"),
                (["--app", app] + base + ["--file-type", "txt=Text/Plain"], "--file-type txt=Text/Plain: give a "
                 "MIME type such as application/x-txt (lower case)"),
                (["--app", app] + base + ["--title-translation", "spanish=Hola"], "--title-translation: 'spanish' "
                 "is no language such as es or pt_BR"),
                (["--app", app] + base + ["--title", "two\nlines"], "--title takes one line of UTF-8 text"),
                (["--app", app] + base + ["--launcher", "cli=demo.Cli", "--launcher", "cli=demo.Other"],
                 "--launcher cli=...: cli names a command already"),
                (["--app", app] + base + ["--launcher", NAME + "=demo.Cli"], "--launcher %s=...: %s names a command "
                 "already" % (NAME, NAME)),
                (["--app", app] + base + ["--class-path", "lib:../elsewhere.jar"], "--class-path ../elsewhere.jar: give "
                 "paths inside the --app directory, such as lib/a.jar"),
                (["--app", d / "reserved-jar"] + base, "%s: holds bin/%s.jar, which the installer makes itself"
                 % (d / "reserved-jar", NAME))):
            r = harness.run(args + [d / "refused-setup"], program=harness.MKSETUP, env={"JAVA_HOME": JDK})
            self.assertEqual((r.status, r.stderr.decode()), (1, "mksetup: %s\n" % message), args)
        self.assertFalse(os.path.exists(d / "refused-setup"))
        # A jar without Main-Class needs --main-class.
        plain = d / "refused/lib/plain.jar"
        with zipfile.ZipFile(os.path.join(kit_support.APP, "hello.jar")) as jar, zipfile.ZipFile(plain, "w") as out:
            for name in jar.namelist():
                if name != "META-INF/MANIFEST.MF":
                    out.writestr(name, jar.read(name))
        r = harness.run(["--app", app] + base[:-1] + ["lib/plain.jar", d / "refused-setup"], program=harness.MKSETUP)
        self.assertEqual((r.status, r.stderr.decode()), (1, "mksetup: %s: its manifest names no Main-Class; name the "
                                                         "class with --main-class\n" % plain))


if __name__ == "__main__":
    unittest.main()
