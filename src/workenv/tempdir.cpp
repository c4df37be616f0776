#include "workenv/tempdir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "core/memory.h"
#include "core/paths.h"

namespace {

char* tmpdir = nullptr;

}  // namespace

bool SetTempDir(const char* path) {
  std::string candidate;
  if (IsAbsolutePath(path)) {
    candidate = Resolve(nullptr, path);
  } else {
    std::string cwd;
    if (!GetWorkingDirectory(&cwd)) return false;
    candidate = Resolve(cwd.c_str(), path);
  }
  struct stat st;
  if (access(candidate.c_str(), R_OK | W_OK | X_OK) != 0 || stat(candidate.c_str(), &st) != 0 ||
      !S_ISDIR(st.st_mode))
    return false;
  free(tmpdir);
  tmpdir = StrDup(candidate.c_str());
  return true;
}

const char* GetTempDir() {
  if (tmpdir == nullptr) SetTempDir(kDefaultTempDir);
  return tmpdir;
}
