"""Helpers for end-to-end tests of the real launcher binary.

- run(): runs a launcher with arguments, environment, working directory,
  time limit and, optionally, as the unprivileged user; captures its status,
  standard output and standard error.
- make_payload(): a copy of the launcher with a ZIP archive (made by Info-ZIP
  zip) appended: a self-extracting installer.
- fake_java(): a Java runtime stand-in that answers "-version" with a chosen
  first line and otherwise records how it was called.
- Scratch: a temporary directory removed at the end of a test.
"""

import json
import os
import shutil
import signal
import stat
import subprocess
import tempfile
import time

LAUNCHER = os.environ.get("BRAMLET_LAUNCHER", "")
BUILD_DIR = os.environ.get("BRAMLET_BUILD_DIR", "")
NOBODY = 65534

# The environment every run starts from, so that the developer's own
# settings (locale, DISPLAY, JAVA_HOME) never leak into a test.
BASE_ENV = {"PATH": "/usr/bin:/bin"}
for _name in ("ASAN_OPTIONS", "UBSAN_OPTIONS"):
    if _name in os.environ:
        BASE_ENV[_name] = os.environ[_name]


class Result:
    """How a run ended and what it wrote."""

    def __init__(self, returncode, stdout, stderr, duration):
        self.returncode = returncode
        self.stdout = stdout
        self.stderr = stderr
        self.duration = duration

    @property
    def status(self):
        """The exit status, or None when a signal ended the process."""
        return self.returncode if self.returncode >= 0 else None

    @property
    def signal(self):
        """The signal that ended the process, or None."""
        return -self.returncode if self.returncode < 0 else None

    def __repr__(self):
        return "Result(returncode=%r, stdout=%r, stderr=%r)" % (self.returncode, self.stdout, self.stderr)


class TimedOut(AssertionError):
    pass


def _demote():
    os.setgroups([])
    os.setresgid(NOBODY, NOBODY, NOBODY)
    os.setresuid(NOBODY, NOBODY, NOBODY)


def start(args=(), program=None, argv0=None, env=None, cwd=None, unprivileged=False, stdin=subprocess.DEVNULL,
          **kwargs):
    """Starts the launcher (or program) and returns the Popen; see run()."""
    program = program or LAUNCHER
    full_env = dict(BASE_ENV)
    if env:
        full_env.update(env)
    full_env = {k: v for k, v in full_env.items() if v is not None}
    return subprocess.Popen([argv0 or program] + list(args), executable=program, env=full_env, cwd=cwd,
                            stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            preexec_fn=_demote if unprivileged else None, start_new_session=True, **kwargs)


def finish(proc, timeout=60):
    """Waits for a process from start() and returns its Result. Once it has
    ended, what is left of its process group (a runtime stand-in that
    outlived its launcher) is killed, since it would hold the output pipes
    open. A process that outlives the time limit is killed with its group
    and the test fails."""
    began = time.monotonic()
    while True:
        try:
            out, err = proc.communicate(timeout=0.2)
            break
        except subprocess.TimeoutExpired:
            if proc.poll() is not None:
                kill_group(proc)
                out, err = proc.communicate()
                break
            if time.monotonic() - began > timeout:
                kill_group(proc)
                out, err = proc.communicate()
                raise TimedOut("still running after %ss; stdout=%r stderr=%r" % (timeout, out, err))
    return Result(proc.returncode, out, err, time.monotonic() - began)


def run(args=(), program=None, argv0=None, env=None, cwd=None, timeout=60, unprivileged=False, input=None):
    """Runs the launcher (or program) to its end.

    argv0 is the name it is started under (default: its path); env adds to
    BASE_ENV (a value of None removes the variable); unprivileged runs it as
    uid and gid 65534 without supplementary groups.
    """
    proc = start(args, program=program, argv0=argv0, env=env, cwd=cwd, unprivileged=unprivileged,
                 stdin=subprocess.PIPE if input is not None else subprocess.DEVNULL)
    if input is not None:
        proc.stdin.write(input)
        proc.stdin.close()
    return finish(proc, timeout)


