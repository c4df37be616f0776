package bramletkit;

import java.io.BufferedReader;
import java.io.DataInputStream;
import java.io.File;
import java.io.FileInputStream;
import java.io.IOException;
import java.io.InputStreamReader;
import java.nio.charset.Charset;
import java.nio.file.AccessDeniedException;
import java.nio.file.FileSystemException;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.PosixFilePermission;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.EnumSet;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.Set;

/**
 * Installs the product into a directory: the application with the modes its
 * maker gave, the runtime (as runtime/), the start script bin/NAME, the
 * uninstaller (uninstall/), the desktop entry and the icon. Everything it
 * will make is written to the manifest first; a cancelled or failed
 * installation removes what it had made, and an earlier installation of the
 * same product is removed before the new one is made.
 */
final class Installation {
    /** Told of each thing made; throws Cancelled to stop the installation. */
    interface Progress {
        void made(int done, int total, String what) throws Cancelled;
    }

    private static final Charset UTF8 = Charset.forName("UTF-8");

    /** One step of the plan: a directory, a copy, a text or a link to make at path. */
    private static final class Action {
        final char kind;
        final File path;
        File source;
        String text;
        int mode;

        Action(char kind, File path, int mode) {
            this.kind = kind;
            this.path = path;
            this.mode = mode;
        }
    }

    private final Product product;
    private final File target;
    private final Texts texts;
    private final List<Action> plan = new ArrayList<Action>();
    private final List<Manifest.Entry> made = new ArrayList<Manifest.Entry>();
    private final Map<String, Integer> modes = new HashMap<String, Integer>();
    private boolean stopped;
    private boolean finished;

    Installation(Product product, File target, Texts texts) {
        this.product = product;
        this.target = target;
        this.texts = texts;
    }

    /** Where the product was installed before, as its desktop entry says: a manifest path, or null. */
    static File previousManifest(String name) {
        File entry = Places.desktopEntry(name);
        try {
            BufferedReader in = new BufferedReader(new InputStreamReader(new FileInputStream(entry), UTF8));
            try {
                for (String line; (line = in.readLine()) != null;) {
                    if (line.startsWith("X-Bramlet-Manifest=")) {
                        File manifest = new File(line.substring("X-Bramlet-Manifest=".length()));
                        Manifest m = Manifest.read(manifest);
                        return m != null && m.product.equals(name) ? manifest : null;
                    }
                }
            } finally {
                in.close();
            }
        } catch (IOException e) {
            // No entry, or one of another kind: no earlier installation known.
        }
        return null;
    }

    /** The directory offered: where the product is installed already, else the user's default. */
    static File defaultDirectory(String name) {
        File previous = previousManifest(name);
        return previous != null ? Manifest.installDirectory(previous) : Places.defaultDirectory(name);
    }

    /**
     * Checks that dir can take the product: an absolute path, new, empty or
     * an installation of the same product, below a directory the user may
     * write. Throws Failure with the reason.
     */
    static File checkDirectory(String dir, Product product, Texts texts) throws Failure {
        if (dir == null || dir.trim().isEmpty() || !new File(dir.trim()).isAbsolute()) {
            throw new Failure(texts.get("error.notAbsolute", dir == null ? "" : dir.trim()));
        }
        if (dir.indexOf('\n') >= 0) {
            throw new Failure(texts.get("error.notAbsolute", dir.trim()));
        }
        File target = new File(Paths.get(dir.trim()).normalize().toString());
        if (target.exists()) {
            if (!target.isDirectory()) {
                throw new Failure(texts.get("error.notDirectory", target));
            }
            String[] names = target.list();
            Manifest m = Manifest.read(manifestOf(target));
            if (names == null || names.length > 0 && (m == null || !m.product.equals(product.name))) {
                throw new Failure(texts.get("error.notEmpty", target));
            }
        }
        File existing = target;
        while (!existing.exists()) {
            existing = existing.getParentFile();
        }
        if (!existing.isDirectory() || !Files.isWritable(existing.toPath())) {
            throw new Failure(texts.get("error.notWritable", existing));
        }
        return target;
    }

