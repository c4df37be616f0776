#include "core/delete_tree.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Paths are built with the plain allocator: a subtree whose path can't be
// allocated is skipped rather than ending the process, which may be cleaning
// up after a signal.
void DeleteFilesAndDirectories(const char* path, const char* const* exclusions) {
  if (path == nullptr || path[0] != '/') return;
  const char* slash = strrchr(path, '/');
  const char* last = slash + 1;
  if (strcmp(last, ".") == 0 || strcmp(last, "..") == 0) return;
  if (*last == '\0') {
    size_t n = static_cast<size_t>(slash - path);
    if (char* cut = static_cast<char*>(malloc(n + 1))) {
      memcpy(cut, path, n);
      cut[n] = '\0';
      DeleteFilesAndDirectories(cut, exclusions);
      free(cut);
    }
  }
  if (exclusions != nullptr) {
    for (const char* const* x = exclusions; *x != nullptr; ++x)
      if (strcmp(path, *x) == 0) return;
  }
  struct stat st;
  if (lstat(path, &st) != 0) return;
  if (S_ISDIR(st.st_mode)) {
    if (DIR* dir = opendir(path)) {
      size_t length = strlen(path);
      while (struct dirent* entry = readdir(dir)) {
        size_t size = length + strlen(entry->d_name) + 2;
        char* child = static_cast<char*>(malloc(size));
        if (child == nullptr) continue;
        snprintf(child, size, "%s/%s", path, entry->d_name);
        DeleteFilesAndDirectories(child, exclusions);
        free(child);
      }
      closedir(dir);
    }
  }
  remove(path);
}
