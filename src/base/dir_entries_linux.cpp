// Linux: getdents64 and its records.
#include <dirent.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

#include "base/dir_entries.h"

// The system call itself: glibc's wrapper came only with glibc 2.30, and the
// launchers start on older systems.
ssize_t ReadDirEntries(int fd, char* buffer, size_t size) { return syscall(SYS_getdents64, fd, buffer, size); }

DirEntry NextDirEntry(const char* buffer, size_t* at) {
  struct dirent64 record;
  // The header fields, copied out so that the buffer's alignment never matters.
  memcpy(&record, buffer + *at, offsetof(struct dirent64, d_name));
  DirEntry entry;
  entry.name = buffer + *at + offsetof(struct dirent64, d_name);
  entry.ino = record.d_ino;
  entry.next = static_cast<off_t>(record.d_off);
  entry.typeKnown = record.d_type != DT_UNKNOWN;
  entry.isDirectory = record.d_type == DT_DIR;
  *at += record.d_reclen;
  return entry;
}
