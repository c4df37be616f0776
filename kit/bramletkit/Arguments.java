package bramletkit;

/**
 * The wizard arguments the launcher passes after the main class: "-nodisplay"
 * (no window: the console), "-noconsole" (no console either: silent),
 * "-state FILE" (the answers), "-saveState FILE" (where to write the answers
 * given) and "-id" (print the wizard identifier).
 */
final class Arguments {
    enum Mode { GRAPHICAL, CONSOLE, SILENT }

    Mode mode = Mode.GRAPHICAL;
    String state;
    String saveState;
    boolean printId;

    /** Reads args; throws Failure naming the first argument it does not know. */
    static Arguments parse(String[] args, Texts texts) throws Failure {
        Arguments a = new Arguments();
        boolean noDisplay = false;
        boolean noConsole = false;
        for (int i = 0; i < args.length; i++) {
            String arg = args[i];
            if (arg.equals("-nodisplay")) {
                noDisplay = true;
            } else if (arg.equals("-noconsole")) {
                noConsole = true;
            } else if (arg.equals("-state") && i + 1 < args.length) {
                a.state = args[++i];
            } else if (arg.equals("-saveState") && i + 1 < args.length) {
                a.saveState = args[++i];
            } else if (arg.equals("-id")) {
                a.printId = true;
            } else {
                throw new Failure(texts.get("error.argument", arg));
            }
        }
        if (noConsole) {
            a.mode = Mode.SILENT;
        } else if (noDisplay) {
            a.mode = Mode.CONSOLE;
        }
        return a;
    }
}
