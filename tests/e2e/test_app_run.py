"""An installed application runs as its maker built it: the installer's start
scripts run it with java -jar on a jar whose manifest names every jar of the
application and carries the main jar's launch attributes, with the maker's
JVM options and arguments, JAVA_OPTS and the command's own variable, each
passed through as written; more commands than one, linked into the user's
or root's bin directory (never over what is there); desktop entries that
desktop-file-validate accepts and through which the desktop opens the
application's file types; and an uninstaller that leaves none of it."""

import os
import shutil
import subprocess
import unittest
import zipfile

import harness
import kit_support

JDK = harness.JDK
NAME, TYPE = "demo-app", "application/x-bramlet-demo"
MAIN = """package demo;
public class Main {
    public static void main(String[] args) throws Exception {
        // Fails unless the main jar's Add-Opens reached the JVM.
        String.class.getDeclaredField("value").setAccessible(true);
        String line = dep.Dep.NAME + " " + System.getProperty("opt") + " " + System.getProperty("env") + " "
                + System.getProperty("own") + " [" + String.join("|", args) + "]";
        System.out.println(line);
        java.nio.file.Files.write(java.nio.file.Paths.get(System.getProperty("record")), line.getBytes("UTF-8"));
    }
    public static class Inner {
        public static void main(String[] args) {
            System.out.println("inner " + System.getProperty("own") + " [" + String.join("|", args) + "]");
        }
    }
}
"""
OTHER_TYPE = """<?xml version="1.0" encoding="UTF-8"?>
<mime-info xmlns="http://www.freedesktop.org/standards/shared-mime-info">
  <mime-type type="application/x-other"><comment>Other</comment><glob pattern="*.other"/></mime-type>
</mime-info>
"""
OPTION = "-Dopt=${APPDIR}/a'b \"$c\" `d` $APPDIRS \\"
# In the mount namespace of its own: a private /usr/local/bin, holding a
# dangling link where the second launcher would go.
AS_ROOT = """mount -t tmpfs -o mode=0755 none /usr/local/bin && ln -s /nowhere /usr/local/bin/demo-other || exit 9
"$0" -silent "$1" -tmpdir "$2" && echo "link $(readlink /usr/local/bin/demo-inner)" &&
/usr/local/bin/demo-inner x && "$3/uninstall/uninstall" -silent -tmpdir "$2" && ls -A /usr/local/bin &&
chmod 1777 /usr/local/bin && "$0" -silent "$1" -tmpdir "$2" && ls -A /usr/local/bin"""