    static File manifestOf(File installDirectory) {
        return new File(new File(installDirectory, "uninstall"), "manifest");
    }

    /** Installs, telling progress of each step. On Failure or Cancelled nothing of it is left. */
    void run(Progress progress) throws Failure, Cancelled {
        Thread undo = new Thread() {
            @Override
            public void run() {
                undo();
            }
        };
        // Ended by a signal (the launcher passes on the user's interrupt): undo what was made.
        Runtime.getRuntime().addShutdownHook(undo);
        try {
            replacePrevious();
            makePlan();
            for (int i = 0; i < plan.size(); i++) {
                Action a = plan.get(i);
                progress.made(i, plan.size(), a.path.getPath());
                make(a);
            }
            setDirectoryModes();
            progress.made(plan.size(), plan.size(), "");
            synchronized (this) {
                finished = true;
            }
        } catch (IOException e) {
            undo();
            throw new Failure(texts.get("error.install", describe(e)));
        } catch (Cancelled e) {
            undo();
            throw e;
        } finally {
            try {
                Runtime.getRuntime().removeShutdownHook(undo);
            } catch (IllegalStateException e) {
                // The runtime is ending already; the hook does the undoing.
            }
        }
    }

    /** Stops an unfinished installation and removes what it made. */
    private synchronized void undo() {
        if (!finished && !stopped) {
            stopped = true;
            Manifest.remove(made, made.size());
        }
    }

    private void replacePrevious() {
        List<File> manifests = new ArrayList<File>();
        manifests.add(manifestOf(target));
        File other = previousManifest(product.name);
        if (other != null) {
            manifests.add(other);
        }
        for (File f : manifests) {
            Manifest m = Manifest.read(f);
            if (m != null && m.product.equals(product.name)) {
                m.removeAll();
            }
        }
    }

    private void makePlan() throws IOException {
        readModes();
        List<File> missing = new ArrayList<File>();
        for (File d = target; d != null && !d.exists(); d = d.getParentFile()) {
            missing.add(0, d);
        }
        for (File d : missing) {
            plan.add(new Action('d', d, 0755));
        }
        File uninstall = new File(target, "uninstall");
        plan.add(new Action('d', uninstall, 0755));
        plan.add(new Action('m', manifestOf(target), 0644));
        plan.add(copy(new File(uninstall, "uninstall"), product.file("package/uninstall/uninstall"), 0755));
        plan.add(copy(new File(uninstall, "bramlet_uninstall.class"),
                product.file("package/uninstall/bramlet_uninstall.class"), 0644));
        File uninstallPackage = new File(uninstall, "package");
        plan.add(new Action('d', uninstallPackage, 0755));
        plan.add(copy(new File(uninstallPackage, "PackageFormat.jar"), product.file("package/PackageFormat.jar"), 0644));
        plan.add(copy(new File(uninstallPackage, "product.properties"), product.file("package/product.properties"),
                0644));
        addTree(product.file("package/app"), "package/app", target);
        File runtime = product.file("package/jre");
        boolean bundled = new File(runtime, "bin/java").isFile();
        if (bundled) {
            plan.add(new Action('d', new File(target, "runtime"), 0755));
            addTree(runtime, "package/jre", new File(target, "runtime"));
            Action link = new Action('l', new File(uninstallPackage, "jre"), 0);
            link.text = "../../runtime";
            plan.add(link);
        }
        File bin = new File(target, "bin");
        if (!product.file("package/app/bin").isDirectory()) {
            plan.add(new Action('d', bin, 0755));
        }
        plan.add(text(new File(bin, product.name), startScript(bundled), 0755));
        addDesktopEntry();
    }

