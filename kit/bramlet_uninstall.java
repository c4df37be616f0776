// The uninstaller's main class, which the bramlet-uninstall launcher runs
// from the installation's uninstall directory.
public final class bramlet_uninstall {
    private bramlet_uninstall() {}

    public static void main(String[] args) {
        System.exit(bramletkit.Uninstall.run(args));
    }
}
