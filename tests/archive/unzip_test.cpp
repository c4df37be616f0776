#include "archive/unzip.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "archive/zip_builder.h"
#include "support/child.h"

namespace {

using test::Entry;

using Tree = std::map<std::string, std::string>;

// Extracts the archive at path into destination in a child process (the
// multibyte searches put the process under the user's locale) and returns
// UnzipFiles' result, or how the child failed.
std::string Unzip(const std::string& path, const std::string& destination, const char* prefix = nullptr,
                  const char* lang = "C") {
  std::string prefixCopy = prefix ? prefix : "";
  return test::InChild([&] {
    test::UseLocaleEnvironment(lang);
    int error;
    ZipFile* zip = zipOpen(path.c_str(), &error);
    if (zip == nullptr) return "open failed " + std::to_string(error);
    int result = UnzipFiles(zip, destination.c_str(), prefix ? prefixCopy.c_str() : nullptr);
    zipClose(zip);
    return std::to_string(result);
  });
}

std::string Archive(const test::ScratchDir& dir, const std::vector<test::ZipEntryLayout>& entries,
                    const std::string& name = "a.zip") {
  return test::WriteEntries(dir / name, entries);
}

TEST(UnzipFiles, WritesFilesAndDirectoriesInOrder) {
  test::ScratchDir dir;
  std::string zip = Archive(dir, {Entry("top.class", "cafebabe"), Entry("package/", ""),
                                  Entry("package/lib/a.jar", std::string(100000, 'a')),
                                  Entry("package/lib/b.bin", "\x01\x02\x03", 0), Entry("empty", "", 0),
                                  Entry("a/b/", "")});
  EXPECT_EQ(Unzip(zip, dir / "out"), "1");
  EXPECT_EQ(test::ReadTree(dir / "out"), (Tree{{"top.class", "cafebabe"},
                                                {"package", "<dir>"},
                                                {"package/lib", "<dir>"},
                                                {"package/lib/a.jar", std::string(100000, 'a')},
                                                {"package/lib/b.bin", "\x01\x02\x03"},
                                                {"empty", ""},
                                                {"a", "<dir>"},
                                                {"a/b", "<dir>"}}));
}

TEST(UnzipFiles, GivesEverythingMode0700WhateverTheMask) {
  test::ScratchDir dir;
  std::string zip = Archive(dir, {Entry("d/e/f", "x")});
  EXPECT_EQ(test::InChild([&] {
              umask(0);
              return Unzip(zip, dir / "out");
            }),
            "1");
  for (const char* p : {"out", "out/d", "out/d/e", "out/d/e/f"}) {
    struct stat st;
    ASSERT_EQ(stat((dir / p).c_str(), &st), 0) << p;
    EXPECT_EQ(st.st_mode & 07777, 0700u) << p;
  }
}

TEST(UnzipFiles, AnEmptyArchiveCreatesNothing) {
  test::ScratchDir dir;
  test::ZipLayout empty;
  empty.prefix = "prefix bytes";
  std::string zip = test::WriteArchive(dir / "e.zip", empty.Build());
  EXPECT_EQ(Unzip(zip, dir / "out"), "1");
  EXPECT_NE(access((dir / "out").c_str(), F_OK), 0);
}

TEST(UnzipFiles, NullArchiveOrDestinationFails) {
  test::ScratchDir dir;
  std::string zip = Archive(dir, {Entry("x", "x")});
  EXPECT_EQ(test::InChild([&] {
              ZipFile* z = zipOpen(zip.c_str(), nullptr);
              std::string r = std::to_string(UnzipFiles(nullptr, (dir / "out").c_str(), nullptr)) +
                              std::to_string(UnzipFiles(z, nullptr, nullptr));
              zipClose(z);
              return r;
            }),
            "00");
  EXPECT_NE(access((dir / "out").c_str(), F_OK), 0);
}

TEST(UnzipFiles, ReplacesANonDirectoryWhereADirectoryIsNeeded) {
  test::ScratchDir dir;
  dir.Write("out/a", "plain file");
  symlink("/nonexistent", (dir / "out/b").c_str());
  // A file written by the extraction itself is replaced just the same.
  std::string zip = Archive(dir, {Entry("a/b", "inside"), Entry("b/c", "through"), Entry("x", "file"),
                                  Entry("x/y", "below")});
  EXPECT_EQ(Unzip(zip, dir / "out"), "0");
  // The dangling link is no directory to stat, so it stays and b/c fails.
  Tree tree = test::ReadTree(dir / "out");
  EXPECT_EQ(tree, (Tree{{"a", "<dir>"}, {"a/b", "inside"}, {"b", "<link>"}}));

  std::string zip2 = Archive(dir, {Entry("a/b", "inside"), Entry("x", "file"), Entry("x/y", "below")}, "2.zip");
  EXPECT_EQ(Unzip(zip2, dir / "out2"), "1");
  EXPECT_EQ(test::ReadTree(dir / "out2"),
            (Tree{{"a", "<dir>"}, {"a/b", "inside"}, {"x", "<dir>"}, {"x/y", "below"}}));
}

TEST(UnzipFiles, ReplacesAFileStandingAtTheDestination) {
  test::ScratchDir dir;
  dir.Write("out", "not a directory");
  std::string zip = Archive(dir, {Entry("f", "content")});
  EXPECT_EQ(Unzip(zip, dir / "out"), "1");
  EXPECT_EQ(test::ReadTree(dir / "out"), (Tree{{"f", "content"}}));
}

TEST(UnzipFiles, StopsAtADirectoryStandingAtAnOutputPath) {
  test::ScratchDir dir;
  dir.MakeDir("out/taken");
  std::string zip = Archive(dir, {Entry("first", "1"), Entry("taken", "2"), Entry("later", "3")});
  EXPECT_EQ(Unzip(zip, dir / "out"), "0");
  EXPECT_EQ(test::ReadTree(dir / "out"), (Tree{{"first", "1"}, {"taken", "<dir>"}}));
}

TEST(UnzipFiles, DirectoriesOfOneExtractionDoNotMixUpSiblingsWithCommonPrefixes) {
  test::ScratchDir dir;
  std::string zip = Archive(dir, {Entry("a/b/c", "1"), Entry("a/bc/d", "2"), Entry("a/b", "3"),
                                  Entry("ab/x", "4")});
  EXPECT_EQ(Unzip(zip, dir / "out"), "0");
  EXPECT_EQ(test::ReadTree(dir / "out"), (Tree{{"a", "<dir>"},
                                                {"a/b", "<dir>"},
                                                {"a/b/c", "1"},
                                                {"a/bc", "<dir>"},
                                                {"a/bc/d", "2"}}));
  std::string zip2 = Archive(dir, {Entry("a/b/c", "1"), Entry("a/bc/d", "2"), Entry("ab/x", "4"),
                                   Entry("a/b/e", "5"), Entry("a/f", "6")},
                             "2.zip");
  EXPECT_EQ(Unzip(zip2, dir / "out2"), "1");
  EXPECT_EQ(test::ReadTree(dir / "out2"), (Tree{{"a", "<dir>"},
                                                 {"a/b", "<dir>"},
                                                 {"a/b/c", "1"},
                                                 {"a/b/e", "5"},
                                                 {"a/bc", "<dir>"},
                                                 {"a/bc/d", "2"},
                                                 {"a/f", "6"},
                                                 {"ab", "<dir>"},
                                                 {"ab/x", "4"}}));
}

TEST(UnzipFiles, PrefixSelectsByBytesAndWritesFullNames) {
  test::ScratchDir dir;
  std::string zip = Archive(dir, {Entry("setup.class", "main"), Entry("package/jre/bin/java", "java"),
                                  Entry("package/jre-extra/x", "extra"), Entry("package/lib.so", "lib"),
                                  Entry("package/", "")});
  EXPECT_EQ(Unzip(zip, dir / "jre", "package/jre"), "1");
  EXPECT_EQ(test::ReadTree(dir / "jre"), (Tree{{"package", "<dir>"},
                                                {"package/jre", "<dir>"},
                                                {"package/jre/bin", "<dir>"},
                                                {"package/jre/bin/java", "java"},
                                                {"package/jre-extra", "<dir>"},
                                                {"package/jre-extra/x", "extra"}}));
  EXPECT_EQ(Unzip(zip, dir / "all", ""), "1");
  EXPECT_EQ(test::ReadTree(dir / "all").size(), 8u);
  // A prefix longer than every name selects nothing.
  EXPECT_EQ(Unzip(zip, dir / "none", "package/jre/bin/java/more"), "1");
  EXPECT_NE(access((dir / "none").c_str(), F_OK), 0);
}

TEST(UnzipFiles, GrowsThePathBufferForLongPaths) {
  test::ScratchDir dir;
  std::string deep;
  for (int i = 0; i < 12; ++i) deep += std::string(200, static_cast<char>('a' + i)) + "/";
  std::string longer = deep + "end";
  std::string zip = Archive(dir, {Entry("short", "s"), Entry(longer, "deep file"), Entry("after", "a")});
  EXPECT_EQ(Unzip(zip, dir / "out"), "1");
  EXPECT_EQ(test::ReadFile(dir / "out" + "/" + longer), "deep file");
  EXPECT_EQ(test::ReadFile(dir / "out/after"), "a");
}

TEST(UnzipFiles, RefusesNamesWithParentComponentsBeforeCreatingAnything) {
  for (const char* name : {"..", "../evil", "a/../../evil", "a/b/..", "ok/../../../evil/x/"}) {
    test::ScratchDir dir;
    dir.MakeDir("out");
    std::string zip = Archive(dir, {Entry("fine", "1"), Entry(name, "evil"), Entry("later", "2")});
    EXPECT_EQ(Unzip(zip, dir / "out/dest"), "0") << name;
    EXPECT_EQ(test::ReadTree(dir.path()), (Tree{{"a.zip", test::ReadFile(zip)},
                                                {"out", "<dir>"},
                                                {"out/dest", "<dir>"},
                                                {"out/dest/fine", "1"}}))
        << name;
  }
}

TEST(UnzipFiles, AcceptsDotsThatAreNoParentComponent) {
  test::ScratchDir dir;
  std::string zip = Archive(dir, {Entry("..a", "1"), Entry("a../b", "2"), Entry("./c", "3"), Entry("d/.../e", "4"),
                                  Entry("/abs/f", "5")});
  EXPECT_EQ(Unzip(zip, dir / "out"), "1");
  EXPECT_EQ(test::ReadTree(dir / "out"), (Tree{{"..a", "1"},
                                                {"a..", "<dir>"},
                                                {"a../b", "2"},
                                                {"c", "3"},
                                                {"d", "<dir>"},
                                                {"d/...", "<dir>"},
                                                {"d/.../e", "4"},
                                                {"abs", "<dir>"},
                                                {"abs/f", "5"}}));
}

TEST(UnzipFiles, ALaterEntryOfTheSameNameReplacesTheWholeFile) {
  test::ScratchDir dir;
  std::string zip = Archive(dir, {Entry("dup", std::string(5000, 'L')), Entry("dup", "short", 0)});
  EXPECT_EQ(Unzip(zip, dir / "out"), "1");
  EXPECT_EQ(test::ReadFile(dir / "out/dup"), "short");
}

TEST(UnzipFiles, DoesNotWriteThroughALinkAtTheOutputPath) {
  test::ScratchDir dir;
  std::string target = dir.Write("target", "keep me");
  dir.MakeDir("out");
  symlink(target.c_str(), (dir / "out/f").c_str());
  std::string zip = Archive(dir, {Entry("f", "overwritten?")});
  EXPECT_EQ(Unzip(zip, dir / "out"), "0");
  EXPECT_EQ(test::ReadFile(target), "keep me");
}

TEST(UnzipFiles, FailsOnDamagedData) {
  test::ScratchDir dir;
  for (int method : {0, 8}) {
    test::ZipEntryLayout damaged = Entry("damaged", std::string(3000, 'd') + "tail", method);
    damaged.level = 0;  // deflate's stored blocks: the flipped byte stays a valid stream
    test::ZipLayout layout;
    layout.entries = {Entry("good", "g"), damaged};
    std::string bytes = layout.Build();
    size_t at = bytes.find("dtail");
    ASSERT_NE(at, std::string::npos);
    bytes[at] = 'e';
    std::string zip = test::WriteArchive(dir / ("d" + std::to_string(method) + ".zip"), bytes);
    std::string out = dir / ("out" + std::to_string(method));
    EXPECT_EQ(Unzip(zip, out), "0") << method;
    EXPECT_EQ(test::ReadFile(out + "/good"), "g");
  }
}

TEST(UnzipFiles, AnUnreadableLocalHeaderEndsTheExtractionQuietly) {
  test::ScratchDir dir;
  std::vector<test::ZipEntryLayout> entries = {Entry("one", "1"), Entry("two", "2"), Entry("three", "3")};
  entries[1].localOffset = 3;  // no local header there
  std::string zip = Archive(dir, entries);
  EXPECT_EQ(Unzip(zip, dir / "out"), "1");
  EXPECT_EQ(test::ReadTree(dir / "out"), (Tree{{"one", "1"}}));
}

TEST(UnzipFiles, SplitsNamesWhereTheLocaleSeesASeparator) {
  if (!test::HaveLocale("ja_JP.eucJP")) return;
  test::ScratchDir dir;
  // "日本/x" in EUC-JP: the separator after two two-byte characters.
  std::string zip = Archive(dir, {Entry("\xc6\xfc\xcb\xdc/x", "eucjp")});
  EXPECT_EQ(Unzip(zip, dir / "out", nullptr, "ja_JP.eucJP"), "1");
  EXPECT_EQ(test::ReadTree(dir / "out"), (Tree{{"\xc6\xfc\xcb\xdc", "<dir>"}, {"\xc6\xfc\xcb\xdc/x", "eucjp"}}));
  // No character begins at a "/" behind an invalid sequence, so no directory
  // is made for it and the file can't be opened.
  std::string bad = Archive(dir, {Entry("a\xff/b", "never")}, "bad.zip");
  EXPECT_EQ(Unzip(bad, dir / "bad", nullptr, "ja_JP.eucJP"), "0");
  EXPECT_EQ(test::ReadTree(dir / "bad"), Tree{});
}

}  // namespace
