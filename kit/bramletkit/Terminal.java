package bramletkit;

import java.io.BufferedReader;
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
        out.print(prompt);
        out.flush();
        String line = in.readLine();
        if (line == null) {
            out.println();
            return null;
        }
        line = line.trim();
        return texts.isOneOf("answer.quit", line) ? null : line;
    }
}
