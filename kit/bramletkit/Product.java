package bramletkit;

import java.io.File;
import java.io.FileInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.net.URISyntaxException;
import java.util.Properties;

/**
 * What the installer installs, as mksetup described it in
 * package/product.properties: the product's name and version, its main jar
 * and class, and whether it runs in a terminal. The files themselves lie
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

    private Product(File root, Properties p) throws IOException {
        this.root = root;
        name = required(p, "name");
        version = required(p, "version");
        mainJar = p.getProperty("mainJar", "");
        mainClass = p.getProperty("mainClass", "");
        terminal = Boolean.parseBoolean(p.getProperty("terminal", "false"));
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
