// The runtime and the native libraries that travel inside the payload.
#include <string>

#include "archive/unzip.h"
#include "archive/zip.h"
#include "core/exec_name.h"
#include "core/memory.h"
#include "runtime/discovery.h"
#include "ui/output.h"

namespace {

// Owned by this file and kept until the process ends (plain heap strings, so
// that no destructor runs while a signal's cleanup may still be running).
char* bundledJREPath = nullptr;
char* bundledLibPath = nullptr;

}  // namespace

const char* GetBundledLibraryPath() {
  if (bundledLibPath == nullptr) {
    if (const char* home = GetApplicationHome())
      bundledLibPath = StrDup((std::string(home) + "/package").c_str());
  }
  return bundledLibPath;
}

const char* GetBundledJREPath() {
  if (bundledJREPath != nullptr) return bundledJREPath;
  const char* home = GetApplicationHome();
  if (home == nullptr) return nullptr;
  const char* const prefix = "package/jre";
  std::string jre = std::string(home) + "/" + prefix;
  std::string found = GetJREPath(jre.c_str());
  const char* execName = GetExecName();
  if (found.empty() && execName != nullptr) {
    int error = 0;
    if (ZipFile* zip = zipOpen(execName, &error)) {
      ShowStatus("unzipping_java_files");
      if (UnzipFiles(zip, home, prefix)) found = GetJREPath(jre.c_str());
      zipClose(zip);
    }
  }
  if (!found.empty()) bundledJREPath = StrDup(found.c_str());
  return bundledJREPath;
}
