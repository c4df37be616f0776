"""The installer trusts nothing another user can change. Each case builds a
small world in a directory of its own (a victim of root's, the other user's
plants), runs the real installer in it, and compares every path there,
with its owner, mode and contents, before and after: a directory that user
made is refused untouched; root's environment taken from that user (sudo
-E) changes nothing of theirs and puts the menu entry in
/usr/local/share; root's installation is writable by root alone; and an
unprivileged user is refused a directory that everybody may write."""

import os
import shutil
import unittest

import harness
import kit_support
from kit_support import NAME

TEXTS = kit_support.texts()
ROOT_ENV = {"JAVA_HOME": harness.JDK}
# In a mount namespace of its own, with a private /usr/local/share: the
# installer's status (it alone runs on the PATH given), then the entry and
# the file type it put there.
AS_ROOT = """given=$PATH; PATH=/usr/sbin:/usr/bin:/bin
mount -t tmpfs -o mode=0755 none /usr/local/share || exit 9
PATH=$given "$0" "$@" >&2; echo "status $?"; cd /usr/local/share &&
ls applications/%s.desktop mime/packages/%s.xml && grep ^X-Bramlet-Manifest= applications/%s.desktop
""" % (NAME, NAME, NAME)
# What the other user tries on root's installation afterwards.
TAMPER = """cd "$1" || exit 9
{ echo evil > bin/%s; rm -f bin/%s; echo evil > bin/evil; mv bin gone; echo evil >> uninstall/manifest; } 2>/dev/null
exit 0
""" % (NAME, NAME)


def snapshot(top):
    """Every path below top (top included) with its owner, mode and contents."""
    found = {}
    for path in sorted(kit_support.installed(top)):
        st = os.lstat(path)
        if os.path.islink(path):
            content = os.readlink(path)
        elif os.path.isfile(path):
            with open(path, "rb") as f:
                content = f.read()
        else:
            content = None
        found[path] = (st.st_mode, st.st_uid, st.st_gid, content)
    return found


def give(*tops):
    """Makes every path below tops the other user's."""
    for top in tops:
        for path in kit_support.installed(top):
            os.lchown(path, harness.NOBODY, harness.NOBODY)


def changeable(target, culprit):
    """The installer's one line when it refuses target for culprit."""
    return TEXTS["failed"].replace("{0}", TEXTS["error.changeable"].replace("{0}", target)
                                   .replace("{1}", culprit)) + "\n"


