package bramletkit;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;

import java.io.File;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.Arrays;
import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** The manifest's format: no name can add a line or end one early, and it reads back exactly. */
class ManifestTest {
    @TempDir
    File dir;

    @Test
    void everyNameReadsBackExactly() throws Exception {
        List<String> names = Arrays.asList("/x\rf /victim/file", "/a/Icon\r", "/b\nd /etc", "/c\\x0a\\", "/caf\u00e9 \u65e5\u672c",
                "/t\tu\u007f");
        Manifest m = new Manifest("p\rq", "1\n2");
        for (String n : names) {
            m.entries.add(new Manifest.Entry(Manifest.Kind.FILE, new File(n)));
        }
        File file = new File(dir, "manifest");
        m.write(file);
        byte[] bytes = Files.readAllBytes(file.toPath());
        // One line per entry after the three of the head, whatever the names hold.
        assertEquals(3 + names.size(), new String(bytes, StandardCharsets.UTF_8).split("\n", -1).length - 1);
        Manifest back = Manifest.parse(bytes);
        assertEquals("p\rq", back.product);
        assertEquals("1\n2", back.version);
        for (int i = 0; i < names.size(); i++) {
            assertEquals(names.get(i), back.entries.get(i).path.getPath());
            assertEquals(Manifest.Kind.FILE, back.entries.get(i).kind);
        }
    }

    @Test
    void aDamagedListRemovesNothing() {
        String head = "bramlet-manifest 2\nproduct p\nversion 1\n";
        for (String body : new String[] {"f /a\rf /b\n", "f /a\\q\n", "f /a\\x0\n", "x /a\n", "f relative\n", "f /a"}) {
            assertNull(Manifest.parse((head + body).getBytes(StandardCharsets.UTF_8)), body);
        }
    }

    @Test
    void anEarlierFormatSplitsAtLineFeedsAlone() {
        Manifest m = Manifest.parse("bramlet-manifest 1\nproduct p\nversion 1\nd /x\nf /x/Icon\r\n"
                .getBytes(StandardCharsets.UTF_8));
        assertEquals(Arrays.asList(new File("/x"), new File("/x/Icon\r")),
                Arrays.asList(m.entries.get(0).path, m.entries.get(1).path));
    }
}
