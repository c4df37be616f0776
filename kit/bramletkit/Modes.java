package bramletkit;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.PosixFilePermission;
import java.util.EnumSet;
import java.util.HashMap;
import java.util.Map;
import java.util.Set;

/**
 * The modes the application's files had where mksetup packed them
 * (package/modes: a line "MODE NAME" each, UTF-8, ended by LF), since the
 * launcher extracts everything for its owner alone; and setting them.
 */
final class Modes {
    private final Map<String, Integer> modes = new HashMap<String, Integer>();

    /** The modes of the payload's package/modes; none when it has none. Lines that are no such line are passed over. */
    static Modes read(Product product) throws IOException {
        Modes m = new Modes();
        File file = product.file("package/modes");
        if (!file.isFile()) {
            return m;
        }
        String text = new String(Files.readAllBytes(file.toPath()), StandardCharsets.UTF_8);
        for (String line : text.split("\n")) {
            int space = line.indexOf(' ');
            if (space > 0) {
                try {
                    m.modes.put(line.substring(space + 1), Integer.parseInt(line.substring(0, space), 8) & 07777);
                } catch (NumberFormatException e) {
                    // Not a mode: the name keeps the default.
                }
            }
        }
        return m;
    }

    /** A name that needs more than ASCII, or null. */
    String beyondAscii() {
        for (String name : modes.keySet()) {
            for (int i = 0; i < name.length(); i++) {
                if (name.charAt(i) >= 0x80) {
                    return name;
                }
            }
        }
        return null;
    }

    /** The mode of the payload's name (package/app/...), else fallback. */
    int of(String name, int fallback) {
        Integer m = modes.get(name);
        return m != null ? m : fallback;
    }

    /**
     * Sets path's mode. In root's installation nothing is writable by group
     * or others: they would change what root runs.
     */
    static void set(Path path, int mode) throws IOException {
        if (Places.isRoot()) {
            mode &= ~022;
        }
        Set<PosixFilePermission> set = EnumSet.noneOf(PosixFilePermission.class);
        PosixFilePermission[] bits = PosixFilePermission.values();
        // OWNER_READ is 0400 and OTHERS_EXECUTE 0001: the enum's order is the bits' order.
        for (int i = 0; i < bits.length; i++) {
            if ((mode & (0400 >> i)) != 0) {
                set.add(bits[i]);
            }
        }
        Files.setPosixFilePermissions(path, set);
    }
}
