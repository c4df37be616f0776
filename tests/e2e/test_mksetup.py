"""mksetup from its command line: the installers it writes and the launcher
that extracts them, its refusals, --list and --verify, and the files that
cmake --install puts in place."""

import glob
import os
import re
import shutil
import signal
import subprocess
import unittest
import zipfile

import harness
import kit_support

PAYLOAD = {
    "bramlet.class": b"\xca\xfe\xba\xbe main class",
    "package/PackageFormat.jar": b"jar",
    "docs/readme.txt": "read me\n" * 100,
    "docs/empty": b"",
}


def mksetup(args, program=None, **kwargs):
    return harness.run(args, program=program or harness.MKSETUP, **kwargs)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def glibc_needed(path):
    """The highest GLIBC_x.y[.z] that objdump -p lists among the versions
    the ELF file at path needs (weak ones aside), as a tuple; None when it
    needs none or is no ELF file."""
    r = subprocess.run(["objdump", "-p", path], capture_output=True)
    text = r.stdout.decode(errors="replace")
    if r.returncode != 0 or "Version References:" not in text:
        return None
    needs = re.findall(r"(?m)^\s+0x[0-9a-f]+ (0x[0-9a-f]+) \d+ GLIBC_(\d+(?:\.\d+)+)$",
                       text.split("Version References:", 1)[1])
    versions = [tuple(map(int, v.split("."))) for flags, v in needs if not int(flags, 16) & 2]  # VER_FLG_WEAK
    return max(versions, default=None)


def glibc_of(files):
    """(version, name): the highest glibc that objdump says the files
    (pairs of the name mksetup shows and a path) need, and the first file
    that needs it; None when none needs any."""
    best = None
    for name, path in files:
        version = glibc_needed(path)
        if version and (best is None or version > best[0]):
            best = (version, name)
    return best and (".".join(map(str, best[0])), best[1])


def runtime_files(setup, into, shown_as):
    """The runtime's files in the installer setup, in its order, extracted
    below into: pairs of the name shown_as gives them and their path."""
    with zipfile.ZipFile(setup) as z:
        names = [n for n in z.namelist() if n.startswith("package/jre/") and not n.endswith("/")]
        z.extractall(into, names)
    return [(shown_as + n[len("package/jre/"):], os.path.join(into, n)) for n in names]


