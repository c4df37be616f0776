"""Signals reaching the launcher at each moment of a run: it ends the child
it waits for (the version probe, the runtime, the upgrade script), cleans up
and ends with status 255 (or by the abort signal)."""

import ctypes
import os
import select
import signal
import struct
import unittest

import harness

CLEANUP = b"Deleting temporary files...\n"


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    return True


class SignalTest(unittest.TestCase):
    def setUp(self):
        self.dir = harness.Scratch()
        self.addCleanup(self.dir.cleanup)
        self.files = {"package/f%04d.txt" % i: "%d\n" % i for i in range(2000)}

    def signalled(self, name, sig, moment, child=None, left=(), **java):
        """A run whose runtime waits, when it runs, for a file that never
        comes; sig reaches it once moment(tmp) holds. Returns its result, and
        whether the process whose id the file child names (by default the
        runtime's) outlived the launcher. Only the names left stay in tmp."""
        tmp = self.dir.mkdir("tmp-" + name)
        child = child or self.dir / ("started-" + name)
        java = {k: v for k, v in dict(dict(started=self.dir / ("started-" + name), wait=self.dir / "never"),
                                      **java).items() if v is not None}
        home = harness.java(self.dir / ("java-" + name), **java)
        setup = harness.installer(self.dir / name / "setup", files=self.files)
        self.addCleanup(harness.remove_lock_file, setup)
        proc = harness.start(["-console", "-tmpdir", tmp], program=setup, env={"JAVA_HOME": home})
        harness.wait_for(lambda: moment(tmp), what=name)
        proc.send_signal(sig)
        proc.wait(90)  # the launcher's own end, before the harness ends what is left of its session
        survived = False
        if os.path.exists(child):
            with open(child) as f:
                survived = alive(int(f.read()))
        r = harness.finish(proc)
        self.assertEqual(sorted(os.listdir(tmp)), sorted(left), name)
        self.assertFalse(os.path.exists(harness.lock_path(setup)), name)
        return r, survived

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
            r, survived = self.signalled(name, sig, moment, child=java.get("probe_started"), **java)
            self.assertEqual((r.returncode, survived), (255, False), (name, r))
            self.assertTrue(r.stdout.endswith(CLEANUP), (name, r))

    def test_a_termination_signal_reaches_the_runtime_too(self):
        log = self.dir / "log"
        r, survived = self.signalled("forwarded", signal.SIGTERM,
                                     lambda tmp: os.path.exists(self.dir / "started-forwarded"), log=log)
        self.assertEqual((r.returncode, survived), (255, False))
        self.assertIn("terminated=15\n", open(log).read())

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

        r, _ = self.signalled("extraction", signal.SIGTERM, extracting)
        count_after_signal()
        self.assertEqual(r.returncode, 255)
        self.assertLess(len(created), 1000, "entries extracted after the signal")

    def test_an_abort_signal_ends_the_child_then_cleans_up_and_aborts(self):
        """A Java runtime takes SIGQUIT for a thread dump and ignores SIGPIPE:
        it gets SIGTERM, and SIGKILL when that is ignored too."""
        started = lambda name: lambda tmp: os.path.exists(self.dir / ("started-" + name))
        probing = self.dir / "probe-started"
        for sig, moment, child, java in (
                (signal.SIGQUIT, lambda tmp: os.path.exists(probing), probing,
                 dict(probe_started=probing, probe_wait=self.dir / "never")),
                (signal.SIGPIPE, started("SIGPIPE"), None, dict(ignore="3,13,15")),
                (signal.SIGSEGV, started("SIGSEGV"), None, {}),
                (signal.SIGABRT, started("SIGABRT"), None, dict(ignore="15"))):
            r, survived = self.signalled(sig.name, sig, moment, child=child, **java)
            self.assertEqual((r.signal, survived), (signal.SIGABRT, False), (sig, r))
            self.assertTrue(r.stdout.endswith(CLEANUP), r)

    def test_the_upgrade_script_is_ended_too(self):
        pid, script = self.dir / "script-pid", "UpgradeInvoker.sh"
        tmp = self.dir.mkdir("tmp-upgrade")
        self.dir.write(tmp / script, "#!/bin/sh\ntrap '' TERM\necho $$ > %s.part\nmv %s.part %s\nwhile [ ! -e %s ]; do "
                       "/bin/sleep 1; done\n" % (pid, pid, pid, self.dir / "never"), 0o755)
        r, survived = self.signalled("upgrade", signal.SIGTERM, lambda tmp: os.path.exists(pid), child=pid,
                                     left=[script], wait=None, exit=10)
        self.assertEqual((r.returncode, survived), (255, False), r)

    @unittest.skipIf(harness.SANITIZED, "the sanitizer's allocator takes malloc's place; the plain build shows this")
    def test_a_fault_of_the_launcher_itself_even_inside_malloc_or_out_of_stack(self):
        """A malloc that faults while it holds its lock, or that runs out of
        stack, once the extraction is under way."""
        trigger = self.dir / "trigger"
        for how in ("segv", "overflow"):
            tmp = self.dir.mkdir("tmp-" + how)
            setup = harness.installer(self.dir / how / "setup", files=self.files)
            self.addCleanup(harness.remove_lock_file, setup)
            env = {"JAVA_HOME": harness.java(self.dir / "java"), "LD_PRELOAD": harness.MALLOC_FAULT,
                   "MALLOC_FAULT": how, "MALLOC_FAULT_TRIGGER": trigger}
            proc = harness.start(["-console", "-tmpdir", tmp], program=setup, env=env)
            harness.wait_for(lambda: any(os.path.exists(os.path.join(tmp, w, "package")) for w in os.listdir(tmp)))
            self.dir.write("trigger", str(proc.pid))
            r = harness.finish(proc)
            self.assertEqual(r.signal, signal.SIGABRT, (how, r))
            self.assertTrue(r.stdout.endswith(CLEANUP), (how, r))
            self.assertEqual(os.listdir(tmp), [], how)
            self.assertFalse(os.path.exists(harness.lock_path(setup)), how)

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
