// Payload extraction.
#include "archive/unzip.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "archive/parallel_write.h"

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

// The work of one batch of an extraction: its files, written in parallel,
// and the directories made for them, each with the entry that made it.
struct Batch {
  std::vector<FileTask> files;
  std::unordered_set<std::string> paths;  // of the files, resolved (ResolveEntryName)
  std::vector<std::pair<int, std::string>> made;

  // True when the resolved path, or a directory that it needs, is a file of
  // the batch: an entry that replaces another, in any spelling, or that
  // turns a file into a directory. Those take effect in archive order, so
  // the batch is written first.
  bool Conflicts(const std::string& path) const {
    if (paths.empty()) return false;
    for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
      if (paths.count(path.substr(0, slash)) != 0) return true;
    }
    return paths.count(path) != 0;
  }
};

// Makes the directories of path, relative to dirFd: each cut of the path at
// a "/" is made a directory (a non-directory standing there, a link among
// them, is removed first), and recorded in batch for entry index. Returns
// true when nothing follows the last separator, that is, when the entry is
// a directory entry.
bool makeDirectories(int dirFd, char* path, MadeDirectories* made, Batch* batch, int index) {
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
      if (mkdirat(dirFd, path, 0700) == 0) {
        isDirectory = true;
        batch->made.emplace_back(index, std::string(path, length));
      }
      verified = verified && isDirectory;
      if (verified) made->Add(path, length);
    }
    if (p[1] == '\0') return true;
    *p = '/';
  }
  return false;
}

// Writes the batch's files and returns the position of the first entry
// that failed, in archive order (failed, an entry that could not be planned,
// when none of the files failed before it; -1 for none). What was made for
// entries behind that one is taken away again, so that an extraction ends
// where its first failure is, as if it had gone entry by entry; the written
// entries are marked in zip->extracted.
int WriteBatch(ZipFile* zip, int dirFd, Batch* batch, int failed) {
  WriteFiles(zip->fd.get(), dirFd, &batch->files);
  // A signal ends the run here, after every thread has stopped.
  HandlePendingSignal();
  int first = failed;
  for (const FileTask& file : batch->files) {
    if (!file.written && (first < 0 || file.index < first)) first = file.index;
  }
  for (const FileTask& file : batch->files) {
    if (first >= 0 && file.index > first) {
      if (file.started) unlinkat(dirFd, file.path.c_str(), 0);
    } else {
      zip->extracted[static_cast<size_t>(file.index)] = file.written;
    }
  }
  for (auto made = batch->made.rbegin(); first >= 0 && made != batch->made.rend(); ++made) {
    if (made->first > first) unlinkat(dirFd, made->second.c_str(), AT_REMOVEDIR);
  }
  batch->files.clear();
  batch->paths.clear();
  batch->made.clear();
  return first;
}

// Calls visit(component, length) for each component of name, split at
// every "/" byte as the kernel splits the path it becomes part of, for as
// long as visit returns true. Returns false when visit did.
template <typename Visit>
bool EveryComponent(const char* name, Visit visit) {
  for (const char* start = name;;) {
    const char* slash = strchr(start, '/');
    size_t length = slash != nullptr ? static_cast<size_t>(slash - start) : strlen(start);
    if (!visit(start, length)) return false;
    if (slash == nullptr) return true;
    start = slash + 1;
  }
}

}  // namespace

bool IsSafeEntryName(const char* name) {
  return EveryComponent(name, [](const char* component, size_t length) {
    return !(length == 2 && component[0] == '.' && component[1] == '.');
  });
}

std::string ResolveEntryName(const char* name) {
  std::string resolved;
  EveryComponent(name, [&resolved](const char* component, size_t length) {
    if (length == 0 || (length == 1 && component[0] == '.')) return true;
    if (!resolved.empty()) resolved += '/';
    resolved.append(component, length);
    return true;
  });
  return resolved;
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
  // The entries are gone through in archive order, their directories made
  // at once and their files handed to the worker threads in batches.
  MadeDirectories made;
  Batch batch;
  std::string path;
  for (int i = 0; i < zip->entryCount(); ++i) {
    HandlePendingSignal();
    if (zip->extracted[static_cast<size_t>(i)]) continue;
    ZipEntry* entry = zipGetNextEntry(zip, i);
    const char* name = entry != nullptr ? entry->name.c_str() : "";
    // Names are compared as the file system resolves them, so that no
    // spelling of a file ("a//b", "./a/b") sets it apart from the others.
    std::string resolved = ResolveEntryName(name);
    bool selected =
        entry != nullptr && (prefix == nullptr || strncmp(resolved.c_str(), prefix, prefixLength) == 0);
    if (entry != nullptr && !selected) {
      zipFreeEntry(zip, entry);
      continue;
    }
    // Nothing is made for an entry that can't be read or whose name is not safe.
    if (entry == nullptr || !IsSafeEntryName(name)) {
      zipFreeEntry(zip, entry);
      WriteBatch(zip, dirFd, &batch, i);
      return false;
    }
    // A name of slashes only stands for the directory itself.
    path.assign(name + strspn(name, "/"));
    EntryData data = {entry->dataOffset, entry->size, entry->compressedSize, entry->crc};
    zipFreeEntry(zip, entry);
    if (batch.Conflicts(resolved) && WriteBatch(zip, dirFd, &batch, -1) >= 0) return false;
    if (path.empty() || makeDirectories(dirFd, &path[0], &made, &batch, i)) {
      zip->extracted[static_cast<size_t>(i)] = true;
      continue;
    }
    batch.paths.insert(resolved);
    FileTask file;
    file.index = i;
    file.path = path;
    file.data = data;
    batch.files.push_back(std::move(file));
  }
  return WriteBatch(zip, dirFd, &batch, -1) < 0;
}
