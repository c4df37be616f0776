"""Helpers for tests of graphical mode under a real X server: Xvfb (a virtual
X server with the X tools the tests look through), Driver (the test program
gui_driver, tests/ui/gui_driver.cpp, with its "@ ..." reports read as they
come), ServerTestCase (tests that share one Xvfb) and hidden_motif()."""

import os
import queue
import select
import shutil
import subprocess
import threading
import time
import unittest

import harness

DRIVER = os.environ.get("BRAMLET_GUI_DRIVER", "")
SCREENSHOTS = os.path.join(harness.BUILD_DIR or ".", "gui-screenshots")
# The real ImageMagick, not a stand-in earlier on PATH.
CONVERT = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else "convert"


def poll(check, timeout=10):
    """Calls check every 50 ms until it gives something true or timeout
    seconds have passed; returns its last value."""
    deadline = time.monotonic() + timeout
    while not (value := check()) and time.monotonic() < deadline:
        time.sleep(0.05)
    return value


class Xvfb:
    """A virtual X server on a free display number, one screen of width x
    height pixels."""

    def __init__(self, width=1024, height=768):
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % (width, height),
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(write_end)
        with os.fdopen(read_end, "rb") as f:
            number = f.readline() if select.select([f], [], [], 20)[0] else b""
        if not number.endswith(b"\n"):
            self.stop()
            raise RuntimeError("Xvfb did not report its display")
        self.display = ":" + number.decode().strip()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()

    def env(self, **more):
        """The environment for a client of this server (adds to harness.BASE_ENV)."""
        return dict(more, DISPLAY=self.display)

    def tool(self, *args, check=True):
        """Runs an X tool against this server; returns its standard output."""
        r = subprocess.run(args, env=dict(harness.BASE_ENV, DISPLAY=self.display), capture_output=True, timeout=30)
        if check and r.returncode != 0:
            raise AssertionError("%s failed: %r" % (args[0], r.stderr))
        return r.stdout

    def windows(self, name=None, classname=None):
        """The ids of the mapped windows whose title (or WM_CLASS name) is exactly this."""
        args = ["--classname", "^%s$" % classname] if classname is not None else ["--name", "^%s$" % name]
        return [int(w) for w in self.tool("xdotool", "search", "--onlyvisible", *args, check=False).split()]

    def wait_window(self, name=None, classname=None, timeout=10):
        """Polls for the one mapped window of that title (or class name)."""
        found = []

        def single():
            found[:] = self.windows(name, classname)
            return len(found) == 1

        if not poll(single, timeout):
            raise AssertionError("windows %r/%r: %r" % (name, classname, found))
        return found[0]

    def wait_gone(self, window, timeout=10):
        """Polls until window is no longer mapped."""
        if not poll(lambda: self.geometry(window).get("map") != "IsViewable", timeout):
            raise AssertionError("window %d still shown" % window)

    def geometry(self, window):
        """x, y, width, height and map state of window ({} once it's gone)."""
        out = self.tool("xwininfo", "-id", str(window), check=False).decode("latin-1")
        keys = {"Absolute upper-left X": "x", "Absolute upper-left Y": "y", "Width": "width",
                "Height": "height", "Map State": "map"}
        info = {}
        for line in out.splitlines():
            key, _, value = line.strip().partition(": ")
            if key in keys:
                value = value.strip()
                info[keys[key]] = int(value) if value.lstrip("-").isdigit() else value
        return info

    def wait_geometry(self, window, timeout=10, **expected):
        """Polls until window's geometry has the expected values; returns it."""
        poll(lambda: all(self.geometry(window).get(k) == v for k, v in expected.items()), timeout)
        return self.geometry(window)

    def property(self, window, name):
        """The raw value text of a window property, as xprop prints it."""
        out = self.tool("xprop", "-id", str(window), name).decode("latin-1").strip()
        return out.split(" = ", 1)[1] if " = " in out else None

    def motif_hints(self, window):
        """_MOTIF_WM_HINTS: flags, functions, decorations, input mode, status."""
        value = self.property(window, "_MOTIF_WM_HINTS")
        return [int(v, 16) for v in value.split(", ")] if value else None

    def window_name(self, window):
        """The window's title, as the bytes of WM_NAME."""
        return self.tool("xdotool", "getwindowname", str(window)).rstrip(b"\n")

    def screenshot(self, path, window=None, margin=12):
        """Saves the screen (or the part around window) as a PNG at path."""
        os.makedirs(os.path.dirname(path), exist_ok=True)
        args = [CONVERT, "xwd:-"]
        if window is not None:
            g = self.geometry(window)
            args += ["-crop", "%dx%d+%d+%d" % (g["width"] + 2 * margin, g["height"] + 2 * margin,
                                               max(g["x"] - margin, 0), max(g["y"] - margin, 0)), "+repage"]
        subprocess.run(args + ["png:" + path], input=self.tool("xwd", "-root", "-silent"), check=True, timeout=30)

    def wait_ink(self, window, timeout=10):
        """Polls until something darker than the window's grey is drawn in it."""
        path = os.path.join(SCREENSHOTS, ".ink-%s-%d.png" % (self.display[1:], window))

        def darkest():
            self.screenshot(path, window, margin=0)
            return float(subprocess.run([CONVERT, path, "-colorspace", "Gray", "-format", "%[fx:minima]", "info:"],
                                        capture_output=True, check=True).stdout)

        drawn = poll(lambda: darkest() < 0.3, timeout)
        os.unlink(path)
        if not drawn:
            raise AssertionError("nothing drawn in window %d" % window)

    def press_ok(self, window):
        """Presses Return with the pointer in a message box, which activates
        its default button, OK (also where OK is off the screen)."""
        g = self.geometry(window)
        self.tool("xdotool", "mousemove", str(max(g["x"], 0) + 5), str(max(g["y"], 0) + 5), "key", "Return")