    private void addDesktopEntry() throws IOException {
        File data = Places.dataDirectory();
        String icon = null;
        File png = product.icon();
        if (png != null) {
            int[] size = pngSize(png);
            File dir = new File(data, "icons/hicolor/" + size[0] + "x" + size[1] + "/apps");
            addMissingDirectories(dir);
            File to = new File(dir, product.name + ".png");
            plan.add(copy(to, png, 0644));
            icon = to.getPath();
        }
        File entry = Places.desktopEntry(product.name);
        addMissingDirectories(entry.getParentFile());
        StringBuilder s = new StringBuilder();
        s.append("[Desktop Entry]\nType=Application\nVersion=1.0\n");
        s.append("Name=").append(product.name).append('\n');
        s.append("Comment=").append(product.name).append(' ').append(product.version).append('\n');
        s.append("Exec=").append(desktopQuote(new File(target, "bin/" + product.name).getPath())).append('\n');
        if (icon != null) {
            s.append("Icon=").append(desktopEscape(icon)).append('\n');
        }
        s.append("Terminal=").append(product.terminal).append('\n');
        s.append("Categories=Utility;\n");
        s.append("X-Bramlet-Manifest=").append(manifestOf(target).getPath()).append('\n');
        plan.add(text(entry, s.toString(), 0644));
    }

    private void addMissingDirectories(File dir) {
        List<File> missing = new ArrayList<File>();
        for (File d = dir; d != null && !d.exists() && !planned(d); d = d.getParentFile()) {
            missing.add(0, d);
        }
        for (File d : missing) {
            plan.add(new Action('d', d, 0755));
        }
    }

    private boolean planned(File path) {
        for (Action a : plan) {
            if (a.path.equals(path)) {
                return true;
            }
        }
        return false;
    }

    /** Adds the tree below dir (named prefix in the payload) to be made below to. */
    private void addTree(File dir, String prefix, File to) throws IOException {
        String[] names = dir.list();
        if (names == null) {
            throw new IOException(texts.get("error.read", dir));
        }
        Arrays.sort(names);
        for (String name : names) {
            File from = new File(dir, name);
            File path = new File(to, name);
            String key = prefix + "/" + name;
            if (from.isDirectory()) {
                plan.add(new Action('d', path, mode(key, 0755)));
                addTree(from, key, path);
            } else {
                plan.add(copy(path, from, mode(key, 0644)));
            }
        }
    }

    private static Action copy(File path, File source, int mode) {
        Action a = new Action('f', path, mode);
        a.source = source;
        return a;
    }

    private static Action text(File path, String text, int mode) {
        Action a = new Action('t', path, mode);
        a.text = text;
        return a;
    }

    private int mode(String key, int fallback) {
        Integer m = modes.get(key);
        return m != null ? m : fallback;
    }

    /** package/modes: "MODE NAME" a line, the modes the files had where mksetup packed them. */
    private void readModes() throws IOException {
        File file = product.file("package/modes");
        if (!file.isFile()) {
            return;
        }
        String jnu = System.getProperty("sun.jnu.encoding", Charset.defaultCharset().name());
        BufferedReader in = new BufferedReader(new InputStreamReader(new FileInputStream(file), jnu));
        try {
            for (String line; (line = in.readLine()) != null;) {
                int space = line.indexOf(' ');
                if (space > 0) {
                    modes.put(line.substring(space + 1), Integer.parseInt(line.substring(0, space), 8));
                }
            }
        } finally {
            in.close();
        }
    }

