#include "base/delete_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

// Deletes name inside the directory dirFd. Walking by descriptor builds no
// paths, so a deep tree costs no memory per level beyond one open directory,
// and a directory that is swapped for a link meanwhile is not followed.
void DeleteAt(int dirFd, const char* name) {
  struct stat st;
  if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return;
  if (S_ISDIR(st.st_mode)) {
    int fd = openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
      if (DIR* dir = fdopendir(fd)) {
        while (struct dirent* entry = readdir(dir)) {
          if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) DeleteAt(fd, entry->d_name);
        }
        closedir(dir);
      } else {
        close(fd);
      }
    }
    unlinkat(dirFd, name, AT_REMOVEDIR);
  } else {
    unlinkat(dirFd, name, 0);
  }
}

}  // namespace

void DeleteFilesAndDirectories(const char* path) {
  if (path == nullptr || path[0] != '/') return;
  // The root itself is never a working directory.
  if (path[strspn(path, "/")] == '\0') return;
  const char* slash = strrchr(path, '/');
  const char* last = slash + 1;
  if (strcmp(last, ".") == 0 || strcmp(last, "..") == 0) return;
  if (*last == '\0') {
    std::string cut(path, slash);
    DeleteFilesAndDirectories(cut.c_str());
  }
  DeleteAt(AT_FDCWD, path);
}
