package bramletkit;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;
import java.util.Map;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** Desktop entries as the desktop's own tools read them. */
class DesktopEntriesTest {
    @TempDir
    File dir;

    private String entry(Product product, File target) {
        return DesktopEntries.entry(product, product.commands.get(0), target, null, new File(target, "manifest"));
    }

    @Test
    void execRunsTheStartScriptWhateverItsPathHolds() throws Exception {
        // No '%': GLib looks for the program before it reads "%%" as '%'.
        File target = new File(dir, "a b\"c$HOME\\d`id` 'e'\tf\ng;h");
        File script = new File(target, "bin/hello");
        assertTrue(script.getParentFile().mkdirs());
        Files.write(script.toPath(), "#!/bin/sh\nprintf '%s|' \"$0\" \"$@\"\n".getBytes(StandardCharsets.UTF_8));
        assertTrue(script.setExecutable(true));
        File desktop = new File(dir, "hello.desktop");
        Product product = Fixtures.product(dir, "fileType.0.extension", "hello", "fileType.0.mimeType",
                "application/x-hello");
        String text = entry(product, target);
        Files.write(desktop.toPath(), text.getBytes(StandardCharsets.UTF_8));

        Map<String, String> none = Collections.emptyMap();
        assertEquals("", Fixtures.run(dir, none, "desktop-file-validate", desktop.getPath()));
        // gio parses Exec as GLib does for every GNOME menu, and runs it with a file to open.
        File opened = new File(dir, "x y.hello");
        assertEquals(script + "|" + opened + "|", Fixtures.run(dir, none, "gio", "launch", desktop.getPath(),
                opened.getPath()));
    }

    @Test
    void valuesAndExecAreEscapedAsTheFormatWants() throws Exception {
        String text = entry(Fixtures.product(dir, "title", " Caf\u00e9 \\ 1\n2\t3\r", "description", "%u $x \\n"),
                new File("/opt/100% \"$b\" `c` \\d"));
        List<String> lines = Arrays.asList(text.split("\n"));
        // A leading blank is escaped, since readers drop the blanks after '='.
        assertTrue(lines.contains("Name=\\sCaf\u00e9 \\\\ 1\\n2\\t3\\r"), text);
        assertTrue(lines.contains("Comment=%u $x \\\\n"), text);
        // Exec: a quoted argument, '"', '`', '$' and '\' escaped with '\' and '%' doubled, then escaped as
        // any string is.
        assertTrue(lines.contains("Exec=\"/opt/100%% \\\\\"\\\\$b\\\\\" \\\\`c\\\\` \\\\\\\\d/bin/hello\""), text);
    }
}
