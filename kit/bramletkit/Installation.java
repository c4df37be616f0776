package bramletkit;

import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.nio.file.AccessDeniedException;
import java.nio.file.FileAlreadyExistsException;
import java.nio.file.FileStore;
import java.nio.file.FileSystemException;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.nio.file.StandardOpenOption;
import java.util.ArrayList;
import java.util.HashSet;
import java.util.List;
import java.util.Set;

/**
 * Installs the product into a directory, so that no installation is ever
 * lost or left half-made. The installation's tree is made beside the
 * target, in .NAME.bramlet-new, with everything recorded before it exists;
 * only when it is complete does it take the target's place by renames (the
 * earlier installation going to .NAME.bramlet-old for the moment), then
 * the links, file types, icon and desktop entries are replaced, and last
 * the earlier installation is removed. A failure, a cancel or a signal
 * before that leaves the earlier installation as it was; a run after
 * SIGKILL finds the two names and puts things right first.
 */
final class Installation {
    /** Told of each thing made; throws Cancelled to stop the installation. */
    interface Progress {
        void made(int done, int total, String what) throws Cancelled;
    }

    private final Product product;
    private final File target;
    private final Texts texts;
    private final List<String> notes;
    private final File staging;
    private final File old;
    /** What this run made, as made (below staging), in order: removed by the undo. */
    private final List<Manifest.Entry> made = new ArrayList<Manifest.Entry>();
    private Plan plan;
    private EarlierInstallation here;
    private EarlierInstallation elsewhere;
    private boolean stopped;
    private boolean ended;

    /** Adds to notes what the user should know of the installation: the commands not linked on PATH. */
    Installation(Product product, File target, Texts texts, List<String> notes) {
        this.product = product;
        this.target = target;
        this.texts = texts;
        this.notes = notes;
        File parent = target.getAbsoluteFile().getParentFile();
        staging = new File(parent, "." + target.getName() + ".bramlet-new");
        old = new File(parent, "." + target.getName() + ".bramlet-old");
    }

    /** Installs, telling progress of each step. On Failure or Cancelled the earlier state is kept. */
    void run(Progress progress) throws Failure, Cancelled {
        Thread hook = new Thread("installer-stop") {
            @Override
            public void run() {
                stopAndWait();
            }
        };
        // Ended by a signal (the launcher passes on the user's interrupt): stop, and wait for the undo or the end.
        Runtime.getRuntime().addShutdownHook(hook);
        try {
            recover();
            here = EarlierInstallation.in(target, product.name);
            EarlierInstallation found = EarlierInstallation.find(product.name);
            elsewhere = found != null && !found.directory().equals(target) ? found : null;
            Set<File> earlierPaths = new HashSet<File>();
            for (EarlierInstallation e : new EarlierInstallation[] {here, elsewhere}) {
                if (e != null) {
                    earlierPaths.addAll(e.manifest.paths());
                }
            }
            plan = new Plan(product, target, here != null ? here.manifest : null, earlierPaths, texts, notes);
            build(progress);
            commit();
            progress.made(1, 1, "");
        } catch (IOException e) {
            undo();
            throw new Failure(texts.get("error.install", describe(e)));
        } catch (Cancelled e) {
            undo();
            throw e;
        } finally {
            synchronized (this) {
                ended = true;
                notifyAll();
            }
            try {
                Runtime.getRuntime().removeShutdownHook(hook);
            } catch (IllegalStateException e) {
                // The runtime is ending already; the hook is waiting for this.
            }
        }
    }

    private synchronized void stopAndWait() {
        stopped = true;
        // Named for whoever looks at the process: stopped, waiting for the undo.
        Thread.currentThread().setName("installer-undo");
        while (!ended) {
            try {
                wait();
            } catch (InterruptedException e) {
                return;
            }
        }
    }

