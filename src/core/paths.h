// Small path helpers shared by every subsystem. Paths are byte strings in the
// locale's multibyte encoding; "/" is the only separator.
#pragma once

#include <string>

/// Returns true when the first byte of path is "/".
bool IsAbsolutePath(const char* path);

/// Returns directory + "/" + name, or a copy of name when directory is null.
/// Nothing is normalised: Resolve("/", "x") is "//x".
std::string Resolve(const char* directory, const char* name);

/// Returns true when path may be read and executed by the real user, stat
/// succeeds on it (following links) and it is not a directory.
bool IsExecutable(const char* path);

/// Stores the current directory in *out. The buffer grows by 1025 bytes for
/// as long as getcwd reports it too small; any other error returns false.
bool GetWorkingDirectory(std::string* out);
