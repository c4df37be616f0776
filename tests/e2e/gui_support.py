"""Helpers for tests of graphical mode under a real X server.

- Xvfb: a virtual X server on a free display number, started and stopped by
  the test itself, with the X tools the tests look through (xdotool,
  xwininfo, xprop) and screenshots (xwd and ImageMagick's convert).
- Driver: the test program gui_driver (tests/ui/gui_driver.cpp) running its
  steps, with its reports ("@ ...") read as they come.
- DriverTestCase, ServerTestCase: test classes that run the driver, and that
  share one Xvfb (and a scratch directory).
- hidden_motif(): a command prefix that runs a program in a private mount
  namespace where the Motif library is replaced by another file.
"""

import os
import queue
import select
import shutil
import signal
import subprocess
import threading
import time
import unittest

import harness

DRIVER = os.environ.get("BRAMLET_GUI_DRIVER", "")
SCREENSHOTS = os.path.join(harness.BUILD_DIR or ".", "gui-screenshots")
# The real ImageMagick, not a stand-in earlier on PATH.
CONVERT = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else "convert"


class Xvfb:
    """A virtual X server with one screen of width x height pixels."""

    def __init__(self, width=1024, height=768):
        self.width, self.height = width, height
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % (width, height),
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 20
        try:
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([read_end], [], [], left)[0]:
                    raise RuntimeError("Xvfb did not report its display")
                chunk = os.read(read_end, 16)
                if not chunk:
                    raise RuntimeError("Xvfb ended at start-up")
                number += chunk
        except BaseException:
            self.stop()
            raise
        finally:
            os.close(read_end)
        self.display = ":" + number.decode().strip()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()

    def env(self, **more):
        """The environment for a client of this server (adds to harness.BASE_ENV)."""
        env = {"DISPLAY": self.display}
        env.update(more)
        return env

    def tool(self, *args, check=True):
        """Runs an X tool against this server; returns its standard output."""
        env = dict(harness.BASE_ENV, DISPLAY=self.display)
        r = subprocess.run(list(args), env=env, capture_output=True, timeout=30)
        if check and r.returncode != 0:
            raise AssertionError("%s failed: %r" % (args[0], r.stderr))
        return r.stdout

    def windows(self, name=None, classname=None):
        """The ids of the mapped windows whose title (or WM_CLASS name) is
        exactly this."""
        if classname is not None:
            args = ["--classname", "^%s$" % classname]
        else:
            args = ["--name", "^%s$" % name]
        out = self.tool("xdotool", "search", "--onlyvisible", *args, check=False)
        return [int(w) for w in out.split()]

    def wait_window(self, name=None, classname=None, timeout=10):
        """Polls for the one mapped window of that title (or class name)."""
        deadline = time.monotonic() + timeout
        while True:
            found = self.windows(name, classname)
            if len(found) == 1:
                return found[0]
            if time.monotonic() > deadline:
                raise AssertionError("windows %r/%r: %r" % (name, classname, found))
            time.sleep(0.05)

    def wait_gone(self, window, timeout=10):
        """Polls until window is no longer mapped."""
        deadline = time.monotonic() + timeout
        while self.geometry(window).get("map") == "IsViewable":
            if time.monotonic() > deadline:
                raise AssertionError("window %d still shown" % window)
            time.sleep(0.05)

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
        deadline = time.monotonic() + timeout
        while True:
            info = self.geometry(window)
            if all(info.get(k) == v for k, v in expected.items()) or time.monotonic() > deadline:
                return info
            time.sleep(0.05)

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
        xwd = self.tool("xwd", "-root", "-silent")
        args = [CONVERT, "xwd:-"]
        if window is not None:
            g = self.geometry(window)
            left, top = max(g["x"] - margin, 0), max(g["y"] - margin, 0)
            args += ["-crop", "%dx%d+%d+%d" % (g["width"] + 2 * margin, g["height"] + 2 * margin, left, top),
                     "+repage"]
        subprocess.run(args + ["png:" + path], input=xwd, check=True, timeout=30)
        return path

    def has_ink(self, window):
        """True once something darker than the window's grey is drawn in it."""
        path = os.path.join(SCREENSHOTS, ".ink-%s-%d.png" % (self.display[1:], window))
        self.screenshot(path, window, margin=0)
        darkest = subprocess.run([CONVERT, path, "-colorspace", "Gray", "-format", "%[fx:minima]", "info:"],
                                 capture_output=True, check=True).stdout
        os.unlink(path)
        return float(darkest) < 0.3

    def wait_ink(self, window, timeout=10):
        deadline = time.monotonic() + timeout
        while not self.has_ink(window):
            if time.monotonic() > deadline:
                raise AssertionError("nothing drawn in window %d" % window)
            time.sleep(0.1)

    def press_return(self, window):
        """Presses Return with the pointer in window, which activates a
        message box's default button, OK (also where OK is off the screen)."""
        g = self.geometry(window)
        self.tool("xdotool", "mousemove", str(max(g["x"], 0) + 5), str(max(g["y"], 0) + 5), "key", "Return")

    def press_ok(self, window, at=None):
        """Clicks the OK button of a message box: at (x, y) inside the box, or
        where a box with a single OK button has it (centred, near the bottom)."""
        g = self.geometry(window)
        x, y = at if at is not None else (g["width"] // 2, g["height"] - 32)
        self.tool("xdotool", "mousemove", str(g["x"] + x), str(g["y"] + y), "click", "1")


@unittest.skipUnless(DRIVER, "built without the Motif headers")
class DriverTestCase(unittest.TestCase):
    """Tests that run gui_driver."""

    def driver(self, steps, env, prefix=()):
        """Starts the driver with steps; it is ended with the test."""
        d = Driver(steps, env, prefix)
        self.addCleanup(d.kill)
        return d


class ServerTestCase(DriverTestCase):
    """Tests that share one X server (self.x) with a screen of this size, and
    a scratch directory (self.dir)."""

    screen = (1024, 768)

    @classmethod
    def setUpClass(cls):
        cls.x = Xvfb(*cls.screen)
        cls.dir = harness.Scratch()

    @classmethod
    def tearDownClass(cls):
        cls.x.stop()
        cls.dir.cleanup()


_NOTHING = object()


class Driver:
    """gui_driver running steps (its arguments); reads its reports as they
    come. prefix is a command that runs it (such as hidden_motif())."""

    def __init__(self, steps, env, prefix=()):
        if prefix:
            self.proc = harness.start(list(prefix[1:]) + [DRIVER] + list(steps), program=prefix[0], env=env,
                                      stdin=subprocess.PIPE)
        else:
            self.proc = harness.start(list(steps), program=DRIVER, env=env, stdin=subprocess.PIPE)
        self.lines = queue.Queue()
        self.out = b""
        self._peeked = _NOTHING
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for line in iter(self.proc.stdout.readline, b""):
            self.out += line
            self.lines.put(line)
        self.lines.put(None)

    def _next_report(self, timeout):
        """The next report line's text, or None at the driver's end; raises
        queue.Empty after timeout seconds."""
        if self._peeked is not _NOTHING:
            line, self._peeked = self._peeked, _NOTHING
            return line
        deadline = time.monotonic() + timeout
        while True:
            line = self.lines.get(timeout=max(deadline - time.monotonic(), 0.01))
            if line is None:
                return None
            if line.startswith(b"@ "):
                return line[2:].rstrip(b"\n").decode("latin-1")

    def expect(self, report, timeout=20):
        """Waits for the next report and checks that it begins with report;
        returns the rest of it."""
        try:
            text = self._next_report(timeout)
        except queue.Empty:
            raise AssertionError("no report %r in time; output so far %r" % (report, self.out))
        if text is None:
            raise AssertionError("driver ended before %r; output %r, errors %r" %
                                 (report, self.out, self.proc.stderr.read()))
        if not text.startswith(report):
            raise AssertionError("report %r where %r was due" % (text, report))
        return text[len(report):].strip()

    def no_report_within(self, seconds):
        """True when no report arrives within seconds."""
        try:
            self._peeked = self._next_report(seconds)
        except queue.Empty:
            return True
        return False

    def proceed(self):
        """Lets a driver that reported "waiting" go on."""
        self.proc.stdin.write(b"\n")
        self.proc.stdin.flush()

    def kill(self):
        """Ends a driver that is still running, with all it started."""
        if self.proc.poll() is None:
            try:
                os.killpg(self.proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.proc.wait()
        for stream in (self.proc.stdin, self.proc.stdout, self.proc.stderr):
            try:
                stream.close()
            except OSError:
                pass

    def finish(self, timeout=30):
        """Waits for the end; returns a harness.Result (stdout as read here)."""
        try:
            self.proc.stdin.close()
        except BrokenPipeError:
            pass
        try:
            self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise AssertionError("driver still running after %ss; output %r" % (timeout, self.out))
        self._reader.join(10)
        err = self.proc.stderr.read()
        self.proc.stdout.close()
        self.proc.stderr.close()
        return harness.Result(self.proc.returncode, self.out, err, 0)


def reports(text):
    """The report lines of a driver's output, without their "@ "."""
    return [line[2:] for line in text.decode("latin-1").split("\n") if line.startswith("@ ")]


def console(text):
    """A driver's output without its reports: what went to the console."""
    return b"".join(line for line in text.splitlines(keepends=True) if not line.startswith(b"@ "))


def shown(hex_text, encoding="latin-1"):
    """Decodes a "shown" or "box" report's hex text."""
    return bytes.fromhex(hex_text).decode(encoding)


def system_library(name="libXm.so.4"):
    """The file behind a shared library's name (the Motif library's by
    default), as the dynamic loader finds it, or None."""
    out = subprocess.run(["/sbin/ldconfig", "-p"], capture_output=True).stdout.decode()
    for line in out.splitlines():
        if line.strip().startswith(name + " ") and "=>" in line:
            return os.path.realpath(line.split("=>")[1].strip())
    return None


def hidden_motif(replacement):
    """A command prefix: runs its command in a private mount namespace where
    the Motif library is replaced by the file replacement (bind-mounted over
    it); the command may undo that with unhide_motif_command()."""
    library = system_library()
    script = 'mount --bind "$0" "$1" && shift && exec "$@"'
    return [shutil.which("unshare"), "-m", "--propagation", "private", "sh", "-c", script, replacement, library]


def unhide_motif_command():
    """A shell command that puts the Motif library back (inside the namespace)."""
    return "umount '%s'" % system_library()
