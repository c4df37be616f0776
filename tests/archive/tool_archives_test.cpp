// Archives written by real tools, extracted by UnzipFiles and compared byte
// for byte with what Info-ZIP unzip extracts from them.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "archive/unzip.h"
#include "archive/zip.h"
#include "archive/zip_builder.h"
#include "support/child.h"

namespace {

using Tree = std::map<std::string, std::string>;

std::string Random(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

std::string Lines(size_t n) {
  std::string s;
  for (size_t i = 0; s.size() < n; ++i) s += "line " + std::to_string(i * 7919 % 100003) + "\n";
  s.resize(n);
  return s;
}

// Files on both sides of the reader's buffer sizes, empty files, an empty
// directory, a deep path and UTF-8 names.
void MakeSourceTree(const test::ScratchDir& dir) {
  dir.Write("src/Main.class", "\xca\xfe\xba\xbe main class");
  dir.Write("src/empty", "");
  dir.MakeDir("src/empty-dir");
  dir.Write("src/package/PackageFormat.jar", Random(65536, 1));
  dir.Write("src/package/text-64k-1", Lines(65535));
  dir.Write("src/package/text-64k+1", Lines(65537));
  dir.Write("src/package/random-256k+1", Random(262145, 2));
  dir.Write("src/package/text-1m", Lines(1 << 20));
  dir.Write("src/package/jre/lib/rt.jar", Random(300000, 3) + Lines(300000));
  dir.Write("src/a/b/c/d/e/f/g/deep.txt", "deep");
  dir.Write("src/\xc3\xa9t\xc3\xa9/\xe6\x97\xa5\xe6\x9c\xac.txt", "utf-8 names");
}

// The paths where two trees differ, for a readable failure.
std::string Differences(const Tree& a, const Tree& b) {
  std::string out;
  for (const auto& [path, content] : a) {
    auto it = b.find(path);
    if (it == b.end()) out += " only ours: " + path;
    else if (it->second != content) out += " differs: " + path;
  }
  for (const auto& entry : b)
    if (!a.count(entry.first)) out += " only unzip's: " + entry.first;
  return out;
}

// The archive's entries as UnzipFiles writes them, next to unzip's output.
void ExpectSameAsUnzip(const test::ScratchDir& dir, const std::string& archive, const std::string& label) {
  test::KeepForCorpus(archive);
  std::string ours = dir / (label + ".ours"), theirs = dir / (label + ".unzip");
  // unzip warns, with status 1, about the bytes in front of a self-extractor.
  int status = test::Shell("LC_ALL=C.UTF-8 unzip -qq -o " + test::Quote(archive) + " -d " + test::Quote(theirs) +
                           " 2>/dev/null");
  EXPECT_LE(status, 1) << label;
  // A single-byte locale: the multibyte-aware walk then splits the UTF-8
  // names at every "/".
  EXPECT_EQ(test::InChild([&] {
              test::UseLocaleEnvironment("de_DE");
              ZipFile* zip = zipOpen(archive.c_str(), nullptr);
              if (zip == nullptr) return std::string("not opened");
              int result = UnzipFiles(zip, ours.c_str(), nullptr);
              zipClose(zip);
              return std::to_string(result);
            }),
            "1")
      << label;
  Tree expected = test::ReadTree(theirs);
  EXPECT_GE(expected.size(), 15u) << label;
  EXPECT_EQ(Differences(test::ReadTree(ours), expected), "") << label;
}

class ToolArchives : public testing::Test {
 protected:
  void SetUp() override { MakeSourceTree(dir_); }
  // Runs command in the source tree; the archive it makes is dir/name.
  std::string Make(const std::string& name, const std::string& command) {
    std::string archive = dir_ / name;
    EXPECT_EQ(test::Shell("cd " + test::Quote(dir_ / "src") + " && ARCHIVE=" + test::Quote(archive) + " && { " +
                          command + "; } >/dev/null"),
              0)
        << command;
    return archive;
  }
  test::ScratchDir dir_;
};

TEST_F(ToolArchives, InfoZipDeflatedStoredCommentedAndStreamed) {
  ExpectSameAsUnzip(dir_, Make("deflated.zip", "zip -qr \"$ARCHIVE\" ."), "deflated");
  ExpectSameAsUnzip(dir_, Make("stored.zip", "zip -qr0 \"$ARCHIVE\" ."), "stored");

  std::string commented = Make("commented.zip", "echo 'made by the tests' | zip -qrz \"$ARCHIVE\" .");
  ExpectSameAsUnzip(dir_, commented, "commented");
  {
    test::OpenZip zip(commented);
    ASSERT_NE(zip.get(), nullptr);
    ASSERT_NE(zip->archiveComment, nullptr);
    EXPECT_EQ(std::string(zip->archiveComment).substr(0, 17), "made by the tests");
  }

  // Written to a pipe, zip can't seek back: sizes follow the data.
  std::string streamed = Make("streamed.zip", "zip -qr - . | cat > \"$ARCHIVE\"");
  EXPECT_NE(test::ReadFile(streamed).find("PK\x07\x08"), std::string::npos);
  ExpectSameAsUnzip(dir_, streamed, "streamed");
}

TEST_F(ToolArchives, InfoZipSelfExtractorBeforeAndAfterZipA) {
  std::string stub = Random(5000, 9);
  std::string plain = Make("plain.zip", "zip -qr \"$ARCHIVE\" .");
  std::string sfx = test::WriteArchive(dir_ / "sfx", stub + test::ReadFile(plain));
  std::string adjusted = test::WriteArchive(dir_ / "adjusted", stub + test::ReadFile(plain));
  ASSERT_EQ(test::Shell("zip -qA " + test::Quote(adjusted)), 0);
  ExpectSameAsUnzip(dir_, sfx, "sfx");
  ExpectSameAsUnzip(dir_, adjusted, "adjusted");
  test::OpenZip a(sfx), b(adjusted);
  ASSERT_TRUE(a.get() && b.get());
  // Relative offsets before, absolute ones after: the same local headers.
  EXPECT_EQ(a->cells[0].localHeaderOffset, 5000);
  EXPECT_EQ(b->cells[0].localHeaderOffset, 5000);
  EXPECT_EQ(b->cells[a->entryCount - 1].localHeaderOffset, a->cells[a->entryCount - 1].localHeaderOffset);
}

TEST_F(ToolArchives, PythonZipfileWithComments) {
  std::string script =
      "import os, sys, zipfile\n"
      "method = zipfile.ZIP_STORED if sys.argv[2] == 'stored' else zipfile.ZIP_DEFLATED\n"
      "with zipfile.ZipFile(sys.argv[1], 'w', method) as z:\n"
      "    z.comment = b'python archive'\n"
      "    for root, dirs, files in sorted(os.walk('.')):\n"
      "        for d in sorted(dirs):\n"
      "            z.write(os.path.join(root, d)[2:])\n"
      "        for f in sorted(files):\n"
      "            z.write(os.path.join(root, f)[2:])\n"
      "    z.getinfo('Main.class').comment = b'the main class'\n";
  dir_.Write("zip.py", script);
  for (const char* method : {"deflated", "stored"}) {
    std::string archive =
        Make(std::string("python-") + method + ".zip",
             "python3 " + test::Quote(dir_ / "zip.py") + " \"$ARCHIVE\" " + method);
    ExpectSameAsUnzip(dir_, archive, std::string("python-") + method);
    test::OpenZip zip(archive);
    ASSERT_NE(zip.get(), nullptr);
    EXPECT_STREQ(zip->archiveComment, "python archive");
    ZipEntry* e = zipGetEntry(zip.get(), "Main.class");
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->comment, "the main class");
    zipFreeEntry(zip.get(), e);
  }
}

TEST_F(ToolArchives, JdkJar) {
  // jar records its entries as made on MS-DOS, and unzip then converts
  // non-ASCII names from an MS-DOS code page: no reference for those.
  ASSERT_EQ(test::Shell("rm -r " + test::Quote(dir_ / "src/\xc3\xa9t\xc3\xa9")), 0);
  std::string archive = Make("tool.jar", "jar cf \"$ARCHIVE\" .");
  ExpectSameAsUnzip(dir_, archive, "jar");
  test::OpenZip zip(archive);
  ASSERT_NE(zip.get(), nullptr);
  // The jar tool marks its first entry with an extra field of its own.
  ZipEntry* e = zipGetNextEntry(zip.get(), 0);
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(e->name, "META-INF/");
  ASSERT_NE(e->extra, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(e->extra), 6), std::string("\x04\x00\xfe\xca\x00\x00", 6));
  zipFreeEntry(zip.get(), e);
  ASSERT_GE(zip->metaNameCapacity, 2);
  EXPECT_STREQ(zip->metaNames[0], "META-INF/");
  EXPECT_STREQ(zip->metaNames[1], "META-INF/MANIFEST.MF");
}

TEST_F(ToolArchives, Bsdtar) {
  ExpectSameAsUnzip(dir_, Make("bsdtar.zip", "bsdtar --format zip -cf \"$ARCHIVE\" ."), "bsdtar");
  ExpectSameAsUnzip(dir_, Make("bsdtar-stored.zip", "bsdtar --format zip --options zip:compression=store -cf \"$ARCHIVE\" ."),
                    "bsdtar-stored");
}

}  // namespace
