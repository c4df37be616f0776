// The run's temporary directory.
#pragma once

/// The temporary directory used when none was set.
constexpr char kDefaultTempDir[] = "/var/tmp/";

/// Accepts path as the temporary directory when the real user may read,
/// write and search it, it is a directory whose entries no other user can
/// change (IsDirectoryOthersCannotChange) and its absolute path holds no
/// ":". A relative path is stored
/// joined to the current directory, nothing else is normalised. Returns
/// false and keeps the previous directory otherwise.
bool SetTempDir(const char* path);

/// Returns the accepted directory, or while none is, the default "/var/tmp/"
/// when it is usable; null otherwise.
const char* GetTempDir();
