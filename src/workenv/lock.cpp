#include "workenv/lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/cleanup_registry.h"
#include "base/unique_fd.h"
#include "ui/catalogue.h"
#include "ui/output.h"
#include "workenv/tempdir.h"

namespace {

UniqueFd lockfd;

// A file that another run may just have removed is opened again this many
// times at most.
constexpr int kOpenAttempts = 10;

enum class Locking { kLocked, kHeldElsewhere, kUnusable, kReplaced };

// Opens the lock file and takes its lock. The directory is usually
// world-writable: a link planted at the name is never followed, a FIFO never
// blocks the open, and a file that is not a regular file of the user is not
// used; nothing is truncated, the file holds no data.
Locking OpenAndLock(const std::string& path) {
  lockfd.reset(open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
  struct stat opened;
  if (!lockfd.valid() || fstat(lockfd.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
      opened.st_uid != geteuid()) {
    lockfd.reset();
    return Locking::kUnusable;
  }
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (fcntl(lockfd.get(), F_SETLK, &lock) != 0) {
    lockfd.reset();
    return errno == EAGAIN || errno == EACCES ? Locking::kHeldElsewhere : Locking::kUnusable;
  }
  // The run that held the lock removes its file as it ends: a lock on a file
  // that no longer has the name locks out nobody.
  struct stat named;
  if (stat(path.c_str(), &named) != 0 || named.st_dev != opened.st_dev || named.st_ino != opened.st_ino) {
    lockfd.reset();
    return Locking::kReplaced;
  }
  return Locking::kLocked;
}

}  // namespace

void ExitIfNotOnlyInstance(const char* execName, const char* alreadyStartedKey) {
  const char* dir = GetTempDir();
  if (dir == nullptr || execName == nullptr) return;
  struct stat st;
  if (stat(execName, &st) != 0) return;
  char numbers[80];
  snprintf(numbers, sizeof numbers, ".%lu.%llu.%lu", static_cast<unsigned long>(st.st_dev),
           static_cast<unsigned long long>(st.st_ino), static_cast<unsigned long>(geteuid()));
  std::string lockfile = std::string(dir) + "/" + GetTitle() + numbers;
  Locking locking = Locking::kReplaced;
  for (int attempt = 0; attempt < kOpenAttempts && locking == Locking::kReplaced; ++attempt)
    locking = OpenAndLock(lockfile);
  if (locking == Locking::kHeldElsewhere) {
    ShowError(alreadyStartedKey);
    exit(1);
  }
  // Without a lock the file is not ours to remove.
  if (locking == Locking::kLocked) RegisterCleanup(CleanupItem::kLockFile, lockfile.c_str());
  atexit(DeleteLockFile);
}

void DeleteLockFile() {
  // Removed while still locked, so that no other run can lock the file
  // after this one and keep a lock on a name that is gone.
  RunCleanup(CleanupItem::kLockFile);
  lockfd.reset();
}
