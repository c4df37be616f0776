"""Signals reaching the launcher at any moment of a run: it cleans up and
ends with status 255 (or by the abort signal), and never hangs."""

import concurrent.futures
import os
import random
import shutil
import signal
import time
import unittest

import harness

CLEANUP = b"Deleting temporary files...\n"


class SignalTest(unittest.TestCase):
    def setUp(self):
        self.dir = harness.Scratch()
        self.addCleanup(self.dir.cleanup)

    def start_run(self, name, java_sleep, files=None):
        tmp = self.dir.mkdir("tmp-" + name)
        started = self.dir / ("started-" + name)
        java = harness.fake_java(self.dir / ("java-" + name), sleep=java_sleep, started=started,
                                 record=self.dir / ("rec-" + name + ".json"))
        setup = harness.installer(self.dir / name / "setup", files=files)
        proc = harness.start(["-console", "-tmpdir", tmp], program=setup, env={"JAVA_HOME": java})
        self.addCleanup(harness.kill_group, proc)
        self.addCleanup(harness.remove_lock_file, setup)
        return proc, tmp, started

    def test_termination_signals_while_the_jvm_runs(self):
        for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGALRM):
            proc, tmp, started = self.start_run(sig.name, java_sleep=60)
            harness.wait_for(started)
            began = time.monotonic()
            proc.send_signal(sig)
            r = harness.finish(proc, timeout=20)
            self.assertEqual(r.returncode, 255, (sig, r))
            self.assertLess(time.monotonic() - began, 5, "waited for the Java program")
            self.assertTrue(r.stdout.endswith(CLEANUP), r)
            self.assertEqual(os.listdir(tmp), [])

    def test_termination_after_the_hold_while_waiting_for_the_jvm(self):
        proc, tmp, started = self.start_run("wait", java_sleep=60)
        harness.wait_for(started)
        time.sleep(11)
        proc.send_signal(signal.SIGTERM)
        r = harness.finish(proc, timeout=20)
        self.assertEqual(r.returncode, 255, r)
        self.assertEqual(os.listdir(tmp), [])

    def test_a_fault_signal_cleans_up_then_aborts(self):
        for sig in (signal.SIGSEGV, signal.SIGQUIT):
            proc, tmp, started = self.start_run(sig.name, java_sleep=60)
            harness.wait_for(started)
            proc.send_signal(sig)
            r = harness.finish(proc, timeout=20)
            self.assertEqual(r.signal, signal.SIGABRT, (sig, r))
            self.assertTrue(r.stdout.endswith(CLEANUP), r)
            self.assertEqual(os.listdir(tmp), [])

    def test_hangup_is_ignored_also_by_the_jvm(self):
        proc, tmp, started = self.start_run("hup", java_sleep=1)
        harness.wait_for(started)
        proc.send_signal(signal.SIGHUP)
        r = harness.finish(proc, timeout=40)
        self.assertEqual(r.returncode, 0, r)
        rec = harness.read_record(self.dir / "rec-hup.json")
        self.assertTrue(rec["sigign"] & (1 << (signal.SIGHUP - 1)))
        self.assertFalse(rec["sigign"] & (1 << (signal.SIGTERM - 1)))
        self.assertEqual(os.listdir(tmp), [])

    def test_during_the_hold_after_the_jvm_ended(self):
        proc, tmp, started = self.start_run("hold", java_sleep=0)
        harness.wait_for(self.dir / "rec-hold.json")
        time.sleep(0.5)
        proc.send_signal(signal.SIGTERM)
        r = harness.finish(proc, timeout=20)
        self.assertEqual(r.returncode, 255, r)
        self.assertEqual(os.listdir(tmp), [])

    def test_signals_at_random_moments_of_many_runs(self):
        # Some land during the extraction of a few thousand files, some during
        # the runtime's probe, most while the Java program runs.
        files = {"package/f%04d.txt" % i: ("%d\n" % i) * 400 for i in range(3000)}
        template = harness.installer(self.dir / "template", files=files)
        java = harness.fake_java(self.dir / "java", sleep=3)
        slots, per_slot = 10, 10
        rng = random.Random(1234)
        delays = [[rng.uniform(0.05, 1.5) for _ in range(per_slot)] for _ in range(slots)]

        # Copied before any run starts: a file still open for writing when
        # another thread forks can't be executed.
        setups = []
        for n in range(slots):
            setups.append(self.dir / ("slot%d" % n) / "setup")
            os.makedirs(os.path.dirname(setups[n]))
            shutil.copy(template, setups[n])

        def slot(n):
            setup = setups[n]
            outcomes = []
            for i, delay in enumerate(delays[n]):
                tmp = self.dir.mkdir("slot%d-tmp%d" % (n, i))
                proc = harness.start(["-console", "-tmpdir", tmp], program=setup, env={"JAVA_HOME": java})
                time.sleep(delay)
                proc.send_signal(signal.SIGTERM if i % 2 else signal.SIGINT)
                r = harness.finish(proc, timeout=30)
                harness.kill_group(proc)
                outcomes.append((delay, r.returncode, os.listdir(tmp)))
            return outcomes

        with concurrent.futures.ThreadPoolExecutor(slots) as pool:
            results = [o for outcomes in pool.map(slot, range(slots)) for o in outcomes]
        for setup in setups:
            harness.remove_lock_file(setup)
        self.assertEqual(len(results), slots * per_slot)
        for delay, returncode, left in results:
            self.assertEqual(returncode, 255, "signal after %.2fs" % delay)
            self.assertEqual(left, [], "signal after %.2fs" % delay)


if __name__ == "__main__":
    unittest.main()
