package bramletkit;

import java.io.BufferedReader;
import java.io.DataInputStream;
import java.io.File;
import java.io.FileInputStream;
import java.io.IOException;
import java.io.InputStreamReader;
import java.nio.charset.Charset;
import java.nio.file.AccessDeniedException;
import java.nio.file.FileAlreadyExistsException;
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
 * maker gave, the runtime (as runtime/), per command C the start script
 * bin/C and its jar bin/C.jar, the uninstaller (uninstall/), the links on
 * PATH, the desktop entries, the file types and the icon. Everything it
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
        byte[] bytes;
        int mode;
        /** A link on PATH: when something else is there by now, it is not made, and this said instead. */
        String refusal;

        Action(char kind, File path, int mode) {
            this.kind = kind;
            this.path = path;
            this.mode = mode;
        }
    }

    private final Product product;
    private final File target;
    private final Texts texts;
    private final List<String> notes;
    private final List<Action> plan = new ArrayList<Action>();
    private final List<Manifest.Entry> made = new ArrayList<Manifest.Entry>();
    private final Map<String, Integer> modes = new HashMap<String, Integer>();
    private boolean stopped;
    private boolean finished;

    /** Adds to notes what the user should know of the installation: the commands not linked on PATH. */
    Installation(Product product, File target, Texts texts, List<String> notes) {
        this.product = product;
        this.target = target;
        this.texts = texts;
        this.notes = notes;
    }

    /**
     * Where the product was installed before, as its desktop entry says, or
     * for a product without one its link on PATH: a manifest path, or null.
     */
    static File previousManifest(String name) {
        File entry = Places.desktopEntry(name);
        if (!entry.exists()) {
            // A link another user may have put there names no installation of root's.
            if (PathLinks.changeable(Places.binDirectory()) != null) {
                return null;
            }
            try {
                File script = Files.readSymbolicLink(new File(Places.binDirectory(), name).toPath()).toFile();
                File manifest = manifestOf(script.getAbsoluteFile().getParentFile().getParentFile());
                Manifest m = Manifest.read(manifest);
                return script.getName().equals(name) && m != null && m.product.equals(name) ? manifest : null;
            } catch (IOException e) {
                return null;
            } catch (UnsupportedOperationException e) {
                return null;
            }
        }
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
            List<Action> all = new ArrayList<Action>(plan);
            for (int i = 0; i < all.size(); i++) {
                Action a = all.get(i);
                progress.made(i, all.size(), a.path.getPath());
                make(a);
            }
            setDirectoryModes();
            DesktopCaches.update(Manifest.outside(made, target));
            progress.made(all.size(), all.size(), "");
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
                m.removeAll(Manifest.installDirectory(f));
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
        for (Product.Command c : product.commands) {
            plan.add(bytes(new File(bin, c.name + ".jar"), StartFiles.jar(product, c), 0644));
            plan.add(text(new File(bin, c.name), StartFiles.script(product, c, target, bundled), 0755));
        }
        addPathLinks(bin);
        addDesktopEntries();
    }

    /** Links on PATH to the commands one runs in a terminal: every launcher, the main command of a terminal program. */
    private void addPathLinks(File bin) {
        File dir = Places.binDirectory();
        for (Product.Command c : product.commands) {
            if (c.main && !product.terminal) {
                continue;
            }
            String refusal = PathLinks.refusal(dir, c.name, texts);
            if (refusal != null) {
                notes.add(refusal);
                continue;
            }
            addMissingDirectories(dir);
            Action link = new Action('l', new File(dir, c.name), 0);
            link.text = new File(bin, c.name).getPath();
            link.refusal = texts.get("link.exists", c.name, dir, link.path);
            plan.add(link);
        }
    }

    private void addDesktopEntries() throws IOException {
        boolean entries = product.menu || !product.terminal && product.commands.size() > 1;
        if (!entries && product.fileTypes.isEmpty()) {
            return;
        }
        File data = Places.dataDirectory();
        if (!product.fileTypes.isEmpty()) {
            File packages = new File(data, "mime/packages");
            addMissingDirectories(packages);
            plan.add(text(new File(packages, product.name + ".xml"), DesktopEntries.mimePackage(product), 0644));
        }
        if (!entries) {
            return;
        }
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
        File applications = Places.desktopEntry(product.name).getParentFile();
        addMissingDirectories(applications);
        for (Product.Command c : product.commands) {
            // A launcher of a terminal program is run from PATH, not from the menus.
            if (c.main ? product.menu : !product.terminal) {
                File entry = new File(applications, (c.main ? c.name : product.name + "-" + c.name) + ".desktop");
                plan.add(text(entry, DesktopEntries.entry(product, c, target, icon, manifestOf(target)), 0644));
            }
        }
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
        return bytes(path, text.getBytes(UTF8), mode);
    }

    private static Action bytes(File path, byte[] bytes, int mode) {
        Action a = new Action('t', path, mode);
        a.bytes = bytes;
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
                writeManifest(a.path);
                setMode(a.path, a.mode);
                break;
            case 'f':
                Files.copy(a.source.toPath(), a.path.toPath(), StandardCopyOption.REPLACE_EXISTING,
                        LinkOption.NOFOLLOW_LINKS);
                setMode(a.path, a.mode);
                break;
            case 't':
                Files.deleteIfExists(a.path.toPath());
                Files.write(a.path.toPath(), a.bytes);
                setMode(a.path, a.mode);
                break;
            default:
                try {
                    Files.createSymbolicLink(a.path.toPath(), Paths.get(a.text));
                } catch (FileAlreadyExistsException e) {
                    if (a.refusal == null) {
                        throw e;
                    }
                    // Made by somebody else since the plan: theirs, neither to undo nor to uninstall.
                    synchronized (this) {
                        made.remove(made.size() - 1);
                        plan.remove(a);
                    }
                    writeManifest(manifestOf(target));
                    notes.add(a.refusal);
                }
                break;
        }
    }

    /** Writes the plan, as it stands, to the manifest. */
    private void writeManifest(File to) throws IOException {
        Manifest m = new Manifest(product.name, product.version);
        for (Action planned : plan) {
            m.entries.add(new Manifest.Entry(planned.kind == 'd' ? 'd' : planned.kind == 'l' ? 'l' : 'f', planned.path));
        }
        m.write(to);
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

    static String shellQuote(String s) {
        return "'" + s.replace("'", "'\\''") + "'";
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
