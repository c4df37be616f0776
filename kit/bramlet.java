// The installer's main class, which the launcher runs from the top of the
// extracted payload; the kit itself lives in package/PackageFormat.jar.
public final class bramlet {
    private bramlet() {}

    public static void main(String[] args) {
        System.exit(bramletkit.Setup.run(args));
    }
}
