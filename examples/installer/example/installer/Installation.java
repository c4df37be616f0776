package example.installer;

import java.io.File;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

/**
 * Copies the example application from the payload ("app") into the target
 * directory, and the payload's Java runtime ("package/jre"), when it carries
 * one, into target/runtime, so that the application runs without a Java
 * runtime on the host.
 */
final class Installation {
    /** Marks a directory as an installation of the example, which may be replaced. */
    static final String MARKER = ".bramlet-example";

    private final File payload;
    private final File target;
    private final Log log;

    Installation(File payload, File target, Log log) {
        this.payload = payload;
        this.target = target;
        this.log = log;
    }

    void run() throws IOException {
        File app = new File(payload, "app");
        File runtime = new File(new File(payload, "package"), "jre");
        if (!app.isDirectory()) {
            throw new IOException("the payload holds no application (" + app + ")");
        }
        checkTarget();
        List<String[]> copies = new ArrayList<String[]>();
        collect(app, "", copies);
        if (runtime.isDirectory()) {
            collect(runtime, "runtime/", copies);
        }
        log.line("Installing into " + target + " (" + copies.size() + " files)");
        int done = 0;
        for (String[] copy : copies) {
            install(new File(copy[0]), copy[1]);
            done++;
            // A line per file would drown the dialogue: a line per tenth, and the last file.
            if (done == copies.size() || done % Math.max(1, copies.size() / 10) == 0) {
                log.line(String.format("[%3d%%] %s", 100 * done / copies.size(), copy[1]));
            }
        }
        File marker = new File(target, MARKER);
        if (!marker.exists() && !marker.createNewFile()) {
            throw new IOException("can't write " + marker);
        }
    }

    /** The target must be new, empty, or an earlier installation of the example. */
    private void checkTarget() throws IOException {
        if (!target.exists()) {
            return;
        }
        if (!target.isDirectory()) {
            throw new IOException(target + " exists and is not a directory");
        }
        String[] names = target.list();
        if (names == null) {
            throw new IOException("can't read " + target);
        }
        if (names.length > 0 && !new File(target, MARKER).exists()) {
            throw new IOException(target + " holds other files; choose a new or empty directory");
        }
    }

    /** Adds every file below dir, with its name below the target, in a fixed order. */
    private static void collect(File dir, String prefix, List<String[]> copies) throws IOException {
        String[] names = dir.list();
        if (names == null) {
            throw new IOException("can't read " + dir);
        }
        Arrays.sort(names);
        for (String name : names) {
            File file = new File(dir, name);
            if (file.isDirectory()) {
                collect(file, prefix + name + "/", copies);
            } else {
                copies.add(new String[] {file.getPath(), prefix + name});
            }
        }
    }

    private void install(File source, String name) throws IOException {
        File destination = new File(target, name);
        File parent = destination.getParentFile();
        if (!parent.isDirectory() && !parent.mkdirs()) {
            throw new IOException("can't create " + parent);
        }
        Path to = destination.toPath();
        Files.copy(source.toPath(), to, StandardCopyOption.REPLACE_EXISTING);
        // The launcher extracts everything for its owner alone; installed
        // files are for every user, and only programs and libraries executable.
        String mode = isProgram(name) ? "rwxr-xr-x" : "rw-r--r--";
        Files.setPosixFilePermissions(to, PosixFilePermissions.fromString(mode));
    }

    private static boolean isProgram(String name) {
        String base = name.substring(name.lastIndexOf('/') + 1);
        return name.startsWith("bin/") || name.startsWith("runtime/bin/") || base.endsWith(".so")
                || base.equals("jspawnhelper") || base.equals("jexec");
    }
}
