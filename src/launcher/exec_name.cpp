#include "launcher/exec_name.h"

#include <optional>
#include <string>

#include "base/mbstring.h"
#include "base/paths.h"

namespace {

std::optional<std::string> execname;
std::optional<std::string> applicationHome;

}  // namespace

const char* SetExecName(const char* name) {
  if (!execname) {
    execname = FindExecName(name);
    // Until the payload opens as an archive: the executable's own directory.
    if (execname) {
      const char* slash = _strrchr(execname->c_str(), '/');
      applicationHome.emplace(execname->c_str(), slash ? slash : execname->c_str() + execname->size());
    }
  }
  return GetExecName();
}

const char* GetExecName() { return execname ? execname->c_str() : nullptr; }

const char* GetProgName() {
  if (!execname) return nullptr;
  const char* slash = _strrchr(execname->c_str(), '/');
  return slash ? slash + 1 : execname->c_str();
}

const char* GetApplicationHome() { return applicationHome ? applicationHome->c_str() : nullptr; }

void SetApplicationHome(const char* path) { applicationHome = path; }
