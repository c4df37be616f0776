"""The launcher running a real installer class on the JDK of this machine,
found through JAVA_HOME. (The example installer's tests run one bundled in
the payload.)"""

import os
import shutil
import subprocess
import tempfile
import unittest

import harness

JDK = "/usr/lib/jvm/java-17-openjdk-amd64"
HERE = os.path.dirname(os.path.abspath(__file__))


def compile_installer(out):
    """bramlet.class and package/PackageFormat.jar, for Java 8 and later."""
    classes = tempfile.mkdtemp(prefix="bramlet-javac.")
    try:
        subprocess.run([JDK + "/bin/javac", "--release", "8", "-d", classes, os.path.join(HERE, "java/bramlet.java"),
                        os.path.join(HERE, "java/package/PackageFormat.java")], check=True)
        files = {}
        with open(os.path.join(classes, "bramlet.class"), "rb") as f:
            files["bramlet.class"] = f.read()
        jar = os.path.join(classes, "PackageFormat.jar")
        subprocess.run([JDK + "/bin/jar", "cf", jar, "-C", classes, "PackageFormat.class"], check=True)
        with open(jar, "rb") as f:
            files["package/PackageFormat.jar"] = f.read()
        return files
    finally:
        shutil.rmtree(classes, ignore_errors=True)


class RealJdkTest(unittest.TestCase):
    def test_found_through_java_home(self):
        d = harness.Scratch()
        self.addCleanup(d.cleanup)
        tmp = d.mkdir("tmp")
        setup = harness.installer(d / "setup", files=compile_installer(d.path))
        r = harness.run(["-console", "-debug", "-tmpdir", tmp, "-id"], program=setup,
                        env={"JAVA_HOME": JDK, "BRAMLET_TEST_OUT": d / "out", "BRAMLET_TEST_STATUS": "7"})
        self.assertEqual(r.status, 7, r)
        with open(d / "out") as f:
            lines = f.read().splitlines()
        props = dict(line.split("=", 1) for line in lines if not line.startswith("arg="))
        args = [line[4:] for line in lines if line.startswith("arg=")]
        wd = props["java.io.tmpdir"]
        self.assertEqual(os.path.dirname(wd), tmp)
        self.assertEqual(props["temp.dir"], tmp)
        self.assertEqual(props["cwd"], wd)
        self.assertEqual(props["java.class.path"], "%s:%s/package/PackageFormat.jar" % (wd, wd))
        self.assertEqual(props["java.awt.headless"], "true")
        self.assertEqual(props["debug"], "true")
        self.assertEqual(props["maxMemoryMiB"], "256")
        self.assertTrue(props["format"].startswith("PackageFormat 17"), props["format"])
        self.assertEqual(args, ["-nodisplay", "-id"])
        self.assertEqual(os.listdir(tmp), [])
        self.assertTrue(props["java.home"].startswith(JDK), props["java.home"])


if __name__ == "__main__":
    unittest.main()
