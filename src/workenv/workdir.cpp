#include "workenv/workdir.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "base/mbstring.h"

namespace {

// mkdtemp's six characters.
constexpr size_t kUniqueLength = 6;

// The longest name the file system of directory takes.
size_t NameLimit(const char* directory) {
  long limit = pathconf(directory, _PC_NAME_MAX);
  return limit > 0 ? static_cast<size_t>(limit) : NAME_MAX;
}

// prefix cut to at most length bytes, where a character of the locale
// begins, so that no character is left in halves.
std::string CutAtCharacter(const std::string& prefix, size_t length) {
  if (prefix.size() <= length) return prefix;
  while (length > 0 && !IsMultiByteChar(prefix.c_str(), length)) --length;
  return prefix.substr(0, length);
}

}  // namespace

std::optional<WorkingDirectory> MakeWorkingDirectory(const char* tempDir, const char* prefix) {
  std::string base = tempDir;
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  size_t limit = NameLimit(base.c_str());
  std::string name = CutAtCharacter(prefix, limit > kUniqueLength ? limit - kUniqueLength : 0);
  // The name goes into ":"-separated path lists.
  for (char& c : name) {
    if (c == ':') c = '_';
  }
  // mkdtemp tries names of its own until one is free; a few rounds more only
  // for a name that another process took in between.
  for (int attempt = 0; attempt < 10; ++attempt) {
    WorkingDirectory made;
    made.path = base + "/" + name + "XXXXXX";
    if (mkdtemp(&made.path[0]) == nullptr) {
      if (errno == EEXIST) continue;
      return std::nullopt;
    }
    made.fd.reset(open(made.path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (!made.fd.valid() || fstat(made.fd.get(), &st) != 0 || st.st_uid != geteuid() ||
        (st.st_mode & 077) != 0)
      return std::nullopt;
    return made;
  }
  return std::nullopt;
}

std::optional<uint64_t> AvailableSpace(int fd) {
  struct statvfs fs;
  if (fstatvfs(fd, &fs) == 0) return static_cast<uint64_t>(fs.f_frsize) * static_cast<uint64_t>(fs.f_bavail);
  if (errno == EOVERFLOW) return std::numeric_limits<uint64_t>::max();
  return std::nullopt;
}
