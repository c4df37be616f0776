"""Running the real launcher in end-to-end tests: runs and their results,
scratch directories, installers (a copy of the launcher with a ZIP archive
made by Info-ZIP zip appended) and Java runtimes whose bin/java is the
stand-in of tests/support/java_stand_in.cpp, which logs how it was started."""

import os
import select
import shutil
import signal
import subprocess
import tempfile
import time

# The launcher of the test build: the product's sources with a status window
# that stays up a few seconds instead of ten after the runtime started.
LAUNCHER = os.environ.get("BRAMLET_LAUNCHER", "")
UNINSTALLER = os.environ.get("BRAMLET_UNINSTALLER", "")
MKSETUP = os.environ.get("BRAMLET_MKSETUP", "")
STAND_IN = os.environ.get("BRAMLET_JAVA_STAND_IN", "")
BUILD_DIR = os.environ.get("BRAMLET_BUILD_DIR", ".")
NOBODY = 65534

# Every run starts from this, so that the developer's own settings (locale,
# DISPLAY, JAVA_HOME) never leak into a test.
BASE_ENV = {"PATH": "/usr/bin:/bin"}
for _name in ("ASAN_OPTIONS", "UBSAN_OPTIONS"):
    if _name in os.environ:
        BASE_ENV[_name] = os.environ[_name]


class Result:
    """How a run ended: returncode, and status (None when a signal ended it)
    or signal; what it wrote: stdout, stderr."""

    def __init__(self, returncode, stdout, stderr):
        self.returncode, self.stdout, self.stderr = returncode, stdout, stderr
        self.status = returncode if returncode >= 0 else None
        self.signal = -returncode if returncode < 0 else None

    def __repr__(self):
        return "Result(returncode=%r, stdout=%r, stderr=%r)" % (self.returncode, self.stdout, self.stderr)


class TimedOut(AssertionError):
    pass


def _demote():
    os.setgroups([])
    os.setresgid(NOBODY, NOBODY, NOBODY)
    os.setresuid(NOBODY, NOBODY, NOBODY)


def start(args=(), program=None, argv0=None, env=None, cwd=None, unprivileged=False, stdin=subprocess.DEVNULL,
          stdout=subprocess.PIPE):
    """Starts the launcher (or program) in a session of its own. env adds to
    BASE_ENV (None removes a variable); unprivileged runs it as uid and gid
    65534 without supplementary groups."""
    program = program or LAUNCHER
    full_env = {k: v for k, v in dict(BASE_ENV, **(env or {})).items() if v is not None}
    return subprocess.Popen([argv0 or program] + [str(a) for a in args], executable=program, env=full_env,
                            cwd=cwd, stdin=stdin, stdout=stdout, stderr=subprocess.PIPE,
                            preexec_fn=_demote if unprivileged else None, start_new_session=True)


def finish(proc, timeout=90):
    """Waits for a started process and returns its Result. Once it has
    ended, what is left of its session (a runtime that outlived it, holding
    the output pipes open) is killed. One still running after timeout
    seconds is killed with its session, and the test fails."""
    end = time.monotonic() + timeout
    while True:
        try:
            out, err = proc.communicate(timeout=0.1)
            break
        except subprocess.TimeoutExpired:
            if proc.poll() is not None or time.monotonic() > end:
                ended = proc.poll() is not None
                kill_group(proc)
                out, err = proc.communicate()
                if not ended:
                    raise TimedOut("still running after %ss; stdout=%r stderr=%r" % (timeout, out, err))
                break
    kill_group(proc)
    return Result(proc.returncode, out, err)


def run(args=(), timeout=90, **kwargs):
    """Runs the launcher (or program) to its end; see start()."""
    return finish(start(args, **kwargs), timeout)


def kill_group(proc):
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass


def wait_for(check, timeout=60, what="the event"):
    """Polls check (a path to appear, or a function) until it holds; fails
    the test after timeout seconds."""
    test = check if callable(check) else lambda: os.path.exists(check)
    end = time.monotonic() + timeout
    while not test():
        if time.monotonic() > end:
            raise TimedOut("%s did not happen within %ss" % (check if not callable(check) else what, timeout))
        time.sleep(0.02)


class Path(str):
    """A path string that joins with "/" like pathlib, and stays a str."""

    def __truediv__(self, name):
        return Path(os.path.join(self, name))


class Scratch:
    """A fresh directory (mode 0755, so the unprivileged user can enter it),
    removed with everything in it by cleanup()."""

    def __init__(self):
        self.path = Path(tempfile.mkdtemp(prefix="bramlet-e2e."))
        os.chmod(self.path, 0o755)

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
        subprocess.run(["chmod", "-R", "u+rwx", self.path], stderr=subprocess.DEVNULL)
        shutil.rmtree(self.path, ignore_errors=True)


def zip_bytes(files, store=False):
    """A ZIP archive made by Info-ZIP zip of files, a dict of entry name to
    content (bytes or str); names ending in "/" are directories."""
    staging = tempfile.mkdtemp(prefix="bramlet-payload.")
    try:
        for name, content in files.items():
            path = os.path.join(staging, name)
            os.makedirs(path if name.endswith("/") else os.path.dirname(path), exist_ok=True)
            if not name.endswith("/"):
                with open(path, "wb") as f:
                    f.write(content.encode() if isinstance(content, str) else content)
        archive = os.path.join(staging, ".payload.zip")
        subprocess.run(["zip", "-q", "-X"] + (["-0"] if store else []) + [archive, "-@"], cwd=staging,
                       input="\n".join(sorted(files)).encode(), check=True)
        with open(archive, "rb") as f:
            return f.read()
    finally:
        shutil.rmtree(staging, ignore_errors=True)


