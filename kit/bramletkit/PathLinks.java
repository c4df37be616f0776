package bramletkit;

import java.io.File;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.LinkOption;

/**
 * Links to the commands in the directory on PATH. A link is never made
 * over anything there but an earlier installation's own, nor into a
 * directory that another user can change, up to /: else a note says why a
 * command is not linked.
 */
final class PathLinks {
    private PathLinks() {}

    /**
     * Why command can't be linked into dir, as a note for the user; null
     * when it can. An earlier installation's link (ours) is replaced.
     */
    static String refusal(File dir, String command, boolean ours, Texts texts) {
        File link = new File(dir, command);
        // Where the directory should be, a file or a dangling link takes no link either.
        if (Files.exists(dir.toPath(), LinkOption.NOFOLLOW_LINKS) && !dir.isDirectory()) {
            return texts.get("link.exists", command, dir, dir);
        }
        if (!ours && Files.exists(link.toPath(), LinkOption.NOFOLLOW_LINKS)) {
            return texts.get("link.exists", command, dir, link);
        }
        File changeable = Trust.changeable(dir);
        return changeable != null ? texts.get("link.untrusted", command, dir, changeable) : null;
    }
}
