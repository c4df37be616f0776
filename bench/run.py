#!/usr/bin/env python3
"""Extraction benchmark: bench_extract (the launcher's extraction, on every
core) against bsdtar and a zlib-only floor (one thread, what the launcher did
before), and with --more against unzip and Python's zipfile too.

    bench/run.py [--build DIR] [--work DIR] [--runs N] [--settle SECONDS] [--more] [--prefixed]

Builds bench_extract and bench_floor in the build directory (default: build),
makes the payloads under the work directory (default: /tmp/bramlet-bench,
reused by later runs): the installed JDK's tree deflated, 20,000 text files of
1-8 KiB in a tree of depth 4, the JDK tree stored, and with --prefixed each
also behind 1 MiB of foreign bytes. Each payload is extracted N times by every tool, each run into
a new empty directory, each tool's run paired with a floor run right before
it (floor, tool, floor, tool ...), because the machine's speed drifts between
calls; before each run the page cache is written back and dropped and the
archive read back in (as root). Printed: the median wall time and the largest maximum RSS of each
tool, and the median of its run-by-run ratios to the floor.

Nothing is deleted while a payload is measured; between payloads the outputs
are deleted and the file system is given SECONDS (default 60) to settle, since
creating files right after a large deletion is much slower for a while.
"""

import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import time
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PREFIX_SIZE = 1 << 20
SMALL_FILES = 20000


def find_jdk():
    javac = shutil.which("javac") or shutil.which("java")
    if not javac:
        sys.exit("no JDK found (javac or java on PATH)")
    return os.path.dirname(os.path.dirname(os.path.realpath(javac)))


def build(build_dir):
    if not os.path.exists(os.path.join(build_dir, "CMakeCache.txt")):
        subprocess.run(["cmake", "-S", ROOT, "-B", build_dir, "-DCMAKE_BUILD_TYPE=RelWithDebInfo"], check=True,
                       stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build_dir, "-j2", "--target", "bench_extract", "bench_floor"], check=True,
                   stdout=subprocess.DEVNULL)
    return (os.path.join(build_dir, "bench", "bench_extract"), os.path.join(build_dir, "bench", "bench_floor"))


