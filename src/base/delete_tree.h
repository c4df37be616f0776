// Recursive deletion of the working directory.
#pragma once

/// Deletes the file or directory tree at path, depth first. Refuses a null
/// or relative path, the root, and a path whose last component is "." or
/// ".."; a path ending in "/" deletes the path without it too. Symbolic links
/// are removed, never followed. What can't be examined, opened or removed stays, and the
/// walk goes on with its siblings.
void DeleteFilesAndDirectories(const char* path);
