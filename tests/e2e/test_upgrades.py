"""No installation is lost or left half-made: an upgrade stopped at several
moments (SIGTERM, SIGKILL, a full disk) leaves the earlier version working
with its menu entry, and a run after SIGKILL puts things right; a fresh
installation stopped at each of its steps leaves nothing; installing into
another directory, or an older version, needs the user's word; names beyond
ASCII install under the C locale; a directory the application ships
read-only is removed; a control character in the directory answer changes
nothing. The kit is held (tests/support/open_gate.c) as it opens a file of
a step for writing, and stopped there."""

import os
import shutil
import signal
import unittest
from concurrent.futures import ThreadPoolExecutor

import harness
import kit_support
from kit_support import NAME

HELLO = "Hello from the bramlet example application.\n"
TEXTS = kit_support.texts()
FULL_DISK = """mount -t tmpfs -o size="$6",mode=0755 none "$1" || exit 9
"$2" -silent "$3" -tmpdir "$4" >/dev/null || exit 8
"$5" -silent "$3" -tmpdir "$4"; echo "status $?"
"$1/t/bin/%s"; sed -n 3p "$1/t/uninstall/manifest"; ls -A "$1"
""" % NAME


def threads(pid):
    """The names of the threads of pid's children."""
    names = []
    with open("/proc/%d/task/%d/children" % (pid, pid)) as f:
        children = f.read().split()
    for child in children:
        for task in os.listdir("/proc/%s/task" % child):
            try:
                with open("/proc/%s/task/%s/comm" % (child, task)) as f:
                    names.append(f.read().strip())
            except OSError:
                pass
    return names


