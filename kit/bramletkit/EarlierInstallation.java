package bramletkit;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;

/**
 * The product's installation made before this one, as its desktop entry
 * says, or for a product without one its link on PATH. Only a record the
 * user alone can change counts (see Trust): one that another user planted
 * names no installation of this user's.
 */
final class EarlierInstallation {
    private static final String KEY = "X-Bramlet-Manifest=";

    final File manifestFile;
    final Manifest manifest;

    private EarlierInstallation(File manifestFile, Manifest manifest) {
        this.manifestFile = manifestFile;
        this.manifest = manifest;
    }

    File directory() {
        return Manifest.installDirectory(manifestFile);
    }

    /** The installation of product name in dir, or null when dir holds none. */
    static EarlierInstallation in(File dir, String name) {
        return of(Manifest.of(dir), name);
    }

    private static EarlierInstallation of(File manifestFile, String name) {
        Manifest m = Manifest.read(manifestFile);
        return m != null && m.product.equals(name) ? new EarlierInstallation(manifestFile, m) : null;
    }

    /** The installation that the desktop entry or the link on PATH names, or null. */
    static EarlierInstallation find(String name) {
        File entry = Places.desktopEntry(name);
        if (Files.exists(entry.toPath(), LinkOption.NOFOLLOW_LINKS)) {
            return fromEntry(entry, name);
        }
        Path link = new File(Places.binDirectory(), name).toPath();
        if (Trust.changeable(link.toFile()) != null) {
            return null;
        }
        try {
            File script = Files.readSymbolicLink(link).toFile();
            File bin = script.getAbsoluteFile().getParentFile();
            return script.getName().equals(name) && bin.getName().equals("bin")
                    ? of(Manifest.of(bin.getParentFile()), name) : null;
        } catch (IOException e) {
            return null;
        } catch (UnsupportedOperationException e) {
            return null;
        }
    }

    private static EarlierInstallation fromEntry(File entry, String name) {
        if (!Files.isRegularFile(entry.toPath(), LinkOption.NOFOLLOW_LINKS) || Trust.changeable(entry) != null) {
            return null;
        }
        try {
            String text = new String(Files.readAllBytes(entry.toPath()), StandardCharsets.UTF_8);
            for (String line : text.split("\n")) {
                if (line.startsWith(KEY)) {
                    return of(new File(unescape(line.substring(KEY.length()))), name);
                }
            }
        } catch (IOException e) {
            // Unreadable: no earlier installation known.
        }
        return null;
    }

    /** A desktop entry's string value as DesktopEntries.escape wrote it. */
    private static String unescape(String value) {
        StringBuilder s = new StringBuilder();
        for (int i = 0; i < value.length(); i++) {
            char c = value.charAt(i);
            if (c == '\\' && i + 1 < value.length()) {
                char n = value.charAt(++i);
                s.append(n == 'n' ? '\n' : n == 't' ? '\t' : n == 'r' ? '\r' : n == 's' ? ' ' : n);
            } else {
                s.append(c);
            }
        }
        return s.toString();
    }

    /** The directory offered: where the product is installed already, else the user's default. */
    static File defaultDirectory(String name) {
        EarlierInstallation earlier = find(name);
        return earlier != null ? earlier.directory() : Places.defaultDirectory(name);
    }

    /**
     * What the user must agree to before product goes into target: null
     * when nothing, else the question (the earlier installation in another
     * directory is removed, or an older version replaces a newer one).
     */
    static String question(Product product, File target, Texts texts) {
        EarlierInstallation here = in(target, product.name);
        EarlierInstallation earlier = here != null ? here : find(product.name);
        if (earlier == null) {
            return null;
        }
        String installed = earlier.manifest.product + " " + earlier.manifest.version;
        String mine = product.name + " " + product.version;
        if (!earlier.directory().equals(target)) {
            return texts.get("earlier.elsewhere", installed, earlier.directory(), target);
        }
        if (Versions.compare(product.version, earlier.manifest.version) < 0) {
            return texts.get("earlier.newer", installed, mine);
        }
        return null;
    }
}
