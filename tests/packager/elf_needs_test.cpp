#include "packager/elf_needs.h"

#include <elf.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <functional>
#include <sstream>

#include "base/elf_image.h"
#include "base/unique_fd.h"
#include "packager/glibc_needs.h"
#include "packager/synthetic_elf.h"
#include "support/child.h"

namespace {

using test::kSyntheticBase;
using test::kSyntheticStrings;
using test::MakeSyntheticElf;
using test::SyntheticElf;

// The reader's answer for the file at path: "none" for no ELF file,
// "damaged: WHY", or the libraries and versions it needs, one a line.
std::string Needs(const std::string& path) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return "can't open " + path;
  std::optional<ElfNeeds> needs;
  std::string why;
  if (!ReadElfNeeds(fd.get(), &needs, &why)) return "damaged: " + why;
  if (!needs) return "none";
  std::string text;
  for (const std::string& library : needs->libraries) text += "needs " + library + "\n";
  for (const ElfVersionNeed& v : needs->versions)
    text += v.library + " " + v.version + (v.weak ? " weak" : "") + "\n";
  return text;
}

// The same as readelf tells it, from the file's sections.
std::string ReadelfNeeds(const test::ScratchDir& dir, const std::string& path) {
  std::string out = dir / "readelf.txt";
  std::string command = "readelf -d -V -W '" + path + "' >" + out;
  if (system(command.c_str()) != 0) return "readelf failed";
  std::istringstream lines(test::ReadFile(out));
  std::string line, libraries, versions, file;
  bool inNeeds = false;  // in the version needs, not the definitions
  while (std::getline(lines, line)) {
    size_t at;
    if (line.compare(0, 8, "Version ") == 0) inNeeds = line.compare(0, 21, "Version needs section") == 0;
    if (line.find("(NEEDED)") != std::string::npos && (at = line.find('[')) != std::string::npos) {
      libraries += "needs " + line.substr(at + 1, line.find(']') - at - 1) + "\n";
    } else if (!inNeeds) {
      continue;
    } else if ((at = line.find("File: ")) != std::string::npos) {
      file = line.substr(at + 6, line.find(' ', at + 6) - at - 6);
    } else if ((at = line.find("Name: ")) != std::string::npos) {
      std::string name = line.substr(at + 6, line.find(' ', at + 6) - at - 6);
      bool weak = line.find("Flags: WEAK") != std::string::npos;
      versions += file + " " + name + (weak ? " weak" : "") + "\n";
    }
  }
  return libraries + versions;
}

const char kSyntheticNeeds[] =
    "needs libc.so.6\nneeds libm.so.6\nneeds libstdc++.so.6\n"
    "libc.so.6 GLIBC_2.17\nlibc.so.6 GLIBC_2.34 weak\nlibm.so.6 GLIBC_2.2.5\nlibstdc++.so.6 GLIBCXX_3.4.30\n";

// Programs and libraries of the target, as readelf reads them from their
// sections: this test program, and a JDK's launcher and virtual machine.
TEST(ReadElfNeeds, ReadsWhatReadelfFindsInRealFiles) {
  test::ScratchDir dir;
  char self[PATH_MAX];
  ASSERT_NE(realpath("/proc/self/exe", self), nullptr);
  for (std::string path : {std::string(self), std::string(TEST_JAVA_HOME "/bin/java"),
                           std::string(TEST_JAVA_HOME "/lib/server/libjvm.so")}) {
    std::string expected = ReadelfNeeds(dir, path);
    EXPECT_NE(expected.find("needs libc.so.6\n"), std::string::npos) << path << ":\n" << expected;
    EXPECT_EQ(Needs(path), expected) << path;
  }
  // What the loader reads stays without the section headers, which a
  // stripped file may lack.
  std::string java = test::ReadFile(TEST_JAVA_HOME "/bin/java");
  std::optional<ElfImage> image = test::ElfImageOf(TEST_JAVA_HOME "/bin/java");
  ASSERT_TRUE(image);
  const size_t word = image->is64 ? 8 : 4, rest = 24 + 3 * word + 4;
  ElfPut(*image, reinterpret_cast<unsigned char*>(&java[24 + 2 * word]), word, 0);
  ElfPut(*image, reinterpret_cast<unsigned char*>(&java[rest + 8]), 4, 0);
  EXPECT_EQ(Needs(dir.Write("java-without-sections", java)), Needs(TEST_JAVA_HOME "/bin/java"));
}

