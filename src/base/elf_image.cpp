// Fields are assembled byte by byte in the file's own byte order, so that
// the host's byte order and word size never matter.
#include "base/elf_image.h"

#include <elf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace {

// Section header tables larger than this are taken as damage rather than read.
constexpr uint64_t kMaxSections = 1u << 20;

uint64_t GetField(const unsigned char* p, size_t width, bool bigEndian) {
  uint64_t value = 0;
  for (size_t i = 0; i < width; ++i) value = (value << 8) | p[bigEndian ? i : width - 1 - i];
  return value;
}

struct Reader {
  const unsigned char* data;
  bool bigEndian;

  uint64_t Get(size_t offset, size_t width) const { return GetField(data + offset, width, bigEndian); }
};

// The end of a table of count entries of entrySize bytes at offset; false
// when it overflows or lies beyond fileSize.
bool TableEnd(uint64_t offset, uint64_t count, uint64_t entrySize, uint64_t fileSize, uint64_t* end) {
  if (count != 0 && entrySize > (fileSize / count)) return false;
  uint64_t size = count * entrySize;
  if (offset > fileSize || size > fileSize - offset) return false;
  *end = offset + size;
  return true;
}

}  // namespace

bool ElfReadAt(int fd, void* buffer, size_t length, uint64_t offset) {
  auto* p = static_cast<unsigned char*>(buffer);
  while (length > 0) {
    ssize_t n = pread(fd, p, length, static_cast<off_t>(offset));
    if (n <= 0) return false;
    p += n;
    offset += static_cast<uint64_t>(n);
    length -= static_cast<size_t>(n);
  }
  return true;
}

uint64_t ElfGet(const ElfImage& image, const unsigned char* p, size_t width) {
  return GetField(p, width, image.bigEndian);
}

void ElfPut(const ElfImage& image, unsigned char* p, size_t width, uint64_t value) {
  for (size_t i = 0; i < width; ++i, value >>= 8)
    p[image.bigEndian ? width - 1 - i : i] = static_cast<unsigned char>(value);
}

std::optional<ElfImage> ReadElfImage(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  uint64_t fileSize = static_cast<uint64_t>(st.st_size);
  unsigned char header[64];
  if (fileSize < 52 || !ElfReadAt(fd, header, std::min<uint64_t>(sizeof header, fileSize), 0))
    return std::nullopt;
  if (header[EI_MAG0] != ELFMAG0 || header[EI_MAG1] != ELFMAG1 || header[EI_MAG2] != ELFMAG2 ||
      header[EI_MAG3] != ELFMAG3)
    return std::nullopt;
  ElfImage image;
  if (header[EI_CLASS] != ELFCLASS32 && header[EI_CLASS] != ELFCLASS64) return std::nullopt;
  if (header[EI_DATA] != ELFDATA2LSB && header[EI_DATA] != ELFDATA2MSB) return std::nullopt;
  image.is64 = header[EI_CLASS] == ELFCLASS64;
  image.bigEndian = header[EI_DATA] == ELFDATA2MSB;
  if (image.is64 && fileSize < 64) return std::nullopt;
  Reader h{header, image.bigEndian};
  // Offsets of the header's fields that differ between the two classes.
  const size_t word = image.is64 ? 8 : 4;
  image.machine = static_cast<uint16_t>(h.Get(18, 2));
  uint64_t phoff = h.Get(24 + word, word), shoff = h.Get(24 + 2 * word, word);
  size_t rest = 24 + 3 * word + 4;  // e_flags, then e_ehsize
  uint64_t ehsize = h.Get(rest, 2), phentsize = h.Get(rest + 2, 2), phnum = h.Get(rest + 4, 2);
  uint64_t shentsize = h.Get(rest + 6, 2), shnum = h.Get(rest + 8, 2);
  uint64_t minPh = image.is64 ? 56 : 32, minSh = image.is64 ? 64 : 40;
  if (ehsize > fileSize) return std::nullopt;
  uint64_t end = std::max<uint64_t>(ehsize, image.is64 ? 64 : 52);

  if (phnum > 0) {
    uint64_t tableEnd;
    if (phentsize < minPh || !TableEnd(phoff, phnum, phentsize, fileSize, &tableEnd)) return std::nullopt;
    end = std::max(end, tableEnd);
    std::vector<unsigned char> table(static_cast<size_t>(phnum * phentsize));
    if (!ElfReadAt(fd, table.data(), table.size(), phoff)) return std::nullopt;
    for (uint64_t i = 0; i < phnum; ++i) {
      Reader p{table.data() + i * phentsize, image.bigEndian};
      uint64_t offset = image.is64 ? p.Get(8, 8) : p.Get(4, 4);
      uint64_t fileBytes = image.is64 ? p.Get(32, 8) : p.Get(16, 4);
      uint64_t segmentEnd;
      if (!TableEnd(offset, 1, fileBytes, fileSize, &segmentEnd)) return std::nullopt;
      end = std::max(end, segmentEnd);
    }
  }

  if (shoff != 0) {
    if (shentsize < minSh) return std::nullopt;
    // With 0xFF00 sections or more, the count lives in the first section's size.
    if (shnum == 0) {
      unsigned char first[64];
      if (shoff > fileSize || fileSize - shoff < minSh || !ElfReadAt(fd, first, minSh, shoff))
        return std::nullopt;
      Reader s{first, image.bigEndian};
      shnum = image.is64 ? s.Get(32, 8) : s.Get(20, 4);
    }
    uint64_t tableEnd;
    if (shnum > kMaxSections || !TableEnd(shoff, shnum, shentsize, fileSize, &tableEnd)) return std::nullopt;
    end = std::max(end, tableEnd);
    std::vector<unsigned char> table(static_cast<size_t>(shnum * shentsize));
    if (!ElfReadAt(fd, table.data(), table.size(), shoff)) return std::nullopt;
    for (uint64_t i = 0; i < shnum; ++i) {
      Reader s{table.data() + i * shentsize, image.bigEndian};
      if (s.Get(4, 4) == SHT_NOBITS || s.Get(4, 4) == SHT_NULL) continue;
      uint64_t offset = image.is64 ? s.Get(24, 8) : s.Get(16, 4);
      uint64_t size = image.is64 ? s.Get(32, 8) : s.Get(20, 4);
      uint64_t sectionEnd;
      if (!TableEnd(offset, 1, size, fileSize, &sectionEnd)) return std::nullopt;
      end = std::max(end, sectionEnd);
    }
  }
  image.imageEnd = end;
  return image;
}

const char* ElfArchName(const ElfImage& image) {
  switch (image.machine) {
    case EM_X86_64:
      return image.is64 ? "amd64" : nullptr;
    case EM_386:
      return "i386";
    case EM_AARCH64:
      return "aarch64";
    case EM_ARM:
      return "arm";
    case EM_PPC64:
      return image.bigEndian ? "ppc64" : "ppc64le";
    case EM_S390:
      return image.is64 ? "s390x" : nullptr;
    case EM_SPARCV9:
      return "sparcv9";
    case EM_SPARC:
    case EM_SPARC32PLUS:
      return "sparc";
    case EM_RISCV:
      return image.is64 ? "riscv64" : nullptr;
    default:
      return nullptr;
  }
}
