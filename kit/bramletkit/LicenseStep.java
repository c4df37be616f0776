package bramletkit;

import java.awt.BorderLayout;
import java.awt.Font;
import java.awt.event.ActionEvent;
import java.awt.event.ActionListener;
import java.io.File;
import java.io.IOException;
import java.nio.charset.Charset;
import java.nio.file.Files;
import javax.swing.BorderFactory;
import javax.swing.JCheckBox;
import javax.swing.JComponent;
import javax.swing.JPanel;
import javax.swing.JScrollPane;
import javax.swing.JTextArea;

/** The licence, to be read and accepted before anything is installed. */
final class LicenseStep implements Step {
    private final String text;
    private JCheckBox accept;

    LicenseStep(File license) throws IOException {
        text = new String(Files.readAllBytes(license.toPath()), Charset.forName("UTF-8"));
    }

    @Override
    public String title(Session s) {
        return s.texts.get("license.title");
    }

    @Override
    public JComponent page(Session s, final Wizard wizard) {
        JTextArea area = new JTextArea(text);
        area.setEditable(false);
        area.setLineWrap(true);
        area.setWrapStyleWord(true);
        area.setFont(new Font(Font.MONOSPACED, Font.PLAIN, area.getFont().getSize()));
        area.setCaretPosition(0);
        accept = new JCheckBox(s.texts.get("license.accept"),
                Boolean.parseBoolean(s.answers.getProperty(Session.LICENSE_ACCEPTED)));
        accept.addActionListener(new ActionListener() {
            @Override
            public void actionPerformed(ActionEvent e) {
                wizard.setNextEnabled(accept.isSelected());
            }
        });
        wizard.setNextEnabled(accept.isSelected());
        wizard.focusLater(accept);
        JPanel panel = new JPanel(new BorderLayout(0, 8));
        panel.add(Wizard.label(s.texts.get("license.text")), BorderLayout.NORTH);
        panel.add(new JScrollPane(area), BorderLayout.CENTER);
        panel.add(accept, BorderLayout.SOUTH);
        panel.setBorder(BorderFactory.createEmptyBorder());
        return panel;
    }

    @Override
    public boolean leave(Session s, Wizard wizard) {
        s.answers.setProperty(Session.LICENSE_ACCEPTED, Boolean.toString(accept.isSelected()));
        return accept.isSelected();
    }

    @Override
    public boolean ask(Session s, Terminal t) throws IOException {
        t.println(s.texts.get("license.text"));
        t.println("");
        String[] lines = text.split("\r?\n", -1);
        // A page fills the terminal but for the prompt's line.
        int page = Terminal.rows() - 1;
        for (int i = 0; i < lines.length; i++) {
            t.println(lines[i]);
            if ((i + 1) % page == 0 && i + 1 < lines.length) {
                String answer = t.read(s.texts.get("license.more"));
                if (answer == null) {
                    return false;
                }
                if (t.isQuit(answer)) {
                    break;
                }
            }
        }
        for (;;) {
            String answer = t.ask(s.texts.get("license.question"));
            if (answer == null || s.texts.isOneOf("answer.no", answer)) {
                t.println(s.texts.get("license.declined"));
                return false;
            }
            if (s.texts.isOneOf("answer.yes", answer)) {
                s.answers.setProperty(Session.LICENSE_ACCEPTED, "true");
                return true;
            }
        }
    }

    @Override
    public void take(Session s) throws Failure {
        if (!Boolean.parseBoolean(s.answers.getProperty(Session.LICENSE_ACCEPTED, "").trim())) {
            throw new Failure(s.texts.get("error.licenseNotAccepted", Session.LICENSE_ACCEPTED));
        }
    }
}
