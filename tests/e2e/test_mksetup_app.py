"""What mksetup --app tells the installer kit in package/product.properties
(every option, escaped, and the class path it finds), the options it
refuses, and Gradle's installDist layout, whose start scripts it leaves
out."""

import os
import shutil
import unittest
import zipfile

import build_tools
import harness
import kit_support

BASE = ["--name", "hello", "--version", "1.0", "--main-jar", "lib/hello.jar", "--launcher", harness.LAUNCHER,
        "--uninstaller", harness.UNINSTALLER, "--level", "1"]


class AppOptions(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = d = harness.Scratch()
        cls.app = kit_support.application(d, "app")
        jar = d / "app/lib/hello.jar"
        # Below the directory, in byte order: blanks and ':' pass, the kit encodes them.
        for name in ("lib/z.jar", "lib/a b:c.jar", "lib/sub/dep.jar", "lib/sub-1.jar", "lib/\u00e9.jar"):
            os.makedirs(os.path.dirname(d / "app" / name), exist_ok=True)
            shutil.copy(jar, d / "app" / name)
        d.mkdir("app/classes")

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def mksetup(self, app, options, out="setup"):
        return harness.run(["--app", app] + BASE + options + [self.dir / out], program=harness.MKSETUP)

    def product(self, app, options):
        """The result of mksetup and the product.properties of its installer."""
        r = self.mksetup(app, options)
        self.assertEqual(r.status, 0, r)
        with zipfile.ZipFile(self.dir / "setup") as setup:
            return r, setup.read("package/product.properties").decode("ascii"), setup.namelist()

    def test_every_option_goes_into_product_properties_escaped(self):
        _, text, _ = self.product(self.app, [
            "--terminal", "--menu", "--title", " Caf\u00e9 = 1:1 \\", "--title-translation", "ja_JP=\u3053\u3093",
            "--title-translation", "es=Hola", "--description", "Says \U0001F600", "--vendor", "Example #1!",
            "--category", "Development", "--category", "Utility", "--java-options", "-Dlogs=$APPDIR/logs",
            "--java-options", "-Xmx64m", "--arguments", " two words", "--arguments", "",
            "--launcher", "hello-cli=demo.Cli$Inner", "--file-type", "hello=application/x-hello",
            "--file-type", "tar.gz=application/gzip"])
        self.assertEqual(text, "\n".join([
            "name=hello", "version=1.0", "mainJar=lib/hello.jar", "mainClass=example.hello.Hello", "terminal=true",
            "menu=true", "title=\\ Caf\\u00E9 \\= 1\\:1 \\\\", "title.ja_JP=\\u3053\\u3093", "title.es=Hola",
            "description=Says \\uD83D\\uDE00", "vendor=Example \\#1\\!", "categories=Development;Utility;",
            "classPath.0=lib/a b\\:c.jar", "classPath.1=lib/sub-1.jar", "classPath.2=lib/sub/dep.jar",
            "classPath.3=lib/z.jar", "classPath.4=lib/\\u00E9.jar", "javaOption.0=-Dlogs\\=$APPDIR/logs",
            "javaOption.1=-Xmx64m", "argument.0=\\ two words", "argument.1=", "launcher.0.name=hello-cli",
            "launcher.0.class=demo.Cli$Inner", "fileType.0.extension=hello", "fileType.0.mimeType=application/x-hello",
            "fileType.1.extension=tar.gz", "fileType.1.mimeType=application/gzip", ""]))
        # The defaults; --class-path lists exactly what it names, in its order.
        _, text, _ = self.product(self.app, ["--class-path", "lib/z.jar:classes/", "--class-path", "lib/sub"])
        self.assertEqual(text.split("\n")[4:], [
            "terminal=false", "menu=true", "title=hello", "categories=Utility;", "classPath.0=lib/z.jar",
            "classPath.1=classes", "classPath.2=lib/sub", ""])

    def test_refusals(self):
        d, app = self.dir, self.app

        def variant(name, path=None):
            """A copy of the application, with a file at path."""
            shutil.copytree(app, d / name)
            if path:
                d.write(name + "/" + path, "#!/bin/sh\n", 0o755)
            return d / name

        script = variant("script-alone", "bin/hello")
        # The kit reads every name as Java text into line-based lists; the messages show none raw.
        names = variant("not-utf8", "lib/caf\udce9.jar")
        cr = variant("cr", "Icon\r")
        tab = variant("tab", "doc\tnotes/readme.txt")
        controls = variant("controls", "share/\x1b[1m\n")
        delete = variant("delete", "share/old\x7f")
        runtime = harness.java(d / "runtime", layout="modern")
        d.write("runtime/legal/\x1f", "")
        # The kit writes its start scripts into bin/.
        bin_file, bin_link = variant("bin-file"), variant("bin-link")
        shutil.rmtree(bin_file / "bin")
        d.write("bin-file/bin", "")
        shutil.rmtree(bin_link / "bin")
        os.symlink("share/data.txt", bin_link / "bin")
        installable = "which the installer can't install"
        for root, options, message in (
                (app, ["--class-path", "lib/z.jar:../app/lib/z.jar"], "--class-path ../app/lib/z.jar: give paths "
                 "inside the --app directory, such as lib/a.jar"),
                (app, ["--class-path", "./lib"], "--class-path ./lib: give paths inside the --app directory, such as "
                 "lib/a.jar"),
                (app, ["--class-path", "lib/none.jar"], "--class-path lib/none.jar: no file or directory of that name "
                 "in %s" % app),
                (app, ["--class-path", "share/data.txt"], "%s/share/data.txt: not a jar (Not a zip archive)" % app),
                (names, [], "%s/lib/caf\\xe9.jar: a file name that is not UTF-8, %s" % (names, installable)),
                (cr, [], "%s/Icon\\r: a file name with a control character, %s" % (cr, installable)),
                (tab, [], "%s/doc\\tnotes: a file name with a control character, %s" % (tab, installable)),
                (controls, [], "%s/share/\\x1b[1m\\n: a file name with a control character, %s"
                 % (controls, installable)),
                (delete, [], "%s/share/old\\x7f: a file name with a control character, %s" % (delete, installable)),
                (app, ["--runtime", runtime], "%s/legal/\\x1f: a file name with a control character, %s"
                 % (runtime, installable)),
                (bin_file, [], "%s/bin: a file where the installer makes a directory (bin holds the start scripts)"
                 % bin_file),
                (bin_link, [], "%s/bin: a file where the installer makes a directory (bin holds the start scripts)"
                 % bin_link),
                (app, ["--main-jar", "./lib/hello.jar"], "--main-jar './lib/hello.jar': give a path inside the --app "
                 "directory, such as lib/app.jar"),
                (app, ["--java-options", "-Da=1\n-Db=2"], "--java-options '-Da=1\n-Db=2': one JVM option takes one "
                 "line"),
                (app, ["--java-options", "Xmx64m"], "--java-options 'Xmx64m': a JVM option begins with '-', such as "
                 "-Xmx512m"),
                (app, ["--vendor", "Caf\udce9"], "--vendor takes one line of UTF-8 text"),
                (app, ["--description-translation", "es=Uno", "--description-translation", "es=Dos"],
                 "--description-translation gives es twice"),
                (app, ["--category", "Audio"], "--category Audio goes with --category AudioVideo"),
                (app, ["--category", "Game", "--category", "Game"], "--category Game is given twice"),
                (app, ["--file-type", ".hello=application/x-hello"], "--file-type '.hello=...': the extension takes "
                 "letters, digits, '.', '_' and '-'"),
                (app, ["--file-type", "a=text/plain", "--file-type", "a=text/x-a"], "--file-type a=...: *.a has a type "
                 "already"),
                (app, ["--launcher", "cli=demo.1Cli"], "--launcher cli=demo.1Cli: 'demo.1Cli' is not a Java class "
                 "name"),
                (app, ["--launcher", "-cli=demo.Cli"], "--launcher -cli=...: use letters, digits, '.', '_' and '-' "
                 "(not first)"),
                (app, ["--launcher", "hello.jar=demo.Cli"], "the commands hello and hello.jar would both need "
                 "bin/hello.jar"),
                # A start script without its .bat is the application's own, where the kit's goes.
                (script, [], "%s: holds bin/hello, which the installer makes itself" % script),
                (script, ["--name", "other", "--launcher", "hello=demo.Cli"], "%s: holds bin/hello, which the "
                 "installer makes itself" % script)):
            r = self.mksetup(root, options, out="refused")
            self.assertEqual((r.status, r.stderr.decode(errors="surrogateescape")), (1, "mksetup: %s\n" % message),
                             options)
        self.assertFalse(os.path.exists(d / "refused"))
        # Wrong command lines, followed by the usage; without --app, NAME=CLASS names the launcher's file.
        for options, message in ((["--app", app] + BASE + ["--class-path", ":"], "--class-path takes jars and "
                                  "directories separated by ':'"),
                                 (["--class-path", "a.jar"], "--name, --version, --main-jar and the other options of "
                                  "an application go with --app"),
                                 (["--launcher", "a=b", app], "a=b: No such file or directory")):
            r = harness.run(options + [d / "refused"], program=harness.MKSETUP, cwd=d.path)
            self.assertEqual(r.status, 1, r)
            self.assertIn(message, r.stderr.decode())

    def test_gradle_install_dist_packs_as_it_is(self):
        app = build_tools.gradle_install_dist(self.dir.mkdir("gradle"), ["-Dgreeting=hi 'there'", "-Xmx64m"])
        r, text, names = self.product(app, [])
        self.assertEqual(r.stdout.decode().split("\n")[0], "mksetup: leaving out bin/hello and bin/hello.bat, the "
                         "build's start scripts; the installer makes its own")
        self.assertEqual(r.stderr.decode(), "mksetup: warning: bin/hello passes JVM options ('\"-Dgreeting=hi "
                         "'\"'\"'there'\"'\"'\" \"-Xmx64m\"'); give them with --java-options\n")
        self.assertEqual([n for n in names if n.startswith("package/app/bin")], ["package/app/bin/"])
        # Gradle's jar names no Main-Class: its scripts do.
        self.assertIn("\nmainClass=demo.Main\n", text)
        self.assertEqual([line for line in text.split("\n") if line.startswith("classPath")],
                         ["classPath.0=lib/commons-lang3-3.12.0.jar"])
        # Scripts that pass no JVM options draw no warning.
        with open(app / "bin/hello") as f:
            script = f.read()
        self.assertIn("\nDEFAULT_JVM_OPTS='\"-Dgreeting", script)
        with open(app / "bin/hello", "w") as f:
            f.write(script.replace("DEFAULT_JVM_OPTS='\"-Dgreeting", "DEFAULT_JVM_OPTS='\"\"'\n#", 1))
        r, _, _ = self.product(app, ["--launcher", "hello-cli=demo.Main"])
        self.assertEqual(r.stderr, b"")


if __name__ == "__main__":
    unittest.main()
