// What every ending of the process removes: the working directory and the
// lock file. The normal end, the endings of handled signals and the end of a
// fault inside its handler all remove them through here; the paths live in
// fixed storage, so that a signal handler can remove them without
// allocating.
#pragma once

/// The things a run leaves that its end must remove.
enum class CleanupItem {
  kWorkingDirectory,  // a directory tree
  kLockFile,          // a file
};

/// Records path as the item to remove; false (and nothing recorded) when the
/// path is longer than PATH_MAX allows.
bool RegisterCleanup(CleanupItem item, const char* path);

/// The path recorded for item, or null.
const char* GetCleanupPath(CleanupItem item);

/// Forgets item without removing it.
void ForgetCleanup(CleanupItem item);

/// Removes what item names (a tree with DeleteFilesAndDirectories, a file
/// with unlink) and forgets it; nothing when none is recorded.
/// Async-signal-safe.
void RunCleanup(CleanupItem item);

/// Keeps the text to show when the cleanup runs inside a signal handler,
/// already in the locale's code set (cut to 511 bytes).
void SetCleanupNotice(const char* text);

/// Writes that text to standard output. Async-signal-safe.
void WriteCleanupNotice();
