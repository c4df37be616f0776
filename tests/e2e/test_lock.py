"""The per-user single-instance lock of a launcher file."""

import fcntl
import os
import signal
import unittest

import harness

ALREADY = b"Another installation process is already running. Exiting.\n"


class LockTest(unittest.TestCase):
    def setUp(self):
        self.dir = harness.Scratch()
        self.addCleanup(self.dir.cleanup)
        self.setup = harness.installer(self.dir / "setup")
        self.addCleanup(harness.remove_lock_file, self.setup)
        self.started = self.dir / "started"
        self.java = harness.java(self.dir / "java", started=self.started, wait=self.dir / "never")

    def start_first(self):
        proc = harness.start(["-console", "-tmpdir", self.dir.mkdir("tmp")], program=self.setup,
                             env={"JAVA_HOME": self.java})
        self.addCleanup(harness.kill_group, proc)
        harness.wait_for(self.started)
        return proc

    def test_a_second_run_of_the_same_file_is_refused(self):
        first = self.start_first()
        self.assertEqual(os.stat(harness.lock_path(self.setup)).st_mode & 0o777, 0o600)
        # The lock comes before the options: even -help is refused.
        second = harness.run(["-help"], program=self.setup)
        self.assertEqual((second.status, second.stderr, second.stdout), (1, ALREADY, b""))
        self.assertIsNone(first.poll())
        # Other users, other copies and other languages run alongside.
        self.assertEqual(harness.run(["-help"], program=self.setup, unprivileged=True).status, 0)
        copy = harness.installer(self.dir / "copy/setup")
        self.assertEqual(harness.run(["-help"], program=copy).status, 0)
        es = harness.run(["-help"], program=self.setup, env={"LANG": "es_ES.ISO-8859-1"})
        self.assertEqual(es.status, 0, es)
        self.assertTrue(es.stderr.startswith(b"Tratamiento: 'setup'"))
        first.send_signal(signal.SIGTERM)
        self.assertEqual(harness.finish(first).returncode, 255)

    def test_the_file_goes_with_a_normal_end_and_stays_unlocked_after_a_kill(self):
        self.assertEqual(harness.run(["-help"], program=self.setup).status, 0)
        self.assertFalse(os.path.exists(harness.lock_path(self.setup)))
        first = self.start_first()
        harness.kill_group(first)
        self.assertEqual(harness.finish(first).signal, 9)
        self.assertTrue(os.path.exists(harness.lock_path(self.setup)))
        r = harness.run(["-help"], program=self.setup)
        self.assertEqual(r.status, 0, r)
        self.assertFalse(os.path.exists(harness.lock_path(self.setup)))

    def test_a_planted_link_leaves_its_target_alone(self):
        link = harness.lock_path(self.setup)
        harness.remove_lock_file(self.setup)  # a killed run's, whose inode this file now has
        for target in (self.dir.write("victim", "precious"), self.dir / "not-created"):
            os.symlink(target, link)
            self.addCleanup(lambda: os.path.lexists(link) and os.unlink(link))
            self.assertEqual(harness.run(["-help"], program=self.setup).status, 0)
            if os.path.lexists(link):
                os.unlink(link)
        with open(self.dir / "victim") as f:
            self.assertEqual(f.read(), "precious")
        self.assertFalse(os.path.exists(self.dir / "not-created"))


    def test_what_another_user_plants_at_the_name_neither_blocks_nor_stops_a_run(self):
        """Run as the unprivileged user: a FIFO at the lock file's name, and
        another user's file there with a lock held on it."""
        link = harness.lock_path(self.setup, uid=harness.NOBODY)
        os.mkfifo(link, 0o666)
        self.addCleanup(lambda: os.path.lexists(link) and os.unlink(link))
        self.assertEqual(harness.run(["-help"], program=self.setup, unprivileged=True).status, 0)
        os.unlink(link)
        with open(link, "w") as foreign:
            os.chmod(link, 0o666)
            fcntl.lockf(foreign, fcntl.LOCK_EX | fcntl.LOCK_NB)
            self.assertEqual(harness.run(["-help"], program=self.setup, unprivileged=True).status, 0)
        self.assertTrue(os.path.exists(link), "another user's file was removed")

    def test_a_lock_on_a_file_that_lost_its_name_locks_nobody_out(self):
        # While the run waits to lock the file it opened (its lock held up
        # by strace), the file loses its name, as when the run before ends:
        # the run must lock the file under the name, which a third one sees.
        path = harness.lock_path(self.setup)
        open(path, "w").close()
        self.addCleanup(lambda: os.path.lexists(path) and os.unlink(path))
        proc = harness.start(["-o", "/dev/null", "-e", "trace=fcntl", "-e", "inject=fcntl:delay_enter=2000000:when=1", self.setup,
                              "-console", "-tmpdir", self.dir.mkdir("tmp")], program="/usr/bin/strace",
                             env={"JAVA_HOME": self.java})
        self.addCleanup(harness.kill_group, proc)
        harness.wait_for(lambda: any(os.path.normpath(path) in open_files(child) for child in children(proc.pid)),
                         what="the launcher's open lock file")
        os.unlink(path)
        harness.wait_for(self.started)
        third = harness.run(["-help"], program=self.setup)
        self.assertEqual((third.status, third.stderr), (1, ALREADY))


def open_files(pid):
    """The files pid has open, of those still open when looked at."""
    files = set()
    try:
        for fd in os.listdir("/proc/%d/fd" % pid):
            try:
                files.add(os.readlink("/proc/%d/fd/%s" % (pid, fd)))
            except FileNotFoundError:
                pass
    except FileNotFoundError:
        pass
    return files


def children(pid):
    """pid's child processes (strace's launcher)."""
    try:
        with open("/proc/%d/task/%d/children" % (pid, pid)) as f:
            return [int(c) for c in f.read().split()]
    except FileNotFoundError:
        return []


if __name__ == "__main__":
    unittest.main()
