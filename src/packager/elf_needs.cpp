// The dynamic segment is read as the loader reads it: its addresses are
// turned into file offsets through the loaded segments, and version records
// are followed by their links until a link of 0. Every read is bounded by
// the file, every address by the segment it lies in.
#include "packager/elf_needs.h"

#include <elf.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "base/elf_image.h"

namespace {

// More dynamic entries or version records than this are taken as damage:
// programs and libraries have a few dozen.
constexpr uint64_t kMaxRecords = 1u << 16;
// So are longer names: sonames and version names are short.
constexpr uint64_t kMaxName = 4096;
// A version record (Elf*_Verneed) and an entry of its list (Elf*_Vernaux)
// are 16 bytes in both classes.
constexpr uint64_t kVersionRecord = 16;

// The part of a loaded segment that comes from the file.
struct Load {
  uint64_t vaddr;
  uint64_t offset;
  uint64_t size;
};

struct File {
  int fd;
  ElfImage image;
  uint64_t size;
  std::vector<Load> loads;

  // length bytes at offset, when they lie inside the file.
  bool Read(uint64_t offset, unsigned char* buffer, uint64_t length) const {
    return offset <= size && length <= size - offset && ElfReadAt(fd, buffer, length, offset);
  }

  uint64_t Get(const unsigned char* p, size_t width) const { return ElfGet(image, p, width); }

  // The file offset of the length bytes at vaddr, when one loaded segment
  // holds them all.
  std::optional<uint64_t> OffsetOf(uint64_t vaddr, uint64_t length) const {
    for (const Load& load : loads) {
      if (vaddr < load.vaddr || vaddr - load.vaddr > load.size) continue;
      uint64_t into = vaddr - load.vaddr;
      if (length <= load.size - into) return load.offset + into;
    }
    return std::nullopt;
  }

