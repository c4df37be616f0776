package bramletkit;

import java.io.IOException;
import javax.swing.JComponent;

/** Welcome: what is about to be installed. */
final class WelcomeStep implements Step {
    @Override
    public String title(Session s) {
        return s.texts.get("welcome.title");
    }

    @Override
    public JComponent page(Session s, Wizard wizard) {
        return Wizard.textPage(s.texts.get("welcome.text", s.productName()));
    }

    @Override
    public boolean leave(Session s, Wizard wizard) {
        return true;
    }

    @Override
    public boolean ask(Session s, Terminal t) throws IOException {
        t.println(s.texts.get("welcome.console", s.productName()));
        return t.ask(s.texts.get("welcome.prompt")) != null;
    }

    @Override
    public void take(Session s) {
        // Nothing to answer.
    }
}
