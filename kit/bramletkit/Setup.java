package bramletkit;

import java.io.File;
import java.io.IOException;
import java.util.ArrayList;
import java.util.List;

/**
 * The installer: reads the wizard arguments, walks the steps (welcome,
 * licence, directory) in the mode the launcher chose, installs, and ends
 * with 0 when the product is installed, 1 when it failed and 2 when the user
 * cancelled; nothing is left of an installation that did not end with 0.
 */
public final class Setup {
    private Setup() {}

    public static int run(String[] args) {
        Texts texts = new Texts();
        try {
            Arguments arguments = Arguments.parse(args, texts);
            Product product = Product.load();
            if (arguments.printId) {
                System.out.println("bramlet-kit " + product.name + " " + product.version);
                return 0;
            }
            String name = Modes.read(product).beyondAscii();
            int status = Relaunch.ifNeeded(name != null);
            if (status >= 0) {
                return status;
            }
            if (name != null && !Relaunch.utf8()) {
                throw new Failure(texts.get("error.locale", name));
            }
            Session session = new Session(product, texts, arguments);
            if (arguments.state != null) {
                session.loadAnswers(arguments.state);
            }
            List<Step> steps = new ArrayList<Step>();
            steps.add(new WelcomeStep());
            File license = product.license();
            if (license != null) {
                steps.add(new LicenseStep(license));
            }
            steps.add(new DirectoryStep());
            switch (arguments.mode) {
                case SILENT:
                    return silent(session, steps);
                case CONSOLE:
                    return console(session, steps);
                default:
                    return new Wizard(session, steps).run();
            }
        } catch (Failure f) {
            System.err.println(texts.get("failed", f.getMessage()));
            return 1;
        } catch (IOException e) {
            System.err.println(texts.get("failed", Installation.describe(e)));
            return 1;
        } catch (InterruptedException e) {
            return 2;
        }
    }

    private static int silent(Session s, List<Step> steps) throws Failure {
        for (Step step : steps) {
            step.take(s);
        }
        s.saveAnswers();
        try {
            InstallStep.run(s, System.out);
        } catch (Cancelled e) {
            return 2;
        }
        System.out.println(new DoneStep().text(s));
        return 0;
    }

    private static int console(Session s, List<Step> steps) throws Failure, IOException {
        Terminal t = new Terminal(s.texts);
        for (Step step : steps) {
            t.heading(step.title(s));
            if (!step.ask(s, t)) {
                t.println(s.texts.get("cancelled"));
                return 2;
            }
        }
        s.saveAnswers();
        InstallStep install = new InstallStep();
        t.heading(install.title(s));
        try {
            InstallStep.run(s, System.out);
        } catch (Cancelled e) {
            return 2;
        }
        DoneStep done = new DoneStep();
        t.heading(done.title(s));
        t.println(done.text(s));
        return 0;
    }
}
