// Payload extraction.
#include "archive/unzip.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/mbstring.h"
#include "core/memory.h"

namespace {

constexpr size_t kFirstPathSize = 1025;

// True when name has a ".." component. The components are split at every
// "/" byte, multibyte characters or not, because that is how the kernel
// resolves the path the name becomes part of.
bool hasParentComponent(const char* name) {
  for (const char* start = name;;) {
    const char* slash = strchr(start, '/');
    size_t length = slash != nullptr ? static_cast<size_t>(slash - start) : strlen(start);
    if (length == 2 && start[0] == '.' && start[1] == '.') return true;
    if (slash == nullptr) return false;
    start = slash + 1;
  }
}

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

// Makes the directories of path from the separator at first on: each cut of
// the path at a "/" is made a directory (a non-directory standing there is
// removed first). Returns true when nothing follows the last separator, that
// is, when the entry is a directory entry.
bool makeDirectories(char* path, char* first, MadeDirectories* made) {
  bool verified = true;
  for (char* p = first; p != nullptr; p = const_cast<char*>(_strchr(p + 1, '/'))) {
    *p = '\0';
    size_t length = static_cast<size_t>(p - path);
    if (!verified || !made->Covers(path, length)) {
      struct stat st;
      bool isDirectory = false;
      if (stat(path, &st) == 0) {
        isDirectory = S_ISDIR(st.st_mode);
        if (!isDirectory) unlink(path);
      }
      // A failure shows up when the entry's file can't be opened.
      if (mkdir(path, 0700) == 0) isDirectory = true;
      verified = verified && isDirectory;
      if (verified) made->Add(path, length);
    }
    if (p[1] == '\0') return true;
    *p = '/';
  }
  return false;
}

}  // namespace

int UnzipFiles(ZipFile* zip, const char* destination, const char* prefix) {
  if (zip == nullptr || destination == nullptr) return 0;
  size_t size = kFirstPathSize;
  char* path = static_cast<char*>(MemAlloc(size));
  size_t destinationLength = strlen(destination);
  size_t prefixLength = prefix != nullptr ? strlen(prefix) : 0;
  MadeDirectories made;
  int result = 1;
  for (int i = 0;; ++i) {
    ZipEntry* entry = zipGetNextEntry(zip, i);
    if (entry == nullptr) break;
    if (prefix != nullptr && strncmp(entry->name, prefix, prefixLength) != 0) {
      zipFreeEntry(zip, entry);
      continue;
    }
    // A name must not lead out of the destination.
    if (hasParentComponent(entry->name)) {
      zipFreeEntry(zip, entry);
      result = 0;
      break;
    }
    size_t needed = destinationLength + strlen(entry->name) + 2;
    if (needed > size) {
      free(path);
      size = needed;
      path = static_cast<char*>(MemAlloc(size));
    }
    snprintf(path, size, "%s/%s", destination, entry->name);
    bool written = makeDirectories(path, path + destinationLength, &made) || zipReadEntry(zip, entry, path);
    zipFreeEntry(zip, entry);
    if (!written) {
      result = 0;
      break;
    }
  }
  free(path);
  return result;
}
