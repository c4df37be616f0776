package bramletkit;

import java.awt.BorderLayout;
import java.io.File;
import java.io.IOException;
import java.util.Map;
import javax.swing.JCheckBox;
import javax.swing.JComponent;
import javax.swing.JPanel;

/** The end: where the product is and how to start it, and in the window "start now". */
final class DoneStep {
    private JCheckBox startNow;

    String title(Session s) {
        return s.texts.get("done.title");
    }

    String text(Session s) {
        StringBuilder text = new StringBuilder(s.texts.get("done.text", s.productName(), s.target, startScript(s)));
        synchronized (s.notes) {
            for (String note : s.notes) {
                text.append('\n').append(note);
            }
        }
        return text.toString();
    }

    JComponent page(Session s) {
        JPanel panel = new JPanel(new BorderLayout(0, 8));
        panel.add(Wizard.label(text(s)), BorderLayout.NORTH);
        // A program for a terminal would start where nobody sees it.
        if (!s.product.terminal) {
            startNow = new JCheckBox(s.texts.get("done.startNow", s.product.name));
            JPanel top = new JPanel(new BorderLayout());
            top.add(startNow, BorderLayout.NORTH);
            panel.add(top, BorderLayout.CENTER);
        }
        return panel;
    }

    /** On Finish: starts the product when the user asked for it. */
    void finish(Session s) {
        if (startNow == null || !startNow.isSelected()) {
            return;
        }
        ProcessBuilder start = new ProcessBuilder(startScript(s).getPath());
        start.directory(Places.home().isDirectory() ? Places.home() : new File("/"));
        File devNull = new File("/dev/null");
        start.redirectInput(devNull);
        start.redirectOutput(devNull);
        start.redirectError(devNull);
        // The launcher's library path points into its working directory, which goes when the installer ends.
        Map<String, String> env = start.environment();
        String workdir = System.getProperty("java.io.tmpdir");
        String libraryPath = env.get("LD_LIBRARY_PATH");
        if (libraryPath != null && workdir != null) {
            StringBuilder kept = new StringBuilder();
            for (String dir : libraryPath.split(":", -1)) {
                if (!dir.startsWith(workdir)) {
                    kept.append(kept.length() > 0 ? ":" : "").append(dir);
                }
            }
            if (kept.length() > 0) {
                env.put("LD_LIBRARY_PATH", kept.toString());
            } else {
                env.remove("LD_LIBRARY_PATH");
            }
        }
        try {
            start.start();
        } catch (IOException e) {
            System.err.println(s.texts.get("error.start", startScript(s), Installation.describe(e)));
        }
    }

    private static File startScript(Session s) {
        return new File(new File(s.target, "bin"), s.product.name);
    }
}
