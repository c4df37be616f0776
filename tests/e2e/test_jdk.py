"""The launcher running a real installer class on the JDK of this machine,
found through JAVA_HOME and bundled in the payload."""

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


def bundled_runtime():
    """A small runtime made with jlink, cached in the build directory."""
    cache = os.path.join(harness.BUILD_DIR or tempfile.gettempdir(), "test-cache", "jre")
    if not os.path.exists(os.path.join(cache, "bin", "java")):
        shutil.rmtree(cache, ignore_errors=True)
        os.makedirs(os.path.dirname(cache), exist_ok=True)
        subprocess.run([JDK + "/bin/jlink", "--add-modules", "java.base", "--strip-debug", "--no-man-pages",
                        "--no-header-files", "--output", cache], check=True)
    return cache


def tree(root, prefix):
    files = {}
    for dirpath, _, names in os.walk(root):
        for n in names:
            path = os.path.join(dirpath, n)
            with open(path, "rb") as f:
                files[prefix + os.path.relpath(path, root)] = f.read()
    return files


class RealJdkTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = harness.Scratch()
        cls.files = compile_installer(cls.dir.path)
        cls.batch = harness.Batch()
        for key, files, env in (
                ("java-home", cls.files, {"JAVA_HOME": JDK}),
                ("bundled", dict(cls.files, **tree(bundled_runtime(), "package/jre/")), {})):
            tmp = cls.dir.mkdir("tmp-" + key)
            setup = harness.make_payload(cls.dir / key / "setup", files)
            # Extracted files are made 0700, so the runtime's programs stay executable.
            env = dict(env, BRAMLET_TEST_OUT=cls.dir / ("out-" + key), BRAMLET_TEST_STATUS="7")
            cls.batch.start(key, ["-console", "-debug", "-tmpdir", tmp, "-id"], program=setup, env=env)

    @classmethod
    def tearDownClass(cls):
        cls.batch.finish_all()
        cls.dir.cleanup()

    def report(self, key):
        r = self.batch.result(key, timeout=120)
        self.assertEqual(r.status, 7, r)
        with open(self.dir / ("out-" + key)) as f:
            lines = f.read().splitlines()
        return r, dict(l.split("=", 1) for l in lines if not l.startswith("arg=")), \
            [l[4:] for l in lines if l.startswith("arg=")]

    def check(self, key):
        r, props, args = self.report(key)
        tmp = self.dir / ("tmp-" + key)
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
        return props

    def test_found_through_java_home(self):
        props = self.check("java-home")
        self.assertTrue(props["java.home"].startswith(JDK), props["java.home"])

    def test_bundled_in_the_payload(self):
        props = self.check("bundled")
        self.assertEqual(props["java.home"], props["java.io.tmpdir"] + "/package/jre")


if __name__ == "__main__":
    unittest.main()
