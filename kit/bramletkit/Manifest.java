package bramletkit;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.DirectoryNotEmptyException;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.nio.file.StandardOpenOption;
import java.nio.file.attribute.PosixFilePermission;
import java.util.ArrayList;
import java.util.HashSet;
import java.util.List;
import java.util.Set;

/**
 * What one installation made, in the order it made it: directories, files
 * and links, each by its absolute path. It is written before the files it
 * names, so that the uninstaller (and a cancelled or failed installation)
 * removes exactly that, and nothing the user put there since.
 *
 * The format is lines ended by LF alone: "bramlet-manifest 2", "product
 * NAME", "version VERSION", then a line "KIND PATH" per entry. Values are
 * UTF-8 with the backslash and every control character written as \\ and
 * \xHH, so no name can end a line early or add one. Version 1 wrote paths
 * as they were; it is still read, split at LF only.
 */
final class Manifest {
    private static final String MAGIC = "bramlet-manifest 2";
    private static final String MAGIC_1 = "bramlet-manifest 1";

    enum Kind {
        DIRECTORY('d'), FILE('f'), LINK('l');

        final char letter;

        Kind(char letter) {
            this.letter = letter;
        }

        static Kind of(char letter) {
            for (Kind k : values()) {
                if (k.letter == letter) {
                    return k;
                }
            }
            return null;
        }
    }

    /** One thing made. */
    static final class Entry {
        final Kind kind;
        final File path;

        Entry(Kind kind, File path) {
            this.kind = kind;
            this.path = path;
        }

        /** The same entry at the same place below to as it has below from; itself when it lies outside from. */
        Entry rebased(File from, File to) {
            Path p = path.toPath();
            Path top = from.toPath();
            return p.startsWith(top) ? new Entry(kind, to.toPath().resolve(top.relativize(p)).toFile()) : this;
        }
    }

    final String product;
    final String version;
    final List<Entry> entries = new ArrayList<Entry>();

    Manifest(String product, String version) {
        this.product = product;
        this.version = version;
    }

    void write(File to) throws IOException {
        StringBuilder s = new StringBuilder(MAGIC).append('\n');
        s.append("product ").append(escape(product)).append('\n');
        s.append("version ").append(escape(version)).append('\n');
        for (Entry e : entries) {
            s.append(e.kind.letter).append(' ').append(escape(e.path.getPath())).append('\n');
        }
        // A new file only: never through a link or over something planted there.
        Files.deleteIfExists(to.toPath());
        try (OutputStream out = Files.newOutputStream(to.toPath(), StandardOpenOption.CREATE_NEW)) {
            out.write(s.toString().getBytes(StandardCharsets.UTF_8));
        }
    }

    static String escape(String s) {
        StringBuilder e = new StringBuilder();
        for (int i = 0; i < s.length(); i++) {
            char c = s.charAt(i);
            if (c == '\\') {
                e.append("\\\\");
            } else if (c < 0x20 || c == 0x7f) {
                e.append(String.format("\\x%02x", (int) c));
            } else {
                e.append(c);
            }
        }
        return e.toString();
    }

    /** The text escape wrote, or null when line is no such text. */
    static String unescape(String line) {
        StringBuilder s = new StringBuilder();
        for (int i = 0; i < line.length(); i++) {
            char c = line.charAt(i);
            if (c < 0x20 || c == 0x7f) {
                return null;
            }
            if (c != '\\') {
                s.append(c);
            } else if (line.startsWith("\\", i + 1)) {
                s.append('\\');
                i++;
            } else if (line.startsWith("x", i + 1) && i + 4 <= line.length()) {
                try {
                    s.append((char) Integer.parseInt(line.substring(i + 2, i + 4), 16));
                } catch (NumberFormatException e) {
                    return null;
                }
                i += 3;
            } else {
                return null;
            }
        }
        return s.toString();
    }

    /**
     * The manifest in file, or null when there is none there, it is not one,
     * or another user could have written it (see Trust).
     */
    static Manifest read(File file) {
        if (!Files.isRegularFile(file.toPath(), LinkOption.NOFOLLOW_LINKS) || Trust.changeable(file) != null) {
            return null;
        }
        try {
            return parse(readAll(file));
        } catch (IOException e) {
            return null;
        }
    }

    private static byte[] readAll(File file) throws IOException {
        try (InputStream in = Files.newInputStream(file.toPath(), LinkOption.NOFOLLOW_LINKS)) {
            ByteArrayOutputStream bytes = new ByteArrayOutputStream();
            byte[] buffer = new byte[8192];
            for (int n; (n = in.read(buffer)) > 0;) {
                bytes.write(buffer, 0, n);
            }
            return bytes.toByteArray();
        }
    }

