// The runtime and the native libraries that travel inside the payload.
#include <string>

#include "core/exec_name.h"
#include "core/memory.h"
#include "runtime/discovery.h"

namespace {

// Owned by this file and kept until the process ends (plain heap strings, so
// that no destructor runs while a signal's cleanup may still be running).
char* bundledJREPath = nullptr;
char* bundledLibPath = nullptr;

}  // namespace

const char* GetBundledLibraryPath() {
  if (bundledLibPath == nullptr) {
    if (const char* home = GetApplicationHome()) bundledLibPath = StrDup((std::string(home) + "/package").c_str());
  }
  return bundledLibPath;
}

const char* GetBundledJREPath() {
  if (bundledJREPath != nullptr) return bundledJREPath;
  const char* home = GetApplicationHome();
  if (home == nullptr) return nullptr;
  std::string jre = std::string(home) + "/package/jre";
  std::string found = GetJREPath(jre.c_str());
  if (!found.empty()) bundledJREPath = StrDup(found.c_str());
  return bundledJREPath;
}
