// Payload extraction.
#include "archive/unzip.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>

#include "base/elf_image.h"
#include "base/mbstring.h"
#include "base/signals.h"
#include "base/unique_fd.h"

namespace {

// The deepest directory this extraction has made or found, all of whose
// leading parts are directories too. Nothing in an extraction turns a
// directory back into something else, so these need no second look.
class MadeDirectories {
 public:
  // True when the first length bytes of path name one of them.
  bool Covers(const char* path, size_t length) const {
    return length <= deepest_.size() && memcmp(deepest_.data(), path, length) == 0 &&
           (length == deepest_.size() || deepest_[length] == '/');
  }
  void Add(const char* path, size_t length) { deepest_.assign(path, length); }

 private:
  std::string deepest_;
};

// Makes the directories of path, relative to dirFd: each cut of the path at
// a "/" is made a directory (a non-directory standing there, a link among
// them, is removed first). Returns true when nothing follows the last
// separator, that is, when the entry is a directory entry.
bool makeDirectories(int dirFd, char* path, MadeDirectories* made) {
  bool verified = true;
  for (char* p = const_cast<char*>(_strchr(path, '/')); p != nullptr;
       p = const_cast<char*>(_strchr(p + 1, '/'))) {
    *p = '\0';
    size_t length = static_cast<size_t>(p - path);
    if (!verified || !made->Covers(path, length)) {
      struct stat st;
      bool isDirectory = false;
      if (fstatat(dirFd, path, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        isDirectory = S_ISDIR(st.st_mode);
        if (!isDirectory) unlinkat(dirFd, path, 0);
      }
      // A failure shows up when the entry's file can't be opened.
      if (mkdirat(dirFd, path, 0700) == 0) isDirectory = true;
      verified = verified && isDirectory;
      if (verified) made->Add(path, length);
    }
    if (p[1] == '\0') return true;
    *p = '/';
  }
  return false;
}

// Writes the entry into the file name below dirFd; a link there is not
// followed.
bool WriteFile(ZipFile* zip, ZipEntry* entry, int dirFd, const std::string& name) {
  UniqueFd fd(openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0700));
  return fd.valid() && zipWriteEntry(zip, entry, fd.get());
}

}  // namespace

bool IsSafeEntryName(const char* name) {
  for (const char* start = name;;) {
    const char* slash = strchr(start, '/');
    size_t length = slash != nullptr ? static_cast<size_t>(slash - start) : strlen(start);
    if (length == 2 && start[0] == '.' && start[1] == '.') return false;
    if (slash == nullptr) return true;
    start = slash + 1;
  }
}

bool SumEntrySizes(ZipFile* zip, uint64_t* total) {
  *total = 0;
  for (int i = 0; i < zip->entryCount(); ++i) {
    ZipEntry* entry = zipGetNextEntry(zip, i);
    if (entry == nullptr) return false;
    // The index refuses sizes of 2 GiB and more.
    *total += static_cast<uint64_t>(entry->size);
    zipFreeEntry(zip, entry);
  }
  return true;
}

ZipFile* OpenPayload(const char* path, ZipError* error) {
  ZipError why;
  ZipFile* zip = zipOpen(path, &why);
  if (why == ZipError::kNoArchive) {
    UniqueFd fd(open(path, O_RDONLY | O_CLOEXEC));
    struct stat st;
    std::optional<ElfImage> image = fd.valid() ? ReadElfImage(fd.get()) : std::nullopt;
    if (image && fstat(fd.get(), &st) == 0 && static_cast<uint64_t>(st.st_size) > image->imageEnd)
      why = ZipError::kDamaged;
  }
  if (error != nullptr) *error = why;
  return zip;
}

bool UnzipFiles(ZipFile* zip, int dirFd, const char* prefix) {
  struct stat directory;
  if (zip == nullptr || fstat(dirFd, &directory) != 0 || !S_ISDIR(directory.st_mode)) return false;
  size_t prefixLength = prefix != nullptr ? strlen(prefix) : 0;
  // The launcher extracts the payload's runtime first and the whole payload
  // after it: the runtime, the largest part, is inflated and written once.
  std::string identity = std::to_string(directory.st_dev) + ":" + std::to_string(directory.st_ino);
  if (zip->extractedTo != identity || zip->extracted.size() != zip->cells.size()) {
    zip->extractedTo = identity;
    zip->extracted.assign(zip->cells.size(), false);
  }
  MadeDirectories made;
  std::string path;
  for (int i = 0; i < zip->entryCount(); ++i) {
    HandlePendingSignal();
    if (zip->extracted[i]) continue;
    ZipEntry* entry = zipGetNextEntry(zip, i);
    if (entry == nullptr) return false;
    const char* name = entry->name.c_str();
    bool selected = prefix == nullptr || strncmp(name, prefix, prefixLength) == 0;
    bool written = !selected;
    if (selected && IsSafeEntryName(name)) {
      // A name of slashes only stands for the directory itself.
      path.assign(name + strspn(name, "/"));
      written = path.empty() || makeDirectories(dirFd, &path[0], &made) || WriteFile(zip, entry, dirFd, path);
      zip->extracted[i] = written;
    }
    zipFreeEntry(zip, entry);
    if (!written) return false;
  }
  return true;
}
