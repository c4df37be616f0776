// The installation profile.
#include "core/profile.h"

#include "core/memory.h"
#include "ui/catalogue.h"

namespace {

const char* const classpath_elements[] = {"/package/PackageFormat.jar"};
char* title = nullptr;

}  // namespace

const char* GetJavaClassName() { return "bramlet"; }

int GetJavaClasspathElements(const char* const** elements) {
  *elements = classpath_elements;
  return 1;
}

std::string GetMessageKeyPrefix(const char* suffix) { return std::string("setup_") + suffix; }

const char* GetTitle() {
  if (title == nullptr) title = StrDup(GetLocalizedMessage("setup_title").c_str());
  return title;
}

bool IsStateFileRequired() { return true; }

void Cleanup() {}
