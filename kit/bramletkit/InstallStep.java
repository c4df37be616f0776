package bramletkit;

import java.awt.BorderLayout;
import java.io.PrintStream;
import javax.swing.JComponent;
import javax.swing.JLabel;
import javax.swing.JPanel;
import javax.swing.JProgressBar;

/** Copying the files: a progress bar in the window, a line per tenth on the console. */
final class InstallStep {
    private final JProgressBar bar = new JProgressBar(0, 100);
    private final JLabel current = new JLabel(" ");

    String title(Session s) {
        return s.texts.get("install.title");
    }

    JComponent page(Session s) {
        bar.setStringPainted(true);
        JPanel panel = new JPanel(new BorderLayout(0, 8));
        panel.add(Wizard.label(s.texts.get("install.text", s.productName(), s.target)), BorderLayout.NORTH);
        JPanel middle = new JPanel(new BorderLayout(0, 8));
        middle.add(bar, BorderLayout.NORTH);
        middle.add(current, BorderLayout.CENTER);
        JPanel top = new JPanel(new BorderLayout());
        top.add(middle, BorderLayout.NORTH);
        panel.add(top, BorderLayout.CENTER);
        return panel;
    }

    /** Shows how far the installation is; called on the event thread. */
    void show(int done, int total, String what) {
        bar.setValue(total == 0 ? 100 : 100 * done / total);
        current.setText(what.isEmpty() ? " " : what);
    }

    /** Installs without a window, telling progress in lines on out. */
    static void run(final Session s, final PrintStream out) throws Failure, Cancelled {
        out.println(s.texts.get("install.text", s.productName(), s.target));
        new Installation(s.product, s.target, s.texts, s.notes).run(new Installation.Progress() {
            private int shown = -1;

            @Override
            public void made(int done, int total, String what) {
                int tenth = total == 0 ? 10 : 10 * done / total;
                if (tenth != shown) {
                    shown = tenth;
                    out.println(s.texts.get("install.percent", tenth * 10));
                }
            }
        });
    }
}
