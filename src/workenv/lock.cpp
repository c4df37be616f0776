#include "workenv/lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "base/unique_fd.h"
#include "ui/catalogue.h"
#include "ui/output.h"
#include "workenv/tempdir.h"

namespace {

UniqueFd lockfd;
std::optional<std::string> lockfile;

}  // namespace

void ExitIfNotOnlyInstance(const char* execName, const char* alreadyStartedKey) {
  const char* dir = GetTempDir();
  if (dir == nullptr || execName == nullptr) return;
  struct stat st;
  if (stat(execName, &st) != 0) return;
  char numbers[80];
  snprintf(numbers, sizeof numbers, ".%lu.%llu.%lu", static_cast<unsigned long>(st.st_dev),
           static_cast<unsigned long long>(st.st_ino), static_cast<unsigned long>(geteuid()));
  lockfile = std::string(dir) + "/" + GetTitle() + numbers;

  // The directory is usually world-writable: never follow a link planted at
  // the name and never truncate what is there; the file holds no data.
  lockfd.reset(open(lockfile->c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (lockfd.valid()) {
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    if (fcntl(lockfd.get(), F_SETLK, &lock) != 0 && (errno == EAGAIN || errno == EACCES)) {
      ShowError(alreadyStartedKey);
      exit(1);
    }
  }
  atexit(DeleteLockFile);
}

void DeleteLockFile() {
  lockfd.reset();
  if (lockfile) {
    unlink(lockfile->c_str());
    lockfile.reset();
  }
}
