#!/usr/bin/python3
"""The Java runtime stand-in of the tests: a runtime home's bin/java that
logs how it was started. It reads its behaviour from its own path with
".conf" appended (it may be started with an empty environment and closed
descriptors), one "key=value" a line:
  version=TEXT    the first line of "-version" (default: java version "1.8.0_91")
  to=WHERE        where "-version" writes: stderr (default), stdout, none, or
                  report: a version line that tells how it was started
  log=FILE        "-version" appends "probe"; a run appends its arguments,
                  environment, working directory and the files below it, and
                  its ignored signals, one "key=value" a line, then "end="
  copy=DIR        a run copies its working directory to DIR first (modes kept)
  started=FILE    a run writes its process id to FILE first
  wait=FILE       a run then waits until FILE exists
  probe_started=FILE, probe_wait=FILE   the same for "-version"
  probe_run=FILE  "-version" first runs the shell script FILE
  ignore=N,...    a run ignores these signals
  demote=1        "-version" leaves bin/java unexecutable behind itself
  exit=N, signal=N   how every call ends
A run that gets SIGTERM logs "terminated=15" and ends."""
import os
import signal
import sys
import time

# As the process was given it (Python may add to os.environ itself).
with open("/proc/self/environ", "rb") as f:
    environment = [e.decode(errors="surrogateescape") for e in f.read().split(b"\0") if e]
conf = {}
if os.path.exists(sys.argv[0] + ".conf"):
    with open(sys.argv[0] + ".conf") as f:
        conf = dict(line.partition("=")[::2] for line in f.read().splitlines())
version = sys.argv[1:] == ["-version"]
prefix = "probe_" if version else ""


def terminated(sig, frame):
    with open(conf["log"], "a") as f:
        f.write("terminated=%d\n" % sig)
    sys.exit(143)


if conf.get("log") and not version:
    signal.signal(signal.SIGTERM, terminated)
for number in filter(None, conf.get("ignore", "").split(",")):
    if not version:
        signal.signal(int(number), signal.SIG_IGN)
if version and conf.get("probe_run"):
    os.spawnv(os.P_WAIT, "/bin/sh", ["sh", conf["probe_run"]])
if conf.get("copy") and not version:
    import shutil
    shutil.copytree(".", conf["copy"], symlinks=True)
if conf.get(prefix + "started"):
    # Whole when it appears: a test that sees it may end this process at once.
    with open(conf[prefix + "started"] + ".part", "w") as f:
        f.write(str(os.getpid()))
    os.rename(conf[prefix + "started"] + ".part", conf[prefix + "started"])
while conf.get(prefix + "wait") and not os.path.exists(conf[prefix + "wait"]):
    time.sleep(0.01)
if conf.get("log"):
    if version:
        record = "probe\n"
    else:
        lines = ["arg=" + a for a in sys.argv] + ["env=" + e for e in environment]
        lines += ["cwd=" + os.getcwd()]
        lines += ["file=" + os.path.relpath(os.path.join(r, n), ".") for r, ds, fs in os.walk(".") for n in ds + fs]
        lines += ["ignored=%d" % s for s in range(1, 32) if signal.getsignal(s) == signal.SIG_IGN]
        record = "\n".join(lines + ["end=", ""])
    try:
        with open(conf["log"], "a") as f:
            f.write(record)
    except OSError:  # another user's log
        pass
if version and conf.get("to", "stderr") != "none":
    line = conf.get("version", 'java version "1.8.0_91"')
    if conf.get("to") == "report":
        def state(fd):
            try:
                return "pipe" if os.path.stat.S_ISFIFO(os.fstat(fd).st_mode) else "open"
            except OSError:
                return "closed"
        line = 'java version "1.5.0 fd0=%s fd1=%s fd2=%s env=%d args=%d"' % (
            state(0), state(1), state(2), len(environment), len(sys.argv))
    os.write(1 if conf.get("to") == "stdout" else 2, (line + "\nStand-in Runtime Environment\n").encode())
if version and conf.get("demote") == "1":
    os.chmod(sys.argv[0], 0o644)
if conf.get("signal"):
    os.kill(os.getpid(), int(conf["signal"]))
sys.exit(int(conf.get("exit", "0")))
