// Payload extraction.
#include "archive/unzip.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "base/mbstring.h"
#include "base/signals.h"

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

bool UnzipFiles(ZipFile* zip, const char* destination, const char* prefix) {
  if (zip == nullptr || destination == nullptr) return false;
  size_t destinationLength = strlen(destination);
  size_t prefixLength = prefix != nullptr ? strlen(prefix) : 0;
  // The launcher extracts the payload's runtime first and the whole payload
  // after it: the runtime, the largest part, is inflated and written once.
  if (zip->extractedTo != destination || zip->extracted.size() != zip->cells.size()) {
    zip->extractedTo = destination;
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
      path.assign(destination).append("/").append(entry->name);
      written = makeDirectories(&path[0], &path[destinationLength], &made) ||
                zipReadEntry(zip, entry, path.c_str());
      zip->extracted[i] = written;
    }
    zipFreeEntry(zip, entry);
    if (!written) return false;
  }
  return true;
}
