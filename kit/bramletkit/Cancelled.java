package bramletkit;

/** The user stopped the installation; whatever it had made is removed. */
final class Cancelled extends Exception {
    private static final long serialVersionUID = 1L;
}
