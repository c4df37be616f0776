"""Payloads written field by field: what the launcher extracts into its
working directory, what it refuses as damaged, and what mksetup --verify
and --list say of the same files."""

import hashlib
import os
import random
import subprocess
import unittest

import harness
from harness import entry, zip_archive

CORRUPTED = "Error: The '/%s' file appears to be corrupted.\n"


def tree(root):
    """The files below root as "path=content" or "dir/", bytes as latin-1."""
    found = []
    for path, dirs, files in os.walk(root.encode()):
        for name in dirs + files:
            full = os.path.join(path, name)
            rel = os.path.relpath(full, root.encode()).decode("latin-1")
            if os.path.isdir(full):
                found.append(rel + "/")
            else:
                with open(full, "rb") as f:
                    found.append(rel + "=" + f.read().decode("latin-1"))
    return " ".join(sorted(found))


class Payloads(unittest.TestCase):
    def setUp(self):
        self.dir = harness.Scratch()
        self.addCleanup(self.dir.cleanup)
        self.java = harness.java(self.dir / "java")
        self.java_conf = {}
        self.count = 0

    def extract(self, entries, lang=None, archive=None, **layout):
        """Runs the launcher on a payload with its main class last. Returns
        the run and what was extracted: as the runtime found it when it ran
        (the main class left out), else what a failed extraction left."""
        self.count += 1
        tmp, copy = self.dir.mkdir("tmp%d" % self.count), self.dir / ("copy%d" % self.count)
        if archive is None:
            archive = zip_archive(entries + [entry("bramlet.class", "main")], **layout)
        setup = harness.installer(self.dir / ("setup%d" % self.count), archive=archive)
        harness.java(self.java, copy=copy, **self.java_conf)
        r = harness.run(["-console", "-tmpdir", tmp], program=setup, env={"JAVA_HOME": self.java, "LANG": lang})
        work = os.listdir(tmp)
        self.assertLessEqual(len(work), 1, "written beside the working directory: %r" % work)
        if os.path.exists(copy):
            os.unlink(os.path.join(copy, "bramlet.class"))
            return r, tree(copy)
        return r, tree(os.path.join(tmp, work[0])) if work else None

    def verify(self, entries, **layout):
        """mksetup --verify of an installer of that payload: its status and
        what it printed."""
        setup = harness.installer(self.dir / "verified", archive=zip_archive(entries, **layout))
        r = harness.run(["--verify", setup], program=harness.MKSETUP)
        return r.status, (r.stdout + r.stderr).decode().replace(setup + ": ", "")

    def test_extraction_writes_every_entry_where_its_name_leads(self):
        cases = (
            ([entry("top", "t"), entry("lib/", method=0), entry("lib/a/a.jar", "jar"), entry("empty", method=0),
              entry("b.bin", b"\x01\x02", 0, csize=77), entry("a/b/", method=0)],
             "a/ a/b/ b.bin=\x01\x02 empty= lib/ lib/a/ lib/a/a.jar=jar top=t"),
            # A file of the extraction itself where a directory is needed is replaced.
            ([entry("a/b", "in"), entry("x", "file"), entry("x/y", "below")], "a/ a/b=in x/ x/y=below"),
            ([entry("a/b/c", "1"), entry("a/bc/d", "2"), entry("ab/x", "3"), entry("a/b/e", "4")],
             "a/ a/b/ a/b/c=1 a/b/e=4 a/bc/ a/bc/d=2 ab/ ab/x=3"),
            # Dots that are no parent component, and an absolute name, stay inside.
            ([entry("..a", "1"), entry("a../b", "2"), entry("./c", "3"), entry("d/.../e", "4"), entry("/abs/f", "5")],
             "..a=1 a../ a../b=2 abs/ abs/f=5 c=3 d/ d/.../ d/.../e=4"),
            # A later entry of the same name replaces the whole file.
            ([entry("dup", "L" * 50), entry("dup", "short", 0)], "dup=short"),
        )
        for entries, extracted in cases:
            r, found = self.extract(entries)
            self.assertEqual((r.status, r.stderr.decode(), found), (0, "", extracted))
        # Everything mode 0700, whatever the file-creation mask.
        tmp, copy = self.dir.mkdir("masked"), self.dir / "masked-copy"
        setup = harness.installer(self.dir / "masked-setup", files={"d/e/f": "x"})
        script = "umask 0; exec %s -console -tmpdir %s" % (setup, tmp)
        harness.java(self.java, copy=copy)
        self.assertEqual(harness.run(["-c", script], program="/bin/sh", env={"JAVA_HOME": self.java}).status, 0)
        for path in ("", "d", "d/e", "d/e/f"):
            self.assertEqual(os.stat(os.path.join(copy, path)).st_mode & 0o7777, 0o700, path)

    def test_a_damaged_index_or_local_header_is_a_corrupted_payload(self):
        # Beside the launcher, an installer class that must not run instead.
        self.dir.write("bramlet.class", "planted")
        log = self.dir / "log"
        self.java_conf = {"log": log}
        whole = zip_archive([entry("x"), entry("bramlet.class", "main")])
        for entries, layout in (
                # An end record whose central directory can't be indexed: a
                # wrong size or offset, a wrong signature, the ZIP64 markers.
                ([entry("a")], dict(cen_size=0x7FFFFFF0)), ([entry("a")], dict(cen_offset=0xFFFFFFFF)),
                ([entry("a")], dict(cen_tail=b"\0" * 46, count=3)), ([], dict(count=0xFFFF)),
                # Sizes of 2 GiB and more, which would cancel others in the free-space check.
                ([entry("big", "x" * 1000, 0), entry("a", size=0xFF000000)], {}),
                ([entry("a", "data", csize=0xFFFFFFFF)], {}),
                # A local header that can't be read: nothing is extracted at all.
                ([entry("one", "1"), entry("two", "2", offset=3), entry("three", "3")], {}),
                # Bytes behind the launcher's image that are no archive: a
                # download cut short, stray bytes behind a whole archive.
                (None, dict(archive=whole[:len(whole) // 2])), (None, dict(archive=whole + b"x"))):
            r, found = self.extract(entries, **layout)
            self.assertEqual((r.status, r.stderr.decode(), found in (None, "")),
                             (1, CORRUPTED % (self.dir / ("setup%d" % self.count)), True), layout)
        self.assertEqual(harness.read_log(log), [])
        # With nothing behind its image, the launcher runs what stands beside it.
        self.assertEqual(self.extract(None, archive=b"")[0].status, 0)
        self.assertEqual(len(harness.read_log(log)), 2)

    def test_damaged_data_and_unsafe_names_are_corrupted_payloads(self):
        data = "x" * 5000 + "end"
        packer = harness.zlib.compressobj(6, harness.zlib.DEFLATED, -15)
        packed = packer.compress(data.encode()) + packer.flush()
        # A stored deflate block: a stream that never ends.
        unfinished = b"\0" + len(data).to_bytes(2, "little") + (0xFFFF ^ len(data)).to_bytes(2, "little") + data.encode()
        # The damaged entry, and what is left of its file; None: no damage.
        cases = (
            # A few bytes after the end of the stream, or no end at all, are fine.
            (entry("e", data, raw=packed + b"junk"), None),
            (entry("e", data, raw=unfinished), None),
            # Another CRC-32, stored or deflated.
            (entry("e", data, 0, crc=7), data),
            (entry("e", data, raw=unfinished, crc=7), data),
            # Inflating to less, or more, than the size; a stream that ends
            # before its bytes do; no deflate data at all.
            (entry("e", data, size=6000), ""),
            (entry("e", data, raw=unfinished, size=4000), ""),
            (entry("e", data, raw=packed + b"\0" * 100000), ""),
            (entry("e", data, raw=b"\xff\xff\xff\xff garbage"), ""),
        )
        for damaged, left in cases:
            r, found = self.extract([entry("first", "1"), damaged, entry("later", "2")])
            if left is None:
                self.assertEqual((r.stderr.decode(), found), ("", "e=%s first=1 later=2" % data))
            else:
                self.assertEqual((r.status, r.stderr.decode(), found),
                                 (1, CORRUPTED % (self.dir / ("setup%d" % self.count)), "e=%s first=1" % left),
                                 {k: v for k, v in damaged.items() if k not in ("data", "raw")})
        # A stored entry whose size runs past the end of the file.
        r, found = self.extract([entry("first", "1"), entry("e", data, 0, size=10**6, csize=10**6)])
        self.assertEqual((r.status, r.stderr.decode(), found[:len(data) + 2], found[-8:]),
                         (1, CORRUPTED % (self.dir / ("setup%d" % self.count)), "e=" + data, " first=1"))
        # Nothing is made for a name with a parent component, nor for a file
        # where a directory stands.
        for entries, left in (([entry("first", "1"), entry("a/../../evil", "x")], "first=1"),
                              ([entry("e/", method=0), entry("e", "file")], "e/")):
            r, found = self.extract(entries + [entry("later", "2")])
            self.assertEqual((r.stderr.decode(), found), (CORRUPTED % (self.dir / ("setup%d" % self.count)), left))

    def test_names_of_one_file_in_any_spelling_leave_it_as_the_last_one_wrote_it(self):
        """The spellings of a name are one file, which holds the last entry's
        bytes as one thread writing in archive order leaves it, with entries
        large enough that the threads write several at once."""
        spellings = ("a/b", "a/./b", "a//b", "./a/b") * 2
        # The later the larger, so that taking the largest files first
        # begins with the last; and all of one size, taken as they come.
        sizes = ((300000, 1100000, 1200000, 1300000, 400000, 1400000, 1500000, 2000000), (1500000,) * 8)
        entries, extracted = [], []
        for n, row in enumerate(sizes):
            for k, (spelled, size) in enumerate(zip(spellings, row)):
                data = (b"%d.%d-" % (n, k) * size)[:size]
                entries.append(entry(spelled.replace("a", "d%d" % n, 1), data))
            extracted += ["d%d/" % n, "d%d/b=%s" % (n, data.decode())]
        r, found = self.extract(entries)
        self.assertEqual((r.status, r.stderr.decode()), (0, ""))
        # Files by their first bytes, length and digest.
        brief = lambda t: [(i[:10], len(i), hashlib.sha1(i.encode("latin-1")).hexdigest()[:8]) for i in t.split()]
        self.assertEqual(brief(found), brief(" ".join(extracted)))
        # Another spelling where a file of the same extraction stands needs a directory.
        for entries, extracted in (([entry("c/x", "file"), entry("c//x/y", "below")], "c/ c/x/ c/x/y=below"),
                                   ([entry("d/x", "file"), entry("./d/./x/", method=0)], "d/ d/x/")):
            r, found = self.extract(entries)
            self.assertEqual((r.status, r.stderr.decode(), found), (0, "", extracted))

    def test_a_bundled_runtime_is_its_files_in_any_spelling(self):
        """The runtime extracted first and chosen is the one that runs, with
        the last entry of each of its files, whatever spellings its names
        have."""
        with open(harness.STAND_IN, "rb") as f:
            stand_in = f.read()
        for n, library in enumerate(("package/jre/lib/%s/libjava.so", "package//jre/lib/%s/libjava.so")):
            log = self.dir / ("log%d" % n)
            archive = zip_archive([entry("./package/jre/bin/java", "#!/bin/sh\nexit 3\n"),
                                   entry("package/jre/bin/java", stand_in),
                                   entry("package/jre/bin/java.conf", "log=%s\n" % log),
                                   entry(library % harness.ARCH), entry("bramlet.class", "main")])
            setup = harness.installer(self.dir / ("bundled%d" % n), archive=archive)
            r = harness.run(["-console", "-tmpdir", self.dir.mkdir("tmp%d" % n)], program=setup)
            self.assertEqual((r.status, r.stderr), (0, b""), (library, r))
            run = harness.java_run(log)
            self.assertEqual(run["arg"][0], run["cwd"] + "/package/jre/bin/java")

    def test_names_split_where_the_locale_sees_a_separator(self):
        # "日本/x" in EUC-JP: the separator after two two-byte characters.
        r, found = self.extract([entry(b"\xc6\xfc\xcb\xdc/x", "eucjp")], lang="ja_JP.eucJP")
        self.assertEqual(found, "\xc6\xfc\xcb\xdc/ \xc6\xfc\xcb\xdc/x=eucjp")
        # A name in another encoding (UTF-8 "à" is no EUC-JP): its bytes
        # count one by one, and its separators are found.
        r, found = self.extract([entry("voil\xe0/x", "utf-8")], lang="ja_JP.eucJP")
        self.assertEqual(found, "voil\xc3\xa0/ voil\xc3\xa0/x=utf-8")

    def test_archives_of_real_tools_extract_as_unzip_extracts_them(self):
        d = self.dir
        # Files on both sides of the reader's buffer sizes, empty ones, a deep path and UTF-8 names. The
        # zeros fill the output buffer just as the last input is taken, with 21 bytes still to come.
        files = {"Main.class": b"\xca\xfe\xba\xbe", "empty": b"", "a/b/c/d/e/f/deep.txt": b"deep",
                 "text-64k+1": bytes(range(97, 123)) * 2521, "random-256k+1": random.Random(2).randbytes(262145),
                 "zeros-256k+21": bytes(262165), "text-1m": b"line\n" * 209715,
                 "\u00e9t\u00e9/\u65e5\u672c.txt": b"utf-8 names"}
        for name, data in dict(files, **{"bramlet.class": b"main"}).items():
            d.write("src/" + name, data)
        d.mkdir("src/empty-dir")
        launcher = os.path.getsize(harness.LAUNCHER)
        # Written to a pipe, zip can't seek back: sizes follow the data. A
        # self-extractor made by zip -A has absolute offsets. jar records its
        # names as made on MS-DOS, which unzip converts: it gets ASCII names only.
        for tool, command in (("a.zip", "zip -qr $A ."), ("streamed.zip", "zip -qr - . | cat > $A"),
                              ("sfx", "zip -qr $A.zip . && cat %s $A.zip > $A && zip -qA $A" % harness.LAUNCHER),
                              ("a.jar", "rm -r \u00e9t\u00e9 && jar cf $A .")):
            archive = d / tool
            subprocess.run(command, shell=True, check=True, cwd=d / "src",
                           env={"A": archive, "PATH": harness.TOOLS_PATH})
            subprocess.run(["unzip", "-qq", archive, "-d", d / (tool + ".unzip")], env={"LC_ALL": "C.UTF-8"})
            with open(archive, "rb") as f:
                data = f.read()[launcher if tool == "sfx" else 0:]
            # A single-byte locale: the walk splits the UTF-8 names at every "/".
            r, found = self.extract(None, lang="de_DE", archive=data)
            os.unlink(d / (tool + ".unzip") / "bramlet.class")
            self.assertEqual((r.stderr.decode(), found), ("", tree(d / (tool + ".unzip"))), tool)

    def test_verify_finds_the_end_record_only_where_the_launcher_does(self):
        ok = "1 entry intact, 0 bytes\n"
        one = [entry("x")]
        # The end record begins within the file's last 65,535 bytes and, with
        # its comment, reaches exactly to the end; among several, the nearest
        # to the end wins.
        for length, found in ((0, True), (65535 - 22, True), (65535 - 40, True), (65535 - 21, False)):
            self.assertEqual(self.verify(one, comment=b"c" * length)[1] == ok, found, length)
        self.assertEqual(self.verify(one, comment=b"c" + zip_archive([])), (0, "0 entries intact, 0 bytes\n"))
        damaged = (1, "mksetup: a damaged archive at its end, which the launcher refuses\n")
        self.assertEqual(self.verify(one, count=2), damaged)
        self.assertEqual(self.verify(one, trailing=b"x"), damaged)
        r = harness.run(["--verify", harness.LAUNCHER], program=harness.MKSETUP)
        self.assertEqual((r.status, r.stderr.decode().replace(harness.LAUNCHER + ": ", "")),
                         (1, "mksetup: no archive the launcher can read at its end\n"))

    def test_verify_refuses_what_the_central_directory_gets_wrong(self):
        raw = b"PK\x01\x02" + b"\0" * 24 + b"\x0a\0" + b"\0" * 16  # a name of 10 bytes, and nothing behind
        damaged = (1, "mksetup: a damaged archive at its end, which the launcher refuses\n")
        two = [entry("a"), entry("b")]
        for layout in (dict(cen_size=0x7FFFFFF0), dict(cen_size=0x80000000), dict(cen_offset=0x7FFFFFF0),
                       dict(cen_offset=0xFFFFFFF0), dict(count=5), dict(cen_tail=b"\0" * 46, count=3),
                       dict(cen_tail=raw[:45], count=3), dict(cen_tail=raw + b"123456789", count=3)):
            self.assertEqual(self.verify(two, prefix=b"p" * 200, **layout), damaged, layout)
        for fields in (dict(flags=1), dict(method=12)):
            self.assertEqual(self.verify([entry("a"), entry("b", **fields)]), damaged, fields)
        # 65,534 entries at most, since 0xFFFF ends the hash chains.
        self.assertEqual(self.verify([entry(str(i), method=0) for i in range(65534)])[0], 0)
        self.assertEqual(self.verify([], cen_tail=b"\0" * 65535 * 46, count=65535), damaged)

    def test_verify_and_list_read_entries_as_the_launcher_does(self):
        setup = harness.installer(self.dir / "listed", archive=zip_archive(
            [entry("central", "data", 0, local_name=b"local", local_extra=b"x" * 300), entry("both", "b",
             central_extra=b"CENTRAL", local_extra=b"loc"), entry("n" * 65535, "big", 0, central_extra=b"e" * 65535)]))
        r = harness.run(["--list", setup], program=harness.MKSETUP)
        self.assertEqual([line.split()[-1][:8] for line in r.stdout.decode().splitlines()[:-1]],
                         ["local", "both", "n" * 8])
        self.assertEqual(harness.run(["--verify", setup], program=harness.MKSETUP).status, 0)
        cases = ((dict(offset=1 << 30), "couldn't read LOC header"), (dict(offset=1), "invalid LOC header (bad signature)"),
                 (dict(offset=0x80000000), "seek failed"))
        for fields, why in cases:
            self.assertEqual(self.verify([entry("first", "1"), entry("bad", **fields)]),
                             (1, "mksetup: entry 1: %s; the launcher refuses the payload\n" % why))
        # A local header (in the archive's comment) whose own name runs past the end of the file.
        fake = b"PK\x03\x04" + b"\0" * 22 + b"\xff\xff\0\0bad"
        two = lambda offset: [entry("first", "1"), entry("bad", offset=offset)]
        offset = len(zip_archive(two(0), comment=fake)) - len(fake)
        self.assertEqual(self.verify(two(offset), comment=fake),
                         (1, "mksetup: entry 1: couldn't read LOC header; the launcher refuses the payload\n"))
        self.assertEqual(self.verify([entry("fine", "1"), entry("stored", "data", 0, crc=5), entry("../out", "x"),
                                      entry("a", "file"), entry("a/b", "x"), entry("t", "1"), entry("t", "2"),
                                      # The same in other spellings.
                                      entry("s/b", "1"), entry("./s//b", "2"), entry("c", "file"),
                                      entry("./c//d", "x")]),
                         (1, "mksetup: stored: damaged (its data, size or CRC-32 don't match)\n"
                          "mksetup: ../out: a name the launcher refuses to extract\n"
                          "mksetup: t: appears more than once; the last one replaces the others\n"
                          "mksetup: ./s//b: appears more than once; the last one replaces the others\n"
                          "mksetup: a: a file where other entries need a directory\n"
                          "mksetup: c: a file where other entries need a directory\n"))


if __name__ == "__main__":
    unittest.main()
