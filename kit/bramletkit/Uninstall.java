package bramletkit;

import java.io.File;
import java.io.IOException;
import java.util.List;
import javax.swing.JOptionPane;

/**
 * The uninstaller: asks (in a window or on the console) or, with -silent,
 * does not, and removes what the installation's manifest lists, the
 * uninstaller and the runtime it runs on included. Directories that hold
 * files the installation did not make are left, and named. Ends with 0 when
 * the product is removed, 1 when it can't be, 2 when the user said no.
 */
public final class Uninstall {
    private Uninstall() {}

    public static int run(String[] args) {
        Texts texts = new Texts();
        try {
            Arguments arguments = Arguments.parse(args, texts);
            Product product = Product.load();
            File file = new File(product.root, "manifest");
            boolean beyondAscii = Relaunch.beyondAscii(file);
            int status = Relaunch.ifNeeded(beyondAscii);
            if (status >= 0) {
                return status;
            }
            if (beyondAscii && !Relaunch.utf8()) {
                throw new Failure(texts.get("error.locale", file));
            }
            Manifest manifest = Manifest.read(file);
            if (manifest == null) {
                throw new Failure(texts.get("uninstall.noManifest", file));
            }
            String name = manifest.product + " " + manifest.version;
            String title = texts.get("uninstall.title", name);
            switch (arguments.mode) {
                case SILENT:
                    break;
                case CONSOLE:
                    String question = texts.get("uninstall.question", name, Manifest.installDirectory(file));
                    Terminal t = new Terminal(texts);
                    t.heading(title);
                    for (;;) {
                        String answer = t.ask(question + " ");
                        if (answer == null || texts.isOneOf("answer.no", answer)) {
                            return 2;
                        }
                        if (texts.isOneOf("answer.yes", answer)) {
                            break;
                        }
                    }
                    break;
                default:
                    // Its buttons answer: the text asks without the console's (yes/no).
                    String asked = texts.get("uninstall.window", name, Manifest.installDirectory(file));
                    if (JOptionPane.showConfirmDialog(null, asked, title, JOptionPane.YES_NO_OPTION)
                            != JOptionPane.YES_OPTION) {
                        return 2;
                    }
                    break;
            }
            List<File> left = manifest.removeAll(Manifest.installDirectory(file));
            StringBuilder said = new StringBuilder(texts.get("uninstall.done", name));
            if (!left.isEmpty()) {
                said.append('\n').append(texts.get("uninstall.left"));
                for (File f : left) {
                    said.append("\n    ").append(f);
                }
            }
            System.out.println(said);
            if (arguments.mode == Arguments.Mode.GRAPHICAL) {
                JOptionPane.showMessageDialog(null, said.toString(), title, JOptionPane.INFORMATION_MESSAGE);
            }
            return 0;
        } catch (Failure f) {
            System.err.println(texts.get("failed", f.getMessage()));
            return 1;
        } catch (IOException e) {
            System.err.println(texts.get("failed", Installation.describe(e)));
            return 1;
        }
    }
}