    static Manifest parse(byte[] bytes) {
        String[] lines = new String(bytes, StandardCharsets.UTF_8).split("\n", -1);
        if (lines.length < 4 || !lines[lines.length - 1].isEmpty()) {
            return null;
        }
        boolean escaped = MAGIC.equals(lines[0]);
        if (!escaped && !MAGIC_1.equals(lines[0])) {
            return null;
        }
        String product = value(lines[1], "product ", escaped);
        String version = value(lines[2], "version ", escaped);
        if (product == null || version == null) {
            return null;
        }
        Manifest m = new Manifest(product, version);
        for (int i = 3; i < lines.length - 1; i++) {
            String line = lines[i];
            Kind kind = line.length() > 2 && line.charAt(1) == ' ' ? Kind.of(line.charAt(0)) : null;
            String path = kind == null ? null : value(line, line.substring(0, 2), escaped);
            // One damaged line makes the whole list unsure: nothing is removed by it.
            if (path == null || !path.startsWith("/")) {
                return null;
            }
            m.entries.add(new Entry(kind, new File(path)));
        }
        return m;
    }

    private static String value(String line, String key, boolean escaped) {
        if (!line.startsWith(key)) {
            return null;
        }
        String v = line.substring(key.length());
        return escaped ? unescape(v) : v;
    }

    /**
     * Removes the first count entries, the last made first: files and links
     * (never what a link leads to, nor a file the user put in a link's
     * place), and directories once they are empty. A directory the
     * installation made read-only is made writable for its owner first.
     * Returns the directories left because they hold something else, and
     * whatever could not be removed.
     */
    static List<File> remove(List<Entry> entries, int count) {
        for (int i = 0; i < count; i++) {
            Entry e = entries.get(i);
            if (e.kind == Kind.DIRECTORY) {
                allowRemoving(e.path.toPath());
            }
        }
        List<File> left = new ArrayList<File>();
        for (int i = count - 1; i >= 0; i--) {
            Entry e = entries.get(i);
            Path p = e.path.toPath();
            try {
                boolean link = Files.isSymbolicLink(p);
                if (e.kind == Kind.LINK ? link : e.kind != Kind.DIRECTORY || !link && Files.isDirectory(p)) {
                    Files.deleteIfExists(p);
                }
            } catch (DirectoryNotEmptyException ex) {
                left.add(e.path);
            } catch (NoSuchFileException ex) {
                // Gone already: nothing to do.
            } catch (IOException ex) {
                left.add(e.path);
            }
        }
        return left;
    }

    /** Gives the owner of directory p, when it is the user, the right to remove what is in it. */
    private static void allowRemoving(Path p) {
        try {
            if (Files.isDirectory(p, LinkOption.NOFOLLOW_LINKS)
                    && (Integer) Files.getAttribute(p, "unix:uid", LinkOption.NOFOLLOW_LINKS) == Trust.uid()) {
                Set<PosixFilePermission> set = Files.getPosixFilePermissions(p, LinkOption.NOFOLLOW_LINKS);
                if (set.add(PosixFilePermission.OWNER_WRITE) | set.add(PosixFilePermission.OWNER_EXECUTE)) {
                    Files.setPosixFilePermissions(p, set);
                }
            }
        } catch (IOException e) {
            // Its removal says what is left.
        } catch (RuntimeException e) {
            // No unix view: removed as it is, or left.
        }
    }

    /**
     * Removes every entry but those of keep, and the desktop's caches in the
     * directories they made; updates the others. What lies outside
     * installDirectory goes first (links, desktop entries, file types), so
     * that the caches' tools still start: the uninstaller's runtime is among
     * the rest.
     */
    List<File> removeAll(File installDirectory, Set<File> keep) {
        List<Entry> kept = new ArrayList<Entry>();
        for (Entry e : entries) {
            if (!keep.contains(e.path)) {
                kept.add(e);
            }
        }
        List<Entry> outside = outside(kept, installDirectory);
        List<Entry> inside = new ArrayList<Entry>(kept);
        inside.removeAll(outside);
        List<File> left = remove(outside, outside.size());
        if (DesktopCaches.removeGenerated(outside)) {
            left = remove(outside, outside.size());
        }
        DesktopCaches.update(outside);
        left.addAll(remove(inside, inside.size()));
        return left;
    }

    List<File> removeAll(File installDirectory) {
        return removeAll(installDirectory, new HashSet<File>());
    }

    /** The paths of the entries. */
    Set<File> paths() {
        Set<File> paths = new HashSet<File>();
        for (Entry e : entries) {
            paths.add(e.path);
        }
        return paths;
    }

    /**
     * The entries outside installDirectory: the desktop's files among them,
     * never an application's own (the desktop's tools leave those alone).
     * The directories made around the installation count as its own.
     */
    static List<Entry> outside(List<Entry> entries, File installDirectory) {
        List<Entry> outside = new ArrayList<Entry>();
        Path top = installDirectory.getAbsoluteFile().toPath();
        for (Entry e : entries) {
            Path path = e.path.getAbsoluteFile().toPath();
            if (!path.startsWith(top) && !top.startsWith(path)) {
                outside.add(e);
            }
        }
        return outside;
    }

    /** The directory the product was installed in: the manifest's own directory's parent. */
    static File installDirectory(File manifest) {
        return manifest.getAbsoluteFile().getParentFile().getParentFile();
    }

    static File of(File installDirectory) {
        return new File(new File(installDirectory, "uninstall"), "manifest");
    }
}