def installer(out, files=None, main_class=True, jar=True, store=False, launcher=None, archive=None):
    """Writes out: a copy of the launcher followed by archive, by default a
    ZIP of the installer's main class file and its jar (unless left out)
    and files. Returns out."""
    content = {}
    if main_class:
        content["bramlet.class"] = b"\xca\xfe\xba\xbe installer"
    if jar:
        content["package/PackageFormat.jar"] = b"PK\x05\x06" + b"\0" * 18
    content.update(files or {})
    os.makedirs(os.path.dirname(out), exist_ok=True)
    with open(out, "wb") as f, open(launcher or LAUNCHER, "rb") as image:
        f.write(image.read() + (zip_bytes(content, store) if archive is None else archive))
    os.chmod(out, 0o755)
    return out


def java(home, version='java version "1.8.0_91"', layout="amd64", **conf):
    """Makes a runtime home at home whose bin/java is the stand-in, and
    returns home. layout "amd64" is a Java 8 runtime (lib/amd64/libjava.so),
    "modern" one of Java 9 and later (lib/libjava.so), "jre" a Java 8
    development kit (the runtime in jre/). conf sets the stand-in's other
    keys: log, started, wait, exit, signal, to."""
    root = os.path.join(home, "jre") if layout == "jre" else home
    lib = os.path.join(root, "lib") if layout == "modern" else os.path.join(root, "lib", "amd64")
    os.makedirs(lib, exist_ok=True)
    open(os.path.join(lib, "libjava.so"), "wb").close()
    os.makedirs(os.path.join(root, "bin"), exist_ok=True)
    program = os.path.join(root, "bin", "java")
    shutil.copyfile(STAND_IN, program)
    os.chmod(program, 0o755)
    with open(program + ".conf", "w") as f:
        for key, value in dict(conf, version=version).items():
            f.write("%s=%s\n" % (key, value))
    return home


def read_log(path):
    """The runs a stand-in logged, in order: for each, a dict of lists by key
    ("arg", "file", "ignored", ...), "env" as a dict and "cwd" as a string;
    a version probe is the string "probe". [] when nothing was logged."""
    runs, current = [], None
    if not os.path.exists(path):
        return runs
    with open(path, errors="surrogateescape") as f:
        for line in f.read().splitlines():
            if line == "probe":
                runs.append("probe")
                continue
            if current is None:
                current = {"env": {}}
            key, _, value = line.partition("=")
            if key == "end":
                runs.append(current)
                current = None
            elif key == "env":
                name, _, v = value.partition("=")
                current["env"][name] = v
            elif key == "cwd":
                current["cwd"] = value
            else:
                current.setdefault(key, []).append(value)
    return runs


def java_run(path):
    """The one run (not a probe) a stand-in logged; fails the test otherwise."""
    runs = [r for r in read_log(path) if r != "probe"]
    if len(runs) != 1:
        raise AssertionError("runtime runs logged in %s: %r" % (path, runs))
    return runs[0]


def lock_path(setup, title="Setup", uid=0):
    """The lock file of setup in the default temporary directory."""
    st = os.stat(setup)
    return "/var/tmp//%s.%d.%d.%d" % (title, st.st_dev, st.st_ino, uid)


def remove_lock_file(setup, title="Setup"):
    """Removes what a run ended by a signal left of its lock file."""
    try:
        os.unlink(lock_path(setup, title))
    except FileNotFoundError:
        pass


class Batch:
    """Runs started together and awaited one by one: each run that reaches
    the Java program holds the launcher a few seconds."""

    def __init__(self):
        self._procs, self._results = {}, {}

    def start(self, key, *args, **kwargs):
        self._procs[key] = start(*args, **kwargs)

    def result(self, key):
        if key not in self._results:
            self._results[key] = finish(self._procs[key])
        return self._results[key]

    def finish_all(self):
        for key in self._procs:
            try:
                self.result(key)
            except TimedOut:
                pass


def start_on_terminal(args=(), **kwargs):
    """start(), with standard output on a terminal, so that each progress
    line arrives as it is printed; read them with next_line()."""
    master, slave = os.openpty()
    proc = start(args, stdout=slave, **kwargs)
    os.close(slave)
    proc.terminal = os.fdopen(master, "rb", buffering=0)
    proc.pending = b""
    return proc


def next_line(proc, timeout=60):
    """The next line a start_on_terminal() process printed, without its end;
    None once it has ended and printed no further line. (Its runtime may
    hold the terminal open after it.)"""
    end = time.monotonic() + timeout
    while b"\n" not in proc.pending:
        ended = proc.poll() is not None
        if not select.select([proc.terminal], [], [], 0 if ended else 0.1)[0]:
            if ended:
                return None
            if time.monotonic() > end:
                raise TimedOut("no line within %ss; so far %r" % (timeout, proc.pending))
            continue
        try:
            chunk = proc.terminal.read(4096)
        except OSError:  # the terminal's other end is gone
            chunk = b""
        if not chunk:
            return None
        proc.pending += chunk
    line, proc.pending = proc.pending.split(b"\n", 1)
    return line.rstrip(b"\r").decode()