class Path(str):
    """A path string that joins with "/" like pathlib, and stays a str."""

    def __truediv__(self, name):
        return Path(os.path.join(self, name))


class Scratch:
    """A fresh directory (mode 0755, so the unprivileged user can enter it),
    removed with everything in it by cleanup()."""

    def __init__(self, mode=0o755):
        self.path = Path(tempfile.mkdtemp(prefix="bramlet-e2e."))
        os.chmod(self.path, mode)

    def __truediv__(self, name):
        return self.path / name

    def write(self, name, content, mode=0o644):
        path = self / name
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content.encode() if isinstance(content, str) else content)
        os.chmod(path, mode)
        return path

    def mkdir(self, name, mode=0o755):
        path = self / name
        os.makedirs(path, exist_ok=True)
        os.chmod(path, mode)
        return path

    def cleanup(self):
        for root, dirs, _ in os.walk(self.path):
            for d in dirs:
                p = os.path.join(root, d)
                if not os.path.islink(p):
                    os.chmod(p, 0o700)
        shutil.rmtree(self.path, ignore_errors=True)


def make_payload(out, files, launcher=None, store=False):
    """Writes out: a copy of the launcher followed by a ZIP archive that
    Info-ZIP zip makes of files, a dict of entry name to content (bytes or
    str); names ending in "/" are directories. store=True stores every entry
    instead of deflating it. Returns out."""
    staging = tempfile.mkdtemp(prefix="bramlet-payload.")
    try:
        names = []
        for name, content in sorted(files.items()):
            path = os.path.join(staging, name)
            if name.endswith("/"):
                os.makedirs(path, exist_ok=True)
            else:
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as f:
                    f.write(content.encode() if isinstance(content, str) else content)
            names.append(name)
        archive = os.path.join(staging, ".payload.zip")
        subprocess.run(["zip", "-q", "-X"] + (["-0"] if store else []) + [archive, "-@"],
                       cwd=staging, input="\n".join(names).encode(), check=True)
        os.makedirs(os.path.dirname(out), exist_ok=True)
        with open(out, "wb") as f:
            with open(launcher or LAUNCHER, "rb") as image:
                shutil.copyfileobj(image, f)
            with open(archive, "rb") as z:
                shutil.copyfileobj(z, f)
        os.chmod(out, 0o755)
        return out
    finally:
        shutil.rmtree(staging, ignore_errors=True)


def copy_launcher(out, launcher=None):
    """A plain copy of the launcher (no payload), mode 0755."""
    os.makedirs(os.path.dirname(out), exist_ok=True)
    shutil.copyfile(launcher or LAUNCHER, out)
    os.chmod(out, 0o755)
    return out


# The stand-in's program: Python, started directly by its #! line so that
# it needs no environment at all (the version probe gives it none).
_FAKE_JAVA = r'''#!/usr/bin/python3
import json, os, sys
CONFIG = %(config)s
args = sys.argv[1:]
if args == ["-version"]:
    os.write(2, (CONFIG["version_line"] + "\nOpenJDK Runtime Environment (stand-in)\n").encode())
    sys.exit(0)
if CONFIG["started"]:
    open(CONFIG["started"], "w").close()
if CONFIG["sleep"]:
    import time
    time.sleep(CONFIG["sleep"])
for i in range(CONFIG["litter"]):
    open("litter-" + str(i), "w").close()
record = CONFIG["record"]
if record:
    with open(record, "w") as f:
        files = sorted(os.path.relpath(os.path.join(r, n), ".") for r, ds, fs in os.walk(".") for n in ds + fs)
        with open("/proc/self/status") as status:
            ignored = [l.split()[1] for l in status if l.startswith("SigIgn:")][0]
        json.dump({"argv": sys.argv, "env": dict(os.environ), "cwd": os.getcwd(),
                   "uid": os.getuid(), "files": files, "sigign": int(ignored, 16)}, f)
sys.exit(CONFIG["status"])
'''


