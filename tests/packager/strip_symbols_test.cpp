#include "packager/strip_symbols.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "base/elf_image.h"
#include "base/unique_fd.h"
#include "support/child.h"

namespace {

uint64_t ImageEnd(const std::string& path) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  std::optional<ElfImage> image = fd.valid() ? ReadElfImage(fd.get()) : std::nullopt;
  return image ? image->imageEnd : 0;
}

// This test program carries its symbols and debugging information: stripped,
// it is smaller, still runs, and has nothing more to drop.
TEST(StripSymbols, DropsWhatIsNotLoadedAndTheProgramStillRuns) {
  test::ScratchDir dir;
  std::string self = test::ReadFile("/proc/self/exe");
  std::string copy = dir.Write("copy", self, 0755), text = dir.Write("text", "no ELF file\n");
  std::string err;
  ASSERT_TRUE(StripSymbols(copy, &err)) << err;
  std::string stripped = test::ReadFile(copy);
  EXPECT_LT(stripped.size(), self.size() / 2);
  EXPECT_EQ(ImageEnd(copy), stripped.size());
  struct stat st;
  ASSERT_EQ(stat(copy.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  std::string listed = dir / "listed";
  std::string command = copy + " --gtest_filter=StripSymbols.* --gtest_list_tests >" + listed;
  EXPECT_EQ(system(command.c_str()), 0);
  EXPECT_NE(test::ReadFile(listed).find("DropsWhatIsNotLoaded"), std::string::npos);
  ASSERT_TRUE(StripSymbols(copy, &err)) << err;
  EXPECT_EQ(test::ReadFile(copy), stripped);
  ASSERT_TRUE(StripSymbols(text, &err)) << err;
  EXPECT_EQ(test::ReadFile(text), "no ELF file\n");
  EXPECT_FALSE(StripSymbols(dir / "missing", &err));
}

}  // namespace
