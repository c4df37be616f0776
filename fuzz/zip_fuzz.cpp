// libFuzzer target: opens an arbitrary byte string as an archive, looks its
// entries up, reads them and extracts it into a scratch directory.
//
// The scratch directory is $BRAMLET_FUZZ_WORK (a fresh directory under /tmp
// when unset). Every path that the reader creates, writes or removes passes
// through the wrappers below (the target is linked with --wrap): while the
// reader runs, one that leads outside the destination ends the run before
// anything is done.
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive/unzip.h"
#include "archive/zip.h"

extern "C" {
int __real_open(const char* path, int flags, ...);
int __real_mkdir(const char* path, mode_t mode);
int __real_unlink(const char* path);
}

namespace {

std::string work;
std::string archive;
std::string destination;
// Set while the reader runs; libFuzzer's own calls go through unchecked.
bool checking = false;

// True when path is the destination or lies below it, with no ".."
// component on the way.
bool InsideDestination(const char* path) {
  size_t n = destination.size();
  if (strncmp(path, destination.c_str(), n) != 0 || (path[n] != '\0' && path[n] != '/')) return false;
  for (const char* p = path + n; *p != '\0'; ++p) {
    if (p[0] == '/' && p[1] == '.' && p[2] == '.' && (p[3] == '/' || p[3] == '\0')) return false;
  }
  return true;
}

void Check(const char* what, const char* path) {
  if (!checking || InsideDestination(path)) return;
  fprintf(stderr, "%s outside the destination: %s\n", what, path);
  abort();
}

int RemoveOne(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

}  // namespace

extern "C" {

int __wrap_open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if (flags & O_CREAT) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
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

int LLVMFuzzerInitialize(int*, char***) {
  const char* given = getenv("BRAMLET_FUZZ_WORK");
  if (given != nullptr) {
    work = given;
  } else {
    char templ[] = "/tmp/zip_fuzz.XXXXXX";
    if (mkdtemp(templ) == nullptr) abort();
    work = templ;
  }
  archive = work + "/input.zip";
  destination = work + "/out";
  return 0;
}

int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* f = fopen(archive.c_str(), "wb");
  if (f == nullptr) abort();
  if (size > 0 && fwrite(data, 1, size, f) != size) abort();
  fclose(f);

  checking = true;
  int error;
  ZipFile* zip = zipOpen(archive.c_str(), &error);
  if (zip == nullptr) {
    checking = false;
    return 0;
  }
  // Every entry by position, then again by its name, and a few raw reads.
  for (int i = 0; i < zip->entryCount && i < 64; ++i) {
    ZipEntry* entry = zipGetNextEntry(zip, i);
    if (entry == nullptr) break;
    std::string name = entry->name;
    char buffer[64];
    zipRead(zip, entry, 0, buffer, sizeof buffer);
    zipRead(zip, entry, entry->compressedSize != 0 ? entry->compressedSize - 1 : entry->size - 1, buffer, 8);
    zipFreeEntry(zip, entry);
    int32_t entrySize, nameLength;
    zipFreeEntry(zip, zipFindEntry(zip, name.c_str(), &entrySize, &nameLength));
  }
  UnzipFiles(zip, destination.c_str(), size > 0 && (data[0] & 1) ? "a" : nullptr);
  zipClose(zip);
  checking = false;
  nftw(destination.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
  return 0;
}

}  // extern "C"
