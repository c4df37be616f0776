#include "workenv/tempdir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "base/paths.h"

namespace {

std::optional<std::string> tmpdir;

}  // namespace

bool SetTempDir(const char* path) {
  std::optional<std::string> candidate = MakeAbsolute(path);
  if (!candidate) return false;
  struct stat st;
  if (access(candidate->c_str(), R_OK | W_OK | X_OK) != 0 || stat(candidate->c_str(), &st) != 0 ||
      !S_ISDIR(st.st_mode))
    return false;
  tmpdir = std::move(candidate);
  return true;
}

const char* GetTempDir() {
  if (!tmpdir) SetTempDir(kDefaultTempDir);
  return tmpdir ? tmpdir->c_str() : nullptr;
}
