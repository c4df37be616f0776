// A Yes/No question in a window of its own, as Swing shows it: the picture a
// test holds a program's question window against. Run as a source file:
// java confirm_dialog.java TITLE MESSAGE
import javax.swing.JOptionPane;

public final class confirm_dialog {
    private confirm_dialog() {}

    public static void main(String[] args) {
        JOptionPane.showConfirmDialog(null, args[1], args[0], JOptionPane.YES_NO_OPTION);
        System.exit(0);
    }
}
