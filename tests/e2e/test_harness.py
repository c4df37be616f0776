"""The test helpers themselves: they must see what the launcher does."""

import os
import subprocess
import unittest

import harness


class HarnessTest(unittest.TestCase):
    def setUp(self):
        self.dir = harness.Scratch()
        self.addCleanup(self.dir.cleanup)

    def test_run_captures_status_and_both_streams(self):
        r = harness.run(["-c", "echo out; echo err >&2; exit 7"], program="/bin/sh")
        self.assertEqual((r.status, r.stdout, r.stderr), (7, b"out\n", b"err\n"))
        r = harness.run(["-c", "kill -TERM $$"], program="/bin/sh")
        self.assertEqual((r.status, r.signal), (None, 15))

    def test_run_sets_argv0_environment_and_directory(self):
        r = harness.run(["-c", 'echo "$0 $FOO $LANG $(pwd)"'], program="/bin/sh", argv0="named",
                        env={"FOO": "bar"}, cwd=self.dir.path)
        self.assertEqual(r.stdout.decode(), "named bar  %s\n" % self.dir.path)

    def test_run_enforces_its_time_limit(self):
        with self.assertRaises(harness.TimedOut):
            harness.run(["-c", "sleep 30"], program="/bin/sh", timeout=1)

    def test_run_as_the_unprivileged_user(self):
        r = harness.run(["-u"], program="/usr/bin/id", unprivileged=True)
        self.assertEqual(r.stdout, b"65534\n")
        r = harness.run(["-G"], program="/usr/bin/id", unprivileged=True)
        self.assertEqual(r.stdout, b"65534\n")

    def test_payload_is_the_launcher_followed_by_a_readable_archive(self):
        out = harness.make_payload(self.dir / "setup", {"bramlet.class": b"\xca\xfe", "package/": b"",
                                                         "package/a.txt": "hello\n" * 100})
        with open(out, "rb") as f, open(harness.LAUNCHER, "rb") as image:
            self.assertEqual(f.read(os.path.getsize(harness.LAUNCHER)), image.read())
        self.assertEqual(harness.mode_of(out), 0o755)
        listing = subprocess.run(["unzip", "-Z1", out], capture_output=True).stdout.decode().split()
        self.assertEqual(sorted(listing), ["bramlet.class", "package/", "package/a.txt"])
        data = subprocess.run(["unzip", "-p", out, "package/a.txt"], capture_output=True).stdout
        self.assertEqual(data, b"hello\n" * 100)
        stored = harness.make_payload(self.dir / "stored", {"a": "x" * 1000}, store=True)
        verbose = subprocess.run(["unzip", "-v", stored], capture_output=True).stdout.decode()
        self.assertIn("Stored", verbose)

    def test_fake_java_answers_version_and_records_calls(self):
        home = harness.fake_java(self.dir / "jre", version_line='java version "1.4.2_04"', status=3,
                                 record=self.dir / "record.json")
        self.assertTrue(os.path.exists(self.dir / "jre/lib/amd64/libjava.so"))
        java = self.dir / "jre/bin/java"
        # The probe runs it with no environment at all.
        r = subprocess.run([java, "-version"], env={}, capture_output=True)
        self.assertEqual(r.stderr.splitlines()[0], b'java version "1.4.2_04"')
        self.assertEqual(r.stdout, b"")
        r = subprocess.run([java, "-Dx=1", "bramlet", "-nodisplay"], env={"K": "v"}, cwd=self.dir.path)
        self.assertEqual(r.returncode, 3)
        rec = harness.read_record(self.dir / "record.json")
        self.assertEqual(rec["argv"], [java, "-Dx=1", "bramlet", "-nodisplay"])
        self.assertEqual(rec["env"]["K"], "v")
        self.assertEqual(rec["cwd"], self.dir.path)
        self.assertEqual(home, self.dir / "jre")

    def test_fake_java_layouts_and_version_modes(self):
        harness.fake_java(self.dir / "modern", layout="modern")
        self.assertTrue(os.path.exists(self.dir / "modern/lib/libjava.so"))
        harness.fake_java(self.dir / "kit", layout="jre")
        self.assertTrue(os.path.exists(self.dir / "kit/jre/lib/amd64/libjava.so"))
        self.assertTrue(os.access(self.dir / "kit/jre/bin/java", os.X_OK))
        harness.fake_java(self.dir / "loud", version_mode="flood")
        r = subprocess.run([self.dir / "loud/bin/java", "-version"], env={}, capture_output=True)
        self.assertGreater(len(r.stderr), 100 * 1024)
        harness.fake_java(self.dir / "killed", version_mode="kill")
        r = subprocess.run([self.dir / "killed/bin/java", "-version"], env={}, capture_output=True)
        self.assertEqual(r.returncode, -9)


if __name__ == "__main__":
    unittest.main()
