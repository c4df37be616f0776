#include "base/elf_image.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include "base/unique_fd.h"
#include "runtime/home.h"
#include "support/child.h"

namespace {

std::optional<ElfImage> Read(const std::string& path) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  return fd.valid() ? ReadElfImage(fd.get()) : std::nullopt;
}

// A 32-bit big-endian SPARC file: header, one program header for the first
// 0x80 bytes, two section headers (a NOBITS one reaching far beyond the
// file) at 0x80, and 16 bytes of something else behind them.
std::string SparcFile() {
  std::string f(0x80 + 3 * 40 + 16, '\0');
  auto put = [&](size_t at, uint64_t value, int width) {
    for (int i = width - 1; i >= 0; --i, value >>= 8)
      f[at + static_cast<size_t>(i)] = static_cast<char>(value);
  };
  f.replace(0, 7,
            "\x7f"
            "ELF\x01\x02\x01");
  put(18, 2, 2);      // EM_SPARC
  put(28, 52, 4);     // e_phoff
  put(32, 0x80, 4);   // e_shoff
  put(40, 52, 2);     // e_ehsize
  put(42, 32, 2);     // e_phentsize
  put(44, 1, 2);      // e_phnum
  put(46, 40, 2);     // e_shentsize
  put(48, 3, 2);      // e_shnum
  put(52 + 4, 0, 4);  // p_offset
  put(52 + 16, 0x80, 4);
  size_t s1 = 0x80 + 40, s2 = 0x80 + 80;
  put(s1 + 4, 1, 4), put(s1 + 16, 0x40, 4), put(s1 + 20, 0x20, 4);        // PROGBITS inside
  put(s2 + 4, 8, 4), put(s2 + 16, 0x1000, 4), put(s2 + 20, 0x100000, 4);  // NOBITS beyond
  return f;
}

TEST(ReadElfImage, FindsTheMachineAndTheEndOfTheImageInAnyByteOrder) {
  test::ScratchDir dir;
  std::string self = test::ReadFile("/proc/self/exe");
  ASSERT_FALSE(self.empty());
  std::optional<ElfImage> image = Read(dir.Write("self", self));
  ASSERT_TRUE(image);
  EXPECT_STREQ(ElfArchName(*image), GetArch());
  EXPECT_EQ(image->imageEnd, self.size());
  // Bytes behind the image are not part of it; a file cut short is no image.
  EXPECT_EQ(Read(dir.Write("appended", self + std::string(1000, 'P')))->imageEnd, self.size());
  EXPECT_FALSE(Read(dir.Write("cut", self.substr(0, self.size() - 1))));
  EXPECT_FALSE(Read(dir.Write("text", "#!/bin/sh\nexit 0\n" + std::string(100, ' '))));

  image = Read(dir.Write("sparc", SparcFile()));
  ASSERT_TRUE(image);
  EXPECT_TRUE(image->bigEndian);
  EXPECT_FALSE(image->is64);
  EXPECT_STREQ(ElfArchName(*image), "sparc");
  EXPECT_EQ(image->imageEnd, 0x80u + 3 * 40);
}

}  // namespace
