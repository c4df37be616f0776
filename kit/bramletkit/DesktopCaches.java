package bramletkit;

import java.io.File;
import java.io.IOException;
import java.nio.file.Path;
import java.util.HashSet;
import java.util.List;
import java.util.Set;

/**
 * The desktop's caches of desktop entries and MIME types: brought up to date
 * after an installation or a removal, when their tools are there. They are
 * caches, not part of the installation: their tools' failure is ignored, and
 * what they wrote is removed with the directory the installation made.
 */
final class DesktopCaches {
    /** Where the tools are looked for: never a PATH that another user may have set for root. */
    private static final String[] TOOL_DIRECTORIES = {"/usr/bin", "/bin"};

    private DesktopCaches() {}

    /**
     * Updates the caches of the data directories that hold the entries'
     * files, when they give file types: the caches know nothing else of them.
     */
    static void update(List<Manifest.Entry> entries) {
        Set<File> mime = mimeDirectories(entries);
        if (mime.isEmpty()) {
            return;
        }
        for (File dir : mime) {
            if (dir.isDirectory()) {
                run("update-mime-database", dir);
            }
        }
        for (File dir : applicationDirectories(entries)) {
            if (dir.isDirectory()) {
                run("update-desktop-database", dir);
            }
        }
    }

    /**
     * After the entries were removed: removes the caches from the mime and
     * applications directories that the entries made and that hold nothing
     * else. Returns whether it removed any.
     */
    static boolean removeGenerated(List<Manifest.Entry> entries) {
        Set<File> made = new HashSet<File>();
        for (Manifest.Entry e : entries) {
            if (e.kind == Manifest.Kind.DIRECTORY) {
                made.add(e.path);
            }
        }
        boolean removed = false;
        for (File dir : mimeDirectories(entries)) {
            // Another package below mime/packages keeps the database.
            if (made.contains(dir) && dir.isDirectory() && !new File(dir, "packages").exists()) {
                // Part of it may be gone even when not all went: the manifest's directories are worth another try.
                Trees.removeBelow(dir.toPath());
                removed = true;
            }
        }
        for (File dir : applicationDirectories(entries)) {
            String[] names = dir.list();
            if (made.contains(dir) && names != null && names.length == 1 && names[0].equals("mimeinfo.cache")) {
                removed |= new File(dir, "mimeinfo.cache").delete();
            }
        }
        return removed;
    }

    /** The DATA/mime directories of the entries' DATA/mime/packages/*.xml files. */
    private static Set<File> mimeDirectories(List<Manifest.Entry> entries) {
        Set<File> dirs = new HashSet<File>();
        for (File packages : holding(entries, "/mime/packages", ".xml")) {
            dirs.add(packages.getParentFile());
        }
        return dirs;
    }

    /** The DATA/applications directories of the entries' desktop entries. */
    private static Set<File> applicationDirectories(List<Manifest.Entry> entries) {
        return holding(entries, "/applications", ".desktop");
    }

    /** The directories, their paths ending in tail, that hold an entry's file whose name ends in suffix. */
    private static Set<File> holding(List<Manifest.Entry> entries, String tail, String suffix) {
        Set<File> dirs = new HashSet<File>();
        for (Manifest.Entry e : entries) {
            File dir = e.path.getParentFile();
            if (e.kind == Manifest.Kind.FILE && e.path.getName().endsWith(suffix) && dir != null && dir.getPath().endsWith(tail)) {
                dirs.add(dir);
            }
        }
        return dirs;
    }

    /** Runs tool on dir, when it is installed, its output discarded, its status ignored. */
    private static void run(String tool, File dir) {
        for (String d : TOOL_DIRECTORIES) {
            File program = new File(d, tool);
            if (!program.canExecute()) {
                continue;
            }
            ProcessBuilder pb = new ProcessBuilder(program.getPath(), dir.getPath());
            pb.environment().clear();
            pb.environment().put("PATH", "/usr/bin:/bin");
            File devNull = new File("/dev/null");
            pb.redirectInput(devNull);
            pb.redirectOutput(devNull);
            pb.redirectError(devNull);
            try {
                pb.start().waitFor();
            } catch (IOException e) {
                // Not runnable after all: the caches stay as they are.
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
            return;
        }
    }
}
