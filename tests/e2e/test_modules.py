"""The Java modules an application's jars need, as the JDK's jdeps finds
them: mksetup --app --jlink auto links them, and an installer whose runtime
lacks one is made with a warning. The application, compiled here, needs
java.prefs, which the runtime has through java.desktop, java.sql, which
java.desktop does not pull in, and in a multi-release jar's versioned
classes java.net.http."""

import os
import shutil
import unittest
import zipfile

import harness
import kit_support
from kit_support import NAME

JDK_TOOLS = os.path.join(harness.JLINK_HOME, "bin")
MAIN = """package demo;
public class Main {
  public static void main(String[] args) {
    System.out.println(java.sql.JDBCType.valueOf(4) + " " + java.util.prefs.Preferences.class.getSimpleName());
  }
}
"""
NET = """package demo;
public class Net { public static Object client() { return java.net.http.HttpClient.newHttpClient(); } }
"""


def feature(home):
    """The feature version of the JDK in home, from its release file."""
    with open(os.path.join(home, "release")) as f:
        version = next(l for l in f if l.startswith("JAVA_VERSION=")).split("=")[1].strip('"\n')
    return int(version.split(".")[0])


class Modules(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = d = harness.Scratch()
        d.write("src/demo/Main.java", MAIN)
        d.write("src/demo/Net.java", NET)
        for args in (["javac", "-d", d / "classes", d / "src/demo/Main.java", d / "src/demo/Net.java"],
                     ["jar", "--create", "--file", d.mkdir("app/lib") / "hello.jar", "--main-class", "demo.Main",
                      "-C", d / "classes", "demo/Main.class"]):
            r = harness.run(args[1:], program=os.path.join(JDK_TOOLS, args[0]), timeout=120)
            assert r.status == 0, r
        # Net only for Java 11 and later, which jdeps reads as its own release.
        with zipfile.ZipFile(d / "app/lib/net.jar", "w") as jar:
            jar.writestr("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\nMulti-Release: true\r\n\r\n")
            jar.write(d / "classes/demo/Net.class", "META-INF/versions/11/demo/Net.class")
        cls.app = d / "app"

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def mksetup(self, app, options, out="setup", env=None):
        return harness.run(kit_support.arguments(self.dir, app) + options + [self.dir / out], program=harness.MKSETUP,
                           env=env if env is not None else {"JAVA_HOME": harness.JLINK_HOME}, timeout=300)

    def broken(self, name, content):
        """A copy of the application with one more jar: content, or a jar of
        the classes content names."""
        app = self.dir / name
        shutil.copytree(self.app, app)
        if isinstance(content, bytes):
            with open(app / "lib/extra.jar", "wb") as f:
                f.write(content)
        else:
            with zipfile.ZipFile(app / "lib/extra.jar", "w") as jar:
                for entry, data in content.items():
                    jar.writestr(entry, data)
        return app

    def test_auto_links_what_the_jars_need_and_the_application_runs_on_it(self):
        d = self.dir
        r = self.mksetup(self.app, ["--jlink", "auto", "--jdk", harness.JDK], out="auto")
        modules = "java.base,java.net.http,java.prefs,java.sql,java.desktop"
        self.assertEqual((r.status, r.stderr), (0, b""), r)
        self.assertRegex(r.stdout.decode(), r"^mksetup: making a runtime of %s with jlink\nmksetup: made .*, with a "
                         r"runtime of %s made by jlink\n$" % (modules, modules))
        state = d.write("state", "installDir=%s\nlicenseAccepted=true\n" % (d / "installed"))
        r = harness.run(["-silent", state], program=d / "auto", env={"JAVA_HOME": None, "XDG_DATA_DIRS": d / "xdg"})
        self.assertEqual(r.status, 0, r)
        with open(d / "installed/runtime/release") as f:
            listed = next(l for l in f if l.startswith("MODULES=")).strip('MODULES="\n').split()
        self.assertLessEqual({"java.sql", "java.net.http"}, set(listed))
        r = harness.run([], program=d / "installed/bin" / NAME, env={"PATH": harness.TOOLS_PATH, "JAVA_HOME": None})
        self.assertEqual((r.status, r.stdout), (0, b"INTEGER Preferences\n"), r)

    def test_a_runtime_that_lacks_a_module_the_jars_need_draws_one_warning(self):
        runtime = kit_support.RUNTIME
        for options, env, warning in (
                (["--jlink", "java.base", "--jdk", harness.JDK], None, "the application needs java.net.http, java.sql, "
                 "which the runtime lacks; add them to --jlink or use --jlink auto"),
                (["--runtime", runtime], None, "the application needs java.net.http, java.sql, which the runtime in "
                 "%s lacks; bundle a runtime with them or use --jlink auto" % runtime),
                # No jdeps on the host, so no check.
                (["--runtime", runtime], {}, None)):
            r = self.mksetup(self.app, options, env=env)
            self.assertEqual((r.status, r.stderr.decode()), (0, "mksetup: warning: %s\n" % warning if warning else ""),
                             options)
        app = self.broken("unreadable", b"not a jar")
        r = self.mksetup(app, ["--runtime", runtime])
        self.assertEqual((r.status, r.stderr.decode()), (0, "mksetup: warning: the modules the application needs were "
                         "not checked against the runtime in %s: %s/lib/extra.jar: not a jar (Not a zip archive)\n"
                         % (runtime, app)))

    def test_auto_refuses_in_one_line_what_jdeps_cant_read(self):
        d = self.dir
        # A class for the Java after the JDK's: jdeps would pass over it, and its runtime refuses it.
        with open(d / "classes/demo/Main.class", "rb") as f:
            newer = bytearray(f.read())
        major = feature(harness.JLINK_HOME) + 45
        newer[6:8] = major.to_bytes(2, "big")
        # A modular jar that requires a module no jar holds: jdeps fails with a stack trace.
        d.write("modules/lib/module-info.java", "module lib {}\n")
        d.write("modules/demo/module-info.java", "module demo { requires lib; }\n")
        javac = os.path.join(JDK_TOOLS, "javac")
        for args in (["-d", d / "modules/lib", d / "modules/lib/module-info.java"],
                     ["-p", d / "modules/lib", "-d", d / "modules/demo", d / "modules/demo/module-info.java"]):
            self.assertEqual(harness.run(args, program=javac, timeout=120).status, 0)
        with open(d / "modules/demo/module-info.class", "rb") as f:
            module = f.read()
        for name, content, message in (
                ("notajar", b"not a jar", "{app}/lib/extra.jar: not a jar (Not a zip archive)"),
                ("newer", {"demo/Newer.class": bytes(newer)},
                 "{app}/lib/extra.jar: demo/Newer.class is for Java %d (class-file version %d), newer than the JDK "
                 "of %s (Java %d)" % (major - 44, major, os.path.realpath(os.path.join(JDK_TOOLS, "jdeps")),
                                      major - 45)),
                ("modular", {"module-info.class": module},
                 "jdeps failed on the application's jars (exit status 1): java.lang.module.FindException: Module lib "
                 "not found, required by demo")):
            app = self.broken(name, content)
            r = self.mksetup(app, ["--jlink", "auto"], out=name + "-setup")
            self.assertEqual((r.status, r.stderr.decode()), (1, "mksetup: %s\n" % message.format(app=app)), name)
            self.assertFalse(os.path.exists(d / (name + "-setup")))


if __name__ == "__main__":
    unittest.main()
