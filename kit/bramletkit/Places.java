package bramletkit;

import java.io.File;

/**
 * Where things go for the user who runs the installer: root installs for
 * everybody (/opt, and the first of the XDG system data directories),
 * anybody else for themselves (~/.local/opt and the XDG data home); the
 * commands' links go to /usr/local/bin or ~/.local/bin.
 */
final class Places {
    private Places() {}

    static boolean isRoot() {
        return "root".equals(System.getProperty("user.name"));
    }

    /** The user's home: HOME as the shell has it, else the password database's. */
    static File home() {
        String home = System.getenv("HOME");
        return new File(home != null && home.startsWith("/") ? home : System.getProperty("user.home"));
    }

    static File defaultDirectory(String product) {
        if (isRoot()) {
            return new File("/opt", product);
        }
        return new File(new File(new File(home(), ".local"), "opt"), product);
    }

    /**
     * The data directory that takes the desktop entry and the icon. The
     * environment's is taken only when nobody but the user (and root) can
     * change it: root's environment may come from another user (sudo -E).
     */
    static File dataDirectory() {
        String dirs = System.getenv(isRoot() ? "XDG_DATA_DIRS" : "XDG_DATA_HOME");
        String first = dirs == null ? "" : dirs.split(":")[0];
        if (first.startsWith("/") && Trust.changeable(new File(first)) == null) {
            return new File(first);
        }
        return isRoot() ? new File("/usr/local/share") : new File(new File(home(), ".local"), "share");
    }

    /** The directory on PATH that takes the links to the commands: ~/.local/bin, or /usr/local/bin for root. */
    static File binDirectory() {
        return isRoot() ? new File("/usr/local/bin") : new File(new File(home(), ".local"), "bin");
    }

    static File desktopEntry(String product) {
        return new File(new File(dataDirectory(), "applications"), product + ".desktop");
    }
}
