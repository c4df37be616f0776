// A small ELF file laid out by hand, of either class and byte order, for
// the tests of mksetup's ELF reader; and the headers of a real one.
#pragma once

#include <elf.h>
#include <fcntl.h>

#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/elf_image.h"
#include "base/unique_fd.h"

namespace test {

/// The headers of the ELF file at path.
inline std::optional<ElfImage> ElfImageOf(const std::string& path) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  return fd.valid() ? ReadElfImage(fd.get()) : std::nullopt;
}

// A small ELF file of either class and byte order, laid out by hand: one
// loaded segment (at an address unlike its offset) holding the headers, a
// dynamic segment, its string table and version needs, and no sections.
struct SyntheticElf {
  ElfImage image;
  std::string data;
  size_t dynamic = 0, strings = 0, verneed = 0;

  void Put(size_t at, size_t width, uint64_t value) {
    ElfPut(image, reinterpret_cast<unsigned char*>(&data[at]), width, value);
  }
  // The dynamic entry i: its tag and value.
  void PutDynamic(size_t i, uint64_t tag, uint64_t value) {
    size_t word = image.is64 ? 8 : 4;
    Put(dynamic + i * 2 * word, word, tag);
    Put(dynamic + i * 2 * word + word, word, value);
  }
};

constexpr uint64_t kSyntheticBase = 0x400000;
constexpr char kSyntheticStrings[] =
    "\0libc.so.6\0libm.so.6\0libstdc++.so.6\0GLIBC_2.17\0GLIBC_2.34\0GLIBC_2.2.5\0GLIBCXX_3.4.30";
inline size_t StringAt(const char* name) {
  std::string table(kSyntheticStrings, sizeof kSyntheticStrings);
  return table.find(std::string(1, '\0') + name + '\0') + 1;
}

inline SyntheticElf MakeSyntheticElf(bool is64, bool bigEndian) {
  SyntheticElf s;
  s.image.is64 = is64;
  s.image.bigEndian = bigEndian;
  const size_t word = is64 ? 8 : 4, ehsize = is64 ? 64 : 52, phentsize = is64 ? 56 : 32;
  const size_t dynamicEntries = 8;
  s.dynamic = ehsize + 2 * phentsize;
  s.strings = s.dynamic + dynamicEntries * 2 * word;
  s.verneed = (s.strings + sizeof kSyntheticStrings + 3) / 4 * 4;
  s.data.assign(s.verneed + 7 * 16, '\0');
  memcpy(&s.data[0], ELFMAG, SELFMAG);
  s.data[EI_CLASS] = is64 ? ELFCLASS64 : ELFCLASS32;
  s.data[EI_DATA] = bigEndian ? ELFDATA2MSB : ELFDATA2LSB;
  s.data[EI_VERSION] = EV_CURRENT;
  s.Put(16, 2, ET_DYN);
  s.Put(18, 2, is64 ? EM_PPC64 : EM_ARM);
  s.Put(20, 4, EV_CURRENT);
  s.Put(24 + word, word, ehsize);  // e_phoff
  const size_t rest = 24 + 3 * word + 4;
  s.Put(rest, 2, ehsize);
  s.Put(rest + 2, 2, phentsize);
  s.Put(rest + 4, 2, 2);
  // PT_LOAD of the whole file, then PT_DYNAMIC.
  for (size_t i = 0; i < 2; ++i) {
    size_t p = ehsize + i * phentsize;
    uint64_t offset = i == 0 ? 0 : s.dynamic, size = i == 0 ? s.data.size() : dynamicEntries * 2 * word;
    s.Put(p, 4, i == 0 ? PT_LOAD : PT_DYNAMIC);
    s.Put(p + (is64 ? 8 : 4), word, offset);
    s.Put(p + (is64 ? 16 : 8), word, kSyntheticBase + offset);
    s.Put(p + (is64 ? 32 : 16), word, size);
    s.Put(p + (is64 ? 40 : 20), word, size);
  }
  s.PutDynamic(0, DT_NEEDED, StringAt("libc.so.6"));
  s.PutDynamic(1, DT_NEEDED, StringAt("libm.so.6"));
  s.PutDynamic(2, DT_NEEDED, StringAt("libstdc++.so.6"));
  s.PutDynamic(3, DT_STRTAB, kSyntheticBase + s.strings);
  s.PutDynamic(4, DT_STRSZ, sizeof kSyntheticStrings);
  s.PutDynamic(5, DT_VERNEED, kSyntheticBase + s.verneed);
  s.PutDynamic(6, DT_VERNEEDNUM, 3);
  memcpy(&s.data[s.strings], kSyntheticStrings, sizeof kSyntheticStrings);
  // libc.so.6: GLIBC_2.17 and a weak GLIBC_2.34; libm.so.6: GLIBC_2.2.5;
  // libstdc++.so.6: GLIBCXX_3.4.30.
  struct Record {
    const char* file;
    std::vector<std::pair<const char*, bool>> versions;
  };
  const Record records[] = {{"libc.so.6", {{"GLIBC_2.17", false}, {"GLIBC_2.34", true}}},
                            {"libm.so.6", {{"GLIBC_2.2.5", false}}},
                            {"libstdc++.so.6", {{"GLIBCXX_3.4.30", false}}}};
  size_t at = s.verneed;
  for (size_t r = 0; r < 3; ++r) {
    size_t count = records[r].versions.size();
    s.Put(at, 2, VER_NEED_CURRENT);
    s.Put(at + 2, 2, count);
    s.Put(at + 4, 4, StringAt(records[r].file));
    s.Put(at + 8, 4, 16);
    s.Put(at + 12, 4, r == 2 ? 0 : 16 * (count + 1));
    for (size_t v = 0; v < count; ++v) {
      size_t aux = at + 16 * (v + 1);
      s.Put(aux + 4, 2, records[r].versions[v].second ? VER_FLG_WEAK : 0);
      s.Put(aux + 8, 4, StringAt(records[r].versions[v].first));
      s.Put(aux + 12, 4, v + 1 == count ? 0 : 16);
    }
    at += 16 * (count + 1);
  }
  return s;
}

}  // namespace test
