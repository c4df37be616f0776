package bramletkit;

import java.awt.BorderLayout;
import java.awt.Dimension;
import java.awt.Font;
import java.awt.event.ActionEvent;
import java.awt.event.ActionListener;
import java.awt.event.KeyEvent;
import java.awt.event.WindowAdapter;
import java.awt.event.WindowEvent;
import java.lang.reflect.InvocationTargetException;
import java.util.List;
import javax.swing.AbstractAction;
import javax.swing.BorderFactory;
import javax.swing.JButton;
import javax.swing.JComponent;
import javax.swing.JFrame;
import javax.swing.JLabel;
import javax.swing.JOptionPane;
import javax.swing.JPanel;
import javax.swing.JSeparator;
import javax.swing.KeyStroke;
import javax.swing.SwingUtilities;
import javax.swing.WindowConstants;

/**
 * The installer's window: one page per step under the step's title, and
 * Back, Next (Install on the last question, Finish at the end) and Cancel.
 * Return presses the default button, Escape cancels. Cancel before the
 * copying makes nothing; during it, removes what was made.
 */
final class Wizard {
    private final Session session;
    private final List<Step> steps;
    private final InstallStep install = new InstallStep();
    private final DoneStep done = new DoneStep();
    private JFrame frame;
    private JLabel heading;
    private JPanel body;
    private JButton back;
    private JButton next;
    private JButton cancel;
    private int index;
    private volatile boolean cancelling;
    private Integer status;

    Wizard(Session session, List<Step> steps) {
        this.session = session;
        this.steps = steps;
    }

    /** Runs the dialogue to its end; returns the exit status (0 installed, 1 failed, 2 cancelled). */
    int run() throws InterruptedException {
        try {
            SwingUtilities.invokeAndWait(new Runnable() {
                @Override
                public void run() {
                    build();
                    show(0);
                }
            });
        } catch (InvocationTargetException e) {
            throw new IllegalStateException(e.getCause());
        }
        synchronized (this) {
            while (status == null) {
                wait();
            }
        }
        SwingUtilities.invokeLater(new Runnable() {
            @Override
            public void run() {
                frame.dispose();
            }
        });
        return status;
    }

    JFrame frame() {
        return frame;
    }

    private synchronized void end(int code) {
        status = code;
        notifyAll();
    }

    private void build() {
        Texts t = session.texts;
        frame = new JFrame();
        frame.setDefaultCloseOperation(WindowConstants.DO_NOTHING_ON_CLOSE);
        frame.addWindowListener(new WindowAdapter() {
            @Override
            public void windowClosing(WindowEvent e) {
                cancel();
            }
        });
        heading = new JLabel();
        heading.setFont(heading.getFont().deriveFont(Font.BOLD, heading.getFont().getSize2D() * 1.3f));
        JPanel top = new JPanel(new BorderLayout());
        top.add(heading, BorderLayout.CENTER);
        top.add(new JSeparator(), BorderLayout.SOUTH);
        top.setBorder(BorderFactory.createEmptyBorder(12, 16, 0, 16));
        body = new JPanel(new BorderLayout());
        body.setBorder(BorderFactory.createEmptyBorder(12, 16, 12, 16));
        back = new JButton(t.get("button.back"));
        next = new JButton(t.get("button.next"));
        cancel = new JButton(t.get("button.cancel"));
        back.addActionListener(new ActionListener() {
            @Override
            public void actionPerformed(ActionEvent e) {
                show(index - 1);
            }
        });
        next.addActionListener(new ActionListener() {
            @Override
            public void actionPerformed(ActionEvent e) {
                next();
            }
        });
        cancel.addActionListener(new ActionListener() {
            @Override
            public void actionPerformed(ActionEvent e) {
                cancel();
            }
        });
        JPanel buttons = new JPanel();
        buttons.add(back);
        buttons.add(next);
        buttons.add(cancel);
        JPanel bottom = new JPanel(new BorderLayout());
        bottom.add(new JSeparator(), BorderLayout.NORTH);
        bottom.add(buttons, BorderLayout.EAST);
        frame.getRootPane().getInputMap(JComponent.WHEN_IN_FOCUSED_WINDOW)
                .put(KeyStroke.getKeyStroke(KeyEvent.VK_ESCAPE, 0), "cancel");
        frame.getRootPane().getActionMap().put("cancel", new AbstractAction() {
            private static final long serialVersionUID = 1L;

            @Override
            public void actionPerformed(ActionEvent e) {
                if (cancel.isEnabled()) {
                    cancel();
                }
            }
        });
        frame.getContentPane().add(top, BorderLayout.NORTH);
        frame.getContentPane().add(body, BorderLayout.CENTER);
        frame.getContentPane().add(bottom, BorderLayout.SOUTH);
        frame.getRootPane().setDefaultButton(next);
        frame.setSize(new Dimension(600, 420));
        frame.setLocationRelativeTo(null);
        frame.setVisible(true);
    }

