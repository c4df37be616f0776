"""The real launcher in graphical mode against a real X server: progress in
the status window, errors in modal boxes, and the console fall-backs."""

import os
import re
import signal
import subprocess
import unittest

import gui_support
import harness
import kit_support

TITLE = "Setup"
X11_MESSAGES = ("Error: Cannot connect to X11 server '%s'.\n"
                "Check that the DISPLAY environment variable is correctly set or try\n"
                "rerunning this application with the following usage:\n"
                "    'setup' -console\n")
STATUS_WINDOW = (312, 334, 400, 100)  # centred on the 1024 x 768 screen; mapped before it is moved


class GraphicalRunTest(unittest.TestCase):
    def setUp(self):
        self.x = gui_support.Xvfb()
        self.addCleanup(self.x.stop)
        self.dir = harness.Scratch()
        self.addCleanup(self.dir.cleanup)
        self.tmp = self.dir.mkdir("tmp")
        self.started, self.go = self.dir / "started", self.dir / "go"

    def start(self, args=(), main_class=True, wrap=None, java_conf=None, **env):
        """A run whose runtime, once started, waits for the file go; under
        wrap (a function of the command), when given."""
        java = harness.java(self.dir / "java", log=self.dir / "log", started=self.started, wait=self.go,
                            **(java_conf or {}))
        setup = harness.installer(self.dir / "setup", main_class=main_class)
        command = [setup] + list(args) + ["-tmpdir", self.tmp]
        if wrap is not None:
            command = wrap(command)
        proc = harness.start(command[1:], program=command[0], env=self.x.env(JAVA_HOME=java, **env))
        self.addCleanup(harness.kill_group, proc)
        return proc

    def plain_run_arguments(self, wd):
        """The runtime's arguments in a run without options: no headless
        option and no wizard arguments."""
        return [self.dir / "java/bin/java", "-Djava.io.tmpdir=" + wd, "-Dtemp.dir=" + self.tmp,
                "-Djava.class.path=%s:%s/package/PackageFormat.jar" % (wd, wd), "-Djava.endorsed.dirs=",
                "-Xmx256m", "bramlet"]

    def wait_hidden(self, window):
        harness.wait_for(lambda: self.x.geometry(window).get("map") != "IsViewable", what="the window's hiding")

    def test_progress_stays_in_the_status_window_until_the_hold_ends_and_cleanup_gets_a_new_one(self):
        log = self.x.log_windows()
        proc = self.start()
        window = self.x.wait_window(TITLE)
        g = self.x.geometry(window)
        self.assertEqual((g["x"], g["y"], g["width"], g["height"]), STATUS_WINDOW)
        self.assertEqual(self.x.motif_hints(window)[1:3], [0, 0])
        harness.wait_for(self.started)
        # Still up while the runtime runs; then hidden while it still runs.
        self.assertEqual(self.x.windows(TITLE), [window])
        self.x.settled_pixels(window)
        self.x.screenshot(os.path.join(gui_support.SCREENSHOTS, "launcher-status.png"), window)
        self.wait_hidden(window)
        self.dir.write("go", "")
        r = harness.finish(proc)
        self.assertEqual((r.status, r.stderr), (0, b""), r)
        self.assertEqual(r.stdout.decode(), "Connecting to X11 server '%s'.\n" % self.x.display)
        # The clean-up after the runtime's end showed in a second status window.
        status_windows = [w for w, geometry in log.mapped if geometry[2:] == STATUS_WINDOW[2:]]
        self.assertEqual(len(status_windows), 2, log.mapped)
        self.assertEqual(status_windows[0], window)
        run = harness.java_run(self.dir / "log")
        self.assertEqual(run["arg"], self.plain_run_arguments(run["cwd"]))
        self.assertEqual(run["env"]["DISPLAY"], self.x.display)
        self.assertEqual(os.listdir(self.tmp), [])

    def test_without_a_usable_motif_progress_goes_to_the_console_and_the_installer_keeps_its_window(self):
        log = self.x.log_windows()
        self.dir.write("go", "")
        for name, wrap in gui_support.NO_MOTIF:
            with self.subTest(name):
                if os.path.exists(self.dir / "log"):
                    os.unlink(self.dir / "log")
                r = harness.finish(self.start(wrap=wrap, java_conf={"exit": 7}))
                self.assertEqual((r.status, r.stderr), (7, b""), r)
                self.assertEqual(r.stdout.decode(), "".join([
                    "Connecting to X11 server '%s'.\n" % self.x.display,
                    "No status window: the Motif library can't be loaded. Progress is shown here.\n",
                    "Checking available disk space...\n", "Checking Java(TM) 2 Runtime Environment...\n",
                    "Extracting Java(TM) 2 Runtime Environment files...\n", "Extracting installation files...\n",
                    "Launching Java(TM) 2 Runtime Environment...\n", "Deleting temporary files...\n"]))
                # The installer runs as in graphical mode, on the display.
                run = harness.java_run(self.dir / "log")
                self.assertEqual(run["arg"], self.plain_run_arguments(run["cwd"]))
                self.assertEqual(run["env"]["DISPLAY"], self.x.display)
                self.assertEqual(os.listdir(self.tmp), [])
        self.assertEqual(log.mapped, [])
        # The notice in the locale's language and code set.
        for lang, code_set in (("es_ES.ISO-8859-1", "latin-1"), ("ja_JP.eucJP", "euc_jp")):
            r = harness.finish(self.start(wrap=gui_support.without_motif, LANG=lang))
            notice = kit_support.texts(lang, "src/ui/messages/messages")["no_status_window"].encode(code_set)
            connecting, rest = r.stdout.split(b"\n", 1)
            self.assertTrue(rest.startswith(notice), (lang, r))

    def test_without_the_x_library_as_well_graphical_mode_ends_with_the_x11_messages(self):
        # The installer's own window could not open either.
        r = harness.finish(self.start(wrap=lambda command: gui_support.without_motif(command, ("libX11.so.6",))))
        self.assertEqual(r.status, 1, r)
        self.assertEqual(r.stdout.decode(), "Connecting to X11 server '%s'.\n" % self.x.display)
        self.assertEqual(r.stderr.decode(), X11_MESSAGES % self.x.display)
        self.assertEqual(harness.read_log(self.dir / "log"), [])

    def test_a_signal_after_the_hold_while_the_runtime_runs(self):
        proc = self.start()
        window = self.x.wait_window(TITLE)
        harness.wait_for(self.started)
        self.wait_hidden(window)
        proc.send_signal(signal.SIGTERM)
        self.assertEqual(harness.finish(proc).returncode, 255)
        self.assertEqual(os.listdir(self.tmp), [])
        harness.remove_lock_file(self.dir / "setup")

    def test_an_error_waits_in_a_centred_modal_box_until_ok(self):
        proc = self.start(main_class=False)
        box = self.x.wait_window(TITLE, classname="Error_popup")
        self.x.screenshot(os.path.join(gui_support.SCREENSHOTS, "launcher-error.png"), box)
        g = self.x.geometry(box)
        self.assertEqual((g["x"], g["y"]), ((1024 - g["width"]) // 2, (768 - g["height"]) // 2))
        # Move and close only; all decorations but resize handles, minimise
        # and maximise; modal for the application.
        flags, functions, decorations, input_mode = self.x.motif_hints(box)[:4]
        self.assertEqual((flags & 7, functions, decorations, input_mode), (7, 27, 101, 1))
        self.assertIsNone(proc.poll(), "the launcher did not wait for the user")
        self.x.press_ok(box)
        r = harness.finish(proc)
        self.assertEqual((r.status, r.stdout, r.stderr), (1, b"Connecting to X11 server '%s'.\n" % self.x.display.encode(),
                                                          b""), r)

    def test_a_signal_ends_the_run_at_once_while_a_box_waits(self):
        # No runtime: the error box of an early end, which keeps the working directory but for a signal.
        setup = harness.installer(self.dir / "setup")
        proc = harness.start(["-tmpdir", self.tmp], program=setup, env=self.x.env())
        self.addCleanup(harness.kill_group, proc)
        self.x.wait_window(TITLE, classname="Error_popup")
        proc.send_signal(signal.SIGTERM)
        self.assertEqual(harness.finish(proc, timeout=30).returncode, 255)
        self.assertEqual(os.listdir(self.tmp), [])

    def test_utf8_locales_show_the_texts_of_the_legacy_code_sets(self):
        # Without a main class, the status window keeps its last line behind the error box.
        for legacy, utf8 in (("es_ES.ISO-8859-1", "es_ES.UTF-8"), ("ja_JP.eucJP", "ja_JP.UTF-8")):
            looks = []
            for lang in (legacy, utf8):
                proc = self.start(main_class=False, LANG=lang)
                box = self.x.wait_window(classname="Error_popup")
                status = self.x.wait_window(classname="Status_popup")
                if lang.startswith("es"):  # the title, as X's STRING type holds it
                    self.assertEqual(self.x.window_name(box), "Instalaci\xf3n".encode("latin-1"))
                # Apart, and the keyboard's focus (which the pointer sets) in the box.
                self.x.tool("xdotool", "windowmove", str(status), "0", "0")
                g = self.x.geometry(box)
                self.x.tool("xdotool", "mousemove", str(g["x"] + 5), str(g["y"] + 5))
                looks.append([self.x.settled_pixels(w) for w in (status, box)])
                for window, kind in ((status, "status"), (box, "error")):
                    self.x.screenshot(os.path.join(gui_support.SCREENSHOTS, "%s-%s.png" % (lang, kind)), window)
                self.x.press_ok(box)
                self.assertEqual(harness.finish(proc).status, 1)
            self.assertTrue(looks[0] == looks[1], utf8)

    def test_a_box_taller_than_the_screen_stands_at_its_top(self):
        self.x.stop()
        self.x = gui_support.Xvfb(640, 100)
        self.addCleanup(self.x.stop)
        proc = self.start(main_class=False)
        box = self.x.wait_window(classname="Error_popup")
        g = self.x.geometry(box)
        self.assertEqual((g["x"], g["y"]), ((640 - g["width"]) // 2, 0))
        # OK is below the bottom of the screen: Return presses it.
        self.x.press_ok(box)
        r = harness.finish(proc)
        self.assertEqual(r.status, 1, r)

    def test_a_server_lost_while_a_box_is_up_leaves_its_text_on_the_console(self):
        proc = self.start(main_class=False)
        self.x.wait_window(classname="Error_popup")
        self.x.stop()
        r = harness.finish(proc)
        self.assertEqual(r.status, 1, r)
        self.assertTrue(r.stdout.endswith(b"Error: There are no files requiring installation.\nDeleting temporary files...\n"), r)

    def test_a_lost_server_falls_back_to_the_console_and_still_cleans_up(self):
        proc = self.start()
        self.x.wait_window(TITLE)
        harness.wait_for(self.started)
        self.x.stop()
        self.dir.write("go", "")
        r = harness.finish(proc)
        self.assertEqual(r.status, 0, r)
        self.assertTrue(r.stdout.endswith(b"Deleting temporary files...\n"), r)
        self.assertEqual(os.listdir(self.tmp), [])

    def test_console_and_silent_modes_never_open_a_window(self):
        log = self.x.log_windows()
        for args in (["-console"], ["-silent", self.dir / "state"]):
            self.dir.write("go", "")
            r = harness.finish(self.start(args))
            self.assertEqual(r.status, 0, r)
            self.assertNotIn(b"X11", r.stdout)
        self.assertEqual(log.mapped, [])


class NoDisplayTest(unittest.TestCase):
    def test_a_server_that_never_answers_gives_way_to_a_signal(self):
        # The launcher connects with Motif, and without a usable one to tell
        # an unreachable display from a missing toolkit.
        for name, wrap in (("motif", lambda command: command),) + gui_support.NO_MOTIF:
            with self.subTest(name):
                d = harness.Scratch()
                self.addCleanup(d.cleanup)
                server, display = gui_support.silent_server()
                self.addCleanup(server.close)
                command = wrap([harness.installer(d / "setup"), "-tmpdir", d.mkdir("tmp")])
                proc = harness.start(command[1:], program=command[0], env={"DISPLAY": display})
                self.addCleanup(harness.kill_group, proc)
                server.settimeout(60)
                accepted, _ = server.accept()
                self.addCleanup(accepted.close)
                proc.send_signal(signal.SIGINT)
                r = harness.finish(proc, timeout=30)
                self.assertEqual(r.returncode, 255, r)
                self.assertTrue(r.stdout.endswith(b"Deleting temporary files...\n"), r)

    def test_the_launcher_links_no_x_library(self):
        # readelf reads a launcher of any machine.
        dynamic = subprocess.run(["readelf", "-d", harness.LAUNCHER], capture_output=True, check=True).stdout.decode()
        libraries = re.findall(r"\(NEEDED\).*\[(.*)\]", dynamic)
        self.assertIn("libc.so.6", libraries)
        for name in ("libX11", "libXt", "libXm", "libxcb"):
            self.assertEqual([l for l in libraries if l.startswith(name)], [])

    def test_without_a_reachable_display_graphical_mode_ends_with_the_x11_messages(self):
        # With Motif and without a usable one alike.
        d = harness.Scratch()
        self.addCleanup(d.cleanup)
        setup = harness.installer(d / "setup")
        for name, wrap in (("motif", lambda command: command),) + gui_support.NO_MOTIF:
            for display, shown in ((None, ":0.0"), (":4711", ":4711")):
                with self.subTest(name, display=display):
                    command = wrap([setup])
                    r = harness.run(command[1:], program=command[0], env={"DISPLAY": display})
                    self.assertEqual(r.status, 1, r)
                    self.assertEqual(r.stdout.decode(), "Connecting to X11 server '%s'.\n" % shown)
                    self.assertEqual(r.stderr.decode(), X11_MESSAGES % shown)


if __name__ == "__main__":
    unittest.main()