    /** Records an entry before it is made; refuses to go on once stopped. */
    private void record(Manifest.Kind kind, File path, boolean cancellable) throws Cancelled {
        synchronized (this) {
            if (stopped && cancellable) {
                throw new Cancelled();
            }
            made.add(new Manifest.Entry(kind, path));
        }
    }

    /** Where an action is made: below staging for the installation's tree. */
    private File staged(File path) {
        return Plan.below(path, target) ? new Manifest.Entry(Manifest.Kind.FILE, path).rebased(target, staging).path
                : path;
    }

    /** Makes the directories around the target and the tree in staging; cancellable. */
    private void build(Progress progress) throws IOException, Cancelled {
        int total = plan.around.size() + plan.inside.size() + 2;
        int done = 0;
        for (Plan.Action a : plan.around) {
            progress.made(done++, total, a.path.getPath());
            make(a, a.path, true);
        }
        progress.made(done++, total, target.getPath());
        record(Manifest.Kind.DIRECTORY, staging, true);
        // A name that was there is not the kit's: recover() removed its own.
        Files.createDirectory(staging.toPath());
        Modes.set(staging.toPath(), 0700);
        for (Plan.Action a : plan.inside) {
            progress.made(done++, total, a.path.getPath());
            make(a, staged(a.path), true);
        }
        progress.made(done, total, "");
        synchronized (this) {
            if (stopped) {
                throw new Cancelled();
            }
        }
    }

    /** Makes a at where. */
    private void make(Plan.Action a, File where, boolean cancellable) throws IOException, Cancelled {
        record(a.entryKind(), where, cancellable);
        Path p = where.toPath();
        try {
            switch (a.kind) {
                case DIRECTORY:
                    Files.createDirectory(p);
                    // Writable by the installer until everything is in it.
                    Modes.set(p, 0700);
                    break;
                case MANIFEST:
                    plan.manifest().write(where);
                    Modes.set(p, a.mode);
                    break;
                case COPY:
                    write(p, a.source.toPath(), null);
                    Modes.set(p, a.mode);
                    break;
                case TEXT:
                    write(p, null, a.bytes);
                    Modes.set(p, a.mode);
                    break;
                default:
                    Files.createSymbolicLink(p, Paths.get(a.link));
                    break;
            }
        } catch (FileAlreadyExistsException | AccessDeniedException e) {
            throw e;
        } catch (IOException e) {
            throw onFileSystem(a.path, where, e);
        }
    }

    /** A new file at p (never through a link or over an entry there) of source's bytes or of bytes. */
    private static void write(Path p, Path source, byte[] bytes) throws IOException {
        try (OutputStream out = Files.newOutputStream(p, StandardOpenOption.CREATE_NEW)) {
            if (bytes != null) {
                out.write(bytes);
                return;
            }
            try (InputStream in = Files.newInputStream(source)) {
                byte[] buffer = new byte[65536];
                for (int n; (n = in.read(buffer)) > 0;) {
                    out.write(buffer, 0, n);
                }
            }
        }
    }

    /** A write that failed, said of the file the user chose and of its file system (a full disk, most often). */
    private static IOException onFileSystem(File path, File where, IOException e) {
        String reason = e instanceof FileSystemException && ((FileSystemException) e).getReason() != null
                ? ((FileSystemException) e).getReason() : e.getMessage();
        try {
            FileStore store = Files.getFileStore(where.getParentFile().toPath());
            reason += " (file system " + store + ", " + store.getUsableSpace() + " bytes free)";
        } catch (IOException ignored) {
            // The reason alone, then.
        }
        return new FileSystemException(path.getPath(), null, reason);
    }

