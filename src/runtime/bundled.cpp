// The runtime and the native libraries that travel inside the payload.
#include <string>

#include "archive/unzip.h"
#include "runtime/discovery.h"
#include "ui/output.h"

std::string GetBundledLibraryPath(const char* home) { return std::string(home) + "/package"; }

std::optional<std::string> GetBundledJREPath(ZipFile* payload, const char* home, int homeFd) {
  const char* const prefix = "package/jre";
  std::string jre = std::string(home) + "/" + prefix;
  if (std::optional<std::string> found = GetJREPath(jre.c_str())) return found;
  if (payload == nullptr) return std::nullopt;
  ShowStatus("unzipping_java_files");
  if (!UnzipFiles(payload, homeFd, prefix)) return std::nullopt;
  return GetJREPath(jre.c_str());
}
