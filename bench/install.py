#!/usr/bin/env python3
"""End-to-end benchmark: a silent install of the example installer (made
with mksetup --app and a runtime made by jlink) from its start to its exit,
with today's launcher and with another one, in paired, interleaved runs.

    bench/install.py [--build DIR] [--work DIR] [--runs N] [--before REV | --before-launcher FILE]

Builds what the installer needs in the build directory (default: build).
The other launcher is bramlet-setup built from the git revision REV in a
temporary worktree, or FILE; without either only today's is measured. Both
installers carry the same payload. Each run installs into a fresh directory
from a settled page cache (see run.py). Printed: the median times and the
median of the run-by-run differences.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from run import ROOT, settle_memory
from startup import build


def launcher_of(rev, work):
    """bramlet-setup built from revision rev."""
    tree = os.path.join(work, "src-" + rev)
    if not os.path.exists(tree):
        subprocess.run(["git", "-C", ROOT, "worktree", "add", "--detach", tree, rev], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    build_dir = os.path.join(tree, "build")
    subprocess.run(["cmake", "-S", tree, "-B", build_dir, "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                    "-DBRAMLET_TESTS=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build_dir, "-j2", "--target", "bramlet-setup"], check=True,
                   stdout=subprocess.DEVNULL)
    return os.path.join(build_dir, "src", "bramlet-setup")


def installer(build_dir, launcher, setup):
    subprocess.run([os.path.join(build_dir, "src", "mksetup"), "--launcher", launcher, "--app",
                    os.path.join(build_dir, "examples", "app"), "--name", "bramlet-example", "--version", "1.0",
                    "--main-jar", "hello.jar", "--terminal", "--jlink", "java.base", setup], check=True,
                   stdout=subprocess.DEVNULL)
    return setup


def install(setup, out):
    """Seconds from the start of a silent install to its end."""
    os.makedirs(out)
    state = os.path.join(out, "state")
    with open(state, "w") as f:
        f.write("installDir=%s\nlicenseAccepted=true\n" % os.path.join(out, "installed"))
    began = time.monotonic()
    subprocess.run([setup, "-silent", state, "-tmpdir", out], env={"PATH": "/usr/sbin:/sbin", "HOME": out},
                   check=True, stdout=subprocess.DEVNULL)
    return time.monotonic() - began


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--work", default="/tmp/bramlet-install")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--before", help="a git revision whose launcher to compare")
    parser.add_argument("--before-launcher", help="a launcher to compare")
    args = parser.parse_args()
    build_dir = os.path.abspath(args.build)
    build(build_dir)
    os.makedirs(args.work, exist_ok=True)
    setups = {"today": installer(build_dir, os.path.join(build_dir, "src", "bramlet-setup"),
                                 os.path.join(args.work, "setup-today"))}
    before = args.before_launcher or (launcher_of(args.before, args.work) if args.before else None)
    if before:
        setups["before"] = installer(build_dir, before, os.path.join(args.work, "setup-before"))
    times = {name: [] for name in setups}
    out_root = tempfile.mkdtemp(prefix="runs.", dir=args.work)
    for run in range(args.runs):
        for name, setup in setups.items():
            settle_memory(setup)
            times[name].append(install(setup, os.path.join(out_root, "%s-%d" % (name, run))))
    shutil.rmtree(out_root, ignore_errors=True)
    for name, values in times.items():
        print("%-7s silent install, start to exit: median %.2f s (%s)"
              % (name, statistics.median(values), " ".join("%.2f" % v for v in values)))
    if "before" in times:
        print("difference: median %.2f s" % statistics.median(b - t for b, t in zip(times["before"], times["today"])))


if __name__ == "__main__":
    sys.exit(main())