    /**
     * Puts staging in target's place and makes what lies outside it, then
     * removes the earlier installation. A failure or a cancel before that
     * puts everything back; once the earlier installation is being
     * removed, a signal waits for the end.
     */
    private void commit() throws IOException, Cancelled {
        boolean swapped = false;
        boolean moved = false;
        try {
            if (here != null) {
                Trees.moveForeign(target.toPath(), staging.toPath(), here.manifest.paths());
            }
            setDirectoryModes();
            if (Files.exists(target.toPath(), LinkOption.NOFOLLOW_LINKS)) {
                Files.move(target.toPath(), old.toPath(), StandardCopyOption.ATOMIC_MOVE);
                moved = true;
            }
            Files.move(staging.toPath(), target.toPath(), StandardCopyOption.ATOMIC_MOVE);
            swapped = true;
            for (Plan.Action a : new ArrayList<Plan.Action>(plan.outside)) {
                synchronized (this) {
                    if (stopped) {
                        throw new Cancelled();
                    }
                }
                makeOutside(a);
            }
            synchronized (this) {
                if (stopped) {
                    throw new Cancelled();
                }
                // From here on the earlier installation goes: a signal waits for the end.
                made.clear();
            }
        } catch (IOException | Cancelled e) {
            if (swapped) {
                Files.move(target.toPath(), staging.toPath(), StandardCopyOption.ATOMIC_MOVE);
            }
            if (moved) {
                Files.move(old.toPath(), target.toPath(), StandardCopyOption.ATOMIC_MOVE);
            }
            if (here != null) {
                Trees.moveForeign(staging.toPath(), target.toPath(), rebased(plan.manifest().paths(), target, staging));
            }
            throw e;
        }
        Set<File> mine = plan.manifest().paths();
        if (here != null) {
            removeOld(here.manifest, mine);
        } else if (moved) {
            Trees.remove(old.toPath());
        }
        if (elsewhere != null) {
            elsewhere.manifest.removeAll(elsewhere.directory(), mine);
        }
        DesktopCaches.update(Manifest.outside(plan.manifest().entries, target));
    }

    /** The earlier installation, now at old: what it made outside that this one didn't, and its tree. */
    private void removeOld(Manifest earlier, Set<File> mine) {
        List<Manifest.Entry> rest = new ArrayList<Manifest.Entry>();
        for (Manifest.Entry e : earlier.entries) {
            if (Plan.below(e.path, target)) {
                rest.add(e.rebased(target, old));
            } else if (!mine.contains(e.path) && !Plan.below(target, e.path)) {
                rest.add(e);
            }
        }
        List<Manifest.Entry> outside = Manifest.outside(rest, old);
        Manifest.remove(outside, outside.size());
        rest.removeAll(outside);
        rest.add(0, new Manifest.Entry(Manifest.Kind.DIRECTORY, old));
        Manifest.remove(rest, rest.size());
        if (Files.exists(old.toPath(), LinkOption.NOFOLLOW_LINKS)) {
            notes.add(texts.get("earlier.left", old));
        }
    }

    private static Set<File> rebased(Set<File> paths, File from, File to) {
        Set<File> r = new HashSet<File>();
        for (File f : paths) {
            r.add(new Manifest.Entry(Manifest.Kind.FILE, f).rebased(from, to).path);
        }
        return r;
    }

    /**
     * Makes a thing outside the tree, replacing the earlier installation's
     * one of that name by a rename, never anything else that is there.
     */
    private void makeOutside(Plan.Action a) throws IOException {
        Path p = a.path.toPath();
        boolean earlier = here != null && here.manifest.paths().contains(a.path)
                || elsewhere != null && elsewhere.manifest.paths().contains(a.path);
        if (a.kind == Plan.Kind.DIRECTORY) {
            if (!Files.isDirectory(p, LinkOption.NOFOLLOW_LINKS)) {
                made(a, a.path);
                Files.createDirectory(p);
                Modes.set(p, a.mode);
            }
            return;
        }
        boolean there = Files.exists(p, LinkOption.NOFOLLOW_LINKS);
        if (there && !earlier) {
            if (a.refusal != null) {
                // Made by somebody else since the plan: theirs, neither to undo nor to uninstall.
                notes.add(a.refusal);
                plan.outside.remove(a);
                Files.delete(Manifest.of(target).toPath());
                plan.manifest().write(Manifest.of(target));
                Modes.set(Manifest.of(target).toPath(), 0644);
                return;
            }
            throw new FileAlreadyExistsException(p.toString());
        }
        File temporary = new File(a.path.getParentFile(), "." + a.path.getName() + ".bramlet-new");
        Files.deleteIfExists(temporary.toPath());
        try {
            make(a, temporary, false);
        } catch (Cancelled e) {
            throw new IllegalStateException(e);
        }
        synchronized (this) {
            made.remove(made.size() - 1);
        }
        // What replaces the earlier installation's stays on an undo: it starts the same installation.
        if (!there) {
            made(a, a.path);
        }
        Files.move(temporary.toPath(), p, StandardCopyOption.ATOMIC_MOVE, StandardCopyOption.REPLACE_EXISTING);
    }

