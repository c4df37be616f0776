"""What the launchers that installers carry ask of a user's system: glibc
symbol versions no newer than the build's floor (2.17), and no C++ or GCC
runtime library, which they carry inside. Read from the programs themselves
(their NEEDED entries and version needs, as the dynamic loader reads them),
for the launchers as built, as the tests run them and as they stand at the
head of an installer."""

import os
import re
import subprocess
import unittest

import harness

FLOOR = harness.GLIBC_FLOOR
SHIPPED = [os.path.join(harness.BUILD_DIR, "src", name) for name in ("bramlet-setup", "bramlet-uninstall")]


def version(text):
    return tuple(int(n) for n in text.split("."))


def needs(program):
    """The libraries program needs and the symbol versions it needs of
    them, as (library, version) pairs."""
    # readelf reads a program of any machine.
    out = subprocess.run(["readelf", "--dynamic", "--version-info", "--wide", program], capture_output=True,
                         check=True).stdout.decode()
    libraries = re.findall(r"\(NEEDED\)\s+Shared library: \[(.*)\]", out)
    versions, library = [], None
    section = out.partition("Version needs section")[2]
    for line in section.splitlines()[1:]:
        file = re.search(r"File: (\S+)", line)
        if file:
            library = file.group(1)
            continue
        name = re.search(r"Name: (\S+)", line)
        if name:
            versions.append((library, name.group(1)))
        elif line and not line.startswith(" "):
            break
    return libraries, versions


def problems(program):
    """What in program's needs a system with glibc FLOOR may lack."""
    libraries, versions = needs(program)
    found = ["needs %s" % l for l in libraries if re.match(r"lib(stdc\+\+|gcc_s)\.", l)]
    if not any(v.startswith("GLIBC_") for _, v in versions):
        found.append("reads as needing no glibc version at all")
    for library, v in versions:
        if re.match(r"(GLIBCXX|CXXABI|GCC)_", v):
            found.append("needs %s of %s" % (v, library))
        elif v.startswith("GLIBC_") and re.match(r"^[0-9.]+$", v[6:]) and version(v[6:]) > version(FLOOR):
            found.append("needs %s of %s" % (v, library))
    return found


@unittest.skipUnless(FLOOR, "a native build: its programs need the glibc of the machine that built them")
class Portable(unittest.TestCase):
    def test_the_launchers_need_nothing_newer_than_the_floor(self):
        d = harness.Scratch()
        self.addCleanup(d.cleanup)
        installer = harness.installer(d / "setup", launcher=SHIPPED[0])
        for program in SHIPPED + [harness.LAUNCHER, harness.UNINSTALLER, installer]:
            self.assertEqual(problems(program), [], program)

    def test_the_check_sees_what_an_ordinary_build_needs(self):
        # This machine's own C++ programs need its libstdc++ and glibc: the
        # check must tell.
        found = problems("/usr/bin/cmake")
        self.assertTrue([p for p in found if "libstdc++" in p], found)
        self.assertTrue([p for p in found if "GLIBCXX_" in p], found)


if __name__ == "__main__":
    unittest.main()
