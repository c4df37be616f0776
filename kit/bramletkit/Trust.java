package bramletkit;

import java.io.File;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.Map;

/**
 * Who can change a path. The kit may run as root on a host shared with
 * others: it acts on an entry only when nobody but the user (and root) can
 * change it, nor any directory or link on the way to it.
 */
final class Trust {
    private static final int STICKY = 01000;
    private static int uid = -1;
    private static int gid = -1;

    private Trust() {}

    /** The user's uid and gid: /proc/self belongs to them. */
    private static synchronized void who() {
        if (uid < 0) {
            try {
                // A link to the process's directory: followed.
                Map<String, Object> a = Files.readAttributes(Paths.get("/proc/self"), "unix:uid,gid");
                uid = (Integer) a.get("uid");
                gid = (Integer) a.get("gid");
            } catch (IOException e) {
                uid = -2;
                gid = -2;
            } catch (RuntimeException e) {
                uid = -2;
                gid = -2;
            }
        }
    }

    static int uid() {
        who();
        return uid;
    }

    private static Map<String, Object> attributes(Path p) {
        try {
            return Files.readAttributes(p, "unix:uid,gid,mode", LinkOption.NOFOLLOW_LINKS);
        } catch (IOException e) {
            return null;
        } catch (RuntimeException e) {
            // No unix view: nothing is known of its owner.
            return null;
        }
    }

    /** Whether p (itself, not where a link leads) is the user's (or root's) and writable by nobody else. */
    static boolean ownedAlone(Path p) {
        Map<String, Object> a = attributes(p);
        return a != null && owner(a) && (writableByOthers(a) & ~STICKY) == 0;
    }

    private static boolean owner(Map<String, Object> a) {
        int owner = (Integer) a.get("uid");
        return owner == 0 || owner == uid();
    }

    /**
     * The write bits that let somebody else change it: other's, and the
     * group's unless the group is a non-root user's own; with the sticky
     * bit when it is a directory that keeps others from renaming our entries.
     */
    private static int writableByOthers(Map<String, Object> a) {
        int mode = (Integer) a.get("mode");
        if ((mode & 0170000) == 0120000) {
            // A link's own bits mean nothing: only its directory can change it.
            return 0;
        }
        boolean ownGroup = uid() != 0 && (Integer) a.get("gid") == gid;
        return mode & (ownGroup ? 002 : 022) | mode & STICKY;
    }

    /**
     * The first entry on the way to f, from /, that another user could
     * change (f included: an entry of another user, a directory others may
     * write, a link of another user); links on the way are checked where they
     * lead as well. Null when there is none. Entries that don't exist yet
     * count as the user's: the kit makes them.
     */
    static File changeable(File f) {
        Path path = f.getAbsoluteFile().toPath().normalize();
        File found = changeableOnTheWay(path);
        if (found != null) {
            return found;
        }
        Path existing = path;
        while (existing != null && !Files.exists(existing, LinkOption.NOFOLLOW_LINKS)) {
            existing = existing.getParent();
        }
        try {
            Path real = existing == null ? null : existing.toRealPath();
            return real == null || real.equals(existing) ? null : changeableOnTheWay(real);
        } catch (IOException e) {
            return existing.toFile();
        }
    }

    private static File changeableOnTheWay(Path path) {
        Path p = path.getRoot();
        for (int i = 0; i <= path.getNameCount(); i++) {
            if (i > 0) {
                p = p.resolve(path.getName(i - 1));
            }
            Map<String, Object> a = attributes(p);
            if (a == null) {
                return Files.exists(p, LinkOption.NOFOLLOW_LINKS) ? p.toFile() : null;
            }
            int others = writableByOthers(a);
            boolean last = i == path.getNameCount();
            // A sticky directory keeps others from renaming what is not theirs, not from adding to it.
            boolean changeable = !owner(a) || (others & ~STICKY) != 0 && (last || (others & STICKY) == 0);
            if (changeable) {
                return p.toFile();
            }
        }
        return null;
    }
}
