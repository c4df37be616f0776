#include "packager/glibc_needs.h"

#include <gtest/gtest.h>

#include "packager/synthetic_elf.h"
#include "support/child.h"

namespace {

std::string Text(const std::optional<GlibcVersion>& version) {
  return version ? GlibcVersionText(*version) : "none";
}

TEST(GlibcVersion, ReadsAndComparesReleases) {
  for (const char* text : {"2.28", "2.2.5", "2.0", "10.1.2"}) EXPECT_EQ(Text(ParseGlibcVersion(text)), text);
  for (const char* text :
       {"", "2", "2.", ".28", "2..8", "2.28.", "2.3.4.5", "a.b", "2.28 ", "+2.28", "2,28", "12345.1"})
    EXPECT_EQ(Text(ParseGlibcVersion(text)), "none") << "'" << text << "'";
  // Part by part, as numbers.
  const char* ascending[] = {"2.2", "2.2.5", "2.3", "2.9", "2.17", "2.34", "3.0"};
  for (size_t i = 0; i + 1 < sizeof ascending / sizeof *ascending; ++i) {
    GlibcVersion lower = *ParseGlibcVersion(ascending[i]), higher = *ParseGlibcVersion(ascending[i + 1]);
    EXPECT_TRUE(lower < higher) << ascending[i];
    EXPECT_FALSE(higher < lower) << ascending[i];
    EXPECT_FALSE(lower < lower) << ascending[i];
  }
}

TEST(GlibcVersion, OfVersionNeeds) {
  EXPECT_EQ(Text(GlibcOfVersion("GLIBC_2.34")), "2.34");
  EXPECT_EQ(Text(GlibcOfVersion("GLIBC_2.2.5")), "2.2.5");
  // Relative relocations: the loader that reads them came with 2.36.
  EXPECT_EQ(Text(GlibcOfVersion("GLIBC_ABI_DT_RELR")), "2.36");
  for (const char* other :
       {"GLIBC_PRIVATE", "GLIBCXX_3.4.30", "CXXABI_1.3", "GCC_3.0", "GLIBC_", "glibc_2.34"})
    EXPECT_EQ(Text(GlibcOfVersion(other)), "none") << other;
}

// Over several files: the highest, named by the first that needs it; files
// that are no ELF files count for nothing, damaged ones are listed.
TEST(FindGlibcNeed, TheHighestAndTheFirstFileThatNeedsIt) {
  test::ScratchDir dir;
  std::string elf = test::MakeSyntheticElf(true, false).data;  // needs 2.17
  std::string older = elf;
  older.replace(older.find("GLIBC_2.17"), 10, "GLIBC_2.09");
  test::SyntheticElf damaged = test::MakeSyntheticElf(false, true);
  damaged.PutDynamic(5, DT_VERNEED, 0x10);
  std::vector<NamedFile> files = {{"old", dir.Write("old", older)},
                                  {"text", dir.Write("text", "text")},
                                  {"lib/a.so", dir.Write("a", elf)},
                                  {"lib/damaged.so", dir.Write("damaged", damaged.data)},
                                  {"lib/b.so", dir.Write("b", elf)}};
  std::optional<GlibcNeed> need;
  std::vector<std::string> broken;
  std::string err;
  ASSERT_TRUE(FindGlibcNeed(files, &need, &broken, &err)) << err;
  ASSERT_TRUE(need);
  EXPECT_EQ(GlibcVersionText(need->version) + " " + need->file, "2.17 lib/a.so");
  EXPECT_EQ(broken, std::vector<std::string>{"lib/damaged.so (its version needs lie outside it)"});

  // A later call raises what an earlier one found, and keeps it on a tie.
  ASSERT_TRUE(FindGlibcNeed({{"again", dir / "b"}}, &need, &broken, &err)) << err;
  EXPECT_EQ(need->file, "lib/a.so");
  need = GlibcNeed{*ParseGlibcVersion("2.3"), "launcher"};
  ASSERT_TRUE(FindGlibcNeed({{"lib/b.so", dir / "b"}}, &need, &broken, &err)) << err;
  EXPECT_EQ(need->file, "lib/b.so");

  // None when nothing names a glibc version.
  need.reset();
  ASSERT_TRUE(FindGlibcNeed({{"text", dir / "text"}}, &need, &broken, &err)) << err;
  EXPECT_FALSE(need);
  EXPECT_FALSE(FindGlibcNeed({{"gone", dir / "gone"}}, &need, &broken, &err));
  EXPECT_EQ(err, dir / "gone" + ": No such file or directory");
}

}  // namespace
