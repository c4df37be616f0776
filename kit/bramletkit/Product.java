package bramletkit;

import java.io.File;
import java.io.FileInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.net.URISyntaxException;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.Map;
import java.util.Properties;
import java.util.TreeMap;

/**
 * What the installer installs, as mksetup described it in
 * package/product.properties: the product's name and version, its main jar
 * and class, how to run it (class path, JVM options, arguments, more
 * commands), whether it runs in a terminal, and what the menus show of it
 * (titles, descriptions, categories, file types). The files themselves lie
 * beside it in the payload: package/app (the application), package/jre (the
 * runtime, when there is one), package/license.txt and package/icon.png.
 */
final class Product {
    final File root;
    final String name;
    final String version;
    final String mainJar;
    final String mainClass;
    final boolean terminal;
    /** Whether the main command gets a desktop entry. */
    final boolean menu;
    final String title;
    /** Null when there is none. */
    final String description;
    final String vendor;
    final String categories;
    /** The translations of title and description, by language (ll or ll_CC). */
    final Map<String, String> titles;
    final Map<String, String> descriptions;
    /** The class path after the main jar, relative to the application directory. */
    final List<String> classPath;
    final List<String> javaOptions;
    final List<String> arguments;
    /** The main command first, then the launchers. */
    final List<Command> commands = new ArrayList<Command>();
    final List<FileType> fileTypes = new ArrayList<FileType>();

    /** One command of the application: bin/NAME runs mainClass. */
    static final class Command {
        final String name;
        final String mainClass;
        final boolean main;

        Command(String name, String mainClass, boolean main) {
            this.name = name;
            this.mainClass = mainClass;
            this.main = main;
        }
    }

    /** Files *.extension are of mimeType, and the main command opens them. */
    static final class FileType {
        final String extension;
        final String mimeType;

        FileType(String extension, String mimeType) {
            this.extension = extension;
            this.mimeType = mimeType;
        }
    }

    /** The product p describes, whose payload lies in root. */
    Product(File root, Properties p) throws IOException {
        this.root = root;
        name = required(p, "name");
        version = required(p, "version");
        mainJar = p.getProperty("mainJar", "");
        mainClass = p.getProperty("mainClass", "");
        terminal = Boolean.parseBoolean(p.getProperty("terminal", "false"));
        menu = Boolean.parseBoolean(p.getProperty("menu", terminal ? "false" : "true"));
        title = p.getProperty("title", name);
        description = p.getProperty("description");
        vendor = p.getProperty("vendor");
        categories = p.getProperty("categories", "Utility;");
        titles = translations(p, "title.");
        descriptions = translations(p, "description.");
        classPath = list(p, "classPath");
        javaOptions = list(p, "javaOption");
        arguments = list(p, "argument");
        commands.add(new Command(name, mainClass, true));
        for (int i = 0; p.getProperty("launcher." + i + ".name") != null; i++) {
            commands.add(new Command(p.getProperty("launcher." + i + ".name"),
                    required(p, "launcher." + i + ".class"), false));
        }
        for (int i = 0; p.getProperty("fileType." + i + ".extension") != null; i++) {
            fileTypes.add(new FileType(p.getProperty("fileType." + i + ".extension"),
                    required(p, "fileType." + i + ".mimeType")));
        }
    }

    /** The values of key.0, key.1, ... up to the first missing one. */
    private static List<String> list(Properties p, String key) {
        List<String> values = new ArrayList<String>();
        for (int i = 0; p.getProperty(key + "." + i) != null; i++) {
            values.add(p.getProperty(key + "." + i));
        }
        return Collections.unmodifiableList(values);
    }

    /** Every prefixLANG key's value by LANG, in LANG's order. */
    private static Map<String, String> translations(Properties p, String prefix) {
        Map<String, String> found = new TreeMap<String, String>();
        for (String key : p.stringPropertyNames()) {
            if (key.startsWith(prefix) && key.length() > prefix.length()) {
                found.put(key.substring(prefix.length()), p.getProperty(key));
            }
        }
        return Collections.unmodifiableMap(found);
    }

    /** The product whose payload (or uninstaller) holds this class's jar. */
    static Product load() throws IOException {
        File root = payloadRoot();
        Properties p = new Properties();
        InputStream in = new FileInputStream(new File(root, "package/product.properties"));
        try {
            p.load(in);
        } finally {
            in.close();
        }
        return new Product(root, p);
    }

    File file(String name) {
        return new File(root, name);
    }

    /** The licence to accept, or null. */
    File license() {
        File f = file("package/license.txt");
        return f.isFile() ? f : null;
    }

    /** The icon of the desktop entry, or null. */
    File icon() {
        File f = file("package/icon.png");
        return f.isFile() ? f : null;
    }

    /** The top of the extracted payload: two levels above this class's jar (package/PackageFormat.jar). */
    private static File payloadRoot() throws IOException {
        try {
            File jar = new File(Product.class.getProtectionDomain().getCodeSource().getLocation().toURI());
            return jar.getAbsoluteFile().getParentFile().getParentFile();
        } catch (URISyntaxException e) {
            throw new IOException(e.getMessage());
        }
    }

    private static String required(Properties p, String key) throws IOException {
        String value = p.getProperty(key);
        if (value == null || value.isEmpty()) {
            throw new IOException("package/product.properties gives no " + key);
        }
        return value;
    }
}
