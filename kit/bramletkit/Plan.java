package bramletkit;

import java.io.DataInputStream;
import java.io.File;
import java.io.FileInputStream;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Set;

/**
 * What an installation makes, in order, each at its final path: the
 * directories around the installation, the installation's own tree (the
 * manifest first, then the uninstaller, the application with its modes,
 * the runtime, the start files), then what lies outside it (links on PATH,
 * file types, the icon, desktop entries).
 */
final class Plan {
    enum Kind { DIRECTORY, COPY, TEXT, LINK, MANIFEST }

    /** One thing to make at path. */
    static final class Action {
        final Kind kind;
        final File path;
        final int mode;
        File source;
        byte[] bytes;
        /** A link's target. */
        String link;
        /** A link on PATH: when something else is there by now, it is not made, and this said instead. */
        String refusal;

        Action(Kind kind, File path, int mode) {
            this.kind = kind;
            this.path = path;
            this.mode = mode;
        }

        Manifest.Kind entryKind() {
            return kind == Kind.DIRECTORY ? Manifest.Kind.DIRECTORY
                    : kind == Kind.LINK ? Manifest.Kind.LINK : Manifest.Kind.FILE;
        }
    }

    private final Product product;
    private final File target;
    private final Texts texts;
    private final List<String> notes;
    private final Modes modes;
    /** The directories made around target, which doesn't exist yet: its parents and itself. */
    final List<Action> around = new ArrayList<Action>();
    /** Below target. */
    final List<Action> inside = new ArrayList<Action>();
    final List<Action> outside = new ArrayList<Action>();
    /** The directories around target (and target) that the earlier installation made: this one's now. */
    private final List<File> takenOver = new ArrayList<File>();
    /** Whether target itself is the installation's: made by it, or by the earlier one. */
    private final boolean ownsTarget;
    /** What the earlier installations made: replaced, never refused. */
    private final Set<File> earlier;

    /**
     * The plan of product in target, where earlier (or null) is installed
     * already and earlierPaths were made by the earlier installations. Adds
     * to notes what the user should know: the commands not linked on PATH,
     * a menu entry not made.
     */
    Plan(Product product, File target, Manifest here, Set<File> earlierPaths, Texts texts, List<String> notes)
            throws IOException {
        this.product = product;
        this.target = target;
        this.texts = texts;
        this.notes = notes;
        this.modes = Modes.read(product);
        this.earlier = earlierPaths;
        if (here != null) {
            for (Manifest.Entry e : here.entries) {
                if (e.kind == Manifest.Kind.DIRECTORY && below(target, e.path)) {
                    takenOver.add(e.path);
                }
            }
        }
        this.ownsTarget = takenOver.remove(target) || !Files.exists(target.toPath(), LinkOption.NOFOLLOW_LINKS);
        for (File d = target.getParentFile(); d != null && !d.exists(); d = d.getParentFile()) {
            around.add(0, new Action(Kind.DIRECTORY, d, 0755));
        }
        addInside();
        addPathLinks(new File(target, "bin"));
        addDesktopEntries();
    }

    /** The manifest of the installation: every action, target first when it is the installation's. */
    Manifest manifest() {
        Manifest m = new Manifest(product.name, product.version);
        for (Action a : around) {
            m.entries.add(new Manifest.Entry(a.entryKind(), a.path));
        }
        for (File d : takenOver) {
            m.entries.add(new Manifest.Entry(Manifest.Kind.DIRECTORY, d));
        }
        if (ownsTarget) {
            m.entries.add(new Manifest.Entry(Manifest.Kind.DIRECTORY, target));
        }
        for (Action a : inside) {
            m.entries.add(new Manifest.Entry(a.entryKind(), a.path));
        }
        for (Action a : outside) {
            m.entries.add(new Manifest.Entry(a.entryKind(), a.path));
        }
        return m;
    }

    private void addInside() throws IOException {
        File uninstall = new File(target, "uninstall");
        inside.add(new Action(Kind.DIRECTORY, uninstall, 0755));
        inside.add(new Action(Kind.MANIFEST, Manifest.of(target), 0644));
        inside.add(copy(new File(uninstall, "uninstall"), product.file("package/uninstall/uninstall"), 0755));
        inside.add(copy(new File(uninstall, "bramlet_uninstall.class"),
                product.file("package/uninstall/bramlet_uninstall.class"), 0644));
        File uninstallPackage = new File(uninstall, "package");
        inside.add(new Action(Kind.DIRECTORY, uninstallPackage, 0755));
        inside.add(copy(new File(uninstallPackage, "PackageFormat.jar"), product.file("package/PackageFormat.jar"),
                0644));
        inside.add(copy(new File(uninstallPackage, "product.properties"), product.file("package/product.properties"),
                0644));
        addTree(product.file("package/app"), "package/app", target);
        File runtime = product.file("package/jre");
        boolean bundled = new File(runtime, "bin/java").isFile();
        if (bundled) {
            inside.add(new Action(Kind.DIRECTORY, new File(target, "runtime"), 0755));
            addTree(runtime, "package/jre", new File(target, "runtime"));
            Action link = new Action(Kind.LINK, new File(uninstallPackage, "jre"), 0);
            link.link = "../../runtime";
            inside.add(link);
        }
        File bin = new File(target, "bin");
        if (!product.file("package/app/bin").isDirectory()) {
            inside.add(new Action(Kind.DIRECTORY, bin, 0755));
        }
        for (Product.Command c : product.commands) {
            inside.add(bytes(new File(bin, c.name + ".jar"), StartFiles.jar(product, c), 0644));
            inside.add(text(new File(bin, c.name), StartFiles.script(product, c, target, bundled), 0755));
        }
    }