    /** Shows the page of step i. */
    private void show(int i) {
        index = i;
        Step step = steps.get(i);
        back.setEnabled(i > 0);
        next.setEnabled(true);
        next.setText(session.texts.get(i == steps.size() - 1 ? "button.install" : "button.next"));
        setPage(step.title(session), step.page(session, this));
    }

    private void setPage(String title, JComponent page) {
        heading.setText(title);
        frame.setTitle(session.texts.get("window.title", session.productName(), title));
        body.removeAll();
        body.add(page, BorderLayout.CENTER);
        body.revalidate();
        body.repaint();
    }

    private void next() {
        if (index < 0) {
            done.finish(session);
            end(0);
        } else if (steps.get(index).leave(session, this)) {
            if (index + 1 < steps.size()) {
                show(index + 1);
            } else {
                startInstalling();
            }
        }
    }

    private void cancel() {
        if (index >= 0) {
            end(2);
        } else if (!cancelling && status == null && cancel.isEnabled()) {
            // The copying stops at its next file and removes what it made.
            cancelling = true;
            cancel.setEnabled(false);
        }
    }

    private void startInstalling() {
        try {
            session.saveAnswers();
        } catch (Failure f) {
            showError(f.getMessage());
            return;
        }
        index = -1;
        back.setEnabled(false);
        next.setEnabled(false);
        setPage(install.title(session), install.page(session));
        Thread worker = new Thread("installation") {
            @Override
            public void run() {
                install();
            }
        };
        worker.start();
    }

    /** The copying, on its own thread. */
    private void install() {
        try {
            new Installation(session.product, session.target, session.texts, session.notes).run(new Installation.Progress() {
                @Override
                public void made(final int n, final int total, final String what) throws Cancelled {
                    if (cancelling) {
                        throw new Cancelled();
                    }
                    SwingUtilities.invokeLater(new Runnable() {
                        @Override
                        public void run() {
                            install.show(n, total, what);
                        }
                    });
                }
            });
            SwingUtilities.invokeLater(new Runnable() {
                @Override
                public void run() {
                    cancel.setEnabled(false);
                    next.setText(session.texts.get("button.finish"));
                    next.setEnabled(true);
                    setPage(done.title(session), done.page(session));
                    focusLater(next);
                }
            });
        } catch (Cancelled c) {
            end(2);
        } catch (final Failure f) {
            System.err.println(f.getMessage());
            SwingUtilities.invokeLater(new Runnable() {
                @Override
                public void run() {
                    showError(f.getMessage());
                    end(1);
                }
            });
        }
    }

    void setNextEnabled(boolean enabled) {
        next.setEnabled(enabled);
    }

    /** Asks yes or no in a dialog; true on yes. */
    boolean confirm(String question) {
        return JOptionPane.showConfirmDialog(frame, question, frame.getTitle(), JOptionPane.YES_NO_OPTION,
                JOptionPane.WARNING_MESSAGE) == JOptionPane.YES_OPTION;
    }

    void showError(String message) {
        JOptionPane.showMessageDialog(frame, message, session.texts.get("error.title"), JOptionPane.ERROR_MESSAGE);
    }

    /** Gives c the keyboard focus once its page is on the screen. */
    void focusLater(final JComponent c) {
        SwingUtilities.invokeLater(new Runnable() {
            @Override
            public void run() {
                c.requestFocusInWindow();
            }
        });
    }

    /** A page of text that wraps to the page's width. */
    static JComponent textPage(String text) {
        JPanel panel = new JPanel(new BorderLayout());
        panel.add(label(text), BorderLayout.NORTH);
        return panel;
    }

    /** A label whose text wraps: lines are kept, and long ones broken at the page's width. */
    static JLabel label(String text) {
        String html = text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace("\n", "<br>");
        return new JLabel("<html><body style='width: 420px'>" + html + "</body></html>");
    }
}
