package bramletkit;

import java.io.File;
import java.nio.charset.Charset;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Paths;

/** The directory the product goes into: checked before anything is made. */
final class InstallDirectory {
    private InstallDirectory() {}

    /**
     * Checks that dir can take the product: an absolute path of one line,
     * new, empty or an installation of the same product, the user's own and
     * changeable by nobody else (nor anything on the way to it), below a
     * directory the user may write. Throws Failure with the reason.
     */
    static File check(String dir, Product product, Texts texts) throws Failure {
        String given = dir == null ? "" : dir.trim();
        if (given.isEmpty() || !new File(given).isAbsolute() || hasControl(given)) {
            throw new Failure(texts.get("error.notAbsolute", Manifest.escape(given)));
        }
        String jnu = System.getProperty("sun.jnu.encoding");
        if (jnu != null && Charset.isSupported(jnu) && !Charset.forName(jnu).newEncoder().canEncode(given)) {
            throw new Failure(texts.get("error.locale", given));
        }
        File target = new File(Paths.get(given).normalize().toString());
        File changeable = Trust.changeable(target);
        if (changeable != null) {
            throw new Failure(texts.get("error.changeable", target, changeable));
        }
        if (Files.exists(target.toPath(), LinkOption.NOFOLLOW_LINKS)) {
            if (!Files.isDirectory(target.toPath(), LinkOption.NOFOLLOW_LINKS)) {
                throw new Failure(texts.get("error.notDirectory", target));
            }
            String[] names = target.list();
            if (names == null || names.length > 0 && EarlierInstallation.in(target, product.name) == null) {
                throw new Failure(texts.get("error.notEmpty", target));
            }
        }
        File existing = target;
        while (!existing.exists()) {
            existing = existing.getParentFile();
        }
        File parent = target.getParentFile();
        if (parent == null || !existing.isDirectory() || !Files.isWritable(existing.toPath())
                || existing.equals(target) && !Files.isWritable(parent.toPath())) {
            throw new Failure(texts.get("error.notWritable", existing.equals(target) && parent != null ? parent : existing));
        }
        return target;
    }

    private static boolean hasControl(String s) {
        for (int i = 0; i < s.length(); i++) {
            if (s.charAt(i) < 0x20 || s.charAt(i) == 0x7f) {
                return true;
            }
        }
        return false;
    }
}
