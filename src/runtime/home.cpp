#include "runtime/home.h"

#include <sys/stat.h>

#include <cstring>

#include "base/mbstring.h"
#include "base/paths.h"

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

}  // namespace

std::optional<std::string> GetJREPath(const char* directory, const char* arch) {
  std::string dir = directory;
  std::string home;
  if (Exists(dir + "/lib/" + arch + "/libjava.so")) {
    home = dir;
  } else if (Exists(dir + "/jre/lib/" + arch + "/libjava.so")) {
    home = dir + "/jre";
  } else if (Exists(dir + "/lib/libjava.so")) {
    // Java 9 and later keep their libraries directly under lib.
    home = dir;
  } else {
    return std::nullopt;
  }
  if (!IsExecutable((home + "/bin/java").c_str())) return std::nullopt;
  return home;
}

bool IsJDK(const char* runtimeHome) {
  const char* slash = _strrchr(runtimeHome, '/');
  std::string home = runtimeHome;
  if (slash != nullptr && strcmp(slash, "/jre") == 0) return Exists(home + "/../lib/tools.jar");
  return Exists(home + "/lib/tools.jar");
}
