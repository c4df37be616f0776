package bramletkit;

import java.io.BufferedReader;
import java.io.File;
import java.io.IOException;
import java.io.InputStreamReader;
import java.io.PrintStream;

/** The console dialogue: texts out, answers in, in the terminal's encoding. */
final class Terminal {
    private final BufferedReader in = new BufferedReader(new InputStreamReader(System.in));
    private final PrintStream out = System.out;
    private final Texts texts;

    Terminal(Texts texts) {
        this.texts = texts;
    }

    void println(String text) {
        out.println(text);
    }

    /** Shows a step's title, underlined. */
    void heading(String title) {
        out.println();
        out.println(title);
        StringBuilder line = new StringBuilder();
        for (int i = 0; i < title.length(); i++) {
            line.append(title.charAt(i) < 0x1100 ? "=" : "==");
        }
        out.println(line);
    }

    /** Asks; returns the answer (trimmed), or null when the input has ended or the user typed "q". */
    String ask(String prompt) throws IOException {
        String line = read(prompt);
        return line == null || isQuit(line) ? null : line;
    }

    /** Asks; returns the answer (trimmed), or null only when the input has ended. */
    String read(String prompt) throws IOException {
        out.print(prompt);
        out.flush();
        String line = in.readLine();
        if (line == null) {
            out.println();
            return null;
        }
        return line.trim();
    }

    boolean isQuit(String answer) {
        return texts.isOneOf("answer.quit", answer);
    }

    /**
     * The terminal's rows, as stty reports them for the standard input;
     * else LINES, when it is a sane number; else 24.
     */
    static int rows() {
        int rows = sane(sttyRows());
        if (rows == 0) {
            rows = sane(System.getenv("LINES"));
        }
        return rows != 0 ? rows : 24;
    }

    /** The first word of stty size, or null. stty comes from the system's directories, never from PATH. */
    private static String sttyRows() {
        File stty = new File("/bin/stty");
        if (!stty.canExecute()) {
            stty = new File("/usr/bin/stty");
        }
        try {
            ProcessBuilder size = new ProcessBuilder(stty.getPath(), "size");
            // stty asks the terminal on its standard input, which must be the kit's own.
            size.redirectInput(ProcessBuilder.Redirect.INHERIT);
            size.redirectError(new File("/dev/null"));
            Process p = size.start();
            BufferedReader said = new BufferedReader(new InputStreamReader(p.getInputStream(), "US-ASCII"));
            try {
                String line = said.readLine();
                return p.waitFor() == 0 && line != null ? line.trim().split(" ")[0] : null;
            } finally {
                said.close();
            }
        } catch (IOException e) {
            return null;
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            return null;
        }
    }

    /** rows as a number of rows a pager can use (2 to 10000), else 0. */
    private static int sane(String rows) {
        if (rows == null || !rows.matches("[0-9]{1,5}")) {
            return 0;
        }
        int n = Integer.parseInt(rows);
        return n >= 2 && n <= 10000 ? n : 0;
    }
}
