package bramletkit;

import java.io.BufferedReader;
import java.io.File;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStreamReader;
import java.io.OutputStreamWriter;
import java.io.Writer;
import java.nio.charset.Charset;
import java.nio.file.DirectoryNotEmptyException;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

/**
 * What one installation made, in the order it made it: directories, files
 * and links, each by its absolute path. It is written before the files it
 * names, so that the uninstaller (and a cancelled or failed installation)
 * removes exactly that, and nothing the user put there since.
 */
final class Manifest {
    private static final String MAGIC = "bramlet-manifest 1";

    /** One thing made: 'd' a directory, 'f' a file, 'l' a symbolic link. */
    static final class Entry {
        final char kind;
        final File path;

        Entry(char kind, File path) {
            this.kind = kind;
            this.path = path;
        }
    }

    final String product;
    final String version;
    final List<Entry> entries = new ArrayList<Entry>();

    Manifest(String product, String version) {
        this.product = product;
        this.version = version;
    }

    /** File names are bytes in the encoding the runtime uses for them. */
    private static Charset names() {
        String jnu = System.getProperty("sun.jnu.encoding");
        try {
            return jnu != null ? Charset.forName(jnu) : Charset.defaultCharset();
        } catch (RuntimeException e) {
            return Charset.defaultCharset();
        }
    }

    void write(File to) throws IOException {
        Writer out = new OutputStreamWriter(new FileOutputStream(to), names());
        try {
            out.write(MAGIC + "\nproduct " + product + "\nversion " + version + "\n");
            for (Entry e : entries) {
                out.write(e.kind + " " + e.path.getPath() + "\n");
            }
        } finally {
            out.close();
        }
    }

    /** The manifest in file, or null when there is none there (or it is not one). */
    static Manifest read(File file) {
        try {
            BufferedReader in = new BufferedReader(new InputStreamReader(new FileInputStream(file), names()));
            try {
                if (!MAGIC.equals(in.readLine())) {
                    return null;
                }
                String product = value(in.readLine(), "product ");
                String version = value(in.readLine(), "version ");
                if (product == null || version == null) {
                    return null;
                }
                Manifest m = new Manifest(product, version);
                for (String line; (line = in.readLine()) != null;) {
                    if (line.length() > 2 && "dfl".indexOf(line.charAt(0)) >= 0 && line.charAt(1) == ' ') {
                        m.entries.add(new Entry(line.charAt(0), new File(line.substring(2))));
                    }
                }
                return m;
            } finally {
                in.close();
            }
        } catch (IOException e) {
            return null;
        }
    }

    private static String value(String line, String key) {
        return line != null && line.startsWith(key) ? line.substring(key.length()) : null;
    }

    /**
     * Removes the first count entries, the last made first: files and links
     * (never what a link leads to, nor a file the user put in a link's
     * place), and directories once they are empty. Returns the directories
     * left because they hold something else, and whatever could not be
     * removed.
     */
    static List<File> remove(List<Entry> entries, int count) {
        List<File> left = new ArrayList<File>();
        for (int i = count - 1; i >= 0; i--) {
            Entry e = entries.get(i);
            try {
                if (e.kind == 'l' ? Files.isSymbolicLink(e.path.toPath())
                        : e.kind != 'd' || Files.isDirectory(e.path.toPath(), LinkOption.NOFOLLOW_LINKS)) {
                    Files.deleteIfExists(e.path.toPath());
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

    /**
     * Removes every entry, and the desktop's caches in the directories they
     * made; updates the others. What lies outside installDirectory goes
     * first (links, desktop entries, file types), so that the caches' tools
     * still start: the uninstaller's runtime is among the rest.
     */
    List<File> removeAll(File installDirectory) {
        List<Entry> outside = outside(entries, installDirectory);
        List<Entry> inside = new ArrayList<Entry>(entries);
        inside.removeAll(outside);
        List<File> left = remove(outside, outside.size());
        if (DesktopCaches.removeGenerated(outside)) {
            left = remove(outside, outside.size());
        }
        DesktopCaches.update(outside);
        left.addAll(remove(inside, inside.size()));
        return left;
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
}
