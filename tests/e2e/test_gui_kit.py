"""The installer kit's window under a real X server, clicked through as a
user would: welcome, licence, directory, progress and done, in English,
Spanish and Japanese (screenshots of each step go to build/gui-screenshots),
also on a host without Motif (the launcher's progress then on the console),
and a cancel while the files are copied, after which nothing is left. In
English the directory is chosen with Browse and the product started at the
end, its output in its log; in Spanish the uninstaller's window asks. The
kit is held (tests/support/open_gate.c) as it begins to copy the runtime's
largest file, for the picture of its progress and the cancel."""

import os
import re
import shutil
import signal
import stat
import unittest
from concurrent.futures import ThreadPoolExecutor

import gui_support
import harness
import kit_support
from kit_support import NAME


def lines(path):
    """How many lines the file at path holds so far (0 when there is none)."""
    try:
        with open(path) as f:
            return f.read().count("\n")
    except FileNotFoundError:
        return 0


class GraphicalInstall(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = d = harness.Scratch()
        cls.setup = kit_support.installer(d, "setup", kit_support.application(d, "app"))
        # The runs side by side, each on an X server of its own.
        runs = [("en", "C.UTF-8"), ("es", "es_ES.UTF-8"), ("ja", "ja_JP.UTF-8"), ("cancel", "C.UTF-8"),
                ("nomotif", "C.UTF-8")]
        if harness.EMULATED:
            # The kit is the same bytecode on every machine, and each of its
            # runtimes costs half a minute of both cores under qemu: English
            # and Japanese show the target's runtime drawing the windows and
            # their texts; Spanish and the cancel are the kit's alone, and
            # the launcher's part of a run without Motif is seen with a
            # stand-in runtime in test_gui_launcher.
            runs = [run for run in runs if run[0] in ("en", "ja")]
        # A copy each (the launcher lets one run of a file at a time), all made
        # before any starts: a file still open for writing in a child that
        # another thread forks can't be executed.
        for key, _ in runs:
            shutil.copy(cls.setup, d / ("setup-" + key))
        with ThreadPoolExecutor(len(runs)) as pool:
            cls.runs = dict(zip([key for key, _ in runs], pool.map(cls.install, runs)))

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    @classmethod
    def install(cls, run):
        """Clicks through one installation (the run "cancel" cancels it while
        it copies, the run "nomotif" runs without the Motif library); returns
        its result, or the exception it met."""
        key, locale = run
        cancel, motif = key == "cancel", key != "nomotif"
        d, x = cls.dir, gui_support.Xvfb()
        texts = kit_support.texts(locale)
        status_title = kit_support.texts(locale, "src/ui/messages/messages")["setup_title"]
        target, xdg = d / ("installed-" + key), d / ("xdg-" + key)
        seen = {}
        if key == "en":
            # Browse chooses the directory that takes the product's: here one that is empty already.
            target = d.mkdir("browse-en") / NAME
            os.mkdir(target)
        if key == "ja":
            # Where the log of the product started now would go, another user's link to its own directory.
            os.chown(d.mkdir("elsewhere-ja"), harness.NOBODY, harness.NOBODY)
            os.symlink(d / "elsewhere-ja", d.mkdir("cache-ja") / NAME)
            os.lchown(d / "cache-ja" / NAME, harness.NOBODY, harness.NOBODY)
        suffix = "" if locale.startswith("C.") else "-" + locale

        def page(step):
            title = texts["window.title"].replace("{0}", NAME + " 1.0").replace("{1}", texts[step])
            return x.wait_window(title)

        def shot(name, window):
            if cancel or not motif:
                return
            x.settled_pixels(window)
            x.screenshot(os.path.join(gui_support.SCREENSHOTS, "kit-%s%s.png" % (name, suffix)), window)

        proc = None
        # The kit is held as it begins to copy the runtime's largest file:
        # half-way through, whatever the machine's speed.
        gate = d / ("gate-" + key)
        # The kit makes the installation beside its directory, then renames it into place.
        staging = os.path.join(os.path.dirname(target), ".%s.bramlet-new" % os.path.basename(target))
        held = dict(LD_PRELOAD=harness.OPEN_GATE, OPEN_GATE=gate, OPEN_GATE_PATTERN=staging + "/runtime/lib/modules")
        if harness.SANITIZED:  # the launcher is preloaded too
            held["ASAN_OPTIONS"] = os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0"
        try:
            command = [d / ("setup-" + key), "-tmpdir", d.mkdir("tmp-" + key)]
            if not motif:
                command = gui_support.without_motif(command)
            proc = harness.start(command[1:], program=command[0],
                                 env=x.env(LANG=locale, XDG_DATA_DIRS=xdg, JAVA_HOME=None,
                                           XDG_CACHE_HOME=d / ("cache-" + key), **held))
            window = page("welcome.title")
            # The launcher's status window has gone.
            harness.wait_for(lambda: not x.windows(status_title), what="the status window's end")
            shot("welcome", window)
            g = x.geometry(window)
            # A click into the window gives it the keyboard.
            x.tool("xdotool", "mousemove", str(g["x"] + 40), str(g["y"] + 20), "click", "1", "key", "Return")
            window = page("license.title")
            shot("license", window)
            x.tool("xdotool", "key", "space", "key", "Return")
            window = page("directory.title")
            shot("directory", window)
            if key == "en":
                # Chosen: the parent, then the product's own directory, which the field names by then, by
                # its name alone, in the field's parent where the chooser starts.
                for chosen in (os.path.dirname(target), NAME):
                    # Browse, at the field's end.
                    x.tool("xdotool", "mousemove", str(g["x"] + g["width"] - 56), str(g["y"] + 80), "click", "1")
                    chooser = x.wait_window("Open")
                    if chosen == NAME:
                        shot("browse", chooser)
                    x.tool("xdotool", "type", "--delay", "5", chosen)
                    x.tool("xdotool", "key", "Return")
                    harness.wait_for(lambda: not x.windows("Open"), what="the file chooser's end")
                # The field takes the keyboard back for Return.
                x.tool("xdotool", "mousemove", str(g["x"] + 100), str(g["y"] + 80), "click", "1")
                shot("directory-browsed", window)
            else:
                x.tool("xdotool", "type", "--delay", "5", target)
            x.tool("xdotool", "key", "Return")
            harness.wait_for(gate + ".waiting", what="the copying of the runtime")
            window = page("install.title")
            if cancel:
                # Pressed, Cancel greys: the only change while the copying is held.
                x.tool("xdotool", "mousemove", str(g["x"] + g["width"] - 45), str(g["y"] + g["height"] - 18))
                before = x.settled_pixels(window)
                x.tool("xdotool", "click", "1")
                harness.wait_for(lambda: x.settled_pixels(window) != before, what="Cancel pressed")
            else:
                shot("progress", window)
            d.write(os.path.basename(gate), "")
            if not cancel:
                window = page("done.title")
                # Start now is the same bytecode on every machine: seen natively.
                if key in ("en", "ja") and not harness.EMULATED:
                    # From Finish back to Start now, ticked.
                    x.tool("xdotool", "key", "shift+Tab", "key", "space")
                    x.settled_pixels(window)
                shot("done", window)
                x.tool("xdotool", "key", "Return")
                if key == "en" and not harness.EMULATED:
                    log = d / "cache-en" / NAME / (NAME + ".log")
                    harness.wait_for(lambda: lines(log) == 2, what="the started product's output")
                    seen["log"] = log
            r = harness.finish(proc)
            if key == "es" and r.status == 0:
                seen["installed"] = os.path.exists(target / "bin" / NAME)
                seen["uninstall"] = cls.uninstall(x, target, locale, xdg, texts)
            return r, target, xdg, seen
        except Exception as e:  # reported by the test that looks at this run
            return e, target, xdg, seen
        finally:
            if proc is not None:
                harness.kill_group(proc)
            x.stop()

    @classmethod
    def uninstall(cls, x, target, locale, xdg, texts):
        """Answers Yes in the uninstaller's window; returns its result, and the
        sizes of its question window and of Swing's window with the question
        the window should ask, on the same display."""
        name = NAME + " 1.0"
        title = texts["uninstall.title"].replace("{0}", name)
        env = x.env(LANG=locale, XDG_DATA_DIRS=xdg, JAVA_HOME=None)
        proc = harness.start(["-tmpdir", cls.dir.mkdir("tmp-uninstall")], program=target / "uninstall/uninstall",
                             env=env)
        window = x.wait_window(title)
        x.settled_pixels(window)
        x.screenshot(os.path.join(gui_support.SCREENSHOTS, "kit-uninstall-%s.png" % locale), window)
        g = x.geometry(window)
        question = texts["uninstall.window"].replace("{0}", name).replace("{1}", target)
        reference = harness.start([os.path.join(kit_support.SOURCES, "tests/support/confirm_dialog.java"),
                                   "reference", question], program=os.path.join(harness.JDK, "bin/java"), env=env)
        try:
            shown = x.geometry(x.wait_window("reference"))
        finally:
            harness.kill_group(reference)
            reference.communicate()
        sizes = [(g["width"], g["height"]), (shown["width"], shown["height"])]
        # Yes is the default button, which Return presses once a click gave the window the keyboard;
        # then the same for OK in the window that says it is done.
        for _ in range(2):
            g = x.geometry(x.wait_window(title))
            x.tool("xdotool", "mousemove", str(g["x"] + 5), str(g["y"] + 5), "click", "1", "key", "Return")
            harness.wait_for(lambda: not x.windows(title) or not os.path.exists(target / "bin" / NAME),
                             what="an answer to the uninstaller")
        return harness.finish(proc), sizes

    def result(self, key):
        r, target, xdg, seen = self.runs[key]
        if isinstance(r, Exception):
            raise r
        self.assertEqual(os.listdir(self.dir / ("tmp-" + key)), [])
        return r, target, xdg, seen

    def test_clicked_through_in_english_spanish_and_japanese(self):
        for key in ("en", "es", "ja"):
            if key not in self.runs:
                continue
            r, target, xdg, seen = self.result(key)
            self.assertEqual(r.status, 0, r)
            if key == "es":
                continue  # uninstalled: see below
            self.assertTrue(os.access(target / "bin" / NAME, os.X_OK))
            self.assertTrue(os.path.exists(xdg / "applications" / (NAME + ".desktop")))

    @unittest.skipIf(harness.EMULATED, "the kit's windows are the same bytecode on every machine: seen natively")
    def test_browse_chooses_the_directory_the_product_goes_into_and_start_now_logs_its_output(self):
        r, target, xdg, seen = self.result("en")
        self.assertEqual(target, self.dir / "browse-en" / NAME)
        self.assertTrue(os.access(target / "bin" / NAME, os.X_OK))
        with open(seen["log"]) as f:
            self.assertRegex(f.read(), r"^Hello from the bramlet example application\.\nIt runs on Java 17\S* "
                             r"from %s\.\n$" % re.escape(target / "runtime"))
        self.assertEqual(stat.S_IMODE(os.stat(seen["log"]).st_mode), 0o600)
        self.assertEqual(stat.S_IMODE(os.stat(os.path.dirname(seen["log"])).st_mode), 0o700)

    @unittest.skipIf(harness.EMULATED, "the kit's windows are the same bytecode on every machine: seen natively")
    def test_the_log_of_the_product_started_now_follows_no_link_of_another_user(self):
        r, target, xdg, seen = self.result("ja")
        log = self.dir / "cache-ja" / NAME / (NAME + ".log")
        refused = kit_support.texts("ja_JP.UTF-8")["error.log"].replace("{0}", log).split("{1}")[0]
        self.assertIn(refused, r.stderr.decode(), r)
        self.assertEqual(os.listdir(self.dir / "elsewhere-ja"), [])

    @unittest.skipIf(harness.EMULATED, "the kit's windows are the same bytecode on every machine: seen natively")
    def test_the_uninstallers_window_asks_without_the_consoles_yes_no_and_removes(self):
        r, target, xdg, seen = self.result("es")
        self.assertTrue(seen["installed"])
        (u, (asked, expected)) = seen["uninstall"]
        self.assertEqual(u.status, 0, u)
        self.assertEqual(asked, expected)
        self.assertEqual(kit_support.installed(target) | kit_support.installed(xdg), set())

    @unittest.skipIf(harness.EMULATED, "seen with a stand-in runtime in test_gui_launcher")
    def test_without_motif_the_kit_window_opens_and_installs(self):
        r, target, xdg, _ = self.result("nomotif")
        self.assertEqual(r.status, 0, r)
        self.assertTrue(os.access(target / "bin" / NAME, os.X_OK))
        self.assertTrue(os.path.exists(xdg / "applications" / (NAME + ".desktop")))
        # The launcher's progress, on the console.
        self.assertTrue(r.stdout.startswith(b"Connecting to X11 server ':")
                        and b"No status window: the Motif library can't be loaded. Progress is shown here.\n"
                            b"Checking available disk space...\n" in r.stdout, r)
        self.assertTrue(r.stdout.endswith(b"Launching Java(TM) 2 Runtime Environment...\n"
                                          b"Deleting temporary files...\n"), r)

    @unittest.skipIf(harness.EMULATED, "the kit's cancel is the same bytecode on every machine: seen natively")
    def test_cancel_while_copying_leaves_nothing(self):
        r, target, xdg, _ = self.result("cancel")
        self.assertEqual(r.status, 2, r)
        self.assertEqual(kit_support.installed(target) | kit_support.installed(xdg), set())
        self.assertEqual([n for n in os.listdir(self.dir.path) if n.endswith(".bramlet-new")], [])


if __name__ == "__main__":
    unittest.main()