class Driver:
    """gui_driver running steps (its arguments), its reports read as they
    come; prefix is a command that runs it (such as hidden_motif())."""

    def __init__(self, steps, env, prefix=()):
        command = list(prefix) + [DRIVER] + list(steps)
        self.proc = harness.start(command[1:], program=command[0], env=env, stdin=subprocess.PIPE)
        self.lines = queue.Queue()
        self.out = b""
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for line in iter(self.proc.stdout.readline, b""):
            self.out += line
            if line.startswith(b"@ "):
                self.lines.put(line[2:].rstrip(b"\n").decode("latin-1"))
        self.lines.put(None)

    def expect(self, report, timeout=20):
        """Waits for the next report, which must begin with report; returns the rest."""
        try:
            text = self.lines.get(timeout=timeout)
        except queue.Empty:
            raise AssertionError("no report %r in time; output so far %r" % (report, self.out))
        if text is None or not text.startswith(report):
            raise AssertionError("report %r where %r was due; output %r" % (text, report, self.out))
        return text[len(report):].strip()

    def proceed(self):
        """Lets a driver that reported "waiting" go on."""
        self.proc.stdin.write(b"\n")
        self.proc.stdin.flush()

    def kill(self):
        """Ends a driver that is still running, with all it started."""
        if self.proc.poll() is None:
            harness.kill_group(self.proc)
            self.proc.wait()
        self._reader.join(10)
        for stream in (self.proc.stdin, self.proc.stdout, self.proc.stderr):
            stream.close()

    def finish(self, timeout=30):
        """Waits for the end; returns the status, the console output (standard
        output without the reports, standard error) and the reports."""
        self.proc.stdin.close()
        try:
            self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("driver still running after %ss; output %r" % (timeout, self.out))
        self._reader.join(10)
        lines = self.out.splitlines(keepends=True)
        return (self.proc.returncode, b"".join(l for l in lines if not l.startswith(b"@ ")), self.proc.stderr.read(),
                [l[2:].rstrip(b"\n").decode("latin-1") for l in lines if l.startswith(b"@ ")])


@unittest.skipUnless(DRIVER, "built without the Motif headers")
class ServerTestCase(unittest.TestCase):
    """Tests that run gui_driver and share one X server (self.x) with a screen
    of this size."""

    screen = (1024, 768)

    @classmethod
    def setUpClass(cls):
        cls.x = Xvfb(*cls.screen)

    @classmethod
    def tearDownClass(cls):
        cls.x.stop()

    def driver(self, steps, prefix=(), **env):
        """Starts the driver with steps against self.x; it is ended with the test."""
        d = Driver(steps, self.x.env(**env), prefix)
        self.addCleanup(d.kill)
        return d


def fields(report):
    """The named parts of a "shown" or "box" report: each text as bytes,
    "buttons" as it is."""
    words = report.split()
    return {k: v if k == "buttons" else bytes.fromhex(v) for k, v in zip(words[::2], words[1::2])}


def system_library(name="libXm.so.4"):
    """The file behind a shared library's name (the Motif library's by
    default), as the dynamic loader finds it."""
    for line in subprocess.run(["/sbin/ldconfig", "-p"], capture_output=True).stdout.decode().splitlines():
        if line.strip().startswith(name + " ") and "=>" in line:
            return os.path.realpath(line.split("=>")[1].strip())
    raise AssertionError("no %s on this system" % name)


def hidden_motif(replacement):
    """A command prefix: runs its command in a private mount namespace where
    the Motif library is replaced by the file replacement (bind-mounted over
    it); the command may put the library back with unhide_motif_command()."""
    script = 'mount --bind "$0" "$1" && shift && exec "$@"'
    return [shutil.which("unshare"), "-m", "--propagation", "private", "sh", "-c", script, replacement,
            system_library()]


def unhide_motif_command():
    """A shell command that puts the Motif library back (inside the namespace)."""
    return "umount '%s'" % system_library()
