"""Runs of the real launcher, scratch directories, ZIP archives written field
by field, installers and Java runtimes whose bin/java is the stand-in."""

import os
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import zlib

# The launchers of the test build: the product's sources with a status
# window that stays up a few seconds instead of ten after the runtime started.
LAUNCHER = os.environ.get("BRAMLET_LAUNCHER", "")
UNINSTALLER = os.environ.get("BRAMLET_UNINSTALLER", "")
MKSETUP = os.environ.get("BRAMLET_MKSETUP", "")
STAND_IN = os.environ.get("BRAMLET_JAVA_STAND_IN", "")
# A malloc to preload that faults on a trigger (tests/support/malloc_fault.c).
MALLOC_FAULT = os.environ.get("BRAMLET_MALLOC_FAULT", "")
# An open to preload that holds a program at a file (tests/support/open_gate.c).
OPEN_GATE = os.environ.get("BRAMLET_OPEN_GATE", "")
# Built with AddressSanitizer, whose allocator and signal handling are its own.
SANITIZED = os.environ.get("BRAMLET_SANITIZED") == "1"
BUILD_DIR = os.environ.get("BRAMLET_BUILD_DIR", ".")
# The target's directory under a Java 8 runtime's lib, its Debian
# architecture, a JDK of the target and the JDK whose jlink makes runtimes of
# its modules (the build machine's in a cross build), a JDK of the target
# built for an older glibc (Debian 11's; it may be missing); EMULATED when
# the target's programs run under qemu-user.
ARCH = os.environ.get("BRAMLET_JAVA_ARCH", "")
DEB_ARCH = os.environ.get("BRAMLET_DEB_ARCH", "")
JDK = os.environ.get("BRAMLET_TEST_JAVA_HOME", "")
JLINK_HOME = os.environ.get("BRAMLET_JLINK_HOME") or JDK
OLD_JDK = os.environ.get("BRAMLET_OLD_JDK", "")
# The newest glibc the launchers of a portable build may need; empty for a
# native build, whose launchers need this machine's.
GLIBC_FLOOR = os.environ.get("BRAMLET_GLIBC_FLOOR", "")
EMULATED = bool(os.environ.get("BRAMLET_EMULATED"))
# Deadlines only catch a hang, so under emulation (a Java runtime and its
# windows start many times slower, beside other tests) they are longer.
DEADLINE_SCALE = 5 if EMULATED else 1
# Another machine than the target, as its ELF header names it.
OTHER_ARCH, OTHER_MACHINE = ("amd64", 62) if ARCH == "aarch64" else ("aarch64", 183)
NOBODY = 65534

# Every run starts from this, so that the developer's own settings (locale,
# DISPLAY, JAVA_HOME) never leak into a test, and the host's Java (through
# /usr/bin/java) is found only where a test asks for it.
BASE_ENV = {"PATH": "/usr/sbin:/sbin"}
TOOLS_PATH = "/usr/bin:/bin"
BASE_ENV.update({k: v for k, v in os.environ.items() if k in ("ASAN_OPTIONS", "UBSAN_OPTIONS")})


class Result:
    """How a run ended (status, or signal) and what it wrote."""

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


def start(args=(), program=None, argv0=None, env=None, cwd=None, unprivileged=False, stdin=subprocess.DEVNULL):
    """Starts the launcher (or program) in a session of its own, with BASE_ENV
    and env (None removes a variable), as user 65534 when unprivileged."""
    program = program or LAUNCHER
    full_env = {k: v for k, v in dict(BASE_ENV, **(env or {})).items() if v is not None}
    return subprocess.Popen([argv0 or program] + [str(a) for a in args], executable=program, env=full_env,
                            cwd=cwd, stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            preexec_fn=_demote if unprivileged else None, start_new_session=True)


def finish(proc, timeout=90):
    """Waits for a started process and returns its Result; then kills what is
    left of its session (a runtime holding the pipes open). A process still
    running after timeout seconds fails the test."""
    timeout *= DEADLINE_SCALE
    end = time.monotonic() + timeout
    while True:
        try:
            out, err = proc.communicate(timeout=0.1)
            break
        except subprocess.TimeoutExpired:
            ended = proc.poll() is not None
            if ended or time.monotonic() > end:
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


def wait_for(check, timeout=60, what=None):
    """Polls check (a path to appear, or a function) until it holds."""
    test = check if callable(check) else lambda: os.path.exists(check)
    timeout *= DEADLINE_SCALE
    end = time.monotonic() + timeout
    while not (value := test()):
        if time.monotonic() > end:
            raise TimedOut("%s did not happen within %ss" % (what or check, timeout))
        time.sleep(0.02)
    return value


class Batch:
    """Runs started together and awaited one by one."""

    def __init__(self):
        self._procs, self._results = {}, {}

    def start(self, key, *args, **kwargs):
        self._procs[key] = start(*args, **kwargs)

    def result(self, key):
        if key not in self._results:
            self._results[key] = finish(self._procs.pop(key))
        return self._results[key]

    def finish_all(self):
        for proc in self._procs.values():
            kill_group(proc)
            proc.communicate()


class Path(str):
    """A path string that joins with "/" like pathlib, and stays a str."""

    def __truediv__(self, name):
        return Path(os.path.join(self, name))


class Scratch:
    """A fresh directory that the unprivileged user can enter."""

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


