// Archives written by real tools, extracted by UnzipFiles and compared byte
// for byte with what Info-ZIP unzip extracts from them.
#include <gtest/gtest.h>

#include <string>

#include "archive/zip.h"
#include "archive/zip_builder.h"
#include "support/child.h"

namespace {

std::string Lines(size_t n) {
  std::string s;
  for (size_t i = 0; s.size() < n; ++i) s += "line " + std::to_string(i * 7919 % 100003) + "\n";
  s.resize(n);
  return s;
}

// The archive's entries as UnzipFiles writes them, next to unzip's output.
void ExpectSameAsUnzip(const test::ScratchDir& dir, const std::string& archive, const std::string& label) {
  test::KeepForCorpus(archive);
  std::string ours = dir / (label + ".ours"), theirs = dir / (label + ".unzip");
  // unzip warns, with status 1, about the bytes in front of a self-extractor.
  int status = test::Shell("LC_ALL=C.UTF-8 unzip -qq -o " + test::Quote(archive) + " -d " +
                           test::Quote(theirs) + " 2>/dev/null");
  EXPECT_LE(status, 1) << label;
  // A single-byte locale: the multibyte-aware walk then splits the UTF-8
  // names at every "/".
  EXPECT_EQ(test::Unzip(archive, ours, nullptr, "de_DE"), "1") << label;
  EXPECT_GE(test::ReadTree(theirs).size(), 15u) << label;
  EXPECT_EQ(test::Shell("diff -r " + test::Quote(ours) + " " + test::Quote(theirs) + " >&2"), 0) << label;
}

class ToolArchives : public testing::Test {
 protected:
  // Files on both sides of the reader's buffer sizes, empty files, an empty
  // directory, a deep path and UTF-8 names.
  void SetUp() override {
    dir_.Write("src/Main.class", "\xca\xfe\xba\xbe main class");
    dir_.Write("src/empty", "");
    dir_.MakeDir("src/empty-dir");
    dir_.Write("src/package/PackageFormat.jar", test::Random(65536, 1));
    dir_.Write("src/package/text-64k-1", Lines(65535));
    dir_.Write("src/package/text-64k+1", Lines(65537));
    dir_.Write("src/package/random-256k+1", test::Random(262145, 2));
    dir_.Write("src/package/text-1m", Lines(1 << 20));
    dir_.Write("src/package/jre/lib/rt.jar", test::Random(300000, 3) + Lines(300000));
    dir_.Write("src/a/b/c/d/e/f/g/deep.txt", "deep");
    dir_.Write("src/\xc3\xa9t\xc3\xa9/\xe6\x97\xa5\xe6\x9c\xac.txt", "utf-8 names");
  }
  // Runs command in the source tree; the archive it makes is dir/name.
  std::string Make(const std::string& name, const std::string& command) {
    std::string archive = dir_ / name;
    EXPECT_EQ(test::Shell("cd " + test::Quote(dir_ / "src") + " && ARCHIVE=" + test::Quote(archive) +
                          " && { " + command + "; } >/dev/null"),
              0)
        << command;
    return archive;
  }
  test::ScratchDir dir_;
};

TEST_F(ToolArchives, InfoZipPythonBsdtarAndJar) {
  std::string python =
      "python3 -c 'import os, sys, zipfile; z = zipfile.ZipFile(sys.argv[1], \"w\", getattr(zipfile, "
      "sys.argv[2])); "
      "[z.write(os.path.join(r, n)[2:]) for r, ds, fs in os.walk(\".\") for n in ds + fs]; z.close()' "
      "\"$ARCHIVE\"";
  const std::pair<std::string, std::string> tools[] = {
      {"deflated.zip", "zip -qr \"$ARCHIVE\" ."},
      {"stored.zip", "zip -qr0 \"$ARCHIVE\" ."},
      {"commented.zip", "echo 'made by the tests' | zip -qrz \"$ARCHIVE\" ."},
      // Written to a pipe, zip can't seek back: sizes follow the data.
      {"streamed.zip", "zip -qr - . | cat > \"$ARCHIVE\""},
      {"python-deflated.zip", python + " ZIP_DEFLATED"},
      {"python-stored.zip", python + " ZIP_STORED"},
      {"bsdtar.zip", "bsdtar --format zip -cf \"$ARCHIVE\" ."},
      {"bsdtar-stored.zip", "bsdtar --format zip --options zip:compression=store -cf \"$ARCHIVE\" ."},
      // Last, as it takes the UTF-8 names away: jar records its entries as
      // made on MS-DOS, and unzip then converts non-ASCII names from an
      // MS-DOS code page, so that there is no reference for those.
      {"tool.jar", "rm -r \xc3\xa9t\xc3\xa9 && jar cf \"$ARCHIVE\" ."},
  };
  for (const auto& [name, command] : tools) ExpectSameAsUnzip(dir_, Make(name, command), name);
  EXPECT_NE(test::ReadFile(dir_ / "streamed.zip").find("PK\x07\x08"), std::string::npos);
  test::OpenZip commented(dir_ / "commented.zip"), jar(dir_ / "tool.jar");
  ASSERT_TRUE(commented && jar);
  EXPECT_EQ(commented->archiveComment, "made by the tests");
  // The jar tool marks its first entry with an extra field of its own.
  ZipEntry* e = zipGetNextEntry(jar.get(), 0);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->name, "META-INF/");
  EXPECT_EQ(test::Extra(e), std::string("\xfe\xca\x00\x00", 4));
  zipFreeEntry(jar.get(), e);
}

TEST_F(ToolArchives, InfoZipSelfExtractorBeforeAndAfterZipA) {
  std::string stub = test::Random(5000, 9);
  std::string plain = test::ReadFile(Make("plain.zip", "zip -qr \"$ARCHIVE\" ."));
  std::string sfx = test::WriteArchive(dir_ / "sfx", stub + plain);
  std::string adjusted = test::WriteArchive(dir_ / "adjusted", stub + plain);
  ASSERT_EQ(test::Shell("zip -qA " + test::Quote(adjusted)), 0);
  ExpectSameAsUnzip(dir_, sfx, "sfx");
  ExpectSameAsUnzip(dir_, adjusted, "adjusted");
  test::OpenZip a(sfx), b(adjusted);
  ASSERT_TRUE(a && b);
  // Relative offsets before, absolute ones after: the same local headers.
  for (int i = 0; i < a->entryCount(); ++i) {
    EXPECT_EQ(b->cells[i].localHeaderOffset, a->cells[i].localHeaderOffset) << i;
  }
  EXPECT_EQ(a->cells[0].localHeaderOffset, 5000);
}

}  // namespace
