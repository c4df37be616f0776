// Reading a directory's entries from its descriptor into a buffer of the
// caller's, without allocating: what the deletion of a tree needs, also
// inside a signal handler.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

/// One entry of a buffer filled by ReadDirEntries.
struct DirEntry {
  const char* name;  // NUL-terminated, inside the buffer
  uint64_t ino;      // the entry's inode number as the directory records it
  off_t next;        // the directory position just behind this entry
  bool typeKnown;    // false when the file system doesn't record the type
  bool isDirectory;  // meaningful when typeKnown
};

/// Reads entries of the directory open at fd, from its current position,
/// into buffer. Returns the bytes filled, 0 at the end of the directory, -1
/// on failure. Async-signal-safe.
ssize_t ReadDirEntries(int fd, char* buffer, size_t size);

/// The entry that starts at buffer + *at (within what ReadDirEntries
/// filled), advancing *at to the next one.
DirEntry NextDirEntry(const char* buffer, size_t* at);
