"""Signals reaching the launcher at each moment of a run: it cleans up and
ends with status 255 (or by the abort signal), and never waits for the Java
program."""

import ctypes
import os
import select
import signal
import struct
import unittest

import harness

CLEANUP = b"Deleting temporary files...\n"


class SignalTest(unittest.TestCase):
    def setUp(self):
        self.dir = harness.Scratch()
        self.addCleanup(self.dir.cleanup)
        self.files = {"package/f%04d.txt" % i: "%d\n" % i for i in range(2000)}

    def signalled(self, name, sig, moment, **java):
        """A run whose runtime waits, when it runs, for a file that never
        comes; sig reaches it once moment(tmp) holds. Returns its result."""
        tmp = self.dir.mkdir("tmp-" + name)
        home = harness.java(self.dir / ("java-" + name), started=self.dir / ("started-" + name),
                            wait=self.dir / "never", **java)
        setup = harness.installer(self.dir / name / "setup", files=self.files)
        self.addCleanup(harness.remove_lock_file, setup)
        proc = harness.start(["-console", "-tmpdir", tmp], program=setup, env={"JAVA_HOME": home})
        harness.wait_for(lambda: moment(tmp), what=name)
        proc.send_signal(sig)
        r = harness.finish(proc)
        self.assertEqual(os.listdir(tmp), [], name)
        return r

    def test_each_moment_of_a_run_and_each_termination_signal(self):
        def extracting(tmp):
            work = os.listdir(tmp)
            return work and os.path.exists(os.path.join(tmp, work[0], "package"))

        moments = (("workdir", lambda tmp: os.listdir(tmp), {}), ("extracting", extracting, {}),
                   ("probing", lambda tmp: os.path.exists(self.dir / "probe-started"),
                    dict(probe_started=self.dir / "probe-started", probe_wait=self.dir / "never")),
                   ("running", lambda tmp: os.path.exists(self.dir / "started-running"), {}))
        signals = (signal.SIGTERM, signal.SIGINT, signal.SIGALRM, signal.SIGVTALRM)
        for (name, moment, java), sig in zip(moments, signals):
            r = self.signalled(name, sig, moment, **java)
            self.assertEqual(r.returncode, 255, (name, r))
            self.assertTrue(r.stdout.endswith(CLEANUP), (name, r))

    def test_a_termination_signal_reaches_the_runtime_too(self):
        log = self.dir / "log"
        r = self.signalled("forwarded", signal.SIGTERM, lambda tmp: os.path.exists(self.dir / "started-forwarded"),
                           log=log)
        self.assertEqual(r.returncode, 255)
        harness.wait_for(lambda: "terminated=15\n" in open(log).read(), what="the runtime's end")

    def test_a_signal_during_extraction_ends_it_after_the_entry_at_hand(self):
        # The files the launcher creates after the signal, as the kernel
        # reports them (inotify): the extraction goes on no further than
        # the entry it was writing.
        libc = ctypes.CDLL(None, use_errno=True)
        watcher = libc.inotify_init1(os.O_NONBLOCK)
        self.addCleanup(os.close, watcher)
        self.files = {"package/f%05d" % i: "" for i in range(60000)}
        created = []

        def extracting(tmp):
            work = os.listdir(tmp)
            package = work and os.path.join(tmp, work[0], "package")
            if not package or libc.inotify_add_watch(watcher, package.encode(), 0x100) < 0:  # IN_CREATE
                return False
            return True

        def count_after_signal():
            # Events queued since the watch began, read to the end of the run.
            while select.select([watcher], [], [], 0)[0]:
                data = os.read(watcher, 65536)
                while data:
                    _, mask, _, length = struct.unpack_from("iIII", data)
                    created.append(mask)
                    data = data[16 + length:]

        r = self.signalled("extraction", signal.SIGTERM, extracting)
        count_after_signal()
        self.assertEqual(r.returncode, 255)
        self.assertLess(len(created), 1000, "entries extracted after the signal")

    def test_a_fault_signal_cleans_up_then_aborts(self):
        for sig in (signal.SIGSEGV, signal.SIGQUIT, signal.SIGPIPE):
            r = self.signalled(sig.name, sig, lambda tmp: os.path.exists(self.dir / ("started-" + sig.name)))
            self.assertEqual(r.signal, signal.SIGABRT, r)
            self.assertTrue(r.stdout.endswith(CLEANUP), r)

    def test_hangup_is_ignored_also_by_the_runtime(self):
        tmp = self.dir.mkdir("tmp")
        home = harness.java(self.dir / "java", started=self.dir / "started", wait=self.dir / "go", log=self.dir / "log")
        proc = harness.start(["-console", "-tmpdir", tmp], program=harness.installer(self.dir / "setup"),
                             env={"JAVA_HOME": home})
        harness.wait_for(self.dir / "started")
        proc.send_signal(signal.SIGHUP)
        self.dir.write("go", "")
        self.assertEqual(harness.finish(proc).returncode, 0)
        ignored = {int(s) for s in harness.java_run(self.dir / "log")["ignored"]}
        self.assertLessEqual({signal.SIGHUP, signal.SIGWINCH, signal.SIGPWR}, ignored)
        self.assertFalse({signal.SIGTERM, signal.SIGALRM, signal.SIGQUIT} & ignored)
        self.assertEqual(os.listdir(tmp), [])


if __name__ == "__main__":
    unittest.main()
