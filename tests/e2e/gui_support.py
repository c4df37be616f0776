"""Graphical mode under a real X server: Xvfb, the X tools the tests look
through, and WindowLog, the windows mapped on it as the server reports them."""

import ctypes
import glob
import os
import select
import shlex
import shutil
import socket
import struct
import subprocess
import threading

import harness

SCREENSHOTS = os.path.join(harness.BUILD_DIR, "gui-screenshots")
# A libXm.so.4 that lacks one of the functions the launcher looks up
# (tests/support/partial_motif.c), alone in its directory.
PARTIAL_MOTIF = os.environ.get("BRAMLET_PARTIAL_MOTIF", "")


class WindowLog:
    """The top-level windows mapped on a display from now on, in the order
    the server mapped them, each as (id, (x, y, width, height)). The server
    queues every event for the log's own connection, so a window that came
    and went between two looks of a test is in it all the same."""

    SUBSTRUCTURE_NOTIFY = 1 << 19
    CREATE, MAP, CONFIGURE = 16, 19, 22

    def __init__(self, display):
        x = self.x = ctypes.CDLL("libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        for name in ("XSync", "XPending", "XConnectionNumber", "XNextEvent", "XCloseDisplay"):
            getattr(x, name).argtypes = [ctypes.c_void_p] + ([ctypes.c_int] if name == "XSync" else
                                                             [ctypes.c_char_p] if name == "XNextEvent" else [])
        self.connection = x.XOpenDisplay(display.encode())
        x.XSelectInput(self.connection, x.XDefaultRootWindow(self.connection), self.SUBSTRUCTURE_NOTIFY)
        x.XSync(self.connection, 0)
        self.mapped, self._geometry, self._running = [], {}, True
        self._thread = threading.Thread(target=self._read, daemon=True)
        self._thread.start()

    def _read(self):
        event = ctypes.create_string_buffer(192)
        fd = self.x.XConnectionNumber(self.connection)
        while self._running:
            if not self.x.XPending(self.connection):
                select.select([fd], [], [], 0.05)
                continue
            self.x.XNextEvent(self.connection, event)
            kind, = struct.unpack_from("i", event, 0)
            window, = struct.unpack_from("L", event, 40)
            if kind in (self.CREATE, self.CONFIGURE):
                self._geometry[window] = struct.unpack_from("4i", event, 48)
            elif kind == self.MAP:
                self.mapped.append((window, self._geometry.get(window)))

    def stop(self):
        self._running = False
        self._thread.join(10)
        self.x.XCloseDisplay(self.connection)


class SilentServer(socket.socket):
    """A listening socket where an X server's would be, that accepts
    connections and never answers."""

    def __init__(self, path):
        super().__init__(socket.AF_UNIX)
        self.path = path

    def bind(self, path):
        super().bind(path)
        self.bound = True

    def close(self):
        super().close()
        if getattr(self, "bound", False) and os.path.exists(self.path):
            os.unlink(self.path)


def silent_server():
    """A SilentServer on a free display number, and that display's name."""
    os.makedirs("/tmp/.X11-unix", exist_ok=True)
    for number in range(700, 800):
        path = "/tmp/.X11-unix/X%d" % number
        if os.path.exists(path) or os.path.exists("/tmp/.X%d-lock" % number):
            continue
        server = SilentServer(path)
        try:
            server.bind(path)
        except OSError:
            server.close()
            continue
        server.listen()
        return server, ":%d" % number
    raise RuntimeError("no free display number")


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
            number = f.readline() if select.select([f], [], [], 30)[0] else b""
        if not number.endswith(b"\n"):
            self.stop()
            raise RuntimeError("Xvfb did not report its display")
        self.display = ":" + number.decode().strip()
        self.log = None
        self.captured = {}  # window: its geometry and the screen at its last settled look

    def stop(self):
        if self.log:
            self.log.stop()
            self.log = None
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()

    def log_windows(self):
        """Starts a WindowLog of this server; it stops with the server."""
        self.log = WindowLog(self.display)
        return self.log

    def env(self, **more):
        return dict(more, DISPLAY=self.display)

    def tool(self, *args, check=True):
        """Runs an X tool against this server; returns its standard output."""
        r = subprocess.run(args, env=dict(harness.BASE_ENV, DISPLAY=self.display, PATH=harness.TOOLS_PATH),
                           capture_output=True, timeout=60)
        if check and r.returncode != 0:
            raise AssertionError("%s failed: %r" % (args[0], r.stderr))
        return r.stdout

    def windows(self, name=None, classname=None):
        """The ids of the mapped windows whose title (or WM_CLASS name) is exactly this."""
        args = ["--classname", "^%s$" % classname] if classname is not None else ["--name", "^%s$" % name]
        return [int(w) for w in self.tool("xdotool", "search", "--onlyvisible", *args, check=False).split()]

    def wait_window(self, name=None, classname=None):
        """Polls for the one mapped window of that title (or class name)."""
        found = harness.wait_for(lambda: (w := self.windows(name, classname)) and len(w) == 1 and w,
                                 what="a window %r/%r" % (name, classname))
        return found[0]

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

    def motif_hints(self, window):
        """_MOTIF_WM_HINTS: flags, functions, decorations, input mode, status."""
        out = self.tool("xprop", "-id", str(window), "_MOTIF_WM_HINTS").decode().strip()
        return [int(v, 16) for v in out.split(" = ", 1)[1].split(", ")]

    def window_name(self, window):
        """The window's title, as the bytes of WM_NAME."""
        return self.tool("xdotool", "getwindowname", str(window)).rstrip(b"\n")

    def screenshot(self, path, window=None, margin=12):
        """Saves the screen (or the part around window) as a PNG at path."""
        os.makedirs(os.path.dirname(path), exist_ok=True)
        args, dump = ["/usr/bin/convert", "xwd:-"], None
        if window is not None:
            g, dump = self.captured.pop(window, None) or (self.geometry(window), None)
            args += ["-crop", "%dx%d+%d+%d" % (g["width"] + 2 * margin, g["height"] + 2 * margin,
                                               max(g["x"] - margin, 0), max(g["y"] - margin, 0)), "+repage"]
        subprocess.run(args + ["png:" + path], input=dump or self.tool("xwd", "-root", "-silent"), check=True,
                       timeout=60)

    def settled_pixels(self, window):
        """The window's pixels (raw RGB) once they show ink and stay the same
        across two looks: the event thread has drawn it. A screenshot of the
        window then shows that last look, which a window that goes soon
        after (the status window) can't escape."""
        looks = []

        def settled():
            g = self.geometry(window)
            dump = self.tool("xwd", "-root", "-silent")
            self.captured[window] = g, dump
            looks.append(subprocess.run(
                ["/usr/bin/convert", "xwd:-", "-crop", "%dx%d+%d+%d" % (g["width"], g["height"], g["x"], g["y"]),
                 "rgb:-"], input=dump, capture_output=True, check=True).stdout)
            return len(looks) > 1 and looks[-1] == looks[-2] and min(looks[-1]) < 80

        harness.wait_for(settled, what="a settled window")
        return looks[-1]

    def press_ok(self, window):
        """Presses Return with the pointer in a message box, which activates
        its default button, OK (also where OK is off the screen)."""
        g = self.geometry(window)
        self.tool("xdotool", "mousemove", str(max(g["x"], 0) + 5), str(max(g["y"], 0) + 5), "key", "Return")


def system_library(name="libXm.so.4"):
    """The file behind a shared library's name, as the dynamic loader finds it
    for the launcher's machine: in its cache, or (another architecture's, on
    a multiarch host) in the multiarch directories."""
    cache = subprocess.run(["/sbin/ldconfig", "-p"], capture_output=True).stdout.decode().splitlines()
    found = [line.split("=>")[1].strip() for line in cache if line.strip().startswith(name + " ") and "=>" in line]
    for path in found + sorted(glob.glob("/usr/lib/*/" + name)):
        if harness.elf_machine(path) == harness.elf_machine(harness.LAUNCHER):
            return os.path.realpath(path)
    raise AssertionError("no %s for the launcher's machine on this system" % name)


def without_motif(command, also=()):
    """command, where /dev/null stands in for the Motif library and the
    libraries that also names."""
    mounts = ["/usr/bin/mount --bind /dev/null " + shlex.quote(system_library(name)) for name in ("libXm.so.4",) + also]
    script = " && ".join(mounts + ['exec "$@"'])
    return [shutil.which("unshare"), "-m", "--propagation", "private", "/bin/sh", "-c", script, "sh"] + command


def with_partial_motif(command):
    """command, where the Motif library found first lacks a function."""
    return ["/usr/bin/env", "LD_LIBRARY_PATH=" + os.path.dirname(PARTIAL_MOTIF)] + command


# The hosts without a usable Motif: the library missing, or one that lacks a
# function; each as its name and what a command runs under.
NO_MOTIF = (("hidden", without_motif), ("partial", with_partial_motif))