    private void made(Plan.Action a, File path) {
        synchronized (this) {
            made.add(new Manifest.Entry(a.entryKind(), path));
        }
    }

    private void setDirectoryModes() throws IOException {
        for (int i = plan.inside.size() - 1; i >= 0; i--) {
            Plan.Action a = plan.inside.get(i);
            if (a.kind == Plan.Kind.DIRECTORY) {
                Modes.set(staged(a.path).toPath(), a.mode);
            }
        }
        Modes.set(staging.toPath(), 0755);
        for (Plan.Action a : plan.around) {
            Modes.set(a.path.toPath(), a.mode);
        }
    }

    /** Removes what this run made, the last first. */
    private synchronized void undo() {
        Manifest.remove(made, made.size());
        made.clear();
    }

    /**
     * Puts right what a run that was killed left: the earlier installation
     * back in its place when the swap was cut short, the rest of it removed
     * when the swap was made, and a tree half-made beside the target.
     */
    private void recover() throws IOException, Failure {
        for (File f : new File[] {old, staging}) {
            if (Files.exists(f.toPath(), LinkOption.NOFOLLOW_LINKS)
                    && (!Files.isDirectory(f.toPath(), LinkOption.NOFOLLOW_LINKS) || Trust.changeable(f) != null
                    || (Integer) Files.getAttribute(f.toPath(), "unix:uid", LinkOption.NOFOLLOW_LINKS) != Trust.uid())) {
                throw new Failure(texts.get("error.changeable", target, f));
            }
        }
        boolean targetThere = Files.exists(target.toPath(), LinkOption.NOFOLLOW_LINKS);
        if (Files.exists(old.toPath(), LinkOption.NOFOLLOW_LINKS)) {
            if (!targetThere) {
                Files.move(old.toPath(), target.toPath(), StandardCopyOption.ATOMIC_MOVE);
                targetThere = true;
            } else {
                Manifest earlier = Manifest.read(Manifest.of(old));
                EarlierInstallation now = EarlierInstallation.in(target, product.name);
                if (earlier != null) {
                    removeOld(earlier, now != null ? now.manifest.paths() : new HashSet<File>());
                } else {
                    Trees.remove(old.toPath());
                }
            }
        }
        if (Files.exists(staging.toPath(), LinkOption.NOFOLLOW_LINKS)) {
            Manifest half = Manifest.read(Manifest.of(staging));
            if (half != null && targetThere) {
                Trees.moveForeign(staging.toPath(), target.toPath(), rebased(half.paths(), target, staging));
            }
            Trees.remove(staging.toPath());
        }
    }

    /** An I/O failure as one line: what failed and why. */
    static String describe(IOException e) {
        if (e instanceof AccessDeniedException) {
            return ((AccessDeniedException) e).getFile() + ": permission denied";
        }
        if (e instanceof FileSystemException) {
            FileSystemException f = (FileSystemException) e;
            return f.getFile() + (f.getReason() != null ? ": " + f.getReason() : "");
        }
        return e.getMessage();
    }
}
