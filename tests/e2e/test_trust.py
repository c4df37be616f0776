"""Root's installer trusts nothing another user can change: a directory that
user made (with a planted manifest and a link in it) is refused untouched;
an environment taken from that user (sudo -E) with a planted desktop entry
and an applications link changes nothing of theirs; and in root's
installation nothing is left writable by group or others."""

import os
import unittest

import harness
import kit_support
from kit_support import NAME

TEXTS = kit_support.texts()
# In a mount namespace of its own, with a private /usr/local/share: the
# installation, the entry it made there, and whether the victim is intact.
AS_ROOT = """mount -t tmpfs -o mode=0755 none /usr/local/share || exit 9
"$0" -silent "$1" -tmpdir "$2" >/dev/null; echo "status $?"; ls /usr/local/share/applications; cat "$3"
"""


def snapshot(top):
    """Every path below top with its mode and contents."""
    found = {}
    for path in sorted(kit_support.installed(top)):
        st = os.lstat(path)
        content = os.readlink(path) if os.path.islink(path) else open(path, "rb").read() if os.path.isfile(path) else None
        found[path] = (st.st_mode, st.st_uid, content)
    return found


@unittest.skipIf(harness.EMULATED, "the kit is the same bytecode on every machine: seen natively")
class RootTrustsNoOtherUser(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = d = harness.Scratch()
        app = kit_support.application(d, "app")
        d.write("app/share/open.txt", "open\n", 0o666)
        os.chmod(d.mkdir("app/share/open"), 0o777)
        cls.setup = kit_support.installer(d, "setup", app, runtime=False)
        cls.victim = d.write("victim", "keep\n")
        # Another user's: a directory with a manifest naming the victim and a link inside.
        cls.theirs = d.mkdir("theirs")
        d.write("theirs/uninstall/manifest", "bramlet-manifest 2\nproduct %s\nversion 0.1\nf %s\n" % (NAME, cls.victim))
        os.symlink(d.mkdir("elsewhere"), d / "theirs/lib")
        # Their data directory, first in root's XDG_DATA_DIRS: an entry naming their manifest, and a link.
        cls.data = d.mkdir("data")
        d.write("data/applications/%s.desktop" % NAME, "[Desktop Entry]\nX-Bramlet-Manifest=%s\n"
                % (cls.theirs / "uninstall/manifest"))
        os.symlink(d.mkdir("aimed"), d / "data/mime")
        for top in (cls.theirs, cls.data, d / "elsewhere", d / "aimed"):
            for path in kit_support.installed(top):
                os.lchown(path, harness.NOBODY, harness.NOBODY)
        cls.before = {top: snapshot(top) for top in (cls.theirs, cls.data, d / "elsewhere", d / "aimed")}

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def install(self, key, target, **kwargs):
        state = self.dir.write("state-" + key, "installDir=%s\nlicenseAccepted=true\n" % target)
        return harness.run(["-silent", state, "-tmpdir", self.dir.mkdir("tmp-" + key)], program=self.setup,
                           env={"JAVA_HOME": harness.JDK, "XDG_DATA_DIRS": self.dir / "xdg"}, **kwargs)

    def assertUntouched(self):
        self.assertEqual({top: snapshot(top) for top in self.before}, self.before)
        with open(self.victim) as f:
            self.assertEqual(f.read(), "keep\n")

    def test_a_directory_another_user_made_is_refused_untouched(self):
        r = self.install("theirs", self.theirs)
        self.assertEqual((r.status, r.stderr.decode()), (1, TEXTS["failed"].replace("{0}", TEXTS["error.changeable"]
                         .replace("{0}", self.theirs).replace("{1}", self.theirs)) + "\n"))
        self.assertUntouched()

    def test_an_environment_from_another_user_changes_nothing_of_theirs(self):
        d = self.dir
        state = d.write("state-sudo", "installDir=%s\nlicenseAccepted=true\n" % (d / "mine"))
        r = harness.run(["-m", "/bin/sh", "-c", AS_ROOT, self.setup, state, d.mkdir("tmp-sudo"), self.victim],
                        program="/usr/bin/unshare", env={"JAVA_HOME": harness.JDK, "XDG_DATA_DIRS": self.data,
                                                         "PATH": "/usr/sbin:" + harness.TOOLS_PATH})
        self.assertEqual(r.stdout.decode(), "status 0\n%s.desktop\nkeep\n" % NAME, r)
        self.assertUntouched()

    def test_roots_installation_is_writable_by_root_alone(self):
        target = self.dir / "root"
        self.assertEqual(self.install("root", target).status, 0)
        modes = {name: os.stat(target / name).st_mode & 0o777 for name in ("share/open.txt", "share/open", "bin/tool")}
        self.assertEqual(modes, {"share/open.txt": 0o644, "share/open": 0o755, "bin/tool": 0o750})
        r = harness.run(["-c", "echo evil > %s/bin/%s" % (target, NAME)], program="/bin/sh", unprivileged=True)
        self.assertNotEqual(r.status, 0)


if __name__ == "__main__":
    unittest.main()
