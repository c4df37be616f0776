package example.hello;

/** The example application that the example installer installs. */
public final class Hello {
    private Hello() {}

    public static void main(String[] args) {
        System.out.println("Hello from the bramlet example application.");
        System.out.println("It runs on Java " + System.getProperty("java.version") + " from "
                + System.getProperty("java.home") + ".");
    }
}
