package bramletkit;

import java.awt.BorderLayout;
import java.awt.event.ActionEvent;
import java.awt.event.ActionListener;
import java.io.File;
import java.io.IOException;
import javax.swing.JButton;
import javax.swing.JComponent;
import javax.swing.JFileChooser;
import javax.swing.JPanel;
import javax.swing.JTextField;

/** The directory to install into: offered, checked, and kept as the answer "installDir". */
final class DirectoryStep implements Step {
    private JTextField field;

    @Override
    public String title(Session s) {
        return s.texts.get("directory.title");
    }

    private static String offered(Session s) {
        String given = s.answers.getProperty(Session.INSTALL_DIR);
        return given != null ? given.trim() : EarlierInstallation.defaultDirectory(s.product.name).getPath();
    }

    @Override
    public JComponent page(Session s, final Wizard wizard) {
        field = new JTextField(offered(s), 30);
        field.selectAll();
        JButton browse = new JButton(s.texts.get("directory.browse"));
        browse.addActionListener(new ActionListener() {
            @Override
            public void actionPerformed(ActionEvent e) {
                JFileChooser chooser = new JFileChooser();
                chooser.setFileSelectionMode(JFileChooser.DIRECTORIES_ONLY);
                File current = new File(field.getText().trim());
                chooser.setCurrentDirectory(current.getParentFile() != null ? current.getParentFile() : current);
                if (chooser.showOpenDialog(wizard.frame()) == JFileChooser.APPROVE_OPTION) {
                    field.setText(browsed(s, current, chooser.getSelectedFile()).getPath());
                }
            }
        });
        JPanel row = new JPanel(new BorderLayout(8, 0));
        row.add(field, BorderLayout.CENTER);
        row.add(browse, BorderLayout.EAST);
        JPanel panel = new JPanel(new BorderLayout(0, 8));
        panel.add(Wizard.label(s.texts.get("directory.text", s.productName())), BorderLayout.NORTH);
        JPanel top = new JPanel(new BorderLayout());
        top.add(row, BorderLayout.NORTH);
        panel.add(top, BorderLayout.CENTER);
        wizard.focusLater(field);
        return panel;
    }

    /**
     * What Browse puts in the field when the user chose a directory: the
     * directory the product goes into, below the chosen one and named as
     * the field names it, unless the chosen one is that directory already.
     */
    private static File browsed(Session s, File current, File chosen) {
        if (chosen.toPath().normalize().equals(current.toPath().normalize())
                || EarlierInstallation.in(chosen, s.product.name) != null) {
            return chosen;
        }
        String name = current.getName();
        return new File(chosen, name.isEmpty() ? s.product.name : name);
    }

    @Override
    public boolean leave(Session s, Wizard wizard) {
        try {
            String question = choose(s, field.getText());
            if (question != null) {
                if (!wizard.confirm(question)) {
                    return false;
                }
                s.answers.setProperty(Session.CONFIRM_REPLACE, "true");
            }
            return true;
        } catch (Failure f) {
            wizard.showError(f.getMessage());
            return false;
        }
    }

    @Override
    public boolean ask(Session s, Terminal t) throws IOException {
        String offered = offered(s);
        for (;;) {
            String answer = t.ask(s.texts.get("directory.prompt", offered));
            if (answer == null) {
                return false;
            }
            try {
                String question = choose(s, answer.isEmpty() ? offered : answer);
                if (question == null) {
                    return true;
                }
                for (;;) {
                    String yes = t.ask(question + " " + s.texts.get("answer.prompt"));
                    if (yes == null) {
                        return false;
                    }
                    if (s.texts.isOneOf("answer.yes", yes)) {
                        s.answers.setProperty(Session.CONFIRM_REPLACE, "true");
                        return true;
                    }
                    if (s.texts.isOneOf("answer.no", yes)) {
                        break;
                    }
                }
            } catch (Failure f) {
                t.println(f.getMessage());
            }
        }
    }

    @Override
    public void take(Session s) throws Failure {
        String question = choose(s, offered(s));
        if (question != null && !Boolean.parseBoolean(s.answers.getProperty(Session.CONFIRM_REPLACE, "").trim())) {
            throw new Failure(s.texts.get("error.confirm", question, Session.CONFIRM_REPLACE));
        }
    }

    /** Takes dir as the answer; returns what the user must agree to first, or null. */
    private static String choose(Session s, String dir) throws Failure {
        s.target = InstallDirectory.check(dir, s.product, s.texts);
        s.answers.setProperty(Session.INSTALL_DIR, s.target.getPath());
        return EarlierInstallation.question(s.product, s.target, s.texts);
    }
}