  // length bytes at vaddr, when one loaded segment holds them.
  bool ReadLoaded(uint64_t vaddr, unsigned char* buffer, uint64_t length) const {
    std::optional<uint64_t> offset = OffsetOf(vaddr, length);
    return offset && Read(*offset, buffer, length);
  }
};

// The string table of the dynamic segment, in the file.
struct Strings {
  uint64_t offset;
  uint64_t size;
};

bool Damaged(const char* what, std::string* why) {
  *why = what;
  return false;
}

// Moves *at on by bytes; false when that would overflow.
bool Advance(uint64_t* at, uint64_t by) {
  if (by > UINT64_MAX - *at) return false;
  *at += by;
  return true;
}

// The name that begins index bytes into strings, which must end inside them.
bool ReadName(const File& file, const Strings& strings, uint64_t index, std::string* name) {
  if (index >= strings.size) return false;
  uint64_t length = std::min(strings.size - index, kMaxName);
  std::string text(length, '\0');
  if (!file.Read(strings.offset + index, reinterpret_cast<unsigned char*>(&text[0]), length)) return false;
  size_t end = text.find('\0');
  if (end == std::string::npos) return false;
  text.resize(end);
  *name = std::move(text);
  return true;
}

// Reads the program headers: the loaded segments into file->loads, and
// the first dynamic segment's place into *dynamic.
bool ReadProgramHeaders(File* file, std::optional<Load>* dynamic) {
  unsigned char header[64];
  const bool is64 = file->image.is64;
  if (!file->Read(0, header, is64 ? 64 : 52)) return false;
  const size_t word = is64 ? 8 : 4, rest = 24 + 3 * word + 4;
  const uint64_t phoff = file->Get(header + 24 + word, word);
  const uint64_t phentsize = file->Get(header + rest + 2, 2), phnum = file->Get(header + rest + 4, 2);
  for (uint64_t i = 0; i < phnum; ++i) {
    // ReadElfImage has checked that the table lies inside the file, with
    // entries of at least these sizes.
    unsigned char p[56];
    if (!file->Read(phoff + i * phentsize, p, is64 ? 56 : 32)) return false;
    uint64_t type = file->Get(p, 4);
    Load segment = is64 ? Load{file->Get(p + 16, 8), file->Get(p + 8, 8), file->Get(p + 32, 8)}
                        : Load{file->Get(p + 8, 4), file->Get(p + 4, 4), file->Get(p + 16, 4)};
    if (type == PT_LOAD) file->loads.push_back(segment);
    if (type == PT_DYNAMIC && !*dynamic) *dynamic = segment;
  }
  return true;
}

// What the dynamic segment's entries say, up to DT_NULL or the segment's end.
struct Dynamic {
  std::vector<uint64_t> needed;  // DT_NEEDED: indexes of names
  std::optional<uint64_t> strtab, verneed;
  uint64_t strsz = 0;
};

bool ReadDynamic(const File& file, const Load& segment, Dynamic* dynamic, std::string* why) {
  const size_t word = file.image.is64 ? 8 : 4;
  for (uint64_t i = 0; i < segment.size / (2 * word); ++i) {
    if (i >= kMaxRecords) return Damaged("its dynamic section has too many entries", why);
    unsigned char e[16];
    if (!file.Read(segment.offset + i * 2 * word, e, 2 * word))
      return Damaged("its dynamic section lies outside it", why);
    uint64_t tag = file.Get(e, word), value = file.Get(e + word, word);
    if (tag == DT_NULL) break;
    if (tag == DT_NEEDED) dynamic->needed.push_back(value);
    if (tag == DT_STRTAB) dynamic->strtab = value;
    if (tag == DT_STRSZ) dynamic->strsz = value;
    if (tag == DT_VERNEED) dynamic->verneed = value;
  }
  return true;
}

// Follows the version records from vaddr, and the list of versions of
// each, by their links as the loader does, into needs.
bool ReadVersionNeeds(const File& file, const Strings& strings, uint64_t vaddr, ElfNeeds* needs,
                      std::string* why) {
  const char* outside = "its version needs lie outside it";
  uint64_t records = 0;
  unsigned char r[kVersionRecord];
  for (uint64_t at = vaddr;;) {
    if (++records > kMaxRecords) return Damaged("it has too many version needs", why);
    if (!file.ReadLoaded(at, r, sizeof r)) return Damaged(outside, why);
    if (file.Get(r, 2) != VER_NEED_CURRENT) return Damaged("its version needs are of an unknown format", why);
    std::string library;
    if (!ReadName(file, strings, file.Get(r + 4, 4), &library))
      return Damaged("a library's name lies outside its string table", why);
    unsigned char a[kVersionRecord];
    for (uint64_t aux = at, next = file.Get(r + 8, 4);; next = file.Get(a + 12, 4)) {
      if (++records > kMaxRecords) return Damaged("it has too many version needs", why);
      if (!Advance(&aux, next) || !file.ReadLoaded(aux, a, sizeof a)) return Damaged(outside, why);
      ElfVersionNeed need;
      need.library = library;
      need.weak = (file.Get(a + 4, 2) & VER_FLG_WEAK) != 0;
      if (!ReadName(file, strings, file.Get(a + 8, 4), &need.version))
        return Damaged("a version's name lies outside its string table", why);
      needs->versions.push_back(std::move(need));
      if (file.Get(a + 12, 4) == 0) break;
    }
    uint64_t next = file.Get(r + 12, 4);
    if (next == 0) return true;
    if (!Advance(&at, next)) return Damaged(outside, why);
  }
}

}  // namespace

bool ReadElfNeeds(int fd, std::optional<ElfNeeds>* needs, std::string* why) {
  needs->reset();
  struct stat st;
  unsigned char magic[SELFMAG];
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) < SELFMAG ||
      !ElfReadAt(fd, magic, SELFMAG, 0) || memcmp(magic, ELFMAG, SELFMAG) != 0)
    return true;
  std::optional<ElfImage> image = ReadElfImage(fd);
  if (!image) return Damaged("its headers lie outside it or are of an unknown kind", why);
  File file{fd, *image, static_cast<uint64_t>(st.st_size), {}};
  std::optional<Load> segment;
  if (!ReadProgramHeaders(&file, &segment)) return Damaged("its program headers can't be read", why);
  Dynamic dynamic;
  if (segment && !ReadDynamic(file, *segment, &dynamic, why)) return false;
  ElfNeeds found;
  if (!dynamic.needed.empty() || dynamic.verneed) {
    std::optional<uint64_t> offset =
        dynamic.strtab ? file.OffsetOf(*dynamic.strtab, dynamic.strsz) : std::nullopt;
    if (!offset) return Damaged("its string table lies outside it", why);
    Strings strings{*offset, dynamic.strsz};
    for (uint64_t index : dynamic.needed) {
      std::string name;
      if (!ReadName(file, strings, index, &name))
        return Damaged("a library's name lies outside its string table", why);
      found.libraries.push_back(std::move(name));
    }
    if (dynamic.verneed && !ReadVersionNeeds(file, strings, *dynamic.verneed, &found, why)) return false;
  }
  *needs = std::move(found);
  return true;
}
