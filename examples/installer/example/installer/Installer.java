package example.installer;

import java.io.BufferedReader;
import java.io.File;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.io.OutputStream;
import java.net.URISyntaxException;
import java.util.Properties;

/**
 * The example installer: reads the wizard arguments that the launcher passes,
 * gets the installation directory from the user (console mode) or from a
 * state file (silent mode), and installs the example application there.
 *
 * <p>Wizard arguments: "-nodisplay" (console dialogue), "-noconsole" with
 * "-state FILE" (silent, answers from FILE), "-saveState FILE" (write the
 * answers given to FILE), "-id" (print the wizard identifier and stop).
 * Exit status 0 on success, 1 with a message on failure.
 */
public final class Installer {
    static final String WIZARD_ID = "bramlet-example-installer 1.0";
    static final String INSTALL_DIR = "installDir";

    private Installer() {}

    public static int run(String[] args) {
        boolean console = false;
        boolean silent = false;
        boolean printId = false;
        String state = null;
        String saveState = null;
        for (int i = 0; i < args.length; i++) {
            String arg = args[i];
            if (arg.equals("-nodisplay")) {
                console = true;
            } else if (arg.equals("-noconsole")) {
                silent = true;
            } else if (arg.equals("-state") && i + 1 < args.length) {
                state = args[++i];
            } else if (arg.equals("-saveState") && i + 1 < args.length) {
                saveState = args[++i];
            } else if (arg.equals("-id")) {
                printId = true;
            } else {
                return fail(null, "unknown argument " + arg);
            }
        }
        if (printId) {
            System.out.println(WIZARD_ID);
            return 0;
        }
        Log log = new Log();
        log.line("Example installer on Java " + System.getProperty("java.version") + " from "
                + System.getProperty("java.home"));
        log.note("working directory (java.io.tmpdir): " + System.getProperty("java.io.tmpdir"));
        log.note("temporary directory (temp.dir): " + System.getProperty("temp.dir"));
        String target;
        try {
            if (silent) {
                if (state == null) {
                    return fail(log, "a silent installation needs a state file (-silent FILE)");
                }
                target = readAnswer(state);
            } else if (console) {
                target = ask(defaultDirectory());
            } else {
                return fail(log, "this installer has no graphical dialogue; start it with -console,"
                        + " or with -silent and a state file");
            }
            if (!new File(target).isAbsolute()) {
                return fail(log, "the installation directory must be an absolute path: " + target);
            }
            if (saveState != null) {
                writeAnswer(saveState, target);
                log.line("Answers saved in " + saveState);
            }
            new Installation(payloadRoot(), new File(target), log).run();
        } catch (IOException e) {
            return fail(log, e.getMessage());
        }
        log.line("Installed. Start the application with " + new File(target, "bin/hello"));
        return 0;
    }

    /** The top of the extracted payload: two levels above this class's jar. */
    private static File payloadRoot() throws IOException {
        try {
            File jar = new File(Installer.class.getProtectionDomain().getCodeSource().getLocation().toURI());
            return jar.getAbsoluteFile().getParentFile().getParentFile();
        } catch (URISyntaxException e) {
            throw new IOException("can't find the payload: " + e.getMessage());
        }
    }

    private static String defaultDirectory() {
        if ("root".equals(System.getProperty("user.name"))) {
            return "/opt/bramlet-example";
        }
        return new File(System.getProperty("user.home"), "bramlet-example").getPath();
    }

    /** The console dialogue: asks until it gets an absolute path; an empty answer takes the default. */
    private static String ask(String suggested) throws IOException {
        BufferedReader in = new BufferedReader(new InputStreamReader(System.in));
        for (;;) {
            System.out.print("Installation directory [" + suggested + "]: ");
            System.out.flush();
            String answer = in.readLine();
            if (answer == null) {
                System.out.println();
                throw new IOException("no answer given");
            }
            answer = answer.trim();
            if (answer.isEmpty()) {
                return suggested;
            }
            if (new File(answer).isAbsolute()) {
                return answer;
            }
            System.out.println("Please give an absolute path.");
        }
    }

    private static String readAnswer(String state) throws IOException {
        Properties answers = new Properties();
        InputStream in = new FileInputStream(state);
        try {
            answers.load(in);
        } finally {
            in.close();
        }
        String target = answers.getProperty(INSTALL_DIR);
        if (target == null || target.trim().isEmpty()) {
            throw new IOException("the state file " + state + " gives no " + INSTALL_DIR);
        }
        return target.trim();
    }

    private static void writeAnswer(String state, String target) throws IOException {
        Properties answers = new Properties();
        answers.setProperty(INSTALL_DIR, target);
        OutputStream out = new FileOutputStream(state);
        try {
            answers.store(out, "Answers for " + WIZARD_ID);
        } finally {
            out.close();
        }
    }

    private static int fail(Log log, String message) {
        System.err.println("Installation failed: " + message);
        if (log != null) {
            log.note("failed: " + message);
            File kept = log.keep();
            if (kept != null) {
                System.err.println("The installation log is in " + kept);
            }
        }
        return 1;
    }
}