class AppRun(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = d = harness.Scratch()
        d.write("src/dep/Dep.java", 'package dep;\npublic class Dep { public static final String NAME = "dep"; }\n')
        d.write("src/demo/Main.java", MAIN)
        d.write("manifest", "Add-Opens: java.base/java.lang\nSplashScreen-Image: demo/splash.png\n")
        shutil.copy(os.path.join(kit_support.SOURCES, "examples/icon.png"), d.mkdir("classes/demo") / "splash.png")
        jdk = {"PATH": harness.TOOLS_PATH}
        steps = [[JDK + "/bin/javac", "-d", d / "classes", d / "src/dep/Dep.java", d / "src/demo/Main.java"],
                 [JDK + "/bin/jar", "cfme", d / "app/lib/app.jar", d / "manifest", "demo.Main", "-C", d / "classes", "demo"],
                 [JDK + "/bin/jar", "cf", d / "app/lib/a b:c.jar", "-C", d / "classes", "dep"]]
        d.mkdir("app/lib")
        # The application's own file types, for its packagers: none of the desktop's.
        d.write("app/share/mime/packages/own.xml", OTHER_TYPE)
        for step in steps:
            r = harness.run(step[1:], program=step[0], env=jdk, timeout=120)
            assert r.status == 0, r
        options = ["--java-options", "-Drecord=$APPDIR/record", "--java-options", OPTION, "--arguments", "one two",
                   "--arguments", "*", "--launcher", "demo-inner=demo.Main$Inner", "--launcher",
                   "demo-other=demo.Main$Inner", "--launcher", "2d=demo.Main$Inner", "--file-type",
                   "bramletdemo=" + TYPE, "--file-type", "bramletdemo2=" + TYPE, "--title", "Demo", "--title-translation",
                   "es=Demostración", "--description", "Runs a demo", "--category", "Development"]
        r = harness.run(["--app", d / "app", "--name", NAME, "--version", "1.0", "--main-jar", "lib/app.jar",
                         "--runtime", kit_support.RUNTIME, "--launcher", harness.LAUNCHER, "--uninstaller",
                         harness.UNINSTALLER, "--level", "1"] + options + [d / "setup"], program=harness.MKSETUP,
                        timeout=300)
        assert r.status == 0, r
        cls.home = d.mkdir("home")
        os.chown(cls.home, harness.NOBODY, harness.NOBODY)
        cls.user = {"HOME": cls.home}
        cls.batch = harness.Batch()
        cls.batch.start("user", ["-silent", d.write("state", "licenseAccepted=true\n"), "-tmpdir", d.mkdir("tmp", 0o1777)],
                        program=d / "setup", env=cls.user, unprivileged=True)
        # A user whose desktop knew file types before: the shared MIME database and the applications' cache are
        # the desktop's, brought up to date, never removed.
        cls.shared = d.mkdir("shared")
        d.write("shared/.local/share/mime/packages/other.xml", OTHER_TYPE)
        d.mkdir("shared/.local/share/applications")
        # ... and a file where its bin directory would be.
        d.write("shared/.local/bin", "mine\n")
        harness.run([cls.shared / ".local/share/mime"], program="/usr/bin/update-mime-database")
        subprocess.run(["chown", "-R", "%d:%d" % (harness.NOBODY, harness.NOBODY), cls.shared], check=True)
        cls.batch.start("shared", ["-silent", d.write("state-shared", "licenseAccepted=true\n"), "-tmpdir",
                                   d.mkdir("tmp-shared", 0o1777)], program=shutil.copy(d / "setup", d / "setup-shared"),
                        env={"HOME": cls.shared}, unprivileged=True)
        root_state = d.write("state-root", "installDir=%s\nlicenseAccepted=true\n" % (d / "root"))
        cls.batch.start("root", ["-m", "/bin/sh", "-c", AS_ROOT, d / "setup", root_state, d.mkdir("tmp-root"), d / "root"],
                        program="/usr/bin/unshare",
                        env={"XDG_DATA_DIRS": d / "xdg-root", "PATH": "/usr/sbin:" + harness.TOOLS_PATH})

    @classmethod
    def tearDownClass(cls):
        cls.batch.finish_all()
        cls.dir.cleanup()

    def test_a_user_runs_every_command_as_built_opens_its_files_from_the_menu_and_uninstalls(self):
        r = self.batch.result("user")
        self.assertEqual(r.status, 0, r)
        target, data, bin = self.home / ".local/opt" / NAME, self.home / ".local/share", self.home / ".local/bin"
        run = harness.run(["three", "$HOME"], program=target / "bin" / NAME, unprivileged=True,
                          env=dict(self.user, JAVA_OPTS="-Denv=java  -Dx=*", DEMO_APP_OPTS="-Down=mine"))
        self.assertEqual(run.stdout.decode(), "dep %s/a'b \"$c\" `d` $APPDIRS \\ java mine [one two|*|three|$HOME]\n"
                         % target, run)
        os.unlink(target / "record")
        # The java launcher shows the splash image of the jar it runs.
        with zipfile.ZipFile(target / "bin" / (NAME + ".jar")) as jar:
            self.assertIn(b"\nSplashScreen-Image: demo/splash.png\r\n", jar.read("META-INF/MANIFEST.MF"))
            self.assertEqual(jar.read("demo/splash.png")[:4], b"\x89PNG")
        self.assertEqual(os.readlink(bin / "demo-inner"), target / "bin/demo-inner")
        inner = harness.run(["a b"], program=bin / "demo-inner", unprivileged=True, env={"DEMO_INNER_OPTS": "-Down=1"})
        self.assertEqual(inner.stdout.decode(), "inner 1 [a b]\n", inner)
        # A name the shell would not take for a variable's, as Gradle's scripts make it, begins with "_".
        inner = harness.run(["x", "y"], program=target / "bin/2d", unprivileged=True, env={"_2D_OPTS": "-Down=2"})
        self.assertEqual(inner.stdout.decode(), "inner 2 [x|y]\n", inner)
        entries = [data / "applications" / n for n in (NAME + ".desktop", NAME + "-demo-inner.desktop")]
        validate = harness.run(entries, program="/usr/bin/desktop-file-validate")
        self.assertEqual((validate.status, validate.stdout), (0, b""), validate)
        with open(entries[0], encoding="utf-8") as f:
            entry = f.read().splitlines()
        self.assertEqual([l for l in entry if l.split("=")[0] in ("Name", "Name[es]", "Comment", "Exec", "MimeType",
                                                                   "Categories", "StartupWMClass")],
                         ["Name=Demo", "Name[es]=Demostración", "Comment=Runs a demo",
                          'Exec="%s" %%F' % (target / "bin" / NAME), "Categories=Development;",
                          "MimeType=%s;" % TYPE, "StartupWMClass=demo-Main"])
        # The desktop, through glib, finds the entry for the type and opens a file with it.
        desktop = {"HOME": self.dir.mkdir("desktop-home"), "XDG_DATA_DIRS": data, "PATH": harness.TOOLS_PATH}
        mime = harness.run(["mime", TYPE], program="/usr/bin/gio", env=desktop)
        self.assertIn(NAME + ".desktop", mime.stdout.decode(), mime)
        document = self.dir.write("my file.bramletdemo", "")
        launch = harness.start(["launch", entries[0], document], program="/usr/bin/gio", env=desktop)
        harness.wait_for(lambda: os.path.exists(target / "record") and os.path.getsize(target / "record"))
        harness.finish(launch)
        with open(target / "record") as f:
            self.assertEqual(f.read().split(" [")[-1], "one two|*|%s]" % document)
        os.unlink(target / "record")
        self.assertEqual(os.listdir(target / "share/mime"), ["packages"])
        # A command of the user's own in the place of a link stays.
        os.unlink(bin / "2d")
        shutil.copy(self.dir / "manifest", bin / "2d")
        r = harness.run(["-silent"], program=target / "uninstall/uninstall", env=self.user, unprivileged=True)
        self.assertEqual(r.status, 0, r)
        self.assertEqual(kit_support.installed(self.home), {self.home, self.home / ".local", bin, bin / "2d"})

    def test_the_uninstaller_brings_the_desktops_own_caches_up_to_date(self):
        r = self.batch.result("shared")
        self.assertEqual(r.status, 0, r)
        bin = self.shared / ".local/bin"
        self.assertIn("\n" + kit_support.texts()["link.exists"].replace("{0}", "demo-inner").replace("{1}", bin).replace(
            "{2}", bin) + "\n", r.stdout.decode())
        data = self.shared / ".local/share"

        def known():
            with open(data / "mime/globs2") as globs, open(data / "applications/mimeinfo.cache") as cache:
                return [TYPE in globs.read(), TYPE in cache.read()]
        self.assertEqual(known(), [True, True])
        r = harness.run(["-silent"], program=self.shared / ".local/opt" / NAME / "uninstall/uninstall",
                        env={"HOME": self.shared}, unprivileged=True)
        self.assertEqual(r.status, 0, r)
        self.assertEqual(known(), [False, False])
        self.assertEqual(os.listdir(data / "mime/packages"), ["other.xml"])
        with open(bin) as f:
            self.assertEqual(f.read(), "mine\n")

    def test_root_links_into_usr_local_bin_never_over_an_entry_nor_into_a_directory_others_can_change(self):
        r = self.batch.result("root")
        self.assertEqual(r.status, 0, r)
        texts, bin = kit_support.texts(), "/usr/local/bin"
        exists = texts["link.exists"].replace("{0}", "demo-other").replace("{1}", bin).replace("{2}", bin + "/demo-other")
        untrusted = texts["link.untrusted"].replace("{1}", bin).replace("{2}", bin)
        out = r.stdout.decode()
        self.assertIn("\n%s\n" % exists, out)
        self.assertIn("\nlink %s\ninner null [x]\n" % (self.dir / "root/bin/demo-inner"), out)
        # The uninstaller leaves what was there; then nothing is linked into a directory anybody may write.
        self.assertIn("removed.\n", out)
        after = out[out.index("removed.\n"):].splitlines()
        self.assertEqual([after[2], after[-1]], ["demo-other", "demo-other"], out)
        self.assertIn("\n%s\n%s\n" % (untrusted.replace("{0}", "demo-inner"), exists), out)


if __name__ == "__main__":
    unittest.main()
