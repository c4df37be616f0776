// Recursive deletion of the working directory.
#pragma once

/// Deletes the file or directory tree at path, depth first. Refuses a null
/// or relative path, the root, and a path whose last component is "." or
/// "..", and a path ending in "/" names the path without it. Symbolic links
/// are removed, never followed. What can't be examined, opened or removed
/// stays, and the walk goes on with its siblings.
///
/// It allocates nothing and holds at most two descriptors whatever the
/// depth, so it is async-signal-safe and works at any limit of open files;
/// a tree deeper than 2,048 levels keeps what lies below that depth. One
/// deletion runs at a time: a call made while another is under way (from a
/// signal handler, or another thread) returns at once.
void DeleteFilesAndDirectories(const char* path);
