#include "archive/unzip.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>

#include "archive/zip_builder.h"
#include "support/child.h"

namespace {

using test::Entry;

// The tree below root in path order, as "directory/ file=content link@".
std::string Listing(const std::string& root) {
  std::string out;
  for (const auto& [path, content] : test::ReadTree(root))
    out += " " + path + (content == "<dir>" ? "/" : content == "<link>" ? "@" : "=" + content);
  return out.empty() ? "" : out.substr(1);
}

std::string Archive(const test::ScratchDir& dir, const std::vector<test::ZipEntryLayout>& entries,
                    const std::string& name = "a.zip") {
  return test::WriteEntries(dir / name, entries);
}

// Makes what a listing describes below dir, with "name@target" for a
// symbolic link.
void Populate(const test::ScratchDir& dir, const std::string& listing) {
  std::istringstream words(listing);
  for (std::string word; words >> word;) {
    size_t at = word.find_first_of("=@");
    if (at == std::string::npos) {
      dir.MakeDir(word);
    } else if (word[at] == '=') {
      dir.Write(word.substr(0, at), word.substr(at + 1));
    } else {
      symlink(word.substr(at + 1).c_str(), (dir / word.substr(0, at)).c_str());
    }
  }
}

TEST(UnzipFiles, WritesEntriesInOrderAndStopsAtTheFirstThatFails) {
  test::ZipEntryLayout unreadable = Entry("two", "2"), stored = Entry("s", "data", 0),
                       deflated = Entry("d", "data"), sized = Entry("b.bin", "\x01\x02\x03", 0);
  unreadable.localOffset = 3;  // no local header there
  sized.compressedSize = 77;   // means nothing for a stored entry
  // A flipped byte, in a stored deflate block for the deflated entry so that
  // the stream stays valid: their CRC-32 no longer matches.
  stored.compressed = "dat4";
  deflated.compressed = test::StoredBlock("dat4");
  // What stands in "out" before, the entries of an archive behind foreign
  // bytes, UnzipFiles' result and what stands in "out" after.
  const std::tuple<const char*, std::vector<test::ZipEntryLayout>, const char*, const char*> cases[] = {
      // clang-format off
      {"", {Entry("top.class", "cafebabe"), Entry("lib/", ""), Entry("lib/a/a.jar", "jar"), sized,
            Entry("empty", "", 0), Entry("a/b/", "")},
       "1", "a/ a/b/ b.bin=\x01\x02\x03 empty= lib/ lib/a/ lib/a/a.jar=jar top.class=cafebabe"},
      {"", {}, "1", ""},
      // A file and a dangling link where directories are needed: the link is
      // no directory to stat, so it stays and b/c fails.
      {"out/a=file out/b@/nonexistent", {Entry("a/b", "in"), Entry("b/c", "through"), Entry("x", "file"),
                                         Entry("x/y", "below")},
       "0", "a/ a/b=in b@"},
      // A file of the extraction itself where a directory is needed.
      {"", {Entry("a/b", "in"), Entry("x", "file"), Entry("x/y", "below")}, "1", "a/ a/b=in x/ x/y=below"},
      {"out=file", {Entry("f", "content")}, "1", "f=content"},
      // A directory, then a link, at an output path.
      {"out/taken/", {Entry("first", "1"), Entry("taken", "2"), Entry("later", "3")}, "0", "first=1 taken/"},
      {"out/target=kept out/f@target", {Entry("f", "written")}, "0", "f@ target=kept"},
      // Siblings with common prefixes, then a file over a directory.
      {"", {Entry("a/b/c", "1"), Entry("a/bc/d", "2"), Entry("a/b", "3"), Entry("ab/x", "4")},
       "0", "a/ a/b/ a/b/c=1 a/bc/ a/bc/d=2"},
      {"", {Entry("a/b/c", "1"), Entry("a/bc/d", "2"), Entry("ab/x", "4"), Entry("a/b/e", "5"), Entry("a/f", "6")},
       "1", "a/ a/b/ a/b/c=1 a/b/e=5 a/bc/ a/bc/d=2 a/f=6 ab/ ab/x=4"},
      // Dots that are no parent component, and an absolute name.
      {"", {Entry("..a", "1"), Entry("a../b", "2"), Entry("./c", "3"), Entry("d/.../e", "4"), Entry("/abs/f", "5")},
       "1", "..a=1 a../ a../b=2 abs/ abs/f=5 c=3 d/ d/.../ d/.../e=4"},
      // A later entry of the same name replaces the whole file.
      {"", {Entry("dup", std::string(50, 'L')), Entry("dup", "short", 0), Entry("gone", std::string(50, 'L')),
            Entry("gone", "", 0)},
       "1", "dup=short gone="},
      // An unreadable local header ends the extraction quietly.
      {"", {Entry("one", "1"), unreadable, Entry("three", "3")}, "1", "one=1"},
      // Damaged data fails its entry, left as far as it was written.
      {"", {Entry("good", "g"), stored, Entry("later")}, "0", "good=g s=dat4"},
      {"", {Entry("good", "g"), deflated, Entry("later")}, "0", "d=dat4 good=g"},
      // clang-format on
  };
  for (const auto& [before, entries, result, after] : cases) {
    test::ScratchDir dir;
    Populate(dir, before);
    test::ZipLayout layout;
    layout.prefix = "#!launcher\n";
    layout.entries = entries;
    std::string out = dir / "out";
    EXPECT_EQ(test::Unzip(test::WriteArchive(dir / "a.zip", layout.Build()), out), result) << after;
    EXPECT_EQ(Listing(out), after);
    EXPECT_EQ(access(out.c_str(), F_OK) == 0, *after != '\0') << after;
  }
}

TEST(UnzipFiles, GivesEverythingMode0700WhateverTheMask) {
  test::ScratchDir dir;
  std::string zip = Archive(dir, {Entry("d/e/f", "x")});
  EXPECT_EQ(test::InChild([&] {
              umask(0);
              return test::Unzip(zip, dir / "out");
            }),
            "1");
  for (const char* p : {"out", "out/d", "out/d/e", "out/d/e/f"}) {
    struct stat st;
    ASSERT_EQ(stat((dir / p).c_str(), &st), 0) << p;
    EXPECT_EQ(st.st_mode & 07777, 0700u) << p;
  }
}

TEST(UnzipFiles, PrefixSelectsByBytesAndWritesFullNames) {
  test::ScratchDir dir;
  std::string zip = Archive(
      dir, {Entry("setup.class", "main"), Entry("package/jre/bin/java", "java"),
            Entry("package/jre-extra/x", "extra"), Entry("package/lib.so", "lib"), Entry("package/", "")});
  EXPECT_EQ(test::Unzip(zip, dir / "jre", "package/jre"), "1");
  EXPECT_EQ(Listing(dir / "jre"),
            "package/ package/jre/ package/jre-extra/ package/jre-extra/x=extra package/jre/bin/ "
            "package/jre/bin/java=java");
  EXPECT_EQ(test::Unzip(zip, dir / "all", ""), "1");
  EXPECT_EQ(test::ReadTree(dir / "all").size(), 8u);
  EXPECT_FALSE(UnzipFiles(nullptr, (dir / "out").c_str(), nullptr));
  // A prefix longer than every name selects nothing.
  EXPECT_EQ(test::Unzip(zip, dir / "none", "package/jre/bin/java/more"), "1");
  EXPECT_NE(access((dir / "none").c_str(), F_OK), 0);
}

TEST(UnzipFiles, RefusesNamesWithParentComponentsBeforeCreatingAnything) {
  test::ScratchDir archives;
  for (const char* name : {"..", "../evil", "a/../../evil", "a/b/..", "ok/../../../evil/x/"}) {
    test::ScratchDir dir;
    dir.MakeDir("out");
    std::string zip = Archive(archives, {Entry("fine", "1"), Entry(name, "evil"), Entry("later", "2")});
    EXPECT_EQ(test::Unzip(zip, dir / "out/dest"), "0") << name;
    EXPECT_EQ(Listing(dir.path()), "out/ out/dest/ out/dest/fine=1") << name;
  }
}

TEST(UnzipFiles, SplitsNamesWhereTheLocaleSeesASeparator) {
  if (!test::HaveLocale("ja_JP.eucJP")) return;
  test::ScratchDir dir;
  // "日本/x" in EUC-JP: the separator after two two-byte characters.
  std::string zip = Archive(dir, {Entry("\xc6\xfc\xcb\xdc/x", "eucjp")});
  EXPECT_EQ(test::Unzip(zip, dir / "out", nullptr, "ja_JP.eucJP"), "1");
  EXPECT_EQ(Listing(dir / "out"), "\xc6\xfc\xcb\xdc/ \xc6\xfc\xcb\xdc/x=eucjp");
  // No character begins at a "/" behind an invalid sequence, so no directory
  // is made for it and the file can't be opened.
  std::string bad = Archive(dir, {Entry("a\xff/b", "never")}, "bad.zip");
  EXPECT_EQ(test::Unzip(bad, dir / "bad", nullptr, "ja_JP.eucJP"), "0");
  EXPECT_EQ(Listing(dir / "bad"), "");
}

}  // namespace
