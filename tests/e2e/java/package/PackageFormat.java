// Lives in package/PackageFormat.jar of the test installer's payload.
public class PackageFormat {
    public static String describe() {
        return "PackageFormat " + System.getProperty("java.version");
    }
}
