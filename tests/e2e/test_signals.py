"""Signals reaching the launcher at each moment of a run: it cleans up and
ends with status 255 (or by the abort signal), and never waits for the Java
program."""

import os
import signal
import unittest

import harness

CLEANUP = "Deleting temporary files..."


class SignalTest(unittest.TestCase):
    def setUp(self):
        self.dir = harness.Scratch()
        self.addCleanup(self.dir.cleanup)
        self.files = {"package/f%04d.txt" % i: ("%d\n" % i) * 100 for i in range(2000)}

    def start_run(self, name, **java):
        """A run whose runtime waits, when it runs, for a file that never comes."""
        tmp = self.dir.mkdir("tmp-" + name)
        home = harness.java(self.dir / ("java-" + name), started=self.dir / ("started-" + name),
                            wait=self.dir / "never", **java)
        setup = harness.installer(self.dir / name / "setup", files=self.files)
        proc = harness.start_on_terminal(["-console", "-tmpdir", tmp], program=setup, env={"JAVA_HOME": home})
        self.addCleanup(harness.kill_group, proc)
        self.addCleanup(harness.remove_lock_file, setup)
        self.addCleanup(proc.terminal.close)
        return proc, tmp

    def lines_until_end(self, proc):
        lines = []
        while (line := harness.next_line(proc)) is not None:
            lines.append(line)
        return lines

    def test_each_moment_of_a_run_and_each_termination_signal(self):
        # A progress line, or the runtime's start, then the signal: the
        # working directory is gone with whatever was extracted into it.
        moments = ("Checking available disk space...", "Checking Java(TM) 2 Runtime Environment...",
                   "Extracting installation files...", "Launching Java(TM) 2 Runtime Environment...", "started")
        signals = (signal.SIGTERM, signal.SIGINT, signal.SIGALRM, signal.SIGVTALRM)
        for i, moment in enumerate(moments):
            sig = signals[i % len(signals)]
            with self.subTest(moment=moment, signal=sig.name):
                proc, tmp = self.start_run("m%d" % i)
                if moment == "started":
                    harness.wait_for(self.dir / ("started-m%d" % i))
                else:
                    while harness.next_line(proc) != moment:
                        pass
                proc.send_signal(sig)
                lines = self.lines_until_end(proc)
                r = harness.finish(proc)
                self.assertEqual(r.returncode, 255, r)
                self.assertEqual(lines[-1:], [CLEANUP])
                self.assertEqual(os.listdir(tmp), [])

    def test_a_signal_during_the_version_probe(self):
        proc, tmp = self.start_run("probe", probe_started=self.dir / "probing", probe_wait=self.dir / "never")
        harness.wait_for(self.dir / "probing")
        proc.send_signal(signal.SIGTERM)
        self.assertEqual(harness.finish(proc).returncode, 255)
        self.assertEqual(os.listdir(tmp), [])

    def test_a_fault_signal_cleans_up_then_aborts(self):
        for sig in (signal.SIGSEGV, signal.SIGQUIT, signal.SIGPIPE):
            with self.subTest(signal=sig.name):
                proc, tmp = self.start_run(sig.name)
                harness.wait_for(self.dir / ("started-" + sig.name))
                proc.send_signal(sig)
                lines = self.lines_until_end(proc)
                r = harness.finish(proc)
                self.assertEqual(r.signal, signal.SIGABRT, r)
                self.assertEqual(lines[-1:], [CLEANUP])
                self.assertEqual(os.listdir(tmp), [])

    def test_hangup_is_ignored_also_by_the_runtime(self):
        tmp = self.dir.mkdir("tmp")
        home = harness.java(self.dir / "java", started=self.dir / "started", wait=self.dir / "go",
                            log=self.dir / "log")
        setup = harness.installer(self.dir / "setup")
        proc = harness.start(["-console", "-tmpdir", tmp], program=setup, env={"JAVA_HOME": home})
        self.addCleanup(harness.kill_group, proc)
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