TEST(ReadElfNeeds, ReadsEitherClassAndByteOrder) {
  test::ScratchDir dir;
  for (bool is64 : {false, true}) {
    for (bool bigEndian : {false, true}) {
      std::string name = std::string(is64 ? "64" : "32") + (bigEndian ? "msb" : "lsb");
      std::string path = dir.Write(name, MakeSyntheticElf(is64, bigEndian).data);
      EXPECT_EQ(Needs(path), kSyntheticNeeds) << name;
      // Neither the weak need nor libstdc++'s versions count, and 2.17 is
      // above 2.2.5.
      UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
      std::optional<ElfNeeds> needs;
      std::string why;
      ASSERT_TRUE(ReadElfNeeds(fd.get(), &needs, &why));
      std::optional<GlibcVersion> glibc = GlibcNeeded(*needs);
      ASSERT_TRUE(glibc) << name;
      EXPECT_EQ(GlibcVersionText(*glibc), "2.17") << name;
    }
  }
}

TEST(ReadElfNeeds, FilesWithoutNeeds) {
  test::ScratchDir dir;
  EXPECT_EQ(Needs(dir.Write("text", "#!/bin/sh\n")), "none");
  EXPECT_EQ(Needs(dir.Write("short",
                            "\x7f"
                            "EL")),
            "none");
  EXPECT_EQ(Needs(dir.Write("empty", "")), "none");
  // No dynamic segment: a static program needs nothing of the loader.
  SyntheticElf s = MakeSyntheticElf(true, false);
  s.Put(64 + 56, 4, PT_NOTE);
  EXPECT_EQ(Needs(dir.Write("static", s.data)), "");
  // Libraries but no versions.
  s = MakeSyntheticElf(true, false);
  s.PutDynamic(5, DT_NULL, 0);
  EXPECT_EQ(Needs(dir.Write("unversioned", s.data)),
            "needs libc.so.6\nneeds libm.so.6\nneeds libstdc++.so.6\n");
}

// Each damage is reported, not read past: a pointer out of its segment or
// the file, a name without its end, a record of another format.
TEST(ReadElfNeeds, DamagedRecordsAreReported) {
  test::ScratchDir dir;
  for (bool is64 : {false, true}) {
    const size_t word = is64 ? 8 : 4, entry = 2 * word;
    struct Damage {
      const char* name;
      std::function<void(SyntheticElf*)> apply;
      const char* why;
    };
    const Damage damages[] = {
        {"verneed-out",
         [](SyntheticElf* s) { s->PutDynamic(5, DT_VERNEED, kSyntheticBase + s->data.size() - 8); },
         "its version needs lie outside it"},
        {"verneed-unloaded", [](SyntheticElf* s) { s->PutDynamic(5, DT_VERNEED, 0x10); },
         "its version needs lie outside it"},
        {"next-out", [](SyntheticElf* s) { s->Put(s->verneed + 12, 4, 0xfffffff0); },
         "its version needs lie outside it"},
        {"aux-out", [](SyntheticElf* s) { s->Put(s->verneed + 8, 4, 0x7fffffff); },
         "its version needs lie outside it"},
        {"format", [](SyntheticElf* s) { s->Put(s->verneed + 48, 2, 2); },
         "its version needs are of an unknown format"},
        {"file-name", [](SyntheticElf* s) { s->Put(s->verneed + 4, 4, sizeof kSyntheticStrings); },
         "a library's name lies outside its string table"},
        {"version-name", [](SyntheticElf* s) { s->Put(s->verneed + 16 + 8, 4, 1u << 31); },
         "a version's name lies outside its string table"},
        {"needed-name", [](SyntheticElf* s) { s->PutDynamic(0, DT_NEEDED, ~0u); },
         "a library's name lies outside its string table"},
        // The last name then runs to the table's end without its NUL.
        {"unterminated", [](SyntheticElf* s) { s->PutDynamic(4, DT_STRSZ, sizeof kSyntheticStrings - 1); },
         "a version's name lies outside its string table"},
        {"strings-too-long", [](SyntheticElf* s) { s->PutDynamic(4, DT_STRSZ, s->data.size()); },
         "its string table lies outside it"},
        {"no-strings", [](SyntheticElf* s) { s->PutDynamic(3, DT_DEBUG, 0); },
         "its string table lies outside it"},
        {"dynamic-past-end",
         [entry](SyntheticElf* s) {
           s->data.resize(s->dynamic + 3 * entry);
           s->Put(s->image.is64 ? 64 + 32 : 52 + 16, s->image.is64 ? 8 : 4, s->data.size());
           s->Put(s->image.is64 ? 64 + 40 : 52 + 20, s->image.is64 ? 8 : 4, s->data.size());
         },
         "its headers lie outside it or are of an unknown kind"},
        {"magic-only", [](SyntheticElf* s) { s->data.resize(SELFMAG); },
         "its headers lie outside it or are of an unknown kind"},
    };
    for (const Damage& damage : damages) {
      SyntheticElf s = MakeSyntheticElf(is64, true);
      damage.apply(&s);
      std::string name = std::string(damage.name) + (is64 ? "-64" : "-32");
      EXPECT_EQ(Needs(dir.Write(name, s.data)), std::string("damaged: ") + damage.why) << name;
    }
  }
}

