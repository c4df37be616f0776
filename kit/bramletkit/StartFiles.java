package bramletkit;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.Charset;
import java.util.jar.Attributes;
import java.util.jar.JarEntry;
import java.util.jar.JarFile;
import java.util.jar.JarOutputStream;

/**
 * What starts one command of the product: bin/C.jar, a jar of only a
 * manifest whose Class-Path names the application's jars, and bin/C, the
 * script that runs it with java -jar, so that the application runs as its
 * main jar would, with the launch attributes its maker gave it.
 */
final class StartFiles {
    private static final Charset UTF8 = Charset.forName("UTF-8");
    /** The main jar's attributes that only java -jar reads from the jar it runs. */
    private static final String[] LAUNCH_ATTRIBUTES = {"Add-Opens", "Add-Exports", "Enable-Native-Access",
            "Launcher-Agent-Class", "SplashScreen-Image"};

    private StartFiles() {}

    /** The bytes of bin/C.jar for command, installed in the product's application directory. */
    static byte[] jar(Product product, Product.Command command) throws IOException {
        File app = product.file("package/app");
        JarFile main = new JarFile(new File(app, product.mainJar));
        try {
            java.util.jar.Manifest from = main.getManifest();
            Attributes given = from != null ? from.getMainAttributes() : new Attributes();
            java.util.jar.Manifest manifest = new java.util.jar.Manifest();
            Attributes attributes = manifest.getMainAttributes();
            attributes.put(Attributes.Name.MANIFEST_VERSION, "1.0");
            for (String name : LAUNCH_ATTRIBUTES) {
                String value = given.getValue(name);
                if (value != null) {
                    attributes.putValue(name, value);
                }
            }
            attributes.put(Attributes.Name.MAIN_CLASS, command.mainClass);
            StringBuilder classPath = new StringBuilder(classPathUrl(product.mainJar, false));
            for (String entry : product.classPath) {
                classPath.append(' ').append(classPathUrl(entry, new File(app, entry).isDirectory()));
            }
            attributes.put(Attributes.Name.CLASS_PATH, classPath.toString());
            ByteArrayOutputStream bytes = new ByteArrayOutputStream();
            JarOutputStream out = new JarOutputStream(bytes, manifest);
            try {
                // The java launcher shows the splash image of the jar it is given.
                String splash = given.getValue("SplashScreen-Image");
                JarEntry image = splash != null ? main.getJarEntry(splash) : null;
                if (image != null) {
                    out.putNextEntry(new JarEntry(splash));
                    InputStream in = main.getInputStream(image);
                    try {
                        byte[] buffer = new byte[8192];
                        for (int n; (n = in.read(buffer)) > 0;) {
                            out.write(buffer, 0, n);
                        }
                    } finally {
                        in.close();
                    }
                    out.closeEntry();
                }
            } finally {
                out.close();
            }
            return bytes.toByteArray();
        } finally {
            main.close();
        }
    }

    /**
     * A path of the application directory as a Class-Path URL relative to
     * bin/: every byte but the unreserved ones and '/' percent-encoded, so
     * that blanks, ':' and '%' in names mean themselves.
     */
    static String classPathUrl(String path, boolean directory) {
        String relative = path.startsWith("bin/") ? "./" + path.substring(4) : "../" + path;
        StringBuilder url = new StringBuilder();
        for (byte b : relative.getBytes(UTF8)) {
            char c = (char) (b & 0xff);
            if (c < 0x80 && (Character.isLetterOrDigit(c) || "._~/-".indexOf(c) >= 0)) {
                url.append(c);
            } else {
                url.append('%').append(String.format("%02X", b & 0xff));
            }
        }
        return directory && !relative.endsWith("/") ? url.append('/').toString() : url.toString();
    }

    /** The text of bin/C for command, installed in target, on the bundled runtime or not. */
    static String script(Product product, Product.Command command, File target, boolean bundled) {
        StringBuilder s = new StringBuilder("#!/bin/sh\n");
        s.append("# Starts ").append(command.name).append(" of ").append(product.name).append(' ')
                .append(product.version).append(bundled ? " on the Java runtime installed with it.\n"
                        : " on the Java runtime of JAVA_HOME, else the java on PATH.\n");
        s.append("APPDIR=").append(shellQuote(target.getPath())).append('\n');
        // JAVA_OPTS and the command's own variable are split into words, never into file names.
        s.append("set -f\n");
        s.append("exec ").append(bundled ? "\"$APPDIR/runtime/bin/java\"" : "\"${JAVA_HOME:+$JAVA_HOME/bin/}java\"");
        for (String option : product.javaOptions) {
            s.append(' ').append(withAppDir(option));
        }
        s.append(" $JAVA_OPTS $").append(optionsVariable(command.name));
        s.append(" -jar \"$APPDIR/bin/").append(command.name).append(".jar\"");
        if (command.main) {
            for (String argument : product.arguments) {
                s.append(' ').append(shellQuote(argument));
            }
        }
        return s.append(" \"$@\"\n").toString();
    }

    /**
     * The variable of a command's own JVM options, as Gradle's scripts name
     * it: HELLO_CLI_OPTS; _2D_OPTS for 2d, since to the shell $2D_OPTS is the
     * script's second argument followed by D_OPTS.
     */
    static String optionsVariable(String command) {
        StringBuilder v = new StringBuilder(Character.isDigit(command.charAt(0)) ? "_" : "");
        for (char c : command.toUpperCase(java.util.Locale.ROOT).toCharArray()) {
            v.append(c >= 'A' && c <= 'Z' || c >= '0' && c <= '9' ? c : '_');
        }
        return v.append("_OPTS").toString();
    }

    /** A JVM option single-quoted, with each $APPDIR or ${APPDIR} in it as the script's "$APPDIR". */
    static String withAppDir(String option) {
        StringBuilder quoted = new StringBuilder();
        int from = 0;
        for (int i = 0; i < option.length(); i++) {
            int length = option.startsWith("${APPDIR}", i) ? 9
                    : option.startsWith("$APPDIR", i) && !nameChar(option, i + 7) ? 7 : 0;
            if (length > 0) {
                if (i > from) {
                    quoted.append(shellQuote(option.substring(from, i)));
                }
                quoted.append("\"$APPDIR\"");
                from = i + length;
                i = from - 1;
            }
        }
        if (from < option.length() || from == 0) {
            quoted.append(shellQuote(option.substring(from)));
        }
        return quoted.toString();
    }

    private static boolean nameChar(String s, int i) {
        if (i >= s.length()) {
            return false;
        }
        char c = s.charAt(i);
        return c == '_' || c >= 'A' && c <= 'Z' || c >= 'a' && c <= 'z' || c >= '0' && c <= '9';
    }

    static String shellQuote(String s) {
        return "'" + s.replace("'", "'\\''") + "'";
    }
}
