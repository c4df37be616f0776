#include "workenv/workdir.h"

#include <sys/statvfs.h>
#include <stdlib.h>

#include <cerrno>
#include <limits>

std::optional<std::string> MakeWorkingDirectory(const char* tempDir, const char* prefix) {
  std::string base = tempDir;
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  // The name goes into ":"-separated path lists.
  std::string name = prefix;
  for (char& c : name) {
    if (c == ':') c = '_';
  }
  // mkdtemp tries names of its own until one is free; a few rounds more only
  // for a name that another process took in between.
  for (int attempt = 0; attempt < 10; ++attempt) {
    std::string path = base + "/" + name + "XXXXXX";
    if (mkdtemp(&path[0]) != nullptr) return path;
    if (errno != EEXIST) return std::nullopt;
  }
  return std::nullopt;
}

std::optional<uint64_t> AvailableSpace(const char* path) {
  struct statvfs fs;
  if (statvfs(path, &fs) == 0) return static_cast<uint64_t>(fs.f_frsize) * static_cast<uint64_t>(fs.f_bavail);
  if (errno == EOVERFLOW) return std::numeric_limits<uint64_t>::max();
  return std::nullopt;
}
