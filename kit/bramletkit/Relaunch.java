package bramletkit;

import java.io.File;
import java.io.IOException;
import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;

/**
 * File names are bytes; the runtime turns them into text by the locale's
 * character set (sun.jnu.encoding) and can't name a file "café.txt" under
 * the C locale of cron, services or env -i. When the kit's names need more
 * than ASCII there, it runs itself again with a UTF-8 character set
 * (LC_CTYPE), the user's language kept (LC_MESSAGES), and ends with that
 * run's status.
 */
final class Relaunch {
    /** Set in the run again, so that it does not run itself once more. */
    private static final String MARK = "BRAMLET_KIT_UTF8";
    /** The status of a run again whose locale still is not UTF-8: the next locale is tried. */
    private static final int NOT_UTF8 = 75;
    private static final String[] LOCALES = {"C.UTF-8", "en_US.UTF-8"};

    private Relaunch() {}

    static boolean utf8() {
        String jnu = System.getProperty("sun.jnu.encoding", "");
        return Charset.isSupported(jnu) && Charset.forName(jnu).equals(StandardCharsets.UTF_8);
    }

    /** Whether the file holds a byte beyond ASCII. */
    static boolean beyondAscii(File file) {
        try {
            for (byte b : Files.readAllBytes(file.toPath())) {
                if (b < 0) {
                    return true;
                }
            }
        } catch (IOException e) {
            // Unreadable: whoever reads it says so.
        }
        return false;
    }

    /**
     * When names need it, runs the kit again under UTF-8 and returns its
     * exit status; else -1, and the kit goes on in this run.
     */
    static int ifNeeded(boolean needed) {
        if (!needed || utf8()) {
            return -1;
        }
        if (System.getenv(MARK) != null) {
            System.exit(NOT_UTF8);
        }
        List<String> command = commandLine();
        if (command == null) {
            return -1;
        }
        for (String locale : LOCALES) {
            int status = run(command, locale);
            if (status != NOT_UTF8) {
                return status;
            }
        }
        return -1;
    }

    private static int run(List<String> command, String locale) {
        ProcessBuilder pb = new ProcessBuilder(command).inheritIO();
        Map<String, String> env = pb.environment();
        String all = env.remove("LC_ALL");
        if (all != null && !all.isEmpty()) {
            env.put("LC_MESSAGES", all);
        }
        env.put("LC_CTYPE", locale);
        env.put(MARK, locale);
        final Process p;
        try {
            p = pb.start();
        } catch (IOException e) {
            return NOT_UTF8;
        }
        // A signal to this run reaches the other (the launcher signals this one): it undoes and ends first.
        Thread hook = new Thread() {
            @Override
            public void run() {
                p.destroy();
                waitFor(p);
            }
        };
        Runtime.getRuntime().addShutdownHook(hook);
        int status = waitFor(p);
        try {
            Runtime.getRuntime().removeShutdownHook(hook);
        } catch (IllegalStateException e) {
            // Ending already.
        }
        return status;
    }

    private static int waitFor(Process p) {
        for (;;) {
            try {
                return p.waitFor();
            } catch (InterruptedException e) {
                // The status is what counts.
            }
        }
    }

    /** This runtime's command line, as the launcher gave it. */
    private static List<String> commandLine() {
        try {
            byte[] bytes = Files.readAllBytes(Paths.get("/proc/self/cmdline"));
            List<String> args = new ArrayList<String>();
            int from = 0;
            for (int i = 0; i < bytes.length; i++) {
                if (bytes[i] == 0) {
                    args.add(new String(bytes, from, i - from, StandardCharsets.UTF_8));
                    from = i + 1;
                }
            }
            return args.isEmpty() ? null : args;
        } catch (IOException e) {
            return null;
        }
    }
}
