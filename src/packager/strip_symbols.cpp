#include "packager/strip_symbols.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/elf_image.h"
#include "base/unique_fd.h"

namespace {

bool Fail(const std::string& path, std::string* err) {
  *err = path + ": " + strerror(errno);
  return false;
}

bool ReadAll(int fd, std::vector<unsigned char>* data) {
  struct stat st;
  if (fstat(fd, &st) != 0) return false;
  data->resize(static_cast<size_t>(st.st_size));
  for (size_t done = 0; done < data->size();) {
    ssize_t n = pread(fd, data->data() + done, data->size() - done, static_cast<off_t>(done));
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool WriteAll(int fd, const std::vector<unsigned char>& data) {
  for (size_t done = 0; done < data.size();) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool StripSymbols(const std::string& path, std::string* err) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return Fail(path, err);
  std::optional<ElfImage> image = ReadElfImage(fd.get());
  if (!image) return true;
  std::vector<unsigned char> data;
  if (!ReadAll(fd.get(), &data)) return Fail(path, err);
  struct stat st;
  if (fstat(fd.get(), &st) != 0) return Fail(path, err);
  fd.reset();

  // The header's fields that follow the two classes' word size. ReadElfImage
  // has checked that every table lies inside the file.
  auto get = [&](uint64_t at, size_t width) { return ElfGet(*image, data.data() + at, width); };
  const size_t word = image->is64 ? 8 : 4, rest = 24 + 3 * word + 4;
  const uint64_t phoff = get(24 + word, word), shoff = get(24 + 2 * word, word);
  const uint64_t phentsize = get(rest + 2, 2), phnum = get(rest + 4, 2);
  const uint64_t shentsize = get(rest + 6, 2), shnum = get(rest + 8, 2), shstrndx = get(rest + 10, 2);
  // Extended numbering is left alone: no runtime's library needs it.
  if (shoff == 0 || shnum == 0 || shstrndx == SHN_UNDEF || shstrndx >= shnum) return true;

  uint64_t loadedEnd = std::max<uint64_t>(get(rest, 2), phoff + phnum * phentsize);
  for (uint64_t i = 0; i < phnum; ++i) {
    uint64_t p = phoff + i * phentsize;
    uint64_t offset = image->is64 ? get(p + 8, 8) : get(p + 4, 4);
    uint64_t fileBytes = image->is64 ? get(p + 32, 8) : get(p + 16, 4);
    loadedEnd = std::max(loadedEnd, offset + fileBytes);
  }
  auto section = [&](uint64_t i) { return shoff + i * shentsize; };
  const uint64_t flagsAt = 8, offsetAt = 8 + 2 * word, sizeAt = 8 + 3 * word, linkAt = 8 + 4 * word;
  std::vector<uint64_t> newIndex(shnum, 0);
  std::vector<uint64_t> kept;
  for (uint64_t i = 0; i < shnum; ++i) {
    uint64_t h = section(i);
    bool loaded = (get(h + flagsAt, word) & SHF_ALLOC) != 0;
    if (i != 0 && !loaded && i != shstrndx) continue;
    newIndex[i] = kept.size();
    kept.push_back(i);
    if (loaded && get(h + 4, 4) != SHT_NOBITS)
      loadedEnd = std::max(loadedEnd, get(h + offsetAt, word) + get(h + sizeAt, word));
  }
  if (kept.size() == shnum) return true;

  // What is loaded, the section names, then the section table.
  std::vector<unsigned char> out(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(loadedEnd));
  uint64_t names = section(shstrndx), namesOffset = get(names + offsetAt, word),
           namesSize = get(names + sizeAt, word);
  uint64_t newNamesOffset = out.size();
  out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(namesOffset),
             data.begin() + static_cast<std::ptrdiff_t>(namesOffset + namesSize));
  out.resize((out.size() + word - 1) / word * word);
  uint64_t newShoff = out.size();
  for (uint64_t i : kept) {
    size_t at = out.size();
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(section(i)),
               data.begin() + static_cast<std::ptrdiff_t>(section(i) + shentsize));
    unsigned char* h = out.data() + at;
    uint64_t link = ElfGet(*image, h + linkAt, 4);
    ElfPut(*image, h + linkAt, 4, link < shnum ? newIndex[link] : 0);
    uint64_t type = ElfGet(*image, h + 4, 4), flags = ElfGet(*image, h + flagsAt, word);
    if (type == SHT_REL || type == SHT_RELA || (flags & SHF_INFO_LINK)) {
      uint64_t info = ElfGet(*image, h + linkAt + 4, 4);
      ElfPut(*image, h + linkAt + 4, 4, info < shnum ? newIndex[info] : 0);
    }
    if (i == shstrndx) ElfPut(*image, h + offsetAt, word, newNamesOffset);
  }
  ElfPut(*image, out.data() + 24 + 2 * word, word, newShoff);
  ElfPut(*image, out.data() + rest + 8, 2, kept.size());
  ElfPut(*image, out.data() + rest + 10, 2, newIndex[shstrndx]);

  std::string temporary = path + ".stripping";
  UniqueFd written(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777));
  if (!written.valid()) return Fail(temporary, err);
  if (!WriteAll(written.get(), out) || rename(temporary.c_str(), path.c_str()) != 0) {
    bool failed = Fail(path, err);
    unlink(temporary.c_str());
    return failed;
  }
  return true;
}