@unittest.skipIf(harness.EMULATED, "the kit is the same bytecode on every machine: seen natively")
class NothingAnotherUserCanChange(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = d = harness.Scratch()
        cls.batch = harness.Batch()
        app = kit_support.application(d, "app")
        # Modes that would let others change root's installation if they were kept.
        d.write("app/share/open.txt", "open\n", 0o666)
        os.chmod(d.mkdir("app/share/open"), 0o777)
        os.chmod(d / "app/bin", 0o777)
        setup = kit_support.installer(d, "setup", app, runtime=False, options=["--file-type", "hello=text/x-hello"])
        cls.before = {}

        def world(key):
            top = d.mkdir(key)
            d.write(key + "/victim", "keep\n")
            d.write(key + "/victim-dir/file", "keep\n")
            return top

        def plant_manifest(top, at):
            """A manifest of the product at at, naming root's victims."""
            d.write(os.path.relpath(at / "uninstall/manifest", d.path), "bramlet-manifest 2\nproduct %s\nversion 0.1\n"
                    "f %s\nf %s\nd %s\n" % (NAME, top / "victim", top / "victim-dir/file", top / "victim-dir"))

        def scenario(key, top, target, env, unprivileged=False, through=()):
            """Installs silently into target (through a command that runs its
            arguments), the run's temporary directory in top."""
            # A copy each: the launcher lets one run of a file at a time.
            setup_copy = shutil.copy(setup, d / ("setup-" + key))
            state = d.write(os.path.relpath(top / "state", d.path), "installDir=%s\nlicenseAccepted=true\n" % target)
            args = ["-silent", state, "-tmpdir", d.mkdir(os.path.relpath(top / "tmp", d.path), 0o1777)]
            cls.before[key] = snapshot(top)
            command = list(through) + [setup_copy] + args
            cls.batch.start(key, command[1:], program=command[0], env=env, unprivileged=unprivileged)

        # A directory the other user made, holding a manifest that names root's
        # files and a link into root's directory.
        top = world("theirs")
        plant_manifest(top, d.mkdir("theirs/dir"))
        os.symlink(top / "victim-dir", top / "dir/lib")
        give(top / "dir")
        scenario("theirs", top, top / "dir", dict(ROOT_ENV, XDG_DATA_DIRS=top / "xdg"))
        # Root's link on the way, into a directory of theirs.
        top = world("via")
        os.symlink(d.mkdir("via/elsewhere"), top / "link")
        give(top / "elsewhere")
        scenario("via", top, top / "link" / NAME, dict(ROOT_ENV, XDG_DATA_DIRS=top / "xdg"))

        # Root with the other user's environment: their data directory first,
        # whose applications link leads to root's directory, where an entry of
        # the product names a manifest they wrote; their home and their
        # programs first on PATH, named as the desktop's cache tools.
        top = world("sudo")
        plant_manifest(top, d.mkdir("sudo/theirs"))
        d.mkdir("sudo/data")
        os.symlink(d.mkdir("sudo/aimed"), top / "data/applications")
        d.write("sudo/aimed/%s.desktop" % NAME, "[Desktop Entry]\nType=Application\nName=x\nExec=x\n"
                "X-Bramlet-Manifest=%s\n" % (top / "theirs/uninstall/manifest"))
        for tool in ("update-desktop-database", "update-mime-database"):
            d.write("sudo/bin/" + tool, "#!/bin/sh\necho ran >> \"$0.ran\"\n", 0o755)
        d.mkdir("sudo/home/.local/share")
        give(top / "theirs", top / "data", top / "bin", top / "home")
        cls.sudo = top
        scenario("sudo", top, top / "mine", through=["/usr/bin/unshare", "-m", "/bin/sh", "-c", AS_ROOT],
                 env=dict(ROOT_ENV, XDG_DATA_DIRS="%s:/usr/share" % (top / "data"), HOME=top / "home",
                          XDG_DATA_HOME=top / "home/.local/share", USER="nobody", LOGNAME="nobody",
                          PATH="%s:/usr/sbin:%s" % (top / "bin", harness.TOOLS_PATH)))

        # Root's own installation, to be tampered with afterwards.
        top = world("root")
        cls.root = top
        scenario("root", top, top / "mine", dict(ROOT_ENV, XDG_DATA_DIRS=top / "xdg"))

        # An unprivileged user: a directory root made writable for everybody
        # is refused; one with the sticky bit, as /tmp, takes a directory of theirs.
        user = {"JAVA_HOME": harness.JDK, "XDG_DATA_HOME": None}
        for key, mode in (("open", 0o777), ("sticky", 0o1777)):
            top = world(key)
            d.mkdir(key + "/home")
            give(top / "home")
            os.chmod(d.mkdir(key + "/shared"), mode)
            scenario(key, top, top / "shared" / NAME, dict(user, HOME=top / "home"), unprivileged=True)

    @classmethod
    def tearDownClass(cls):
        cls.batch.finish_all()
        cls.dir.cleanup()

    def assertUntouched(self, key, made=()):
        """Nothing in key's world changed, but what is below the directories made."""
        after = {p: v for p, v in snapshot(self.dir / key).items()
                 if not any(p == m or p.startswith(m + "/") for m in made)}
        self.assertEqual(after, self.before[key])

    def test_a_directory_another_user_made_is_refused_untouched(self):
        r = self.batch.result("theirs")
        top = self.dir / "theirs"
        self.assertEqual((r.status, r.stderr.decode()), (1, changeable(top / "dir", top / "dir")), r)
        self.assertUntouched("theirs")
        r = self.batch.result("via")
        top = self.dir / "via"
        self.assertEqual((r.status, r.stderr.decode()), (1, changeable(top / "link" / NAME, top / "elsewhere")), r)
        self.assertUntouched("via")

    def test_an_environment_from_another_user_changes_nothing_of_theirs_nor_where_it_points(self):
        r = self.batch.result("sudo")
        top = self.sudo
        self.assertEqual(r.stdout.decode(), "status 0\napplications/%s.desktop\nmime/packages/%s.xml\n"
                         "X-Bramlet-Manifest=%s\n" % (NAME, NAME, top / "mine/uninstall/manifest"), r)
        self.assertUntouched("sudo", made=[top / "mine"])
        self.assertTrue(os.path.isfile(top / "mine/bin" / NAME))

    def test_roots_installation_is_writable_by_root_alone(self):
        r = self.batch.result("root")
        self.assertEqual(r.status, 0, r)
        mine = self.root / "mine"
        self.assertUntouched("root", made=[mine, self.root / "xdg"])
        installed = snapshot(mine)
        writable = [p for p, (mode, uid, gid, _) in dict(installed, **snapshot(self.root / "xdg")).items()
                    if uid != 0 or not os.path.islink(p) and mode & 0o022]
        self.assertEqual(writable, [])
        entry = "xdg/applications/%s.desktop" % NAME
        modes = {name: os.stat(self.root / name).st_mode & 0o7777
                 for name in ("mine/share/open.txt", "mine/share/open", "mine/bin", "mine/bin/tool", entry)}
        self.assertEqual(modes, {"mine/share/open.txt": 0o644, "mine/share/open": 0o755, "mine/bin": 0o755,
                                 "mine/bin/tool": 0o750, entry: 0o644})
        tamper = harness.run(["-c", TAMPER, "tamper", mine], program="/bin/sh", unprivileged=True,
                             env={"PATH": harness.TOOLS_PATH})
        self.assertEqual(tamper.status, 0, tamper)
        self.assertEqual(snapshot(mine), installed)

    def test_an_unprivileged_user_is_refused_a_directory_everybody_may_write(self):
        r = self.batch.result("open")
        top = self.dir / "open"
        self.assertEqual((r.status, r.stderr.decode()), (1, changeable(top / "shared" / NAME, top / "shared")), r)
        self.assertUntouched("open")
        # With the sticky bit nobody else can take their entries away.
        r = self.batch.result("sticky")
        self.assertEqual(r.status, 0, r)
        self.assertEqual(os.stat(self.dir / "sticky/shared" / NAME).st_uid, harness.NOBODY)


if __name__ == "__main__":
    unittest.main()