@unittest.skipIf(harness.EMULATED, "the kit is the same bytecode on every machine: seen natively")
class Upgrades(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = d = harness.Scratch()
        v1 = kit_support.application(d, "app1")
        v2 = kit_support.application(d, "app2")
        d.write("app3/doc/caf\u00e9 \u65e5\u672c.txt", "bytes\n")
        d.write("app3/ro/inside/file", "read-only\n")
        v3 = d / "app3"
        os.makedirs(v3 / "lib")
        os.link(v1 / "lib/hello.jar", v3 / "lib/hello.jar")
        os.chmod(v3 / "ro/inside", 0o555)
        os.chmod(v3 / "ro", 0o555)
        setup1 = kit_support.installer(d, "setup1", v1, runtime=False)
        # A file system that takes the first version and not the second beside it.
        cls.small = 3 * os.path.getsize(setup1) + (1 << 20)
        d.write("app2/lib/big.bin", os.urandom(cls.small))
        with ThreadPoolExecutor(2) as pool:
            made = pool.map(lambda a: kit_support.installer(d, a[0], a[1], version=a[2], runtime=False),
                            [("setup2", v2, "2.0"), ("setup3", v3, "3.0")])
        cls.setups = dict(zip(("1.0", "2.0", "3.0"), [setup1] + list(made)))
        cls.state = d.write("state", "licenseAccepted=true\n")
        cls.runs = {}
        scenarios = [("term", "upgrade", "lib/big.bin", signal.SIGTERM),
                     ("kill", "upgrade", "lib/big.bin", signal.SIGKILL),
                     ("killswap", "upgrade", "applications/.%s.desktop.bramlet-new" % NAME, signal.SIGKILL)]
        for step in ("uninstall/manifest", "lib/hello.jar", "bin/" + NAME, "applications/.%s.desktop.bramlet-new" % NAME):
            scenarios.append(("fresh-" + step.split("/")[-1], "fresh", step, signal.SIGTERM))
        # A copy each (the launcher lets one run of a file at a time), all made
        # before any starts: a file still open for writing in a child that
        # another thread forks can't be executed.
        for key, kind, _, _ in scenarios:
            for version in ("1.0", "2.0") if kind == "upgrade" else ("1.0",):
                shutil.copy(cls.setups[version], d / ("setup-%s-%s" % (key, version)))
        with ThreadPoolExecutor(4) as pool:
            cls.runs = dict(zip([s[0] for s in scenarios], pool.map(cls.stopped, scenarios)))

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    @classmethod
    def env(cls, key, **more):
        return dict(dict(JAVA_HOME=harness.JDK, XDG_DATA_DIRS=cls.dir / ("xdg-" + key)), **more)

    @classmethod
    def install(cls, key, version, target, state=None, **kwargs):
        state = state or cls.dir.write("state-" + key, "installDir=%s\nlicenseAccepted=true\n" % target)
        program = cls.dir / ("setup-%s-%s" % (key, version))
        if not os.path.exists(program):
            # A copy each: the launcher lets one run of a file at a time.
            shutil.copy(cls.setups[version], program)
        return harness.run(["-silent", state, "-tmpdir", cls.dir.mkdir("tmp-" + key, 0o1777)], program=program,
                           env=cls.env(key, **kwargs.pop("env", {})), timeout=120, **kwargs)

    @classmethod
    def stopped(cls, scenario):
        """Installs 1.0 (for an upgrade), then 2.0 (1.0 when fresh) held at
        the step's file and stopped there by the signal; returns the result
        of the stopped run, or the exception it met."""
        key, kind, step, sig = scenario
        d = cls.dir
        target = d / ("installed-" + key)
        try:
            if kind == "upgrade":
                r = cls.install(key, "1.0", target)
                assert r.status == 0, r
            gate = d / ("gate-" + key)
            held = dict(LD_PRELOAD=harness.OPEN_GATE, OPEN_GATE=gate)
            held["OPEN_GATE_PATTERN"] = (d / ("xdg-" + key) / step if step.startswith("applications/")
                                         else d / (".installed-%s.bramlet-new" % key) / step)
            if harness.SANITIZED:  # the launcher is preloaded too
                held["ASAN_OPTIONS"] = os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0"
            version = "2.0" if kind == "upgrade" else "1.0"
            program = d / ("setup-%s-%s" % (key, version))
            state = d.write("state-" + key, "installDir=%s\nlicenseAccepted=true\n" % target)
            proc = harness.start(["-silent", state, "-tmpdir", d.mkdir("tmp-" + key)], program=program,
                                 env=cls.env(key, **held))
            harness.wait_for(gate + ".waiting", timeout=120, what="the kit at " + step)
            if sig == signal.SIGKILL:
                harness.kill_group(proc)
            else:
                os.kill(proc.pid, sig)
                # The kit has taken the signal when its stop waits for the undo.
                harness.wait_for(lambda: "installer-undo" in threads(proc.pid), timeout=60, what="the kit's stop")
            d.write(os.path.basename(gate), "")
            return harness.finish(proc)
        except Exception as e:  # reported by the test that looks at this run
            return e

    def result(self, key):
        r = self.runs[key]
        if isinstance(r, Exception):
            raise r
        self.assertNotEqual(r.status, 0, r)
        return r

    def assertInstalled(self, key, version):
        """The version is installed and runs, its menu entry in place, nothing of another run beside it."""
        target = self.dir / ("installed-" + key)
        with open(target / "uninstall/manifest") as f:
            self.assertEqual(f.read().splitlines()[2], "version " + version)
        app = harness.run([], program=target / "bin" / NAME, env={"JAVA_HOME": harness.JDK})
        self.assertTrue(app.stdout.decode().startswith(HELLO), app)
        self.assertTrue(os.path.exists(self.dir / ("xdg-" + key) / "applications" / (NAME + ".desktop")))
        self.assertEqual(os.path.exists(target / "lib/big.bin"), version == "2.0")
        self.assertEqual(self.beside(key), [])
        self.assertEqual([n for n in os.listdir(self.dir / ("xdg-" + key) / "applications") if n.startswith(".")], [])

    def beside(self, key):
        """What a run left beside the installation's directory."""
        return [n for n in os.listdir(self.dir.path) if n.startswith(".installed-%s.bramlet-" % key)]

    def test_an_upgrade_stopped_while_it_copies_leaves_the_earlier_version_and_a_second_run_finishes(self):
        self.result("term")
        self.assertInstalled("term", "1.0")
        self.result("kill")
        # Killed, its half-made tree is left beside the earlier installation, which still runs...
        self.assertTrue(os.path.isdir(self.dir / ".installed-kill.bramlet-new"))
        target = self.dir / "installed-kill"
        app = harness.run([], program=target / "bin" / NAME, env={"JAVA_HOME": harness.JDK})
        self.assertTrue(app.stdout.decode().startswith(HELLO), app)
        # ... and the next run removes it and upgrades.
        self.assertEqual(self.install("kill", "2.0", target).status, 0)
        self.assertInstalled("kill", "2.0")

    def test_killed_once_the_new_version_is_in_place_the_next_run_removes_the_earlier(self):
        self.result("killswap")
        target = self.dir / "installed-killswap"
        self.assertTrue(os.path.exists(target / "lib/big.bin"))
        self.assertTrue(os.path.isdir(self.dir / ".installed-killswap.bramlet-old"))
        self.assertEqual(self.install("killswap", "2.0", target).status, 0)
        self.assertInstalled("killswap", "2.0")

    def test_a_fresh_installation_stopped_at_any_step_leaves_nothing(self):
        for step in ("manifest", "hello.jar", NAME, ".%s.desktop.bramlet-new" % NAME):
            key = "fresh-" + step
            with self.subTest(step=step):
                self.result(key)
                self.assertEqual(kit_support.installed(self.dir / ("installed-" + key)), set())
                self.assertEqual(kit_support.installed(self.dir / ("xdg-" + key)) - {self.dir / ("xdg-" + key)}, set())
                self.assertEqual(self.beside(key), [])

    def test_a_full_disk_leaves_the_earlier_version_and_names_the_file_it_could_not_write(self):
        d = self.dir
        mount = d.mkdir("small")
        state = d.write("state-full", "installDir=%s\nlicenseAccepted=true\n" % (mount / "t"))
        r = harness.run(["-m", "/bin/sh", "-c", FULL_DISK, "sh", mount, self.setups["1.0"], state, d.mkdir("tmp-full"),
                         self.setups["2.0"], str(self.small)], program="/usr/bin/unshare",
                        env=dict(self.env("full"), PATH="/usr/sbin:" + harness.TOOLS_PATH), timeout=180)
        out, err = r.stdout.decode(), r.stderr.decode()
        self.assertIn("status 1\n" + HELLO, out, r)
        self.assertIn("version 1.0\nt\n", out, r)
        self.assertRegex(err, r"%s: No space left on device \(file system .*, \d+ bytes free\); nothing was installed"
                         % (mount / "t/lib/big.bin"))

    def test_another_directory_or_an_older_version_needs_the_users_word(self):
        d = self.dir
        first, second = d / "installed-here", d / "installed-there"
        self.assertEqual(self.install("move", "2.0", first).status, 0)
        r = self.install("move", "1.0", first)
        question = TEXTS["earlier.newer"].replace("{0}", NAME + " 2.0").replace("{1}", NAME + " 1.0")
        self.assertEqual((r.status, r.stderr.decode()), (1, TEXTS["failed"].replace("{0}", TEXTS["error.confirm"].replace(
            "{0}", question).replace("{1}", "replaceInstalled")) + "\n"))
        r = self.install("move", "1.0", second)
        question = TEXTS["earlier.elsewhere"].replace("{0}", NAME + " 2.0").replace("{1}", first).replace("{2}", second)
        self.assertIn(question, r.stderr.decode())
        self.assertEqual(r.status, 1)
        # On the console, the question; "no" asks for the directory again.
        with open(d.write("answers-move", "\nq\nyes\n%s\nno\n" % second), "rb") as answers:
            r = harness.run(["-console", "-tmpdir", d / "tmp-move"], program=d / "setup-move-1.0", stdin=answers,
                            env=self.env("move"))
        self.assertEqual(r.status, 2, r)
        self.assertIn(question + " " + TEXTS["answer.prompt"] + TEXTS["directory.prompt"].replace("{0}", first),
                      r.stdout.decode())
        self.assertFalse(os.path.lexists(second))
        agreed = d.write("state-agreed", "installDir=%s\nlicenseAccepted=true\nreplaceInstalled=true\n" % second)
        self.assertEqual(self.install("move", "1.0", second, state=agreed).status, 0)
        self.assertFalse(os.path.lexists(first))
        with open(d / "xdg-move/applications" / (NAME + ".desktop")) as f:
            self.assertIn("\nExec=\"%s\"\n" % (second / "bin" / NAME), f.read())

    def test_names_beyond_ascii_and_read_only_directories_under_the_c_locale(self):
        d = self.dir
        home = d.mkdir("home")
        os.chown(home, harness.NOBODY, harness.NOBODY)
        target = home / "app"
        state = d.write("state-names", "installDir=%s\nlicenseAccepted=true\n" % target)
        r = self.install("names", "3.0", target, state=state, env={"HOME": home, "XDG_DATA_DIRS": None},
                         unprivileged=True)
        self.assertEqual(r.status, 0, r)
        self.assertEqual(os.listdir(os.fsencode(target / "doc")), ["caf\u00e9 \u65e5\u672c.txt".encode()])
        self.assertEqual(os.stat(target / "ro").st_mode & 0o777, 0o555)
        r = harness.run(["-silent", "-tmpdir", d / "tmp-names"], program=target / "uninstall/uninstall",
                        env={"JAVA_HOME": harness.JDK, "HOME": home}, unprivileged=True)
        self.assertEqual(r.status, 0, r)
        self.assertNotIn(TEXTS["uninstall.left"], r.stdout.decode())
        self.assertEqual(kit_support.installed(home) - kit_support.installed(home / ".local"), {home})

    def test_a_control_character_in_the_directory_answer_is_refused(self):
        d = self.dir
        victim = d.write("victim", "keep\n")
        state = d.write("state-cr", "installDir=%s/x\\rf %s\nlicenseAccepted=true\n" % (d / "cr", victim))
        r = self.install("cr", "1.0", d / "cr", state=state)
        self.assertEqual(r.status, 1, r)
        self.assertIn(TEXTS["error.notAbsolute"].replace("{0}", "%s/x\\x0df %s" % (d / "cr", victim)), r.stderr.decode())
        self.assertFalse(os.path.lexists(d / "cr"))
        with open(victim) as f:
            self.assertEqual(f.read(), "keep\n")


if __name__ == "__main__":
    unittest.main()
