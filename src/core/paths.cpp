#include "core/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

bool IsAbsolutePath(const char* path) { return path[0] == '/'; }

std::string Resolve(const char* directory, const char* name) {
  if (directory == nullptr) return name;
  std::string path = directory;
  path += '/';
  path += name;
  return path;
}

bool IsExecutable(const char* path) {
  struct stat st;
  return access(path, R_OK | X_OK) == 0 && stat(path, &st) == 0 && !S_ISDIR(st.st_mode);
}

bool GetWorkingDirectory(std::string* out) {
  for (size_t size = 1025;; size += 1025) {
    std::vector<char> buffer(size);
    if (getcwd(buffer.data(), size) != nullptr) {
      *out = buffer.data();
      return true;
    }
    if (errno != ERANGE) return false;
  }
}