def make_small_tree(root):
    """20,000 text files of 1-8 KiB, 20 to a directory four levels down."""
    rng = random.Random(20000)
    words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9))) for _ in range(500)]
    count = 0
    for a in range(5):
        for b in range(5):
            for c in range(5):
                for d in range(8):
                    leaf = os.path.join(root, "p%d" % a, "q%d" % b, "r%d" % c, "s%d" % d)
                    os.makedirs(leaf)
                    for f in range(SMALL_FILES // 1000):
                        size = rng.randint(1024, 8192)
                        text = []
                        length = 0
                        while length < size:
                            w = rng.choice(words)
                            text.append(w)
                            length += len(w) + 1
                        with open(os.path.join(leaf, "f%02d.txt" % f), "w") as out:
                            out.write(" ".join(text)[:size])
                        count += 1
    assert count == SMALL_FILES


def make_payloads(work, jdk, prefixed):
    """Returns [(name, path)], building what is missing."""
    os.makedirs(work, exist_ok=True)
    payloads = []

    def zipped(name, tree, store):
        path = os.path.join(work, name + ".zip")
        if not os.path.exists(path):
            print("making", path, file=sys.stderr)
            subprocess.run(["zip", "-qr"] + (["-0"] if store else []) + [path + ".part", "."], cwd=tree, check=True)
            os.rename(path + ".part", path)
        return path

    small_tree = os.path.join(work, "small-tree")
    if not os.path.exists(os.path.join(work, "small.zip")) and not os.path.isdir(small_tree):
        make_small_tree(small_tree + ".part")
        os.rename(small_tree + ".part", small_tree)
    plain = [("jdk", zipped("jdk", jdk, False)), ("small", zipped("small", small_tree, False)),
             ("jdk-stored", zipped("jdk-stored", jdk, True))]
    prefix = random.Random(1).randbytes(PREFIX_SIZE)
    for name, path in plain:
        payloads.append((name, path))
        if not prefixed:
            continue
        behind = os.path.join(work, name + "-prefixed.zip")
        if not os.path.exists(behind):
            with open(behind + ".part", "wb") as out, open(path, "rb") as archive:
                out.write(prefix)
                shutil.copyfileobj(archive, out)
            os.rename(behind + ".part", behind)
        payloads.append((name + " +1MiB", behind))
    return payloads


def tools(bench_extract, floor, more):
    python = os.path.realpath(sys.executable)
    commands = {
        "floor": lambda a, d: [floor, a, d],
        "bench_extract": lambda a, d: [bench_extract, a, d],
        "bsdtar -xf": lambda a, d: ["bsdtar", "-xf", a, "-C", d],
    }
    if more:
        commands["unzip -q"] = lambda a, d: ["unzip", "-q", a, "-d", d]
        commands["python3 -m zipfile -e"] = lambda a, d: [python, "-m", "zipfile", "-e", a, d]
    return commands


def settle_memory(archive):
    """Writes back and drops the page cache, then reads the archive back in.

    Every run then starts from the same state: nothing left to write back,
    the archive cached, free memory that the machine has used before. (On
    this virtual machine, page cache that grows into memory not used since
    boot costs several times more system time per page.)
    """
    os.sync()
    try:
        with open("/proc/sys/vm/drop_caches", "w") as f:
            f.write("1\n")
    except OSError:
        pass  # not root: the runs just vary more
    with open(archive, "rb") as f:
        while f.read(1 << 20):
            pass


def measure(command, rss_file, ok_statuses=(0,)):
    """Runs command; returns (wall seconds, max RSS in KiB).

    The tool is started through GNU time, which reports its maximum RSS: a
    child forked from this interpreter would count the interpreter's pages.
    """
    began = time.monotonic()
    subprocess.call(["/usr/bin/time", "-f", "%x %M", "-o", rss_file] + command, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    wall = time.monotonic() - began
    with open(rss_file) as f:
        code, rss = f.read().split()[-2:]
    if int(code) not in ok_statuses:
        sys.exit("%s failed with status %s" % (" ".join(command), code))
    return wall, int(rss)


def digest(tree):
    """CRC-32 and size of every file below tree, by relative path."""
    result = {}
    for root, _, files in os.walk(tree):
        for f in files:
            path = os.path.join(root, f)
            crc, size = 0, 0
            with open(path, "rb") as data:
                while block := data.read(1 << 20):
                    crc = zlib.crc32(block, crc)
                    size += len(block)
            result[os.path.relpath(path, tree)] = (crc, size)
    return result


def bench_payload(name, archive, commands, runs, out_root):
    """Measures one payload; returns {tool: (times, rss list, ratios)}."""
    results = {tool: ([], [], []) for tool in commands}
    first_outputs = {}
    for round_ in range(runs):
        for tool in commands:
            if tool == "floor":
                continue
            pair = []
            for who in ("floor", tool):
                dest = os.path.join(out_root, "%s-%d-%s" % (who.split()[0], round_, len(results[who][0])))
                os.makedirs(dest)
                settle_memory(archive)
                # unzip warns (status 1) about the bytes in front of a prefixed archive.
                wall, rss = measure(commands[who](archive, dest), os.path.join(out_root, "rss"),
                                    ok_statuses=(0, 1) if who == "unzip -q" else (0,))
                results[who][0].append(wall)
                results[who][1].append(rss)
                first_outputs.setdefault(who, dest)
                pair.append(wall)
            results[tool][2].append(pair[1] / pair[0])
            results["floor"][2].append(1.0)
    expected = digest(first_outputs["floor"])
    for tool, dest in first_outputs.items():
        if digest(dest) != expected:
            print("warning: %s extracted %s differently from the floor" % (tool, name), file=sys.stderr)
    return results


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--work", default="/tmp/bramlet-bench")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--settle", type=float, default=60)
    parser.add_argument("--jdk", default=None, help="JDK tree to zip (default: the one javac belongs to)")
    parser.add_argument("--only", nargs="+", help="measure only these payloads (jdk, small, jdk-stored, ...)")
    parser.add_argument("--more", action="store_true", help="unzip and Python's zipfile too")
    parser.add_argument("--prefixed", action="store_true", help="each payload behind 1 MiB of foreign bytes too")
    args = parser.parse_args()

    bench_extract, floor = build(os.path.abspath(args.build))
    payloads = make_payloads(args.work, args.jdk or find_jdk(), args.prefixed)
    commands = tools(bench_extract, floor, args.more)
    rows = []
    if args.only:
        payloads = [p for p in payloads if p[0] in args.only]
    for index, (name, archive) in enumerate(payloads):
        out_root = os.path.join(args.work, "out")
        removed = os.path.exists(out_root)
        if removed:
            shutil.rmtree(out_root)
        if index > 0 or removed:
            subprocess.run(["sync"])
            time.sleep(args.settle)
        os.makedirs(out_root)
        print("measuring", name, file=sys.stderr)
        results = bench_payload(name, archive, commands, args.runs, out_root)
        for tool in commands:
            times, rss, ratios = results[tool]
            rows.append((name, tool, statistics.median(times), max(rss) / 1024, statistics.median(ratios)))
    shutil.rmtree(os.path.join(args.work, "out"), ignore_errors=True)

    print("%-18s %-22s %10s %12s %9s" % ("payload", "tool", "median s", "max RSS MB", "x floor"))
    for name, tool, wall, rss, ratio in rows:
        print("%-18s %-22s %10.3f %12.1f %9.2f" % (name, tool, wall, rss, ratio))


if __name__ == "__main__":
    main()
