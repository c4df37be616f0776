// Path helpers shared by every layer, and the search for an executable the
// way a shell finds a command. Paths are byte strings in the locale's
// multibyte encoding; "/" is the only separator.
#pragma once

#include <optional>
#include <string>
#include <vector>

/// Returns true when the first byte of path is "/".
bool IsAbsolutePath(const char* path);

/// True when name ends in suffix, such as ".jar".
bool EndsWith(const std::string& name, const std::string& suffix);

/// Returns directory + "/" + name, or name when directory is null. Nothing
/// is normalised: Resolve("/", "x") is "//x".
std::string Resolve(const char* directory, const char* name);

/// Returns true when path may be read and executed by the real user and it
/// is a regular file (links followed): no directory, FIFO, socket or device.
bool IsExecutable(const char* path);

/// True when path is a directory that no other user can change the entries
/// of: it is owned by the effective user or by root, and only its owner may
/// write to it, or others may but the sticky bit keeps them from renaming or
/// removing what they don't own. Symbolic links are followed.
bool IsDirectoryOthersCannotChange(const char* path);

/// The current directory, with a buffer that grows by 1025 bytes for as long
/// as getcwd finds it too small; none when getcwd fails otherwise.
std::optional<std::string> CurrentDirectory();

/// path when it is absolute, else the current directory + "/" + path (so an
/// empty path gives the current directory followed by "/"); none when the
/// current directory can't be read.
std::optional<std::string> MakeAbsolute(const std::string& path);

/// The elements of a ":"-separated list such as PATH, split at every ":"
/// that begins a character; an empty element stands for ".".
std::vector<std::string> SplitPathList(const std::string& list);

/// The executable file that a command name leads to: an absolute name is
/// taken as "/" + name (so it begins with "//"), a relative name with a "/"
/// is joined to the current directory, a bare name is searched along PATH.
/// None when no executable file (IsExecutable) is found, or PATH is unset
/// for a bare name.
std::optional<std::string> FindExecName(const char* name);
