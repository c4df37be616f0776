// The installer's main class, which the launcher runs from the top of the
// extracted payload. The installer itself lives in package/PackageFormat.jar.
public class bramlet {
    public static void main(String[] args) {
        System.exit(example.installer.Installer.run(args));
    }
}
