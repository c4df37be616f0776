package bramletkit;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayInputStream;
import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.net.URL;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.jar.Attributes;
import java.util.jar.JarInputStream;
import java.util.jar.JarOutputStream;
import java.util.jar.Manifest;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** The start files as their readers take them: bin/C as sh runs it, bin/C.jar as java resolves its class path. */
class StartFilesTest {
    @TempDir
    File dir;

    /** An installation directory whose name the shell would take apart. */
    private File target() {
        File target = new File(dir, "it's \"$HOME\" `id` \\ x");
        assertTrue(new File(target, "bin").mkdirs());
        return target;
    }

    private static Product product(File root, String... pairs) throws IOException {
        List<String> all = new ArrayList<String>(Arrays.asList("mainJar", "lib/hello.jar", "mainClass",
                "demo.Main$Inner", "launcher.0.name", "hello-cli", "launcher.0.class", "demo.Cli$Inner"));
        all.addAll(Arrays.asList(pairs));
        return Fixtures.product(root, all.toArray(new String[0]));
    }

    private static void write(File file, String text) throws IOException {
        file.getParentFile().mkdirs();
        Files.write(file.toPath(), text.getBytes(StandardCharsets.UTF_8));
        assertTrue(file.setExecutable(true));
    }

    /** The arguments that the java of javaHome gets when sh runs the script of command with args. */
    private List<String> run(Product product, Product.Command command, File target, File javaHome, boolean bundled,
            Map<String, String> env, String... args) throws Exception {
        // The java that only says what it was given, each argument ended by a NUL.
        write(new File(javaHome, "bin/java"), "#!/bin/sh\nfor a; do printf '%s\\0' \"$a\"; done\n");
        File script = new File(target, "bin/" + command.name);
        write(script, StartFiles.script(product, command, target, bundled));
        List<String> commandLine = new ArrayList<String>(Arrays.asList("/bin/sh", script.getPath()));
        commandLine.addAll(Arrays.asList(args));
        String said = Fixtures.run(dir, env, commandLine.toArray(new String[0]));
        assertTrue(said.endsWith("\0"), said);
        return Arrays.asList(said.substring(0, said.length() - 1).split("\0", -1));
    }

    @Test
    void scriptPassesEveryOptionAndArgumentAsGiven() throws Exception {
        File target = target();
        Product product = product(dir, "javaOption.0", "-Dq='one' \"two\"", "javaOption.1", "-Dcmd=`id` $(id) $HOME",
                "javaOption.2", "-Dlogs=$APPDIR/logs:${APPDIR}:$APPDIRS", "javaOption.3", "-Dblank=two  words\tand",
                "argument.0", "a b", "argument.1", "*", "argument.2", "", "argument.3", "it's");
        // JAVA_OPTS and the command's own variable are split at blanks, never globbed.
        write(new File(dir, "-Dglob=a.txt"), "");
        Map<String, String> env = new java.util.HashMap<String, String>();
        env.put("JAVA_OPTS", "-Da=1  -Dglob=*.txt");
        env.put("HELLO_OPTS", "-Dc='x'");
        env.put("HELLO_CLI_OPTS", "-Dcli");
        env.put("HOME", "/nowhere");
        List<String> options = Arrays.asList("-Dq='one' \"two\"", "-Dcmd=`id` $(id) $HOME",
                "-Dlogs=" + target + "/logs:" + target + ":$APPDIRS", "-Dblank=two  words\tand", "-Da=1",
                "-Dglob=*.txt");
        List<String> expected = new ArrayList<String>(options);
        expected.addAll(Arrays.asList("-Dc='x'", "-jar", target + "/bin/hello.jar", "a b", "*", "", "it's", "u 1",
                "$x", ""));
        File runtime = new File(target, "runtime");
        assertEquals(expected, run(product, product.commands.get(0), target, runtime, true, env, "u 1", "$x", ""));

        // Another command takes no arguments of the product's and its own variable; without a bundled
        // runtime, the java of JAVA_HOME.
        File javaHome = new File(dir, "a $JAVA `home`");
        env.put("JAVA_HOME", javaHome.getPath());
        expected = new ArrayList<String>(options);
        expected.addAll(Arrays.asList("-Dcli", "-jar", target + "/bin/hello-cli.jar", "u 1"));
        assertEquals(expected, run(product, product.commands.get(1), target, javaHome, false, env, "u 1"));
    }

    @Test
    void jarRunsTheCommandsClassOnAClassPathJavaResolvesToTheApplicationsFiles() throws Exception {
        File app = new File(dir, "package/app");
        String[] entries = {"lib/a b%20c:d#e.jar", "lib/\u00e9\u3053.jar", "classes", "bin/tool.jar"};
        for (String entry : entries) {
            write(new File(app, entry + (entry.equals("classes") ? "/.keep" : "")), "");
        }
        Manifest main = new Manifest();
        main.getMainAttributes().put(Attributes.Name.MANIFEST_VERSION, "1.0");
        main.getMainAttributes().putValue("Main-Class", "demo.Main");
        main.getMainAttributes().putValue("Add-Opens", "java.base/java.lang");
        main.getMainAttributes().putValue("Implementation-Title", "not for java -jar");
        OutputStream jar = new JarOutputStream(new FileOutputStream(new File(app, "lib/hello.jar")), main);
        jar.close();
        Product product = product(dir, "classPath.0", entries[0], "classPath.1", entries[1], "classPath.2",
                entries[2], "classPath.3", entries[3]);

        JarInputStream made = new JarInputStream(new ByteArrayInputStream(StartFiles.jar(product,
                product.commands.get(1))));
        Attributes attributes = made.getManifest().getMainAttributes();
        made.close();
        assertEquals("demo.Cli$Inner", attributes.getValue("Main-Class"));
        assertEquals("java.base/java.lang", attributes.getValue("Add-Opens"));
        assertEquals(null, attributes.getValue("Implementation-Title"));
        // java resolves each entry against the URL of the jar it runs, in bin/; a directory's ends in '/'.
        URL bin = new File(app, "bin/hello-cli.jar").toURI().toURL();
        List<String> found = new ArrayList<String>();
        for (String url : attributes.getValue("Class-Path").split(" ")) {
            String path = new File(new URL(bin, url).toURI()).getPath();
            found.add(path + (url.endsWith("/") ? "/" : ""));
        }
        assertEquals(Arrays.asList(app + "/lib/hello.jar", app + "/" + entries[0], app + "/" + entries[1],
                app + "/classes/", app + "/bin/tool.jar"), found);
    }
}
