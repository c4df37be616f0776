// libFuzzer target: opens a byte string as an archive, looks its entries up,
// reads them and extracts it into $BRAMLET_FUZZ_WORK (or a fresh directory),
// aborting at any broken promise of the reader. Every path the reader
// creates, writes or removes passes through the --wrap wrappers below, which
// abort before anything is done outside the destination: by path, or below
// the destination's descriptor by a relative path without "..".
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/unzip.h"
#include "archive/zip.h"
#include "archive/zip_internal.h"

extern "C" {
int __real_open(const char* path, int flags, ...);
int __real_mkdir(const char* path, mode_t mode);
int __real_unlink(const char* path);
int __real_openat(int dirFd, const char* path, int flags, ...);
int __real_mkdirat(int dirFd, const char* path, mode_t mode);
int __real_unlinkat(int dirFd, const char* path, int flags);
}

namespace {

std::string archive, otherName /* the same path written another way */, destination;
int destinationFd = -1;
bool checking = false;  // while the reader runs; libFuzzer's own calls go through

// Aborts unless path is the destination or below it, with no ".." on the way.
void Check(const char* what, const char* path) {
  if (!checking) return;
  std::string p = path;
  size_t n = destination.size();
  if (p.compare(0, n, destination) == 0 && (p.size() == n || p[n] == '/') &&
      (p + "/").find("/../", n) == std::string::npos)
    return;
  fprintf(stderr, "%s outside the destination: %s\n", what, path);
  abort();
}

// Aborts unless path, relative to dirFd, is the destination or below it.
void CheckAt(const char* what, int dirFd, const char* path) {
  if (!checking || dirFd == AT_FDCWD) return Check(what, path);
  if (dirFd == destinationFd && path[0] != '/' &&
      ("/" + std::string(path) + "/").find("/../") == std::string::npos)
    return;
  fprintf(stderr, "%s outside the destination: %s (descriptor %d)\n", what, path, dirFd);
  abort();
}

[[noreturn]] void Fail(const char* what, const char* name) {
  fprintf(stderr, "%s: %s\n", what, name);
  abort();
}

// The reader's promises about one entry, by position and by name.
void CheckEntry(ZipFile* zip, int index) {
  ZipEntry* entry = zipGetNextEntry(zip, index);
  if (entry == nullptr) {
    if (zip->lastError == nullptr) Fail("an entry that can't be read says no why", "");
    return;
  }
  std::string name = entry->name;
  char buffer[64];
  int32_t limit = entry->compressedSize != 0 ? entry->compressedSize : entry->size;
  int32_t n = zipRead(zip, entry, 0, buffer, sizeof buffer);
  if (n > static_cast<int32_t>(sizeof buffer) || (limit > 0 && n > limit) ||
      zipRead(zip, entry, limit, buffer, 1) != -1)
    Fail("a read beyond the entry", name.c_str());
  // Given back, it is the cached entry, and its name finds it there.
  zipFreeEntry(zip, entry);
  if (zip->cachedEntry.get() != entry || zipGetEntry(zip, name.c_str()) != entry)
    Fail("the cache lost", name.c_str());
  zipFreeEntry(zip, entry);
  zipFreeEntry(zip, nullptr);
  // Through the hash chains, an entry whose local name hashes as its central
  // one is found by that name (or a later one of the same name), and is
  // among the meta names when it begins with "META-INF/" in any case.
  if (hash(name.c_str()) != zip->cells[static_cast<size_t>(index)].nameHash) return;
  int32_t size = -1, nameLength = -1;
  ZipEntry* found = zipFindEntry(zip, name.c_str(), &size, &nameLength);
  if (found == nullptr || found->name != name || size != found->size ||
      nameLength != static_cast<int32_t>(strlen(name.c_str())))
    Fail("a name not found by its hash", name.c_str());
  zipFreeEntry(zip, found);
  if (strncasecmp(name.c_str(), "META-INF/", 9) == 0 &&
      std::find(zip->metaNames.begin(), zip->metaNames.end(), name) == zip->metaNames.end())
    Fail("a meta name missing", name.c_str());
}

}  // namespace

extern "C" {

int __wrap_open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  auto mode = static_cast<mode_t>((flags & O_CREAT) ? va_arg(args, int) : 0);
  va_end(args);
  if ((flags & O_ACCMODE) != O_RDONLY || (flags & (O_CREAT | O_TRUNC))) Check("open for writing", path);
  return __real_open(path, flags, mode);
}

int __wrap_mkdir(const char* path, mode_t mode) {
  Check("mkdir", path);
  return __real_mkdir(path, mode);
}

int __wrap_unlink(const char* path) {
  Check("unlink", path);
  return __real_unlink(path);
}

int __wrap_openat(int dirFd, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  auto mode = static_cast<mode_t>((flags & O_CREAT) ? va_arg(args, int) : 0);
  va_end(args);
  if ((flags & O_ACCMODE) != O_RDONLY || (flags & (O_CREAT | O_TRUNC)))
    CheckAt("openat for writing", dirFd, path);
  return __real_openat(dirFd, path, flags, mode);
}

int __wrap_mkdirat(int dirFd, const char* path, mode_t mode) {
  CheckAt("mkdirat", dirFd, path);
  return __real_mkdirat(dirFd, path, mode);
}

int __wrap_unlinkat(int dirFd, const char* path, int flags) {
  CheckAt("unlinkat", dirFd, path);
  return __real_unlinkat(dirFd, path, flags);
}

int LLVMFuzzerInitialize(int*, char***) {
  char scratch[] = "/tmp/zip_fuzz.XXXXXX";
  const char* work = getenv("BRAMLET_FUZZ_WORK");
  if (work == nullptr && (work = mkdtemp(scratch)) == nullptr) abort();
  archive = work + std::string("/input.zip");
  otherName = work + std::string("//input.zip");
  destination = work + std::string("/out");
  return 0;
}

int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!std::ofstream(archive, std::ios::binary).write(reinterpret_cast<const char*>(data), size)) abort();
  checking = true;
  if (ZipFile* zip = zipOpen(archive.c_str(), nullptr)) {
    // The same path string shares the record; another string names another.
    if (zipOpen(archive.c_str(), nullptr) != zip || zip->refCount != 2) Fail("a record not shared", "");
    zipClose(zip);
    ZipFile* other = zipOpen(otherName.c_str(), nullptr);
    if (other == zip) Fail("a record shared by another name", "");
    zipClose(other);
    for (int i = 0; i < zip->entryCount() && i < 64; ++i) CheckEntry(zip, i);
    bool whole = size == 0 || (data[0] & 1) == 0;
    checking = false;
    __real_mkdir(destination.c_str(), 0700);
    destinationFd = __real_open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    checking = true;
    // After a successful extraction of the whole archive, every entry is there.
    bool extracted = UnzipFiles(zip, destinationFd, whole ? nullptr : "a");
    close(destinationFd);
    if (extracted && whole) {
      checking = false;
      for (int i = 0; i < zip->entryCount(); ++i) {
        ZipEntry* entry = zipGetNextEntry(zip, i);
        struct stat st;
        if (entry == nullptr || lstat((destination + "/" + entry->name).c_str(), &st) != 0)
          Fail("an entry missing after a successful extraction", entry ? entry->name.c_str() : "");
        zipFreeEntry(zip, entry);
      }
    }
    zipClose(zip);
  }
  checking = false;
  std::error_code ignored;
  std::filesystem::remove_all(destination, ignored);
  return 0;
}

}  // extern "C"
