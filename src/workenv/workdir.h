// The run's working directory: made fresh under the temporary directory, and
// the room its file system has left.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

/// Makes a new directory, mode 0700, under tempDir, named prefix (with "_"
/// for each ":") followed by six random characters, in one step (a name
/// that exists is never taken over). Returns its path, or none when no directory could be made.
std::optional<std::string> MakeWorkingDirectory(const char* tempDir, const char* prefix);

/// The bytes available to an unprivileged user on the file system that
/// holds path; the largest number when the count doesn't fit the system's
/// types; none when it can't be asked.
std::optional<uint64_t> AvailableSpace(const char* path);
