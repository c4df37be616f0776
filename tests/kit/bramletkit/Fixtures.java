package bramletkit;

import static org.junit.jupiter.api.Assertions.assertEquals;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import java.util.Map;
import java.util.Properties;

/** What the kit's tests share: products of a few properties, and programs run in a bare environment. */
final class Fixtures {
    private Fixtures() {}

    /** The product hello 1.0 of main class demo.Main, with the properties of pairs (key, value, ...) too. */
    static Product product(File root, String... pairs) throws IOException {
        Properties p = new Properties();
        p.setProperty("name", "hello");
        p.setProperty("version", "1.0");
        p.setProperty("mainClass", "demo.Main");
        for (int i = 0; i < pairs.length; i += 2) {
            p.setProperty(pairs[i], pairs[i + 1]);
        }
        return new Product(root, p);
    }

    /**
     * What command, run in dir with only PATH, HOME=dir and env in its environment, writes to its standard
     * output and error, read to the end: until every program it started has closed them too. It must end
     * with 0.
     */
    static String run(File dir, Map<String, String> env, String... command) throws Exception {
        ProcessBuilder builder = new ProcessBuilder(command).directory(dir).redirectErrorStream(true);
        builder.environment().clear();
        builder.environment().put("PATH", "/usr/bin:/bin");
        builder.environment().put("HOME", dir.getPath());
        builder.environment().putAll(env);
        Process process = builder.start();
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        InputStream in = process.getInputStream();
        byte[] buffer = new byte[4096];
        for (int n; (n = in.read(buffer)) > 0;) {
            out.write(buffer, 0, n);
        }
        String said = new String(out.toByteArray(), StandardCharsets.UTF_8);
        assertEquals(0, process.waitFor(), Arrays.toString(command) + ": " + said);
        return said;
    }
}
