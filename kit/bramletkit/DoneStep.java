package bramletkit;

import java.awt.BorderLayout;
import java.io.File;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.OpenOption;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardOpenOption;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import javax.swing.JCheckBox;
import javax.swing.JComponent;
import javax.swing.JPanel;

/**
 * The end: where the product is and how to start it, and in the window
 * "start now", whose output goes to a log in the user's cache directory.
 */
final class DoneStep {
    /** The terminal window that a program for a terminal starts in. */
    private static final File TERMINAL = new File("/usr/bin/x-terminal-emulator");

    private JCheckBox startNow;

    String title(Session s) {
        return s.texts.get("done.title");
    }

    String text(Session s) {
        // Without a menu entry, the command on PATH (when it is linked there) or the script.
        String start = s.product.menu ? s.texts.get("done.text", s.productName(), s.target, startScript(s))
                : s.texts.get("done.textCommand", s.productName(), s.target, command(s));
        StringBuilder text = new StringBuilder(start);
        synchronized (s.notes) {
            for (String note : s.notes) {
                text.append('\n').append(note);
            }
        }
        return text.toString();
    }

    /** The main command's name when the installation linked it into the bin directory on PATH, else its script. */
    private static String command(Session s) {
        File script = startScript(s);
        try {
            Path link = new File(Places.binDirectory(), s.product.name).toPath();
            if (Files.readSymbolicLink(link).equals(script.toPath())) {
                return s.product.name;
            }
        } catch (IOException e) {
            // Not linked: only the script starts it.
        } catch (UnsupportedOperationException e) {
            // Likewise.
        }
        return script.getPath();
    }

    JComponent page(Session s) {
        JPanel panel = new JPanel(new BorderLayout(0, 8));
        panel.add(Wizard.label(text(s)), BorderLayout.NORTH);
        // A program for a terminal starts in a terminal window, or not at all: nobody would see it.
        if (!s.product.terminal || TERMINAL.canExecute()) {
            startNow = new JCheckBox(s.texts.get("done.startNow", s.product.name));
            JPanel box = new JPanel(new BorderLayout(0, 4));
            box.add(startNow, BorderLayout.NORTH);
            box.add(Wizard.label(s.texts.get("done.log", logFile(s))), BorderLayout.CENTER);
            JPanel top = new JPanel(new BorderLayout());
            top.add(box, BorderLayout.NORTH);
            panel.add(top, BorderLayout.CENTER);
        }
        return panel;
    }

    /** On Finish: starts the product when the user asked for it, its output appended to its log. */
    void finish(Session s) {
        if (startNow == null || !startNow.isSelected()) {
            return;
        }
        ProcessBuilder start = s.product.terminal
                ? new ProcessBuilder(TERMINAL.getPath(), "-e", startScript(s).getPath())
                : new ProcessBuilder(startScript(s).getPath());
        start.directory(Places.home().isDirectory() ? Places.home() : new File("/"));
        File devNull = new File("/dev/null");
        start.redirectInput(devNull);
        start.redirectErrorStream(true);
        File log = logFile(s);
        try {
            openLog(log, s.texts);
            start.redirectOutput(ProcessBuilder.Redirect.appendTo(log));
        } catch (IOException e) {
            System.err.println(s.texts.get("error.log", log, Installation.describe(e)));
            start.redirectOutput(devNull);
        }
        // The launcher's library path points into its working directory, which goes when the installer ends.
        Map<String, String> env = start.environment();
        String workdir = System.getProperty("java.io.tmpdir");
        String libraryPath = env.get("LD_LIBRARY_PATH");
        if (libraryPath != null && workdir != null) {
            StringBuilder kept = new StringBuilder();
            for (String dir : libraryPath.split(":", -1)) {
                if (!dir.startsWith(workdir)) {
                    kept.append(kept.length() > 0 ? ":" : "").append(dir);
                }
            }
            if (kept.length() > 0) {
                env.put("LD_LIBRARY_PATH", kept.toString());
            } else {
                env.remove("LD_LIBRARY_PATH");
            }
        }
        try {
            start.start();
        } catch (IOException e) {
            System.err.println(s.texts.get("error.start", startScript(s), Installation.describe(e)));
        }
    }

    /** Where the output of the product started now goes: NAME/NAME.log in the user's cache directory. */
    static File logFile(Session s) {
        String cache = System.getenv("XDG_CACHE_HOME");
        File base = cache != null && cache.startsWith("/") ? new File(cache) : new File(Places.home(), ".cache");
        return new File(new File(base, s.product.name), s.product.name + ".log");
    }

    /**
     * Makes log, its directory and the cache directory when they are
     * missing, for the user alone. Throws when another user could change
     * any of them, or a directory above them, as a planted link would.
     */
    private static void openLog(File log, Texts texts) throws IOException {
        int uid = (Integer) Files.getAttribute(Paths.get("/proc/self"), "unix:uid");
        // What exists is checked before anything is made in it.
        List<Path> missing = new ArrayList<Path>();
        Path existing = log.toPath().getParent();
        for (; existing != null && !Files.exists(existing, LinkOption.NOFOLLOW_LINKS); existing = existing.getParent()) {
            missing.add(0, existing);
        }
        for (Path d = existing; d != null; d = d.getParent()) {
            trusted(d, uid, true, texts);
        }
        for (Path d : missing) {
            Files.createDirectory(d, PosixFilePermissions.asFileAttribute(PosixFilePermissions.fromString("rwx------")));
        }
        Set<OpenOption> append = new HashSet<OpenOption>(Arrays.asList(StandardOpenOption.CREATE,
                StandardOpenOption.APPEND, LinkOption.NOFOLLOW_LINKS));
        Files.newByteChannel(log.toPath(), append,
                PosixFilePermissions.asFileAttribute(PosixFilePermissions.fromString("rw-------"))).close();
        trusted(log.toPath(), uid, false, texts);
    }

    /**
     * Throws unless path is a directory (or a file), not a link, of the user
     * or root, that no other user may write, or, for a directory, only with
     * the sticky bit, which keeps other users from its entries.
     */
    private static void trusted(Path path, int uid, boolean directory, Texts texts) throws IOException {
        Map<String, Object> a = Files.readAttributes(path, "unix:uid,mode,isDirectory,isRegularFile",
                LinkOption.NOFOLLOW_LINKS);
        int owner = (Integer) a.get("uid");
        int mode = (Integer) a.get("mode");
        boolean kind = (Boolean) a.get(directory ? "isDirectory" : "isRegularFile");
        if (!kind || owner != uid && owner != 0 || (mode & 022) != 0 && (!directory || (mode & 01000) == 0)) {
            throw new IOException(texts.get("log.untrusted", path));
        }
    }

    private static File startScript(Session s) {
        return new File(new File(s.target, "bin"), s.product.name);
    }
}
