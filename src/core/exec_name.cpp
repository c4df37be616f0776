#include "core/exec_name.h"

#include <cstdlib>

#include "core/mbstring.h"
#include "core/memory.h"
#include "core/paths.h"

namespace {

// Owned by this file; set once and kept until the process ends (plain heap
// strings, so that no destructor runs while a signal's cleanup reads them).
char* execname = nullptr;
char* applicationHome = nullptr;

}  // namespace

std::string FindExecName(const char* name) {
  if (IsAbsolutePath(name)) {
    std::string candidate = Resolve("", name);
    return IsExecutable(candidate.c_str()) ? candidate : std::string();
  }
  if (_strchr(name, '/') != nullptr) {
    std::string cwd;
    if (!GetWorkingDirectory(&cwd)) return std::string();
    std::string candidate = Resolve(cwd.c_str(), name);
    return IsExecutable(candidate.c_str()) ? candidate : std::string();
  }
  const char* path = getenv("PATH");
  if (path == nullptr) return std::string();
  std::string elements = path;
  const char* start = elements.c_str();
  for (;;) {
    const char* colon = _strchr(start, ':');
    std::string element = colon ? std::string(start, colon) : std::string(start);
    if (element.empty()) element = ".";
    std::string candidate = Resolve(element.c_str(), name);
    if (IsExecutable(candidate.c_str())) return candidate;
    if (colon == nullptr) return std::string();
    start = colon + 1;
  }
}

const char* SetExecName(const char* name) {
  if (execname == nullptr) {
    std::string found = FindExecName(name);
    if (!found.empty()) execname = StrDup(found.c_str());
  }
  return execname;
}

const char* GetExecName() { return execname; }

const char* GetProgName() {
  if (execname == nullptr) return nullptr;
  const char* slash = _strrchr(execname, '/');
  return slash ? slash + 1 : execname;
}

const char* GetApplicationHome() {
  if (applicationHome == nullptr && execname != nullptr) {
    const char* slash = _strrchr(execname, '/');
    std::string home = slash ? std::string(static_cast<const char*>(execname), slash) : std::string(execname);
    applicationHome = StrDup(home.c_str());
  }
  return applicationHome;
}

void SetApplicationHome(const char* path) {
  free(applicationHome);
  applicationHome = StrDup(path);
}