    /** Makes one thing, recording it before it exists; refuses to go on once stopped. */
    private void make(Action a) throws IOException, Cancelled {
        synchronized (this) {
            if (stopped) {
                throw new Cancelled();
            }
            made.add(new Manifest.Entry(a.kind == 'd' ? 'd' : a.kind == 'l' ? 'l' : 'f', a.path));
        }
        switch (a.kind) {
            case 'd':
                if (!a.path.isDirectory() && !a.path.mkdir()) {
                    Files.createDirectory(a.path.toPath());
                }
                // Writable by the installer until everything is in it.
                setMode(a.path, 0700);
                break;
            case 'm':
                Manifest m = new Manifest(product.name, product.version);
                for (Action planned : plan) {
                    m.entries.add(new Manifest.Entry(planned.kind == 'd' ? 'd' : planned.kind == 'l' ? 'l' : 'f',
                            planned.path));
                }
                m.write(a.path);
                setMode(a.path, a.mode);
                break;
            case 'f':
                Files.copy(a.source.toPath(), a.path.toPath(), StandardCopyOption.REPLACE_EXISTING,
                        LinkOption.NOFOLLOW_LINKS);
                setMode(a.path, a.mode);
                break;
            case 't':
                Files.deleteIfExists(a.path.toPath());
                Files.write(a.path.toPath(), a.text.getBytes(UTF8));
                setMode(a.path, a.mode);
                break;
            default:
                Files.createSymbolicLink(a.path.toPath(), Paths.get(a.text));
                break;
        }
    }

    private void setDirectoryModes() throws IOException {
        for (int i = plan.size() - 1; i >= 0; i--) {
            Action a = plan.get(i);
            if (a.kind == 'd') {
                setMode(a.path, a.mode);
            }
        }
    }

    private static void setMode(File path, int mode) throws IOException {
        Set<PosixFilePermission> set = EnumSet.noneOf(PosixFilePermission.class);
        PosixFilePermission[] bits = PosixFilePermission.values();
        // OWNER_READ is 0400 and OTHERS_EXECUTE 0001: the enum's order is the bits' order.
        for (int i = 0; i < bits.length; i++) {
            if ((mode & (0400 >> i)) != 0) {
                set.add(bits[i]);
            }
        }
        Files.setPosixFilePermissions(path.toPath(), set);
    }

    private String startScript(boolean bundled) {
        String home = target.getPath();
        String java = bundled ? shellQuote(home + "/runtime/bin/java")
                : "\"${JAVA_HOME:+$JAVA_HOME/bin/}java\"";
        return "#!/bin/sh\n"
                + "# Starts " + product.name + " " + product.version + (bundled ? " on the Java runtime installed with it.\n"
                        : " on the Java runtime of JAVA_HOME, else the java on PATH.\n")
                + "exec " + java + " -cp " + shellQuote(home + "/" + product.mainJar) + " " + product.mainClass
                + " \"$@\"\n";
    }

    static String shellQuote(String s) {
        return "'" + s.replace("'", "'\\''") + "'";
    }

    /** A desktop entry's string value: backslash, and the control characters, escaped. */
    private static String desktopEscape(String s) {
        return s.replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r");
    }

    /** An argument of a desktop entry's Exec key, quoted as that key wants it. */
    private static String desktopQuote(String s) {
        StringBuilder q = new StringBuilder("\"");
        for (char c : s.toCharArray()) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') {
                q.append('\\');
            } else if (c == '%') {
                q.append('%');
            }
            q.append(c);
        }
        return desktopEscape(q.append('"').toString());
    }

    /** The width and height a PNG's header gives. */
    private static int[] pngSize(File png) throws IOException {
        DataInputStream in = new DataInputStream(new FileInputStream(png));
        try {
            in.skipBytes(16);
            return new int[] {in.readInt(), in.readInt()};
        } finally {
            in.close();
        }
    }

    /** An I/O failure as one line: what failed and why. */
    static String describe(IOException e) {
        if (e instanceof AccessDeniedException) {
            return ((AccessDeniedException) e).getFile() + ": permission denied";
        }
        if (e instanceof FileSystemException) {
            FileSystemException f = (FileSystemException) e;
            return f.getFile() + (f.getReason() != null ? ": " + f.getReason() : "");
        }
        return e.getMessage();
    }
}
