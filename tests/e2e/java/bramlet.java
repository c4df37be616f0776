// A small installer for the end-to-end tests: it reports what the launcher
// gave it (system properties, arguments, working directory) to the file
// named by BRAMLET_TEST_OUT and exits with BRAMLET_TEST_STATUS.
import java.io.File;
import java.io.FileWriter;
import java.io.IOException;

public class bramlet {
    public static void main(String[] args) throws IOException {
        StringBuilder out = new StringBuilder();
        String[] keys = {"java.io.tmpdir", "temp.dir", "java.class.path", "java.awt.headless", "debug",
                         "java.home"};
        for (String key : keys) {
            out.append(key).append('=').append(System.getProperty(key, "<unset>")).append('\n');
        }
        out.append("cwd=").append(new File(".").getCanonicalPath()).append('\n');
        out.append("maxMemoryMiB=").append(Runtime.getRuntime().maxMemory() >> 20).append('\n');
        for (String arg : args) {
            out.append("arg=").append(arg).append('\n');
        }
        // Proves that the class path reaches the jar inside the payload.
        out.append("format=").append(PackageFormat.describe()).append('\n');
        try (FileWriter w = new FileWriter(System.getenv("BRAMLET_TEST_OUT"))) {
            w.write(out.toString());
        }
        System.exit(Integer.parseInt(System.getenv("BRAMLET_TEST_STATUS")));
    }
}
