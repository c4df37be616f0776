package bramletkit;

import javax.swing.JComponent;

/**
 * One step of the installation's dialogue, the same in each mode: a page of
 * the window, prompts on the console, or answers from the state file.
 */
interface Step {
    /** The step's title, above its page or prompts. */
    String title(Session session);

    /** Graphical: the step's page, made afresh each time it is shown. */
    JComponent page(Session session, Wizard wizard);

    /** Graphical: takes the page's answers on Next; false keeps the page, after telling the user why. */
    boolean leave(Session session, Wizard wizard);

    /** Console: asks on the terminal; false when the user quits. */
    boolean ask(Session session, Terminal terminal) throws java.io.IOException;

    /** Silent: takes the answers from the state file; Failure says what is wrong with them. */
    void take(Session session) throws Failure;
}
