#include "workenv/lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/exec_name.h"
#include "core/memory.h"
#include "core/profile.h"
#include "ui/output.h"
#include "workenv/tempdir.h"

namespace {

int lockfd = -1;
char* lockfile = nullptr;

}  // namespace

void ExitIfNotOnlyInstance() {
  const char* dir = GetTempDir();
  if (dir == nullptr) return;
  const char* exec = GetExecName();
  if (exec == nullptr) return;
  struct stat st;
  if (stat(exec, &st) != 0) return;
  const char* title = GetTitle();
  std::string name(strlen(dir) + strlen(title) + 45, '\0');
  int n = snprintf(&name[0], name.size(), "%s/%s.%lu.%llu.%lu", dir, title, static_cast<unsigned long>(st.st_dev),
                   static_cast<unsigned long long>(st.st_ino), static_cast<unsigned long>(geteuid()));
  name.resize(static_cast<size_t>(n) < name.size() ? static_cast<size_t>(n) : name.size() - 1);
  lockfile = StrDup(name.c_str());

  // The directory is usually world-writable: never follow a link planted at
  // the name and never truncate what is there; the file holds no data.
  lockfd = open(lockfile, O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (lockfd >= 0) {
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    if (fcntl(lockfd, F_SETLK, &lock) != 0 && (errno == EAGAIN || errno == EACCES)) {
      ShowError(GetMessageKeyPrefix("already_started").c_str());
      exit(1);
    }
  }
  atexit(DeleteLockFile);
}

void DeleteLockFile() {
  if (lockfd >= 0) {
    close(lockfd);
    lockfd = -1;
  }
  if (lockfile != nullptr) {
    unlink(lockfile);
    free(lockfile);
    lockfile = nullptr;
  }
}