def fake_java(home, version_line='java version "1.8.0_91"', status=0, record=None, layout="amd64", sleep=0,
              started=None, litter=0):
    """Makes a runtime stand-in at home and returns home.

    layout: "amd64" puts libjava.so under lib/amd64 (a Java 8 runtime),
    "modern" directly under lib (Java 9 and later), "jre" under
    jre/lib/amd64 with the program in jre/bin (a Java 8 development kit).
    "-version" prints version_line as the first line on standard error.
    Any other call creates the file started (if given), sleeps for sleep
    seconds, leaves litter empty files in its working directory, writes a
    JSON record (argv, env, cwd, uid, the files below the working directory,
    the ignored-signal mask) to record (if given) and exits with status.
    """
    root = os.path.join(home, "jre") if layout == "jre" else home
    libdir = os.path.join(root, "lib") if layout == "modern" else os.path.join(root, "lib", "amd64")
    os.makedirs(libdir, exist_ok=True)
    open(os.path.join(libdir, "libjava.so"), "wb").close()
    bindir = os.path.join(root, "bin")
    os.makedirs(bindir, exist_ok=True)
    config = {"version_line": version_line, "status": status, "record": record, "sleep": sleep,
              "started": started, "litter": litter}
    java = os.path.join(bindir, "java")
    with open(java, "w") as f:
        f.write(_FAKE_JAVA % {"config": repr(config)})
    os.chmod(java, 0o755)
    return home


def read_record(path):
    """The record a stand-in wrote, as a dict, or None."""
    if not os.path.exists(path):
        return None
    with open(path) as f:
        return json.load(f)


def mode_of(path):
    return stat.S_IMODE(os.lstat(path).st_mode)


def installer(out, files=None, store=False, main_class=True, jar=True, launcher=None):
    """A self-extracting installer at out: the installer's main class file
    and its jar (unless left out), plus files."""
    content = {}
    if main_class:
        content["bramlet.class"] = b"\xca\xfe\xba\xbe installer"
    if jar:
        content["package/PackageFormat.jar"] = b"PK\x05\x06" + b"\0" * 18
    content.update(files or {})
    return make_payload(out, content, store=store, launcher=launcher)


class Batch:
    """Runs many launchers at once and hands each result to its test: a run
    that reaches the Java program keeps the launcher alive for 10 seconds, so
    scenarios are started together in setUpClass and awaited one by one."""

    def __init__(self):
        self._procs = {}
        self._results = {}

    def start(self, key, *args, **kwargs):
        self._procs[key] = start(*args, **kwargs)

    def result(self, key, timeout=90):
        if key not in self._results:
            self._results[key] = finish(self._procs[key], timeout)
        return self._results[key]

    def finish_all(self):
        for key in list(self._procs):
            try:
                self.result(key)
            except TimedOut:
                pass


def wait_for(path, timeout=30):
    """Waits until path exists; fails the test after timeout seconds."""
    end = time.monotonic() + timeout
    while not os.path.exists(path):
        if time.monotonic() > end:
            raise TimedOut("%s did not appear within %ss" % (path, timeout))
        time.sleep(0.02)


def kill_group(proc):
    """Kills what is left of a started process's group (a runtime stand-in
    that outlived its launcher, say)."""
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass


def lock_path(setup, title="Setup", uid=0):
    """The lock file of the launcher file setup in the default temporary
    directory, as the user uid running it in a language whose title is title."""
    st = os.stat(setup)
    return "/var/tmp//%s.%d.%d.%d" % (title, st.st_dev, st.st_ino, uid)


def remove_lock_file(setup, title="Setup"):
    """Removes what a run ended by a signal left of its lock file: it would
    outlive the test and could one day match another file's name."""
    try:
        os.unlink(lock_path(setup, title))
    except FileNotFoundError:
        pass
