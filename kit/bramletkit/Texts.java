package bramletkit;

import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.nio.charset.Charset;
import java.text.MessageFormat;
import java.util.List;
import java.util.Locale;
import java.util.MissingResourceException;
import java.util.PropertyResourceBundle;
import java.util.ResourceBundle;

/**
 * The kit's texts in the user's language (English, US or British spelling,
 * Spanish or Japanese, from the locale the runtime takes from LANG and
 * LC_ALL), with the product's name and version filled in where a text
 * names them.
 */
final class Texts {
    /** The countries whose English is spelt as Britain's. */
    private static final String[] BRITISH = {"GB", "IE", "AU", "NZ", "ZA", "IN"};

    private final ResourceBundle bundle;
    private final Locale locale;

    Texts() {
        locale = Locale.getDefault();
        bundle = ResourceBundle.getBundle("bramletkit.Messages", spelling(locale), new Utf8Control());
    }

    /** The locale whose bundle holds locale's texts: en_GB's for every British-spelling English. */
    private static Locale spelling(Locale locale) {
        if (locale.getLanguage().equals("en")) {
            for (String country : BRITISH) {
                if (country.equals(locale.getCountry())) {
                    return Locale.UK;
                }
            }
        }
        return locale;
    }

    /** The text of key, a MessageFormat pattern filled with args. */
    String get(String key, Object... args) {
        String pattern;
        try {
            pattern = bundle.getString(key);
        } catch (MissingResourceException e) {
            return key;
        }
        return new MessageFormat(pattern, locale).format(args);
    }

    /** True when answer (trimmed, any case) is one of the words of key, separated by "|". */
    boolean isOneOf(String key, String answer) {
        for (String word : get(key).split("\\|")) {
            if (word.equalsIgnoreCase(answer.trim())) {
                return true;
            }
        }
        return false;
    }

    /** Reads the bundles as UTF-8, which Java 8 runtimes would read as Latin-1. */
    private static final class Utf8Control extends ResourceBundle.Control {
        @Override
        public List<String> getFormats(String baseName) {
            return FORMAT_PROPERTIES;
        }

        @Override
        public ResourceBundle newBundle(String baseName, Locale locale, String format, ClassLoader loader,
                boolean reload) throws IOException {
            String name = toResourceName(toBundleName(baseName, locale), "properties");
            InputStream in = loader.getResourceAsStream(name);
            if (in == null) {
                return null;
            }
            try {
                return new PropertyResourceBundle(new InputStreamReader(in, Charset.forName("UTF-8")));
            } finally {
                in.close();
            }
        }

        @Override
        public Locale getFallbackLocale(String baseName, Locale locale) {
            // English is the base bundle: no fall-back through the JVM's default locale.
            return null;
        }
    }
}
