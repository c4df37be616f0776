#!/usr/bin/env python3
"""Start-up benchmark: how long the example installer, with a runtime made by
jlink, takes from its start to the exec of that runtime, against one
extraction of the same installer by the zlib-only floor.

    bench/startup.py [--build DIR] [--work DIR] [--runs N]

Builds the launchers, mksetup, the kit, the example application and the floor in the build
directory (default: build), packs the installer under the work directory
(default: /tmp/bramlet-startup) and runs it N times (default 9) silently,
each run paired with a floor run right before it, both from a settled page
cache (see run.py). The launcher runs under strace, which stops it at
execve calls only (seccomp filter), for the times of its own exec and of
the runtime's. Printed: the medians of both and of the run-by-run ratios.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

from run import ROOT, settle_memory


def build(build_dir):
    if not os.path.exists(os.path.join(build_dir, "CMakeCache.txt")):
        subprocess.run(["cmake", "-S", ROOT, "-B", build_dir, "-DCMAKE_BUILD_TYPE=RelWithDebInfo"], check=True,
                       stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build_dir, "-j2", "--target", "bramlet-setup", "bramlet-uninstall", "mksetup", "kit", "example_app",
                    "bench_floor"], check=True, stdout=subprocess.DEVNULL)


def installer(build_dir, work):
    setup = os.path.join(work, "setup")
    if not os.path.exists(setup):
        subprocess.run([os.path.join(build_dir, "src", "mksetup"), "--app", os.path.join(build_dir, "examples", "app"),
                        "--name", "bramlet-example", "--version", "1.0", "--main-jar", "hello.jar", "--jlink",
                        "java.base", setup], check=True, stdout=subprocess.DEVNULL)
    return setup


def start_to_exec(setup, out, trace):
    """Seconds from the launcher's exec to the runtime's."""
    state = os.path.join(out, "state")
    with open(state, "w") as f:
        f.write("installDir=%s\n" % os.path.join(out, "installed"))
    tmp = os.path.join(out, "tmp")
    os.makedirs(tmp)
    subprocess.run(["/usr/bin/strace", "--seccomp-bpf", "-f", "-qq", "-ttt", "-e", "trace=execve", "-e", "status=successful",
                    "-e", "signal=none",
                    "-o", trace, setup, "-silent", state, "-tmpdir", tmp],
                   env={"PATH": "/usr/sbin:/sbin"}, check=True, stdout=subprocess.DEVNULL)
    times = {}
    with open(trace) as f:
        for line in f:
            _, at, call = line.split(None, 2)
            program = call.split('"')[1]
            if program == setup:
                times.setdefault("start", float(at))
            elif program.endswith("/package/jre/bin/java"):
                times.setdefault("exec", float(at))
    return times["exec"] - times["start"]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--work", default="/tmp/bramlet-startup")
    parser.add_argument("--runs", type=int, default=9)
    args = parser.parse_args()
    build_dir = os.path.abspath(args.build)
    build(build_dir)
    os.makedirs(args.work, exist_ok=True)
    setup = installer(build_dir, args.work)
    floor = os.path.join(build_dir, "bench", "bench_floor")
    out_root = os.path.join(args.work, "out")
    shutil.rmtree(out_root, ignore_errors=True)
    floors, launches, ratios = [], [], []
    for run in range(args.runs):
        out = os.path.join(out_root, str(run))
        os.makedirs(os.path.join(out, "floor"))
        settle_memory(setup)
        began = time.monotonic()
        subprocess.run([floor, setup, os.path.join(out, "floor")], check=True)
        floors.append(time.monotonic() - began)
        settle_memory(setup)
        launches.append(start_to_exec(setup, out, os.path.join(out, "trace")))
        ratios.append(launches[-1] / floors[-1])
    shutil.rmtree(out_root, ignore_errors=True)
    print("installer %s: %d bytes" % (setup, os.path.getsize(setup)))
    print("floor extraction   median %.3f s" % statistics.median(floors))
    print("start to exec      median %.3f s" % statistics.median(launches))
    print("ratio              median %.2f" % statistics.median(ratios))


if __name__ == "__main__":
    sys.exit(main())
