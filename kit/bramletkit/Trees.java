package bramletkit;

import java.io.File;
import java.io.IOException;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.PosixFilePermission;
import java.util.ArrayList;
import java.util.List;
import java.util.Set;

/** Whole trees of the kit's own: removed or sorted, never through a link. */
final class Trees {
    private Trees() {}

    /** Removes dir and everything below it; links are removed, never followed. Returns whether all went. */
    static boolean remove(Path dir) {
        if (!Files.isDirectory(dir, LinkOption.NOFOLLOW_LINKS)) {
            try {
                Files.deleteIfExists(dir);
                return true;
            } catch (IOException e) {
                return false;
            }
        }
        boolean all = true;
        try {
            Set<PosixFilePermission> set = Files.getPosixFilePermissions(dir, LinkOption.NOFOLLOW_LINKS);
            if (set.add(PosixFilePermission.OWNER_WRITE) | set.add(PosixFilePermission.OWNER_EXECUTE)
                    | set.add(PosixFilePermission.OWNER_READ)) {
                Files.setPosixFilePermissions(dir, set);
            }
            for (Path p : children(dir)) {
                all &= remove(p);
            }
            Files.delete(dir);
        } catch (IOException e) {
            return false;
        }
        return all;
    }

    /** Removes everything below dir, dir itself kept. Returns whether all went. */
    static boolean removeBelow(Path dir) {
        boolean all = true;
        try {
            for (Path p : children(dir)) {
                all &= remove(p);
            }
        } catch (IOException e) {
            return false;
        }
        return all;
    }

    private static List<Path> children(Path dir) throws IOException {
        List<Path> list = new ArrayList<Path>();
        try (DirectoryStream<Path> s = Files.newDirectoryStream(dir)) {
            for (Path p : s) {
                list.add(p);
            }
        }
        return list;
    }

    /**
     * Moves what lies below from but is not listed (the user's own files
     * among an installation's) to the same place below to, by renames,
     * making the directories it needs there. What to already holds stays
     * where it is.
     */
    static void moveForeign(Path from, Path to, Set<File> listed) throws IOException {
        for (Path p : children(from)) {
            Path there = to.resolve(from.relativize(p));
            boolean directory = Files.isDirectory(p, LinkOption.NOFOLLOW_LINKS);
            if (!listed.contains(p.toFile())) {
                if (!Files.exists(there, LinkOption.NOFOLLOW_LINKS)) {
                    Files.move(p, there, StandardCopyOption.ATOMIC_MOVE);
                } else if (directory && Files.isDirectory(there, LinkOption.NOFOLLOW_LINKS)) {
                    moveForeign(p, there, listed);
                }
            } else if (directory) {
                if (!Files.exists(there, LinkOption.NOFOLLOW_LINKS)) {
                    // Made for the user's files only: theirs, like the files.
                    if (!hasForeign(p, listed)) {
                        continue;
                    }
                    Files.createDirectory(there);
                }
                if (Files.isDirectory(there, LinkOption.NOFOLLOW_LINKS)) {
                    moveForeign(p, there, listed);
                }
            }
        }
    }

    private static boolean hasForeign(Path dir, Set<File> listed) throws IOException {
        for (Path p : children(dir)) {
            if (!listed.contains(p.toFile())
                    || Files.isDirectory(p, LinkOption.NOFOLLOW_LINKS) && hasForeign(p, listed)) {
                return true;
            }
        }
        return false;
    }
}