// A real program cut at every length, and with every byte of its dynamic
// segment and version needs changed: each answer is an answer, and a cut
// one (whose section table at the end is gone) is damaged.
TEST(ReadElfNeeds, CutAndChangedCopiesOfARealProgram) {
  test::ScratchDir dir;
  std::string java = test::ReadFile(TEST_JAVA_HOME "/bin/java");
  ASSERT_GT(java.size(), 1000u);
  std::string whole = Needs(TEST_JAVA_HOME "/bin/java");
  std::string path = dir.Write("java", java);
  for (size_t length = java.size() - 1; length >= SELFMAG; --length) {
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(length)), 0);
    std::string got = Needs(path);
    ASSERT_EQ(got.compare(0, 9, "damaged: "), 0) << length << ": " << got;
  }
  // The bytes the reader reads: the headers, the names and version needs
  // that follow them, and the dynamic segment.
  std::optional<ElfImage> image = test::ElfImageOf(TEST_JAVA_HOME "/bin/java");
  ASSERT_TRUE(image);
  auto get = [&](size_t at, size_t width) {
    return ElfGet(*image, reinterpret_cast<const unsigned char*>(&java[at]), width);
  };
  const size_t word = image->is64 ? 8 : 4, rest = 24 + 3 * word + 4;
  std::vector<std::pair<size_t, size_t>> ranges = {{0, std::min<size_t>(java.size(), 0x800)}};
  for (uint64_t i = 0, phoff = get(24 + word, word); i < get(rest + 4, 2); ++i) {
    size_t p = phoff + i * get(rest + 2, 2);
    if (get(p, 4) == PT_DYNAMIC)
      ranges.push_back({get(p + word, word), get(p + word, word) + get(p + (image->is64 ? 32 : 16), word)});
  }
  ASSERT_EQ(ranges.size(), 2u);
  path = dir.Write("java", java);
  size_t changed = 0;
  for (const auto& range : ranges) {
    for (size_t at = range.first; at < range.second; ++at) {
      for (unsigned char value : {0x00, 0xff, 0x7f}) {
        if (static_cast<unsigned char>(java[at]) == value) continue;
        UniqueFd fd(open(path.c_str(), O_WRONLY | O_CLOEXEC));
        ASSERT_EQ(pwrite(fd.get(), &value, 1, static_cast<off_t>(at)), 1);
        changed += Needs(path) != whole;
        ASSERT_EQ(pwrite(fd.get(), &java[at], 1, static_cast<off_t>(at)), 1);
      }
    }
  }
  EXPECT_GT(changed, 0u);
  EXPECT_EQ(Needs(path), whole);
}

}  // namespace
