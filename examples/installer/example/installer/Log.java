package example.installer;

import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStreamWriter;
import java.io.Writer;

/**
 * The installation's progress: shown on standard output and written to a log
 * in the launcher's working directory (java.io.tmpdir), which the launcher
 * removes when the installer ends. After a failure the log is kept in the
 * launcher's temporary directory (temp.dir), which stays.
 */
final class Log {
    private final StringBuilder text = new StringBuilder();

    /** Shows a line and logs it. */
    void line(String message) {
        System.out.println(message);
        note(message);
    }

    /** Logs a line without showing it. */
    void note(String message) {
        text.append(message).append('\n');
        write(new File(System.getProperty("java.io.tmpdir"), "install.log"));
    }

    /** Copies the log into temp.dir; returns the copy, or null when there is none. */
    File keep() {
        String dir = System.getProperty("temp.dir");
        if (dir == null) {
            return null;
        }
        File copy = new File(dir, "bramlet-example-install.log");
        return write(copy) ? copy : null;
    }

    private boolean write(File file) {
        try {
            Writer out = new OutputStreamWriter(new FileOutputStream(file), "UTF-8");
            try {
                out.write(text.toString());
            } finally {
                out.close();
            }
            return true;
        } catch (IOException e) {
            return false;
        }
    }
}