    /** Links on PATH to the commands one runs in a terminal: every launcher, the main command of a terminal program. */
    private void addPathLinks(File bin) {
        File dir = Places.binDirectory();
        for (Product.Command c : product.commands) {
            if (c.main && !product.terminal) {
                continue;
            }
            String refusal = PathLinks.refusal(dir, c.name, earlier.contains(new File(dir, c.name)), texts);
            if (refusal != null) {
                notes.add(refusal);
                continue;
            }
            addMissingDirectories(dir);
            Action link = new Action(Kind.LINK, new File(dir, c.name), 0);
            link.link = new File(bin, c.name).getPath();
            link.refusal = texts.get("link.exists", c.name, dir, link.path);
            outside.add(link);
        }
    }

    private void addDesktopEntries() throws IOException {
        boolean entries = product.menu || !product.terminal && product.commands.size() > 1;
        if (!entries && product.fileTypes.isEmpty()) {
            return;
        }
        File data = Places.dataDirectory();
        File changeable = Trust.changeable(new File(data, "applications"));
        if (changeable == null) {
            changeable = Trust.changeable(new File(data, "mime/packages"));
        }
        if (changeable == null) {
            changeable = Trust.changeable(new File(data, "icons/hicolor"));
        }
        if (changeable != null) {
            notes.add(texts.get("menu.untrusted", product.name, changeable));
            return;
        }
        if (!product.fileTypes.isEmpty()) {
            File packages = new File(data, "mime/packages");
            addMissingDirectories(packages);
            outside.add(text(new File(packages, product.name + ".xml"), DesktopEntries.mimePackage(product), 0644));
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
            outside.add(copy(to, png, 0644));
            icon = to.getPath();
        }
        File applications = Places.desktopEntry(product.name).getParentFile();
        addMissingDirectories(applications);
        for (Product.Command c : product.commands) {
            // A launcher of a terminal program is run from PATH, not from the menus.
            if (c.main ? product.menu : !product.terminal) {
                File entry = new File(applications, (c.main ? c.name : product.name + "-" + c.name) + ".desktop");
                outside.add(text(entry, DesktopEntries.entry(product, c, target, icon, Manifest.of(target)), 0644));
            }
        }
    }

    private void addMissingDirectories(File dir) {
        List<Action> missing = new ArrayList<Action>();
        for (File d = dir; d != null && (!Files.exists(d.toPath(), LinkOption.NOFOLLOW_LINKS) || earlier.contains(d))
                && !planned(d); d = d.getParentFile()) {
            missing.add(0, new Action(Kind.DIRECTORY, d, 0755));
        }
        outside.addAll(missing);
    }

    private boolean planned(File path) {
        for (Action a : outside) {
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
            if (Files.isDirectory(from.toPath(), LinkOption.NOFOLLOW_LINKS)) {
                inside.add(new Action(Kind.DIRECTORY, path, modes.of(key, 0755)));
                addTree(from, key, path);
            } else {
                inside.add(copy(path, from, modes.of(key, 0644)));
            }
        }
    }

    private static Action copy(File path, File source, int mode) {
        Action a = new Action(Kind.COPY, path, mode);
        a.source = source;
        return a;
    }

    private static Action text(File path, String text, int mode) {
        return bytes(path, text.getBytes(StandardCharsets.UTF_8), mode);
    }

    private static Action bytes(File path, byte[] bytes, int mode) {
        Action a = new Action(Kind.TEXT, path, mode);
        a.bytes = bytes;
        return a;
    }

    /** The width and height a PNG's header gives. */
    private static int[] pngSize(File png) throws IOException {
        try (DataInputStream in = new DataInputStream(new FileInputStream(png))) {
            in.skipBytes(16);
            return new int[] {in.readInt(), in.readInt()};
        }
    }

    /** Whether path lies below (or is) top. */
    static boolean below(File path, File top) {
        Path p = path.toPath();
        return p.startsWith(top.toPath());
    }
}
