// The walk keeps one directory open, the one it reads. Going down it opens a
// subdirectory and closes its parent; coming back it opens ".." and checks
// that it is the parent it left, then goes on where it left off. What it
// remembers of each level lives in fixed tables, since the walk also runs
// inside signal handlers, where nothing may be allocated.
#include "base/delete_tree.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "base/dir_entries.h"

namespace {

// Deep enough for any tree whose paths fit PATH_MAX.
constexpr int kMaxDepth = 2048;

struct Level {
  dev_t dev;
  ino_t ino;
  off_t resume;        // the position of the entry the walk went down into
  uint64_t lastChild;  // that entry's inode: met again, it could not be emptied
  bool passProgress;   // something was removed during this reading of the level
  bool anyProgress;    // something was removed below this level at all
};

Level levels[kMaxDepth];
char entries[8192];
char trimmed[PATH_MAX];
std::atomic<bool> busy{false};

bool IsDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool IsDirectoryEntry(int dirFd, const DirEntry& entry) {
  if (entry.typeKnown) return entry.isDirectory;
  struct stat st;
  return fstatat(dirFd, entry.name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

void Remember(int depth, const struct stat& st) {
  levels[depth] = Level{st.st_dev, st.st_ino, 0, 0, false, false};
}

// Removes everything inside the directory open at top, and closes it.
void EmptyTree(int top) {
  struct stat st;
  if (fstat(top, &st) != 0) {
    close(top);
    return;
  }
  int fd = top, depth = 0;
  Remember(0, st);
  off_t position = 0;
  for (;;) {
    ssize_t filled = ReadDirEntries(fd, entries, sizeof entries);
    bool wentDown = false;
    for (size_t at = 0; filled > 0 && at < static_cast<size_t>(filled);) {
      DirEntry entry = NextDirEntry(entries, &at);
      off_t here = position;
      position = entry.next;
      if (IsDot(entry.name)) continue;
      Level& level = levels[depth];
      if (!IsDirectoryEntry(fd, entry)) {
        if (unlinkat(fd, entry.name, 0) == 0) level.passProgress = level.anyProgress = true;
        continue;
      }
      if (unlinkat(fd, entry.name, AT_REMOVEDIR) == 0) {
        level.passProgress = level.anyProgress = true;
        continue;
      }
      if ((errno != ENOTEMPTY && errno != EEXIST) || entry.ino == level.lastChild || depth + 1 >= kMaxDepth)
        continue;
      int sub = openat(fd, entry.name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (sub < 0) continue;
      if (fstat(sub, &st) != 0) {
        close(sub);
        continue;
      }
      level.resume = here;
      level.lastChild = entry.ino;
      close(fd);
      fd = sub;
      Remember(++depth, st);
      position = 0;
      wentDown = true;
      break;
    }
    if (wentDown || filled > 0) continue;

    Level& level = levels[depth];
    // Removing entries may shift the positions of those behind them on some
    // file systems, so a reading that removed anything is followed by
    // another, until one removes nothing.
    if (level.passProgress && lseek(fd, 0, SEEK_SET) == 0) {
      level.passProgress = false;
      position = 0;
      continue;
    }
    bool below = level.anyProgress;
    int up = depth > 0 ? openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    close(fd);
    if (depth == 0) return;
    Level& parent = levels[--depth];
    // A directory moved away meanwhile leads elsewhere: stop there.
    if (up < 0 || fstat(up, &st) != 0 || st.st_dev != parent.dev || st.st_ino != parent.ino ||
        lseek(up, parent.resume, SEEK_SET) != parent.resume) {
      if (up >= 0) close(up);
      return;
    }
    fd = up;
    position = parent.resume;
    if (below) parent.passProgress = parent.anyProgress = true;
  }
}

}  // namespace

void DeleteFilesAndDirectories(const char* path) {
  if (path == nullptr || path[0] != '/') return;
  size_t length = strlen(path);
  while (length > 1 && path[length - 1] == '/') --length;
  // The root itself is never a working directory.
  if (length == 1 || length >= sizeof trimmed) return;
  const char* last = path + length;
  while (last[-1] != '/') --last;
  size_t lastLength = static_cast<size_t>(path + length - last);
  if ((lastLength == 1 && last[0] == '.') || (lastLength == 2 && last[0] == '.' && last[1] == '.')) return;
  if (busy.exchange(true)) return;
  memcpy(trimmed, path, length);
  trimmed[length] = '\0';
  struct stat st;
  if (lstat(trimmed, &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      int fd = open(trimmed, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (fd >= 0) EmptyTree(fd);
      rmdir(trimmed);
    } else {
      unlink(trimmed);
    }
  }
  busy = false;
}
