"""An installer that mksetup made on the build machine, with a runtime that
its jlink made of Debian 11's JDK, on Debian 11 itself: these tests run
inside a Debian 11 root (tests/support/in_root.sh) that has no Java of its
own. The installer installs in console and in silent mode, for root and for
an unprivileged user, the application runs on the runtime installed with
it, started by its name from the bin directory on PATH, and the uninstaller leaves nothing of the installation anywhere."""

import os
import re
import subprocess
import unittest

import harness
import kit_support

SETUP = os.environ.get("BRAMLET_DEBIAN11_SETUP", "")
NAME = "bramlet-example"
TEXTS = kit_support.texts()
HELLO = "Hello from the bramlet example application.\n"
# What the runs may change on their own: the kernel's and the tests' trees.
NOT_LOOKED_AT = ("/proc", "/sys", "/dev", "/tmp", "/run", "/work", "/var/tmp")


def everything():
    """Every path of the system but those of NOT_LOOKED_AT and the trees
    mounted from the build machine, with its owner and mode."""
    found, skip = set(), set(NOT_LOOKED_AT) | set(os.environ.get("BIND", "").split(":"))
    for top, dirs, files in os.walk("/"):
        dirs[:] = [n for n in dirs if os.path.join(top, n) not in skip]
        for name in dirs + files:
            path = os.path.join(top, name)
            st = os.lstat(path)
            found.add((path, st.st_uid, st.st_mode))
    return found


class OnDebian11(unittest.TestCase):
    def setUp(self):
        with open("/etc/debian_version") as f:
            self.assertRegex(f.read(), r"^11\.")
        self.dir = harness.Scratch()
        self.addCleanup(self.dir.cleanup)
        self.home = self.dir.mkdir("home")
        os.chown(self.home, harness.NOBODY, harness.NOBODY)
        self.before = everything()

    def run_as(self, program, args=(), unprivileged=False, answers=None):
        """Runs program as root, or as the unprivileged user with its home,
        answering its questions with answers."""
        stdin = subprocess.DEVNULL
        if answers is not None:
            stdin = open(self.dir.write("answers", answers), "rb")
            self.addCleanup(stdin.close)
        return harness.run(args, program=program, env={"HOME": self.home} if unprivileged else {},
                           unprivileged=unprivileged, stdin=stdin, timeout=180)

    def install(self, args, unprivileged=False, answers=None):
        r = self.run_as(SETUP, args, unprivileged, answers)
        self.assertEqual((r.status, r.stderr), (0, b""), r)
        return r

    def assertRunsAndUninstalls(self, target, args, unprivileged=False, answers=None):
        # A terminal application: started by its name from the bin directory on PATH.
        bin = self.home / ".local/bin" if unprivileged else "/usr/local/bin"
        self.assertEqual(os.readlink(os.path.join(bin, NAME)), target / "bin" / NAME)
        app = self.run_as(os.path.join(bin, NAME), unprivileged=unprivileged)
        self.assertRegex(app.stdout.decode(), r"^%sIt runs on Java 17\S* from %s\.\n$"
                         % (re.escape(HELLO), re.escape(target / "runtime")))
        self.assertEqual(os.stat(target / "runtime/bin/java").st_uid, harness.NOBODY if unprivileged else 0)
        r = self.run_as(target / "uninstall/uninstall", args, unprivileged, answers)
        self.assertEqual(r.status, 0, r)
        self.assertIn(TEXTS["uninstall.done"].replace("{0}", NAME + " 1.0"), r.stdout.decode())
        self.assertFalse(os.path.lexists(target))
        self.assertEqual(everything() - self.before, set())
        self.assertEqual(kit_support.installed(self.home), {self.home})

    def test_root_installs_in_the_console_into_opt(self):
        # Welcome, the licence accepted, the directory offered.
        r = self.install(["-console"], answers="\nyes\n\n")
        target = harness.Path("/opt") / NAME
        # A terminal application: started by its name, not from the menus.
        self.assertIn(TEXTS["done.textCommand"].replace("{0}", NAME + " 1.0").replace("{1}", target).replace(
            "{2}", NAME), r.stdout.decode())
        self.assertFalse(os.path.lexists("/usr/local/share/applications"))
        self.assertRunsAndUninstalls(target, ["-console"], answers="yes\n")

    def test_root_installs_silently_where_the_answers_say(self):
        target = self.dir / "silent"
        self.install(["-silent", self.dir.write("state", "installDir=%s\nlicenseAccepted=true\n" % target)])
        self.assertRunsAndUninstalls(target, ["-silent"])

    def test_an_unprivileged_user_installs_in_the_console_into_its_home(self):
        self.install(["-console"], unprivileged=True, answers="\nyes\n\n")
        target = self.home / ".local/opt" / NAME
        self.assertFalse(os.path.lexists(self.home / ".local/share"))
        self.assertRunsAndUninstalls(target, ["-console"], unprivileged=True, answers="yes\n")

    def test_an_unprivileged_user_installs_silently(self):
        self.install(["-silent", self.dir.write("state", "licenseAccepted=true\n")], unprivileged=True)
        self.assertRunsAndUninstalls(self.home / ".local/opt" / NAME, ["-silent"], unprivileged=True)


if __name__ == "__main__":
    unittest.main()
