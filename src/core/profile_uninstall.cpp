// The uninstaller profile: the same launcher, running the uninstaller's main
// class with its own texts; silent mode needs no state file.
#include "core/profile.h"

#include "core/memory.h"
#include "ui/catalogue.h"

namespace {

const char* const classpath_elements[] = {"/package/PackageFormat.jar"};
char* title = nullptr;

}  // namespace

const char* GetJavaClassName() { return "bramlet_uninstall"; }

int GetJavaClasspathElements(const char* const** elements) {
  *elements = classpath_elements;
  return 1;
}

std::string GetMessageKeyPrefix(const char* suffix) { return std::string("uninstall_") + suffix; }

const char* GetTitle() {
  if (title == nullptr) title = StrDup(GetLocalizedMessage("uninstall_title").c_str());
  return title;
}

bool IsStateFileRequired() { return false; }

void Cleanup() {}
