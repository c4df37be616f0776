"""The test helpers themselves: they must see what the launcher does."""

import os
import subprocess
import unittest

import harness


class HarnessTest(unittest.TestCase):
    def setUp(self):
        self.dir = harness.Scratch()
        self.addCleanup(self.dir.cleanup)

    def test_run_captures_how_a_program_ran_and_ended(self):
        r = harness.run(["-c", 'echo "$0 $FOO $(pwd) $(id -u)"; echo err >&2; exit 7'], program="/bin/sh",
                        argv0="named", env={"FOO": "bar"}, cwd=self.dir.path, unprivileged=True)
        self.assertEqual((r.status, r.stdout, r.stderr), (7, b"named bar %s 65534\n" % self.dir.path.encode(),
                                                          b"err\n"))
        r = harness.run(["-c", "kill -TERM $$"], program="/bin/sh")
        self.assertEqual((r.status, r.signal), (None, 15))
        with self.assertRaises(harness.TimedOut):
            harness.run(["-c", "sleep 30"], program="/bin/sh", timeout=1)

    def test_payload_is_the_launcher_followed_by_a_readable_archive(self):
        out = harness.make_payload(self.dir / "setup", {"package/": b"", "package/a.txt": "hello\n" * 100})
        with open(out, "rb") as f, open(harness.LAUNCHER, "rb") as image:
            self.assertEqual(f.read(os.path.getsize(harness.LAUNCHER)), image.read())
        self.assertEqual(harness.mode_of(out), 0o755)
        listing = subprocess.run(["unzip", "-Z1", out], capture_output=True).stdout.decode().split()
        self.assertEqual(sorted(listing), ["package/", "package/a.txt"])
        self.assertEqual(subprocess.run(["unzip", "-p", out, "package/a.txt"], capture_output=True).stdout,
                         b"hello\n" * 100)

    def test_fake_java_answers_version_and_records_calls(self):
        harness.fake_java(self.dir / "jre", version_line='java version "1.4.2_04"', status=3,
                          record=self.dir / "record.json")
        self.assertTrue(os.path.exists(self.dir / "jre/lib/amd64/libjava.so"))
        java = self.dir / "jre/bin/java"
        # The probe runs it with no environment at all.
        r = subprocess.run([java, "-version"], env={}, capture_output=True)
        self.assertEqual((r.stderr.splitlines()[0], r.stdout), (b'java version "1.4.2_04"', b""))
        r = subprocess.run([java, "-Dx=1", "bramlet"], env={"K": "v"}, cwd=self.dir.path)
        self.assertEqual(r.returncode, 3)
        rec = harness.read_record(self.dir / "record.json")
        self.assertEqual((rec["argv"], rec["env"]["K"], rec["cwd"]), ([java, "-Dx=1", "bramlet"], "v", self.dir.path))
        harness.fake_java(self.dir / "modern", layout="modern")
        self.assertTrue(os.path.exists(self.dir / "modern/lib/libjava.so"))


if __name__ == "__main__":
    unittest.main()
