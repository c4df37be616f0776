package bramletkit;

/** Versions compared as people read them: 1.10 after 1.9, 2.0 after 2.0-beta. */
final class Versions {
    private Versions() {}

    /** Below 0 when a is older than b, 0 when they are the same, above 0 when a is newer. */
    static int compare(String a, String b) {
        String[] x = a.split("[.\\-_+]");
        String[] y = b.split("[.\\-_+]");
        for (int i = 0; i < Math.max(x.length, y.length); i++) {
            // A release is newer than its pre-releases: 2.0 after 2.0-beta, but 2.0.1 after 2.0.
            if (i >= x.length || i >= y.length) {
                String rest = i >= x.length ? y[i] : x[i];
                boolean numeric = rest.matches("\\d+");
                int sign = i >= x.length ? -1 : 1;
                return numeric ? sign : -sign;
            }
            int c = part(x[i], y[i]);
            if (c != 0) {
                return c;
            }
        }
        return 0;
    }

    private static int part(String a, String b) {
        boolean na = a.matches("\\d+");
        boolean nb = b.matches("\\d+");
        if (na && nb) {
            String ta = a.replaceFirst("^0+(?=.)", "");
            String tb = b.replaceFirst("^0+(?=.)", "");
            return ta.length() != tb.length() ? Integer.signum(ta.length() - tb.length()) : Integer.signum(ta.compareTo(tb));
        }
        // A number is newer than a word (1.0.1 after 1.0.beta).
        if (na != nb) {
            return na ? 1 : -1;
        }
        return Integer.signum(a.compareToIgnoreCase(b));
    }
}