class Mksetup(unittest.TestCase):
    def setUp(self):
        self.dir = harness.Scratch()
        self.addCleanup(self.dir.cleanup)
        for name, content in PAYLOAD.items():
            self.dir.write("payload/" + name, content)
        self.payload = self.dir / "payload"
        self.out = self.dir.mkdir("out", 0o777)

    def assertRefused(self, args, message, unprivileged=False, **kwargs):
        r = mksetup(args + [self.payload, self.out / "setup"], unprivileged=unprivileged, **kwargs)
        self.assertEqual((r.status, r.stderr.decode()), (1, "mksetup: %s\n" % message))
        self.assertEqual(os.listdir(self.out), [])

    def test_the_launcher_extracts_the_payload_and_runs_the_bundled_runtime(self):
        d = self.dir
        harness.java(d / "jre", layout="modern", log=d / "log", exit=3)
        r = mksetup(["--launcher", harness.LAUNCHER, "--runtime", d / "jre", self.payload, d / "setup"])
        self.assertEqual(r.status, 0, r)
        # The files the launcher creates, as strace sees them (LeakSanitizer can't work under it).
        r = harness.run(["-f", "-qq", "-o", d / "trace", "-e", "trace=openat", "-e", "status=successful", d / "setup",
                         "-console", "-tmpdir", d.mkdir("tmp")], program="/usr/bin/strace",
                        env={"JAVA_HOME": None, "ASAN_OPTIONS": "detect_leaks=0"})
        self.assertEqual(r.status, 3, r)
        run = harness.java_run(d / "log")
        self.assertEqual(run["arg"][0], run["cwd"] + "/package/jre/bin/java")
        self.assertLessEqual(set(PAYLOAD) | {"package/jre/lib/libjava.so"}, set(run["file"]))
        # The runtime, extracted first, is not written again with the rest.
        with open(d / "trace") as f:
            created = [line.split('"')[1] for line in f if "O_CREAT" in line]
        self.assertEqual(len(created), len(set(created)), created)
        self.assertIn("package/jre/bin/java", created)

    def test_a_java_8_kit_is_bundled_with_its_links_followed_and_dangling_ones_left_out(self):
        d = self.dir
        d.write("jdk/jre/bin/java", "#!/bin/sh\n", 0o755)
        d.write("jdk/jre/lib/%s/libjava.so" % harness.ARCH, "lib")
        d.write("jdk/lib/tools.jar", "tools")
        d.write("shared/cacerts", "certificates")
        os.symlink(d / "shared/cacerts", d / "jdk/jre/lib/cacerts")
        os.symlink("/nonexistent/doc", d / "jdk/jre/lib/doc")
        r = mksetup(["--runtime", d / "jdk", self.payload, d / "setup"])
        self.assertEqual((r.status, r.stderr.decode()), (0, "mksetup: warning: left out 1 link(s) of the runtime to "
                                                            "missing files, such as package/jre/jre/lib/doc\n"))
        with zipfile.ZipFile(d / "setup") as z:
            self.assertEqual(z.read("package/jre/jre/lib/cacerts"), b"certificates")
            self.assertIn("package/jre/lib/tools.jar", z.namelist())

    def test_the_same_inputs_give_the_same_bytes_with_times_from_source_date_epoch(self):
        epoch = {"SOURCE_DATE_EPOCH": "1700000000", "TZ": "Asia/Tokyo"}
        for name in ("a", "b"):
            self.assertEqual(mksetup([self.payload, self.out / name], env=epoch).status, 0)
            os.utime(self.payload / "docs/readme.txt", (1000000000, 1000000000))
        self.assertEqual(read(self.out / "a"), read(self.out / "b"))
        with zipfile.ZipFile(self.out / "a") as z:
            # 2023-11-14 22:13:20 UTC, in two-second steps.
            self.assertEqual({i.date_time for i in z.infolist()}, {(2023, 11, 14, 22, 13, 20)})
        r = mksetup([self.payload, self.out / "c"], env={"SOURCE_DATE_EPOCH": "yesterday"})
        self.assertEqual((r.status, r.stderr), (1, b"mksetup: SOURCE_DATE_EPOCH is not a number of seconds: "
                                                   b"'yesterday'\n"))

    def test_help_and_usage_errors(self):
        r = mksetup(["--help"])
        self.assertEqual(r.status, 0)
        self.assertTrue(r.stdout.startswith(b"Usage: mksetup [options] PAYLOAD_DIR OUTPUT\n"))
        for args, message in ((["x"], "give a payload directory and an output file"),
                              (["--level", "0", "x", "y"], "--level takes a deflate level from 1 to 9, not '0'"),
                              (["--store", "--level", "5", "x", "y"], "--store and --level exclude each other"),
                              (["--jdk", "/usr/lib/jvm/jdk", "x", "y"], "--jdk goes with --jlink"),
                              (["x", "y", "--launcher"], "--launcher needs a value")):
            r = mksetup(args)
            self.assertEqual(r.status, 1, args)
            self.assertTrue(r.stderr.startswith(("mksetup: %s\nUsage: mksetup" % message).encode()), r.stderr)

    def test_verbose_list_and_verify(self):
        setup = self.out / "setup"
        # The launcher beside mksetup, as mksetup finds it.
        launcher = os.path.join(os.path.dirname(os.path.realpath(harness.MKSETUP)), "bramlet-setup")
        r = mksetup(["-v", "--store", self.payload, setup])
        self.assertEqual((r.status, r.stdout.decode().splitlines()), (0, [
            "bramlet.class (15 bytes)", "docs/", "docs/empty (0 bytes)", "docs/readme.txt (800 bytes)", "package/",
            "package/PackageFormat.jar (3 bytes)",
            "mksetup: made %s: 6 entries, %d bytes, for %s, glibc %s or newer (%s), with no runtime" % (
                (setup, os.path.getsize(setup), harness.ARCH) + glibc_of([(launcher, launcher)]))]))
        r = mksetup(["--list", setup])
        lines = r.stdout.decode().splitlines()
        self.assertEqual((r.status, [l.split()[:2] + l.split()[3:] for l in lines[:-1]], lines[-1]), (0, [
            ["15", "stored", "bramlet.class"], ["0", "stored", "docs/"], ["0", "stored", "docs/empty"],
            ["800", "stored", "docs/readme.txt"], ["0", "stored", "package/"],
            ["3", "stored", "package/PackageFormat.jar"]], "6 entries, 818 bytes"))
        r = mksetup(["--verify", setup])
        self.assertEqual((r.status, r.stdout.decode()), (0, "%s: 6 entries intact, 818 bytes\n" % setup))
        # One byte of readme.txt's data changed: its CRC-32 no longer matches.
        data = bytearray(read(setup))
        data[data.rindex(b"read me\n")] ^= 0x20
        damaged = self.dir.write("damaged", bytes(data))
        r = mksetup(["--verify", damaged])
        self.assertEqual((r.status, r.stderr.decode()), (1, "mksetup: %s: docs/readme.txt: damaged (its data, size or"
                                                            " CRC-32 don't match)\n" % damaged))
        r = mksetup(["--verify", harness.UNINSTALLER])
        self.assertEqual((r.status, r.stderr.decode()),
                         (1, "mksetup: %s: no archive the launcher can read at its end\n" % harness.UNINSTALLER))
        r = mksetup(["--list", self.dir / "missing"])
        self.assertEqual((r.status, r.stderr.decode()), (1, "mksetup: %s: No such file or directory\n"
                                                         % (self.dir / "missing")))

    def test_the_launcher_and_the_runtime_are_for_one_machine(self):
        d = self.dir
        other = harness.for_other_machine(harness.LAUNCHER, d / "other/bramlet-setup")
        # A Java 8 runtime for the other machine goes with its launcher, as the summary says.
        harness.for_other_machine(harness.LAUNCHER, d / "jre8/bin/java")
        d.write("jre8/lib/%s/libjava.so" % harness.OTHER_ARCH, "")
        r = mksetup(["--launcher", other, "--runtime", d / "jre8", self.payload, d / "setup"])
        self.assertEqual(r.status, 0, r)
        self.assertRegex(r.stdout.decode(), r"^mksetup: made .*, for %s, glibc [\d.]+ or newer \(%s\), with the "
                         r"runtime in " % (harness.OTHER_ARCH, re.escape(other)))
        # Each other pairing is refused, a JDK for --jlink before jlink runs.
        mismatch = "%s runs on %s, %s on %s; give a launcher and a runtime for the same machine"
        self.assertRefused(["--launcher", harness.LAUNCHER, "--runtime", d / "jre8"], mismatch % (
            harness.LAUNCHER, harness.ARCH, "the runtime in %s" % (d / "jre8"), harness.OTHER_ARCH))
        self.assertRefused(["--launcher", other, "--runtime", harness.JDK], mismatch % (
            other, harness.OTHER_ARCH, "the runtime in %s" % harness.JDK, harness.ARCH))
        shutil.copytree(d / "jre8", d / "jdk")
        d.write("jdk/jmods/java.base.jmod", "")
        self.assertRefused(["--launcher", harness.LAUNCHER, "--jlink", "java.base", "--jdk", d / "jdk"], mismatch % (
            harness.LAUNCHER, harness.ARCH, "the JDK in %s" % (d / "jdk"), harness.OTHER_ARCH))
        self.assertRefused(["--launcher", other, "--jlink", "java.base", "--jdk", d / "jre8"], "%s: no "
                           "jmods/java.base.jmod; --jdk takes a JDK of Java 9 or later with its jmods" % (d / "jre8"))
        # A jlink that logs its arguments and makes a runtime for the target
        # (with the JDK's java), whichever modules it is given.
        jlink = ('#!/bin/sh\necho "$@" >> %s\nfor a; do case $a in --output=*) out=${a#*=};; esac; done\n'
                 '/bin/mkdir -p $out/bin $out/lib && /bin/touch $out/lib/libjava.so && /bin/cp %s/bin/java $out/bin\n')
        d.write("host/bin/jlink", jlink % (d / "jlink-args", harness.JDK), 0o755)
        self.assertRefused(["--launcher", other, "--jlink", "java.base"], mismatch % (
            other, harness.OTHER_ARCH, "the runtime jlink made from the host's JDK", harness.ARCH),
            env={"JAVA_HOME": d / "host"})
        # A JDK for the target: its modules go to jlink.
        os.unlink(d / "jdk/bin/java")
        shutil.copy(harness.JDK + "/bin/java", d / "jdk/bin/java")
        r = mksetup(["--launcher", harness.LAUNCHER, "--jlink", "java.base", "--jdk", d / "jdk", self.payload,
                     d / "setup2"], env={"JAVA_HOME": d / "host"})
        self.assertEqual(r.status, 0, r)
        with open(d / "jlink-args") as f:
            self.assertEqual(["--module-path=%s/jmods" % (d / "jdk") in line.split() for line in f], [False, True])

    def test_the_glibc_a_runtime_of_this_machine_needs_and_a_floor_below_it(self):
        d = self.dir
        options = ["--launcher", harness.LAUNCHER, "--jlink", "java.base", "--jdk", harness.JDK, "--level", "1"]
        jlink = {"JAVA_HOME": harness.JLINK_HOME}
        r = mksetup(options + [self.payload, d / "setup"], env=jlink, timeout=300)
        self.assertEqual(r.status, 0, r)
        files = [(harness.LAUNCHER, harness.LAUNCHER)] + runtime_files(d / "setup", d / "x", "package/jre/")
        version, name = glibc_of(files)
        self.assertGreater(tuple(map(int, version.split("."))), (2, 31), "this machine's runtime is no newer than "
                           "Debian 11's")
        self.assertTrue(r.stdout.decode().endswith(", for %s, glibc %s or newer (%s), with a runtime of java.base "
                                                   "made by jlink\n" % (harness.ARCH, version, name)), r.stdout)
        # Debian 11's glibc is too old for it.
        self.assertRefused(options + ["--glibc", "2.31"], "%s: needs glibc %s, newer than --glibc 2.31"
                           % (name, version), env=jlink, timeout=300)

    @unittest.skipUnless(os.path.isdir(os.path.join(harness.OLD_JDK, "jmods")),
                         "no JDK built for an older glibc at %r (BRAMLET_OLD_JDK)" % harness.OLD_JDK)
    def test_the_glibc_a_runtime_of_a_jdk_for_an_older_system_needs(self):
        d = self.dir
        app = kit_support.application(d, "app")
        # The launchers of a portable build need less than the runtime; a
        # native build's need this machine's glibc, so programs of the same
        # JDK stand in for launchers built for its system.
        launcher, uninstaller = harness.LAUNCHER, harness.UNINSTALLER
        if not harness.GLIBC_FLOOR:
            launcher, uninstaller = harness.OLD_JDK + "/bin/java", harness.OLD_JDK + "/bin/jar"
        options = ["--app", app, "--name", "old", "--version", "1", "--main-jar", "lib/hello.jar",
                   "--launcher", launcher, "--level", "1"]
        r = mksetup(options + ["--uninstaller", uninstaller, "--jlink", "java.base", "--jdk", harness.OLD_JDK,
                               "--glibc", "2.31", d / "setup"], env={"JAVA_HOME": harness.JLINK_HOME}, timeout=300)
        self.assertEqual(r.status, 0, r)
        files = [(launcher, launcher), (uninstaller, uninstaller)] + runtime_files(d / "setup", d / "x", "runtime/")
        version, name = glibc_of(files)
        self.assertTrue(name.startswith("runtime/"), name)
        self.assertLessEqual(tuple(map(int, version.split("."))), (2, 31))
        self.assertTrue(r.stdout.decode().endswith(", for %s, glibc %s or newer (%s), with a runtime of java.base,"
                                                   "java.desktop made by jlink\n" % (harness.ARCH, version, name)),
                        r.stdout)
        # Without a runtime the launchers decide; beside a stand-in that
        # needs 2.2.5, the uninstaller's launcher of this build, which needs
        # 2.17 or newer.
        r = mksetup(options + ["--uninstaller", harness.UNINSTALLER, d / "alone"])
        version, name = glibc_of([(launcher, launcher), (harness.UNINSTALLER, harness.UNINSTALLER)])
        if not harness.GLIBC_FLOOR:
            self.assertEqual(name, harness.UNINSTALLER)
        self.assertTrue(r.stdout.decode().endswith(", glibc %s or newer (%s), with no runtime\n" % (version, name)), r)

    def test_the_glibc_of_launchers_and_damaged_elf_files(self):
        d = self.dir
        version, name = glibc_of([(harness.LAUNCHER, harness.LAUNCHER)])
        # Its own glibc is floor enough; a bad floor is a usage error.
        r = mksetup(["--launcher", harness.LAUNCHER, "--glibc", version, self.payload, d / "setup"])
        self.assertEqual((r.status, r.stderr), (0, b""), r)
        for value in ("2", "two", "2.28.1.1", ""):
            r = mksetup(["--glibc", value, self.payload, d / "setup"])
            self.assertEqual(r.status, 1)
            self.assertTrue(r.stderr.startswith(("mksetup: --glibc takes a glibc version such as 2.28, not '%s'\n"
                                                 "Usage: " % value).encode()), r.stderr)
        # A static program needs no glibc: nothing is said of it.
        r = mksetup(["--launcher", "/sbin/ldconfig", "--glibc", "2.0", self.payload, d / "static"])
        self.assertEqual(r.status, 0, r)
        self.assertNotIn(b"glibc", r.stdout)
        self.assertTrue(r.stdout.endswith(b", with no runtime\n"), r.stdout)
        # A damaged ELF file in the runtime: one line, and the rest still counts.
        harness.java(d / "jre", layout="modern")
        d.write("jre/lib/libcut.so", read(harness.LAUNCHER)[:200])
        d.write("jre/lib/libcut2.so", read(harness.LAUNCHER)[:100])
        r = mksetup(["--launcher", harness.LAUNCHER, "--runtime", d / "jre", self.payload, d / "damaged"])
        self.assertEqual((r.status, r.stderr.decode()), (0, "mksetup: warning: 2 damaged ELF file(s), whose glibc "
                                                            "needs are not counted, such as package/jre/lib/libcut.so "
                                                            "(its headers lie outside it or are of an unknown kind)\n"))
        self.assertIn(", glibc %s or newer (%s), with the runtime in " % (version, name), r.stdout.decode())

    def test_refusals_and_warnings(self):
        d = self.dir
        setup = self.out / "setup"
        os.unlink(self.payload / "bramlet.class")
        self.assertRefused([], "%s: no bramlet.class at its top; the launcher would have nothing to run" % self.payload)
        d.write("payload/bramlet.class", "main")
        # A failing jlink in one line, without its own output.
        self.assertRefused(["--jlink", "no.such.module"], "jlink --add-modules=no.such.module failed (exit status 1): "
                           "Error: Module no.such.module not found", env={"JAVA_HOME": harness.JLINK_HOME})
        self.assertRefused(["--runtime", d / "payload/docs"], "%s: not a Java runtime the launcher accepts (no bin/java "
                           "beside lib/libjava.so)" % (d / "payload/docs"))
        self.assertRefused(["--launcher", harness.installer(d / "full")],
                           "%s: already carries a payload; give the bare launcher" % (d / "full"))
        self.assertRefused(["--launcher", harness.STAND_IN], "%s: not a launcher (no program for a machine Java runs "
                           "on)" % harness.STAND_IN)
        r = mksetup([self.payload, self.payload / "docs/setup"])
        self.assertEqual((r.status, r.stderr.decode()), (1, "mksetup: %s: lies inside the payload directory %s\n"
                                                         % (self.payload / "docs/setup", self.payload)))
        for payload, why in ((d / "nowhere", "No such file or directory"), (self.payload / "docs/empty", "not a directory")):
            r = mksetup([payload, setup])
            self.assertEqual((r.status, r.stderr.decode()), (1, "mksetup: %s: %s\n" % (payload, why)))
        # What the walk can't pack; each refusal leaves no file behind.
        os.mkfifo(d / "fifo")
        for name, target, why in (("fifo", d / "fifo", "a FIFO; only regular files and directories are packed"),
                                  ("dangling", d / "missing", "symbolic link to a missing file"),
                                  ("loop", ".", "symbolic link back into a directory that holds it")):
            os.symlink(target, self.payload / name)
            self.assertRefused([], "%s: %s" % (self.payload / name, why))
            os.unlink(self.payload / name)
        d.write("payload/secret", "s", 0o600)
        # The unprivileged user runs copies, as the build tree may lie where it can't go.
        shutil.copy(harness.LAUNCHER, d.mkdir("tools") / "bramlet-setup")
        self.assertRefused([], "%s: file can't be read" % (self.payload / "secret"), unprivileged=True,
                           program=shutil.copy(harness.MKSETUP, d / "tools"))
        os.unlink(self.payload / "secret")
        os.unlink(self.payload / "package/PackageFormat.jar")
        r = mksetup([self.payload, setup])
        self.assertEqual((r.status, r.stderr.decode()), (0, "mksetup: warning: %s: no package/PackageFormat.jar, which "
                                                            "the launcher puts on the class path\n" % self.payload))

    def test_an_interrupted_run_leaves_nothing(self):
        # Enough data that the archive is still being written when the signal comes.
        self.dir.write("payload/data", os.urandom(96 << 20))
        proc = harness.start([self.payload, self.out / "setup"], program=harness.MKSETUP)
        harness.wait_for(lambda: os.listdir(self.out), what="the staging directory")
        proc.send_signal(signal.SIGINT)
        r = harness.finish(proc)
        self.assertEqual((r.signal, r.stderr), (signal.SIGINT, b"mksetup: interrupted\n"))
        self.assertEqual(os.listdir(self.out), [])

    def test_the_main_class_is_the_one_the_launcher_runs(self):
        options = ["--launcher", harness.UNINSTALLER]
        self.assertRefused(options, "%s: no bramlet_uninstall.class at its top; the launcher would have nothing to run"
                           % self.payload)
        self.assertRefused(options + ["--main-class", "bramlet"], "%s: runs the main class bramlet_uninstall, not "
                           "bramlet; drop --main-class or give another launcher" % harness.UNINSTALLER)
        self.dir.write("payload/bramlet_uninstall.class", "uninstaller")
        self.assertEqual(mksetup(options + [self.payload, self.out / "uninstall"]).status, 0)
        self.assertEqual(read(self.out / "uninstall")[:os.path.getsize(harness.UNINSTALLER)], read(harness.UNINSTALLER))
        r = mksetup(["--version"])
        self.assertEqual((r.status, r.stdout), (0, b"mksetup 0.1.0\n"))

    def test_cmake_install_tree(self):
        """cmake --install: the launchers, mksetup and their man pages; the
        installed mksetup finds the installed launcher by itself."""
        d = self.dir
        prefix = d / "prefix"
        subprocess.run(["cmake", "--install", harness.BUILD_DIR, "--prefix", prefix], check=True,
                       stdout=subprocess.DEVNULL)
        for program in ("bramlet-setup", "bramlet-uninstall", "mksetup"):
            self.assertEqual(os.stat(prefix / "bin" / program).st_mode & 0o777, 0o755, program)
            r = subprocess.run(["man", "--warnings", "-l", prefix / "share/man/man1" / (program + ".1.gz")],
                               capture_output=True, env={"MANWIDTH": "80", "PATH": "/usr/bin:/bin"})
            self.assertEqual((r.returncode, r.stderr), (0, b""), program)
            self.assertIn(program.encode(), r.stdout)
        # Started through a link elsewhere, it still looks beside its own file.
        os.symlink(prefix / "bin/mksetup", d / "mksetup-link")
        r = harness.run([self.payload, d / "setup"], program=d / "mksetup-link")
        self.assertEqual(r.status, 0, r)
        launcher = read(prefix / "bin/bramlet-setup")
        self.assertEqual(read(d / "setup")[:len(launcher)], launcher)
        # With --app, it takes the installed kit and uninstaller.
        d.write("app/lib/hello.jar", read(os.path.join(os.environ["BRAMLET_EXAMPLE_APP"], "hello.jar")))
        r = harness.run(["--app", d / "app", "--name", "hello", "--version", "1", "--main-jar", "lib/hello.jar",
                         d / "app-setup"], program=d / "mksetup-link")
        self.assertEqual(r.status, 0, r)
        with zipfile.ZipFile(d / "app-setup") as z:
            self.assertEqual(z.read("package/PackageFormat.jar"), read(prefix / "share/bramlet/kit/PackageFormat.jar"))
            self.assertEqual(z.read("package/uninstall/uninstall"), read(prefix / "bin/bramlet-uninstall"))
        # What an installer carries besides its payload: no debug information,
        # and (but for a sanitizer's run-time) at most 320 KiB, the inflater
        # and the C++ run-time included.
        sections = subprocess.run(["readelf", "-S", "-W", prefix / "bin/bramlet-setup"], capture_output=True,
                                  check=True).stdout
        self.assertNotIn(b".debug_", sections)
        symbols = subprocess.run(["nm", "-D", prefix / "bin/bramlet-setup"], capture_output=True, check=True).stdout
        if b"__asan_init" not in symbols:
            self.assertLessEqual(len(launcher), 320 * 1024)
        # Alone, it asks for a launcher.
        shutil.copy(prefix / "bin/mksetup", d.mkdir("alone"))
        r = harness.run([self.payload, d / "setup2"], program=d / "alone/mksetup")
        self.assertEqual((r.status, r.stderr.decode()),
                         (1, "mksetup: no launcher beside mksetup (%s); name one with --launcher\n"
                          % (d / "alone/bramlet-setup")))

    def test_debian_package(self):
        d = self.dir
        subprocess.run(["cpack", "-G", "DEB", "-B", d / "deb"], cwd=harness.BUILD_DIR, check=True,
                       stdout=subprocess.DEVNULL)
        # Named and marked for the target, also when cross-built.
        deb, = glob.glob(d / ("deb/bramlet_0.1.0_%s.deb" % harness.DEB_ARCH))
        files = subprocess.run(["dpkg-deb", "--contents", deb], capture_output=True, check=True).stdout.decode()
        names = {line.split()[-1] for line in files.splitlines() if not line.startswith("d")}
        self.assertEqual(names, {"./usr/bin/" + p for p in ("bramlet-setup", "bramlet-uninstall", "mksetup")} |
                         {"./usr/share/man/man1/%s.1.gz" % p for p in ("bramlet-setup", "bramlet-uninstall", "mksetup")} |
                         {"./usr/share/bramlet/kit/" + f for f in ("bramlet.class", "bramlet_uninstall.class",
                                                                   "PackageFormat.jar")} |
                         {"./usr/share/doc/bramlet/" + f for f in ("README.md", "copyright", "examples/Hello.java",
                                                                   "examples/example.state", "examples/icon.png",
                                                                   "examples/license.txt")})
        fields = subprocess.run(["dpkg-deb", "--field", deb, "Depends", "Recommends", "Architecture"],
                                capture_output=True, check=True).stdout.decode()
        depends = {dep.split()[0] for dep in fields.split("\n")[0].split(": ", 1)[1].split(", ")}
        # ISA-L is linked in statically; without it zlib1g is a dependency too.
        self.assertLessEqual({"libc6", "libzip4"}, depends)
        self.assertNotIn("libxm4", depends)
        self.assertNotIn("libisal2", depends)
        if harness.GLIBC_FLOOR:
            # A portable build's programs carry the C++ library inside them.
            self.assertNotIn("libstdc++6", depends)
            self.assertNotIn("libgcc-s1", depends)
        self.assertIn("Recommends: libxm4, openjdk-17-jdk-headless | default-jdk-headless\nArchitecture: %s\n"
                      % harness.DEB_ARCH, fields)
        # apt would install it here; --reinstall, since with this version
        # installed already apt has nothing to do and says so.
        r = subprocess.run(["apt-get", "install", "--simulate", "--reinstall", deb], capture_output=True)
        self.assertEqual(r.returncode, 0, r)
        self.assertRegex(r.stdout.decode(), r"(?m)^Inst bramlet(:%s)? " % harness.DEB_ARCH)
        # Its launcher is one mksetup packs.
        subprocess.run(["dpkg-deb", "-x", deb, d / "root"], check=True)
        r = mksetup(["--launcher", d / "root/usr/bin/bramlet-setup", self.payload, d / "setup"])
        self.assertEqual(r.status, 0, r)
        self.assertRegex(r.stdout.decode(), r", for %s, glibc [\d.]+ or newer \(.*/bramlet-setup\), with no runtime\n"
                         % harness.ARCH)


if __name__ == "__main__":
    unittest.main()
