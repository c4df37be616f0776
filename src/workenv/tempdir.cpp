#include "workenv/tempdir.h"

#include <unistd.h>

#include <optional>
#include <string>

#include "base/paths.h"

namespace {

std::optional<std::string> tmpdir;

// True when the real user may read, write and search path, a directory,
// and no other user can change its entries: one who may rename the fresh
// working directory could put a link to a directory of the user's in its
// place. A ":" would split the path lists (class path, library path) that
// the working directory goes into.
bool IsUsable(const std::string& path) {
  return path.find(':') == std::string::npos && access(path.c_str(), R_OK | W_OK | X_OK) == 0 &&
         IsDirectoryOthersCannotChange(path.c_str());
}

}  // namespace

bool SetTempDir(const char* path) {
  std::optional<std::string> candidate = MakeAbsolute(path);
  if (!candidate || !IsUsable(*candidate)) return false;
  tmpdir = std::move(candidate);
  return true;
}

const char* GetTempDir() {
  if (tmpdir) return tmpdir->c_str();
  return IsUsable(kDefaultTempDir) ? kDefaultTempDir : nullptr;
}
