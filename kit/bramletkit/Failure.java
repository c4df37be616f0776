package bramletkit;

/** A failure whose message is ready to be shown to the user, in the user's language. */
final class Failure extends Exception {
    private static final long serialVersionUID = 1L;

    Failure(String message) {
        super(message);
    }
}
