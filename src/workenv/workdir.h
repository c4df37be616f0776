// The run's working directory: made fresh under the temporary directory, and
// the room its file system has left.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/unique_fd.h"

/// A working directory, by path and by an open descriptor of it.
struct WorkingDirectory {
  std::string path;
  UniqueFd fd;  // what the extraction writes into, whatever the path comes to name
};

/// Makes a new directory, mode 0700, under tempDir, named prefix (with "_"
/// for each ":") followed by six random characters, in one step (a name
/// that exists is never taken over). A prefix too long for the file
/// system's names is cut at the last character of the locale that fits.
/// Returns the directory, opened without following a link and checked to
/// be the one made; none when no directory could be made.
std::optional<WorkingDirectory> MakeWorkingDirectory(const char* tempDir, const char* prefix);

/// The bytes available to an unprivileged user on the file system of the
/// directory open at fd; the largest number when the count doesn't fit the
/// system's types; none when it can't be asked.
std::optional<uint64_t> AvailableSpace(int fd);