def entry(name, data=b"", method=8, **fields):
    """One entry for zip_archive(): well formed unless fields replace what
    follows from name and data: raw (the data bytes as stored), crc, size,
    csize, offset (of the local header, as recorded), flags, local_name,
    local_extra, central_extra, comment."""
    data = data.encode() if isinstance(data, str) else data
    return dict(fields, name=name.encode() if isinstance(name, str) else name, data=data, method=method)


def zip_archive(entries, prefix=b"", comment=b"", trailing=b"", count=None, cen_size=None, cen_offset=None,
                cen_tail=b""):
    """A ZIP archive written field by field behind prefix: the entries (see
    entry(), or a dict of name to data), the central directory (with
    cen_tail after its headers) and the end record, each field as given or
    as it follows from the rest."""
    if isinstance(entries, dict):
        entries = [entry(name, data, 0 if name.endswith("/") else 8) for name, data in sorted(entries.items())]
    out, central = bytearray(prefix), bytearray()
    for e in entries:
        if "raw" in e:
            raw = e["raw"]
        elif e["method"] == 8:
            packer = zlib.compressobj(6, zlib.DEFLATED, -15)
            raw = packer.compress(e["data"]) + packer.flush()
        else:
            raw = e["data"]
        name, local_name = e["name"], e.get("local_name", e["name"])
        fields = lambda n, x: struct.pack("<HHIIIIHH", e.get("flags", 0), e["method"], 0x5a8c6b21,
                                          e.get("crc", zlib.crc32(e["data"])), e.get("csize", len(raw)),
                                          e.get("size", len(e["data"])), len(n), len(x))
        central += (struct.pack("<IHH", 0x02014b50, 0x031e, 20) + fields(name, e.get("central_extra", b""))
                    + struct.pack("<HHHII", len(e.get("comment", b"")), 0, 0, 0o100644 << 16,
                                  e.get("offset", len(out) - len(prefix)))
                    + name + e.get("central_extra", b"") + e.get("comment", b""))
        out += (struct.pack("<IH", 0x04034b50, 20) + fields(local_name, e.get("local_extra", b"")) + local_name
                + e.get("local_extra", b"") + raw)
    start = len(out)
    out += central + cen_tail
    out += struct.pack("<IHHHHIIH", 0x06054b50, 0, 0, 0, len(entries) if count is None else count,
                       len(out) - start if cen_size is None else cen_size,
                       start - len(prefix) if cen_offset is None else cen_offset, len(comment)) + comment + trailing
    return bytes(out)


def installer(out, files=None, main_class=True, jar=True, launcher=None, archive=None):
    """Writes out: the launcher followed by archive, by default one of the
    main class file, the jar (unless left out) and files."""
    content = {}
    if main_class:
        content["bramlet.class"] = b"\xca\xfe\xba\xbe installer"
    if jar:
        content["package/PackageFormat.jar"] = b"PK\x05\x06" + b"\0" * 18
    content.update(files or {})
    os.makedirs(os.path.dirname(out), exist_ok=True)
    with open(out, "wb") as f, open(launcher or LAUNCHER, "rb") as image:
        f.write(image.read() + (zip_archive(content) if archive is None else archive))
    os.chmod(out, 0o755)
    return out


def java(home, version='java version "1.8.0_91"', layout="java8", **conf):
    """Makes a runtime home whose bin/java is the stand-in: a Java 8 runtime
    ("java8"), a later one ("modern") or a Java 8 kit ("jre"); conf sets the
    stand-in's other keys."""
    root = os.path.join(home, "jre") if layout == "jre" else home
    lib = os.path.join(root, "lib") if layout == "modern" else os.path.join(root, "lib", ARCH)
    os.makedirs(lib, exist_ok=True)
    open(os.path.join(lib, "libjava.so"), "wb").close()
    os.makedirs(os.path.join(root, "bin"), exist_ok=True)
    program = os.path.join(root, "bin", "java")
    shutil.copyfile(STAND_IN, program)
    os.chmod(program, 0o755)
    with open(program + ".conf", "w") as f:
        f.writelines("%s=%s\n" % kv for kv in dict(conf, version=version).items())
    return home


def for_other_machine(program, out):
    """Writes out: a copy of program (an ELF file of the target's) whose
    header names OTHER_ARCH's machine."""
    with open(program, "rb") as f:
        image = bytearray(f.read())
    image[18:20] = struct.pack("<H", OTHER_MACHINE)
    os.makedirs(os.path.dirname(out), exist_ok=True)
    with open(out, "wb") as f:
        f.write(image)
    os.chmod(out, 0o755)
    return out


def elf_machine(path):
    """An ELF file's class, byte order and machine, as its header's bytes."""
    with open(path, "rb") as f:
        header = f.read(20)
    return header[4:6] + header[18:20]


def read_log(path):
    """The calls a stand-in logged: "probe", or for a run a dict of lists by
    key, with "env" a dict and "cwd" a string."""
    calls, current = [], None
    if os.path.exists(path):
        with open(path, errors="surrogateescape") as f:
            for line in f.read().splitlines():
                if line == "probe":
                    calls.append(line)
                    continue
                current = current or {"env": {}}
                key, _, value = line.partition("=")
                if key == "end":
                    calls.append(current)
                    current = None
                elif key == "env":
                    current["env"].__setitem__(*value.split("=", 1))
                elif key == "cwd":
                    current["cwd"] = value
                else:
                    current.setdefault(key, []).append(value)
    return calls


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
    if os.path.exists(lock_path(setup, title)):
        os.unlink(lock_path(setup, title))
