package bramletkit;

import java.io.File;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.Properties;

/**
 * One run of the installer: the product, the user's texts, the mode, and the
 * answers given so far. Answers are java.util.Properties, read from the
 * state file in silent mode and written to the -saveState file in any mode,
 * so a run with a window or a console records what a silent run replays.
 */
final class Session {
    static final String INSTALL_DIR = "installDir";
    static final String LICENSE_ACCEPTED = "licenseAccepted";
    /** Agrees to remove the earlier installation from another directory, or to install an older version. */
    static final String CONFIRM_REPLACE = "replaceInstalled";

    final Product product;
    final Texts texts;
    final Arguments arguments;
    final Properties answers = new Properties();
    /** What the installation tells the user at its end, besides where the product is. */
    final List<String> notes = Collections.synchronizedList(new ArrayList<String>());
    File target;

    Session(Product product, Texts texts, Arguments arguments) {
        this.product = product;
        this.texts = texts;
        this.arguments = arguments;
    }

    void loadAnswers(String file) throws Failure {
        try {
            InputStream in = new FileInputStream(file);
            try {
                answers.load(in);
            } finally {
                in.close();
            }
        } catch (IOException e) {
            throw new Failure(texts.get("error.state", file, Installation.describe(e)));
        }
    }

    /** Writes the answers to the -saveState file, when one was given. */
    void saveAnswers() throws Failure {
        String file = arguments.saveState;
        if (file == null) {
            return;
        }
        try {
            OutputStream out = new FileOutputStream(file);
            try {
                answers.store(out, product.name + " " + product.version);
            } finally {
                out.close();
            }
        } catch (IOException e) {
            throw new Failure(texts.get("error.saveState", file, Installation.describe(e)));
        }
    }

    /** The product's name and version, as the texts show it. */
    String productName() {
        return product.name + " " + product.version;
    }
}
