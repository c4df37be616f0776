// Recursive deletion of the working directory.
#pragma once

/// Deletes the file or directory tree at path, depth first. Refuses a
/// relative path and a path whose last component is "." or ".."; symbolic
/// links are removed, never followed; a path equal to an entry of exclusions
/// (null-ended, may be null) is kept with everything below it. What can't be
/// examined, opened or removed stays and the walk goes on.
void DeleteFilesAndDirectories(const char* path, const char* const* exclusions);
