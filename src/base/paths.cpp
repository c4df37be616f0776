#include "base/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "base/mbstring.h"

bool EndsWith(const std::string& name, const std::string& suffix) {
  return name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool IsAbsolutePath(const char* path) { return path[0] == '/'; }

std::string Resolve(const char* directory, const char* name) {
  if (directory == nullptr) return name;
  std::string path = directory;
  path += '/';
  path += name;
  return path;
}

bool IsExecutable(const char* path) {
  // Regular files only: opening a FIFO would wait for a writer, and a socket
  // or a device is no program, whatever its permission bits say.
  struct stat st;
  return access(path, R_OK | X_OK) == 0 && stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDirectoryOthersCannotChange(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if (st.st_uid != geteuid() && st.st_uid != 0) return false;
  return (st.st_mode & (S_IWGRP | S_IWOTH)) == 0 || (st.st_mode & S_ISVTX) != 0;
}

std::optional<std::string> CurrentDirectory() {
  for (size_t size = 1025;; size += 1025) {
    std::string buffer(size, '\0');
    if (getcwd(&buffer[0], size) != nullptr) return std::string(buffer.c_str());
    if (errno != ERANGE) return std::nullopt;
  }
}

std::optional<std::string> MakeAbsolute(const std::string& path) {
  if (IsAbsolutePath(path.c_str())) return path;
  std::optional<std::string> cwd = CurrentDirectory();
  if (!cwd) return std::nullopt;
  return Resolve(cwd->c_str(), path.c_str());
}

std::vector<std::string> SplitPathList(const std::string& list) {
  std::vector<std::string> elements;
  const char* start = list.c_str();
  for (;;) {
    const char* colon = _strchr(start, ':');
    std::string element = colon ? std::string(start, colon) : std::string(start);
    elements.push_back(element.empty() ? "." : element);
    if (colon == nullptr) return elements;
    start = colon + 1;
  }
}

std::optional<std::string> FindExecName(const char* name) {
  auto executable = [](std::string candidate) -> std::optional<std::string> {
    if (IsExecutable(candidate.c_str())) return candidate;
    return std::nullopt;
  };
  if (IsAbsolutePath(name)) return executable(Resolve("", name));
  if (_strchr(name, '/') != nullptr) {
    std::optional<std::string> path = MakeAbsolute(name);
    return path ? executable(*path) : std::nullopt;
  }
  const char* path = getenv("PATH");
  if (path == nullptr) return std::nullopt;
  for (const std::string& element : SplitPathList(path)) {
    if (auto found = executable(Resolve(element.c_str(), name))) return found;
  }
  return std::nullopt;
}
