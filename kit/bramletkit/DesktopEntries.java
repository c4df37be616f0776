package bramletkit;

import java.io.File;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

/**
 * The texts that put the product into the desktop's menus: a desktop entry
 * per command (freedesktop.org Desktop Entry, as 1.4 and 1.5 have it) and, for the file types
 * the main command opens, a package of the shared MIME database.
 */
final class DesktopEntries {
    private DesktopEntries() {}

    /** The entry of command, installed in target; icon is a path or null; manifest names the installation. */
    static String entry(Product product, Product.Command command, File target, String icon, File manifest) {
        String suffix = command.main ? "" : " " + command.name;
        StringBuilder s = new StringBuilder();
        // Only keys that 1.4 has already: the version that validators of today's systems know.
        s.append("[Desktop Entry]\nType=Application\nVersion=1.4\n");
        s.append("Name=").append(escape(product.title + suffix)).append('\n');
        for (Map.Entry<String, String> t : product.titles.entrySet()) {
            s.append("Name[").append(t.getKey()).append("]=").append(escape(t.getValue() + suffix)).append('\n');
        }
        if (product.description != null) {
            s.append("Comment=").append(escape(product.description)).append('\n');
            for (Map.Entry<String, String> t : product.descriptions.entrySet()) {
                s.append("Comment[").append(t.getKey()).append("]=").append(escape(t.getValue())).append('\n');
            }
        }
        s.append("Exec=").append(quote(new File(target, "bin/" + command.name).getPath()));
        boolean opens = command.main && !product.fileTypes.isEmpty();
        s.append(opens ? " %F\n" : "\n");
        if (icon != null) {
            s.append("Icon=").append(escape(icon)).append('\n');
        }
        s.append("Terminal=").append(product.terminal).append('\n');
        s.append("Categories=").append(escape(product.categories)).append('\n');
        if (opens) {
            s.append("MimeType=");
            for (String type : globs(product).keySet()) {
                s.append(type).append(';');
            }
            s.append('\n');
        }
        // AWT names its windows' WM_CLASS after the main class, '.' as '-'.
        s.append("StartupWMClass=").append(escape(command.mainClass.replace('.', '-'))).append('\n');
        if (product.vendor != null) {
            s.append("X-Vendor=").append(escape(product.vendor)).append('\n');
        }
        s.append("X-Bramlet-Manifest=").append(escape(manifest.getPath())).append('\n');
        return s.toString();
    }

    /** The shared MIME database package of the product's file types. */
    static String mimePackage(Product product) {
        StringBuilder s = new StringBuilder("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                + "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n");
        for (Map.Entry<String, List<String>> type : globs(product).entrySet()) {
            s.append("  <mime-type type=\"").append(xml(type.getKey())).append("\">\n");
            s.append("    <comment>").append(xml(product.title)).append("</comment>\n");
            for (Map.Entry<String, String> t : product.titles.entrySet()) {
                s.append("    <comment xml:lang=\"").append(xml(t.getKey().replace('_', '-'))).append("\">")
                        .append(xml(t.getValue())).append("</comment>\n");
            }
            for (String extension : type.getValue()) {
                s.append("    <glob pattern=\"*.").append(xml(extension)).append("\"/>\n");
            }
            s.append("  </mime-type>\n");
        }
        return s.append("</mime-info>\n").toString();
    }

    /** The extensions of each MIME type, the types in the order given: one type may take several. */
    private static Map<String, List<String>> globs(Product product) {
        Map<String, List<String>> types = new LinkedHashMap<String, List<String>>();
        for (Product.FileType type : product.fileTypes) {
            if (!types.containsKey(type.mimeType)) {
                types.put(type.mimeType, new ArrayList<String>());
            }
            types.get(type.mimeType).add(type.extension);
        }
        return types;
    }

    /** A desktop entry's string value: backslash, the control characters and a leading blank escaped. */
    static String escape(String s) {
        String escaped = s.replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r").replace("\n", "\\n");
        // Readers drop the blanks after '='.
        return escaped.startsWith(" ") ? "\\s" + escaped.substring(1) : escaped;
    }

    /** An argument of a desktop entry's Exec key, quoted as that key wants it. */
    static String quote(String s) {
        StringBuilder q = new StringBuilder("\"");
        for (char c : s.toCharArray()) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') {
                q.append('\\');
            } else if (c == '%') {
                q.append('%');
            }
            q.append(c);
        }
        return escape(q.append('"').toString());
    }

    private static String xml(String s) {
        return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace("\"", "&quot;");
    }
}
