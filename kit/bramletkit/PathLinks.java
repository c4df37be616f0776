package bramletkit;

import java.io.File;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.LinkOption;

/**
 * Links to the commands in the directory on PATH. A link is never made
 * over anything there, and root links only into a directory that no other
 * user can change, up to /: else a note says why a command is not linked.
 */
final class PathLinks {
    private PathLinks() {}

    /** Why command can't be linked into dir, as a note for the user; null when it can. */
    static String refusal(File dir, String command, Texts texts) {
        File link = new File(dir, command);
        // Where the directory should be, a file or a dangling link takes no link either.
        if (Files.exists(dir.toPath(), LinkOption.NOFOLLOW_LINKS) && !dir.isDirectory()) {
            return texts.get("link.exists", command, dir, dir);
        }
        if (Files.exists(link.toPath(), LinkOption.NOFOLLOW_LINKS)) {
            return texts.get("link.exists", command, dir, link);
        }
        File changeable = changeable(dir);
        return changeable != null ? texts.get("link.untrusted", command, dir, changeable) : null;
    }

    /** For root, the first of dir and its parents that another user could change; else null. */
    static File changeable(File dir) {
        if (Places.isRoot()) {
            for (File d = dir; d != null; d = d.getParentFile()) {
                if (Files.exists(d.toPath(), LinkOption.NOFOLLOW_LINKS) && !rootsAlone(d)) {
                    return d;
                }
            }
        }
        return null;
    }

    /** Whether d is a directory (not a link) of root that no group or other may write. */
    private static boolean rootsAlone(File d) {
        try {
            if (!Files.isDirectory(d.toPath(), LinkOption.NOFOLLOW_LINKS)) {
                return false;
            }
            int uid = (Integer) Files.getAttribute(d.toPath(), "unix:uid", LinkOption.NOFOLLOW_LINKS);
            int mode = (Integer) Files.getAttribute(d.toPath(), "unix:mode", LinkOption.NOFOLLOW_LINKS);
            return uid == 0 && (mode & 022) == 0;
        } catch (IOException e) {
            return false;
        } catch (RuntimeException e) {
            // No unix view: nothing is known of its owner.
            return false;
        }
    }
}
