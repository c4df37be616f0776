// Archives written by real tools, extracted by UnzipFiles and compared byte
// for byte with what Info-ZIP unzip extracts from them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "archive/unzip.h"
#include "support/child.h"

namespace {

int Shell(const std::string& command) { return WEXITSTATUS(system(command.c_str())); }

// UnzipFiles of the archive into destination, under the locale lang.
std::string Unzip(const std::string& archive, const std::string& destination, const char* lang) {
  return test::InChild([&] {
    test::UseLocaleEnvironment(lang);
    ZipArchive zip(zipOpen(archive.c_str(), nullptr));
    return std::string(zip && UnzipFiles(zip.get(), destination.c_str(), nullptr) ? "extracted" : "failed");
  });
}

std::string Lines(size_t n) {
  std::string s;
  for (size_t i = 0; s.size() < n; ++i) s += "line " + std::to_string(i * 7919 % 100003) + "\n";
  return s.substr(0, n);
}

TEST(ToolArchives, InfoZipPythonBsdtarAndJarExtractAsUnzipExtractsThem) {
  test::ScratchDir dir;
  // Files on both sides of the reader's buffer sizes, empty files, an empty
  // directory, a deep path and UTF-8 names.
  dir.Write("src/Main.class", "\xca\xfe\xba\xbe main class");
  dir.Write("src/empty", "");
  dir.MakeDir("src/empty-dir");
  dir.Write("src/package/text-64k+1", Lines(65537));
  std::string random(262145, '\0');
  std::mt19937 generate(2);
  for (char& c : random) c = static_cast<char>(generate());
  dir.Write("src/package/random-256k+1", random);
  dir.Write("src/package/text-1m", Lines(1 << 20));
  dir.Write("src/a/b/c/d/e/f/g/deep.txt", "deep");
  dir.Write("src/\xc3\xa9t\xc3\xa9/\xe6\x97\xa5\xe6\x9c\xac.txt", "utf-8 names");
  std::string python =
      "python3 -c 'import os, sys, zipfile; z = zipfile.ZipFile(sys.argv[1], \"w\", zipfile.ZIP_DEFLATED); "
      "[z.write(os.path.join(r, n)[2:]) for r, ds, fs in os.walk(\".\") for n in ds + fs]; z.close()' \"$A\"";
  const std::pair<std::string, std::string> tools[] = {
      {"deflated.zip", "zip -qr \"$A\" ."},
      {"stored.zip", "zip -qr0 \"$A\" ."},
      // Written to a pipe, zip can't seek back: sizes follow the data.
      {"streamed.zip", "zip -qr - . | cat > \"$A\""},
      {"python.zip", python},
      {"bsdtar.zip", "bsdtar --format zip -cf \"$A\" ."},
      // A self-extractor: foreign bytes, and zip -A's absolute offsets.
      {"sfx", "zip -qr \"$A.zip\" . && head -c 5000 /bin/sh | cat - \"$A.zip\" > \"$A\" && zip -qA \"$A\""},
      // Last, as it takes the UTF-8 names away: jar records its entries as
      // made on MS-DOS, and unzip then converts non-ASCII names from an
      // MS-DOS code page, so that there is no reference for those.
      {"tool.jar", "rm -r \xc3\xa9t\xc3\xa9 && jar cf \"$A\" ."},
  };
  for (const auto& [name, command] : tools) {
    std::string archive = dir / name, ours = dir / (name + ".ours"), theirs = dir / (name + ".unzip");
    ASSERT_EQ(Shell("cd " + dir / "src && A=" + archive + " && { " + command + "; } >/dev/null"), 0)
        << command;
    // unzip warns, with status 1, about the bytes in front of a self-extractor.
    EXPECT_LE(Shell("LC_ALL=C.UTF-8 unzip -qq -o " + archive + " -d " + theirs + " 2>/dev/null"), 1) << name;
    // A single-byte locale: the multibyte-aware walk then splits the UTF-8
    // names at every "/".
    EXPECT_EQ(Unzip(archive, ours, "de_DE"), "extracted") << name;
    EXPECT_EQ(Shell("diff -r " + ours + " " + theirs + " >&2"), 0) << name;
  }
}

}  // namespace
